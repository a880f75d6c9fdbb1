// Every cell kind's frames on both tablet sizes, and a screenshot of a table of each kind.
#include <gtest/gtest.h>

#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "songs/SearchHistoryCell.h"
#include "songs/SearchMusicCell.h"
#include "SongCellTable.h"
#include "support/RectExpectations.h"

namespace {

using songcells_test::singer;
using songcells_test::song;

// One element of a cell: its place among the cell's own subviews (after the platform's content
// view), its kind, its frames and, for pictures, the picture's name.
struct Element {
  const char* what;
  gfx::Rect frame, largeFrame;
  const char* picture = nullptr;
};

class SongCellLayoutTest : public songcells_test::SongCellScreenTest,
                           public ::testing::WithParamInterface<support::Device> {
 protected:
  void SetUp() override {
    songcells_test::SongCellScreenTest::SetUp();
    setDevice(GetParam());
  }
  bool large() const { return GetParam() == support::Device::LargeTablet; }

  // The cell's own subviews, from the first one the cell added, are exactly these elements.
  void expectLayout(const ui::TableViewCell& cell, const std::vector<Element>& elements) {
    std::vector<std::shared_ptr<ui::View>> own;
    for (const auto& view : cell.subviews()) {
      if (view != cell.contentView() && view != cell.separatorView() && view != cell.backgroundView())
        own.push_back(view);
    }
    ASSERT_EQ(own.size(), elements.size());
    for (size_t i = 0; i < elements.size(); ++i) {
      const Element& e = elements[i];
      const gfx::Rect want = large() ? e.largeFrame : e.frame;
      support::expectRect(own[i]->frame(), want.x(), want.y(), want.width(), want.height(), e.what);
      if (e.picture) {
        auto picture = std::dynamic_pointer_cast<ui::ImageView>(own[i]);
        ASSERT_TRUE(picture) << e.what;
        EXPECT_EQ(picture->image(), gfx::Image::named(e.picture)) << e.what;
      } else if (std::string(e.what) == "sing button") {
        auto button = std::dynamic_pointer_cast<ui::Button>(own[i]);
        ASSERT_TRUE(button);
        EXPECT_EQ(button->backgroundImageForState(ui::ControlStateNormal), gfx::Image::named("Sing_normal"));
        EXPECT_EQ(button->backgroundImageForState(ui::ControlStateHighlighted), gfx::Image::named("Sing_selected"));
      } else if (std::string(e.what).ends_with("button")) {
        ASSERT_TRUE(std::dynamic_pointer_cast<ui::Button>(own[i])) << e.what;
      } else {
        ASSERT_TRUE(std::dynamic_pointer_cast<ui::Label>(own[i])) << e.what;
      }
    }
  }

  template <class Cell, class Row>
  void screenshotTable(std::vector<Row> rows, const std::string& name) {
    songcells_test::CellTable<Cell, Row> table(std::move(rows), &recorder);
    auto view = table.showIn(window());
    render();
    // The singer pictures that the stand-in sends.
    runUntil([] { return kt::ICWebImageDownloader::sharedDownloader()->currentDownloadCount() == 0; });
    wait(0.1);
    render();
    ASSERT_TRUE(screenshot(name + (large() ? "-12.9" : "")));
    view->setDataSource(nullptr);
    view->setDelegate(nullptr);
  }
};

using R = gfx::Rect;

TEST_P(SongCellLayoutTest, ChooseMusicCell) {
  auto cell = kt::ChooseMusicCell::create();
  EXPECT_EQ(cell->backgroundColor(), std::optional<gfx::Color>(gfx::Color::clear()));
  expectLayout(*cell, {{"imgV_music", R(31, 8, 100, 100), R(41, 10, 133, 133), "SongsDefaultPic"},
                       {"label_musicName", R(168, 30, 400, 30), R(223, 40, 533, 40)},
                       {"label_musicSinger", R(168, 65, 400, 25), R(223, 86, 533, 33)},
                       {"sing button", R(912, 26, 80, 40), R(1215, 34, 106, 53)},
                       {"separator", R(154, 109, 870, 1), R(205, 145, 1159, 1), "SeparateLine2"}});
  EXPECT_EQ(kt::ChooseMusicCell::rowHeight(), large() ? 146 : 110);
  std::vector<std::shared_ptr<kt::ChooseMusicModel>> rows;
  for (const char* s : {"刘若英", "王菲", "Li Ming", "周杰伦", "莫文蔚", "陈奕迅", "孙燕姿", "张学友"})
    rows.push_back(song(std::string("歌曲 · ") + s, s));
  screenshotTable<kt::ChooseMusicCell>(rows, "choose-music-cells");
}

TEST_P(SongCellLayoutTest, SongsListCellAndStyleFavouriteCell) {
  const std::vector<Element> row = {{"label_musicName", R(31, 20, 586, 31), R(41, 26, 781, 41)},
                                    {"singer label", R(31, 55, 586, 30), R(41, 73, 781, 40)},
                                    {"sing button", R(914, 26, 80, 40), R(1218, 34, 106, 53)},
                                    {"separator", R(0, 100, 1024, 2), R(0, 133, 1364, 2), "SeparateLine2"}};
  expectLayout(*kt::SongsListCell::create(), row);
  expectLayout(*kt::StyleFavouriteCell::create(), row);
  EXPECT_EQ(kt::SongsListCell::rowHeight(), large() ? 136 : 102);
  EXPECT_EQ(kt::StyleFavouriteCell::rowHeight(), large() ? 136 : 102);
  std::vector<std::shared_ptr<kt::ChooseMusicModel>> rows;
  for (int i = 0; i < 9; ++i) rows.push_back(song("第 " + std::to_string(i + 1) + " 首歌", "歌手,合唱者"));
  screenshotTable<kt::SongsListCell>(rows, "songs-list-cells");
  screenshotTable<kt::StyleFavouriteCell>(rows, "favourite-cells");
}

TEST_P(SongCellLayoutTest, StyleStarsCell) {
  expectLayout(*kt::StyleStarsCell::create(),
               {{"label_class", R(31, 33, 600, 31), R(41, 44, 799, 41)},
                {"arrow", R(979, 35.5, 14, 26), R(1305, 47, 18, 34), "Arrow_right"},
                {"separator", R(0, 97, 1024, 2), R(0, 129, 1364, 2), "SeparateLine2"}});
  EXPECT_EQ(kt::StyleStarsCell::rowHeight(), large() ? 132 : 99);
  screenshotTable<kt::StyleStarsCell>(
      std::vector<std::string>{"大陆男歌星", "大陆女歌星", "港台男歌星", "港台女歌星", "欧美乐队", "日韩组合", "其他"},
      "style-stars-cells");
}

TEST_P(SongCellLayoutTest, StarsListCell) {
  expectLayout(*kt::StarsListCell::create(),
               {{"imgV_portrait", R(31, 8, 100, 100), R(41, 10, 133, 133), "SongsDefaultPic"},
                {"label_singerName", R(168, 43, 350, 30), R(223, 57, 466, 40)},
                {"arrow", R(979, 40, 16, 30), R(1305, 53, 21, 40), "Arrow_right"},
                {"separator", R(154, 109, 870, 1), R(205, 145, 1159, 1), "SeparateLine2"}});
  EXPECT_EQ(kt::StarsListCell::rowHeight(), large() ? 146 : 110);
  std::vector<std::shared_ptr<kt::StarsListModel>> rows;
  for (const char* s : {"刘德华", "张学友", "黎明", "郭富城", "周华健", "李宗盛", "Beyond", "五月天"})
    rows.push_back(singer(s));
  screenshotTable<kt::StarsListCell>(rows, "stars-list-cells");
}

TEST_P(SongCellLayoutTest, SearchCells) {
  auto history = kt::SearchHistoryCell::create();
  EXPECT_EQ(history->reuseIdentifier(), "cell");
  expectLayout(*history, {{"history picture", R(31, 34, 25, 25), R(41, 45, 33, 33), "Search_history_dim"},
                          {"label_searchMsg", R(106, 33, 576, 27), R(141, 44, 767, 36)},
                          {"delete picture", R(952, 34, 25, 25), R(1269, 45, 33, 33), "Search_delete"},
                          {"delete button", R(937, 23, 60, 60), R(1249, 30, 79, 80)},
                          {"separator", R(0, 88, 1024, 2), R(0, 117, 1364, 2), "SeparateLine2"}});
  auto music = kt::SearchMusicCell::create();
  EXPECT_EQ(music->reuseIdentifier(), "cellIdentify");
  expectLayout(*music, {{"label_musicName", R(31, 20, 586, 31), R(41, 26, 781, 41)},
                        {"label_singerName", R(31, 55, 586, 30), R(41, 73, 781, 40)},
                        {"play button", R(912, 26, 80, 40), R(1215, 34, 106, 53)},
                        {"separator", R(0, 100, 1024, 2), R(0, 133, 1364, 2), "SeparateLine2"}});
  // The screen gives the action button its pictures.
  EXPECT_FALSE(music->btn_play()->backgroundImageForState(ui::ControlStateNormal));
  EXPECT_EQ(kt::SearchHistoryCell::rowHeight(), large() ? 120 : 90);
  EXPECT_EQ(kt::SearchMusicCell::rowHeight(), large() ? 136 : 102);
}

INSTANTIATE_TEST_SUITE_P(BothTablets, SongCellLayoutTest,
                         ::testing::Values(support::Device::Standard, support::Device::LargeTablet),
                         [](const auto& info) {
                           return info.param == support::Device::Standard ? "Standard" : "LargeTablet";
                         });

}  // namespace
