#include "venue/WebServer.h"

#include "venue/BannerPages.h"
#include "venue/Gallery.h"

#include <algorithm>
#include <cstdlib>
#include <strings.h>

namespace venue {

namespace {

const char* const kText = "text/html; charset=utf-8";

bool equalsNoCase(const std::string& a, const std::string& b) { return ::strcasecmp(a.c_str(), b.c_str()) == 0; }

// A query value by key, ignoring the key's case; "" when missing.
std::string value(const RecordedRequest& request, const std::string& key) {
  for (const auto& [name, text] : request.params) {
    if (equalsNoCase(name, key)) return text;
  }
  return "";
}

int sizeOf(const RecordedRequest& request, const std::string& key) {
  std::string text = value(request, key);
  if (text.empty()) return 100;
  double v = std::atof(text.c_str());
  if (!(v >= 1)) return 1;
  return static_cast<int>(std::min(v, 2048.0));
}

bool endsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && equalsNoCase(text.substr(text.size() - tail.size()), tail);
}

bool isPhotoName(const std::string& name) { return endsWith(name, ".jpg") || endsWith(name, ".png"); }

HttpReply error(int status = 200) { return {status, kText, "Error"}; }

// "<staff>/<name>" split at the first "/".
std::pair<std::string, std::string> splitId(const std::string& id) {
  std::size_t slash = id.find('/');
  if (slash == std::string::npos) return {id, ""};
  return {id.substr(0, slash), id.substr(slash + 1)};
}

}  // namespace

WebServer::WebServer() {
  m_photos["1001"] = {{"a.jpg", "2024-05-01 10:00:00"}, {"b.png", "2024-05-02 11:30:00"}, {"c.txt", "2024-05-02 11:31:00"}};
  m_photos["1002"] = {{"舞台照.jpg", "2024-06-18 20:15:42"},
                      {"my photo.jpg", "2024-06-18 20:16:03"},
                      {"简介.doc", "2024-06-01 09:00:00"},
                      {"head.png", "2024-06-19 08:45:10"},
                      {"IMG_0042.JPG", "2024-06-20 21:05:00"}};
  m_photos["1003"] = {};
}

WebServer::~WebServer() { stop(); }

std::vector<StaffPhoto> WebServer::staffPhotos(const std::string& staffId) const {
  std::lock_guard lock(m_photosMutex);
  auto it = m_photos.find(staffId);
  return it == m_photos.end() ? std::vector<StaffPhoto>{} : it->second;
}

void WebServer::setStaffPhotos(const std::string& staffId, std::vector<StaffPhoto> photos) {
  std::lock_guard lock(m_photosMutex);
  m_photos[staffId] = std::move(photos);
}

bool WebServer::setPhotoTime(const std::string& staffId, const std::string& name, const std::string& time) {
  std::lock_guard lock(m_photosMutex);
  auto it = m_photos.find(staffId);
  if (it == m_photos.end()) return false;
  for (StaffPhoto& photo : it->second) {
    if (photo.name == name) {
      photo.time = time;
      return true;
    }
  }
  return false;
}

std::string WebServer::photoNamesText(const std::string& staffId) const {
  std::vector<StaffPhoto> photos = staffPhotos(staffId);
  if (photos.empty()) return "Error";
  std::string text;
  for (const StaffPhoto& photo : photos) {
    if (!text.empty()) text += ",";
    text += photo.name;
  }
  return text;
}

std::optional<StaffPhoto> WebServer::findPhoto(const std::string& staffId, const std::string& name) const {
  for (const StaffPhoto& photo : staffPhotos(staffId)) {
    if (photo.name == name) return photo;
  }
  return std::nullopt;
}

std::string WebServer::dishPhoto(const std::string& id, int width, int height, const std::string& time) {
  return makeJpeg(width, height, "dish/" + id + "/" + time);
}

std::string WebServer::staffPhoto(const std::string& staffId, const StaffPhoto& photo, int width, int height) {
  std::string seed = "staff/" + staffId + "/" + photo.name + "/" + photo.time;
  return endsWith(photo.name, ".png") ? makePng(width, height, seed) : makeJpeg(width, height, seed);
}

std::string WebServer::headImage(const std::string& staffNumber, int width, int height) {
  return makeJpeg(width, height, "head/" + staffNumber);
}

std::string WebServer::songPicture(const std::string& name, int width, int height) {
  return makeJpeg(width, height, "song/" + name);
}

std::string WebServer::singerPicture(const std::string& name) { return makePng(160, 160, "singer/" + name); }

std::string WebServer::endpointOf(const RecordedRequest& request) const {
  if (equalsNoCase(request.path, "/GetPhoto.aspx")) return "Flag=" + value(request, "Flag");
  if (request.path.rfind("/singer/", 0) == 0) return "singer";
  if (request.path.rfind("/images/", 0) == 0) return "images";
  if (request.path.rfind("/pages/", 0) == 0) return "pages";
  return request.path;
}

HttpReply WebServer::handle(const RecordedRequest& request) {
  if (auto clip = clipReply(request)) return *clip;
  if (request.path.rfind("/images/", 0) == 0) return Gallery::reply(request, "/images/", m_galleryMaxAge);
  if (request.path.rfind("/pages/", 0) == 0) return BannerPages::reply(request, "/pages/");
  if (request.path.rfind("/singer/", 0) == 0) {
    std::string file = request.path.substr(std::string("/singer/").size());
    if (file.size() <= 4 || !endsWith(file, ".png")) return error(404);
    return {200, "image/png", singerPicture(file.substr(0, file.size() - 4))};
  }
  if (!equalsNoCase(request.path, "/GetPhoto.aspx")) return {404, kText, "<html><body>404 Not Found</body></html>"};

  const std::string flag = value(request, "Flag");
  const std::string id = value(request, "id");
  if (flag == "00") {
    if (id.empty()) return error(404);
    return {200, "image/jpeg",
            dishPhoto(id, sizeOf(request, "width"), sizeOf(request, "height"), value(request, "time"))};
  }
  if (flag == "11") return {200, kText, photoNamesText(id)};
  if (flag == "21" || flag == "12") {
    auto [staffId, name] = splitId(id);
    std::optional<StaffPhoto> photo = findPhoto(staffId, name);
    if (flag == "21") return photo ? HttpReply{200, kText, photo->time} : error();
    if (!photo || !isPhotoName(photo->name)) return error(404);
    std::string bytes = staffPhoto(staffId, *photo, sizeOf(request, "width"), sizeOf(request, "height"));
    return {200, endsWith(photo->name, ".png") ? "image/png" : "image/jpeg", bytes};
  }
  if (flag == "30") {
    std::string file = id;
    if (file.size() <= 4 || !endsWith(file, ".jpg")) return error(404);
    return {200, "image/jpeg",
            songPicture(file.substr(0, file.size() - 4), sizeOf(request, "Width"), sizeOf(request, "Height"))};
  }
  if (flag == "98") {
    if (id.empty()) return error(404);
    return {200, "image/jpeg", headImage(id, sizeOf(request, "Width"), sizeOf(request, "Height"))};
  }
  return error(400);
}

}  // namespace venue
