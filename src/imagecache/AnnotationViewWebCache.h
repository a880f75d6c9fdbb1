#pragma once

#include "imagecache/ICWebImageViewLoad.h"

#include <memory>
#include <optional>

namespace ui {
class AnnotationView;
}

namespace kt {

// Loading an annotation view's image by URL: the placeholder at once whatever the options (and
// again when an ICWebImageLoadDelayPlaceholder load gives no image), the URL recorded, no
// progress callback. Main thread; a nil placeholder is left out or written ImagePtr().
namespace AnnotationViewWebCache {

using AnnotationViewPtr = std::shared_ptr<ui::AnnotationView>;

constexpr const char* ImageLoadKey = "MKAnnotationViewImage";

void ic_setImageWithURL(const AnnotationViewPtr& view, const std::optional<net::URL>& url,
                        ImagePtr placeholder = nullptr, unsigned options = 0, ICWebImageViewCompletion completed = {});
inline void ic_setImageWithURL(const AnnotationViewPtr& view, const std::optional<net::URL>& url,
                               ICWebImageViewCompletion completed) {
  ic_setImageWithURL(view, url, nullptr, 0, std::move(completed));
}
inline void ic_setImageWithURL(const AnnotationViewPtr& view, const std::optional<net::URL>& url,
                               ImagePtr placeholder, ICWebImageViewCompletion completed) {
  ic_setImageWithURL(view, url, std::move(placeholder), 0, std::move(completed));
}

std::optional<net::URL> ic_imageURL(const AnnotationViewPtr& view);
void ic_cancelCurrentImageLoad(const AnnotationViewPtr& view);

}  // namespace AnnotationViewWebCache

}  // namespace kt
