#include "platform/ui/TextField.h"

#include <pango/pango.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/core/NotificationCenter.h"
#include "platform/core/TextEncoding.h"
#include "platform/gfx/Context.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/Path.h"
#include "platform/ui/Keyboard.h"
#include "platform/ui/Touch.h"

namespace ui {
namespace {

constexpr double ClearButtonSize = 19;
constexpr double ClearButtonMargin = 6;
// The clear button takes taps a little outside its circle.
constexpr double ClearButtonSlop = 6;
constexpr double CaretWidth = 2;
const char* const Bullet = "\xE2\x80\xA2";  // U+2022
// Secure entry draws a round dot per character, sized from the font's point size rather than
// from the font's own bullet glyph (a wide glyph in the system face): the dot's diameter and the
// room each character takes, as parts of the point size.
constexpr double MaskDotDiameter = 0.35;
constexpr double MaskDotAdvance = 0.6;

// Horizontal room between the border and the text.
double horizontalPadding(TextBorderStyle style) {
  switch (style) {
    case TextBorderStyle::None: return 0;
    case TextBorderStyle::Line:
    case TextBorderStyle::Bezel: return 3;
    case TextBorderStyle::RoundedRect: return 7;
  }
  return 0;
}

// Byte offsets where the user-perceived characters (grapheme clusters) of valid UTF-8 text begin,
// followed by the text's length.
std::vector<size_t> characterStarts(const std::string& text) {
  std::vector<size_t> starts;
  if (text.empty()) return {0};
  if (!core::isValidUtf8(text)) {
    // Not text we can segment: every code point start (or stray byte) counts.
    for (size_t i = 0; i < text.size(); ++i) {
      if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) starts.push_back(i);
    }
    if (starts.empty() || starts.front() != 0) starts.insert(starts.begin(), 0);
    starts.push_back(text.size());
    return starts;
  }
  glong chars = g_utf8_strlen(text.data(), static_cast<gssize>(text.size()));
  std::vector<PangoLogAttr> attrs(static_cast<size_t>(chars) + 1);
  pango_get_log_attrs(text.data(), static_cast<int>(text.size()), -1, pango_language_get_default(), attrs.data(),
                      static_cast<int>(attrs.size()));
  const char* p = text.data();
  for (glong i = 0; i < chars; ++i) {
    if (i == 0 || attrs[static_cast<size_t>(i)].is_cursor_position) starts.push_back(static_cast<size_t>(p - text.data()));
    p = g_utf8_next_char(p);
  }
  starts.push_back(text.size());
  return starts;
}

}  // namespace

TextField::TextField(const gfx::Rect& frame)
    : Control(frame), m_font(gfx::Font::systemFont(gfx::Font::labelFontSize())) {
  setContentVerticalAlignment(ContentVerticalAlignment::Center);
}

TextField::~TextField() { Keyboard::shared().inputDestroyed(this); }

// ---------------------------------------------------------------------------------------------
// Properties

void TextField::setText(const std::string& text) {
  if (m_text == text) return;
  m_text = text;
  textChanged();
}

void TextField::setPlaceholder(const std::string& placeholder) {
  m_placeholder = placeholder;
  setNeedsDisplay();
}

gfx::Color TextField::placeholderColor() const { return m_placeholderColor.value_or(gfx::Color::white(0.7)); }

void TextField::setPlaceholderColor(std::optional<gfx::Color> color) {
  m_placeholderColor = color;
  setNeedsDisplay();
}

void TextField::setAttributedPlaceholder(const std::string& placeholder, std::optional<gfx::Color> color) {
  m_placeholder = placeholder;
  m_placeholderColor = color;
  setNeedsDisplay();
}

void TextField::setFont(std::shared_ptr<const gfx::Font> font) {
  m_font = font ? std::move(font) : gfx::Font::systemFont(gfx::Font::labelFontSize());
  setNeedsDisplay();
}

void TextField::setTextColor(const gfx::Color& color) {
  m_textColor = color;
  setNeedsDisplay();
}

void TextField::setTextAlignment(gfx::TextAlignment alignment) {
  m_alignment = alignment;
  setNeedsDisplay();
}

void TextField::setBorderStyle(TextBorderStyle style) {
  m_borderStyle = style;
  setNeedsLayout();
  setNeedsDisplay();
}

void TextField::setBackground(std::shared_ptr<const gfx::Image> image) {
  m_background = std::move(image);
  setNeedsDisplay();
}

