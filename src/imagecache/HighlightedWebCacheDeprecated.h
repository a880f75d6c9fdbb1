#pragma once

// The highlighted-image loader under its old names, forwarding to the current one; an old
// completion gets no URL.

#include "imagecache/HighlightedWebCache.h"

namespace kt::HighlightedWebCacheDeprecated {

inline void setHighlightedImageWithURL(const std::shared_ptr<ui::ImageView>& view, const std::optional<net::URL>& url,
                                       unsigned options = 0) {
  HighlightedWebCache::ic_setHighlightedImageWithURL(view, url, options);
}
inline void setHighlightedImageWithURL(const std::shared_ptr<ui::ImageView>& view, const std::optional<net::URL>& url,
                                       ICWebImageOldViewCompletion completed) {
  HighlightedWebCache::ic_setHighlightedImageWithURL(view, url, 0, {},
                                                     ICWebImageViewLoad::wrapOldCompletion(std::move(completed)));
}
inline void setHighlightedImageWithURL(const std::shared_ptr<ui::ImageView>& view, const std::optional<net::URL>& url,
                                       unsigned options, ICWebImageOldViewCompletion completed) {
  HighlightedWebCache::ic_setHighlightedImageWithURL(view, url, options, {},
                                                     ICWebImageViewLoad::wrapOldCompletion(std::move(completed)));
}
inline void setHighlightedImageWithURL(const std::shared_ptr<ui::ImageView>& view, const std::optional<net::URL>& url,
                                       unsigned options, ICWebImageProgressCallback progress,
                                       ICWebImageOldViewCompletion completed) {
  HighlightedWebCache::ic_setHighlightedImageWithURL(view, url, options, std::move(progress),
                                                     ICWebImageViewLoad::wrapOldCompletion(std::move(completed)));
}

inline void cancelCurrentHighlightedImageLoad(const std::shared_ptr<ui::ImageView>& view) {
  HighlightedWebCache::ic_cancelCurrentHighlightedImageLoad(view);
}

}  // namespace kt::HighlightedWebCacheDeprecated
