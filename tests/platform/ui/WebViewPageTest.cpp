#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <mutex>

#include "UiTestSupport.h"
#include "platform/gfx/Image.h"
#include "platform/net/URLError.h"
#include "platform/ui/WebPictureLoader.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/VideoView.h"
#include "platform/video/VideoPlayer.h"
#include "platform/ui/WebView.h"
#include "platform/ui/Window.h"
#include "support/SessionsLetGo.h"
#include "support/UiHarness.h"
#include "venue/BannerPages.h"
#include "venue/Gallery.h"
#include "venue/HttpPeer.h"
#include "venue/WebServer.h"

namespace {

using ui::WebView;
using Calls = std::vector<std::string>;

// Pages a test writes, served on 127.0.0.1, with the gallery's pictures under /images/.
class PageServer : public venue::HttpPeer {
 public:
  PageServer() { start(); }
  ~PageServer() override { stop(); }
  void set(const std::string& path, const std::string& body, const std::string& contentType = "text/html; charset=utf-8") {
    std::lock_guard lock(m_mutex);
    m_pages[path] = {200, contentType, body};
  }
  std::string url(const std::string& path) const { return baseUrl() + path; }

 protected:
  venue::HttpReply handle(const venue::RecordedRequest& request) override {
    if (request.path.rfind("/images/", 0) == 0) return venue::Gallery::reply(request, "/images/", 60);
    std::lock_guard lock(m_mutex);
    auto it = m_pages.find(request.path);
    if (it == m_pages.end()) return {404, "text/html", "<html><body>not here</body></html>"};
    return it->second;
  }
  std::string endpointOf(const venue::RecordedRequest& request) const override { return request.path; }

 private:
  std::mutex m_mutex;
  std::map<std::string, venue::HttpReply> m_pages;
};

class RecordingDelegate : public ui::WebViewDelegate {
 public:
  bool shouldStartLoadWithRequest(WebView&, const net::URLRequest& request, ui::WebViewNavigationType type) override {
    std::string kind = type == ui::WebViewNavigationType::LinkClicked   ? "link "
                       : type == ui::WebViewNavigationType::BackForward ? "history "
                                                                        : "other ";
    calls.push_back("should " + kind + (request.url() ? request.url()->absoluteString() : std::string("-")));
    return true;
  }
  void webViewDidStartLoad(WebView&) override { calls.push_back("start"); }
  void webViewDidFinishLoad(WebView&) override {
    calls.push_back("finish");
    ++finished;
  }
  void didFailLoadWithError(WebView&, const core::Error& error) override {
    calls.push_back("fail " + std::to_string(error.code()));
    ++failed;
  }
  Calls calls;
  int finished = 0;
  int failed = 0;
};

class WebViewPageTest : public support::SessionsLetGoAtEnd, public support::ScreenTest {
 protected:
  void SetUp() override { makeWebView(); }
  void TearDown() override {
    web.reset();
    server.stop();
  }

  void makeWebView() {
    if (web) web->removeFromSuperview();
    web = WebView::create(window().bounds());
    web->setDelegate(&delegate);
    window().addSubview(web);
  }
  // Loads the address and waits for its finish (or failure).
  bool load(const std::string& url) {
    int before = delegate.finished + delegate.failed;
    web->loadRequest(net::URLRequest(net::URL::fromString(url)));
    return runUntil([&] { return delegate.finished + delegate.failed > before; });
  }
  bool waitForLoad(int before) {
    return runUntil([&] { return delegate.finished + delegate.failed > before; });
  }

  // Counts the pixels of a region whose colour passes a test.
  static int countPixels(const gfx::Image& image, const gfx::Rect& region, const std::function<bool(uint32_t)>& test) {
    int n = 0;
    for (double y = region.y(); y < region.y() + region.height(); y += 1) {
      for (double x = region.x(); x < region.x() + region.width(); x += 1) {
        if (test(colorAt(image, gfx::Point{x, y}))) ++n;
      }
    }
    return n;
  }

