#pragma once

#include "imagecache/ICWebImageViewLoad.h"

#include <memory>
#include <optional>
#include <vector>

namespace ui {
class ActivityIndicatorView;
class ImageView;
enum class ActivityIndicatorStyle;
}  // namespace ui

namespace kt {

// Loading an image view's image by URL through the shared image manager: the placeholder at once,
// the image when it arrives (from memory before the call returns). A new load cancels the view's
// previous one, whose image is then never shown. Options are ICWebImageLoadOptions; two act only
// here: ICWebImageLoadDelayPlaceholder (the old image stays while loading; the placeholder comes
// only when no image does) and ICWebImageLoadAvoidAutoSetImage (with a completion, the image
// goes to it instead of the view). An absent URL empties the view to the placeholder and reports
// "ICWebImageErrorDomain" -1 "Trying to load a nil url". Errors go to the completion only.
//
// Meant for the main thread; called on another, a loader runs later on the main queue. A nil
// placeholder is left out or written ImagePtr() (a bare nullptr would also fit a completion).
namespace ImageViewWebCache {

using ImageViewPtr = std::shared_ptr<ui::ImageView>;

// Registry keys of the two slots.
constexpr const char* ImageLoadKey = "UIImageViewImageLoad";
constexpr const char* AnimationImagesKey = "UIImageViewAnimationImages";

void ic_setImageWithURL(const ImageViewPtr& view, const std::optional<net::URL>& url, ImagePtr placeholder = nullptr,
                        unsigned options = 0, ICWebImageProgressCallback progress = {},
                        ICWebImageViewCompletion completed = {});
inline void ic_setImageWithURL(const ImageViewPtr& view, const std::optional<net::URL>& url,
                               ICWebImageViewCompletion completed) {
  ic_setImageWithURL(view, url, nullptr, 0, {}, std::move(completed));
}
inline void ic_setImageWithURL(const ImageViewPtr& view, const std::optional<net::URL>& url, ImagePtr placeholder,
                               ICWebImageViewCompletion completed) {
  ic_setImageWithURL(view, url, std::move(placeholder), 0, {}, std::move(completed));
}
inline void ic_setImageWithURL(const ImageViewPtr& view, const std::optional<net::URL>& url, ImagePtr placeholder,
                               unsigned options, ICWebImageViewCompletion completed) {
  ic_setImageWithURL(view, url, std::move(placeholder), options, {}, std::move(completed));
}

// The core loader with the URL's cached image (memory, then disk, read now) as the placeholder,
// or the given placeholder when the cache has none.
void ic_setImageWithPreviousCachedImageWithURL(const ImageViewPtr& view, const std::optional<net::URL>& url,
                                               ImagePtr placeholder, unsigned options,
                                               ICWebImageProgressCallback progress, ICWebImageViewCompletion completed);

// The URL of the last load started (nothing after a load without one).
std::optional<net::URL> ic_imageURL(const ImageViewPtr& view);

// Loads each URL into the view's animation images, which it empties first: frames are added in
// the order their loads finish, the animation restarting each time; a failed load adds none.
void ic_setAnimationImagesWithURLs(const ImageViewPtr& view, const std::vector<net::URL>& urls);

void ic_cancelCurrentImageLoad(const ImageViewPtr& view);
void ic_cancelCurrentAnimationImagesLoad(const ImageViewPtr& view);

// An activity indicator shown over the view while a load runs (off unless switched on), in the
// stored style (WhiteLarge unless set).
void setShowActivityIndicatorView(const ImageViewPtr& view, bool show);
bool showActivityIndicatorView(const ImageViewPtr& view);
void setIndicatorStyle(const ImageViewPtr& view, ui::ActivityIndicatorStyle style);
ui::ActivityIndicatorStyle getIndicatorStyle(const ImageViewPtr& view);
std::shared_ptr<ui::ActivityIndicatorView> activityIndicator(const ImageViewPtr& view);
void setActivityIndicator(const ImageViewPtr& view, std::shared_ptr<ui::ActivityIndicatorView> indicator);
// Makes an indicator when there is none, centres it on the view and starts it.
void addActivityIndicator(const ImageViewPtr& view);
// Takes the indicator off the view and forgets it.
void removeActivityIndicator(const ImageViewPtr& view);

}  // namespace ImageViewWebCache

}  // namespace kt
