#include <gtest/gtest.h>

#include "UiTestSupport.h"
#include "http/LoopbackServer.h"
#include "platform/core/TextEncoding.h"
#include "platform/net/URLError.h"
#include "platform/net/URLSession.h"
#include "platform/net/URLSessionConfiguration.h"
#include "platform/ui/Label.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/WebView.h"
#include "support/SessionsLetGo.h"
#include "support/UiHarness.h"

namespace {

using ui::WebView;

// Records the delegate calls in order.
class RecordingDelegate : public ui::WebViewDelegate {
 public:
  bool shouldStartLoadWithRequest(WebView&, const net::URLRequest& request, ui::WebViewNavigationType) override {
    calls.push_back("should " + (request.url() ? request.url()->absoluteString() : std::string("-")));
    return allow;
  }
  void webViewDidStartLoad(WebView& view) override { calls.push_back(view.isLoading() ? "start" : "start (idle)"); }
  void webViewDidFinishLoad(WebView& view) override { calls.push_back(view.isLoading() ? "finish (loading)" : "finish"); }
  void didFailLoadWithError(WebView&, const core::Error& error) override {
    calls.push_back("fail " + std::to_string(error.code()));
  }
  std::vector<std::string> calls;
  bool allow = true;
};

using Calls = std::vector<std::string>;

TEST(WebViewTextTest, HTMLIsReducedToItsText) {
  EXPECT_EQ(WebView::textFromHTML("<html><head><title>T</title><style>p{color:red}</style></head>"
                                  "<body><h1>Songs</h1><p>First   line\n  here</p><p>Second</p></body></html>"),
            "Songs\nFirst line here\nSecond");
  EXPECT_EQ(WebView::textFromHTML("a<br>b<br/><br>c"), "a\nb\n\nc");
  EXPECT_EQ(WebView::textFromHTML("<b>bold</b> and <i>it</i><span>alic</span>"), "bold and italic");
  EXPECT_EQ(WebView::textFromHTML("x<script>if (a < b) { document.write('<p>no</p>'); }</script>y"), "xy");
  EXPECT_EQ(WebView::textFromHTML("<!DOCTYPE html><!-- a <p> comment -->text"), "text");
  EXPECT_EQ(WebView::textFromHTML("<a href=\"x>y\" title='>'>link</a>"), "link");
  EXPECT_EQ(WebView::textFromHTML("<ul><li>one</li><li>two</li></ul>"), "one\ntwo");
  EXPECT_EQ(WebView::textFromHTML("<table><tr><td>a</td><td>b</td></tr><tr><td>c</td></tr></table>"), "a b\nc");
  EXPECT_EQ(WebView::textFromHTML("<pre>  keep\n   this</pre>after"), "  keep\n   this\nafter");
  // A "<" that opens no tag is text.
  EXPECT_EQ(WebView::textFromHTML("1 < 2 <3"), "1 < 2 <3");
  EXPECT_EQ(WebView::textFromHTML("   \n "), "");
  // An unclosed script hides the rest; an unclosed tag ends the text.
  EXPECT_EQ(WebView::textFromHTML("a<script>b"), "a");
  EXPECT_EQ(WebView::textFromHTML("a<b"), "a");
}

TEST(WebViewTextTest, EntitiesAreDecoded) {
  EXPECT_EQ(WebView::textFromHTML("&amp; &lt;b&gt; &quot;q&quot; &apos;s&apos;"), "& <b> \"q\" 's'");
  EXPECT_EQ(WebView::textFromHTML("&#65;&#x4E2D;&#X6587;&#128512;"), "A中文\xF0\x9F\x98\x80");
  EXPECT_EQ(WebView::textFromHTML("a&nbsp;b"), "a\xC2\xA0" "b");
  // Unknown, unterminated or out-of-range ones stay or become the replacement character.
  EXPECT_EQ(WebView::textFromHTML("&copy; &amp &#;"), "&copy; &amp &#;");
  EXPECT_EQ(WebView::textFromHTML("&#0;&#x110000;&#xD800;"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
  // Decoded markup is text, not a tag.
  EXPECT_EQ(WebView::textFromHTML("&lt;p&gt;x"), "<p>x");
}

TEST(WebViewTextTest, DecodesTheNamedCharset) {
  std::string gb = *core::utf8ToGb18030("点歌");
  EXPECT_EQ(WebView::decodeText(gb, std::string("GBK")), "点歌");
  EXPECT_EQ(WebView::decodeText("caf\xE9", std::string("ISO-8859-1")), "café");
  EXPECT_EQ(WebView::decodeText("a\xFF" "b", std::string("utf-8")), "a\xEF\xBF\xBD" "b");
  // Unnamed: UTF-8 when it is UTF-8, Latin 1 otherwise.
  EXPECT_EQ(WebView::decodeText("点", std::nullopt), "点");
  EXPECT_EQ(WebView::decodeText("caf\xE9", std::nullopt), "café");
  EXPECT_EQ(WebView::decodeText("\xFF\xFF", std::string("gb18030")), "");
}

TEST(WebViewTextTest, NestingIsCountedFromTheTags) {
  EXPECT_EQ(WebView::nestingDepth("<div><div><span>x</span></div><div></div></div>"), 3u);
  // Void elements, self-closed tags and tags closed by the next of their kind do not nest.
  EXPECT_EQ(WebView::nestingDepth("<ul><li>a<li>b<li>c<p>d<p>e<br><img src=x><hr/><x/></ul>"), 1u);
  // Nor do the contents of comments, scripts and styles, or a ">" inside a quoted value.
  EXPECT_EQ(WebView::nestingDepth("<!-- <div><div> --><script>'<div><div>'</script>"
                                                "<style>a<b{}</style><a title='>'><b>x</b></a>"),
            2u);
  // Stray closing tags do not take the count below nothing.
  EXPECT_EQ(WebView::nestingDepth("</div></div><div><div>"), 2u);
  EXPECT_EQ(WebView::nestingDepth("1 < 2 <3 <"), 0u);
  std::string deep;
  for (int i = 0; i < 5000; ++i) deep += "<div>";
  EXPECT_EQ(WebView::nestingDepth(deep), 5000u);
  // An unclosed script hides the rest.
  EXPECT_EQ(WebView::nestingDepth("<script>" + deep), 0u);
}

class WebViewTest : public support::SessionsLetGoAtEnd, public uitest::WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    web = WebView::create(gfx::Rect(0, 0, 400, 300));
    web->setDelegate(&delegate);
    window->addSubview(web);
  }
  void TearDown() override {
    web.reset();
    WindowTest::TearDown();
  }

  std::shared_ptr<WebView> web;
  RecordingDelegate delegate;
};

TEST_F(WebViewTest, LoadedHTMLShowsAtOnceAndIsAnnouncedOnTheMainQueue) {
  auto base = net::URL::fromString("http://venue.local/menu/");
  web->loadHTMLString("<p>Hello &amp; welcome</p>", base);
  EXPECT_EQ(web->text(), "Hello & welcome");
  EXPECT_TRUE(web->isLoading());
  EXPECT_EQ(web->MIMEType(), "text/html");
  EXPECT_EQ(web->baseURL()->absoluteString(), "http://venue.local/menu/");
  EXPECT_EQ(web->request()->url()->absoluteString(), "http://venue.local/menu/");
  EXPECT_EQ(delegate.calls, (Calls{"should http://venue.local/menu/"}));
  support::drainMainLoop();
  EXPECT_FALSE(web->isLoading());
  EXPECT_EQ(delegate.calls, (Calls{"should http://venue.local/menu/", "start", "finish"}));
}

TEST_F(WebViewTest, WhatShowsDependsOnTheMIMEType) {
  web->loadData("line <one>\n  two", std::string("text/plain; charset=utf-8"), std::nullopt, std::nullopt);
  EXPECT_EQ(web->text(), "line <one>\n  two");
  web->loadData(std::string("\x89PNG\r\n\x1a\n\0\0", 10), std::string("image/png"), std::nullopt, std::nullopt);
  EXPECT_EQ(web->text(), "");
  EXPECT_EQ(web->loadedData().size(), 10u);
  web->loadData("video", std::string("video/mp4"), std::nullopt, std::nullopt);
  EXPECT_EQ(web->text(), "");
  // Unlabelled: HTML when it opens with a tag, text otherwise, nothing for binary data.
  web->loadData("  <div>a</div><div>b</div>", std::nullopt, std::nullopt, std::nullopt);
  EXPECT_EQ(web->text(), "a\nb");
  web->loadData("a  b", std::nullopt, std::nullopt, std::nullopt);
  EXPECT_EQ(web->text(), "a  b");
  web->loadData(std::string("a\0b", 3), std::nullopt, std::nullopt, std::nullopt);
  EXPECT_EQ(web->text(), "");
  // The encoding name is honoured.
  web->loadData(*core::utf8ToGb18030("<p>包厢</p>"), std::string("text/html"), std::string("gb18030"), std::nullopt);
  EXPECT_EQ(web->text(), "包厢");
}

TEST_F(WebViewTest, RefusedLoadChangesNothing) {
  web->loadHTMLString("<p>kept</p>", std::nullopt);
  support::drainMainLoop();
  delegate.calls.clear();
  delegate.allow = false;
  web->loadHTMLString("<p>refused</p>", std::nullopt);
  support::drainMainLoop();
  EXPECT_EQ(web->text(), "kept");
  EXPECT_FALSE(web->isLoading());
  EXPECT_EQ(delegate.calls, (Calls{"should about:blank"}));
}

TEST_F(WebViewTest, ANewLoadEndsThePendingOne) {
  web->loadHTMLString("<p>first</p>", std::nullopt);
  web->loadHTMLString("<p>second</p>", std::nullopt);
  support::drainMainLoop();
  // The first was never announced, so nothing of it is heard.
  EXPECT_EQ(delegate.calls, (Calls{"should about:blank", "should about:blank", "start", "finish"}));
  EXPECT_EQ(web->text(), "second");

  delegate.calls.clear();
  web->loadHTMLString("<p>third</p>", std::nullopt);
  web->stopLoading();
  support::drainMainLoop();
  EXPECT_EQ(delegate.calls, (Calls{"should about:blank"}));
  EXPECT_FALSE(web->isLoading());
  EXPECT_EQ(web->text(), "third");
}

TEST_F(WebViewTest, LongTextScrolls) {
  std::string html;
  for (int i = 0; i < 80; ++i) html += "<p>Line " + std::to_string(i) + "</p>";
  web->loadHTMLString(html, std::nullopt);
  web->layoutIfNeeded();
  EXPECT_GT(web->scrollView()->contentSize().height, 1000);
  EXPECT_EQ(web->scrollView()->frame(), gfx::Rect(0, 0, 400, 300));
  web->loadHTMLString("<p>short</p>", std::nullopt);
  web->layoutIfNeeded();
  EXPECT_LT(web->scrollView()->contentSize().height, 100);
  EXPECT_EQ(web->scrollView()->contentOffset().y, 0);
}

class WebViewRequestTest : public WebViewTest {
 protected:
  void TearDown() override {
    server.release();
    // The view's session, and its connections, end with the view.
    WebViewTest::TearDown();
  }
  net::URLRequest request(const std::string& path) { return net::URLRequest(net::URL::fromString(server.url(path))); }

