#pragma once

// The button loaders under their old names, forwarding to the current ones; an old completion
// gets no URL.

#include "imagecache/ButtonWebCache.h"
#include "platform/ui/Button.h"

namespace kt::ButtonWebCacheDeprecated {

using ButtonWebCache::ButtonPtr;

inline std::optional<net::URL> currentImageURL(const ButtonPtr& button) {
  return ButtonWebCache::ic_currentImageURL(button);
}
inline std::optional<net::URL> imageURLForState(const ButtonPtr& button, unsigned state) {
  return ButtonWebCache::ic_imageURLForState(button, state);
}

inline void setImageWithURL(const ButtonPtr& button, const std::optional<net::URL>& url, unsigned state,
                            ImagePtr placeholder = nullptr, unsigned options = 0) {
  ButtonWebCache::ic_setImageWithURL(button, url, state, std::move(placeholder), options);
}
inline void setImageWithURL(const ButtonPtr& button, const std::optional<net::URL>& url, unsigned state,
                            ICWebImageOldViewCompletion completed) {
  ButtonWebCache::ic_setImageWithURL(button, url, state, nullptr, 0,
                                     ICWebImageViewLoad::wrapOldCompletion(std::move(completed)));
}
inline void setImageWithURL(const ButtonPtr& button, const std::optional<net::URL>& url, unsigned state,
                            ImagePtr placeholder, ICWebImageOldViewCompletion completed) {
  ButtonWebCache::ic_setImageWithURL(button, url, state, std::move(placeholder), 0,
                                     ICWebImageViewLoad::wrapOldCompletion(std::move(completed)));
}
inline void setImageWithURL(const ButtonPtr& button, const std::optional<net::URL>& url, unsigned state,
                            ImagePtr placeholder, unsigned options, ICWebImageOldViewCompletion completed) {
  ButtonWebCache::ic_setImageWithURL(button, url, state, std::move(placeholder), options,
                                     ICWebImageViewLoad::wrapOldCompletion(std::move(completed)));
}

inline void setBackgroundImageWithURL(const ButtonPtr& button, const std::optional<net::URL>& url, unsigned state,
                                      ImagePtr placeholder = nullptr, unsigned options = 0) {
  ButtonWebCache::ic_setBackgroundImageWithURL(button, url, state, std::move(placeholder), options);
}
inline void setBackgroundImageWithURL(const ButtonPtr& button, const std::optional<net::URL>& url, unsigned state,
                                      ICWebImageOldViewCompletion completed) {
  ButtonWebCache::ic_setBackgroundImageWithURL(button, url, state, nullptr, 0,
                                               ICWebImageViewLoad::wrapOldCompletion(std::move(completed)));
}
inline void setBackgroundImageWithURL(const ButtonPtr& button, const std::optional<net::URL>& url, unsigned state,
                                      ImagePtr placeholder, ICWebImageOldViewCompletion completed) {
  ButtonWebCache::ic_setBackgroundImageWithURL(button, url, state, std::move(placeholder), 0,
                                               ICWebImageViewLoad::wrapOldCompletion(std::move(completed)));
}
inline void setBackgroundImageWithURL(const ButtonPtr& button, const std::optional<net::URL>& url, unsigned state,
                                      ImagePtr placeholder, unsigned options, ICWebImageOldViewCompletion completed) {
  ButtonWebCache::ic_setBackgroundImageWithURL(button, url, state, std::move(placeholder), options,
                                               ICWebImageViewLoad::wrapOldCompletion(std::move(completed)));
}

// The image load of the button's current state.
inline void cancelCurrentImageLoad(const ButtonPtr& button) {
  if (button) ButtonWebCache::ic_cancelImageLoadForState(button, button->state());
}
inline void cancelBackgroundImageLoadForState(const ButtonPtr& button, unsigned state) {
  ButtonWebCache::ic_cancelBackgroundImageLoadForState(button, state);
}

}  // namespace kt::ButtonWebCacheDeprecated
