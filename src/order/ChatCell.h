#pragma once

#include <memory>
#include <string>

#include "order/ChatBubbleCell.h"
#include "songs/SongCellParts.h"

namespace kt {

// A message of the other party: portrait on the left, the bubble to its right.
class ChatCell : public ChatBubbleCell {
 public:
  static std::shared_ptr<ChatCell> create(ui::TableViewCellStyle style = ui::TableViewCellStyle::Default,
                                          const std::string& reuseIdentifier = "") {
    return SongCellParts::makeCell<ChatCell>(style, reuseIdentifier);
  }
  ChatCell(ui::TableViewCellStyle style, const std::string& reuseIdentifier)
      : ChatBubbleCell(Side::Other, style, reuseIdentifier) {}
};

}  // namespace kt
