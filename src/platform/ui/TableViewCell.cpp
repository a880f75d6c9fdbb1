#include "platform/ui/TableViewCell.h"

#include <algorithm>

#include "platform/gfx/Context.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Image.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/Screen.h"

namespace ui {

namespace {

constexpr double kMargin = 15;

// The built-in accessories and editing controls, drawn with a few strokes.
enum class Glyph { Disclosure, Checkmark, Detail, Delete, Insert };

class GlyphView : public View {
 public:
  explicit GlyphView(Glyph glyph, gfx::Size size) : View(gfx::Rect({0, 0}, size)), m_glyph(glyph) {
    setOpaque(false);
    setUserInteractionEnabled(false);
  }
  Glyph glyph() const { return m_glyph; }
  bool drawsContent() const override { return true; }
  void drawRect(gfx::Context& ctx, const gfx::Rect&) override {
    gfx::Rect b = bounds();
    ctx.save();
    switch (m_glyph) {
      case Glyph::Disclosure:
        ctx.setStrokeColor(gfx::Color(0.78, 0.78, 0.8));
        ctx.setLineWidth(2);
        ctx.beginPath();
        ctx.moveTo({b.minX() + 1, b.minY() + 1});
        ctx.lineTo({b.maxX() - 1.5, b.midY()});
        ctx.lineTo({b.minX() + 1, b.maxY() - 1});
        ctx.strokePath();
        break;
      case Glyph::Checkmark:
        ctx.setStrokeColor(tintColor());
        ctx.setLineWidth(2);
        ctx.beginPath();
        ctx.moveTo({b.minX() + 1, b.midY()});
        ctx.lineTo({b.minX() + b.width() * 0.38, b.maxY() - 1.5});
        ctx.lineTo({b.maxX() - 1, b.minY() + 1});
        ctx.strokePath();
        break;
      case Glyph::Detail:
        ctx.setStrokeColor(tintColor());
        ctx.setLineWidth(1);
        ctx.beginPath();
        ctx.addEllipse(b.insetBy(1, 1));
        ctx.strokePath();
        ctx.setFillColor(tintColor());
        ctx.fillRect(gfx::Rect(b.midX() - 1, b.midY() - 2, 2, 7));
        ctx.fillRect(gfx::Rect(b.midX() - 1, b.midY() - 6, 2, 2));
        break;
      case Glyph::Delete:
      case Glyph::Insert: {
        gfx::Rect c(b.midX() - 11, b.midY() - 11, 22, 22);
        ctx.setFillColor(m_glyph == Glyph::Delete ? gfx::Color(1, 0.23, 0.19) : gfx::Color(0.3, 0.85, 0.39));
        ctx.beginPath();
        ctx.addEllipse(c);
        ctx.fillPath();
        ctx.setFillColor(gfx::Color::whiteColor());
        ctx.fillRect(gfx::Rect(c.midX() - 6, c.midY() - 1, 12, 2));
        if (m_glyph == Glyph::Insert) ctx.fillRect(gfx::Rect(c.midX() - 1, c.midY() - 6, 2, 12));
        break;
      }
    }
    ctx.restore();
  }

 private:
  Glyph m_glyph;
};

double hairline() { return 1.0 / std::max(1.0, Screen::main().drawingScale()); }

}  // namespace

// The content view lays out the standard labels whenever their text changes (a label asks its
// superview for layout), through its cell.
class TableViewCellContentView : public View {
 public:
  explicit TableViewCellContentView(core::WeakPtr<TableViewCell> cell) : View(gfx::Rect()), m_cell(std::move(cell)) {
    setOpaque(false);
  }
  void layoutSubviews() override {
    if (TableViewCell* cell = m_cell.get()) cell->layoutStandardViews();
  }

