#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/core/WeakPtr.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/TextLayout.h"
#include "platform/ui/Button.h"
#include "widgets/controls/StyledTableViewCell.h"

namespace gfx {
class Image;
}
namespace ui {
class Label;
}

namespace kt {

// A styled cell showing one view of its own exactly on the card, clipped to the card's shape.
class StyledCustomViewTableViewCell : public StyledTableViewCell {
 public:
  StyledCustomViewTableViewCell(ui::TableViewCellStyle style, const std::string& reuseIdentifier);
  ~StyledCustomViewTableViewCell() override;

  const std::shared_ptr<ui::View>& customView() const { return m_customView; }
  void setCustomView(std::shared_ptr<ui::View> view);

  // Also the custom view's background (as is the cell's own background, however it is set).
  void setCustomBackgroundColor(std::optional<gfx::Color> color) override;

  void drawRect(gfx::Context& ctx, const gfx::Rect& rect) override;
  bool drawsContent() const override { return true; }
  void layoutSubviews() override;

 protected:
  void backgroundColorDidChange() override;

 private:
  // Puts the custom view on the card with the card's mask.
  void placeCustomView();
  std::shared_ptr<ui::View> m_customView;
};

class StyledGridTableViewCell;

// The columns of a grid cell: draws them and turns touches into a selected column. The cell is
// not owned: it owns this view and clears the reference when it goes.
class StyledGridSubview : public ui::Button {
 public:
  StyledGridSubview();
  ~StyledGridSubview() override;

  // The width of one column: (W - 4 / n) / n with an integer quotient; 0 with no columns.
  double segmentWidth() const;
  void drawLineAtX(gfx::Context& ctx, float x, const gfx::Rect& rect) const;
  // Null when the label gives no font (no detail label in the default style).
  std::shared_ptr<const gfx::Font> fontFromLabel(const ui::Label* label) const;
  gfx::Size drawText(gfx::Context& ctx, const std::string& text, const ui::Label* label, const gfx::Rect& rect,
                     bool selected) const;
  void drawSelectionGradientInRect(gfx::Context& ctx, const gfx::Rect& rect) const;
  gfx::Size detailTextSizeAtIndex(int32_t index, float width, const gfx::Rect& rect) const;
  gfx::Size textSizeAtIndex(int32_t index, float width, const gfx::Rect& rect) const;
  void drawTextsAtIndex(gfx::Context& ctx, int32_t index, float width, const gfx::Rect& rect, float x,
                        bool selected) const;
  void drawBackground(gfx::Context& ctx, const gfx::Rect& rect) const;
  void drawRect(gfx::Context& ctx, const gfx::Rect& rect) override;

  // The view as it looks now, opaque, at the screen's drawing scale.
  std::shared_ptr<gfx::Image> renderSelectionImage();
  void unselectAndRefresh();
  // Clears the selection: animated, under a fading snapshot (the completion runs when the fade
  // ends); otherwise after a tenth of a second, without calling the completion.
  void deselectAnimated(bool animated, std::function<void()> completion = nullptr);
  void hardDeselect() { deselectAnimated(false); }
  void selectIndex(int32_t index);
  void selectedButton(const ui::Event* event);
  void fireButtonAction();
  // Drops the deselect-on-drag target and fires on lifting outside too (segmented cells).
  void fireOnTouchUpOutside();

  std::optional<gfx::Color> backgroundColor() const;
  StyledGridTableViewCell* cell() const { return m_cell; }
  void setCell(StyledGridTableViewCell* cell) { m_cell = cell; }
  int32_t selectedSegment() const { return m_selectedSegment; }
  void setSelectedSegment(int32_t segment) { m_selectedSegment = segment; }

 private:
  gfx::TextStyle textStyle(const std::shared_ptr<const gfx::Font>& font) const;

  StyledGridTableViewCell* m_cell = nullptr;
  int32_t m_selectedSegment = -1;
  // Owners of the three targets, so that one can be removed alone.
  char m_selectTarget = 0, m_deselectTarget = 0, m_fireTarget = 0;
};

// A styled cell divided into equal columns, each with a text and an optional detail text. A
// touched column shows the selection gradient and is reported to the action block.
class StyledGridTableViewCell : public StyledCustomViewTableViewCell {
 public:
  using ActionBlock = std::function<void(const std::optional<ui::IndexPath>& indexPath, int32_t column)>;

