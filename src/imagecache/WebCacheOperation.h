#pragma once

#include "imagecache/ICWebImageOperation.h"

#include <memory>
#include <string>
#include <vector>

namespace ui {
class View;
}

namespace kt {

// The loads a slot of a view holds: one, or a list (the frames of an animation).
using ICWebImageOperationList = std::vector<std::shared_ptr<ICWebImageOperation>>;

// The registry of a view's loads in progress, one entry per slot ("UIImageViewImageLoad", ...),
// kept beside the view and dropped once the view is gone. A slot keeps its load after the load
// finished, until the slot is loaded again or cancelled. Main thread only; a null view does
// nothing.
namespace WebCacheOperation {

// Cancels whatever the key holds, then stores the load (or list of loads) under it.
void ic_setImageLoadOperation(const std::shared_ptr<ui::View>& view, std::shared_ptr<ICWebImageOperation> operation,
                              const std::string& key);
void ic_setImageLoadOperation(const std::shared_ptr<ui::View>& view, ICWebImageOperationList operations,
                              const std::string& key);
// Cancels the load or every load of the list the key holds, and forgets the key.
void ic_cancelImageLoadOperationWithKey(const std::shared_ptr<ui::View>& view, const std::string& key);
// Forgets the key without cancelling.
void ic_removeImageLoadOperationWithKey(const std::shared_ptr<ui::View>& view, const std::string& key);

}  // namespace WebCacheOperation

}  // namespace kt