  PageServer server;
  venue::WebServer venueWeb;
  RecordingDelegate delegate;
  std::shared_ptr<WebView> web;
};

uint32_t red(uint32_t c) { return (c >> 16) & 0xFF; }
uint32_t green(uint32_t c) { return (c >> 8) & 0xFF; }
uint32_t blue(uint32_t c) { return c & 0xFF; }
bool isWhite(uint32_t c) { return c == 0xFFFFFFFFu; }

const char* const kLayoutPage = R"(<!DOCTYPE html>
<html><head><style>
body { margin: 0; }
#block { position: absolute; left: 100px; top: 150px; width: 80px; height: 60px; background-color: #00c000; }
#right { position: absolute; right: 10px; top: 10px; width: 50px; height: 50px; background-color: #ff0000; }
#title { position: absolute; left: 300px; top: 100px; color: #0000ff; font-size: 40px; }
#pic { position: absolute; left: 500px; top: 300px; }
#tiles { position: absolute; left: 100px; top: 400px; width: 300px; height: 100px;
         background: url(/images/rgb.png) repeat-x 0 20px; }
#frame { position: absolute; left: 700px; top: 100px; width: 100px; height: 100px; border: 10px solid #ff00ff; }
</style></head><body>
<div id="block"></div><div id="right"></div>
<div id="title">点歌中文</div>
<img id="pic" src="/images/rgb.png" width="120" height="80">
<div id="tiles"></div>
<div id="frame"></div>
</body></html>)";

class WebViewLayoutTest : public WebViewPageTest, public ::testing::WithParamInterface<support::Device> {};

TEST_P(WebViewLayoutTest, ThePageIsDrawnWhereItsStylesPutIt) {
  setDevice(GetParam());
  makeWebView();
  server.set("/layout.html", kLayoutPage);
  ASSERT_TRUE(load(server.url("/layout.html")));
  EXPECT_EQ(delegate.calls.back(), "finish");
  render();
  auto image = screenshot("layout");
  ASSERT_TRUE(image);
  const double width = window().bounds().width();

  // The coloured blocks, the second against the right edge of whichever screen.
  EXPECT_EQ(colorAt(*image, {140, 180}), 0xFF00C000u);
  EXPECT_EQ(colorAt(*image, {width - 35, 35}), 0xFFFF0000u);
  EXPECT_TRUE(isWhite(colorAt(*image, {width - 5, 35})));
  // The border around the frame, not inside it.
  EXPECT_EQ(colorAt(*image, {705, 150}), 0xFFFF00FFu);
  EXPECT_TRUE(isWhite(colorAt(*image, {760, 160})));
  // Chinese text in its colour where the style puts it.
  EXPECT_GT(countPixels(*image, gfx::Rect(300, 100, 200, 60),
                        [](uint32_t c) { return blue(c) > 200 && red(c) < 100 && green(c) < 100; }),
            200);
  // The picture, drawn at twice its size: its dark marker at the top left, its colour beyond.
  uint32_t marker = colorAt(*image, {505, 305});
  EXPECT_LT(red(marker) + green(marker) + blue(marker), 150u);
  EXPECT_FALSE(isWhite(colorAt(*image, {580, 360})));
  EXPECT_TRUE(isWhite(colorAt(*image, {625, 360})));
  // The background picture repeats along its row only.
  EXPECT_FALSE(isWhite(colorAt(*image, {130, 440})));
  EXPECT_FALSE(isWhite(colorAt(*image, {370, 440})));
  EXPECT_TRUE(isWhite(colorAt(*image, {130, 410})));
  EXPECT_TRUE(isWhite(colorAt(*image, {130, 480})));
}

INSTANTIATE_TEST_SUITE_P(Devices, WebViewLayoutTest,
                         ::testing::Values(support::Device::Standard, support::Device::LargeTablet),
                         [](const auto& info) { return info.param == support::Device::Standard ? "Standard" : "LargeTablet"; });

TEST_F(WebViewPageTest, PagesLieOnWhiteUnlessTheViewIsNotOpaque) {
  // As the banner pages place it: a clear web view on a black screen.
  window().setBackgroundColor(gfx::Color::black());
  web->setBackgroundColor(gfx::Color::clear());
  web->loadHTMLString("<p style='margin:0'>白纸黑字</p>", std::nullopt);
  render();
  auto opaque = screenshot("opaque");
  ASSERT_TRUE(opaque);
  EXPECT_TRUE(isWhite(colorAt(*opaque, {500, 400})));
  web->setOpaque(false);
  web->loadHTMLString("<p style='margin:0'>透明</p>", std::nullopt);
  render();
  auto clear = screenshot("not-opaque");
  ASSERT_TRUE(clear);
  EXPECT_EQ(colorAt(*clear, {500, 400}), 0xFF000000u);
}

