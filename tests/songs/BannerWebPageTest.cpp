#include "songs/BannerWebPage.h"

#include "platform/gfx/Font.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "songs/ChooseMusicVC.h"
#include "songs/MovieClipsVC.h"
#include "songs/SongScreenFixture.h"
#include "songs/WebVC.h"
#include "widgets/controls/WGCycleScrollView.h"
#include "venue/WebServer.h"

namespace songs_test {
namespace {

using support::Device;
using S = kt::SongScreens;

core::Value banner(core::Value pic) { return core::Value(core::Value::Dictionary{{"classid", core::Value("41")}, {"pic", pic}}); }

// The address the page's web view was asked to load, "" when it was asked for nothing.
std::string loaded(const ui::WebView& view) {
  return view.request() && view.request()->url() ? view.request()->url()->absoluteString() : "";
}

class BannerWebPageTest : public SongScreenFixture {
 protected:
  void SetUp() override {
    SongScreenFixture::SetUp();
    ASSERT_TRUE(m_web.start());
    m_service.setVideoBannerAddress(m_web.clipAddress());
    // The two pages for real; the other screens stay recording stand-ins.
    S::registerBuiltInScreens();
    registerStandIns();
    S::registerFactory(S::BannerPage, [](const core::Value& p) { return std::make_shared<kt::WebVC>(p[S::BannerItemKey]); });
    S::registerFactory(S::BannerVideo,
                       [](const core::Value& p) { return std::make_shared<kt::MovieClipsVC>(p[S::BannerItemKey]); });
  }

  // The home screen with its banners in.
  std::shared_ptr<kt::ChooseMusicVC> showHome() {
    auto home = show(std::make_shared<kt::ChooseMusicVC>());
    EXPECT_TRUE(runUntil([&] { return home->cycleView() && home->arr_cycleData().size() == m_service.banners().size(); }));
    return home;
  }
  template <class Page>
  std::shared_ptr<Page> topPage() {
    return m_nav->viewControllers().empty() ? nullptr : std::dynamic_pointer_cast<Page>(m_nav->viewControllers().back());
  }
  // The page's web view (on the content view) once the push has finished.
  std::shared_ptr<ui::WebView> webViewOf(kt::BannerWebPage& page) {
    wait(1);
    auto views = page.bgView()->subviews();
    for (const auto& v : views) {
      if (auto web = std::dynamic_pointer_cast<ui::WebView>(v)) return web;
    }
    return nullptr;
  }

  venue::WebServer m_web;
};

TEST_F(BannerWebPageTest, TheHomeScreensBannersOpenTheirPagesOnTheirAddresses) {
  auto home = showHome();
  const std::string pageAddress = m_service.banners()[4].page;

  // The page banner: WebVC with an empty title on the page's address.
  home->didSelectTheItemAtIndex(4, *home->cycleView());
  auto web = topPage<kt::WebVC>();
  ASSERT_TRUE(web);
  EXPECT_EQ(web->dict_params(), home->arr_cycleData()[4]);
  ASSERT_TRUE(webViewOf(*web));
  EXPECT_EQ(webViewOf(*web), web->htmlWebV());
  EXPECT_EQ(loaded(*web->htmlWebV()), pageAddress);
  EXPECT_EQ(web->label_navTitle()->text(), "");

  // Back to the home screen.
  tap(*web->btn_leftBar());
  wait(1);
  EXPECT_EQ(m_nav->topViewController(), home.get());

  // The video banner: MovieClipsVC titled "电影片花" on the web server's clip.
  home->didSelectTheItemAtIndex(5, *home->cycleView());
  auto movie = topPage<kt::MovieClipsVC>();
  ASSERT_TRUE(movie);
  ASSERT_TRUE(webViewOf(*movie));
  EXPECT_EQ(loaded(*movie->clipsWebV()), m_web.clipAddress());
  EXPECT_EQ(movie->label_navTitle()->text(), "电影片花");
  // Neither page asked the cloud service for anything.
  EXPECT_TRUE(m_service.requestsTo("wxsong.php").empty());
}

TEST_F(BannerWebPageTest, TheAddressIsPicWithoutSpacesAndOnlyHttpOrHttpsIsLoaded) {
  struct Case {
    core::Value pic;
    std::string loads;  // "" for nothing
  };
  const std::vector<Case> cases = {
      {core::Value(" http://song.ktvcloud.example/php/ page/30.html "), "http://song.ktvcloud.example/php/page/30.html"},
      {core::Value("HTTPS://img.ktvcloud.example/a b.mp4"), "HTTPS://img.ktvcloud.example/ab.mp4"},
      {core::Value("http://img.ktvcloud.example/A.MP4"), "http://img.ktvcloud.example/A.MP4"},
      // Not a URL: nothing is loaded.
      {core::Value("http://img.ktvcloud.example/影片.mp4"), ""},
      {core::Value("http://[::1/x.html"), ""},
      {core::Value("page 30"), ""},
      // Another scheme: nothing is loaded.
      {core::Value("file:///etc/passwd"), ""},
      {core::Value("file:///tmp/clip.mp4"), ""},
      {core::Value("javascript:alert(1)"), ""},
      {core::Value("ftp://img.ktvcloud.example/a.mp4"), ""},
      // Not text: "%@" of it, which makes no address.
      {core::Value(41), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pic.description());
    auto page = show(std::make_shared<kt::WebVC>(banner(c.pic)));
    ASSERT_TRUE(page->htmlWebV());
    EXPECT_EQ(loaded(*page->htmlWebV()), c.loads);
    EXPECT_TRUE(findViews<kt::AlertView_style1>().empty());
  }
  // A banner item without "pic" loads nothing either.
  auto page = show(std::make_shared<kt::MovieClipsVC>(core::Value(core::Value::Dictionary{})));
  EXPECT_EQ(loaded(*page->clipsWebV()), "");
}

TEST_F(BannerWebPageTest, PagesFillTheContentAreaOnBothTablets) {
  for (Device device : {Device::Standard, Device::LargeTablet}) {
    setDevice(device);
    const char* size = device == Device::Standard ? "standard" : "large";
    SCOPED_TRACE(size);
    auto web = show(std::make_shared<kt::WebVC>(banner(core::Value(m_service.banners()[4].page))));
    ASSERT_TRUE(runUntil([&] { return !web->htmlWebV()->isLoading(); }));
    expectFrame(*web->htmlWebV(), {0, 0, 1024, 689}, {0, 0, 1366, 919}, "web view");
    EXPECT_EQ(web->htmlWebV()->superview(), web->bgView().get());
    EXPECT_EQ(web->htmlWebV()->backgroundColor(), gfx::Color::clear());
    EXPECT_EQ(web->bgView()->backgroundColor(), gfx::Color::black());
    EXPECT_EQ(web->navBarView()->backgroundColor(), gfx::Color::clear());
    EXPECT_TRUE(web->imgV_right()->isHidden());
    EXPECT_EQ(web->label_navTitle()->textColor(), gfx::Color::whiteColor());
    EXPECT_EQ(web->label_navTitle()->font()->pointSize(), device == Device::Standard ? 17 : 18);
    screenshot(std::string("web-") + size);

    auto movie = show(std::make_shared<kt::MovieClipsVC>(banner(core::Value(m_web.clipAddress()))));
    expectFrame(*movie->clipsWebV(), {0, 0, 1024, 689}, {0, 0, 1366, 919}, "video web view");
    EXPECT_EQ(movie->label_navTitle()->text(), "电影片花");
    pump(1);
    screenshot(std::string("video-") + size);
  }
}

}  // namespace
}  // namespace songs_test
