// The search cells: what the song cell shows of a singer text, and which row their buttons report.
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

TEST_F(SearchCellsTest, TheSingerLineShowsTheTextUpToTheFirstComma) {
  auto cell = kt::SearchMusicCell::create();
  const std::pair<const char*, const char*> cases[] = {
      {"张三,李四,王五", "张三"}, {",李四", ""}, {"张三李四", "张三李四"}, {"", ""}, {"(null)", "(null)"}};
  for (const auto& [singer, shown] : cases) {
    cell->setCellWithModel(*song("后来", singer));
    EXPECT_EQ(cell->label_singerName()->text(), shown) << singer;
    EXPECT_EQ(cell->label_musicName()->text(), "后来");
  }
}

TEST_F(SearchCellsTest, OnlyTheButtonReportsTheRowNumberSetLast) {
  auto cell = inWindow(kt::SearchMusicCell::create());
  cell->setCellWithModel(*song("后来", "刘若英"));
  cell->setDelegate(&recorder);
  cell->setNumOfSongs(3);
  tap(*cell->label_musicName());
  tap({500, 50});
  EXPECT_TRUE(recorder.songs.empty());
  tap(*cell->btn_play());
  // Given another row, as a reused cell is.
  cell->setNumOfSongs(7);
  tap(*cell->btn_play());
  EXPECT_EQ(recorder.songs, (std::vector<int32_t>{3, 7}));
}

TEST_F(SearchCellsTest, TheDeleteButtonReportsItsRow) {
  auto cell = inWindow(kt::SearchHistoryCell::create());
  cell->setCellWithMsg("周杰伦");
  EXPECT_EQ(cell->label_searchMsg()->text(), "周杰伦");
  cell->setDelegate(&recorder);
  cell->setNumOfIndex(2);
  tap(*cell->label_searchMsg());
  tap(*cell->btn_delete());
  EXPECT_EQ(recorder.deleted, std::vector<int32_t>{2});
}

TEST_F(SearchCellsTest, ADelegateThatHasGoneIsNotTold) {
  auto music = inWindow(kt::SearchMusicCell::create());
  auto history = kt::SearchHistoryCell::create();
  music->playClick();  // none set yet
  history->deleteTheMsg();
  {
    Recorder gone;
    music->setDelegate(&gone);
    history->setDelegate(&gone);
  }
  EXPECT_EQ(music->delegate(), nullptr);
  EXPECT_EQ(history->delegate(), nullptr);
  tap(*music->btn_play());
  history->deleteTheMsg();
}

}  // namespace
