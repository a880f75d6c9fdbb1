#pragma once

// The annotation view loader under its old names, forwarding to the current one; an old
// completion gets no URL.

#include "imagecache/AnnotationViewWebCache.h"

namespace kt::AnnotationViewWebCacheDeprecated {

using AnnotationViewWebCache::AnnotationViewPtr;

inline std::optional<net::URL> imageURL(const AnnotationViewPtr& view) {
  return AnnotationViewWebCache::ic_imageURL(view);
}

inline void setImageWithURL(const AnnotationViewPtr& view, const std::optional<net::URL>& url,
                            ImagePtr placeholder = nullptr, unsigned options = 0) {
  AnnotationViewWebCache::ic_setImageWithURL(view, url, std::move(placeholder), options);
}
inline void setImageWithURL(const AnnotationViewPtr& view, const std::optional<net::URL>& url,
                            ICWebImageOldViewCompletion completed) {
  AnnotationViewWebCache::ic_setImageWithURL(view, url, nullptr, 0,
                                             ICWebImageViewLoad::wrapOldCompletion(std::move(completed)));
}
inline void setImageWithURL(const AnnotationViewPtr& view, const std::optional<net::URL>& url, ImagePtr placeholder,
                            ICWebImageOldViewCompletion completed) {
  AnnotationViewWebCache::ic_setImageWithURL(view, url, std::move(placeholder), 0,
                                             ICWebImageViewLoad::wrapOldCompletion(std::move(completed)));
}
inline void setImageWithURL(const AnnotationViewPtr& view, const std::optional<net::URL>& url, ImagePtr placeholder,
                            unsigned options, ICWebImageOldViewCompletion completed) {
  AnnotationViewWebCache::ic_setImageWithURL(view, url, std::move(placeholder), options,
                                             ICWebImageViewLoad::wrapOldCompletion(std::move(completed)));
}

inline void cancelCurrentImageLoad(const AnnotationViewPtr& view) {
  AnnotationViewWebCache::ic_cancelCurrentImageLoad(view);
}

}  // namespace kt::AnnotationViewWebCacheDeprecated
