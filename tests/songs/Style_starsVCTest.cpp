#include "songs/Style_starsVC.h"

#include "imagecache/ICImageCache.h"
#include "imagecache/ICWebImageDownloader.h"
#include "platform/core/Log.h"
#include "platform/ui/Button.h"
#include "platform/ui/ScrollView.h"
#include "songs/SongScreenFixture.h"

#include <algorithm>

namespace songs_test {
namespace {

using S = kt::SongScreens;

class Style_starsVCTest : public SongScreenFixture, public ::testing::WithParamInterface<support::Device> {
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
  static std::shared_ptr<ui::View> singerButton(kt::Style_starsVC& screen, size_t i) {
    return screen.scrollV_hotSearch()->subviews().at(i);
  }
};

TEST_F(Style_starsVCTest, RegionsAndHotSingersOpenTheirLists) {
  auto screen = show(std::make_shared<kt::Style_starsVC>());
  EXPECT_EQ(screen->names(), venue::CloudService::regions());
  EXPECT_EQ(screen->tbView_data()->numberOfRowsInSection(0), 21);

  tap(*singerButton(*screen, 3));
  for (int tag : {999, 1010}) screen->singerSongsListClick(tag);
  for (int row : {20, 5, 21}) screen->didSelectRowAtIndexPath(*screen->tbView_data(), ui::IndexPath::forRow(row, 0));
  ASSERT_EQ(openedNames(), (std::vector<std::string>{S::TitledList, S::SingersOfRegion, S::SingersOfRegion}));
  EXPECT_EQ(m_opened[0]->params, core::Value(core::Value::Dictionary{{S::NavTitleKey, "Leo Martin"},
                                                                     {S::BackgroundKey, "SuperStarsBg"}}));
  EXPECT_EQ(m_opened[1]->params, core::Value(core::Value::Dictionary{{S::NavTitleKey, "外国歌星"}}));
  EXPECT_EQ(m_opened[2]->params[S::NavTitleKey], core::Value("外国组合"));
}

TEST_P(Style_starsVCTest, TheStripAndItsPhotographs) {
  setDevice(GetParam());
  std::vector<std::string> logged;
  core::LogSink previous = core::setLogSink([&](const std::string& line) {
    logged.push_back(line);
    countRequestLine(line);
  });
  auto screen = show(std::make_shared<kt::Style_starsVC>());
  core::setLogSink(previous);
  const bool large = GetParam() == support::Device::LargeTablet;
  const std::vector<double> xs = large ? std::vector<double>{41, 211, 381, 551, 721, 891, 1061, 1231, 1400, 1570}
                                       : std::vector<double>{31, 158.5, 286, 413.5, 541, 668.5, 796, 923.5, 1051, 1178.5};
  ASSERT_EQ(screen->scrollV_hotSearch()->subviews().size(), 10u);
  for (size_t i = 0; i < 10; ++i) {
    expectFrame(*singerButton(*screen, i), {xs[i], 0, 103, 126}, {xs[i], 0, 137, 168}, "singer button");
    EXPECT_EQ(singerButton(*screen, i)->tag(), 1000 + static_cast<int>(i));
  }
  EXPECT_EQ(screen->scrollV_hotSearch()->contentSize(), large ? gfx::Size(1782, 168) : gfx::Size(1337, 126));
  expectFrame(*screen->scrollV_hotSearch(), {0, 67, 1024, 140}, {0, 89, 1364, 186}, "strip");
  expectFrame(*screen->scrollV_hotSearch()->superview(), {0, 72, 1024, 213}, {0, 96, 1364, 284}, "hot-search area");
  expectFrame(*screen->btn_search(), {31, 13, 962, 45}, {41, 17, 1282, 60}, "search bar");
  expectFrame(*screen->tbView_data(), {0, 285, 1024, 404}, {0, 380, 1364, 538}, "region table");
  expectFrame(*screen->btn_remote(), {31, 580, 80, 80}, {41, 773, 106, 106}, "remote");
  EXPECT_DOUBLE_EQ(screen->tbView_data()->rectForRowAtIndexPath(ui::IndexPath::forRow(1, 0)).y(), kt::pick(99, 132));

  // The photographs are asked for by the escaped name; the log shows the address unescaped.
  ASSERT_TRUE(runUntil([&] { return m_service.requestsTo("SingerImage").size() == 10 && allAnswered(); }));
  std::vector<std::string> paths;
  for (const auto& request : m_service.requestsTo("SingerImage")) paths.push_back(request.rawPath);
  for (const char* path : {"/ZiZezer/SingerImage/Leo%20Martin.jpg",
                           "/ZiZezer/SingerImage/%E9%9D%92%E9%B8%9F%E4%B9%90%E9%98%9F.jpg"}) {
    EXPECT_NE(std::find(paths.begin(), paths.end(), path), paths.end()) << path;
  }
  EXPECT_TRUE(std::any_of(logged.begin(), logged.end(), [](const std::string& line) {
    return line.find("请求的网址：http://img.ktvcloud.example/ZiZezer/SingerImage/Leo Martin.jpg") != std::string::npos;
  }));
  pump(0.5);
  screenshot("singers");
}

INSTANTIATE_TEST_SUITE_P(Tablets, Style_starsVCTest, ::testing::Values(support::Device::Standard,
                                                                       support::Device::LargeTablet));

}  // namespace
}  // namespace songs_test
