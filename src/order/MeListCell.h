#pragma once

#include <memory>
#include <string>

#include "order/OrderListCell.h"
#include "songs/SongCellParts.h"

namespace kt {

// A drinks order: its second line lists the drinks under the caption "酒水内容 : ".
class MeListCell : public OrderListCell {
 public:
  static std::shared_ptr<MeListCell> create(ui::TableViewCellStyle style = ui::TableViewCellStyle::Default,
                                            const std::string& reuseIdentifier = "") {
    return SongCellParts::makeCell<MeListCell>(style, reuseIdentifier);
  }
  MeListCell(ui::TableViewCellStyle style, const std::string& reuseIdentifier)
      : OrderListCell(Kind::Drinks, style, reuseIdentifier) {}
};

}  // namespace kt