  static std::shared_ptr<StyledGridTableViewCell> create(
      ui::TableViewCellStyle style = ui::TableViewCellStyle::Default, const std::string& reuseIdentifier = "") {
    return std::make_shared<StyledGridTableViewCell>(style, reuseIdentifier);
  }
  StyledGridTableViewCell(ui::TableViewCellStyle style, const std::string& reuseIdentifier);
  ~StyledGridTableViewCell() override;

  // The inherited reuse, then customPrepareForReuse.
  void prepareForReuse() override;
  // Redraws the columns.
  void customPrepareForReuse();
  void prepareForTableView(ui::TableView& tableView, const ui::IndexPath& indexPath) override;

  // The texts in column order, skipping columns without one.
  std::vector<std::string> texts() const { return sortDictionary(m_texts); }
  std::vector<std::string> detailTexts() const { return sortDictionary(m_detailTexts); }
  void setText(const std::string& text, int32_t index) { m_texts[index] = text; }
  void setDetailText(const std::string& text, int32_t index) { m_detailTexts[index] = text; }
  std::optional<std::string> textAtIndex(int32_t index) const;
  std::optional<std::string> detailTextAtIndex(int32_t index) const;

  int32_t numberOfElements() const { return m_numberOfElements; }
  // Clears every text and the selection.
  void setNumberOfElements(int32_t count);
  long elementSelectionStyle() const { return m_elementSelectionStyle; }
  void setElementSelectionStyle(long style) { m_elementSelectionStyle = style; }
  gfx::TextAlignment textAlignment() const { return m_textAlignment; }
  void setTextAlignment(gfx::TextAlignment alignment) { m_textAlignment = alignment; }
  const ActionBlock& actionBlock() const { return m_actionBlock; }
  virtual void setActionBlock(ActionBlock block) { m_actionBlock = std::move(block); }
  bool shadowOnlyOnSelected() const { return m_shadowOnlyOnSelected; }
  void setShadowOnlyOnSelected(bool only) { m_shadowOnlyOnSelected = only; }

  void selectIndex(int32_t index) { m_subview->selectIndex(index); }
  void deselectAnimated(bool animated, std::function<void()> completion = nullptr) {
    m_subview->deselectAnimated(animated, std::move(completion));
  }

  const std::optional<ui::IndexPath>& currentIndexPath() const { return m_currentIndexPath; }
  ui::TableViewCellStyle cellStyle() const { return m_style; }
  const std::shared_ptr<StyledGridSubview>& gridSubview() const { return m_subview; }

 private:
  void initVars();
  std::vector<std::string> sortDictionary(const std::map<int32_t, std::string>& dictionary) const;

  ui::TableViewCellStyle m_style;
  std::optional<ui::IndexPath> m_currentIndexPath;
  std::map<int32_t, std::string> m_texts;
  std::map<int32_t, std::string> m_detailTexts;
  int32_t m_numberOfElements = 0;
  long m_elementSelectionStyle = 1;
  gfx::TextAlignment m_textAlignment = gfx::TextAlignment::Center;
  ActionBlock m_actionBlock;
  bool m_shadowOnlyOnSelected = false;
  std::shared_ptr<StyledGridSubview> m_subview;
};

// A grid cell used as a segmented control: one column per title, always one selected, the
// selection kept when the finger lifts (inside or outside).
class StyledSegmentedControlTableViewCell : public StyledGridTableViewCell {
 public:
  static std::shared_ptr<StyledSegmentedControlTableViewCell> create(
      ui::TableViewCellStyle style = ui::TableViewCellStyle::Default, const std::string& reuseIdentifier = "") {
    return std::make_shared<StyledSegmentedControlTableViewCell>(style, reuseIdentifier);
  }
  StyledSegmentedControlTableViewCell(ui::TableViewCellStyle style, const std::string& reuseIdentifier);

  std::vector<std::string> titles() const { return texts(); }
  // One column per title; selects the first.
  void setTitles(const std::vector<std::string>& titles);
  void restartSelectedIndex() { setSelectedIndex(0); }
  long selectedIndex() const { return m_selectedIndex; }
  void setSelectedIndex(long index);
  // The block runs after selectedIndex has taken the tapped column.
  void setActionBlock(ActionBlock block) override;

 private:
  // Keeps the selection while the finger drags, and fires on lifting outside too.
  void updateButtonActions();

  long m_selectedIndex = -1;
  core::WeakPtrFactory<StyledSegmentedControlTableViewCell> m_weakFactory{this};
};

}  // namespace kt
