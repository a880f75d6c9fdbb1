#pragma once

#include <memory>
#include <string>

#include "order/ChatBubbleCell.h"
#include "songs/SongCellParts.h"

namespace kt {

// The user's own message: portrait on the right, the bubble to its left.
class MeChatCell : public ChatBubbleCell {
 public:
  static std::shared_ptr<MeChatCell> create(ui::TableViewCellStyle style = ui::TableViewCellStyle::Default,
                                            const std::string& reuseIdentifier = "") {
    return SongCellParts::makeCell<MeChatCell>(style, reuseIdentifier);
  }
  MeChatCell(ui::TableViewCellStyle style, const std::string& reuseIdentifier)
      : ChatBubbleCell(Side::Own, style, reuseIdentifier) {}
};

}  // namespace kt
