#include "imagecache/HighlightedWebCache.h"

#include "imagecache/WebCacheOperation.h"
#include "platform/ui/ImageView.h"

namespace kt::HighlightedWebCache {

void ic_setHighlightedImageWithURL(const std::shared_ptr<ui::ImageView>& view, const std::optional<net::URL>& url,
                                   unsigned options, ICWebImageProgressCallback progress,
                                   ICWebImageViewCompletion completed) {
  if (!view) return;
  if (ICWebImageViewLoad::movedToMainThread(view, [=](const std::shared_ptr<ui::ImageView>& v) {
        ic_setHighlightedImageWithURL(v, url, options, progress, completed);
      }))
    return;
  ic_cancelCurrentHighlightedImageLoad(view);
  if (!url) {
    ICWebImageViewLoad::reportNilURL(completed);
    return;
  }
  ICWebImageViewLoad::Target target;
  target.view = view;
  target.setImage = [](ui::View& v, const ImagePtr& image) {
    static_cast<ui::ImageView&>(v).setHighlightedImage(image);
  };
  auto load = ICWebImageViewLoad::start(std::move(target), *url, options, std::move(progress), std::move(completed));
  WebCacheOperation::ic_setImageLoadOperation(view, std::move(load), HighlightedImageKey);
}

void ic_cancelCurrentHighlightedImageLoad(const std::shared_ptr<ui::ImageView>& view) {
  WebCacheOperation::ic_cancelImageLoadOperationWithKey(view, HighlightedImageKey);
}

}  // namespace kt::HighlightedWebCache
