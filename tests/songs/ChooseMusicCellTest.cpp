// The song home screen's row: the singer picture from the stand-in's singer-image host (the
// placeholder first), the escaped picture addresses as requested, and reuse while pictures are
// still on their way.
#include "songs/ChooseMusicCell.h"

#include <gtest/gtest.h>

#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "SongCellTable.h"

using songcells_test::song;

namespace {

class ChooseMusicCellTest : public songcells_test::SongCellScreenTest {
 protected:
  using Table = songcells_test::CellTable<kt::ChooseMusicCell, std::shared_ptr<kt::ChooseMusicModel>>;

  static std::shared_ptr<kt::ChooseMusicCell> cellAt(ui::TableView& table, int row) {
    return std::static_pointer_cast<kt::ChooseMusicCell>(table.cellForRowAtIndexPath(ui::IndexPath::forRow(row, 0)));
  }
  static std::shared_ptr<ui::Button> singButtonOf(const kt::ChooseMusicCell& cell) {
    for (const auto& view : cell.subviews())
      if (auto button = std::dynamic_pointer_cast<ui::Button>(view)) return button;
    return nullptr;
  }
};

TEST_F(ChooseMusicCellTest, ShowsThePlaceholderThenTheSingersPictureRequestedByItsEscapedName) {
  // A singer with a space, a Chinese singer, and a row whose dictionary had no singer at all.
  Table rows({song("后来", "Li Ming"), song("红豆", "王菲"),
              std::make_shared<kt::ChooseMusicModel>(core::Value(core::Value::Dictionary{{"musicName", "无名"}}))},
             &recorder);
  auto gate = std::make_shared<venue::Gate>();
  cloud.setFault("SingerImage", venue::Fault::heldBy(gate));
  auto table = rows.showIn(window());
  render();

  const auto placeholder = gfx::Image::named("SongsDefaultPic");
  ASSERT_TRUE(placeholder);
  for (int row = 0; row < 3; ++row) EXPECT_EQ(cellAt(*table, row)->imgV_music()->image(), placeholder) << row;
  EXPECT_EQ(cellAt(*table, 0)->label_musicName()->text(), "后来");
  EXPECT_EQ(cellAt(*table, 0)->label_musicSinger()->text(), "Li Ming");
  EXPECT_EQ(cellAt(*table, 2)->label_musicSinger()->text(), "(null)");

  gate->open();
  ASSERT_TRUE(runUntil([&] {
    return isPictureOf(cellAt(*table, 0)->imgV_music()->image(), "Li Ming") &&
           isPictureOf(cellAt(*table, 1)->imgV_music()->image(), "王菲") &&
           isPictureOf(cellAt(*table, 2)->imgV_music()->image(), "(null)");
  }, 10));
  std::vector<std::string> paths = pictureRequests();
  std::sort(paths.begin(), paths.end());
  EXPECT_EQ(paths, (std::vector<std::string>{"/ZiZezer/SingerImage/%E7%8E%8B%E8%8F%B2.jpg",
                                             "/ZiZezer/SingerImage/(null).jpg",
                                             "/ZiZezer/SingerImage/Li%20Ming.jpg"}));
}

TEST_F(ChooseMusicCellTest, AFailedPictureLeavesThePlaceholder) {
  Table rows({song("后来", "刘若英")}, &recorder);
  cloud.setFault("SingerImage", venue::Fault::withBody(404, "no such picture", "text/plain"));
  auto table = rows.showIn(window());
  render();
  ASSERT_TRUE(runUntil([&] { return !pictureRequests().empty(); }));
  wait(0.3);
  EXPECT_EQ(cellAt(*table, 0)->imgV_music()->image(), gfx::Image::named("SongsDefaultPic"));
}

TEST_F(ChooseMusicCellTest, ReusedCellsShowAndReportTheirCurrentRow) {
  std::vector<std::shared_ptr<kt::ChooseMusicModel>> songs;
  for (int i = 0; i < 60; ++i) songs.push_back(song("歌" + std::to_string(i), "歌手" + std::to_string(i)));
  Table rows(songs, &recorder);
  // Pictures are held back, so cells are handed out again while their loads are under way.
  auto gate = std::make_shared<venue::Gate>();
  cloud.setFault("SingerImage", venue::Fault::heldBy(gate));
  auto table = rows.showIn(window());
  render();
  for (int step = 1; step <= 10; ++step) {
    table->setContentOffset({0, step * 330.0});
    render();
  }
  gate->open();
  auto allOwnPictures = [&] {
    for (const auto& cell : table->visibleCells()) {
      auto row = table->indexPathForCell(*cell);
      auto music = std::static_pointer_cast<kt::ChooseMusicCell>(cell);
      if (!row || !isPictureOf(music->imgV_music()->image(), "歌手" + std::to_string(row->row))) return false;
    }
    return true;
  };
  ASSERT_TRUE(runUntil(allOwnPictures));
  // Late answers for rows scrolled away never land in the cells that show other rows now.
  ASSERT_TRUE(runUntil([&] {
    return cloud.waitForAnswers(cloud.requestCount(), 0) &&
           kt::ICWebImageDownloader::sharedDownloader()->currentDownloadCount() == 0;
  }, 10));
  wait(0.2);
  EXPECT_TRUE(allOwnPictures());

  // A tap on a reused cell's sing button reports the row that cell shows now.
  const auto visible = table->visibleCells();
  ASSERT_GE(visible.size(), 2u);
  auto cell = std::static_pointer_cast<kt::ChooseMusicCell>(visible[1]);
  const int row = table->indexPathForCell(*cell)->row;
  ASSERT_GT(row, 10);
  tap(*singButtonOf(*cell));
  EXPECT_EQ(recorder.rows, std::vector<int32_t>{row});
  EXPECT_EQ(cell->cellIndex(), std::optional<int32_t>(row));
}

}  // namespace
