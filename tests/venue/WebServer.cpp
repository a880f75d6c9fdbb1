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

// 5 x 7 glyphs of the characters a caption uses, a row of five bits per byte (top row first).
const std::uint8_t* glyph(char c) {
  static const std::uint8_t digits[10][7] = {
      {0x0e, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0e}, {0x04, 0x0c, 0x04, 0x04, 0x04, 0x04, 0x0e},
      {0x0e, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1f}, {0x1f, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0e},
      {0x02, 0x06, 0x0a, 0x12, 0x1f, 0x02, 0x02}, {0x1f, 0x10, 0x1e, 0x01, 0x01, 0x11, 0x0e},
      {0x06, 0x08, 0x10, 0x1e, 0x11, 0x11, 0x0e}, {0x1f, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},
      {0x0e, 0x11, 0x11, 0x0e, 0x11, 0x11, 0x0e}, {0x0e, 0x11, 0x11, 0x0f, 0x01, 0x02, 0x0c}};
  static const std::uint8_t hash[7] = {0x0a, 0x0a, 0x1f, 0x0a, 0x1f, 0x0a, 0x0a};
  if (c >= '0' && c <= '9') return digits[c - '0'];
  if (c == '#') return hash;
  return nullptr;  // drawn as a space
}

// Draws lines of digits and "#" centred on the picture, light on a dark box, as large as fits.
void drawCaption(std::vector<std::uint8_t>& pixels, int width, int height, const std::vector<std::string>& lines) {
  std::size_t longest = 1;
  for (const std::string& line : lines) longest = std::max(longest, line.size());
  const int rows = static_cast<int>(lines.size());
  const int scale = std::min(width * 3 / 4 / static_cast<int>(longest * 6), height * 2 / 3 / (rows * 9));
  if (scale < 1) return;
  const int boxW = static_cast<int>(longest) * 6 * scale + 2 * scale;
  const int boxH = rows * 9 * scale + scale;
  const int left = (width - boxW) / 2;
  const int top = (height - boxH) / 2;
  auto paint = [&](int x, int y, std::uint8_t level) {
    if (x < 0 || y < 0 || x >= width || y >= height) return;
    std::size_t at = (static_cast<std::size_t>(y) * width + x) * 3;
    pixels[at] = pixels[at + 1] = pixels[at + 2] = level;
  };
  for (int y = top; y < top + boxH; ++y)
    for (int x = left; x < left + boxW; ++x) paint(x, y, 24);
  for (int row = 0; row < rows; ++row) {
    const std::string& line = lines[static_cast<std::size_t>(row)];
    const int lineLeft = left + scale + static_cast<int>(longest - line.size()) * 3 * scale;
    const int lineTop = top + scale + row * 9 * scale;
    for (std::size_t i = 0; i < line.size(); ++i) {
      const std::uint8_t* bits = glyph(line[i]);
      if (!bits) continue;
      for (int gy = 0; gy < 7; ++gy)
        for (int gx = 0; gx < 5; ++gx) {
          if (!(bits[gy] & (0x10 >> gx))) continue;
          for (int dy = 0; dy < scale; ++dy)
            for (int dx = 0; dx < scale; ++dx)
              paint(lineLeft + (static_cast<int>(i) * 6 + gx) * scale + dx, lineTop + gy * scale + dy, 240);
        }
    }
  }
}

}  // namespace

WebServer::WebServer() : m_staff(VenueStaff::standard()) {}

WebServer::~WebServer() { stop(); }

void WebServer::setStaff(std::shared_ptr<VenueStaff> staff) {
  if (!staff) return;
  std::lock_guard lock(m_staffMutex);
  m_staff = std::move(staff);
}

std::shared_ptr<VenueStaff> WebServer::staff() const {
  std::lock_guard lock(m_staffMutex);
  return m_staff;
}

std::vector<StaffPhoto> WebServer::staffPhotos(const std::string& staffId) const { return staff()->photos(staffId); }

void WebServer::setStaffPhotos(const std::string& staffId, std::vector<StaffPhoto> photos) {
  staff()->setPhotos(staffId, std::move(photos));
}

bool WebServer::setPhotoTime(const std::string& staffId, const std::string& name, const std::string& time) {
  return staff()->setPhotoTime(staffId, name, time);
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

std::string WebServer::dishPhoto(const std::string& id, int width, int height, const std::string& time) {
  return makeJpeg(width, height, "dish/" + id + "/" + time);
}

std::string WebServer::staffPhoto(const std::string& staffId, const StaffPhoto& photo, std::size_t index, int width,
                                  int height) {
  width = std::clamp(width, 1, 4096);
  height = std::clamp(height, 1, 4096);
  std::vector<std::uint8_t> pixels = drawPicture(width, height, "staff/" + staffId + "/" + photo.name + "/" + photo.time);
  drawCaption(pixels, width, height, {staffId, "#" + std::to_string(index + 1)});
  return endsWith(photo.name, ".png") ? encodePng(pixels, width, height, 3) : encodeJpeg(pixels, width, height);
}

std::string WebServer::headImage(const std::string& staffNumber, int width, int height) {
  width = std::clamp(width, 1, 4096);
  height = std::clamp(height, 1, 4096);
  std::vector<std::uint8_t> pixels = drawPicture(width, height, "head/" + staffNumber);
  drawCaption(pixels, width, height, {staffNumber});
  return encodeJpeg(pixels, width, height);
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
  if (equalsNoCase(request.path, "/WebService.asmx")) return m_soap.handle(request);
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
    std::vector<StaffPhoto> photos = staffPhotos(staffId);
    auto photo = std::find_if(photos.begin(), photos.end(), [&](const StaffPhoto& p) { return p.name == name; });
    if (flag == "21") return photo != photos.end() ? HttpReply{200, kText, photo->time} : error();
    if (photo == photos.end() || !isPhotoName(photo->name)) return error(404);
    std::string bytes = staffPhoto(staffId, *photo, static_cast<std::size_t>(photo - photos.begin()),
                                   sizeOf(request, "width"), sizeOf(request, "height"));
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
