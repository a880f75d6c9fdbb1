#include "order/OrderListCell.h"

#include "app/APPFont.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "songs/SongCellParts.h"

namespace kt {

namespace {

using SongCellParts::addLabel;
using SongCellParts::addPicture;

void addCaption(ui::View& parent, const gfx::Rect& frame, const gfx::Rect& largeFrame, const char* hexColor,
                const char* text) {
  addLabel(parent, frame, largeFrame, hexColor, APPFont::getSysFont_size36())->setText(text);
}

}  // namespace

OrderListCell::OrderListCell(Kind kind, ui::TableViewCellStyle style, const std::string& reuseIdentifier)
    : ui::TableViewCell(style, reuseIdentifier), m_kind(kind) {
  setBackgroundColor(gfx::Color::clear());
  setAlpha(0.4);
}

OrderListCell::~OrderListCell() = default;

void OrderListCell::setupMyCell() {
  const bool drinks = m_kind == Kind::Drinks;
  addPicture(*this, {40, 40, 22, 22}, {53, 53, 29, 29}, "ListMenu");
  m_label_orderListNum = addLabel(*this, {114, 39, 84, 27}, {151, 52, 111, 36}, "34b5ca", APPFont::getSysFont_size36());
  m_label_orderNum = addLabel(*this, {277, 39, 465, 27}, {369, 52, 619, 36}, "34d4c3", APPFont::getSysFont_size36());
  auto card = addPicture(*this, {60, 83, 648, 270}, {79, 110, 863, 360}, drinks ? "ListStyle2" : "NormalListStyle1");

  m_label_KTVName =
      addLabel(*card, {30, 30, 432, 27}, {39, 40, 575, 36}, drinks ? "ffffff" : "DFEBFF", APPFont::getSysFont_size40());
  if (drinks) {
    addCaption(*card, {40, 88, 120, 23}, {53, 117, 159, 30}, "dfebff", "酒水内容 : ");
    m_label_drinks = addLabel(*card, {160, 88, 528, 23}, {213, 117, 703, 30}, "dfebff", APPFont::getSysFont_size36());
  } else {
    addPicture(*card, {40, 91, 21, 21}, {53, 121, 27, 28}, "Timer");
    m_label_duration = addLabel(*card, {84, 88, 220, 27}, {111, 117, 293, 36}, "ffffff", APPFont::getSysFont_size40());
  }
  addCaption(*card, {40, 138, 120, 23}, {53, 184, 159, 30}, "475686", "包 房 号  : ");
  m_label_roomNum = addLabel(*card, {160, 138, 408, 23}, {213, 184, 543, 30}, "768fb9", APPFont::getSysFont_size36());
  // The payment line lies below the picture's lower edge; the picture does not clip it.
  addCaption(*card, {40, 286, 120, 23}, {53, 381, 159, 30}, "475686", "支付金额 : ");
  m_label_payFor = addLabel(*card, {160, 286, 408, 23}, {213, 381, 543, 30}, "768fb9", APPFont::getSysFont_size36());
  addPicture(*card, {343, 232, 21, 21}, {457, 309, 27, 28}, "Calendar");
  m_label_orderDate = addLabel(*card, {386, 232, 223, 21}, {514, 309, 297, 28}, "3370D9", APPFont::getSysFont_size34());
  m_label_orderDate->setTextAlignment(gfx::TextAlignment::Right);
}

}  // namespace kt
