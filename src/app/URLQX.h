#pragma once

#include "platform/net/URL.h"

#include <optional>
#include <string>

namespace kt {

// The venue web server's photo service ("GetPhoto.aspx", whose "Flag" selects the reply) and
// its folder of singer pictures. Every builder reads the settings "Server_Ip" and
// "webService_Port" anew; an unset one gives no URL, and so does a port that is not one from 1
// to 65535 (logged once while it stays). Each name, id or time filled in is escaped as a URL
// component, so "&", "=", "#", "?", "+", "%" and spaces in it stay part of the value. Sizes are
// written with six decimals ("135.000000").
class URLQX {
 public:
  // http://<ip>:<port>/GetPhoto.aspx?Flag=00&id=<food>&width=<w>&height=<h>&time=<time>
  static std::optional<net::URL> getFoodImageUrl(const std::string& foodNo, double width, double height,
                                                 const std::string& modifyTime);
  // The same without the time: ...?Flag=00&id=<food>&width=<w>&height=<h>
  static std::optional<net::URL> getFoodImageUrl(const std::string& foodNo, double width, double height);
  // ...?Flag=11&id=<staff id>: the staff member's photo file names, separated by ",". Logged.
  static std::optional<net::URL> getGongGuanPhotoNamesUrl(const std::string& staffId);
  // ...?Flag=12&id=<staff id>/<photo>&time=<time>&width=960&height=540: the photo. Logged.
  static std::optional<net::URL> getGongGuanPhotoUrl(const std::string& staffId, const std::string& photoName,
                                                     const std::string& modifyTime);
  // ...?Flag=21&id=<staff id>/<photo>: the photo's modification time.
  static std::optional<net::URL> getGongGuanPhotoModifyTimeUrl(const std::string& staffId,
                                                               const std::string& photoName);
  // ...?Flag=30&ID=<name>.jpg&Width=<w>&Height=<h>: the song picture.
  static std::optional<net::URL> getSongImageUrl(const std::string& name, double width, double height);
  // ...?Flag=98&ID=<staff number>&Width=<w>&Height=<h>: the staff head image.
  static std::optional<net::URL> getGongGuanHeadImageUrl(const std::string& staffNo, double width, double height);
  // http://<ip>/singer/<name>.png (the port setting is not used).
  static std::optional<net::URL> getSingerImageUrl(const std::string& name);

  // Fetches the URL with GET and waits for the whole reply on the calling thread. The body as
  // text; nothing when the load fails or times out (`timeoutSeconds` without progress), when
  // the status is not 2xx (an error page is not content), or when the body is not UTF-8.
  static constexpr double DefaultTimeout = 10;
  static std::optional<std::string> getHttpValue(const net::URL& url, double timeoutSeconds = DefaultTimeout);
  // The same for a URL that a builder could not make: nothing.
  static std::optional<std::string> getHttpValue(const std::optional<net::URL>& url,
                                                 double timeoutSeconds = DefaultTimeout);

  // A value escaped for a query ("/" and ":" stay) or for one path segment ("/" escaped too).
  static std::string escapeQueryValue(const std::string& value);
  static std::string escapePathSegment(const std::string& value);
};

}  // namespace kt