void TextField::setDisabledBackground(std::shared_ptr<const gfx::Image> image) {
  m_disabledBackground = std::move(image);
  setNeedsDisplay();
}

void TextField::setSecureTextEntry(bool secure) {
  m_secure = secure;
  setNeedsDisplay();
}

void TextField::setClearButtonMode(TextFieldViewMode mode) {
  m_clearButtonMode = mode;
  setNeedsLayout();
  setNeedsDisplay();
}

bool TextField::isModeShowing(TextFieldViewMode mode) const {
  switch (mode) {
    case TextFieldViewMode::Never: return false;
    case TextFieldViewMode::WhileEditing: return m_editing;
    case TextFieldViewMode::UnlessEditing: return !m_editing;
    case TextFieldViewMode::Always: return true;
  }
  return false;
}

bool TextField::isClearButtonVisible() const { return !m_text.empty() && isModeShowing(m_clearButtonMode); }

void TextField::setLeftView(std::shared_ptr<View> view) {
  if (m_leftView == view) return;
  if (m_leftView && m_leftView->superview() == this) m_leftView->removeFromSuperview();
  m_leftView = std::move(view);
  if (m_leftView) addSubview(m_leftView);
  setNeedsLayout();
  setNeedsDisplay();
}

void TextField::setLeftViewMode(TextFieldViewMode mode) {
  m_leftViewMode = mode;
  setNeedsLayout();
  setNeedsDisplay();
}

void TextField::setRightView(std::shared_ptr<View> view) {
  if (m_rightView == view) return;
  if (m_rightView && m_rightView->superview() == this) m_rightView->removeFromSuperview();
  m_rightView = std::move(view);
  if (m_rightView) addSubview(m_rightView);
  setNeedsLayout();
  setNeedsDisplay();
}

void TextField::setRightViewMode(TextFieldViewMode mode) {
  m_rightViewMode = mode;
  setNeedsLayout();
  setNeedsDisplay();
}

size_t TextField::maskedCount() const { return m_text.empty() ? 0 : characterStarts(m_text).size() - 1; }

double TextField::maskAdvance() const { return m_font->pointSize() * MaskDotAdvance; }

std::string TextField::displayedText() const {
  if (!m_secure) return m_text;
  size_t count = maskedCount();
  std::string bullets;
  bullets.reserve(count * 3);
  for (size_t i = 0; i < count; ++i) bullets += Bullet;
  return bullets;
}

// ---------------------------------------------------------------------------------------------
// Geometry

gfx::Rect TextField::borderRectForBounds(const gfx::Rect& bounds) const { return bounds; }

gfx::Rect TextField::leftViewRectForBounds(const gfx::Rect& bounds) const {
  if (!m_leftView) return gfx::Rect();
  gfx::Size s = m_leftView->frame().size;
  return gfx::Rect(bounds.x(), bounds.midY() - s.height / 2, s.width, s.height);
}

gfx::Rect TextField::rightViewRectForBounds(const gfx::Rect& bounds) const {
  if (!m_rightView) return gfx::Rect();
  gfx::Size s = m_rightView->frame().size;
  return gfx::Rect(bounds.maxX() - s.width, bounds.midY() - s.height / 2, s.width, s.height);
}

gfx::Rect TextField::clearButtonRectForBounds(const gfx::Rect& bounds) const {
  double right = bounds.maxX() - ClearButtonMargin;
  if (m_rightView && isModeShowing(m_rightViewMode)) right = rightViewRectForBounds(bounds).minX() - ClearButtonMargin;
  return gfx::Rect(right - ClearButtonSize, bounds.midY() - ClearButtonSize / 2, ClearButtonSize, ClearButtonSize);
}

gfx::Rect TextField::textRectForBounds(const gfx::Rect& bounds) const {
  double pad = horizontalPadding(m_borderStyle);
  double left = bounds.minX() + pad;
  double right = bounds.maxX() - pad;
  if (m_leftView && isModeShowing(m_leftViewMode)) left = std::max(left, leftViewRectForBounds(bounds).maxX());
  if (m_rightView && isModeShowing(m_rightViewMode)) right = std::min(right, rightViewRectForBounds(bounds).minX());
  if (isClearButtonVisible()) right = std::min(right, clearButtonRectForBounds(bounds).minX() - ClearButtonMargin / 2);
  return gfx::Rect(left, bounds.minY(), std::max(0.0, right - left), bounds.height());
}

