#pragma once

// The image view loaders under their old names, each forwarding to the current one; an old
// completion gets the image, the error and the cache source, without the URL. Image views reach
// the image cache's loaders through these names; the HTTP library's helpers of the same names
// live in kt::HTTPClient.

#include "imagecache/ImageViewWebCache.h"

namespace kt::ImageViewWebCacheDeprecated {

using ImageViewWebCache::ImageViewPtr;

inline std::optional<net::URL> imageURL(const ImageViewPtr& view) { return ImageViewWebCache::ic_imageURL(view); }

inline void setImageWithURL(const ImageViewPtr& view, const std::optional<net::URL>& url,
                            ImagePtr placeholder = nullptr, unsigned options = 0) {
  ImageViewWebCache::ic_setImageWithURL(view, url, std::move(placeholder), options);
}
inline void setImageWithURL(const ImageViewPtr& view, const std::optional<net::URL>& url,
                            ICWebImageOldViewCompletion completed) {
  ImageViewWebCache::ic_setImageWithURL(view, url, nullptr, 0, {},
                                        ICWebImageViewLoad::wrapOldCompletion(std::move(completed)));
}
inline void setImageWithURL(const ImageViewPtr& view, const std::optional<net::URL>& url, ImagePtr placeholder,
                            ICWebImageOldViewCompletion completed) {
  ImageViewWebCache::ic_setImageWithURL(view, url, std::move(placeholder), 0, {},
                                        ICWebImageViewLoad::wrapOldCompletion(std::move(completed)));
}
inline void setImageWithURL(const ImageViewPtr& view, const std::optional<net::URL>& url, ImagePtr placeholder,
                            unsigned options, ICWebImageOldViewCompletion completed) {
  ImageViewWebCache::ic_setImageWithURL(view, url, std::move(placeholder), options, {},
                                        ICWebImageViewLoad::wrapOldCompletion(std::move(completed)));
}
inline void setImageWithURL(const ImageViewPtr& view, const std::optional<net::URL>& url, ImagePtr placeholder,
                            unsigned options, ICWebImageProgressCallback progress,
                            ICWebImageOldViewCompletion completed) {
  ImageViewWebCache::ic_setImageWithURL(view, url, std::move(placeholder), options, std::move(progress),
                                        ICWebImageViewLoad::wrapOldCompletion(std::move(completed)));
}

// The old "andPlaceholderImage" form; its completion already has the current shape.
inline void ic_setImageWithPreviousCachedImageWithURL(const ImageViewPtr& view, const std::optional<net::URL>& url,
                                                      ImagePtr placeholder, unsigned options,
                                                      ICWebImageProgressCallback progress,
                                                      ICWebImageViewCompletion completed) {
  ImageViewWebCache::ic_setImageWithPreviousCachedImageWithURL(view, url, std::move(placeholder), options,
                                                               std::move(progress), std::move(completed));
}

inline void cancelCurrentImageLoad(const ImageViewPtr& view) { ImageViewWebCache::ic_cancelCurrentImageLoad(view); }
inline void cancelCurrentArrayLoad(const ImageViewPtr& view) {
  ImageViewWebCache::ic_cancelCurrentAnimationImagesLoad(view);
}
inline void setAnimationImagesWithURLs(const ImageViewPtr& view, const std::vector<net::URL>& urls) {
  ImageViewWebCache::ic_setAnimationImagesWithURLs(view, urls);
}

}  // namespace kt::ImageViewWebCacheDeprecated
