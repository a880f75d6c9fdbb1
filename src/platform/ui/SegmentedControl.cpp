#include "platform/ui/SegmentedControl.h"

#include <algorithm>
#include <cmath>

#include "platform/gfx/Context.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/Path.h"
#include "platform/gfx/TextLayout.h"
#include "platform/ui/Touch.h"

namespace ui {
namespace {
gfx::TextStyle styleWithFont(const std::shared_ptr<const gfx::Font>& font) {
  gfx::TextStyle s;
  s.font = font;
  return s;
}
}  // namespace

std::shared_ptr<SegmentedControl> SegmentedControl::withTitles(const std::vector<std::string>& titles) {
  std::vector<Item> items;
  for (const auto& t : titles) items.push_back(Item{t, nullptr});
  return std::make_shared<SegmentedControl>(std::move(items));
}

SegmentedControl::SegmentedControl(std::vector<Item> items) : m_font(gfx::Font::systemFont(13)) {
  for (auto& item : items) m_segments.push_back(Segment{std::move(item), true, 0});
  gfx::Size s = sizeThatFits({});
  setFrame(gfx::Rect(0, 0, s.width, s.height));
}

void SegmentedControl::insert(Item item, int index) {
  int i = std::clamp(index, 0, numberOfSegments());
  m_segments.insert(m_segments.begin() + i, Segment{std::move(item), true, 0});
  if (m_selected >= i) ++m_selected;
  setNeedsDisplay();
}

void SegmentedControl::insertSegment(const std::string& title, int index, bool) { insert(Item{title, nullptr}, index); }

void SegmentedControl::insertSegment(ImagePtr image, int index, bool) { insert(Item{std::nullopt, std::move(image)}, index); }

void SegmentedControl::removeSegment(int index, bool) {
  if (!valid(index)) return;
  m_segments.erase(m_segments.begin() + index);
  if (m_selected == index) {
    m_selected = NoSegment;
  } else if (m_selected > index) {
    --m_selected;
  }
  setNeedsDisplay();
}

void SegmentedControl::removeAllSegments() {
  m_segments.clear();
  m_selected = NoSegment;
  setNeedsDisplay();
}

void SegmentedControl::setTitle(std::optional<std::string> title, int segment) {
  if (!valid(segment)) return;
  m_segments[size_t(segment)].item.title = std::move(title);
  m_segments[size_t(segment)].item.image.reset();
  setNeedsDisplay();
}

std::optional<std::string> SegmentedControl::titleForSegment(int segment) const {
  return valid(segment) ? m_segments[size_t(segment)].item.title : std::nullopt;
}

void SegmentedControl::setImage(ImagePtr image, int segment) {
  if (!valid(segment)) return;
  m_segments[size_t(segment)].item.image = std::move(image);
  m_segments[size_t(segment)].item.title.reset();
  setNeedsDisplay();
}

SegmentedControl::ImagePtr SegmentedControl::imageForSegment(int segment) const {
  return valid(segment) ? m_segments[size_t(segment)].item.image : nullptr;
}

void SegmentedControl::setEnabled(bool enabled, int segment) {
  if (!valid(segment)) return;
  m_segments[size_t(segment)].enabled = enabled;
  setNeedsDisplay();
}

bool SegmentedControl::isEnabledForSegment(int segment) const {
  return valid(segment) && m_segments[size_t(segment)].enabled;
}

void SegmentedControl::setWidth(double width, int segment) {
  if (!valid(segment)) return;
  m_segments[size_t(segment)].width = std::max(0.0, width);
  setNeedsDisplay();
}

double SegmentedControl::widthForSegment(int segment) const {
  return valid(segment) ? m_segments[size_t(segment)].width : 0;
}

void SegmentedControl::setSelectedSegmentIndex(int index) {
  int i = valid(index) ? index : NoSegment;
  if (i == m_selected) return;
  m_selected = i;
  setNeedsDisplay();
}

gfx::Rect SegmentedControl::segmentRect(int segment) const {
  if (!valid(segment)) return gfx::Rect::null();
  gfx::Rect b = bounds();
  double fixed = 0;
  int automatic = 0;
  for (const auto& s : m_segments) {
    if (s.width > 0) {
      fixed += s.width;
    } else {
      ++automatic;
    }
  }
  double share = automatic > 0 ? std::max(0.0, b.width() - fixed) / automatic : 0;
  double x = b.x();
  for (int i = 0; i < segment; ++i) {
    const auto& s = m_segments[size_t(i)];
    x += s.width > 0 ? s.width : share;
  }
  const auto& s = m_segments[size_t(segment)];
  return gfx::Rect(x, b.y(), s.width > 0 ? s.width : share, b.height());
}

int SegmentedControl::segmentAt(gfx::Point p) const {
  for (int i = 0; i < numberOfSegments(); ++i) {
    if (segmentRect(i).contains(p)) return i;
  }
  return NoSegment;
}

gfx::Size SegmentedControl::sizeThatFits(gfx::Size) const {
  // Each segment as wide as the widest content plus margins, all alike.
  double widest = 0;
  for (const auto& s : m_segments) {
    double w = 0;
    if (s.item.title) w = gfx::TextLayout(*s.item.title, styleWithFont(m_font)).size().width;
    if (s.item.image) w = s.item.image->size().width;
    widest = std::max(widest, s.width > 0 ? s.width - 16 : w);
  }
  return {std::ceil((widest + 16) * numberOfSegments()), DefaultHeight};
}

void SegmentedControl::drawRect(gfx::Context& ctx, const gfx::Rect& rect) {
  gfx::Color tint = tintColor();
  if (!isEnabled()) tint = tint.withAlpha(tint.a() * 0.4);
  gfx::Rect outline = rect.insetBy(0.5, 0.5);
  gfx::Path shape = gfx::Path::roundedRect(outline, 4);
  int shown = m_momentary ? NoSegment : m_selected;
  ctx.save();
  ctx.clipToPath(shape, gfx::FillRule::NonZero);
  for (int i = 0; i < numberOfSegments(); ++i) {
    gfx::Rect r = segmentRect(i);
    const Segment& seg = m_segments[size_t(i)];
    bool selected = i == shown;
    bool pressed = i == m_pressed && isHighlighted();
    if (selected || pressed) {
      ctx.setFillColor(selected ? tint : tint.withAlpha(tint.a() * 0.15));
      ctx.fillRect(r);
    }
    gfx::Color content = selected ? gfx::Color::whiteColor() : tint;
    if (!seg.enabled) content = content.withAlpha(content.a() * 0.4);
    if (seg.item.title) {
      gfx::TextStyle style = styleWithFont(m_font);
      style.color = content;
      style.alignment = gfx::TextAlignment::Center;
      style.maxLines = 1;
      style.lineBreak = gfx::LineBreakMode::TruncateTail;
      gfx::TextLayout layout(*seg.item.title, style);
      gfx::Rect inner = r.insetBy(4, 0);
      double h = layout.sizeConstrained(inner.size).height;
      layout.draw(ctx, gfx::Rect(inner.x(), r.midY() - h / 2, inner.width(), h));
    } else if (seg.item.image) {
      gfx::Size s = seg.item.image->size();
      ctx.save();
      if (!seg.enabled) ctx.setAlpha(0.4);
      ctx.drawImage(*seg.item.image, gfx::Rect(r.midX() - s.width / 2, r.midY() - s.height / 2, s.width, s.height));
      ctx.restore();
    }
    if (i > 0) {
      ctx.setStrokeColor(tint);
      ctx.setLineWidth(1);
      ctx.beginPath();
      ctx.moveTo({std::round(r.x()) + 0.5, r.y()});
      ctx.lineTo({std::round(r.x()) + 0.5, r.maxY()});
      ctx.strokePath();
    }
  }
  ctx.restore();
  ctx.save();
  ctx.setStrokeColor(tint);
  ctx.setLineWidth(1);
  ctx.stroke(shape);
  ctx.restore();
}

bool SegmentedControl::beginTracking(const Touch& touch, const Event*) {
  int s = segmentAt(touch.locationInView(this));
  if (!valid(s) || !m_segments[size_t(s)].enabled) {
    m_pressed = NoSegment;
    return false;
  }
  m_pressed = s;
  setNeedsDisplay();
  return true;
}

bool SegmentedControl::continueTracking(const Touch& touch, const Event*) {
  int s = segmentAt(touch.locationInView(this));
  bool over = s == m_pressed;
  if (over != isHighlighted()) setNeedsDisplay();
  return true;
}

void SegmentedControl::endTracking(const Touch* touch, const Event* event) {
  int pressed = m_pressed;
  m_pressed = NoSegment;
  setNeedsDisplay();
  if (!touch || !valid(pressed) || segmentAt(touch->locationInView(this)) != pressed) return;
  if (pressed == m_selected && !m_momentary) return;
  m_selected = pressed;
  sendActionsForControlEvents(ControlEventValueChanged, event);
}

void SegmentedControl::cancelTracking(const Event*) {
  m_pressed = NoSegment;
  setNeedsDisplay();
}

}  // namespace ui