 private:
  core::WeakPtr<TableViewCell> m_cell;
};

TableViewCell::TableViewCell(TableViewCellStyle style, const std::string& reuseIdentifier)
    : View(gfx::Rect(0, 0, 320, 44)), m_style(style), m_reuseIdentifier(reuseIdentifier) {
  setBackgroundColor(gfx::Color::whiteColor());
  m_contentView = std::make_shared<TableViewCellContentView>(m_weakFactory.weakPtr());
  m_contentView->setFrame(bounds());
  addSubview(m_contentView);
  m_separator = View::create();
  m_separator->setUserInteractionEnabled(false);
  m_separator->setHidden(true);
  addSubview(m_separator);
}

TableViewCell::~TableViewCell() = default;

void TableViewCell::prepareForReuse() {
  m_selected = false;
  m_highlighted = false;
  m_editing = false;
  updateSelectionLook(false);
  setAlpha(1);
  setHidden(false);
  setNeedsLayout();
}

std::shared_ptr<Label> TableViewCell::textLabel() {
  if (!m_textLabel) {
    m_textLabel = Label::create();
    m_textLabel->setBackgroundColor(std::nullopt);
    if (m_style == TableViewCellStyle::Value2) {
      m_textLabel->setFont(gfx::Font::boldSystemFont(12));
      m_textLabel->setTextColor(gfx::Color(0, 0.48, 1));
      m_textLabel->setTextAlignment(gfx::TextAlignment::Right);
    }
    m_textLabel->setHighlightedTextColor(gfx::Color::whiteColor());
    m_contentView->addSubview(m_textLabel);
    setNeedsLayout();
  }
  return m_textLabel;
}

std::shared_ptr<Label> TableViewCell::detailTextLabel() {
  if (m_style == TableViewCellStyle::Default) return nullptr;
  if (!m_detailTextLabel) {
    m_detailTextLabel = Label::create();
    m_detailTextLabel->setBackgroundColor(std::nullopt);
    switch (m_style) {
      case TableViewCellStyle::Subtitle: m_detailTextLabel->setFont(gfx::Font::systemFont(12)); break;
      case TableViewCellStyle::Value1: m_detailTextLabel->setTextColor(gfx::Color(0.56, 0.56, 0.58)); break;
      case TableViewCellStyle::Value2: m_detailTextLabel->setFont(gfx::Font::systemFont(15)); break;
      default: break;
    }
    m_detailTextLabel->setHighlightedTextColor(gfx::Color::whiteColor());
    m_contentView->addSubview(m_detailTextLabel);
    setNeedsLayout();
  }
  return m_detailTextLabel;
}

std::shared_ptr<ImageView> TableViewCell::imageView() {
  if (!m_imageView) {
    m_imageView = ImageView::create();
    m_contentView->insertSubview(m_imageView, 0);
    setNeedsLayout();
  }
  return m_imageView;
}

void TableViewCell::insertBehindContent(const std::shared_ptr<View>& view) {
  insertSubviewBelow(view, m_contentView.get());
}

void TableViewCell::setBackgroundView(std::shared_ptr<View> view) {
  if (m_backgroundView == view) return;
  if (m_backgroundView) m_backgroundView->removeFromSuperview();
  m_backgroundView = std::move(view);
  if (m_backgroundView) {
    // Always the bottom-most.
    insertSubview(m_backgroundView, 0);
    m_backgroundView->setFrame(bounds());
  }
}

std::shared_ptr<View> TableViewCell::selectedBackgroundView() {
  if (!m_selectedBackgroundView) {
    auto v = View::create(bounds());
    v->setUserInteractionEnabled(false);
    v->setBackgroundColor(m_selectionStyle == TableViewCellSelectionStyle::Blue ? gfx::Color(0, 0.48, 1)
                                                                                 : gfx::Color(0.85, 0.85, 0.85));
    v->setAlpha(0);
    m_defaultSelectedBackground = true;
    m_selectedBackgroundView = v;
    insertBehindContent(v);
  }
  return m_selectedBackgroundView;
}

void TableViewCell::setSelectedBackgroundView(std::shared_ptr<View> view) {
  if (m_selectedBackgroundView == view) return;
  if (m_selectedBackgroundView) m_selectedBackgroundView->removeFromSuperview();
  m_selectedBackgroundView = std::move(view);
  m_defaultSelectedBackground = false;
  if (m_selectedBackgroundView) {
    m_selectedBackgroundView->setFrame(bounds());
    insertBehindContent(m_selectedBackgroundView);
    updateSelectionLook(false);
  }
}

void TableViewCell::setSelectionStyle(TableViewCellSelectionStyle style) {
  if (m_selectionStyle == style) return;
  m_selectionStyle = style;
  if (m_defaultSelectedBackground && m_selectedBackgroundView) {
    m_selectedBackgroundView->removeFromSuperview();
    m_selectedBackgroundView.reset();
  }
  updateSelectionLook(false);
}

void TableViewCell::setAccessoryType(TableViewCellAccessoryType type) {
  if (m_accessoryType == type) return;
  m_accessoryType = type;
  if (m_builtInAccessory) {
    m_builtInAccessory->removeFromSuperview();
    m_builtInAccessory.reset();
  }
  setNeedsLayout();
}

void TableViewCell::setAccessoryView(std::shared_ptr<View> view) {
  if (m_accessoryView == view) return;
  if (m_accessoryView) m_accessoryView->removeFromSuperview();
  m_accessoryView = std::move(view);
  if (m_accessoryView) addSubview(m_accessoryView);
  setNeedsLayout();
}

std::shared_ptr<View> TableViewCell::effectiveAccessory() {
  if (m_accessoryView) {
    if (m_builtInAccessory) m_builtInAccessory->setHidden(true);
    return m_accessoryView;
  }
  if (m_accessoryType == TableViewCellAccessoryType::None) return nullptr;
  if (!m_builtInAccessory) {
    switch (m_accessoryType) {
      case TableViewCellAccessoryType::DisclosureIndicator:
        m_builtInAccessory = std::make_shared<GlyphView>(Glyph::Disclosure, gfx::Size{8, 13});
        break;
      case TableViewCellAccessoryType::Checkmark:
        m_builtInAccessory = std::make_shared<GlyphView>(Glyph::Checkmark, gfx::Size{14, 11});
        break;
      default:
        m_builtInAccessory = std::make_shared<GlyphView>(Glyph::Detail, gfx::Size{22, 22});
        break;
    }
    addSubview(m_builtInAccessory);
  }
  m_builtInAccessory->setHidden(false);
  return m_builtInAccessory;
}

gfx::Rect TableViewCell::accessoryFrame() const {
  auto* self = const_cast<TableViewCell*>(this);
  auto a = self->effectiveAccessory();
  if (!a) return gfx::Rect();
  gfx::Rect b = bounds();
  gfx::Size s = a->frame().size;
  return gfx::Rect(b.width() - kMargin - s.width, std::round((b.height() - s.height) / 2), s.width, s.height);
}

void TableViewCell::setSelected(bool selected, bool animated) {
  if (m_selected == selected) return;
  m_selected = selected;
  updateSelectionLook(animated);
}

void TableViewCell::setHighlighted(bool highlighted, bool animated) {
  if (m_highlighted == highlighted) return;
  m_highlighted = highlighted;
  updateSelectionLook(animated);
}

void TableViewCell::updateSelectionLook(bool animated) {
  bool on = (m_selected || m_highlighted) && m_selectionStyle != TableViewCellSelectionStyle::None;
  bool whiteText = on && m_selectionStyle == TableViewCellSelectionStyle::Blue;
  if (m_textLabel) m_textLabel->setHighlighted(whiteText);
  if (m_detailTextLabel) m_detailTextLabel->setHighlighted(whiteText);
  if (m_imageView) m_imageView->setHighlighted(on);
  if (!on && !m_selectedBackgroundView) return;
  auto v = selectedBackgroundView();
  double target = on ? 1 : 0;
  if (animated && View::areAnimationsEnabled()) {
    std::weak_ptr<View> weak = v;
    View::animate(0.25, [weak, target] {
      if (auto s = weak.lock()) s->setAlpha(target);
    });
  } else {
    View::performWithoutAnimation([&] { v->setAlpha(target); });
  }
}

void TableViewCell::setEditing(bool editing, bool animated) {
  if (m_editing == editing) return;
  m_editing = editing;
  setNeedsLayout();
  if (animated && View::areAnimationsEnabled()) {
    View::animate(0.3, [this] { layoutIfNeeded(); });
  }
}

void TableViewCell::setEditingStyle(TableViewCellEditingStyle style) {
  if (m_editingStyle == style) return;
  m_editingStyle = style;
  if (m_editingControl) {
    m_editingControl->removeFromSuperview();
    m_editingControl.reset();
  }
  setNeedsLayout();
}

void TableViewCell::setSeparator(bool shown, const gfx::Color& color, double leftInset) {
  if (m_showsSeparator == shown && m_separatorColor == color && m_separatorInset == leftInset) return;
  m_showsSeparator = shown;
  m_separatorColor = color;
  m_separatorInset = leftInset;
  setNeedsLayout();
}

void TableViewCell::layoutSubviews() {
  gfx::Rect b = bounds();
  if (m_backgroundView) m_backgroundView->setFrame(b);
  if (m_selectedBackgroundView) m_selectedBackgroundView->setFrame(b);

  double left = 0;
  bool control = m_editing && m_editingStyle != TableViewCellEditingStyle::None;
  if (control) {
    if (!m_editingControl) {
      m_editingControl = std::make_shared<GlyphView>(
          m_editingStyle == TableViewCellEditingStyle::Delete ? Glyph::Delete : Glyph::Insert,
          gfx::Size{EditingIndent, 44});
      insertSubviewAbove(m_editingControl, m_contentView.get());
    }
    m_editingControl->setHidden(false);
    m_editingControl->setFrame(gfx::Rect(0, 0, EditingIndent, b.height()));
    left = EditingIndent;
  } else if (m_editingControl) {
    m_editingControl->setHidden(true);
  }

  double right = b.width();
  if (auto a = effectiveAccessory()) {
    gfx::Rect f = accessoryFrame();
    a->setFrame(f);
    right = f.minX();
  }
  m_contentView->setFrame(gfx::Rect(left, 0, std::max(0.0, right - left), b.height()));

  double h = hairline();
  m_separator->setHidden(!m_showsSeparator);
  m_separator->setBackgroundColor(m_separatorColor);
  m_separator->setFrame(gfx::Rect(m_separatorInset, b.height() - h, std::max(0.0, b.width() - m_separatorInset), h));
  bringSubviewToFront(m_separator.get());

  layoutStandardViews();
}

void TableViewCell::layoutStandardViews() {
  gfx::Rect cb = m_contentView->bounds();
  double x = kMargin;
  if (m_imageView && m_imageView->image()) {
    gfx::Size s = m_imageView->image()->size();
    if (s.height > cb.height() && s.height > 0) {
      s.width = s.width * cb.height() / s.height;
      s.height = cb.height();
    }
    m_imageView->setFrame(gfx::Rect(kMargin, std::round((cb.height() - s.height) / 2), s.width, s.height));
    x = kMargin + s.width + kMargin;
  } else if (m_imageView) {
    m_imageView->setFrame(gfx::Rect());
  }
  double w = std::max(0.0, cb.width() - x - kMargin);
  switch (m_style) {
    case TableViewCellStyle::Default:
      if (m_textLabel) m_textLabel->setFrame(gfx::Rect(x, 0, w, cb.height()));
      break;
    case TableViewCellStyle::Subtitle: {
      double th = m_textLabel && !m_textLabel->text().empty() ? m_textLabel->sizeThatFits({w, 0}).height : 0;
      double dh = m_detailTextLabel && !m_detailTextLabel->text().empty()
                      ? m_detailTextLabel->sizeThatFits({w, 0}).height
                      : 0;
      double y = std::round((cb.height() - th - dh) / 2);
      if (m_textLabel) m_textLabel->setFrame(gfx::Rect(x, y, w, th));
      if (m_detailTextLabel) m_detailTextLabel->setFrame(gfx::Rect(x, y + th, w, dh));
      break;
    }
    case TableViewCellStyle::Value1: {
      double dw = m_detailTextLabel && !m_detailTextLabel->text().empty()
                      ? std::min(w, m_detailTextLabel->sizeThatFits({0, 0}).width)
                      : 0;
      if (m_detailTextLabel) m_detailTextLabel->setFrame(gfx::Rect(x + w - dw, 0, dw, cb.height()));
      if (m_textLabel) m_textLabel->setFrame(gfx::Rect(x, 0, std::max(0.0, w - dw - (dw > 0 ? 8 : 0)), cb.height()));
      break;
    }
    case TableViewCellStyle::Value2: {
      double col = std::min(67.0, w);
      if (m_textLabel) m_textLabel->setFrame(gfx::Rect(x, 0, col, cb.height()));
      if (m_detailTextLabel)
        m_detailTextLabel->setFrame(gfx::Rect(x + col + 6, 0, std::max(0.0, w - col - 6), cb.height()));
      break;
    }
  }
}

}  // namespace ui