TEST_F(WebViewPageTest, BannerPagesOfTheVenueShowWithTheirSheetsAndPictures) {
  ASSERT_TRUE(venueWeb.start());
  ASSERT_TRUE(load(venueWeb.baseUrl() + "/pages/" + venue::BannerPages::FirstPage));
  EXPECT_EQ(delegate.calls.back(), "finish");
  // The sheet and the one it imports were asked for before the page finished, and its picture.
  EXPECT_EQ(venueWeb.requestsTo("pages").size(), 3u);
  EXPECT_EQ(venueWeb.requestsTo("images").size(), 1u);
  render();
  auto image = screenshot("index");
  ASSERT_TRUE(image);
  // The red banner block (from the sheet), white Chinese title on it, the imported sheet's
  // background below it and past the end of the page.
  EXPECT_EQ(colorAt(*image, {10, 10}), 0xFFC8102Eu);
  EXPECT_GT(countPixels(*image, gfx::Rect(30, 30, 300, 50), [](uint32_t c) { return isWhite(c); }), 300);
  EXPECT_EQ(colorAt(*image, {10, double(venue::BannerPages::BannerHeight) + 10}), 0xFFFFF8E7u);
  EXPECT_EQ(colorAt(*image, {10, 760}), 0xFFFFF8E7u);
  EXPECT_EQ(web->text().find("新店开业"), 0u);

  // The other two pages: the menu's picture, and the rooms taller than the screen.
  ASSERT_TRUE(load(venueWeb.baseUrl() + "/pages/menu.html"));
  EXPECT_EQ(venueWeb.requestsTo("images").size(), 2u);
  render();
  screenshot("menu");
  ASSERT_TRUE(load(venueWeb.baseUrl() + "/pages/rooms.html"));
  render();
  screenshot("rooms");
  EXPECT_GT(web->scrollView()->contentSize().height, 2 * window().bounds().height());
}

TEST_F(WebViewPageTest, ATallPageScrolls) {
  server.set("/tall.html",
             "<html><body style='margin:0'><div style='height:2000px;background:#ff0000'></div>"
             "<div style='height:1000px;background:#0000ff'></div></body></html>");
  ASSERT_TRUE(load(server.url("/tall.html")));
  render();
  EXPECT_EQ(web->scrollView()->contentSize().height, 3000);
  auto top = screenshot("top");
  ASSERT_TRUE(top);
  EXPECT_EQ(colorAt(*top, {500, 700}), 0xFFFF0000u);

  // A drag moves the page up under the finger.
  drag({500, 700}, {500, 200});
  wait(2);
  double offset = web->scrollView()->contentOffset().y;
  EXPECT_GT(offset, 400);

  // Far down, the second block shows, drawn afresh where the page was not drawn before.
  web->scrollView()->setContentOffset({0, 2100});
  render();
  auto bottom = screenshot("bottom");
  ASSERT_TRUE(bottom);
  EXPECT_EQ(colorAt(*bottom, {500, 10}), 0xFF0000FFu);
  EXPECT_EQ(colorAt(*bottom, {500, 760}), 0xFF0000FFu);
  web->scrollView()->setContentOffset({0, 1700});
  render();
  auto middle = screenshot("middle");
  ASSERT_TRUE(middle);
  EXPECT_EQ(colorAt(*middle, {500, 290}), 0xFFFF0000u);
  EXPECT_EQ(colorAt(*middle, {500, 310}), 0xFF0000FFu);
}

// Links as big blocks, so that a tap finds them.
std::string linkPage(const std::string& title, const std::vector<std::string>& hrefs) {
  std::string html = "<html><body style='margin:0'><h1 style='position:absolute;left:600px;top:0'>" + title + "</h1>";
  int top = 0;
  for (const std::string& href : hrefs) {
    html += "<a href='" + href + "' style='display:block;position:absolute;left:0;top:" + std::to_string(top) +
            "px;width:400px;height:100px;background:#e0e0ff'>" + href + "</a>";
    top += 150;
  }
  return html + "</body></html>";
}