gfx::Rect TextField::placeholderRectForBounds(const gfx::Rect& bounds) const { return textRectForBounds(bounds); }

gfx::Rect TextField::editingRectForBounds(const gfx::Rect& bounds) const { return textRectForBounds(bounds); }

gfx::Size TextField::sizeThatFits(gfx::Size) const {
  double vertical = m_borderStyle == TextBorderStyle::None ? 0 : 4;
  if (m_borderStyle == TextBorderStyle::RoundedRect) vertical = 7;
  double textWidth = 0;
  if (m_secure) {
    textWidth = static_cast<double>(maskedCount()) * maskAdvance();
  } else {
    textWidth = gfx::TextLayout(m_text, textStyle(m_textColor)).size().width;
  }
  double width = textWidth + 2 * horizontalPadding(m_borderStyle) + CaretWidth;
  return {std::ceil(width), std::ceil(m_font->lineHeight() + 2 * vertical)};
}

void TextField::layoutSubviews() {
  gfx::Rect b = bounds();
  if (m_leftView) {
    m_leftView->setHidden(!isModeShowing(m_leftViewMode));
    m_leftView->setFrame(leftViewRectForBounds(b));
  }
  if (m_rightView) {
    m_rightView->setHidden(!isModeShowing(m_rightViewMode));
    m_rightView->setFrame(rightViewRectForBounds(b));
  }
}

// ---------------------------------------------------------------------------------------------
// Drawing

gfx::TextStyle TextField::textStyle(const gfx::Color& color) const {
  gfx::TextStyle s;
  s.font = m_font;
  s.color = color;
  s.alignment = gfx::TextAlignment::Left;
  s.lineBreak = gfx::LineBreakMode::Clip;
  s.maxLines = 1;
  return s;
}

void TextField::drawRect(gfx::Context& ctx, const gfx::Rect&) {
  gfx::Rect b = bounds();
  gfx::Rect border = borderRectForBounds(b);
  const auto& background = (!isEnabled() && m_disabledBackground) ? m_disabledBackground : m_background;
  if (background) {
    ctx.drawImage(*background, border);
  } else {
    switch (m_borderStyle) {
      case TextBorderStyle::None: break;
      case TextBorderStyle::Line:
        ctx.setStrokeColor(gfx::Color::black());
        ctx.setLineWidth(1);
        ctx.strokeRect(border.insetBy(0.5, 0.5));
        break;
      case TextBorderStyle::Bezel:
        ctx.setStrokeColor(gfx::Color::white(0.6));
        ctx.setLineWidth(1);
        ctx.strokeRect(border.insetBy(0.5, 0.5));
        ctx.setStrokeColor(gfx::Color::white(0.35));
        ctx.beginPath();
        ctx.moveTo({border.minX(), border.minY() + 1});
        ctx.lineTo({border.maxX(), border.minY() + 1});
        ctx.strokePath();
        break;
      case TextBorderStyle::RoundedRect: {
        gfx::Path path = gfx::Path::roundedRect(border.insetBy(0.5, 0.5), 5);
        ctx.setFillColor(gfx::Color::whiteColor());
        ctx.fill(path);
        ctx.setStrokeColor(gfx::Color::white(0.8));
        ctx.setLineWidth(1);
        ctx.stroke(path);
        break;
      }
    }
  }

  if (isClearButtonVisible()) {
    gfx::Rect r = clearButtonRectForBounds(b);
    ctx.setFillColor(gfx::Color::white(0.7));
    ctx.fillEllipse(r);
    ctx.setStrokeColor(gfx::Color::whiteColor());
    ctx.setLineWidth(1.5);
    gfx::Rect x = r.insetBy(6, 6);
    ctx.beginPath();
    ctx.moveTo({x.minX(), x.minY()});
    ctx.lineTo({x.maxX(), x.maxY()});
    ctx.moveTo({x.maxX(), x.minY()});
    ctx.lineTo({x.minX(), x.maxY()});
    ctx.strokePath();
  }

  if (m_text.empty()) {
    if (!m_placeholder.empty()) drawPlaceholderInRect(ctx, placeholderRectForBounds(b));
    if (m_editing) drawTextInRect(ctx, editingRectForBounds(b));
  } else {
    drawTextInRect(ctx, m_editing ? editingRectForBounds(b) : textRectForBounds(b));
  }
}

