#pragma once

// The pages that the cloud service's page banners open: a small site of Chinese pages with a
// style sheet (which imports a second one), pictures from the gallery under "/images/" of the
// same host (venue/Gallery.h), and links between the pages.
//
//   index.html   "新店开业": a red banner block with the title, a thumbnail picture, a list of
//                offers, links to menu.html, rooms.html and a "tel:" link (which a web view
//                does not follow)
//   menu.html    "酒水套餐": a table of packages and prices, the gallery's rgb.png, a link back
//   rooms.html   "包厢介绍": many paragraphs (taller than a tablet screen) and a link back at the end
//   style.css    the pages' sheet; it begins with @import url("base.css")
//   base.css     the body's font, colours and margins
//
// Pages are UTF-8 HTML ("text/html; charset=utf-8"), sheets "text/css"; any other name gets 404
// with an HTML body.

#include <string>
#include <vector>

namespace venue {

struct HttpReply;
struct RecordedRequest;

class BannerPages {
 public:
  static constexpr const char* FirstPage = "index.html";
  // The colour of index.html's banner block and of the rooms' headings, as CSS writes it.
  static constexpr const char* BannerColour = "#c8102e";
  static constexpr int BannerHeight = 160;  // the banner block's height in CSS pixels

  // Every name served, pages and sheets.
  static std::vector<std::string> names();
  // The reply to a request for the name after `prefix` ("/pages/") in the request's path.
  static HttpReply reply(const RecordedRequest& request, const std::string& prefix);
};

}  // namespace venue
