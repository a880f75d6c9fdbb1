#pragma once

#include <memory>
#include <string>

#include "platform/ui/TableViewCell.h"

namespace ui {
class Label;
}

namespace kt {

// A navigation row of the singer regions and the song categories: one text and a right arrow
// over a full-width separator; the screen handles the row's tap. Row height 99 (132 on the
// 12.9-inch tablet).
class StyleStarsCell : public ui::TableViewCell {
 public:
  static std::shared_ptr<StyleStarsCell> create(ui::TableViewCellStyle style = ui::TableViewCellStyle::Default,
                                                const std::string& reuseIdentifier = "cellIdentify");
  StyleStarsCell(ui::TableViewCellStyle style, const std::string& reuseIdentifier);
  ~StyleStarsCell() override;

  static double rowHeight();

  // Builds the subviews (once, from create()).
  void setupMyCell();
  // Shows the text unchanged (a region or category name).
  void setupMyCell(const std::string& text);

  const std::shared_ptr<ui::Label>& label_class() const { return m_labelClass; }

 private:
  std::shared_ptr<ui::Label> m_labelClass;
};

}  // namespace kt
