#include "platform/ui/KeyboardView.h"

#include <algorithm>
#include <cmath>

#include "platform/gfx/Context.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Path.h"
#include "platform/gfx/TextLayout.h"
#include "platform/ui/Application.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Touch.h"

namespace ui {
namespace {

// A key of a layout on its grid: across in key widths from the left edge, down in rows.
struct KeySpec {
  KeyboardView::KeyKind kind;
  const char* text;
  double x;
  int row;
  double width = 1;
  int rows = 1;
};

using Kind = KeyboardView::KeyKind;

// Rows of keys of one width each, from `x` on.
void addRow(std::vector<KeySpec>& out, int row, double x, std::initializer_list<const char*> texts) {
  for (const char* t : texts) {
    out.push_back({Kind::Character, t, x, row});
    x += 1;
  }
}

// The letter and digit pages are 11.5 keys wide, the number pad 3 and the decimal pad 4.
constexpr double PageColumns = 11.5;
constexpr double NumberPadColumns = 3;
constexpr double DecimalPadColumns = 4;
constexpr int Rows = 4;

std::vector<KeySpec> pageSpecs(bool digits) {
  std::vector<KeySpec> k;
  if (!digits) {
    addRow(k, 0, 0, {"q", "w", "e", "r", "t", "y", "u", "i", "o", "p"});
    addRow(k, 1, 0.5, {"a", "s", "d", "f", "g", "h", "j", "k", "l"});
    addRow(k, 2, 0.75, {"z", "x", "c", "v", "b", "n", "m", ",", ".", "?"});
  } else {
    addRow(k, 0, 0, {"1", "2", "3", "4", "5", "6", "7", "8", "9", "0"});
    addRow(k, 1, 0.5, {"-", "/", ":", ";", "(", ")", "¥", "&", "@"});
    addRow(k, 2, 0.75, {".", ",", "?", "!", "'", "\"", "#", "%", "+", "="});
  }
  k.push_back({Kind::Delete, "\b", 10, 0, 1.5});
  k.push_back({Kind::Return, "\n", 9.5, 1, 2});
  Kind page = digits ? Kind::ToLetters : Kind::ToDigits;
  const char* label = digits ? "ABC" : "123";
  k.push_back({page, label, 0, 3, 2.5});
  k.push_back({Kind::Space, " ", 2.5, 3, 6.5});
  k.push_back({page, label, 9, 3, 2.5});
  return k;
}

// The number pad has the digits and delete only, three columns wide; the decimal pad adds the
// point and a column of delete and return.
std::vector<KeySpec> padSpecs(bool decimal) {
  std::vector<KeySpec> k;
  addRow(k, 0, 0, {"1", "2", "3"});
  addRow(k, 1, 0, {"4", "5", "6"});
  addRow(k, 2, 0, {"7", "8", "9"});
  k.push_back({Kind::Character, "0", 1, 3});
  if (!decimal) {
    k.push_back({Kind::Delete, "\b", 2, 3});
    return k;
  }
  k.push_back({Kind::Character, ".", 0, 3});
  k.push_back({Kind::Delete, "\b", 3, 0});
  k.push_back({Kind::Return, "\n", 3, 1, 1, 3});
  return k;
}

bool isFunctionKey(Kind kind) { return kind != Kind::Character && kind != Kind::Space; }

// The distance from a point to a rectangle (0 inside).
double distanceTo(const gfx::Rect& r, gfx::Point p) {
  double dx = std::max({r.minX() - p.x, 0.0, p.x - r.maxX()});
  double dy = std::max({r.minY() - p.y, 0.0, p.y - r.maxY()});
  return std::hypot(dx, dy);
}

const gfx::Color& boardColor() {
  static const gfx::Color c = gfx::Color::rgba(0.82, 0.835, 0.86);
  return c;
}
const gfx::Color& keyColor() {
  static const gfx::Color c = gfx::Color::whiteColor();
  return c;
}
const gfx::Color& functionKeyColor() {
  static const gfx::Color c = gfx::Color::rgba(0.67, 0.7, 0.74);
  return c;
}
const gfx::Color& keyShadowColor() {
  static const gfx::Color c = gfx::Color::rgba(0.53, 0.54, 0.56);
  return c;
}

}  // namespace

KeyboardView::KeyboardView(const gfx::Rect& frame) : View(frame) {
  setMultipleTouchEnabled(true);
  setOpaque(true);
  setBackgroundColor(boardColor());
}

KeyboardView::Layout KeyboardView::layoutFor(KeyboardType type) {
  switch (type) {
    case KeyboardType::NumberPad:
    case KeyboardType::PhonePad:
      return Layout::NumberPad;
    case KeyboardType::DecimalPad:
      return Layout::DecimalPad;
    case KeyboardType::NumbersAndPunctuation:
      return Layout::Digits;
    default:
      return Layout::Letters;
  }
}

void KeyboardView::setLayout(Layout layout) {
  if (layout == m_layout) return;
  m_layout = layout;
  m_pressed.clear();
  setNeedsDisplay();
}

const std::vector<KeyboardView::Key>& KeyboardView::keys() const {
  gfx::Size size = bounds().size;
  if (size == m_keysSize && m_layout == m_keysLayout) return m_keys;
  m_keysSize = size;
  m_keysLayout = m_layout;
  m_keys.clear();
  bool pad = m_layout == Layout::NumberPad || m_layout == Layout::DecimalPad;
  std::vector<KeySpec> specs = pad ? padSpecs(m_layout == Layout::DecimalPad) : pageSpecs(m_layout == Layout::Digits);
  // Margins and gaps grow a little with the keyboard; the pads keep to a block in the middle.
  double margin = std::round(size.height * 0.02) + 4;
  double gap = std::round(size.height * 0.025) + 3;
  double rowHeight = (size.height - 2 * margin + gap) / Rows;
  double width = size.width - 2 * margin;
  double columns = m_layout == Layout::NumberPad ? NumberPadColumns
                   : m_layout == Layout::DecimalPad ? DecimalPadColumns
                                                    : PageColumns;
  if (pad) width = std::min(width, rowHeight * columns * 2.4);
  double unit = (width + gap) / columns;
  double left = std::round((size.width - width) / 2);
  for (const KeySpec& s : specs) {
    double x = left + s.x * unit;
    double y = margin + s.row * rowHeight;
    gfx::Rect frame(std::round(x), std::round(y), std::round(x + s.width * unit - gap) - std::round(x),
                    std::round(y + s.rows * rowHeight - gap) - std::round(y));
    m_keys.push_back(Key{s.kind, s.text, frame});
  }
  return m_keys;
}

int KeyboardView::keyIndexAt(gfx::Point p) const {
  if (!bounds().contains(p)) return -1;
  const auto& all = keys();
  // Between two keys the nearer one takes the finger, within a gap's width.
  double reach = std::round(bounds().height() * 0.025) + 3;
  int best = -1;
  double bestDistance = reach;
  for (size_t i = 0; i < all.size(); ++i) {
    double d = distanceTo(all[i].frame, p);
    if (d <= bestDistance) {
      best = static_cast<int>(i);
      bestDistance = d;
      if (d == 0) break;
    }
  }
  return best;
}

const KeyboardView::Key* KeyboardView::keyAt(gfx::Point p) const {
  int i = keyIndexAt(p);
  return i < 0 ? nullptr : &keys()[static_cast<size_t>(i)];
}

// ---------------------------------------------------------------------------------------------
// Touches

void KeyboardView::setPressed(const Touch* touch, int index) {
  auto it = std::find_if(m_pressed.begin(), m_pressed.end(), [&](const auto& p) { return p.first == touch; });
  if (index < 0) {
    if (it == m_pressed.end()) return;
    m_pressed.erase(it);
  } else if (it == m_pressed.end()) {
    m_pressed.emplace_back(touch, index);
  } else if (it->second == index) {
    return;
  } else {
    it->second = index;
  }
  setNeedsDisplay();
}

void KeyboardView::touchesBegan(const TouchSet& touches, const Event*) {
  for (const auto& t : touches) setPressed(t.get(), keyIndexAt(t->locationInView(this)));
}

void KeyboardView::touchesMoved(const TouchSet& touches, const Event*) {
  for (const auto& t : touches) setPressed(t.get(), keyIndexAt(t->locationInView(this)));
}

void KeyboardView::touchesEnded(const TouchSet& touches, const Event*) {
  auto keep = shared();
  for (const auto& t : touches) {
    setPressed(t.get(), -1);
    int i = keyIndexAt(t->locationInView(this));
    // A copy: typing may change the layout (and so the keys).
    if (i >= 0) press(Key(keys()[static_cast<size_t>(i)]));
  }
}

void KeyboardView::touchesCancelled(const TouchSet& touches, const Event*) {
  for (const auto& t : touches) setPressed(t.get(), -1);
}

void KeyboardView::press(const Key& key) {
  if (key.kind == KeyKind::ToDigits || key.kind == KeyKind::ToLetters) {
    setLayout(key.kind == KeyKind::ToDigits ? Layout::Digits : Layout::Letters);
    return;
  }
  Window* window = Application::shared().textInputWindow();
  Responder* responder = window ? window->firstResponder() : nullptr;
  if (!responder) return;
  // The responder may go away while it handles the key (return ends editing).
  auto keep = responder->weak_from_this().lock();
  switch (key.kind) {
    case KeyKind::Delete:
      responder->deleteBackward();
      break;
    default:
      responder->insertText(key.text);
      break;
  }
}

// ---------------------------------------------------------------------------------------------
// Drawing

void KeyboardView::drawRect(gfx::Context& ctx, const gfx::Rect&) {
  ctx.setFillColor(boardColor());
  ctx.fillRect(bounds());
  const auto& all = keys();
  for (size_t i = 0; i < all.size(); ++i) {
    bool pressed = std::any_of(m_pressed.begin(), m_pressed.end(),
                               [&](const auto& p) { return p.second == static_cast<int>(i); });
    drawKey(ctx, all[i], pressed);
  }
}

void KeyboardView::drawKey(gfx::Context& ctx, const Key& key, bool pressed) const {
  const gfx::Rect& r = key.frame;
  double radius = std::min(8.0, std::round(r.height() * 0.1) + 2);
  // A key stands on a darker edge one point below it.
  ctx.setFillColor(keyShadowColor());
  ctx.fill(gfx::Path::roundedRect(gfx::Rect(r.x(), r.y() + 1, r.width(), r.height()), radius));
  bool function = isFunctionKey(key.kind);
  ctx.setFillColor(function != pressed ? functionKeyColor() : keyColor());
  ctx.fill(gfx::Path::roundedRect(r, radius));

  gfx::Color ink = gfx::Color::black();
  double cx = r.midX(), cy = r.midY();
  // Symbols a little smaller than the key's height allows, never wider than the narrow keys.
  double glyph = std::min(r.height() * 0.42, 32.0);
  switch (key.kind) {
    case KeyKind::Delete: {
      double w = glyph * 1.2, h = glyph * 0.8;
      double l = cx - w / 2, t = cy - h / 2;
      ctx.setStrokeColor(ink);
      ctx.setLineWidth(std::max(1.5, glyph / 14));
      ctx.setLineJoin(gfx::LineJoin::Round);
      ctx.beginPath();
      ctx.moveTo({l, cy});
      ctx.lineTo({l + h / 2, t});
      ctx.lineTo({l + w, t});
      ctx.lineTo({l + w, t + h});
      ctx.lineTo({l + h / 2, t + h});
      ctx.closePath();
      ctx.strokePath();
      // The cross inside.
      double xc = l + h / 2 + (w - h / 2) / 2, arm = h * 0.2;
      ctx.beginPath();
      ctx.moveTo({xc - arm, cy - arm});
      ctx.lineTo({xc + arm, cy + arm});
      ctx.moveTo({xc + arm, cy - arm});
      ctx.lineTo({xc - arm, cy + arm});
      ctx.strokePath();
      break;
    }
    case KeyKind::Return: {
      // A line down from the top right that turns left into an arrow head.
      double w = glyph * 1.2, h = glyph * 0.7, head = glyph * 0.25;
      double l = cx - w / 2, rgt = cx + w / 2, t = cy - h / 2, b = cy + h / 2;
      ctx.setStrokeColor(ink);
      ctx.setLineWidth(std::max(1.5, glyph / 14));
      ctx.setLineJoin(gfx::LineJoin::Round);
      ctx.setLineCap(gfx::LineCap::Round);
      ctx.beginPath();
      ctx.moveTo({rgt, t});
      ctx.lineTo({rgt, b});
      ctx.lineTo({l, b});
      ctx.moveTo({l + head, b - head});
      ctx.lineTo({l, b});
      ctx.lineTo({l + head, b + head});
      ctx.strokePath();
      break;
    }
    case KeyKind::Space:
      break;
    default: {
      bool word = key.kind != KeyKind::Character;
      double size = word ? glyph * 0.6 : glyph * 0.8;
      gfx::TextStyle style = gfx::TextStyle::withFont(gfx::Font::systemFont(std::round(size)));
      style.color = ink;
      style.alignment = gfx::TextAlignment::Center;
      style.maxLines = 1;
      gfx::TextLayout text(key.text, style);
      gfx::Size s = text.size();
      text.draw(ctx, gfx::Rect(r.x(), std::round(cy - s.height / 2), r.width(), s.height));
      break;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// The keyboard's window

KeyboardWindow::KeyboardWindow(const gfx::Rect& frame) : Window(frame) { setWindowLevel(WindowLevelKeyboard); }

std::shared_ptr<View> KeyboardWindow::hitTest(gfx::Point p, const Event* event) {
  auto hit = Window::hitTest(p, event);
  return hit.get() == this ? nullptr : hit;
}

}  // namespace ui
