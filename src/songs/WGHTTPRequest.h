#pragma once

// The one door to the cloud song service. Every call makes its own HTTP session manager, sends
// one request, decodes the reply body as JSON itself and hands (raw body, decoded object, error)
// to the finish block on the main queue. Nothing is kept between calls: each manager's session
// is finished and released as soon as its one task ends, so a tablet running for days does not
// gather sessions, threads or handles.

#include "platform/core/Error.h"
#include "platform/core/Value.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace gfx {
class Image;
}

namespace kt {

struct CloudRequest;

class WGHTTPRequest {
 public:
  // Raw body (exactly one of it and the error is given), decoded JSON object or array (nothing
  // when the body is no JSON), error. Always called once, on the main queue.
  using Finish = std::function<void(const std::optional<std::string>& raw, const std::optional<core::Value>& decoded,
                                    const std::optional<core::Error>& error)>;
  // The uploads: the reply object (raw body data or decoded JSON) or the error.
  using UploadFinish = std::function<void(const std::optional<core::Value>& reply, const std::optional<core::Error>& error)>;

  // Every cloud request gives up after this many seconds.
  static constexpr double kTimeoutSeconds = 10.0;

  WGHTTPRequest() = delete;

  // GET with the library's default time-out; otherwise as get().
  static void getXML(const std::string& path, const core::Value& params, const std::string& baseURL, Finish finish);
  // GET base + path with the parameters as the query (ascending keys, percent-encoded), 10 s
  // time-out; any content type is accepted, a status outside 200-299 is a failure.
  static void get(const std::string& path, const core::Value& params, const std::string& baseURL, Finish finish);
  // The same for a prepared cloud request.
  static void get(const CloudRequest& request, Finish finish);
  // Form POST to the interface host's base + path.
  static void post(const std::string& path, const core::Value& params, Finish finish);
  // Multipart POST to the interface host's base + path: the parameters, then the picture as
  // JPEG of quality 0.5 under the key, as "image.png". The reply stays raw.
  static void uploadPicturePOST(const std::string& path, const core::Value& params,
                                const std::shared_ptr<gfx::Image>& picture, const std::string& key,
                                UploadFinish finish);
  // The same with one part per picture ("fileName-0.png", ...); the reply is decoded as JSON.
  static void uploadPicturesPOST(const std::string& path, const core::Value& params,
                                 const std::vector<std::shared_ptr<gfx::Image>>& pictures, const std::string& key,
                                 UploadFinish finish);

  // "k1=v1&k2=v2": the parameters in the dictionary's own order, not encoded (for logs only).
  static std::string joinedForLog(const core::Value& params);
};

}  // namespace kt
