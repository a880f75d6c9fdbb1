#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "platform/core/Error.h"
#include "platform/net/URL.h"

namespace gfx {
class Image;
}
namespace net {
class URLSession;
}

namespace ui {

// Where a web view gets the pictures of its pages (<img>, CSS backgrounds, list-style images).
// The program installs one over its image cache; without one a web view loads through its own
// URL session.
class WebPictureLoader {
 public:
  // The picture, or nothing and the reason.
  using Completion = std::function<void(std::shared_ptr<const gfx::Image>, std::optional<core::Error>)>;
  // Stops a load; its completion is then not called. Calling it after the completion is harmless.
  using Cancel = std::function<void()>;

  virtual ~WebPictureLoader() = default;
  // Starts loading the picture at `url`. `completion` runs once, on the main queue.
  virtual Cancel loadPicture(const net::URL& url, Completion completion) = 0;
};

// Loads a picture with a GET through a URL session and decodes it off the main thread. A reply
// with an error status, or bytes that are no picture, end in an error.
class SessionPictureLoader : public WebPictureLoader {
 public:
  explicit SessionPictureLoader(std::shared_ptr<net::URLSession> session);
  ~SessionPictureLoader() override;

  Cancel loadPicture(const net::URL& url, Completion completion) override;

 private:
  std::shared_ptr<net::URLSession> m_session;
};

}  // namespace ui
