#include "imagecache/ICWebImageViewLoad.h"

#include "imagecache/ICImageCache.h"
#include "imagecache/ICWebImageManager.h"
#include "platform/ui/View.h"

namespace kt {

namespace {

// On the main thread: at once when there already, else queued.
void onMainThread(std::function<void()> block) {
  if (core::onMainThread()) {
    block();
  } else {
    core::Queue::main()->async(std::move(block));
  }
}

}  // namespace

core::Error ICWebImageViewLoad::nilURLError() {
  return core::Error::withDescription("ICWebImageErrorDomain", -1, "Trying to load a nil url");
}

void ICWebImageViewLoad::reportNilURL(const ICWebImageViewCompletion& completed) {
  if (completed) completed(nullptr, nilURLError(), ICImageCacheSource::None, std::nullopt);
}

std::shared_ptr<ICWebImageViewLoad> ICWebImageViewLoad::start(Target target, const net::URL& url, unsigned options,
                                                              ICWebImageProgressCallback progress,
                                                              ICWebImageViewCompletion completed) {
  auto load = std::make_shared<ICWebImageViewLoad>();
  auto handler = [target = std::move(target), cancelled = load->m_cancelled, options,
                  completed = std::move(completed)](ImagePtr image, std::optional<core::Error> error,
                                                    ICImageCacheSource source, bool finished,
                                                    std::optional<net::URL> imageURL) {
    onMainThread([=] {
      std::shared_ptr<ui::View> view = target.view.lock();
      if (!view || cancelled->load()) return;
      if (target.beforeResult) target.beforeResult(*view);
      if (image && (options & ICWebImageLoadAvoidAutoSetImage) && completed) {
        completed(image, error, source, imageURL);
        return;
      }
      if (image) {
        target.setImage(*view, image);
        if (target.marksLayout) view->setNeedsLayout();
      } else if ((options & ICWebImageLoadDelayPlaceholder) && target.setPlaceholder) {
        target.setPlaceholder(*view);
        if (target.marksLayout) view->setNeedsLayout();
      }
      if (completed && finished) completed(image, error, source, imageURL);
    });
  };
  load->setManagerOperation(
      ICWebImageManager::sharedManager()->downloadImageWithURL(url, options, std::move(progress), std::move(handler)));
  return load;
}

void ICWebImageViewLoad::setManagerOperation(std::shared_ptr<ICWebImageOperation> operation) {
  {
    std::lock_guard lock(m_mutex);
    if (!m_cancelled->load()) {
      m_managerOperation = std::move(operation);
      return;
    }
  }
  if (operation) operation->cancel();
}

void ICWebImageViewLoad::cancel() {
  std::shared_ptr<ICWebImageOperation> operation;
  {
    std::lock_guard lock(m_mutex);
    m_cancelled->store(true);
    operation = std::move(m_managerOperation);
  }
  if (operation) operation->cancel();
}

}  // namespace kt
