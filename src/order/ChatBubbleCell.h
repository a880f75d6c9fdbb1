#pragma once

#include <memory>
#include <string>

#include "platform/ui/TableViewCell.h"

namespace core {
class Value;
}
namespace ui {
class ImageView;
class Label;
}  // namespace ui

namespace kt {

// One chat message as a rounded speech bubble beside a round portrait: the other party's on the
// left of the row, the user's own mirrored on the right. The bubble keeps a short message on one
// line and grows in width with it; a long one wraps at a fixed width and the bubble grows in
// height. Built in code with fixed frames and a second set for the 12.9-inch tablet, chosen
// afresh at every use. ChatCell and MeChatCell are its two kinds.
class ChatBubbleCell : public ui::TableViewCell {
 public:
  enum class Side { Other, Own };

  ChatBubbleCell(Side side, ui::TableViewCellStyle style, const std::string& reuseIdentifier);
  ~ChatBubbleCell() override;

  // Builds the portrait, the bubble's tail and the bubble with its label on the cell's own view
  // (not its content view); once, from create().
  void setupMyCell();
  // Shows the message's "msg" text (any other kind of value, or none, shows nothing) and sizes
  // the label and the bubble to it. May be called again with another message.
  void setupMyController(const core::Value& message);

  const std::shared_ptr<ui::ImageView>& imgV_portrait() const { return m_imgV_portrait; }
  const std::shared_ptr<ui::View>& view_bg() const { return m_view_bg; }
  const std::shared_ptr<ui::Label>& label_msg() const { return m_label_msg; }

 private:
  Side m_side;
  std::shared_ptr<ui::ImageView> m_imgV_portrait;
  std::shared_ptr<ui::View> m_view_bg;
  std::shared_ptr<ui::Label> m_label_msg;
};

}  // namespace kt
