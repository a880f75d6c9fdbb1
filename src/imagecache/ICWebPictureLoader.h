#pragma once

#include <memory>

#include "platform/ui/WebPictureLoader.h"

namespace kt {

class ICWebImageManager;

// The pictures of web pages through the image cache, like every other picture of the program:
// memory, then disk, then the network, stored for the next time. Installed as the web views'
// default at program start.
class ICWebPictureLoader : public ui::WebPictureLoader {
 public:
  // Over the given manager, or the shared one when null.
  explicit ICWebPictureLoader(std::shared_ptr<ICWebImageManager> manager = nullptr);
  ~ICWebPictureLoader() override;

  Cancel loadPicture(const net::URL& url, Completion completion) override;

 private:
  std::shared_ptr<ICWebImageManager> m_manager;
};

}  // namespace kt
