#include "widgets/controls/PBPopoverView.h"

#include <numbers>

#include "platform/gfx/Context.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Layer.h"
#include "platform/ui/Label.h"

namespace kt {

namespace {

gfx::Color grey(double level) { return gfx::Color::white(level); }
gfx::Color rgb(double r, double g, double b) { return gfx::Color::rgba(r, g, b); }

// Where the arrow's base starts along a side `length` long, aimed at `aim`, kept off the corners.
double arrowBaseStart(double aim, double length, double border) {
  double start = aim - 10;
  if (start < border + 10) {
    start = border + 10;
  } else if (start + 20 + 2 * border > length) {
    start = length - 20 - 2 * border;
  }
  return start;
}

}  // namespace

PBPopoverView::TintColors PBPopoverView::colorsForTint(int32_t tint, bool arrowUp) {
  switch (tint) {
    case PBPopoverTintLightGrey:
      return {arrowUp ? grey(0.8) : grey(0.6), arrowUp ? grey(0.3) : grey(0.1), grey(0.3)};
    case PBPopoverTintGreen:
      return {arrowUp ? rgb(0.35, 0.72, 0.17) : rgb(0.45, 0.82, 0.27), rgb(0.18, 0.3, 0.03), rgb(0.18, 0.3, 0.03)};
    case PBPopoverTintRed:
      return {arrowUp ? rgb(0.72, 0.35, 0.32) : rgb(0.82, 0.45, 0.42), rgb(0.36, 0.0, 0.09), rgb(0.36, 0.0, 0.09)};
    default:
      return {arrowUp ? grey(0.6) : grey(0.4), grey(0.1), grey(0.1)};
  }
}

std::shared_ptr<PBPopoverView> PBPopoverView::create(const gfx::Rect& frame) {
  return std::make_shared<PBPopoverView>(frame);
}

PBPopoverView::PBPopoverView(const gfx::Rect& frame) : ui::View(frame) {
  setBackgroundColor(gfx::Color::clear());
  setOpaque(false);
  setClipsToBounds(true);
  layer()->setShadowOpacity(0.7);
  layer()->setShadowRadius(5);
  layer()->setShadowOffset({-3, 3});
  setContentMode(ui::ContentMode::Redraw);

  m_titleLabel = ui::Label::create();
  m_titleLabel->setBackgroundColor(gfx::Color::clear());
  m_titleLabel->setTextColor(gfx::Color::whiteColor());
  m_titleLabel->setTextAlignment(gfx::TextAlignment::Center);
  m_titleLabel->setFont(gfx::Font::font("HelveticaNeue-Bold", 16));
  addSubview(m_titleLabel);
  setupViews();
}

PBPopoverView::~PBPopoverView() = default;

void PBPopoverView::addContentView(const std::shared_ptr<ui::View>& view) {
  if (view != m_contentView) {
    if (m_contentView) m_contentView->removeFromSuperview();
    m_contentView = view;
    if (m_contentView) addSubview(m_contentView);
  }
  setupViews();
}

void PBPopoverView::setupViews() {
  const gfx::Size size = bounds().size;
  const double w = size.width, h = size.height;
  std::optional<gfx::Rect> content, title;
  switch (m_arrowDirection) {
    case PBArrowDirectionUp:
      content = gfx::Rect(10, 60, w - 20, h - 70);
      title = gfx::Rect(10, 30, w - 20, 20);
      break;
    case PBArrowDirectionDown:
      content = gfx::Rect(10, 40, w - 20, h - 70);
      title = gfx::Rect(10, 10, w - 20, 20);
      break;
    case PBArrowDirectionLeft:
      content = gfx::Rect(30, 40, w - 40, h - 50);
      title = gfx::Rect(10, 10, w - 20, 20);
      break;
    case PBArrowDirectionRight:
      content = gfx::Rect(10, 40, w - 40, h - 50);
      title = gfx::Rect(10, 10, w - 20, 20);
      break;
    default:
      break;
  }
  if (content && m_contentView) m_contentView->setFrame(*content);
  if (title) m_titleLabel->setFrame(*title);
  m_titleLabel->setText(m_title.value_or(""));
}

void PBPopoverView::layoutSubviews() { setupViews(); }

void PBPopoverView::setBubbleFrame(const gfx::Rect& frame) {
  setFrame(frame);
  setupViews();
}

gfx::Path PBPopoverView::createContentPath(double b, int32_t arrow) const {
  const gfx::Size size = bounds().size;
  const double W = size.width, H = size.height;
  gfx::Rect body(b, b, W - 2 * b, H - 2 * b);
  switch (arrow) {
    case PBArrowDirectionUp: body = gfx::Rect(b, b + 20, W - 2 * b, H - 20 - 2 * b); break;
    case PBArrowDirectionDown: body = gfx::Rect(b, b, W - 2 * b, H - 20 - 2 * b); break;
    case PBArrowDirectionLeft: body = gfx::Rect(b + 20, b, W - 20 - 2 * b, H - 2 * b); break;
    case PBArrowDirectionRight: body = gfx::Rect(b, b, W - 20 - 2 * b, H - 2 * b); break;
    default: break;  // no arrow: a plain rounded rectangle
  }
  const double x = body.x(), y = body.y(), w = body.width(), h = body.height();
  const double ax = arrowBaseStart(m_relativeOrigin.x, W, b);
  const double ay = arrowBaseStart(m_relativeOrigin.y, H, b);
  constexpr double pi = std::numbers::pi;

  gfx::Path path;
  path.moveTo({x + 10, y});
  if (arrow == PBArrowDirectionUp) {
    path.lineTo({ax, b + 20});
    path.lineTo({ax + 10, b});
    path.lineTo({ax + 20, b + 20});
  }
  path.lineTo({x + w - 10, y});
  path.addArc({x + w - 10, y + 10}, CornerRadius, -pi / 2, 0, true);
  if (arrow == PBArrowDirectionRight) {
    path.lineTo({x + w, ay});
    path.lineTo({x + w + 20 + b, ay + 10});
    path.lineTo({x + w, ay + 20});
  }
  path.lineTo({x + w, y + h - 10});
  path.addArc({x + w - 10, y + h - 10}, CornerRadius, 0, pi / 2, true);
  if (arrow == PBArrowDirectionDown) {
    path.lineTo({ax + 20, y + h});
    path.lineTo({ax + 10, y + h + 20});
    path.lineTo({ax, y + h});
  }
  path.lineTo({x + 10, y + h});
  path.addArc({x + 10, y + h - 10}, CornerRadius, pi / 2, pi, true);
  if (arrow == PBArrowDirectionLeft) {
    path.lineTo({x, ay + 20});
    path.lineTo({x - 20 - b, ay + 10});
    path.lineTo({x, ay});
  }
  path.lineTo({x, y + 10});
  path.addArc({x + 10, y + 10}, CornerRadius, pi, 3 * pi / 2, true);
  path.close();
  return path;
}

std::optional<gfx::Gradient> PBPopoverView::createGradient() const {
  const TintColors colors = colorsForTint(m_tint, m_arrowDirection == PBArrowDirectionUp);
  return gfx::Gradient::withColors({colors.headTop, colors.headBottom});
}

void PBPopoverView::drawRect(gfx::Context& ctx, const gfx::Rect& rect) {
  ui::View::drawRect(ctx, rect);
  const gfx::Size size = bounds().size;
  const double W = size.width, H = size.height;
  const bool up = m_arrowDirection == PBArrowDirectionUp;
  const double band = up ? 40 : 20;

  ctx.save();
  ctx.clipToPath(createContentPath(2, m_arrowDirection), gfx::FillRule::NonZero);
  if (auto gradient = createGradient()) ctx.drawLinearGradient(*gradient, {W / 2, 0}, {W / 2, band}, 0);
  ctx.setFillColor(colorsForTint(m_tint, up).body);
  ctx.fillRect({0, band, W, H - band});

  ctx.setLineWidth(1);
  ctx.setLineCap(gfx::LineCap::Round);
  ctx.setLineJoin(gfx::LineJoin::Round);
  ctx.setStrokeColor(grey(0.7));
  ctx.stroke(createContentPath(2, m_arrowDirection));
  ctx.setStrokeColor(grey(0.4));
  ctx.stroke(createContentPath(1, m_arrowDirection));

  if (m_contentView) {
    const gfx::Rect frame = m_contentView->frame();
    ctx.setStrokeColor(grey(0.7));
    ctx.strokeRect(frame);
    ctx.setStrokeColor(grey(0.4));
    ctx.strokeRect(frame.insetBy(-1, -1));
  }
  ctx.restore();
}

}  // namespace kt
