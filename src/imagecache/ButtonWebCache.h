#pragma once

#include "imagecache/ICWebImageViewLoad.h"

#include <memory>
#include <optional>
#include <string>

namespace ui {
class Button;
}

namespace kt {

// Loading a button's image and background image per control state by URL. Each state's image
// and background are slots of their own: loading one cancels only that slot's previous load.
// The placeholder is set for the state at once whatever the options; results are not passed
// through a progress callback. Main thread; a nil placeholder is left out or written ImagePtr().
namespace ButtonWebCache {

using ButtonPtr = std::shared_ptr<ui::Button>;

// "UIButtonImageOperation<state>" and "UIButtonBackgroundImageOperation<state>".
std::string imageOperationKey(unsigned state);
std::string backgroundImageOperationKey(unsigned state);

// Records the URL for the state (an absent URL forgets the state's URL).
void ic_setImageWithURL(const ButtonPtr& button, const std::optional<net::URL>& url, unsigned state,
                        ImagePtr placeholder = nullptr, unsigned options = 0, ICWebImageViewCompletion completed = {});
inline void ic_setImageWithURL(const ButtonPtr& button, const std::optional<net::URL>& url, unsigned state,
                               ICWebImageViewCompletion completed) {
  ic_setImageWithURL(button, url, state, nullptr, 0, std::move(completed));
}
inline void ic_setImageWithURL(const ButtonPtr& button, const std::optional<net::URL>& url, unsigned state,
                               ImagePtr placeholder, ICWebImageViewCompletion completed) {
  ic_setImageWithURL(button, url, state, std::move(placeholder), 0, std::move(completed));
}

// Records no URL.
void ic_setBackgroundImageWithURL(const ButtonPtr& button, const std::optional<net::URL>& url, unsigned state,
                                  ImagePtr placeholder = nullptr, unsigned options = 0,
                                  ICWebImageViewCompletion completed = {});
inline void ic_setBackgroundImageWithURL(const ButtonPtr& button, const std::optional<net::URL>& url, unsigned state,
                                         ICWebImageViewCompletion completed) {
  ic_setBackgroundImageWithURL(button, url, state, nullptr, 0, std::move(completed));
}
inline void ic_setBackgroundImageWithURL(const ButtonPtr& button, const std::optional<net::URL>& url, unsigned state,
                                         ImagePtr placeholder, ICWebImageViewCompletion completed) {
  ic_setBackgroundImageWithURL(button, url, state, std::move(placeholder), 0, std::move(completed));
}

// The URL recorded for the button's current state, else for the normal state.
std::optional<net::URL> ic_currentImageURL(const ButtonPtr& button);
std::optional<net::URL> ic_imageURLForState(const ButtonPtr& button, unsigned state);

void ic_setImageLoadOperation(const ButtonPtr& button, std::shared_ptr<ICWebImageOperation> operation, unsigned state);
void ic_cancelImageLoadForState(const ButtonPtr& button, unsigned state);
void ic_setBackgroundImageLoadOperation(const ButtonPtr& button, std::shared_ptr<ICWebImageOperation> operation,
                                        unsigned state);
void ic_cancelBackgroundImageLoadForState(const ButtonPtr& button, unsigned state);

}  // namespace ButtonWebCache

}  // namespace kt
