#include "platform/ui/Button.h"

#include <algorithm>
#include <cmath>

#include "platform/gfx/Context.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Image.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"

namespace ui {
namespace {

// The image with a colour laid over its opaque parts (darker when highlighted, lighter when
// disabled).
std::shared_ptr<const gfx::Image> overlaid(const std::shared_ptr<const gfx::Image>& image, const gfx::Color& overlay) {
  if (!image) return image;
  gfx::Size s = image->size();
  auto ctx = gfx::Context::bitmap(s, image->scale());
  if (!ctx) return image;
  gfx::Rect r(0, 0, s.width, s.height);
  ctx->drawImage(*image, r);
  ctx->setBlendMode(gfx::BlendMode::SourceAtop);
  ctx->setFillColor(overlay);
  ctx->fillRect(r);
  return ctx->makeImage();
}

const gfx::Color HighlightOverlay(0, 0, 0, 0.3);
const gfx::Color DisabledOverlay(1, 1, 1, 0.4);

}  // namespace

Button::Button(ButtonType type, const gfx::Rect& frame) : Control(frame), m_type(type) {
  m_imageView = std::make_shared<ImageView>();
  m_titleLabel = std::make_shared<Label>();
  m_titleLabel->setFont(gfx::Font::systemFont(15));
  m_titleLabel->setTextAlignment(gfx::TextAlignment::Center);
  m_titleLabel->setLineBreakMode(gfx::LineBreakMode::TruncateMiddle);
  m_titleLabel->setShadowOffset(gfx::Size{0, 0});
  addSubview(m_imageView);
  addSubview(m_titleLabel);
  updateContent();
}

template <class T>
std::optional<T> Button::lookup(const std::map<unsigned, T>& values, unsigned state) {
  auto it = values.find(state);
  if (it == values.end()) it = values.find(ControlStateNormal);
  if (it == values.end()) return std::nullopt;
  return it->second;
}

void Button::setTitle(std::optional<std::string> title, unsigned state) {
  if (title) {
    m_titles[state] = *title;
  } else {
    m_titles.erase(state);
  }
  updateContent();
}

std::optional<std::string> Button::titleForState(unsigned state) const { return lookup(m_titles, state); }

void Button::setTitleColor(std::optional<gfx::Color> color, unsigned state) {
  if (color) {
    m_titleColors[state] = *color;
  } else {
    m_titleColors.erase(state);
  }
  updateContent();
}

gfx::Color Button::titleColorForState(unsigned state) const {
  if (auto c = lookup(m_titleColors, state)) return *c;
  if (m_type == ButtonType::System) {
    if (state & ControlStateDisabled) return gfx::Color(0.56, 0.56, 0.56, 1);
    gfx::Color tint = tintColor();
    return (state & ControlStateHighlighted) ? tint.withAlpha(0.2) : tint;
  }
  return gfx::Color::whiteColor();
}

void Button::setTitleShadowColor(std::optional<gfx::Color> color, unsigned state) {
  if (color) {
    m_titleShadowColors[state] = *color;
  } else {
    m_titleShadowColors.erase(state);
  }
  updateContent();
}

std::optional<gfx::Color> Button::titleShadowColorForState(unsigned state) const {
  return lookup(m_titleShadowColors, state);
}

void Button::setImage(ImagePtr image, unsigned state) {
  if (image) {
    m_images[state] = std::move(image);
  } else {
    m_images.erase(state);
  }
  updateContent();
}

Button::ImagePtr Button::imageForState(unsigned state) const { return lookup(m_images, state).value_or(nullptr); }

void Button::setBackgroundImage(ImagePtr image, unsigned state) {
  if (image) {
    m_backgroundImages[state] = std::move(image);
  } else {
    m_backgroundImages.erase(state);
  }
  updateContent();
}

Button::ImagePtr Button::backgroundImageForState(unsigned state) const {
  return lookup(m_backgroundImages, state).value_or(nullptr);
}

void Button::setContentEdgeInsets(gfx::EdgeInsets insets) {
  m_contentInsets = insets;
  setNeedsLayout();
}

void Button::setTitleEdgeInsets(gfx::EdgeInsets insets) {
  m_titleInsets = insets;
  setNeedsLayout();
}

void Button::setImageEdgeInsets(gfx::EdgeInsets insets) {
  m_imageInsets = insets;
  setNeedsLayout();
}

void Button::setAdjustsImageWhenHighlighted(bool on) {
  m_adjustsWhenHighlighted = on;
  updateContent();
}

void Button::setAdjustsImageWhenDisabled(bool on) {
  m_adjustsWhenDisabled = on;
  updateContent();
}

void Button::setShowsTouchWhenHighlighted(bool on) {
  m_showsTouch = on;
  setNeedsDisplay();
}

void Button::stateChanged() { updateContent(); }

void Button::didMoveToWindow() {
  if (m_type == ButtonType::System) updateContent();
}

void Button::updateContent() {
  unsigned s = state();
  m_titleLabel->setText(currentTitle().value_or(""));
  m_titleLabel->setTextColor(currentTitleColor());
  m_titleLabel->setShadowColor(currentTitleShadowColor());
  ImagePtr image = currentImage();
  if (image && (s & ControlStateHighlighted) && m_adjustsWhenHighlighted && !m_images.count(s)) {
    image = overlaid(image, HighlightOverlay);
  } else if (image && (s & ControlStateDisabled) && m_adjustsWhenDisabled && !m_images.count(s)) {
    image = overlaid(image, DisabledOverlay);
  }
  m_imageView->setImage(image);
  setNeedsLayout();
  setNeedsDisplay();
}

gfx::Size Button::titleSize() const {
  if (m_titleLabel->text().empty()) return {0, 0};
  return m_titleLabel->sizeThatFits(gfx::Size{0, 0});
}

void Button::placeContent(const gfx::Rect& content, gfx::Rect* imageRect, gfx::Rect* titleRect) const {
  gfx::Size is = m_imageView->image() ? m_imageView->image()->size() : gfx::Size{};
  gfx::Size ts = titleSize();
  ContentHorizontalAlignment h = contentHorizontalAlignment();
  ContentVerticalAlignment v = contentVerticalAlignment();
  double available = std::max(0.0, content.width() - is.width);
  ts.width = std::min(ts.width, available);
  double total = is.width + ts.width;
  double x = content.x();
  switch (h) {
    case ContentHorizontalAlignment::Center: x = content.x() + (content.width() - total) / 2; break;
    case ContentHorizontalAlignment::Right: x = content.maxX() - total; break;
    case ContentHorizontalAlignment::Left:
    case ContentHorizontalAlignment::Fill: break;
  }
  auto place = [&](double height) -> std::pair<double, double> {  // y, height
    switch (v) {
      case ContentVerticalAlignment::Top: return {content.y(), height};
      case ContentVerticalAlignment::Bottom: return {content.maxY() - height, height};
      case ContentVerticalAlignment::Fill: return {content.y(), content.height()};
      case ContentVerticalAlignment::Center: break;
    }
    return {content.y() + (content.height() - height) / 2, height};
  };
  auto [iy, ih] = place(is.height);
  auto [ty, th] = place(ts.height);
  double titleWidth = h == ContentHorizontalAlignment::Fill ? available : ts.width;
  if (imageRect) *imageRect = gfx::Rect(x, iy, is.width, ih).insetBy(m_imageInsets);
  if (titleRect) *titleRect = gfx::Rect(x + is.width, ty, titleWidth, th).insetBy(m_titleInsets);
}

gfx::Rect Button::titleRectForContentRect(const gfx::Rect& content) const {
  gfx::Rect r;
  placeContent(content, nullptr, &r);
  return r;
}

gfx::Rect Button::imageRectForContentRect(const gfx::Rect& content) const {
  gfx::Rect r;
  placeContent(content, &r, nullptr);
  return r;
}

void Button::layoutSubviews() {
  gfx::Rect content = contentRectForBounds(bounds());
  gfx::Rect imageRect, titleRect;
  placeContent(content, &imageRect, &titleRect);
  m_imageView->setFrame(imageRect);
  m_titleLabel->setFrame(titleRect);
}

gfx::Size Button::sizeThatFits(gfx::Size) const {
  gfx::Size is = m_imageView->image() ? m_imageView->image()->size() : gfx::Size{};
  gfx::Size ts = titleSize();
  double w = is.width + ts.width + m_contentInsets.left + m_contentInsets.right;
  double h = std::max(is.height, ts.height) + m_contentInsets.top + m_contentInsets.bottom;
  if (ImagePtr bg = currentBackgroundImage()) {
    w = std::max(w, bg->size().width);
    h = std::max(h, bg->size().height);
  }
  return {std::ceil(w), std::ceil(h)};
}

void Button::drawRect(gfx::Context& ctx, const gfx::Rect& rect) {
  unsigned s = state();
  if (ImagePtr bg = currentBackgroundImage()) {
    gfx::Rect r = backgroundRectForBounds(rect);
    ctx.drawImage(*bg, r);
    bool explicitImage = m_backgroundImages.count(s) > 0;
    std::optional<gfx::Color> overlay;
    if ((s & ControlStateHighlighted) && m_adjustsWhenHighlighted && !explicitImage) overlay = HighlightOverlay;
    else if ((s & ControlStateDisabled) && m_adjustsWhenDisabled && !explicitImage) overlay = DisabledOverlay;
    if (overlay) {
      ctx.save();
      ctx.setBlendMode(gfx::BlendMode::SourceAtop);
      ctx.setFillColor(*overlay);
      ctx.fillRect(r);
      ctx.restore();
    }
  }
  if (m_showsTouch && (s & ControlStateHighlighted)) {
    // A soft white glow at the centre.
    gfx::Point c = rect.center();
    ctx.save();
    ctx.setFillColor(gfx::Color(1, 1, 1, 0.6));
    ctx.fillEllipse(gfx::Rect(c.x - 15, c.y - 15, 30, 30));
    ctx.restore();
  }
}

}  // namespace ui