TEST_F(WebViewPageTest, LinksLoadTheirPagesAndHistoryWalksBack) {
  server.set("/a.html", linkPage("page A", {"b.html"}));
  server.set("/b.html", linkPage("page B", {"/a.html", "http://127.0.0.1:1/refused.html"}));
  ASSERT_TRUE(load(server.url("/a.html")));
  EXPECT_FALSE(web->canGoBack());
  delegate.calls.clear();

  tap({200, 50});
  ASSERT_TRUE(waitForLoad(1));
  EXPECT_EQ(delegate.calls, (Calls{"should link " + server.url("/b.html"), "start", "finish"}));
  EXPECT_NE(web->text().find("page B"), std::string::npos);
  EXPECT_TRUE(web->canGoBack());
  EXPECT_FALSE(web->canGoForward());

  delegate.calls.clear();
  web->goBack();
  ASSERT_TRUE(waitForLoad(2));
  EXPECT_EQ(delegate.calls, (Calls{"should history " + server.url("/a.html"), "start", "finish"}));
  EXPECT_NE(web->text().find("page A"), std::string::npos);
  EXPECT_FALSE(web->canGoBack());
  EXPECT_TRUE(web->canGoForward());

  delegate.calls.clear();
  web->goForward();
  ASSERT_TRUE(waitForLoad(3));
  EXPECT_EQ(delegate.calls, (Calls{"should history " + server.url("/b.html"), "start", "finish"}));
  EXPECT_NE(web->text().find("page B"), std::string::npos);

  // A link whose page cannot be had fails and leaves the page and the history as they were.
  delegate.calls.clear();
  tap({200, 200});
  ASSERT_TRUE(runUntil([&] { return delegate.failed == 1; }));
  EXPECT_EQ(delegate.calls.front(), "should link http://127.0.0.1:1/refused.html");
  EXPECT_NE(web->text().find("page B"), std::string::npos);
  EXPECT_TRUE(web->canGoBack());
  EXPECT_FALSE(web->canGoForward());

  // A new link from a page reached by going back drops the pages ahead.
  web->goBack();
  ASSERT_TRUE(runUntil([&] { return delegate.finished == 5; }));
  tap({200, 50});
  ASSERT_TRUE(runUntil([&] { return delegate.finished == 6; }));
  EXPECT_FALSE(web->canGoForward());
  EXPECT_TRUE(web->canGoBack());
}

TEST_F(WebViewPageTest, LinksToOtherSchemesDoNothing) {
  server.set("/schemes.html", linkPage("schemes", {"tel:4008001234", "mailto:a@b.example", "javascript:void(0)",
                                                   "ftp://127.0.0.1/file", "#top"}));
  ASSERT_TRUE(load(server.url("/schemes.html")));
  delegate.calls.clear();
  size_t requests = server.requestCount();
  for (double y : {50, 200, 350, 500}) tap({200, y});
  wait(0.5);
  EXPECT_TRUE(delegate.calls.empty());
  EXPECT_FALSE(web->isLoading());
  EXPECT_EQ(server.requestCount(), requests);
  // A tap beside the links does nothing either.
  tap({800, 700});
  wait(0.2);
  EXPECT_TRUE(delegate.calls.empty());
}

TEST_F(WebViewPageTest, ALinkToAPlaceOnThePageScrollsThere) {
  server.set("/long.html", linkPage("long", {"#far", "long.html#%E6%9C%AB%E5%B0%BE"}) +
                               "<div id='far' style='position:absolute;top:1500px;height:4000px'>far</div>"
                               "<a name='末尾' style='position:absolute;top:4000px'>end</a><p id='x'></p>");
  ASSERT_TRUE(load(server.url("/long.html")));
  delegate.calls.clear();
  size_t requests = server.requestCount();
  tap({200, 50});
  EXPECT_EQ(web->scrollView()->contentOffset().y, 1500);
  web->scrollView()->setContentOffset({0, 0});
  tap({200, 200});
  EXPECT_EQ(web->scrollView()->contentOffset().y, 4000);
  wait(0.3);
  EXPECT_EQ(delegate.calls, (Calls{"should link " + server.url("/long.html#far"),
                                   "should link " + server.url("/long.html#%E6%9C%AB%E5%B0%BE")}));
  EXPECT_EQ(server.requestCount(), requests);
  EXPECT_FALSE(web->isLoading());
}

