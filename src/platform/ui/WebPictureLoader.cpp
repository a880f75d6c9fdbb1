#include "platform/ui/WebPictureLoader.h"

#include <atomic>

#include "platform/core/Queue.h"
#include "platform/gfx/Image.h"
#include "platform/net/HTTPURLResponse.h"
#include "platform/net/URLError.h"
#include "platform/net/URLSession.h"

namespace ui {

SessionPictureLoader::SessionPictureLoader(std::shared_ptr<net::URLSession> session) : m_session(std::move(session)) {}

SessionPictureLoader::~SessionPictureLoader() = default;

WebPictureLoader::Cancel SessionPictureLoader::loadPicture(const net::URL& url, Completion completion) {
  auto cancelled = std::make_shared<std::atomic<bool>>(false);
  const std::string address = url.absoluteString();
  auto deliver = [cancelled, completion](std::shared_ptr<const gfx::Image> image, std::optional<core::Error> error) {
    core::Queue::main()->async([cancelled, completion, image = std::move(image), error = std::move(error)] {
      if (!cancelled->load()) completion(image, error);
    });
  };
  // The reply arrives on the session's delegate queue, so the picture is decoded there.
  auto task = m_session ? m_session->dataTaskWithURL(url, [deliver, address](std::optional<std::string> data,
                                                                            std::shared_ptr<const net::HTTPURLResponse> response,
                                                                            std::optional<core::Error> error) {
    if (error) return deliver(nullptr, error);
    if (!response || response->statusCode() >= 400 || !data) {
      return deliver(nullptr, net::URLError::make(net::URLError::BadServerResponse, address));
    }
    core::Error decodeError;
    auto image = gfx::Image::decode(*data, 1.0, &decodeError);
    if (!image) return deliver(nullptr, decodeError);
    deliver(std::move(image), std::nullopt);
  })
                        : nullptr;
  if (!task) {
    deliver(nullptr, net::URLError::make(net::URLError::Cancelled, address));
    return [cancelled] { cancelled->store(true); };
  }
  task->resume();
  std::weak_ptr<net::URLSessionDataTask> weakTask = task;
  return [cancelled, weakTask] {
    cancelled->store(true);
    if (auto t = weakTask.lock()) t->cancel();
  };
}

}  // namespace ui
