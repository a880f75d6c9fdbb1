#include "imagecache/ImageViewWebCache.h"

#include "imagecache/ICImageCache.h"
#include "imagecache/ICWebImageManager.h"
#include "imagecache/WebCacheOperation.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/ViewAssociation.h"

namespace kt::ImageViewWebCache {

namespace {

struct ImageViewState {
  std::optional<net::URL> imageURL;
  std::shared_ptr<ui::ActivityIndicatorView> indicator;
  bool showIndicator = false;
  ui::ActivityIndicatorStyle indicatorStyle = ui::ActivityIndicatorStyle::WhiteLarge;
};

ui::ViewAssociation<ui::ImageView, ImageViewState>& states() {
  static ui::ViewAssociation<ui::ImageView, ImageViewState> table;
  return table;
}

const ImageViewState& stateOf(const ImageViewPtr& view) {
  static const ImageViewState none;
  const ImageViewState* state = view ? states().find(view.get()) : nullptr;
  return state ? *state : none;
}

}  // namespace

void ic_setImageWithURL(const ImageViewPtr& view, const std::optional<net::URL>& url, ImagePtr placeholder,
                        unsigned options, ICWebImageProgressCallback progress, ICWebImageViewCompletion completed) {
  if (!view) return;
  if (ICWebImageViewLoad::movedToMainThread(view, [=](const ImageViewPtr& v) {
        ic_setImageWithURL(v, url, placeholder, options, progress, completed);
      }))
    return;
  ic_cancelCurrentImageLoad(view);
  states().valueFor(view).imageURL = url;
  if (!(options & ICWebImageLoadDelayPlaceholder)) view->setImage(placeholder);
  if (!url) {
    removeActivityIndicator(view);
    ICWebImageViewLoad::reportNilURL(completed);
    return;
  }
  if (showActivityIndicatorView(view)) addActivityIndicator(view);

  ICWebImageViewLoad::Target target;
  target.view = view;
  target.setImage = [](ui::View& v, const ImagePtr& image) { static_cast<ui::ImageView&>(v).setImage(image); };
  target.setPlaceholder = [placeholder](ui::View& v) { static_cast<ui::ImageView&>(v).setImage(placeholder); };
  target.beforeResult = [](ui::View& v) {
    removeActivityIndicator(std::static_pointer_cast<ui::ImageView>(v.shared()));
  };
  auto load = ICWebImageViewLoad::start(std::move(target), *url, options, std::move(progress), std::move(completed));
  WebCacheOperation::ic_setImageLoadOperation(view, std::move(load), ImageLoadKey);
}

void ic_setImageWithPreviousCachedImageWithURL(const ImageViewPtr& view, const std::optional<net::URL>& url,
                                               ImagePtr placeholder, unsigned options,
                                               ICWebImageProgressCallback progress, ICWebImageViewCompletion completed) {
  auto manager = ICWebImageManager::sharedManager();
  ImagePtr cached = manager->imageCache()->imageFromDiskCacheForKey(manager->cacheKeyForURL(url));
  ic_setImageWithURL(view, url, cached ? cached : std::move(placeholder), options, std::move(progress),
                     std::move(completed));
}

std::optional<net::URL> ic_imageURL(const ImageViewPtr& view) { return stateOf(view).imageURL; }

void ic_setAnimationImagesWithURLs(const ImageViewPtr& view, const std::vector<net::URL>& urls) {
  if (!view) return;
  if (ICWebImageViewLoad::movedToMainThread(view, [urls](const ImageViewPtr& v) { ic_setAnimationImagesWithURLs(v, urls); }))
    return;
  ic_cancelCurrentAnimationImagesLoad(view);
  // A second list replaces the frames of the first rather than adding to them.
  view->setAnimationImages({});

  ICWebImageOperationList loads;
  for (const net::URL& url : urls) {
    ICWebImageViewLoad::Target target;
    target.view = view;
    target.beforeResult = [](ui::View& v) { static_cast<ui::ImageView&>(v).stopAnimating(); };
    target.setImage = [](ui::View& v, const ImagePtr& image) {
      auto& imageView = static_cast<ui::ImageView&>(v);
      std::vector<ui::ImageView::ImagePtr> frames = imageView.animationImages();
      frames.push_back(image);
      imageView.setAnimationImages(std::move(frames));
    };
    // Whatever came, the animation goes on once the result is in.
    ICWebImageViewCompletion restart = [weak = std::weak_ptr<ui::ImageView>(view)](
                                           ImagePtr, std::optional<core::Error>, ICImageCacheSource,
                                           std::optional<net::URL>) {
      if (auto v = weak.lock()) v->startAnimating();
    };
    loads.push_back(ICWebImageViewLoad::start(std::move(target), url, 0, {}, std::move(restart)));
  }
  WebCacheOperation::ic_setImageLoadOperation(view, std::move(loads), AnimationImagesKey);
}

void ic_cancelCurrentImageLoad(const ImageViewPtr& view) {
  WebCacheOperation::ic_cancelImageLoadOperationWithKey(view, ImageLoadKey);
}

void ic_cancelCurrentAnimationImagesLoad(const ImageViewPtr& view) {
  WebCacheOperation::ic_cancelImageLoadOperationWithKey(view, AnimationImagesKey);
}

void setShowActivityIndicatorView(const ImageViewPtr& view, bool show) {
  if (view) states().valueFor(view).showIndicator = show;
}

bool showActivityIndicatorView(const ImageViewPtr& view) { return stateOf(view).showIndicator; }

void setIndicatorStyle(const ImageViewPtr& view, ui::ActivityIndicatorStyle style) {
  if (view) states().valueFor(view).indicatorStyle = style;
}

ui::ActivityIndicatorStyle getIndicatorStyle(const ImageViewPtr& view) { return stateOf(view).indicatorStyle; }

std::shared_ptr<ui::ActivityIndicatorView> activityIndicator(const ImageViewPtr& view) { return stateOf(view).indicator; }

void setActivityIndicator(const ImageViewPtr& view, std::shared_ptr<ui::ActivityIndicatorView> indicator) {
  if (view) states().valueFor(view).indicator = std::move(indicator);
}

void addActivityIndicator(const ImageViewPtr& view) {
  if (!view) return;
  KT_ASSERT_MAIN_THREAD();
  ImageViewState& state = states().valueFor(view);
  if (!state.indicator) {
    state.indicator = ui::ActivityIndicatorView::create(state.indicatorStyle);
    state.indicator->sizeToFit();
    // There are no layout constraints here: the indicator is centred now, and its flexible
    // margins keep it centred when the view changes size.
    state.indicator->setCenter(view->bounds().center());
    state.indicator->setAutoresizingMask(ui::AutoresizingFlexibleLeftMargin | ui::AutoresizingFlexibleRightMargin |
                                         ui::AutoresizingFlexibleTopMargin | ui::AutoresizingFlexibleBottomMargin);
    view->addSubview(state.indicator);
  }
  state.indicator->startAnimating();
}

void removeActivityIndicator(const ImageViewPtr& view) {
  if (!view) return;
  ImageViewState* state = states().find(view.get());
  if (!state || !state->indicator) return;
  state->indicator->removeFromSuperview();
  state->indicator.reset();
}

}  // namespace kt::ImageViewWebCache
