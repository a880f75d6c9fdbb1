#include "songs/SearchHistoryCell.h"

#include "app/APPFont.h"
#include "app/ScreenSize.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "songs/SongCellParts.h"

namespace kt {

std::shared_ptr<SearchHistoryCell> SearchHistoryCell::create(ui::TableViewCellStyle style,
                                                             const std::string& reuseIdentifier) {
  return SongCellParts::makeCell<SearchHistoryCell>(style, reuseIdentifier);
}

SearchHistoryCell::SearchHistoryCell(ui::TableViewCellStyle style, const std::string& reuseIdentifier)
    : ui::TableViewCell(style, reuseIdentifier) {
  setBackgroundColor(gfx::Color::clear());
}

SearchHistoryCell::~SearchHistoryCell() = default;

double SearchHistoryCell::rowHeight() { return pick(90, 120); }

void SearchHistoryCell::setupMyCell() {
  SongCellParts::addPicture(*this, {31, 34, 25, 25}, {41, 45, 33, 33}, "Search_history_dim");
  m_labelSearchMsg =
      SongCellParts::addLabel(*this, {106, 33, 576, 27}, {141, 44, 767, 36}, "FFFFFF", APPFont::getSysFont_Size44());
  SongCellParts::addPicture(*this, {952, 34, 25, 25}, {1269, 45, 33, 33}, "Search_delete");
  m_btnDelete = SongCellParts::addButton(*this, {937, 23, 60, 60}, {1249, 30, 79, 80}, [](ui::TableViewCell& cell) {
    static_cast<SearchHistoryCell&>(cell).deleteTheMsg();
  });
  SongCellParts::addPicture(*this, {0, 88, 1024, 2}, {0, 117, 1364, 2}, "SeparateLine2");
}

void SearchHistoryCell::deleteTheMsg() {
  if (SearchHistoryDelegate* delegate = m_delegate.get()) delegate->didDeleteTheMsgAtIndex(m_numOfIndex);
}

void SearchHistoryCell::setCellWithMsg(const std::string& msg) { m_labelSearchMsg->setText(msg); }

}  // namespace kt
