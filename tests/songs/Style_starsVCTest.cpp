#include "songs/Style_starsVC.h"

#include "imagecache/ICImageCache.h"
#include "imagecache/ICWebImageDownloader.h"
#include "imagecache/ImageViewWebCache.h"
#include "platform/core/Log.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/ScrollView.h"
#include "songs/SongScreenFixture.h"
#include "support/RectExpectations.h"

#include <algorithm>

namespace songs_test {
namespace {

using support::Device;
using support::expectRect;
using S = kt::SongScreens;

class Style_starsVCTest : public SongScreenFixture {
 protected:
  void SetUp() override {
    SongScreenFixture::SetUp();
    // Photographs of earlier tests must be asked for again.
    auto cache = kt::ICImageCache::sharedImageCache();
    cache->clearMemory();
    bool cleared = false;
    cache->clearDisk([&] { cleared = true; });
    ASSERT_TRUE(runUntil([&] { return cleared; }));
  }
  void TearDown() override {
    support::runUntil([] { return kt::ICWebImageDownloader::sharedDownloader()->currentDownloadCount() == 0; });
    SongScreenFixture::TearDown();
  }
  // The singer buttons of the strip, in tag order.
  static std::vector<std::shared_ptr<ui::Button>> singerButtons(kt::Style_starsVC& screen) {
    std::vector<std::shared_ptr<ui::Button>> buttons;
    for (const auto& view : screen.scrollV_hotSearch()->subviews()) {
      if (auto button = std::dynamic_pointer_cast<ui::Button>(view)) buttons.push_back(button);
    }
    return buttons;
  }
  // The photograph of a singer button: the image view loaded by URL.
  static std::shared_ptr<ui::ImageView> photoOf(const ui::Button& button) {
    for (const auto& view : button.subviews()) {
      auto image = std::dynamic_pointer_cast<ui::ImageView>(view);
      if (image && kt::ImageViewWebCache::ic_imageURL(image)) return image;
    }
    return nullptr;
  }
};

TEST_F(Style_starsVCTest, RegionsAndHotSingersOpenTheirLists) {
  auto screen = show(std::make_shared<kt::Style_starsVC>());
  EXPECT_EQ(screen->label_navTitle()->text(), "歌星");
  EXPECT_EQ(screen->names(), venue::CloudService::regions());
  EXPECT_EQ(screen->tbView_data()->numberOfRowsInSection(0), 21);
  // Every hot singer has songs in the catalogue, so its list is never empty.
  for (const std::string& name : screen->arr_singerList()) EXPECT_FALSE(m_service.search(name).empty()) << name;

  tap(*singerButtons(*screen)[3]);
  screen->singerSongsListClick(999);
  screen->singerSongsListClick(1010);
  screen->didSelectRowAtIndexPath(*screen->tbView_data(), ui::IndexPath::forRow(20, 0));
  screen->didSelectRowAtIndexPath(*screen->tbView_data(), ui::IndexPath::forRow(5, 0));
  screen->didSelectRowAtIndexPath(*screen->tbView_data(), ui::IndexPath::forRow(21, 0));
  ASSERT_EQ(openedNames(), (std::vector<std::string>{S::TitledList, S::SingersOfRegion, S::SingersOfRegion}));
  EXPECT_EQ(m_opened[0]->params[S::NavTitleKey], core::Value(screen->arr_singerList()[3]));
  EXPECT_EQ(m_opened[0]->params[S::BackgroundKey], core::Value("SuperStarsBg"));
  EXPECT_EQ(m_opened[1]->params, core::Value(core::Value::Dictionary{{S::NavTitleKey, "外国歌星"}}));
  EXPECT_EQ(m_opened[2]->params[S::NavTitleKey], core::Value("外国组合"));

  // Not bound: the queue and remote buttons only explain.
  screen->remoteClick();
  EXPECT_EQ(choiceMessage(), "请先绑定房台~");
  screen->rightBarButtonClick();
  EXPECT_EQ(choiceMessage(), "请先登录~");
  EXPECT_EQ(m_opened.size(), 3u);
}

TEST_F(Style_starsVCTest, PhotographsAreAskedForByTheEscapedName) {
  std::vector<std::string> logged;
  core::LogSink previous = core::setLogSink([&](const std::string& line) { logged.push_back(line); });
  auto screen = show(std::make_shared<kt::Style_starsVC>());
  core::setLogSink(previous);
  auto buttons = singerButtons(*screen);
  ASSERT_EQ(buttons.size(), 10u);
  for (size_t i = 0; i < buttons.size(); ++i) EXPECT_EQ(buttons[i]->tag(), 1000 + static_cast<int>(i));
  ASSERT_TRUE(runUntil([&] {
    return std::all_of(buttons.begin(), buttons.end(), [&](const auto& b) {
      auto photo = photoOf(*b);
      return photo && photo->image() && photo->image() != gfx::Image::named("SongsDefaultPic");
    });
  }, 10));
  std::vector<std::string> paths;
  for (const auto& request : m_service.requestsTo("SingerImage")) paths.push_back(request.rawPath);
  EXPECT_EQ(paths.size(), 10u);
  EXPECT_NE(std::find(paths.begin(), paths.end(), "/ZiZezer/SingerImage/Leo%20Martin.jpg"), paths.end());
  EXPECT_NE(std::find(paths.begin(), paths.end(), "/ZiZezer/SingerImage/%E9%9D%92%E9%B8%9F%E4%B9%90%E9%98%9F.jpg"),
            paths.end());
  // The log shows the address before escaping.
  EXPECT_NE(std::find_if(logged.begin(), logged.end(), [](const std::string& line) {
              return line.find("请求的网址：http://img.ktvcloud.example/ZiZezer/SingerImage/Leo Martin.jpg") !=
                     std::string::npos;
            }),
            logged.end());
}

class Style_starsVCFramesTest : public Style_starsVCTest, public ::testing::WithParamInterface<Device> {};

TEST_P(Style_starsVCFramesTest, PiecesSitWhereTheTabletSizeSays) {
  setDevice(GetParam());
  const bool large = GetParam() == Device::LargeTablet;
  auto screen = show(std::make_shared<kt::Style_starsVC>());
  auto buttons = singerButtons(*screen);
  ASSERT_EQ(buttons.size(), 10u);
  const std::vector<double> xs = large ? std::vector<double>{41, 211, 381, 551, 721, 891, 1061, 1231, 1400, 1570}
                                       : std::vector<double>{31, 158.5, 286, 413.5, 541, 668.5, 796, 923.5, 1051, 1178.5};
  for (size_t i = 0; i < 10; ++i) {
    expectRect(buttons[i]->frame(), xs[i], 0, large ? 137 : 103, large ? 168 : 126, "singer button");
  }
  auto& strip = *screen->scrollV_hotSearch();
  if (large) {
    EXPECT_EQ(strip.contentSize(), gfx::Size(1782, 168));
    expectRect(strip.frame(), 0, 89, 1364, 186, "strip");
    expectRect(strip.superview()->frame(), 0, 96, 1364, 284, "hot-search area");
    expectRect(screen->btn_search()->frame(), 41, 17, 1282, 60, "search bar");
    expectRect(screen->tbView_data()->frame(), 0, 380, 1364, 538, "region table");
    expectRect(screen->btn_remote()->frame(), 41, 773, 106, 106, "remote");
  } else {
    EXPECT_EQ(strip.contentSize(), gfx::Size(1337, 126));
    expectRect(strip.frame(), 0, 67, 1024, 140, "strip");
    expectRect(strip.superview()->frame(), 0, 72, 1024, 213, "hot-search area");
    expectRect(screen->btn_search()->frame(), 31, 13, 962, 45, "search bar");
    expectRect(screen->tbView_data()->frame(), 0, 285, 1024, 404, "region table");
    expectRect(screen->btn_remote()->frame(), 31, 580, 80, 80, "remote");
  }
  EXPECT_DOUBLE_EQ(screen->tbView_data()->rectForRowAtIndexPath(ui::IndexPath::forRow(1, 0)).y(), large ? 132 : 99);
  ASSERT_TRUE(runUntil([&] { return m_service.requestsTo("SingerImage").size() == 10 && allAnswered(); }, 10));
  pump(0.5);
  screenshot("singers");
}

INSTANTIATE_TEST_SUITE_P(Tablets, Style_starsVCFramesTest, ::testing::Values(Device::Standard, Device::LargeTablet));

}  // namespace
}  // namespace songs_test
