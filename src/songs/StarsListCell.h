#pragma once

#include <memory>
#include <string>

#include "platform/ui/TableViewCell.h"

namespace ui {
class ImageView;
class Label;
}  // namespace ui

namespace kt {

class StarsListModel;

// A singer row of the singers of a region: the singer's picture (by name from the singer-image
// host), the name and a right arrow over an inset separator; the screen handles the row's tap.
// Row height 110 (146 on the 12.9-inch tablet).
class StarsListCell : public ui::TableViewCell {
 public:
  static std::shared_ptr<StarsListCell> create(ui::TableViewCellStyle style = ui::TableViewCellStyle::Default,
                                               const std::string& reuseIdentifier = "cellIdentify");
  StarsListCell(ui::TableViewCellStyle style, const std::string& reuseIdentifier);
  ~StarsListCell() override;

  static double rowHeight();

  // Builds the subviews (once, from create()).
  void setupMyCell();
  // Shows the singer's name and loads the picture (placeholder "SongsDefaultPic" at once).
  void setupMyCell(const StarsListModel& model);

  const std::shared_ptr<ui::ImageView>& imgV_portrait() const { return m_imgVPortrait; }
  const std::shared_ptr<ui::Label>& label_singerName() const { return m_labelSingerName; }

 private:
  std::shared_ptr<ui::ImageView> m_imgVPortrait;
  std::shared_ptr<ui::Label> m_labelSingerName;
};

}  // namespace kt
