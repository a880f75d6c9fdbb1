#include "widgets/controls/StyledGridTableViewCell.h"

#include "platform/core/RunLoop.h"
#include "platform/gfx/Compositor.h"
#include "platform/gfx/Context.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/Layer.h"
#include "platform/ui/Event.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Touch.h"
#include "widgets/controls/StyledDrawing.h"

namespace kt {

// ---- Custom-view cell ----

StyledCustomViewTableViewCell::StyledCustomViewTableViewCell(ui::TableViewCellStyle style,
                                                             const std::string& reuseIdentifier)
    : StyledTableViewCell(style, reuseIdentifier) {
  setSelectionStyle(ui::TableViewCellSelectionStyle::None);
}

StyledCustomViewTableViewCell::~StyledCustomViewTableViewCell() = default;

void StyledCustomViewTableViewCell::setCustomView(std::shared_ptr<ui::View> view) {
  if (m_customView == view) return;
  if (m_customView && m_customView->superview() == this) m_customView->removeFromSuperview();
  m_customView = std::move(view);
  setNeedsDisplay();
  setNeedsLayout();
}

void StyledCustomViewTableViewCell::backgroundColorDidChange() {
  if (m_customView) m_customView->setBackgroundColor(backgroundColor());
}

void StyledCustomViewTableViewCell::setCustomBackgroundColor(std::optional<gfx::Color> color) {
  StyledTableViewCell::setCustomBackgroundColor(color);
  if (m_customView) m_customView->setBackgroundColor(color);
}

void StyledCustomViewTableViewCell::placeCustomView() {
  if (!m_customView) return;
  m_customView->setFrame(innerFrame());
  m_customView->layer()->setMask(mask());
  m_customView->layer()->setMasksToBounds(true);
  if (m_customView->superview() != this) addSubview(m_customView);
}

void StyledCustomViewTableViewCell::drawRect(gfx::Context& ctx, const gfx::Rect& rect) {
  StyledTableViewCell::drawRect(ctx, rect);
  placeCustomView();
}

void StyledCustomViewTableViewCell::layoutSubviews() {
  StyledTableViewCell::layoutSubviews();
  // The card moves with the cell's size, so the view follows it here as well as at a redraw.
  placeCustomView();
}

// ---- Grid subview ----

StyledGridSubview::StyledGridSubview() : ui::Button(ui::ButtonType::Custom) {
  setContentMode(ui::ContentMode::Redraw);
  addTarget(
      &m_selectTarget, [this](ui::Control&, const ui::Event* event) { selectedButton(event); },
      ui::ControlEventTouchDown);
  addTarget(
      &m_deselectTarget, [this](ui::Control&, const ui::Event*) { hardDeselect(); },
      ui::ControlEventTouchDragInside | ui::ControlEventTouchDragOutside | ui::ControlEventTouchUpOutside);
  addTarget(
      &m_fireTarget, [this](ui::Control&, const ui::Event*) { fireButtonAction(); }, ui::ControlEventTouchUpInside);
}

StyledGridSubview::~StyledGridSubview() { m_cell = nullptr; }

void StyledGridSubview::fireOnTouchUpOutside() {
  removeTarget(&m_deselectTarget,
               ui::ControlEventTouchDragInside | ui::ControlEventTouchDragOutside | ui::ControlEventTouchUpOutside);
  addTarget(
      &m_fireTarget, [this](ui::Control&, const ui::Event*) { fireButtonAction(); }, ui::ControlEventTouchUpOutside);
}

double StyledGridSubview::segmentWidth() const {
  const int32_t n = m_cell ? m_cell->numberOfElements() : 0;
  if (n <= 0) return 0;  // no columns: nothing to divide
  const int32_t q = 4 / n;
  return static_cast<float>((static_cast<float>(frame().width()) - static_cast<float>(q)) / static_cast<float>(n));
}

void StyledGridSubview::drawLineAtX(gfx::Context& ctx, float x, const gfx::Rect& rect) const {
  if (!m_cell) return;
  ctx.save();
  ctx.setStrokeColor(m_cell->customSeparatorColor());
  ctx.setLineWidth(0.5);
  ctx.beginPath();
  ctx.moveTo(gfx::Point{x, rect.minY()});
  ctx.lineTo(gfx::Point{x, rect.maxY()});
  ctx.strokePath();
  ctx.restore();
}

std::shared_ptr<const gfx::Font> StyledGridSubview::fontFromLabel(const ui::Label* label) const {
  if (label && label->font() && label->font()->pointSize() != 0) return label->font();
  if (!m_cell) return label ? label->font() : nullptr;
  auto& cell = *m_cell;
  if (label && label == cell.textLabel().get()) return gfx::Font::boldSystemFont(gfx::Font::labelFontSize());
  if (label == cell.detailTextLabel().get()) {
    switch (cell.cellStyle()) {
      case ui::TableViewCellStyle::Value1:
      case ui::TableViewCellStyle::Value2:
        return gfx::Font::systemFont(static_cast<float>(gfx::Font::labelFontSize()));
      case ui::TableViewCellStyle::Subtitle: return gfx::Font::systemFont(15);
      default: return nullptr;  // a size-0 font: such details take no room and show nothing
    }
  }
  return label ? label->font() : nullptr;
}

gfx::TextStyle StyledGridSubview::textStyle(const std::shared_ptr<const gfx::Font>& font) const {
  gfx::TextStyle style = gfx::TextStyle::withFont(font);
  style.lineBreak = gfx::LineBreakMode::TruncateTail;
  if (m_cell) style.alignment = m_cell->textAlignment();
  return style;
}

gfx::Size StyledGridSubview::drawText(gfx::Context& ctx, const std::string& text, const ui::Label* label,
                                      const gfx::Rect& rect, bool selected) const {
  const auto font = fontFromLabel(label);
  if (!font || !m_cell) return gfx::Size{};
  ctx.save();
  if (!(m_cell->shadowOnlyOnSelected() && !selected) && label && label->shadowColor()) {
    ctx.setShadow(label->shadowOffset(), 1, *label->shadowColor());
  }
  gfx::TextStyle style = textStyle(font);
  style.color = (selected && m_cell->elementSelectionStyle() != 0) ? gfx::Color::whiteColor()
                                                                    : (label ? label->textColor() : gfx::Color::black());
  const gfx::Size drawn = gfx::TextLayout(text, style).draw(ctx, rect);
  ctx.restore();
  return drawn;
}

void StyledGridSubview::drawSelectionGradientInRect(gfx::Context& ctx, const gfx::Rect& rect) const {
  if (!m_cell) return;
  StyledDrawing::drawGradient(ctx, rect, m_cell->selectionGradientStartColor(), m_cell->selectionGradientEndColor());
}

gfx::Size StyledGridSubview::detailTextSizeAtIndex(int32_t index, float width, const gfx::Rect& rect) const {
  if (!m_cell) return gfx::Size{};
  const auto detail = m_cell->detailTextAtIndex(index);
  const auto font = fontFromLabel(m_cell->detailTextLabel().get());
  if (!detail || !font) return gfx::Size{};
  return gfx::TextLayout(*detail, textStyle(font)).sizeConstrained(gfx::Size{width, rect.height()});
}

gfx::Size StyledGridSubview::textSizeAtIndex(int32_t index, float width, const gfx::Rect& rect) const {
  if (!m_cell) return gfx::Size{};
  const auto text = m_cell->textAtIndex(index);
  const auto font = fontFromLabel(m_cell->textLabel().get());
  if (!text || !font) return gfx::Size{};
  const double dh = m_cell->detailTextAtIndex(index) ? detailTextSizeAtIndex(index, width, rect).height : 0;
  return gfx::TextLayout(*text, textStyle(font)).sizeConstrained(gfx::Size{width, rect.height() - dh - 4});
}

void StyledGridSubview::drawTextsAtIndex(gfx::Context& ctx, int32_t index, float width, const gfx::Rect& rect,
                                         float x, bool selected) const {
  if (!m_cell) return;
  const double th = textSizeAtIndex(index, width, rect).height;
  const double dh = detailTextSizeAtIndex(index, width, rect).height;
  if (const auto text = m_cell->textAtIndex(index)) {
    const float y = static_cast<float>((rect.maxY() - th - dh) * 0.5);
    drawText(ctx, *text, m_cell->textLabel().get(), gfx::Rect(x, y, width, th), selected);
  }
  if (const auto detail = m_cell->detailTextAtIndex(index)) {
    const double y = rect.maxY() - dh - 2;
    drawText(ctx, *detail, m_cell->detailTextLabel().get(), gfx::Rect(x, y, width, dh), selected);
  }
}

std::optional<gfx::Color> StyledGridSubview::backgroundColor() const {
  return m_cell ? m_cell->backgroundColor() : std::nullopt;
}

void StyledGridSubview::drawBackground(gfx::Context& ctx, const gfx::Rect& rect) const {
  if (m_cell) {
    if (const auto gradient = m_cell->newNormalGradient()) {
      StyledDrawing::drawGradient(ctx, *gradient, rect);
      return;
    }
  }
  if (const auto fill = backgroundColor()) {
    ctx.save();
    ctx.setFillColor(*fill);
    ctx.fillRect(rect);
    ctx.restore();
  }
}

void StyledGridSubview::drawRect(gfx::Context& ctx, const gfx::Rect& rect) {
  drawBackground(ctx, rect);
  if (!m_cell) return;
  const int32_t n = m_cell->numberOfElements();
  const double w = segmentWidth();
  double x = 0;
  for (int32_t i = 0; i < n; ++i) {
    const bool selected = i == m_selectedSegment;
    if (selected && m_cell->elementSelectionStyle() != 0) {
      const double width = i == n - 1 ? w + 10 : w;
      drawSelectionGradientInRect(ctx, gfx::Rect(x, rect.minY(), width, rect.maxY()));
    }
    const double next = x + w;
    if (i != n - 1) drawLineAtX(ctx, static_cast<float>(next), rect);
    drawTextsAtIndex(ctx, i, static_cast<float>(w), rect, static_cast<float>(x), selected);
    x = next;
  }
}

std::shared_ptr<gfx::Image> StyledGridSubview::renderSelectionImage() {
  auto ctx = gfx::Context::bitmap(frame().size, ui::Screen::main().drawingScale(), true);
  if (!ctx) return nullptr;
  gfx::Compositor::renderLayer(*layer(), *ctx);
  return ctx->makeImage();
}

void StyledGridSubview::unselectAndRefresh() {
  m_selectedSegment = -1;
  setNeedsDisplay();
}

void StyledGridSubview::deselectAnimated(bool animated, std::function<void()> completion) {
  std::shared_ptr<ui::ImageView> snapshot;
  if (animated) {
    snapshot = ui::ImageView::create(bounds());
    snapshot->setImage(renderSelectionImage());
    snapshot->setAlpha(1);
    addSubview(snapshot);
  }
  const std::weak_ptr<ui::View> self = shared();
  core::RunLoop::main().performAfterDelay(self, animated ? 0.05 : 0.1, [this] { unselectAndRefresh(); });
  if (!animated) return;
  ui::View::animate(
      0.6, 0.05, ui::AnimationShowHideTransitionViews, [snapshot] { snapshot->setAlpha(0); },
      [snapshot, completion = std::move(completion)](bool) {
        snapshot->removeFromSuperview();
        if (completion) completion();
      });
}

void StyledGridSubview::selectIndex(int32_t index) {
  m_selectedSegment = index;
  setNeedsDisplay();
}

void StyledGridSubview::selectedButton(const ui::Event* event) {
  if (!event || !m_cell || m_cell->numberOfElements() <= 0) return;
  const auto touches = event->touchesForView(this);
  if (touches.empty()) return;
  const double x = touches.front()->locationInView(this).x;
  const double w = segmentWidth();
  for (int32_t i = 0; i < m_cell->numberOfElements(); ++i) {
    if (w * (i + 1) > x) {
      selectIndex(i);
      return;
    }
  }
}

void StyledGridSubview::fireButtonAction() {
  if (!m_cell) return;
  // A selection left from before the columns went away (a segmented cell with no titles) is
  // not a column.
  if (m_selectedSegment < 0 || m_selectedSegment >= m_cell->numberOfElements()) return;
  if (const auto& action = m_cell->actionBlock()) action(m_cell->currentIndexPath(), m_selectedSegment);
}

// ---- Grid cell ----

StyledGridTableViewCell::StyledGridTableViewCell(ui::TableViewCellStyle style, const std::string& reuseIdentifier)
    : StyledCustomViewTableViewCell(style, reuseIdentifier), m_style(style) {
  m_subview = std::make_shared<StyledGridSubview>();
  m_subview->setCell(this);
  setCustomView(m_subview);
  initVars();
}

StyledGridTableViewCell::~StyledGridTableViewCell() { m_subview->setCell(nullptr); }

void StyledGridTableViewCell::initVars() {
  m_texts.clear();
  m_detailTexts.clear();
  m_subview->setSelectedSegment(-1);
}

void StyledGridTableViewCell::prepareForReuse() {
  StyledCustomViewTableViewCell::prepareForReuse();
  customPrepareForReuse();
}

void StyledGridTableViewCell::customPrepareForReuse() { m_subview->setNeedsDisplay(); }

void StyledGridTableViewCell::prepareForTableView(ui::TableView& tableView, const ui::IndexPath& indexPath) {
  StyledCustomViewTableViewCell::prepareForTableView(tableView, indexPath);
  m_currentIndexPath = indexPath;
}

std::vector<std::string> StyledGridTableViewCell::sortDictionary(const std::map<int32_t, std::string>& dictionary) const {
  std::vector<std::string> sorted;
  for (int32_t i = 0; i < m_numberOfElements; ++i) {
    if (auto it = dictionary.find(i); it != dictionary.end()) sorted.push_back(it->second);
  }
  return sorted;
}

std::optional<std::string> StyledGridTableViewCell::textAtIndex(int32_t index) const {
  if (auto it = m_texts.find(index); it != m_texts.end()) return it->second;
  return std::nullopt;
}

std::optional<std::string> StyledGridTableViewCell::detailTextAtIndex(int32_t index) const {
  if (auto it = m_detailTexts.find(index); it != m_detailTexts.end()) return it->second;
  return std::nullopt;
}

void StyledGridTableViewCell::setNumberOfElements(int32_t count) {
  m_numberOfElements = count;
  initVars();
  m_subview->setNeedsDisplay();
}

// ---- Segmented cell ----

StyledSegmentedControlTableViewCell::StyledSegmentedControlTableViewCell(ui::TableViewCellStyle style,
                                                                         const std::string& reuseIdentifier)
    : StyledGridTableViewCell(style, reuseIdentifier) {
  const gfx::Color start = selectionGradientStartColor();
  setSelectionGradientStartColor(selectionGradientEndColor());
  setSelectionGradientEndColor(start);
  textLabel()->setShadowColor(gfx::Color::black());
  textLabel()->setShadowOffset(gfx::Size{0, 1});
  setShadowOnlyOnSelected(true);
  updateButtonActions();
}

void StyledSegmentedControlTableViewCell::updateButtonActions() { gridSubview()->fireOnTouchUpOutside(); }

void StyledSegmentedControlTableViewCell::setTitles(const std::vector<std::string>& titles) {
  setNumberOfElements(static_cast<int32_t>(titles.size()));
  for (size_t i = 0; i < titles.size(); ++i) setText(titles[i], static_cast<int32_t>(i));
  restartSelectedIndex();
}

void StyledSegmentedControlTableViewCell::setSelectedIndex(long index) {
  m_selectedIndex = index;
  selectIndex(static_cast<int32_t>(index));
}

void StyledSegmentedControlTableViewCell::setActionBlock(ActionBlock block) {
  // The wrapper is kept by this cell, so it holds the cell weakly.
  StyledGridTableViewCell::setActionBlock(
      [self = m_weakFactory.weakPtr(), block = std::move(block)](const std::optional<ui::IndexPath>& indexPath,
                                                                  int32_t column) {
        if (self) self->m_selectedIndex = column;
        if (block) block(indexPath, column);
      });
}

}  // namespace kt
