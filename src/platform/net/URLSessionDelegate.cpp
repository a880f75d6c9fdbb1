#include "platform/net/URLSessionDelegate.h"

#include "platform/net/InputStream.h"
#include "platform/net/URLSessionTask.h"

namespace net {

void URLSessionDelegate::needNewBodyStream(const std::shared_ptr<URLSession>&,
                                           const std::shared_ptr<URLSessionTask>& task, BodyStreamHandler handler) {
  const auto& original = task->originalRequest();
  if (original && original->HTTPBodyStream()) {
    handler(original->HTTPBodyStream()->copy());
  } else {
    handler(nullptr);
  }
}

}  // namespace net
