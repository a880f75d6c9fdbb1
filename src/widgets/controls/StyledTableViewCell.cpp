#include "widgets/controls/StyledTableViewCell.h"

#include <cmath>

#include "platform/gfx/Context.h"
#include "platform/gfx/Layer.h"
#include "widgets/controls/StyledDrawing.h"

namespace kt {

namespace {

// The corners a card rounds at a position; `otherwise` for a value outside the four positions.
unsigned cornersForPosition(int32_t position, unsigned otherwise) {
  switch (position) {
    case StyledTableViewCellPositionTop: return gfx::CornerTopLeft | gfx::CornerTopRight;
    case StyledTableViewCellPositionMiddle: return 0;
    case StyledTableViewCellPositionBottom: return gfx::CornerBottomLeft | gfx::CornerBottomRight;
    case StyledTableViewCellPositionAlone: return gfx::AllCorners;
    default: return otherwise;
  }
}

// Frame changes smaller than this are rounding, not a misplaced content view.
constexpr double FrameTolerance = 0.01;

}  // namespace

// ---- Background ----

StyledTableViewCellBackground::StyledTableViewCellBackground(const gfx::Rect& frame, int32_t behavior)
    : ui::View(frame), m_behavior(behavior) {
  setContentMode(ui::ContentMode::Redraw);
  setBackgroundColor(gfx::Color::clear());
}

StyledTableViewCellBackground::~StyledTableViewCellBackground() { m_cell = nullptr; }

gfx::Path StyledTableViewCellBackground::createRoundedPath(const gfx::Rect& rect) const {
  const float radius = m_cell ? m_cell->cornerRadius() : 0.0f;
  if (radius == 0) return gfx::Path::rect(rect);
  const int32_t position = m_cell->position();
  const unsigned corners = position >= StyledTableViewCellPositionAlone ? gfx::AllCorners : cornersForPosition(position, 0);
  return gfx::Path::roundedRect(rect, corners, gfx::Size{radius, radius});
}

std::optional<gfx::Gradient> StyledTableViewCellBackground::newGradientFromType(int type) const {
  if (!m_cell) return std::nullopt;
  if (type == 1) return m_cell->newSelectionGradient();
  return m_cell->newNormalGradient();
}

void StyledTableViewCellBackground::drawGradient(gfx::Context& ctx, const gfx::Rect& rect, int type) const {
  ctx.save();
  const auto gradient = newGradientFromType(type);
  ctx.clipToPath(createRoundedPath(rect), gfx::FillRule::NonZero);
  if (gradient) {
    ctx.drawLinearGradient(*gradient, gfx::Point{rect.midX(), rect.minY()}, gfx::Point{rect.midX(), rect.maxY()}, 0);
  }
  ctx.restore();
}

void StyledTableViewCellBackground::drawBackground(gfx::Context& ctx, const gfx::Rect& rect) const {
  if (!m_cell) return;
  if (m_behavior == StyledTableViewCellBackgroundBehaviorSelected &&
      m_cell->selectionStyle() != ui::TableViewCellSelectionStyle::None) {
    drawGradient(ctx, rect, 1);
    return;
  }
  if (m_cell->gradientStartColor() && m_cell->gradientEndColor()) {
    drawGradient(ctx, rect, 0);
    return;
  }
  const auto fill = m_cell->backgroundColor();
  if (!fill) return;
  ctx.save();
  ctx.setFillColor(*fill);
  ctx.fill(createRoundedPath(rect));
  ctx.restore();
}

void StyledTableViewCellBackground::drawLineSeparator(gfx::Context& ctx, const gfx::Rect& rect) const {
  if (!m_cell || !m_cell->showsCustomSeparator()) return;
  ctx.save();
  ctx.setStrokeColor(m_cell->customSeparatorColor());
  ctx.setLineWidth(1);
  ctx.beginPath();
  ctx.moveTo(gfx::Point{rect.minX(), rect.maxY()});
  ctx.lineTo(gfx::Point{rect.maxX(), rect.maxY()});
  ctx.strokePath();
  ctx.restore();
}

void StyledTableViewCellBackground::fixShadow(gfx::Context& ctx, const gfx::Rect& rect) const {
  if (!m_cell) return;
  const int32_t position = m_cell->position();
  if (position != StyledTableViewCellPositionMiddle && position != StyledTableViewCellPositionBottom) return;
  ctx.save();
  ctx.setStrokeColor(m_cell->borderColor());
  ctx.setLineWidth(5);
  ctx.setShadow(gfx::Size{0, -1}, 3, gfx::Color(0, 0, 0, m_cell->shadowOpacity()));
  ctx.beginPath();
  ctx.moveTo(gfx::Point{rect.minX(), rect.minY()});
  ctx.lineTo(gfx::Point{rect.maxX(), rect.minY()});
  ctx.strokePath();
  ctx.restore();
}

void StyledTableViewCellBackground::drawBorder(gfx::Context& ctx, const gfx::Rect& rect, bool shadow) const {
  if (!m_cell) return;
  const double s = shadow ? 0.5 : 0;
  const gfx::Rect inset(rect.x() + s, rect.y() + s, rect.width() - 2 * s, rect.height() - 2 * s);
  if (shadow) fixShadow(ctx, inset);
  ctx.save();
  ctx.beginPath();
  ctx.addPath(createRoundedPath(inset));
  if (shadow) ctx.setShadow(gfx::Size{0, 1}, 3, gfx::Color(0, 0, 0, m_cell->shadowOpacity()));
  ctx.setStrokeColor(m_cell->borderColor());
  ctx.setLineWidth(2 - s);
  ctx.strokePath();
  ctx.restore();
}

gfx::Rect StyledTableViewCellBackground::innerFrame(const gfx::Rect& r) const {
  const double m = m_cell ? m_cell->shadowMargin() : 0;
  switch (m_cell ? m_cell->position() : StyledTableViewCellPositionMiddle) {
    case StyledTableViewCellPositionTop: return gfx::Rect(r.x() + m, r.y() + m, r.width() - 2 * m, r.height() - m);
    case StyledTableViewCellPositionBottom: return gfx::Rect(r.x() + m, r.y(), r.width() - 2 * m, r.height() - m);
    case StyledTableViewCellPositionAlone:
      return gfx::Rect(r.x() + m, r.y() + m, r.width() - 2 * m, r.height() - 2 * m);
    default: return gfx::Rect(r.x() + m, r.y(), r.width() - 2 * m, r.height());
  }
}

void StyledTableViewCellBackground::drawRect(gfx::Context& ctx, const gfx::Rect& rect) {
  if (!m_cell) return;
  const gfx::Rect inner = innerFrame(rect);
  drawBorder(ctx, inner, m_cell->dropsShadow());
  drawBackground(ctx, inner);
  const int32_t position = m_cell->position();
  if (position == StyledTableViewCellPositionTop || position == StyledTableViewCellPositionMiddle) {
    drawLineSeparator(ctx, inner);
  }
}

// ---- Cell ----

StyledTableViewCell::StyledTableViewCell(ui::TableViewCellStyle style, const std::string& reuseIdentifier)
    : ui::TableViewCell(style, reuseIdentifier) {
  m_normalBackground =
      std::make_shared<StyledTableViewCellBackground>(frame(), StyledTableViewCellBackgroundBehaviorNormal);
  m_normalBackground->setCell(this);
  setBackgroundView(m_normalBackground);
  m_selectedBackground =
      std::make_shared<StyledTableViewCellBackground>(frame(), StyledTableViewCellBackgroundBehaviorSelected);
  m_selectedBackground->setCell(this);
  setSelectedBackgroundView(m_selectedBackground);
  initializeVars();
}

StyledTableViewCell::~StyledTableViewCell() {
  // The background views may outlive the cell in someone else's hands.
  m_normalBackground->setCell(nullptr);
  m_selectedBackground->setCell(nullptr);
}

void StyledTableViewCell::initializeVars() {
  m_position = StyledTableViewCellPositionMiddle;
  m_dropsShadow = true;
  m_borderColor = colorWithHex(0xBCBCBC);
  setTableViewBackgroundColor(gfx::Color::clear());
  m_customSeparatorColor = colorWithHex(0xCDCDCD);
  m_showsCustomSeparator = true;
  m_selectionStart = colorWithHex(0x0089F9);
  m_selectionEnd = colorWithHex(0x0054EA);
  m_cornerRadius = 10;
  m_shadowOpacity = 0.7f;
}

void StyledTableViewCell::prepareForTableView(ui::TableView& tableView, const ui::IndexPath& indexPath) {
  m_tableViewStyle = tableView.style();
  m_position = positionForTableView(tableView, indexPath);
  setNeedsLayout();
}

void StyledTableViewCell::prepareForReuse() {
  ui::TableViewCell::prepareForReuse();
  m_normalBackground->setNeedsDisplay();
  m_selectedBackground->setNeedsDisplay();
}

void StyledTableViewCell::layoutSubviews() {
  ui::TableViewCell::layoutSubviews();
  correctContentViewFrame();
}

void StyledTableViewCell::correctContentViewFrame() {
  // Setting the frame below lays the cell out again; the guard and the tolerance keep a frame
  // that cannot land exactly from being shrunk over and over.
  if (m_correcting) return;
  const auto& content = contentView();
  const gfx::Rect f = content->frame();
  const double m = shadowMargin();
  const double wanted =
      (m_position == StyledTableViewCellPositionTop || m_position == StyledTableViewCellPositionAlone) ? m + 2 : 2;
  const float delta = static_cast<float>(wanted - f.y());
  if (std::fabs(delta) < FrameTolerance) return;
  m_correcting = true;
  content->setFrame(gfx::Rect(f.x() + m, f.y() + delta, f.width() - 2 * m,
                              f.height() - 4 - neededHeightForPosition(m_position, m_tableViewStyle)));
  m_correcting = false;
}

void StyledTableViewCell::setTableViewBackgroundColor(const gfx::Color& color) {
  m_tableViewBackgroundColor = color;
  m_normalBackground->setBackgroundColor(color);
  m_selectedBackground->setBackgroundColor(color);
}

gfx::Rect StyledTableViewCell::innerFrame() const {
  const gfx::Rect bg = m_normalBackground->frame();
  const double m = shadowMargin();
  const double g = tableViewIsGrouped() ? 1 : 0;
  switch (m_position) {
    case StyledTableViewCellPositionTop: return gfx::Rect(bg.x() + m, bg.y() + m, bg.width() - 2 * m, bg.height() - m - g);
    case StyledTableViewCellPositionMiddle: return gfx::Rect(bg.x() + m, bg.y(), bg.width() - 2 * m, bg.height() - g);
    case StyledTableViewCellPositionBottom: return gfx::Rect(bg.x() + m, bg.y(), bg.width() - 2 * m, bg.height() - m);
    case StyledTableViewCellPositionAlone:
      return gfx::Rect(bg.x() + m, bg.y() + m, bg.width() - 2 * m, bg.height() - 2 * m);
    default: return gfx::Rect(bg.x() + m, bg.y(), bg.width() - 2 * m, bg.height());
  }
}

std::shared_ptr<gfx::Layer> StyledTableViewCell::mask() const {
  const gfx::Rect inner = innerFrame();
  const gfx::Rect box(0, 0, inner.width(), inner.height());
  const double r = cornerRadius();
  auto layer = gfx::Layer::create(gfx::LayerKind::Shape);
  layer->setFrame(box);
  layer->setPath(gfx::Path::roundedRect(box, cornersForPosition(m_position, 0), gfx::Size{r, r}));
  return layer;
}

std::optional<gfx::Color> StyledTableViewCell::backgroundColor() const {
  if (m_customBackgroundColor) return m_customBackgroundColor;
  return ui::View::backgroundColor();
}

gfx::Gradient StyledTableViewCell::newSelectionGradient() const {
  return StyledDrawing::twoColorGradient(m_selectionStart, m_selectionEnd);
}

std::optional<gfx::Gradient> StyledTableViewCell::newNormalGradient() const {
  if (!m_gradientStart || !m_gradientEnd) return std::nullopt;
  return StyledDrawing::twoColorGradient(*m_gradientStart, *m_gradientEnd);
}

int32_t StyledTableViewCell::positionForTableView(ui::TableView& tableView, const ui::IndexPath& indexPath) {
  auto* source = tableView.dataSource();
  const int rows = source ? source->numberOfRowsInSection(tableView, indexPath.section) : 0;
  if (rows == 1) return StyledTableViewCellPositionAlone;
  if (indexPath.row == 0) return StyledTableViewCellPositionTop;
  if (indexPath.row + 1 == rows) return StyledTableViewCellPositionBottom;
  return StyledTableViewCellPositionMiddle;
}

double StyledTableViewCell::neededHeightForPosition(int32_t position, ui::TableViewStyle tableStyle) {
  if (tableStyle != ui::TableViewStyle::Grouped) return 0;
  switch (position) {
    case StyledTableViewCellPositionTop: return 4;
    case StyledTableViewCellPositionBottom: return 4;
    case StyledTableViewCellPositionAlone: return 8;
    default: return 0;
  }
}

double StyledTableViewCell::neededHeightForIndexPath(ui::TableView& tableView, const ui::IndexPath& indexPath) {
  return neededHeightForPosition(positionForTableView(tableView, indexPath), tableView.style());
}

// ---- Plain-table edge shadows ----

StyledShadowPlainTableview::StyledShadowPlainTableview(const gfx::Rect& frame) : ui::View(frame) {
  setContentMode(ui::ContentMode::Redraw);
  setBackgroundColor(gfx::Color::clear());
}

std::shared_ptr<StyledShadowPlainTableview> StyledShadowPlainTableview::shadowForPosition(int32_t position) {
  auto view = std::make_shared<StyledShadowPlainTableview>(gfx::Rect(0, 0, 0, Height));
  view->m_position = position;
  return view;
}

void StyledShadowPlainTableview::setUpTableView(ui::TableView& tableView) {
  auto header = shadowForPosition(0);
  auto footer = shadowForPosition(1);
  const double top = header->frame().height(), bottom = footer->frame().height();
  tableView.setTableHeaderView(std::move(header));
  tableView.setTableFooterView(std::move(footer));
  tableView.setContentInset(gfx::EdgeInsets{-top, 0, -bottom, 0});
}

void StyledShadowPlainTableview::drawRect(gfx::Context& ctx, const gfx::Rect& rect) {
  ctx.save();
  ctx.setShadow(gfx::Size{0, 0}, 20, gfx::Color(0, 0, 0, 1));
  const float y = static_cast<float>(m_position == 0 ? rect.maxY() + 5 : rect.minY() - 5);
  ctx.setStrokeColor(gfx::Color::whiteColor());
  ctx.setLineWidth(5);
  ctx.beginPath();
  ctx.moveTo(gfx::Point{rect.minX(), y});
  ctx.lineTo(gfx::Point{rect.maxX(), y});
  ctx.strokePath();
  ctx.restore();
}

void dropShadows(ui::TableView& tableView) {
  if (tableView.style() == ui::TableViewStyle::Plain) StyledShadowPlainTableview::setUpTableView(tableView);
}

}  // namespace kt
