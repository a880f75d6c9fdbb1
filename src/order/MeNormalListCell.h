#pragma once

#include <memory>
#include <string>

#include "order/OrderListCell.h"
#include "songs/SongCellParts.h"

namespace kt {

// An order with a duration, shown beside a timer icon on its second line.
class MeNormalListCell : public OrderListCell {
 public:
  static std::shared_ptr<MeNormalListCell> create(ui::TableViewCellStyle style = ui::TableViewCellStyle::Default,
                                                  const std::string& reuseIdentifier = "") {
    return SongCellParts::makeCell<MeNormalListCell>(style, reuseIdentifier);
  }
  MeNormalListCell(ui::TableViewCellStyle style, const std::string& reuseIdentifier)
      : OrderListCell(Kind::Duration, style, reuseIdentifier) {}
};

}  // namespace kt
