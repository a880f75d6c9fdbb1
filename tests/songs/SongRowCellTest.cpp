// The sing button of the three song cells: which row it reports, and to whom.
#include "songs/SongRowCell.h"

#include <gtest/gtest.h>

#include "platform/ui/Label.h"
#include "SongCellTable.h"
#include "support/TempHome.h"

namespace {

using songcells_test::SingRecorder;
using songcells_test::song;

template <class Cell>
class SongRowCellTest : public support::TempHomeTest {};

using SongCells = ::testing::Types<kt::ChooseMusicCell, kt::SongsListCell, kt::StyleFavouriteCell>;
TYPED_TEST_SUITE(SongRowCellTest, SongCells);

TYPED_TEST(SongRowCellTest, ReportsTheRowItWasFilledForEveryPress) {
  SingRecorder recorder;
  auto cell = TypeParam::create();
  EXPECT_EQ(cell->reuseIdentifier(), "cellIdentify");
  cell->setDelegate(&recorder);
  cell->setCellIndex(4);
  // Given its row but not yet filled: nothing to report.
  cell->singBtnClick();
  EXPECT_TRUE(recorder.rows.empty());

  cell->setupMyModel(*song("后来", "刘若英"));
  cell->singBtnClick();
  cell->singBtnClick();
  EXPECT_EQ(recorder.rows, (std::vector<int32_t>{4, 4}));
}

TYPED_TEST(SongRowCellTest, AReusedCellReportsOnlyItsNewRow) {
  SingRecorder recorder;
  auto cell = TypeParam::create();
  cell->setDelegate(&recorder);
  cell->setupMyModel(*song("后来", "刘若英"));
  cell->setCellIndex(2);

  cell->prepareForReuse();
  EXPECT_EQ(cell->cellIndex(), std::nullopt);
  cell->singBtnClick();
  cell->setupMyModel(*song("红豆", "王菲"));
  cell->singBtnClick();  // filled, but its new row is not set yet
  EXPECT_TRUE(recorder.rows.empty());
  cell->setCellIndex(9);
  cell->singBtnClick();
  EXPECT_EQ(recorder.rows, std::vector<int32_t>{9});
}

TYPED_TEST(SongRowCellTest, WithoutADelegateOrAfterItIsGoneThePressDoesNothing) {
  auto cell = TypeParam::create();
  cell->setupMyModel(*song("后来", "刘若英"));
  cell->setCellIndex(1);
  cell->singBtnClick();  // no delegate set

  auto recorder = std::make_unique<SingRecorder>();
  cell->setDelegate(recorder.get());
  EXPECT_NE(cell->delegate(), nullptr);
  recorder.reset();
  EXPECT_EQ(cell->delegate(), nullptr);
  cell->singBtnClick();  // the delegate has gone: nothing is called on it

  SingRecorder again;
  cell->setDelegate(&again);
  cell->setDelegate(nullptr);
  cell->singBtnClick();
  EXPECT_TRUE(again.rows.empty());
}

TEST(SongListCellFill, TitleAndSingerGoToTheirLabelsUnchanged) {
  support::TempHome home;
  auto list = kt::SongsListCell::create();
  auto favourite = kt::StyleFavouriteCell::create();
  const auto model = song("", "<null>");
  list->setupMyModel(*model);
  favourite->setupMyModel(*model);
  EXPECT_EQ(list->label_musicName()->text(), "");
  EXPECT_EQ(list->label_singerName()->text(), "<null>");
  EXPECT_EQ(favourite->label_musicSinger()->text(), "<null>");
}

}  // namespace
