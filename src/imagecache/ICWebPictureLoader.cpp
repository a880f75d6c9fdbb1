#include "imagecache/ICWebPictureLoader.h"

#include "imagecache/ICImageCache.h"
#include "imagecache/ICWebImageManager.h"
#include "platform/core/Queue.h"
#include "platform/net/URLError.h"

namespace kt {

ICWebPictureLoader::ICWebPictureLoader(std::shared_ptr<ICWebImageManager> manager)
    : m_manager(manager ? std::move(manager) : ICWebImageManager::sharedManager()) {}

ICWebPictureLoader::~ICWebPictureLoader() = default;

ui::WebPictureLoader::Cancel ICWebPictureLoader::loadPicture(const net::URL& url, Completion completion) {
  // Touched on the main thread only: the manager reports there, and the web view cancels there.
  auto done = std::make_shared<bool>(false);
  const std::string address = url.absoluteString();
  auto operation = m_manager->downloadImageWithURL(
      std::optional<net::URL>(url), 0, nullptr,
      [done, completion, address](ImagePtr image, std::optional<core::Error> error, ICImageCacheSource, bool finished,
                                  std::optional<net::URL>) {
        if (!finished || *done) return;
        if (!image && !error) error = net::URLError::make(net::URLError::BadServerResponse, address);
        // A memory hit answers before the load call returns; the page hears it from the queue,
        // as it hears every other picture.
        core::Queue::main()->async([done, completion, image = std::move(image), error = std::move(error)] {
          if (*done) return;
          *done = true;
          completion(image, error);
        });
      });
  return [done, operation] {
    *done = true;
    if (operation) operation->cancel();
  };
}

}  // namespace kt
