#include "app/URLQX.h"

#include "platform/core/Log.h"
#include "platform/core/SaidOnce.h"
#include "platform/core/TextEncoding.h"
#include "platform/core/UserDefaults.h"
#include "platform/net/SyncGet.h"
#include "platform/net/TcpPort.h"

#include <charconv>

namespace kt {

namespace {

constexpr const char* Alphanumerics = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

// What a value may keep: the characters a URL allows that do not separate the query's pairs or
// end the URL ("&", "=", "?", "#"), nor change a value when read back ("+", "%").
// Both sets are never destroyed: addresses are made on other threads while the process exits.
const std::string& queryValueAllowed() {
  static const std::string* allowed = new std::string(std::string(Alphanumerics) + "-._~:;,@!$'()*/");
  return *allowed;
}

const std::string& pathSegmentAllowed() {
  static const std::string* allowed = new std::string(std::string(Alphanumerics) + "-._~:;,@!$'()*");
  return *allowed;
}

struct Server {
  std::string host;
  std::string port;
};

// The web port settings that were no port, each said once while it stays (every picture asks for
// an address) and again should it come back after a good one. Never destroyed: addresses are
// made on other threads while the process exits.
core::SaidOnce& badWebPorts() {
  static core::SaidOnce* said = new core::SaidOnce;
  return *said;
}

// The venue server settings, read anew; the host goes into the URL as it is written, escaped
// only where a URL cannot hold a character. A web port that is not a port from 1 to 65535 gives
// no URL rather than one to another port (0, or the default when it is empty).
std::optional<Server> venueServer(bool withPort) {
  core::UserDefaults& defaults = core::UserDefaults::standard();
  std::optional<std::string> host = defaults.stringForKey("Server_Ip");
  if (!host) return std::nullopt;
  Server server{net::escapeForURL(*host), {}};
  if (withPort) {
    std::optional<std::string> text = defaults.stringForKey("webService_Port");
    if (!text) return std::nullopt;
    const std::optional<uint16_t> port = net::tcpPort(*text);
    if (!port) {
      if (badWebPorts().first(*text)) {
        core::logLine("The setting webService_Port (" + *text + ") is not a port from " + net::kTcpPortRange +
                      ": no address on the venue web server is made");
      }
      return std::nullopt;
    }
    badWebPorts().forgetAll();
    server.port = std::to_string(*port);
  }
  return server;
}

// "%f": six decimals, a point whatever the locale.
std::string sixDecimals(double value) {
  char buffer[400];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
  if (ec != std::errc()) return "nan";
  return std::string(buffer, end);
}

// http://<host>:<port>/GetPhoto.aspx?<query>
std::optional<net::URL> photoServiceURL(const std::string& query) {
  std::optional<Server> server = venueServer(true);
  if (!server) return std::nullopt;
  return net::URL::fromString("http://" + server->host + ":" + server->port + "/GetPhoto.aspx?" + query);
}

void logURL(const std::optional<net::URL>& url) { core::logLine(url ? url->absoluteString() : "(null)"); }

}  // namespace

std::string URLQX::escapeQueryValue(const std::string& value) { return net::percentEncode(value, queryValueAllowed()); }

std::string URLQX::escapePathSegment(const std::string& value) {
  return net::percentEncode(value, pathSegmentAllowed());
}

std::optional<net::URL> URLQX::getFoodImageUrl(const std::string& foodNo, double width, double height,
                                               const std::string& modifyTime) {
  return photoServiceURL("Flag=00&id=" + escapeQueryValue(foodNo) + "&width=" + sixDecimals(width) +
                         "&height=" + sixDecimals(height) + "&time=" + escapeQueryValue(modifyTime));
}

std::optional<net::URL> URLQX::getFoodImageUrl(const std::string& foodNo, double width, double height) {
  return photoServiceURL("Flag=00&id=" + escapeQueryValue(foodNo) + "&width=" + sixDecimals(width) +
                         "&height=" + sixDecimals(height));
}

std::optional<net::URL> URLQX::getGongGuanPhotoNamesUrl(const std::string& staffId) {
  std::optional<net::URL> url = photoServiceURL("Flag=11&id=" + escapeQueryValue(staffId));
  logURL(url);
  return url;
}

std::optional<net::URL> URLQX::getGongGuanPhotoUrl(const std::string& staffId, const std::string& photoName,
                                                   const std::string& modifyTime) {
  std::optional<net::URL> url =
      photoServiceURL("Flag=12&id=" + escapeQueryValue(staffId) + "/" + escapeQueryValue(photoName) +
                      "&time=" + escapeQueryValue(modifyTime) + "&width=960&height=540");
  logURL(url);
  return url;
}

std::optional<net::URL> URLQX::getGongGuanPhotoModifyTimeUrl(const std::string& staffId,
                                                             const std::string& photoName) {
  return photoServiceURL("Flag=21&id=" + escapeQueryValue(staffId) + "/" + escapeQueryValue(photoName));
}

std::optional<net::URL> URLQX::getSongImageUrl(const std::string& name, double width, double height) {
  return photoServiceURL("Flag=30&ID=" + escapeQueryValue(name) + ".jpg&Width=" + sixDecimals(width) +
                         "&Height=" + sixDecimals(height));
}

std::optional<net::URL> URLQX::getGongGuanHeadImageUrl(const std::string& staffNo, double width, double height) {
  return photoServiceURL("Flag=98&ID=" + escapeQueryValue(staffNo) + "&Width=" + sixDecimals(width) +
                         "&Height=" + sixDecimals(height));
}

std::optional<net::URL> URLQX::getSingerImageUrl(const std::string& name) {
  std::optional<Server> server = venueServer(false);
  if (!server) return std::nullopt;
  return net::URL::fromString("http://" + server->host + "/singer/" + escapePathSegment(name) + ".png");
}

std::optional<std::string> URLQX::getHttpValue(const net::URL& url, double timeoutSeconds) {
  net::HTTPURLResponse response(url, 0, "", {});
  std::optional<std::string> body = net::syncGet(url, timeoutSeconds, &response);
  if (!body) return std::nullopt;
  if (response.statusCode() < 200 || response.statusCode() > 299) return std::nullopt;
  if (!core::isValidUtf8(*body)) return std::nullopt;
  return body;
}

std::optional<std::string> URLQX::getHttpValue(const std::optional<net::URL>& url, double timeoutSeconds) {
  if (!url) return std::nullopt;
  return getHttpValue(*url, timeoutSeconds);
}

}  // namespace kt
