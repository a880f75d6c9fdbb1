#include "platform/ui/ActionSheet.h"

#include <algorithm>
#include <cmath>

#include "platform/gfx/Context.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Path.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Touch.h"
#include "platform/ui/Window.h"

namespace ui {
namespace {

constexpr double FadeDuration = 0.2;
constexpr double TitlePadding = 14;

double clampTo(double v, double lo, double hi) { return hi < lo ? lo : std::clamp(v, lo, hi); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Popover card

PopoverCardView::Placement PopoverCardView::place(const gfx::Rect& anchor, gfx::Size contentSize,
                                                  unsigned permitted, const gfx::Rect& areaIn) {
  gfx::Rect area = areaIn.insetBy(ScreenMargin, ScreenMargin);
  if ((permitted & PopoverArrowDirectionAny) == 0) permitted = PopoverArrowDirectionAny;
  const unsigned order[] = {PopoverArrowDirectionUp, PopoverArrowDirectionDown, PopoverArrowDirectionLeft,
                            PopoverArrowDirectionRight};
  auto vertical = [](unsigned d) { return d == PopoverArrowDirectionUp || d == PopoverArrowDirectionDown; };
  // The room on the side of the anchor the card would take (width, height).
  auto room = [&](unsigned d) -> gfx::Size {
    switch (d) {
      case PopoverArrowDirectionUp: return {area.width(), area.maxY() - anchor.maxY()};
      case PopoverArrowDirectionDown: return {area.width(), anchor.minY() - area.minY()};
      case PopoverArrowDirectionLeft: return {area.maxX() - anchor.maxX(), area.height()};
      default: return {anchor.minX() - area.minX(), area.height()};
    }
  };
  auto needed = [&](unsigned d) -> gfx::Size {
    return vertical(d) ? gfx::Size{contentSize.width, contentSize.height + ArrowHeight}
                       : gfx::Size{contentSize.width + ArrowHeight, contentSize.height};
  };
  unsigned chosen = 0;
  for (unsigned d : order) {
    if (!(permitted & d)) continue;
    gfx::Size r = room(d), n = needed(d);
    if (n.width <= r.width && n.height <= r.height) {
      chosen = d;
      break;
    }
  }
  if (!chosen) {
    // Nowhere whole: the side that shows the most of it.
    double best = -1;
    for (unsigned d : order) {
      if (!(permitted & d)) continue;
      gfx::Size r = room(d), n = needed(d);
      double shown = std::max(0.0, std::min(r.width, n.width)) * std::max(0.0, std::min(r.height, n.height));
      if (shown > best) {
        best = shown;
        chosen = d;
      }
    }
  }
  gfx::Size r = room(chosen);
  gfx::Size body = contentSize;
  if (vertical(chosen)) {
    body.width = std::max(0.0, std::min(body.width, r.width));
    body.height = std::max(0.0, std::min(body.height, r.height - ArrowHeight));
  } else {
    body.width = std::max(0.0, std::min(body.width, r.width - ArrowHeight));
    body.height = std::max(0.0, std::min(body.height, r.height));
  }

  Placement p;
  p.arrowDirection = chosen;
  double minTip = CornerRadius + ArrowBase / 2;
  if (vertical(chosen)) {
    double w = body.width, h = body.height + ArrowHeight;
    double x = clampTo(anchor.midX() - w / 2, area.minX(), area.maxX() - w);
    double y = chosen == PopoverArrowDirectionUp ? anchor.maxY() : anchor.minY() - h;
    p.frame = gfx::Rect(x, y, w, h);
    p.contentFrame = gfx::Rect(0, chosen == PopoverArrowDirectionUp ? ArrowHeight : 0, body.width, body.height);
    p.arrowOffset = clampTo(anchor.midX() - x, minTip, w - minTip);
  } else {
    double w = body.width + ArrowHeight, h = body.height;
    double y = clampTo(anchor.midY() - h / 2, area.minY(), area.maxY() - h);
    double x = chosen == PopoverArrowDirectionLeft ? anchor.maxX() : anchor.minX() - w;
    p.frame = gfx::Rect(x, y, w, h);
    p.contentFrame = gfx::Rect(chosen == PopoverArrowDirectionLeft ? ArrowHeight : 0, 0, body.width, body.height);
    p.arrowOffset = clampTo(anchor.midY() - y, minTip, h - minTip);
  }
  return p;
}

PopoverCardView::Placement PopoverCardView::centred(gfx::Size contentSize, const gfx::Rect& areaIn) {
  gfx::Rect area = areaIn.insetBy(ScreenMargin, ScreenMargin);
  gfx::Size s{std::min(contentSize.width, area.width()), std::min(contentSize.height, area.height())};
  Placement p;
  p.frame = gfx::Rect(std::round(area.midX() - s.width / 2), std::round(area.midY() - s.height / 2), s.width, s.height);
  p.contentFrame = gfx::Rect(0, 0, s.width, s.height);
  return p;
}

PopoverCardView::PopoverCardView() {
  setBackgroundColor(std::nullopt);
  setOpaque(false);
  m_content = View::create();
  m_content->setClipsToBounds(true);
  m_content->layer()->setCornerRadius(CornerRadius);
  m_content->setBackgroundColor(gfx::Color::whiteColor());
  addSubview(m_content);
  layer()->setShadowColor(gfx::Color::black());
  layer()->setShadowOpacity(0.25);
  layer()->setShadowRadius(12);
  layer()->setShadowOffset(gfx::Size{0, 4});
}

void PopoverCardView::setCardColor(const gfx::Color& color) {
  m_cardColor = color;
  m_content->setBackgroundColor(color);
  setNeedsDisplay();
}

void PopoverCardView::apply(const Placement& placement) {
  m_placement = placement;
  setFrame(placement.frame);
  m_content->setFrame(placement.contentFrame);
  // The shadow follows the body; the arrow is drawn over it.
  layer()->setShadowPath(gfx::Path::roundedRect(placement.contentFrame, CornerRadius));
  setNeedsDisplay();
}

void PopoverCardView::drawRect(gfx::Context& ctx, const gfx::Rect&) {
  const auto& p = m_placement;
  ctx.setFillColor(m_cardColor);
  ctx.beginPath();
  ctx.addPath(gfx::Path::roundedRect(p.contentFrame, CornerRadius));
  ctx.fillPath();
  if (p.arrowDirection == PopoverArrowDirectionUnknown) return;
  gfx::Rect c = p.contentFrame;
  double half = ArrowBase / 2, t = p.arrowOffset;
  ctx.beginPath();
  switch (p.arrowDirection) {
    case PopoverArrowDirectionUp:
      ctx.moveTo({t - half, c.minY()});
      ctx.lineTo({t, c.minY() - ArrowHeight});
      ctx.lineTo({t + half, c.minY()});
      break;
    case PopoverArrowDirectionDown:
      ctx.moveTo({t - half, c.maxY()});
      ctx.lineTo({t, c.maxY() + ArrowHeight});
      ctx.lineTo({t + half, c.maxY()});
      break;
    case PopoverArrowDirectionLeft:
      ctx.moveTo({c.minX(), t - half});
      ctx.lineTo({c.minX() - ArrowHeight, t});
      ctx.lineTo({c.minX(), t + half});
      break;
    default:
      ctx.moveTo({c.maxX(), t - half});
      ctx.lineTo({c.maxX() + ArrowHeight, t});
      ctx.lineTo({c.maxX(), t + half});
      break;
  }
  ctx.closePath();
  ctx.fillPath();
}

PopoverDismissingView::PopoverDismissingView(const gfx::Rect& frame) : View(frame) {
  setBackgroundColor(std::nullopt);
  setOpaque(false);
  setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
}

std::shared_ptr<View> PopoverDismissingView::hitTest(gfx::Point p, const Event* event) {
  auto hit = View::hitTest(p, event);
  if (!hit || hit.get() != this) return hit;
  // Outside the card: over a passthrough view the touch goes on to the views below.
  for (const auto& weak : m_passthrough) {
    auto v = weak.lock();
    if (!v || v->isHidden() || !v->window() || v->window() != window()) continue;
    if (v->pointInside(v->convertPointFrom(p, this), event)) return nullptr;
  }
  return hit;
}

void PopoverDismissingView::touchesBegan(const TouchSet& touches, const Event*) {
  // Touches the card's views leave unhandled come up the responder chain: only those that began
  // on this layer itself are outside the card.
  bool outside = std::any_of(touches.begin(), touches.end(), [this](const auto& t) { return t->view().get() == this; });
  if (!outside) return;
  auto keep = shared();
  if (auto callback = onOutsideTouch) callback();
}

// ---------------------------------------------------------------------------------------------
// Action sheet

void ActionSheetDelegate::actionSheetCancel(ActionSheet& actionSheet) {
  actionSheet.dismissWithClickedButtonIndex(actionSheet.cancelButtonIndex(), false);
}

std::shared_ptr<ActionSheet> ActionSheet::create(const std::string& title, ActionSheetDelegate* delegate,
                                                 const std::optional<std::string>& cancelButtonTitle,
                                                 const std::optional<std::string>& destructiveButtonTitle,
                                                 const std::vector<std::string>& otherButtonTitles) {
  auto sheet = std::make_shared<ActionSheet>();
  sheet->setTitle(title);
  sheet->m_delegate = delegate;
  if (destructiveButtonTitle) sheet->m_destructiveIndex = sheet->addButtonWithTitle(*destructiveButtonTitle);
  for (const auto& t : otherButtonTitles) sheet->addButtonWithTitle(t);
  if (cancelButtonTitle) sheet->m_cancelIndex = sheet->addButtonWithTitle(*cancelButtonTitle);
  return sheet;
}

ActionSheet::ActionSheet() : ButtonListView(gfx::Rect(0, 0, Width, 0)) {
  setBackgroundColor(gfx::Color::whiteColor());
  m_titleLabel = Label::create();
  m_titleLabel->setFont(gfx::Font::systemFont(13));
  m_titleLabel->setTextColor(gfx::Color::white(0.56));
  m_titleLabel->setTextAlignment(gfx::TextAlignment::Center);
  m_titleLabel->setNumberOfLines(0);
  m_titleLabel->setBackgroundColor(std::nullopt);
  addSubview(m_titleLabel);
}

ActionSheet::~ActionSheet() = default;

void ActionSheet::setTitle(const std::string& title) {
  m_title = title;
  m_titleLabel->setText(title);
  setNeedsLayout();
}

void ActionSheet::setDestructiveButtonIndex(int index) { m_destructiveIndex = validButtonIndex(index) ? index : -1; }

int ActionSheet::firstOtherButtonIndex() const {
  for (int i = 0; i < numberOfButtons(); ++i) {
    if (i != m_cancelIndex && i != m_destructiveIndex) return i;
  }
  return -1;
}

// Every button but the cancel one, in index order.
std::vector<int> ActionSheet::shownButtons() const {
  std::vector<int> shown;
  for (int i = 0; i < numberOfButtons(); ++i) {
    if (i != m_cancelIndex) shown.push_back(i);
  }
  return shown;
}

double ActionSheet::titleHeight() const {
  if (m_title.empty()) return 0;
  return TitlePadding * 2 + m_titleLabel->sizeThatFits(gfx::Size{Width - 2 * TitlePadding, 0}).height;
}

gfx::Size ActionSheet::sizeThatFits(gfx::Size) const {
  return gfx::Size{Width, titleHeight() + double(shownButtons().size()) * ButtonHeight};
}

void ActionSheet::layoutSubviews() {
  double w = bounds().width();
  double y = titleHeight();
  m_titleLabel->setHidden(m_title.empty());
  if (!m_title.empty()) m_titleLabel->setFrame(gfx::Rect(TitlePadding, TitlePadding, w - 2 * TitlePadding, y - 2 * TitlePadding));
  double hairline = 1 / Screen::main().drawingScale();
  size_t line = 0;
  bool first = true;
  for (int index : shownButtons()) {
    if (auto& b = m_buttons[size_t(index)]) b->setFrame(gfx::Rect(0, y, w, ButtonHeight));
    // A line between rows (and under the title).
    if ((!first || !m_title.empty()) && line < m_hairlines.size()) m_hairlines[line++]->setFrame(gfx::Rect(0, y, w, hairline));
    first = false;
    y += ButtonHeight;
  }
}

void ActionSheet::build() {
  removeButtonViews();
  m_buttons.assign(size_t(numberOfButtons()), nullptr);
  std::weak_ptr<ActionSheet> weak = std::static_pointer_cast<ActionSheet>(shared());
  for (int i : shownButtons()) {
    auto b = Button::create(ButtonType::Custom);
    b->setTitle(m_buttonTitles[size_t(i)]);
    b->setTitleColor(i == m_destructiveIndex ? gfx::Color::rgba(1, 59 / 255.0, 48 / 255.0)
                                             : gfx::Color::rgba(0, 122 / 255.0, 1));
    b->titleLabel()->setFont(gfx::Font::systemFont(20));
    b->addTarget(this, [weak, i](Control&, const Event*) {
      if (auto self = weak.lock(); self && self->m_visible && !self->m_dismissing) self->dismiss(i, true, true);
    }, ControlEventTouchUpInside);
    addSubview(b);
    m_buttons[size_t(i)] = b;
    addHairline();
  }
  setNeedsLayout();
}

void ActionSheet::showInView(View& view) { present(view, std::nullopt, true); }

void ActionSheet::showFromRect(const gfx::Rect& rect, View& inView, bool animated) { present(inView, rect, animated); }

void ActionSheet::present(View& view, const std::optional<gfx::Rect>& rect, bool animated) {
  if (m_visible) return;
  Window* w = view.window();
  if (!w) w = Application::shared().keyWindow();
  if (!w) return;
  auto host = std::static_pointer_cast<Window>(w->shared());
  auto self = std::static_pointer_cast<ActionSheet>(shared());
  build();
  gfx::Size size = sizeThatFits(gfx::Size());
  gfx::Rect area = host->bounds();
  PopoverCardView::Placement placement =
      rect ? PopoverCardView::place(view.convertRectTo(*rect, nullptr), size, PopoverArrowDirectionAny, area)
           : PopoverCardView::centred(size, view.convertRectTo(view.bounds(), nullptr));
  auto overlay = std::make_shared<PopoverDismissingView>(host->bounds());
  std::weak_ptr<ActionSheet> weak = self;
  overlay->onOutsideTouch = [weak] {
    if (auto s = weak.lock(); s && s->m_visible && !s->m_dismissing) s->dismiss(s->m_cancelIndex, true, true);
  };
  auto card = std::make_shared<PopoverCardView>();
  card->apply(placement);
  setFrame(gfx::Rect(gfx::Point(), placement.contentFrame.size));
  card->contentView()->addSubview(self);
  overlay->addSubview(card);
  m_overlay = overlay;
  m_card = card;
  if (m_delegate) m_delegate->willPresentActionSheet(*this);
  m_visible = true;
  host->addSubview(overlay);
  overlay->layoutIfNeeded();
  if (!animated) {
    if (m_delegate) m_delegate->didPresentActionSheet(*this);
    return;
  }
  card->setAlpha(0);
  View::animate(FadeDuration, 0, AnimationAllowUserInteraction, [&] { card->setAlpha(1); }, [weak](bool) {
    auto s = weak.lock();
    if (s && s->m_visible && !s->m_dismissing && s->m_delegate) s->m_delegate->didPresentActionSheet(*s);
  });
}

void ActionSheet::dismissWithClickedButtonIndex(int buttonIndex, bool animated) {
  if (!m_visible || m_dismissing) return;
  dismiss(buttonIndex, animated, false);
}

void ActionSheet::cancel() {
  if (!m_visible || m_dismissing) return;
  if (m_delegate) m_delegate->actionSheetCancel(*this);
  else dismissWithClickedButtonIndex(m_cancelIndex, false);
}

void ActionSheet::dismiss(int buttonIndex, bool animated, bool clicked) {
  auto keep = std::static_pointer_cast<ActionSheet>(shared());
  m_dismissing = true;
  if (clicked && m_delegate) m_delegate->clickedButtonAtIndex(*this, buttonIndex);
  if (m_delegate) m_delegate->willDismissWithButtonIndex(*this, buttonIndex);
  setUserInteractionEnabled(false);
  auto card = m_card.lock();
  if (!animated || !card) {
    finishDismissal(buttonIndex);
    return;
  }
  View::animate(FadeDuration, 0, 0, [&] { card->setAlpha(0); },
                [keep, buttonIndex](bool) { keep->finishDismissal(buttonIndex); });
}

void ActionSheet::finishDismissal(int buttonIndex) {
  auto keep = std::static_pointer_cast<ActionSheet>(shared());
  if (!m_dismissing) return;
  m_visible = false;
  m_dismissing = false;
  removeFromSuperview();
  if (auto overlay = m_overlay.lock()) {
    overlay->onOutsideTouch = nullptr;
    overlay->removeFromSuperview();
  }
  m_overlay.reset();
  m_card.reset();
  setUserInteractionEnabled(true);
  if (m_delegate) m_delegate->didDismissWithButtonIndex(*this, buttonIndex);
}

}  // namespace ui
