#include "imagecache/AnnotationViewWebCache.h"

#include "imagecache/WebCacheOperation.h"
#include "platform/ui/AnnotationView.h"
#include "platform/ui/ViewAssociation.h"

namespace kt::AnnotationViewWebCache {

namespace {

ui::ViewAssociation<ui::AnnotationView, std::optional<net::URL>>& imageURLs() {
  static ui::ViewAssociation<ui::AnnotationView, std::optional<net::URL>> table;
  return table;
}

}  // namespace

void ic_setImageWithURL(const AnnotationViewPtr& view, const std::optional<net::URL>& url, ImagePtr placeholder,
                        unsigned options, ICWebImageViewCompletion completed) {
  if (!view) return;
  if (ICWebImageViewLoad::movedToMainThread(view, [=](const AnnotationViewPtr& v) {
        ic_setImageWithURL(v, url, placeholder, options, completed);
      }))
    return;
  ic_cancelCurrentImageLoad(view);
  imageURLs().valueFor(view) = url;
  view->setImage(placeholder);
  if (!url) {
    ICWebImageViewLoad::reportNilURL(completed);
    return;
  }
  ICWebImageViewLoad::Target target;
  target.view = view;
  target.setImage = [](ui::View& v, const ImagePtr& image) { static_cast<ui::AnnotationView&>(v).setImage(image); };
  target.setPlaceholder = [placeholder](ui::View& v) { static_cast<ui::AnnotationView&>(v).setImage(placeholder); };
  auto load = ICWebImageViewLoad::start(std::move(target), *url, options, {}, std::move(completed));
  WebCacheOperation::ic_setImageLoadOperation(view, std::move(load), ImageLoadKey);
}

std::optional<net::URL> ic_imageURL(const AnnotationViewPtr& view) {
  auto* url = view ? imageURLs().find(view.get()) : nullptr;
  return url ? *url : std::nullopt;
}

void ic_cancelCurrentImageLoad(const AnnotationViewPtr& view) {
  WebCacheOperation::ic_cancelImageLoadOperationWithKey(view, ImageLoadKey);
}

}  // namespace kt::AnnotationViewWebCache
