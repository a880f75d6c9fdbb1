#include "order/ChatBubbleCell.h"

#include "app/APPFont.h"
#include "app/ColorHexadecimal.h"
#include "app/ScreenSize.h"
#include "app/SubsidiaryClass.h"
#include "platform/core/Value.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Layer.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "songs/SongCellParts.h"

namespace kt {

ChatBubbleCell::ChatBubbleCell(Side side, ui::TableViewCellStyle style, const std::string& reuseIdentifier)
    : ui::TableViewCell(style, reuseIdentifier), m_side(side) {
  setBackgroundColor(gfx::Color::clear());
}

ChatBubbleCell::~ChatBubbleCell() = default;

void ChatBubbleCell::setupMyCell() {
  const bool own = m_side == Side::Own;
  m_imgV_portrait = SongCellParts::addPicture(*this, own ? gfx::Rect(640, 36, 72, 72) : gfx::Rect(31, 36, 72, 72),
                                              own ? gfx::Rect(853, 48, 95, 96) : gfx::Rect(41, 48, 95, 96),
                                              "UserDefaultPic");
  m_imgV_portrait->layer()->setCornerRadius(pick(36, 48));
  m_imgV_portrait->setClipsToBounds(true);

  SongCellParts::addPicture(*this, own ? gfx::Rect(600, 50, 30, 36) : gfx::Rect(135, 50, 30, 36),
                            own ? gfx::Rect(799, 66, 39, 48) : gfx::Rect(179, 66, 39, 48),
                            own ? "MeChatCellCorner" : "ChatCellCorner");

  // Added after the tail, the bubble lies over the tail's inner end.
  m_view_bg = ui::View::create(pick(own ? gfx::Rect(67, 36, 546, 72) : gfx::Rect(153, 36, 546, 72),
                                    own ? gfx::Rect(89, 48, 727, 96) : gfx::Rect(203, 48, 727, 96)));
  m_view_bg->setBackgroundColor(ColorHexadecimal::colorWithHexString(own ? "4f76f3" : "26325a"));
  m_view_bg->layer()->setCornerRadius(pick(36, 48));
  m_view_bg->setClipsToBounds(true);
  addSubview(m_view_bg);

  m_label_msg = SongCellParts::addLabel(*m_view_bg, {55, 21, 436, 30}, {73, 28, 581, 40}, "768fb9",
                                        APPFont::getSysFont_size36());
  if (own) m_label_msg->setTextColor(gfx::Color::red());
  m_label_msg->setLineBreakMode(gfx::LineBreakMode::WordWrap);
  m_label_msg->setNumberOfLines(0);
}

void ChatBubbleCell::setupMyController(const core::Value& message) {
  const std::string* msg = message["msg"].asString();
  const std::string text = msg ? *msg : std::string();
  m_label_msg->setText(text);

  const bool own = m_side == Side::Own;
  const int fontSize = static_cast<int>(m_label_msg->font()->pointSize());
  const float width = SubsidiaryClass::fontWidth(text, fontSize, static_cast<float>(pick(30, 40)));
  const double wrapWidth = pick(436, 581);
  if (width < wrapWidth) {
    const double w = width;
    m_label_msg->setFrame(pick({55, 21, w, 30}, {73, 28, w, 40}));
    // The user's bubble keeps its right edge and grows to the left.
    m_view_bg->setFrame(own ? pick({504 - w, 36, w + 110, 72}, {671 - w, 48, w + 146, 96})
                            : pick({153, 36, w + 110, 72}, {203, 48, w + 146, 96}));
    return;
  }
  const double h = SubsidiaryClass::fontHeight(text, fontSize, static_cast<float>(wrapWidth));
  m_label_msg->setFrame(pick({55, 21, 436, h}, {73, 28, 581, h}));
  m_view_bg->setFrame(own ? pick({67, 36, 546, h + 42}, {89, 48, 727, h + 56})
                          : pick({153, 36, 546, h + 42}, {203, 48, 727, h + 56}));
}

}  // namespace kt