// Across the rectangle, and up and down as far as the font's line centred on it.
gfx::Rect TextField::lineClip(const gfx::Rect& rect) const {
  double top = std::min(rect.minY(), rect.midY() - m_font->lineHeight() / 2);
  double bottom = std::max(rect.maxY(), rect.midY() + m_font->lineHeight() / 2);
  return gfx::Rect(rect.x(), top, rect.width(), bottom - top);
}

gfx::EdgeInsets TextField::drawingInsetsForLayer(gfx::Layer&) {
  if (clipsToBounds()) return {};
  gfx::Rect b = bounds();
  gfx::Rect line = lineClip(m_editing ? editingRectForBounds(b) : textRectForBounds(b))
                       .unionWith(lineClip(placeholderRectForBounds(b)));
  return gfx::EdgeInsets{std::min(0.0, line.minY() - b.minY()), 0, std::min(0.0, b.maxY() - line.maxY()), 0};
}

void TextField::drawPlaceholderInRect(gfx::Context& ctx, const gfx::Rect& rect) {
  gfx::TextLayout layout(m_placeholder, textStyle(placeholderColor()));
  gfx::Size size = layout.size();
  double x = rect.x();
  if (m_alignment == gfx::TextAlignment::Center) x = rect.midX() - size.width / 2;
  else if (m_alignment == gfx::TextAlignment::Right) x = rect.maxX() - size.width;
  x = std::max(x, rect.x());
  ctx.save();
  ctx.clipToRect(lineClip(rect));
  layout.draw(ctx, gfx::Point{x, rect.midY() - m_font->lineHeight() / 2});
  ctx.restore();
}

void TextField::drawTextInRect(gfx::Context& ctx, const gfx::Rect& rect) {
  std::optional<gfx::TextLayout> layout;
  double width = 0;
  if (m_secure) {
    width = static_cast<double>(maskedCount()) * maskAdvance();
  } else {
    layout.emplace(m_text, textStyle(m_textColor));
    width = m_text.empty() ? 0 : layout->size().width;
  }
  double caret = m_editing ? CaretWidth : 0;
  double x = rect.x();
  if (m_alignment == gfx::TextAlignment::Center) x = rect.midX() - (width + caret) / 2;
  else if (m_alignment == gfx::TextAlignment::Right) x = rect.maxX() - width - caret;
  if (width + caret > rect.width()) {
    // Too long: while editing the end (where typing happens) stays in view, else the start. A
    // masked text always shows its end: its start tells nothing, and its last dots show that the
    // last characters arrived.
    x = (m_editing || m_secure) ? rect.maxX() - width - caret : rect.x();
  }
  double top = rect.midY() - m_font->lineHeight() / 2;
  ctx.save();
  ctx.clipToRect(lineClip(rect));
  if (m_secure) {
    const double advance = maskAdvance();
    const double diameter = m_font->pointSize() * MaskDotDiameter;
    const size_t count = maskedCount();
    // Only the dots from the first one in view: a long text's start lies left of the field.
    const size_t first =
        x < rect.x() && advance > 0 ? static_cast<size_t>(std::floor((rect.x() - x) / advance)) : 0;
    ctx.setFillColor(m_textColor);
    for (size_t i = first; i < count; ++i) {
      double left = x + static_cast<double>(i) * advance + (advance - diameter) / 2;
      ctx.fillEllipse(gfx::Rect(left, rect.midY() - diameter / 2, diameter, diameter));
    }
  } else if (width > 0) {
    layout->draw(ctx, gfx::Point{x, top});
  }
  if (m_editing) {
    ctx.setFillColor(tintColor());
    ctx.fillRect(gfx::Rect(x + width, top, CaretWidth, m_font->lineHeight()));
  }
  ctx.restore();
}

// ---------------------------------------------------------------------------------------------
// Editing

bool TextField::canBecomeFirstResponder() const { return isEnabled() && window() != nullptr; }

