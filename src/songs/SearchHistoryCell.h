#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/core/WeakPtr.h"
#include "platform/ui/TableViewCell.h"

namespace ui {
class Button;
class Label;
}  // namespace ui

namespace kt {

// Told which stored search text the guest deleted. A cell holds its delegate weakly: a delegate
// that goes away is not told.
class SearchHistoryDelegate {
 public:
  SearchHistoryDelegate() = default;
  SearchHistoryDelegate(const SearchHistoryDelegate&) = delete;
  SearchHistoryDelegate& operator=(const SearchHistoryDelegate&) = delete;
  virtual ~SearchHistoryDelegate() = default;

  virtual void didDeleteTheMsgAtIndex(int32_t index) = 0;

  core::WeakPtr<SearchHistoryDelegate> weakPtr() const { return m_weakFactory.weakPtr(); }

 private:
  core::WeakPtrFactory<SearchHistoryDelegate> m_weakFactory{this};
};

// One stored search text with a delete button, over a full-width separator. The screen gives
// the rows a height of rowHeight() and sets the row number every time it fills the cell; the
// delete button reports that number.
class SearchHistoryCell : public ui::TableViewCell {
 public:
  static constexpr const char* ReuseIdentifier = "cell";

  static std::shared_ptr<SearchHistoryCell> create(ui::TableViewCellStyle style = ui::TableViewCellStyle::Default,
                                                   const std::string& reuseIdentifier = ReuseIdentifier);
  SearchHistoryCell(ui::TableViewCellStyle style, const std::string& reuseIdentifier);
  ~SearchHistoryCell() override;

  // 90 points, 120 on the 12.9-inch tablet.
  static double rowHeight();

  // Builds the subviews (once, from create()).
  void setupMyCell();
  // The delete button's action: tells the delegate the cell's row number.
  void deleteTheMsg();
  void setCellWithMsg(const std::string& msg);

  int32_t numOfIndex() const { return m_numOfIndex; }
  void setNumOfIndex(int32_t index) { m_numOfIndex = index; }
  SearchHistoryDelegate* delegate() const { return m_delegate.get(); }
  void setDelegate(SearchHistoryDelegate* delegate) { m_delegate = delegate ? delegate->weakPtr() : nullptr; }

  const std::shared_ptr<ui::Label>& label_searchMsg() const { return m_labelSearchMsg; }
  const std::shared_ptr<ui::Button>& btn_delete() const { return m_btnDelete; }

 private:
  std::shared_ptr<ui::Label> m_labelSearchMsg;
  std::shared_ptr<ui::Button> m_btnDelete;
  int32_t m_numOfIndex = 0;
  core::WeakPtr<SearchHistoryDelegate> m_delegate;
};

}  // namespace kt
