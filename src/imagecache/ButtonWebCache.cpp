#include "imagecache/ButtonWebCache.h"

#include "imagecache/WebCacheOperation.h"
#include "platform/ui/Button.h"
#include "platform/ui/ViewAssociation.h"

#include <map>

namespace kt::ButtonWebCache {

namespace {

using URLStorage = std::map<unsigned, net::URL>;

ui::ViewAssociation<ui::Button, URLStorage>& storages() {
  static ui::ViewAssociation<ui::Button, URLStorage> table;
  return table;
}

using Setter = void (ui::Button::*)(ui::Button::ImagePtr, unsigned);

// The load of one slot of the button, once its placeholder is in place.
std::shared_ptr<ICWebImageOperation> startLoad(const ButtonPtr& button, const net::URL& url, unsigned state,
                                               Setter setter, unsigned options, ICWebImageViewCompletion completed) {
  ICWebImageViewLoad::Target target;
  target.view = button;
  target.setImage = [setter, state](ui::View& v, const ImagePtr& image) {
    (static_cast<ui::Button&>(v).*setter)(image, state);
  };
  target.marksLayout = false;
  return ICWebImageViewLoad::start(std::move(target), url, options, {}, std::move(completed));
}

}  // namespace

std::string imageOperationKey(unsigned state) { return "UIButtonImageOperation" + std::to_string(state); }

std::string backgroundImageOperationKey(unsigned state) {
  return "UIButtonBackgroundImageOperation" + std::to_string(state);
}

void ic_setImageWithURL(const ButtonPtr& button, const std::optional<net::URL>& url, unsigned state,
                        ImagePtr placeholder, unsigned options, ICWebImageViewCompletion completed) {
  if (!button) return;
  if (ICWebImageViewLoad::movedToMainThread(button, [=](const ButtonPtr& b) {
        ic_setImageWithURL(b, url, state, placeholder, options, completed);
      }))
    return;
  button->setImage(placeholder, state);
  URLStorage& storage = storages().valueFor(button);
  if (url) {
    storage.insert_or_assign(state, *url);
  } else {
    storage.erase(state);
  }
  ic_cancelImageLoadForState(button, state);
  if (!url) {
    ICWebImageViewLoad::reportNilURL(completed);
    return;
  }
  ic_setImageLoadOperation(button, startLoad(button, *url, state, &ui::Button::setImage, options, std::move(completed)),
                           state);
}

void ic_setBackgroundImageWithURL(const ButtonPtr& button, const std::optional<net::URL>& url, unsigned state,
                                  ImagePtr placeholder, unsigned options, ICWebImageViewCompletion completed) {
  if (!button) return;
  if (ICWebImageViewLoad::movedToMainThread(button, [=](const ButtonPtr& b) {
        ic_setBackgroundImageWithURL(b, url, state, placeholder, options, completed);
      }))
    return;
  ic_cancelBackgroundImageLoadForState(button, state);
  button->setBackgroundImage(placeholder, state);
  if (!url) {
    ICWebImageViewLoad::reportNilURL(completed);
    return;
  }
  ic_setBackgroundImageLoadOperation(
      button, startLoad(button, *url, state, &ui::Button::setBackgroundImage, options, std::move(completed)), state);
}

std::optional<net::URL> ic_currentImageURL(const ButtonPtr& button) {
  if (!button) return std::nullopt;
  std::optional<net::URL> url = ic_imageURLForState(button, button->state());
  return url ? url : ic_imageURLForState(button, ui::ControlStateNormal);
}

std::optional<net::URL> ic_imageURLForState(const ButtonPtr& button, unsigned state) {
  URLStorage* storage = button ? storages().find(button.get()) : nullptr;
  if (!storage) return std::nullopt;
  auto found = storage->find(state);
  return found == storage->end() ? std::nullopt : std::optional<net::URL>(found->second);
}

void ic_setImageLoadOperation(const ButtonPtr& button, std::shared_ptr<ICWebImageOperation> operation, unsigned state) {
  WebCacheOperation::ic_setImageLoadOperation(button, std::move(operation), imageOperationKey(state));
}

void ic_cancelImageLoadForState(const ButtonPtr& button, unsigned state) {
  WebCacheOperation::ic_cancelImageLoadOperationWithKey(button, imageOperationKey(state));
}

void ic_setBackgroundImageLoadOperation(const ButtonPtr& button, std::shared_ptr<ICWebImageOperation> operation,
                                        unsigned state) {
  WebCacheOperation::ic_setImageLoadOperation(button, std::move(operation), backgroundImageOperationKey(state));
}

void ic_cancelBackgroundImageLoadForState(const ButtonPtr& button, unsigned state) {
  WebCacheOperation::ic_cancelImageLoadOperationWithKey(button, backgroundImageOperationKey(state));
}

}  // namespace kt::ButtonWebCache