TEST_F(WebViewPageTest, DataPagesAreInTheHistoryToo) {
  server.set("/next.html", linkPage("next", {"next.html"}));
  web->loadHTMLString(linkPage("from data", {server.url("/next.html")}), std::nullopt);
  ASSERT_TRUE(waitForLoad(0));
  tap({200, 50});
  ASSERT_TRUE(waitForLoad(1));
  EXPECT_NE(web->text().find("next"), std::string::npos);
  web->goBack();
  ASSERT_TRUE(waitForLoad(2));
  EXPECT_NE(web->text().find("from data"), std::string::npos);
  EXPECT_EQ(web->MIMEType(), "text/html");
}

TEST_F(WebViewPageTest, BrokenSheetsAndPicturesLeaveThePageShowing) {
  server.set("/good.css", "#block { background-color: #00c000; }", "text/css");
  server.set("/garbage.css", "<html><body>{{{ not css ;;; } } @media {", "text/html");
  server.set("/not-a-picture.png", "hello", "text/plain");
  server.set("/broken.html", R"(<html><head>
<link rel="stylesheet" href="missing.css">
<link rel="stylesheet" href="garbage.css">
<link rel="stylesheet" href="http://127.0.0.1:1/refused.css">
<style>@import url("missing-too.css"); @import "good.css";</style>
</head><body style="margin:0">
<div id="block" style="position:absolute;left:100px;top:100px;width:80px;height:60px"></div>
<img src="/images/nothing.png" width="50" height="50"><img src="not-a-picture.png"><img src="http://127.0.0.1:1/x.png">
<p style="position:absolute;top:300px">还在</p>
</body></html>)");
  ASSERT_TRUE(load(server.url("/broken.html")));
  EXPECT_EQ(delegate.calls.back(), "finish");
  EXPECT_EQ(delegate.failed, 0);
  render();
  auto image = screenshot("broken");
  ASSERT_TRUE(image);
  EXPECT_EQ(colorAt(*image, {140, 130}), 0xFF00C000u);
  EXPECT_NE(web->text().find("还在"), std::string::npos);
  // Each address was asked for once, however often the page was parsed again.
  EXPECT_EQ(server.requestsTo("/missing.css").size(), 1u);
  EXPECT_EQ(server.requestsTo("/good.css").size(), 1u);
  EXPECT_EQ(server.requestsTo("/images/nothing.png").size(), 1u);
}

TEST_F(WebViewPageTest, BadHTMLDoesNotCrash) {
  std::string deep;
  for (int i = 0; i < 400; ++i) deep += "<div><span><b>";
  const std::vector<std::string> pages = {
      "",
      "<",
      "<html><body><p>unclosed <b>bold <i>italic <table><tr><td>cell<td>cell2<tr></table></b>",
      deep + "深" + deep,
      std::string("<p>nul\0byte</p>", 15),
      "<p>\xff\xfe invalid utf-8 \xc3</p>",
      "<div style='font-size:999999999px;border:99999px solid red;width:-5px;height:1e30px;margin:-99999px'>x</div>",
      "<div style='font-family: \"\", ,,, \"unterminated'>x</div><style>@import url(;@media ( {</style>",
      "<ul style='list-style-image:url(\"\")'><li>a<ol><li>b</ol></ul><img src=''><img src='::'><img>",
      "<table><table><table><td><tr><caption><col><colgroup></table></td></div></span>",
      "<a href='%zz%'>bad escape</a><a href='http://[::1'>bad host</a><base href='::::'>",
      std::string(100000, '<'),
  };
  for (const std::string& html : pages) {
    web->loadData(html, std::string("text/html"), std::nullopt, net::URL::fromString("http://127.0.0.1:1/"));
    render();
    tap({50, 50});
  }
  // A page nested too deeply for litehtml's recursion shows its text instead.
  std::string tooDeep;
  for (int i = 0; i < 50000; ++i) tooDeep += "<div>";
  web->loadData(tooDeep + "最深处", std::string("text/html"), std::nullopt, std::nullopt);
  render();
  EXPECT_EQ(web->text(), "最深处");
  EXPECT_GT(web->scrollView()->contentSize().height, 0);

  // A page litehtml gives up on (a media query cut short) shows its text instead.
  web->loadData("<style>@media ( {</style><p style='font-size:40px'>仍可阅读</p>", std::string("text/html"),
                std::nullopt, std::nullopt);
  render();
  auto image = screenshot("as-text");
  ASSERT_TRUE(image);
  EXPECT_EQ(web->text(), "仍可阅读");
  EXPECT_GT(web->scrollView()->contentSize().height, 0);
  EXPECT_GT(countPixels(*image, gfx::Rect(0, 0, 300, 60), [](uint32_t c) { return red(c) < 100; }), 50);
}

