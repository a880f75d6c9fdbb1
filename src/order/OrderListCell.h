#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/ui/TableViewCell.h"

namespace ui {
class Label;
}

namespace kt {

// One order as a list row: a list number, an order number, the venue name, a second line (the
// drinks of a drinks order, or the duration beside a timer icon), the room number, the amount
// paid and the order date over a background picture, the whole row at 40 % opacity. Built in
// code when made, with fixed frames and a second set for the 12.9-inch tablet (chosen afresh for
// every view); the data labels start empty and nothing fills them yet. The row keeps the table's
// default selection look. MeListCell and MeNormalListCell are its two kinds.
class OrderListCell : public ui::TableViewCell {
 public:
  enum class Kind { Drinks, Duration };

  OrderListCell(Kind kind, ui::TableViewCellStyle style, const std::string& reuseIdentifier);
  ~OrderListCell() override;

  // Builds the subviews (once, from create()): the menu icon, the list and order numbers and the
  // background picture on the cell's own view (not its content view), the rest of the row on the
  // background picture, which does not clip it.
  void setupMyCell();
  // Leaves the row as it is: no order record feeds it yet.
  void assignModel() {}

  // An index the owner may keep on the cell; the cell does not read it.
  int32_t numOfIndex() const { return m_numOfIndex; }
  void setNumOfIndex(int32_t index) { m_numOfIndex = index; }

 private:
  Kind m_kind;
  std::shared_ptr<ui::Label> m_label_orderListNum;
  std::shared_ptr<ui::Label> m_label_orderNum;
  std::shared_ptr<ui::Label> m_label_KTVName;
  // The second line: the drinks of a drinks order, or the duration of the other kind.
  std::shared_ptr<ui::Label> m_label_drinks;
  std::shared_ptr<ui::Label> m_label_duration;
  std::shared_ptr<ui::Label> m_label_roomNum;
  std::shared_ptr<ui::Label> m_label_payFor;
  std::shared_ptr<ui::Label> m_label_orderDate;
  int32_t m_numOfIndex = 0;
};

}  // namespace kt