  testhttp::LoopbackServer server;
};

TEST_F(WebViewRequestTest, LoadsARequestOverHTTP) {
  web->loadRequest(request("/hello"));
  EXPECT_TRUE(web->isLoading());
  EXPECT_EQ(web->request()->url()->absoluteString(), server.url("/hello"));
  ASSERT_TRUE(support::runUntil([&] { return !web->isLoading(); }));
  EXPECT_EQ(delegate.calls, (Calls{"should " + server.url("/hello"), "start", "finish"}));
  EXPECT_EQ(web->text(), "hello world");
  EXPECT_EQ(web->MIMEType(), "text/plain");
  EXPECT_EQ(web->baseURL()->absoluteString(), server.url("/hello"));
}

TEST_F(WebViewRequestTest, AnErrorStatusStillShowsItsPage) {
  web->loadRequest(request("/status500"));
  ASSERT_TRUE(support::runUntil([&] { return !web->isLoading(); }));
  EXPECT_EQ(delegate.calls.back(), "finish");
  EXPECT_EQ(web->text(), "broken");
}

TEST_F(WebViewRequestTest, FailuresAndStopsReachTheDelegate) {
  web->loadRequest(net::URLRequest(net::URL::fromString("http://127.0.0.1:1/nothing")));
  ASSERT_TRUE(support::runUntil([&] { return !web->isLoading(); }));
  ASSERT_EQ(delegate.calls.size(), 3u);
  EXPECT_EQ(delegate.calls[1], "start");
  EXPECT_EQ(delegate.calls[2], "fail " + std::to_string(net::URLError::CannotConnectToHost));

  delegate.calls.clear();
  web->loadRequest(request("/stall"));
  ASSERT_TRUE(support::runUntil([&] { return delegate.calls.size() == 2; }));
  web->stopLoading();
  EXPECT_FALSE(web->isLoading());
  ASSERT_TRUE(support::runUntil([&] { return delegate.calls.size() == 3; }));
  EXPECT_EQ(delegate.calls[2], "fail -999");
  server.release();
  support::runUntil([] { return false; }, 0.2);
  EXPECT_EQ(delegate.calls.size(), 3u);  // the late reply is dropped

  // A request without a URL fails after its start.
  delegate.calls.clear();
  web->loadRequest(net::URLRequest());
  support::drainMainLoop();
  EXPECT_EQ(delegate.calls, (Calls{"should -", "start", "fail " + std::to_string(net::URLError::UnsupportedURL)}));
}

TEST_F(WebViewRequestTest, ADestroyedViewHearsNothingLater) {
  web->loadRequest(request("/hello"));
  web->removeFromSuperview();
  web.reset();
  support::runUntil([] { return false; }, 0.3);
  EXPECT_EQ(delegate.calls.size(), 1u);
}

class WebViewScreenTest : public support::SessionsLetGoAtEnd, public support::ScreenTest {};

TEST_F(WebViewScreenTest, ShowsThePageText) {
  auto web = WebView::create(gfx::Rect(20, 20, 500, 300));
  window().addSubview(web);
  web->loadHTMLString("<h1>包厢 A01</h1><p>Welcome &amp; enjoy the <b>songs</b>.</p><ul><li>One</li><li>Two</li></ul>",
                      std::nullopt);
  render();
  auto image = screenshot("page");
  ASSERT_TRUE(image);
  // Dark text pixels where the heading stands (below its margin), white paper below the text.
  bool dark = false;
  for (double x = 30; x < 200 && !dark; x += 1) {
    for (double y = 40; y < 80 && !dark; y += 1) dark = (colorAt(*image, gfx::Point{x, y}) & 0xFF) < 0x80;
  }
  EXPECT_TRUE(dark);
  EXPECT_EQ(colorAt(*image, gfx::Point{400, 280}), 0xFFFFFFFFu);
}

// The page under the pointer scrolls with the wheel, within its length.
TEST_F(WebViewScreenTest, TheWheelScrollsThePage) {
  auto web = WebView::create(gfx::Rect(20, 20, 500, 300));
  window().addSubview(web);
  std::string html;
  for (int i = 0; i < 80; ++i) html += "<p>Line " + std::to_string(i) + "</p>";
  web->loadHTMLString(html, std::nullopt);
  render();
  const auto& scroll = *web->scrollView();
  EXPECT_FALSE(wheel({200, 100}, {0, -1}));
  EXPECT_TRUE(wheel({200, 100}, {0, 2}));
  EXPECT_EQ(scroll.contentOffset(), (gfx::Point{0, 2 * ui::ScrollView::WheelNotchPoints}));
  EXPECT_TRUE(wheel({200, 100}, {0, 1000}));
  EXPECT_EQ(scroll.contentOffset().y, scroll.contentSize().height - 300);
}

}  // namespace
