#include "venue/BannerPages.h"

#include <map>

#include "venue/HttpPeer.h"

namespace venue {

namespace {

const char* const kHtml = "text/html; charset=utf-8";

std::string page(const std::string& title, const std::string& body) {
  return "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n<title>" + title +
         "</title>\n<link rel=\"stylesheet\" href=\"style.css\">\n</head>\n<body>\n" + body + "</body>\n</html>\n";
}

std::string indexPage() {
  return page("新店开业",
              "<div class=\"hero\">\n<h1>新店开业 欢唱季</h1>\n<p>全场包厢八折，欢迎光临</p>\n</div>\n"
              "<div class=\"content\">\n"
              "<img class=\"photo\" src=\"/images/thumb-7.jpg\" width=\"128\" height=\"128\" alt=\"大包厢\">\n"
              "<h2>活动内容</h2>\n<ul>\n"
              "<li>周一至周四下午场 <b>五折</b></li>\n"
              "<li>生日当天赠送果盘一份</li>\n"
              "<li>会员充值 <i>满五百送一百</i></li>\n"
              "</ul>\n"
              "<p class=\"links\"><a href=\"menu.html\">酒水套餐</a> | <a href=\"rooms.html\">包厢介绍</a> | "
              "<a href=\"tel:4008001234\">订房热线</a></p>\n"
              "</div>\n");
}

std::string menuPage() {
  return page("酒水套餐",
              "<div class=\"hero small\">\n<h1>酒水套餐</h1>\n</div>\n<div class=\"content\">\n"
              "<img class=\"photo\" src=\"/images/rgb.png\" width=\"120\" height=\"80\" alt=\"套餐\">\n"
              "<table class=\"prices\">\n"
              "<tr><th>套餐</th><th>内容</th><th>价格</th></tr>\n"
              "<tr><td>欢唱套餐</td><td>啤酒一打 小吃两份</td><td>¥298</td></tr>\n"
              "<tr><td>生日套餐</td><td>蛋糕 果盘 香槟</td><td>¥588</td></tr>\n"
              "<tr><td>豪华套餐</td><td>洋酒一瓶 果盘 小吃四份</td><td>¥1288</td></tr>\n"
              "</table>\n"
              "<p class=\"links\"><a href=\"index.html\">返回活动首页</a></p>\n</div>\n");
}

std::string roomsPage() {
  static const char* const kRooms[] = {"小包厢", "中包厢", "大包厢", "豪华包厢", "总统包厢", "主题包厢"};
  std::string body = "<div class=\"hero small\">\n<h1>包厢介绍</h1>\n</div>\n<div class=\"content\">\n";
  int n = 0;
  for (const char* room : kRooms) {
    body += "<h2>" + std::string(room) + "</h2>\n";
    for (int i = 0; i < 3; ++i, ++n) {
      body += "<p>第" + std::to_string(n + 1) +
              "段：包厢配备专业音响与高清大屏，点歌系统支持手机扫码点歌、收藏与排队置顶。"
              "服务铃随叫随到，酒水小吃可在平板上直接下单，账单随时可查。</p>\n";
    }
  }
  body += "<p class=\"links\"><a href=\"index.html\">返回活动首页</a></p>\n</div>\n";
  return page("包厢介绍", body);
}

const char* const kStyle =
    "@import url(\"base.css\");\n"
    ".hero { background-color: #c8102e; color: #ffffff; height: 160px; padding: 0 32px; }\n"
    ".hero.small { height: 96px; }\n"
    ".hero h1 { margin: 0; padding-top: 24px; font-size: 40px; }\n"
    ".hero p { margin: 12px 0 0 0; font-size: 22px; }\n"
    ".content { padding: 16px 32px; }\n"
    ".photo { float: right; margin: 0 0 16px 24px; border: 4px solid #ffd400; }\n"
    "h2 { color: #c8102e; font-size: 26px; border-bottom: 2px solid #ffd400; }\n"
    ".prices { border-collapse: collapse; }\n"
    ".prices th { background-color: #2b2f6e; color: #ffffff; padding: 6px 16px; }\n"
    ".prices td { border-bottom: 1px solid #cccccc; padding: 6px 16px; }\n"
    ".links { margin-top: 32px; font-size: 22px; }\n";

const char* const kBase =
    "body { margin: 0; background-color: #fff8e7; color: #333333; font-size: 20px; "
    "font-family: \"Noto Sans CJK SC\", sans-serif; }\n"
    "a { color: #0b57d0; }\n";

struct Resource {
  std::string contentType;
  std::string body;
};

const std::map<std::string, Resource>& resources() {
  static const std::map<std::string, Resource> all = {
      {"index.html", {kHtml, indexPage()}}, {"menu.html", {kHtml, menuPage()}},
      {"rooms.html", {kHtml, roomsPage()}}, {"style.css", {"text/css; charset=utf-8", kStyle}},
      {"base.css", {"text/css; charset=utf-8", kBase}},
  };
  return all;
}

}  // namespace

std::vector<std::string> BannerPages::names() {
  std::vector<std::string> out;
  for (const auto& [name, resource] : resources()) out.push_back(name);
  return out;
}

HttpReply BannerPages::reply(const RecordedRequest& request, const std::string& prefix) {
  std::string name = request.path.rfind(prefix, 0) == 0 ? request.path.substr(prefix.size()) : std::string();
  auto it = resources().find(name);
  if (it == resources().end()) return {404, kHtml, "<html><body><h1>404 页面不存在</h1></body></html>"};
  return {200, it->second.contentType, it->second.body};
}

}  // namespace venue