bool TextField::becomeFirstResponder() {
  if (isFirstResponder()) return true;
  if (!canBecomeFirstResponder()) return false;
  auto keep = weak_from_this().lock();
  if (m_delegate && !m_delegate->textFieldShouldBeginEditing(*this)) return false;
  // The field that had the first responder ends editing inside; the keyboard stays up for us.
  Keyboard::Handover handover;
  if (!Responder::becomeFirstResponder()) return false;
  m_editing = true;
  if (m_clearsOnBeginEditing) m_text.clear();
  textChanged();
  if (m_delegate) m_delegate->textFieldDidBeginEditing(*this);
  sendActionsForControlEvents(ControlEventEditingDidBegin);
  post(TextDidBeginEditingNotification);
  if (m_editing && isFirstResponder()) Keyboard::shared().inputDidBegin(this);
  return true;
}

bool TextField::resignFirstResponder() {
  if (!m_editing) return Responder::resignFirstResponder();
  auto keep = weak_from_this().lock();
  if (!Keyboard::isForcingResign() && m_delegate && !m_delegate->textFieldShouldEndEditing(*this)) return false;
  Responder::resignFirstResponder();
  didEndEditing();
  return true;
}

void TextField::didEndEditing() {
  if (!m_editing) return;
  m_editing = false;
  textChanged();
  if (m_delegate) m_delegate->textFieldDidEndEditing(*this);
  sendActionsForControlEvents(ControlEventEditingDidEnd);
  post(TextDidEndEditingNotification);
  Keyboard::shared().inputDidEnd(this);
}

void TextField::didMoveToWindow() {
  // Taken out of the window while editing: the window no longer keeps it as first responder.
  if (m_editing && !isFirstResponder()) didEndEditing();
}

bool TextField::insertText(const std::string& text) {
  if (!m_editing || !core::isValidUtf8(text)) return false;
  auto keep = weak_from_this().lock();
  if (text == "\n" || text == "\r" || text == "\r\n") {
    if (m_delegate && !m_delegate->textFieldShouldReturn(*this)) return true;
    bool dismisses = (allControlEvents() & ControlEventEditingDidEndOnExit) != 0;
    sendActionsForControlEvents(ControlEventEditingDidEndOnExit);
    if (dismisses && isFirstResponder()) resignFirstResponder();
    return true;
  }
  // One line: line breaks inside typed or pasted text are dropped.
  std::string line;
  line.reserve(text.size());
  for (char c : text) {
    if (c != '\n' && c != '\r') line += c;
  }
  if (line.empty()) return true;
  replace(TextRange{core::utf16Length(m_text), 0}, line);
  return true;
}

bool TextField::deleteBackward() {
  if (!m_editing) return false;
  if (m_text.empty()) return true;
  std::vector<size_t> starts = characterStarts(m_text);
  size_t last = starts[starts.size() - 2];
  std::string_view all(m_text);
  replace(TextRange{core::utf16Length(all.substr(0, last)), core::utf16Length(all.substr(last))}, "");
  return true;
}

bool TextField::replace(TextRange range, const std::string& replacement) {
  auto keep = weak_from_this().lock();
  if (m_delegate && !m_delegate->shouldChangeCharactersInRange(*this, range, replacement)) return false;
  // The delegate may have changed the text itself: work on what is there now.
  std::string prefix = core::utf16Prefix(m_text, range.location);
  std::string rest = m_text.substr(prefix.size());
  size_t removed = core::utf16Prefix(rest, range.length).size();
  m_text = prefix + replacement + rest.substr(removed);
  textChanged();
  sendActionsForControlEvents(ControlEventEditingChanged);
  post(TextDidChangeNotification);
  return true;
}

void TextField::textChanged() {
  setNeedsLayout();
  setNeedsDisplay();
}

void TextField::clearTapped() {
  auto keep = weak_from_this().lock();
  if (m_delegate && !m_delegate->textFieldShouldClear(*this)) return;
  if (m_text.empty()) return;
  m_text.clear();
  textChanged();
  sendActionsForControlEvents(ControlEventEditingChanged);
  post(TextDidChangeNotification);
}

void TextField::endTracking(const Touch* touch, const Event* event) {
  Control::endTracking(touch, event);
  if (!touch) return;
  gfx::Point p = touch->locationInView(this);
  gfx::Rect b = bounds();
  if (!b.contains(p)) return;
  if (isClearButtonVisible() && clearButtonRectForBounds(b).insetBy(-ClearButtonSlop, -ClearButtonSlop).contains(p)) {
    clearTapped();
    return;
  }
  becomeFirstResponder();
}

void TextField::post(const char* name) {
  core::NotificationCenter::defaultCenter().post(name, static_cast<void*>(this));
}

}  // namespace ui