TEST_F(WebViewPageTest, ClipsShowInAVideoViewAndAClipThatCannotPlayFails) {
  server.set("/clip.mp4", "these bytes are no clip", "application/octet-stream");
  server.set("/clip", "nor are these", "video/mp4");
  server.set("/page.html", "<p>a page again</p>");

  // The venue's clip: finished once it is ready to play, its first picture shown, not playing.
  ASSERT_TRUE(venueWeb.start());
  ASSERT_TRUE(load(venueWeb.clipAddress()));
  EXPECT_EQ(delegate.calls, (Calls{"should other " + venueWeb.clipAddress(), "start", "finish"}));
  ASSERT_TRUE(web->videoView());
  EXPECT_EQ(web->videoView()->player()->state(), media::VideoPlayer::State::Paused);
  EXPECT_FALSE(web->isLoading());
  render();
  auto frame = screenshot("clip");
  ASSERT_TRUE(frame);
  EXPECT_FALSE(isWhite(colorAt(*frame, {512, 200})));
  // A tap plays it.
  tap({512, 384});
  EXPECT_TRUE(web->videoView()->isPlaying());
  web->videoView()->pause();

  // Known by its extension: the view does not fetch it, the player does.
  delegate.calls.clear();
  ASSERT_TRUE(load(server.url("/clip.mp4")));
  ASSERT_TRUE(web->videoView());
  EXPECT_EQ(web->videoView()->player()->url(), server.url("/clip.mp4"));
  EXPECT_EQ(web->videoView()->frame(), web->bounds());
  ASSERT_EQ(delegate.calls.size(), 3u);
  EXPECT_EQ(delegate.calls[1], "start");
  EXPECT_EQ(delegate.calls[2], "fail " + std::to_string(media::VideoPlayer::CannotDecode));
  EXPECT_EQ(web->text(), "");
  EXPECT_EQ(server.requestsTo("/clip.mp4").size(), 1u);

  // Known by the reply's type.
  delegate.calls.clear();
  ASSERT_TRUE(load(server.url("/clip")));
  ASSERT_TRUE(web->videoView());
  EXPECT_EQ(web->videoView()->player()->url(), server.url("/clip"));
  EXPECT_EQ(delegate.calls.back(), "fail " + std::to_string(media::VideoPlayer::CannotDecode));
  // The venue's broken clip, by its extension.
  ASSERT_TRUE(load(venueWeb.brokenClipAddress()));
  EXPECT_EQ(delegate.calls.back(), "fail " + std::to_string(media::VideoPlayer::CannotDecode));

  // The next page takes the clip's place.
  ASSERT_TRUE(load(server.url("/page.html")));
  EXPECT_FALSE(web->videoView());
  EXPECT_EQ(web->text(), "a page again");
  web->goBack();
  ASSERT_TRUE(runUntil([&] { return web->videoView() != nullptr; }));
}

// Holds the pictures it is asked for until the test answers.
class HeldPictureLoader : public ui::WebPictureLoader {
 public:
  Cancel loadPicture(const net::URL& url, Completion completion) override {
    asked.push_back(url.absoluteString());
    completions.push_back(std::move(completion));
    return [this] { ++cancelled; };
  }
  void answerAll(const std::shared_ptr<const gfx::Image>& image) {
    auto pending = std::move(completions);
    completions.clear();
    for (auto& c : pending) c(image, image ? std::nullopt : std::optional(core::Error("test", 1)));
  }
  std::vector<std::string> asked;
  std::vector<Completion> completions;
  int cancelled = 0;
};

