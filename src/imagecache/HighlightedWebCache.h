#pragma once

#include "imagecache/ICWebImageViewLoad.h"

#include <memory>
#include <optional>

namespace ui {
class ImageView;
}

namespace kt {

// Loading an image view's highlighted image by URL, as the image view loader does but with no
// placeholder, no recorded URL and no activity indicator. Main thread.
namespace HighlightedWebCache {

constexpr const char* HighlightedImageKey = "highlightedImage";

void ic_setHighlightedImageWithURL(const std::shared_ptr<ui::ImageView>& view, const std::optional<net::URL>& url,
                                   unsigned options = 0, ICWebImageProgressCallback progress = {},
                                   ICWebImageViewCompletion completed = {});
inline void ic_setHighlightedImageWithURL(const std::shared_ptr<ui::ImageView>& view,
                                          const std::optional<net::URL>& url, ICWebImageViewCompletion completed) {
  ic_setHighlightedImageWithURL(view, url, 0, {}, std::move(completed));
}
inline void ic_setHighlightedImageWithURL(const std::shared_ptr<ui::ImageView>& view,
                                          const std::optional<net::URL>& url, unsigned options,
                                          ICWebImageViewCompletion completed) {
  ic_setHighlightedImageWithURL(view, url, options, {}, std::move(completed));
}

void ic_cancelCurrentHighlightedImageLoad(const std::shared_ptr<ui::ImageView>& view);

}  // namespace HighlightedWebCache

}  // namespace kt
