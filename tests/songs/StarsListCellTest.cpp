// The singer row: its picture is asked for by the singer's name with every space removed from
// the whole address before it is escaped, whatever the reply's portrait reference says.
#include "songs/StarsListCell.h"

#include <gtest/gtest.h>

#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "SongCellTable.h"

namespace {

class StarsListCellTest : public songcells_test::SongCellScreenTest {};

TEST_F(StarsListCellTest, AsksForThePictureByTheNameWithoutSpacesAndShowsIt) {
  songcells_test::CellTable<kt::StarsListCell, std::shared_ptr<kt::StarsListModel>> rows(
      {songcells_test::singer("Li Ming"), songcells_test::singer(" 张 学友 "),
       kt::StarsListModel::modelWithReplyItem(core::Value(core::Value::Dictionary{
           {"singerheader", "http://elsewhere.example/p.jpg"}, {"singername", "王菲"}, {"singerid", 7}}))},
      &recorder);
  auto table = rows.showIn(window());
  render();
  auto cell = [&](int row) {
    return std::static_pointer_cast<kt::StarsListCell>(table->cellForRowAtIndexPath(ui::IndexPath::forRow(row, 0)));
  };
  EXPECT_EQ(cell(0)->imgV_portrait()->image(), gfx::Image::named("SongsDefaultPic"));
  EXPECT_EQ(cell(1)->label_singerName()->text(), " 张 学友 ");

  ASSERT_TRUE(runUntil([&] {
    return isPictureOf(cell(0)->imgV_portrait()->image(), "LiMing") &&
           isPictureOf(cell(1)->imgV_portrait()->image(), "张学友") &&
           isPictureOf(cell(2)->imgV_portrait()->image(), "王菲");
  }, 10));
  std::vector<std::string> paths = pictureRequests();
  std::sort(paths.begin(), paths.end());
  EXPECT_EQ(paths, (std::vector<std::string>{"/ZiZezer/SingerImage/%E5%BC%A0%E5%AD%A6%E5%8F%8B.jpg",
                                             "/ZiZezer/SingerImage/%E7%8E%8B%E8%8F%B2.jpg",
                                             "/ZiZezer/SingerImage/LiMing.jpg"}));
}

}  // namespace
