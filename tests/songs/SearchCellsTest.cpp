// The search cells: which row their buttons report, and to whom.
#include "songs/SearchHistoryCell.h"
#include "songs/SearchMusicCell.h"

#include <gtest/gtest.h>

#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/Window.h"
#include "SongCellTable.h"

namespace {

using songcells_test::song;

struct Recorder : kt::SearchMusicDelegate, kt::SearchHistoryDelegate {
  std::vector<int32_t> songs, deleted;
  void didSelectTheIndexOfSongs(int32_t index) override { songs.push_back(index); }
  void didDeleteTheMsgAtIndex(int32_t index) override { deleted.push_back(index); }
};

class SearchCellsTest : public support::ScreenTest {
 protected:
  // The cell as a row at the top of the window.
  template <class Cell>
  std::shared_ptr<Cell> inWindow(std::shared_ptr<Cell> cell) {
    cell->setFrame({0, 0, window().bounds().width(), Cell::rowHeight()});
    window().addSubview(cell);
    render();
    return cell;
  }
  Recorder recorder;
};

TEST_F(SearchCellsTest, OnlyTheButtonsReportTheRowNumberSetLast) {
  auto music = inWindow(kt::SearchMusicCell::create());
  music->setCellWithModel(*song("后来", "刘若英"));
  music->setDelegate(&recorder);
  music->setNumOfSongs(3);
  tap(*music->label_musicName());
  tap({500, 50});
  tap(*music->btn_play());
  music->setNumOfSongs(7);  // given another row, as a reused cell is
  tap(*music->btn_play());
  EXPECT_EQ(recorder.songs, (std::vector<int32_t>{3, 7}));

  music->removeFromSuperview();
  auto history = inWindow(kt::SearchHistoryCell::create());
  history->setCellWithMsg("周杰伦");
  EXPECT_EQ(history->label_searchMsg()->text(), "周杰伦");
  history->setDelegate(&recorder);
  history->setNumOfIndex(2);
  tap(*history->label_searchMsg());
  tap(*history->btn_delete());
  EXPECT_EQ(recorder.deleted, std::vector<int32_t>{2});
  EXPECT_EQ(recorder.songs.size(), 2u);

  // A delegate that has gone is not told.
  {
    Recorder gone;
    history->setDelegate(&gone);
  }
  EXPECT_EQ(history->delegate(), nullptr);
  tap(*history->btn_delete());
}

}  // namespace