TEST_F(WebViewPageTest, PicturesComeFromTheLoaderAndThePageFinishesWhenTheyAreIn) {
  auto loader = std::make_shared<HeldPictureLoader>();
  web->setPictureLoader(loader);
  server.set("/css/sheet.css", ".bg { background-image: url(../img/from-sheet.png); }", "text/css");
  server.set("/dir/page.html", R"(<html><head><base href="/base/"><link rel="stylesheet" href="/css/sheet.css"></head>
<body style="margin:0"><img src="pic.png" width="40" height="40" style="position:absolute;left:0;top:0">
<div style="background-image:url(inline.png);width:10px;height:10px"></div>
<div class="bg" style="width:10px;height:10px"></div>
<img src="pic.png"><img src="data:image/png;base64,AAAA"><img src="ftp://h/x.png"></body></html>)");
  web->loadRequest(net::URLRequest(net::URL::fromString(server.url("/dir/page.html"))));
  ASSERT_TRUE(runUntil([&] { return loader->asked.size() == 3; }));
  std::vector<std::string> asked = loader->asked;
  std::sort(asked.begin(), asked.end());
  EXPECT_EQ(asked, (std::vector<std::string>{server.url("/base/inline.png"), server.url("/base/pic.png"),
                                              server.url("/img/from-sheet.png")}));
  // Not finished while pictures are out.
  wait(0.3);
  EXPECT_EQ(delegate.finished, 0);
  EXPECT_TRUE(web->isLoading());

  loader->answerAll(uitest::solidImage(4, 4, 0xFF00FF00));
  ASSERT_TRUE(waitForLoad(0));
  EXPECT_EQ(delegate.calls.back(), "finish");
  render();
  auto image = screenshot("pictures");
  ASSERT_TRUE(image);
  EXPECT_EQ(colorAt(*image, {20, 20}), 0xFF00FF00u);

  // A page that goes before its pictures arrive stops their loads; late answers are dropped.
  server.set("/other.html", "<img src='late.png'><p>other</p>");
  web->loadRequest(net::URLRequest(net::URL::fromString(server.url("/other.html"))));
  ASSERT_TRUE(runUntil([&] { return loader->asked.size() == 4; }));
  EXPECT_TRUE(web->isLoading());
  server.set("/third.html", "<p>third</p>");
  web->loadRequest(net::URLRequest(net::URL::fromString(server.url("/third.html"))));
  ASSERT_TRUE(runUntil([&] { return delegate.calls.back() == "finish" && web->text() == "third"; }));
  EXPECT_EQ(loader->cancelled, 1);
  loader->answerAll(nullptr);
  render();
  EXPECT_EQ(web->text(), "third");
  EXPECT_FALSE(web->isLoading());
}

TEST_F(WebViewPageTest, StoppingWhileASheetIsOutShowsThePageWithoutIt) {
  server.set("/slow.css", "#block { background-color: #ff0000; }", "text/css");
  server.setFault("/slow.css", venue::Fault::slow(std::chrono::seconds(20)));
  server.set("/waiting.html", R"(<html><head><link rel="stylesheet" href="slow.css"></head><body>
<div id="block" style="position:absolute;left:100px;top:100px;width:80px;height:60px;background-color:#00c000"></div>
</body></html>)");
  web->loadRequest(net::URLRequest(net::URL::fromString(server.url("/waiting.html"))));
  ASSERT_TRUE(runUntil([&] { return server.requestsTo("/slow.css").size() == 1; }));
  render();
  auto before = screenshot("waiting");
  ASSERT_TRUE(before);
  EXPECT_TRUE(isWhite(colorAt(*before, {140, 130})));
  EXPECT_TRUE(web->isLoading());

  web->stopLoading();
  ASSERT_TRUE(runUntil([&] { return delegate.failed == 1; }));
  EXPECT_EQ(delegate.calls.back(), "fail " + std::to_string(net::URLError::Cancelled));
  render();
  auto after = screenshot("stopped");
  ASSERT_TRUE(after);
  EXPECT_EQ(colorAt(*after, {140, 130}), 0xFF00C000u);
}

}  // namespace
