#include "platform/ui/AlertView.h"

#include <algorithm>
#include <cmath>

#include "platform/gfx/Font.h"
#include "platform/gfx/Layer.h"
#include "platform/gfx/Transform.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/Keyboard.h"
#include "platform/ui/Label.h"
#include "platform/ui/Screen.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Window.h"

namespace ui {
namespace {

constexpr double SidePadding = 16;
constexpr double TopPadding = 19;
constexpr double BottomPadding = 19;
constexpr double TitleMessageSpacing = 4;
constexpr double AnimationDuration = 0.2;
constexpr double PopScale = 1.15;
constexpr double FieldsTopSpacing = 12;
constexpr double FieldTextInset = 6;

const gfx::Color& buttonTitleColor() {
  static const gfx::Color c = gfx::Color::rgba(0, 122 / 255.0, 1);
  return c;
}

// The queue of shown alerts: the first is on screen. An alert on screen and its window hold each
// other, so the queue is emptied through AlertView::reset at exit.
struct AlertQueue {
  std::vector<std::shared_ptr<AlertView>> alerts;
  ~AlertQueue() { AlertView::reset(); }
};

std::vector<std::shared_ptr<AlertView>>& alertQueue() {
  static AlertQueue queue;
  return queue.alerts;
}

// The alert level's window: full screen, dimmed, taking every touch, with the card centred.
class AlertWindow : public Window {
 public:
  explicit AlertWindow(const gfx::Rect& frame) : Window(frame) {}
  void layoutSubviews() override {
    gfx::Rect b = bounds();
    // With the keyboard up (an alert with text fields), the card is centred in what is left above it.
    gfx::Rect free = b;
    if (Keyboard::shared().isVisible()) {
      double top = convertPointFromScreen(gfx::Point{0, Keyboard::shared().frame().minY()}).y;
      if (top > b.minY() && top < b.maxY()) free = gfx::Rect(b.x(), b.y(), b.width(), top - b.minY());
    }
    for (const auto& v : subviews()) {
      if (auto alert = std::dynamic_pointer_cast<AlertView>(v)) {
        gfx::Size s = alert->sizeThatFits(b.size);
        // On whole points, so the hairlines stay sharp.
        alert->setBounds(gfx::Rect(0, 0, s.width, s.height));
        alert->setCenter(gfx::Point{std::round(free.midX()), std::round(std::max(free.midY(), s.height / 2))});
      } else {
        v->setFrame(b);
      }
    }
  }
};

// The window the alert's window lies over and takes its geometry from: the key window, else the
// first one.
std::shared_ptr<Window> referenceWindow() {
  auto& app = Application::shared();
  if (Window* key = app.keyWindow()) return std::static_pointer_cast<Window>(key->shared());
  auto windows = app.windows();
  return windows.empty() ? nullptr : windows.front();
}

std::shared_ptr<TextField> makeField(const std::string& placeholder, bool secure) {
  auto field = TextField::create();
  field->setPlaceholder(placeholder);
  field->setSecureTextEntry(secure);
  field->setFont(gfx::Font::systemFont(13));
  field->setBorderStyle(TextBorderStyle::None);
  field->setBackgroundColor(gfx::Color::whiteColor());
  field->layer()->setBorderWidth(1 / Screen::main().drawingScale());
  field->layer()->setBorderColor(gfx::Color::white(0.75));
  // The text keeps off the border.
  auto inset = View::create(gfx::Rect(0, 0, FieldTextInset, 1));
  inset->setBackgroundColor(std::nullopt);
  inset->setUserInteractionEnabled(false);
  field->setLeftView(inset);
  field->setLeftViewMode(TextFieldViewMode::Always);
  return field;
}

}  // namespace

void AlertViewDelegate::alertViewCancel(AlertView& alertView) {
  alertView.dismissWithClickedButtonIndex(alertView.cancelButtonIndex(), false);
}

std::shared_ptr<AlertView> AlertView::create(const std::string& title, const std::string& message,
                                             AlertViewDelegate* delegate,
                                             const std::optional<std::string>& cancelButtonTitle,
                                             const std::vector<std::string>& otherButtonTitles) {
  auto alert = std::make_shared<AlertView>();
  alert->setTitle(title);
  alert->setMessage(message);
  alert->m_delegate = delegate;
  if (cancelButtonTitle) alert->m_cancelIndex = alert->addButtonWithTitle(*cancelButtonTitle);
  for (const auto& t : otherButtonTitles) alert->addButtonWithTitle(t);
  return alert;
}

AlertView::AlertView() : ButtonListView(gfx::Rect(0, 0, Width, 0)) {
  // The card is frosted: the compositor blurs what lies behind it (the dimmed screen) before the
  // card's white wash is drawn over it, and does so every frame that changes anything the blur
  // reads, so the backdrop stays live. The wash alone, without the blur, would let text behind
  // the card read through.
  layer()->setBackdropBlurRadius(BackdropBlurRadius);
  setBackgroundColor(gfx::Color::white(1, BackdropWash));
  layer()->setCornerRadius(CornerRadius);
  setClipsToBounds(true);
  m_titleLabel = Label::create();
  m_titleLabel->setFont(gfx::Font::boldSystemFont(17));
  m_messageLabel = Label::create();
  m_messageLabel->setFont(gfx::Font::systemFont(13));
  for (const auto& l : {m_titleLabel, m_messageLabel}) {
    l->setNumberOfLines(0);
    l->setTextAlignment(gfx::TextAlignment::Center);
    l->setBackgroundColor(std::nullopt);
    addSubview(l);
  }
}

AlertView::~AlertView() = default;

void AlertView::setTitle(const std::string& title) {
  m_title = title;
  m_titleLabel->setText(title);
  setNeedsLayout();
}

void AlertView::setMessage(const std::string& message) {
  m_message = message;
  m_messageLabel->setText(message);
  setNeedsLayout();
}

int AlertView::firstOtherButtonIndex() const {
  for (int i = 0; i < numberOfButtons(); ++i) {
    if (i != m_cancelIndex) return i;
  }
  return -1;
}

void AlertView::setAlertViewStyle(AlertViewStyle style) {
  if (style == m_style) return;
  m_style = style;
  for (auto& f : m_fields) {
    f->resignFirstResponder();
    f->removeFromSuperview();
  }
  m_fields.clear();
  switch (style) {
    case AlertViewStyle::Default: break;
    case AlertViewStyle::SecureTextInput: m_fields.push_back(makeField("", true)); break;
    case AlertViewStyle::PlainTextInput: m_fields.push_back(makeField("", false)); break;
    case AlertViewStyle::LoginAndPasswordInput:
      m_fields.push_back(makeField("Login", false));
      m_fields.push_back(makeField("Password", true));
      break;
  }
  std::weak_ptr<AlertView> weak = std::static_pointer_cast<AlertView>(weak_from_this().lock());
  for (auto& f : m_fields) {
    f->addTarget(this, [weak](Control&, const Event*) {
      if (auto self = weak.lock()) self->updateFirstOtherButton();
    }, ControlEventEditingChanged);
    addSubview(f);
  }
  setNeedsLayout();
}

std::shared_ptr<TextField> AlertView::textFieldAtIndex(int index) const {
  if (index < 0 || size_t(index) >= m_fields.size()) return nullptr;
  return m_fields[size_t(index)];
}

void AlertView::updateFirstOtherButton() {
  int first = firstOtherButtonIndex();
  if (first < 0 || size_t(first) >= m_buttons.size() || !m_delegate) return;
  m_buttons[size_t(first)]->setEnabled(m_delegate->alertViewShouldEnableFirstOtherButton(*this));
}

bool AlertView::isQueued() const {
  const auto& q = alertQueue();
  return std::any_of(q.begin(), q.end(), [this](const auto& a) { return a.get() == this; });
}

std::vector<std::shared_ptr<AlertView>> AlertView::queuedAlerts() {
  dropOrphans();
  return alertQueue();
}

void AlertView::dropOrphans() {
  auto& q = alertQueue();
  if (q.empty() || !q.front()->m_visible || !q.front()->m_window) return;
  // The application forgot its windows (it was reset): the alert on screen went with them.
  const auto& w = q.front()->m_window;
  auto windows = Application::shared().windows();
  if (std::find(windows.begin(), windows.end(), w) != windows.end()) return;
  reset();
}

void AlertView::reset() {
  auto q = std::move(alertQueue());
  alertQueue().clear();
  for (auto& a : q) {
    a->m_visible = false;
    a->m_dismissing = false;
    a->removeFromSuperview();
    if (auto w = std::move(a->m_window)) {
      w->setHidden(true);
      Application::shared().unregisterWindow(w.get());
    }
    a->m_dimmingView.reset();
  }
}

// Side by side: cancel on the left. Stacked: the others in order, then cancel at the bottom.
std::vector<int> AlertView::buttonOrder() const {
  std::vector<int> order;
  if (sideBySide() && m_cancelIndex >= 0) order.push_back(m_cancelIndex);
  for (int i = 0; i < numberOfButtons(); ++i) {
    if (i != m_cancelIndex) order.push_back(i);
  }
  if (!sideBySide() && m_cancelIndex >= 0) order.push_back(m_cancelIndex);
  return order;
}

double AlertView::textHeight() const {
  double inner = Width - 2 * SidePadding;
  double h = TopPadding;
  if (!m_title.empty()) h += m_titleLabel->sizeThatFits(gfx::Size{inner, 0}).height;
  if (!m_message.empty()) {
    if (!m_title.empty()) h += TitleMessageSpacing;
    h += m_messageLabel->sizeThatFits(gfx::Size{inner, 0}).height;
  }
  return h + fieldsHeight() + BottomPadding;
}

// The fields stacked under the text, sharing their borders.
double AlertView::fieldsHeight() const {
  if (m_fields.empty()) return 0;
  double hairline = 1 / Screen::main().drawingScale();
  return FieldsTopSpacing + double(m_fields.size()) * TextFieldHeight - double(m_fields.size() - 1) * hairline;
}

gfx::Size AlertView::sizeThatFits(gfx::Size) const {
  int rows = numberOfButtons() == 0 ? 0 : (sideBySide() ? 1 : numberOfButtons());
  return gfx::Size{Width, textHeight() + rows * ButtonHeight};
}

void AlertView::layoutSubviews() {
  double inner = Width - 2 * SidePadding;
  double y = TopPadding;
  m_titleLabel->setHidden(m_title.empty());
  m_messageLabel->setHidden(m_message.empty());
  if (!m_title.empty()) {
    double h = m_titleLabel->sizeThatFits(gfx::Size{inner, 0}).height;
    m_titleLabel->setFrame(gfx::Rect(SidePadding, y, inner, h));
    y += h;
  }
  if (!m_message.empty()) {
    if (!m_title.empty()) y += TitleMessageSpacing;
    double h = m_messageLabel->sizeThatFits(gfx::Size{inner, 0}).height;
    m_messageLabel->setFrame(gfx::Rect(SidePadding, y, inner, h));
    y += h;
  }
  double hairline = 1 / Screen::main().drawingScale();
  if (!m_fields.empty()) {
    y += FieldsTopSpacing;
    for (auto& f : m_fields) {
      f->setFrame(gfx::Rect(SidePadding, y, inner, TextFieldHeight));
      y += TextFieldHeight - hairline;
    }
    y += hairline;
  }
  y += BottomPadding;
  if (m_buttons.empty()) return;

  auto order = buttonOrder();
  size_t line = 0;
  auto placeLine = [&](const gfx::Rect& r) {
    if (line < m_hairlines.size()) m_hairlines[line++]->setFrame(r);
  };
  if (sideBySide()) {
    double half = Width / 2;
    m_buttons[size_t(order[0])]->setFrame(gfx::Rect(0, y, half, ButtonHeight));
    m_buttons[size_t(order[1])]->setFrame(gfx::Rect(half, y, Width - half, ButtonHeight));
    placeLine(gfx::Rect(0, y, Width, hairline));
    placeLine(gfx::Rect(half, y, hairline, ButtonHeight));
  } else {
    for (int index : order) {
      m_buttons[size_t(index)]->setFrame(gfx::Rect(0, y, Width, ButtonHeight));
      placeLine(gfx::Rect(0, y, Width, hairline));
      y += ButtonHeight;
    }
  }
}

void AlertView::buildButtons() {
  removeButtonViews();
  m_titleLabel->setText(m_title);
  m_messageLabel->setText(m_message);
  std::weak_ptr<AlertView> weak = std::static_pointer_cast<AlertView>(shared());
  for (int i = 0; i < numberOfButtons(); ++i) {
    auto b = Button::create(ButtonType::Custom);
    b->setTitle(m_buttonTitles[size_t(i)]);
    b->setTitleColor(buttonTitleColor());
    b->setTitleColor(gfx::Color::white(0.6), ControlStateDisabled);
    b->titleLabel()->setFont(i == m_cancelIndex ? gfx::Font::boldSystemFont(17) : gfx::Font::systemFont(17));
    b->addTarget(this, [weak, i](Control&, const Event*) {
      if (auto self = weak.lock()) self->buttonTapped(i);
    }, ControlEventTouchUpInside);
    addSubview(b);
    m_buttons.push_back(b);
  }
  int lines = numberOfButtons() == 0 ? 0 : (sideBySide() ? 2 : numberOfButtons());
  for (int i = 0; i < lines; ++i) addHairline();
  setNeedsLayout();
}

void AlertView::show() {
  dropOrphans();
  if (isQueued()) return;
  auto self = std::static_pointer_cast<AlertView>(shared());
  alertQueue().push_back(self);
  if (alertQueue().size() == 1) present();
}

void AlertView::present() {
  auto keep = std::static_pointer_cast<AlertView>(shared());
  buildButtons();
  if (int first = firstOtherButtonIndex(); first >= 0 && m_delegate)
    m_buttons[size_t(first)]->setEnabled(m_delegate->alertViewShouldEnableFirstOtherButton(*this));

  // A window of its own over the one it refers to, turned and sized as that one is.
  auto reference = referenceWindow();
  gfx::Rect bounds(gfx::Point(), reference ? reference->bounds().size : Screen::main().bounds().size);
  m_window = std::make_shared<AlertWindow>(bounds);
  if (reference) {
    m_window->setCenter(reference->center());
    m_window->setTransform(reference->transform());
  }
  m_window->setWindowLevel(WindowLevelAlert);
  m_window->setBackgroundColor(std::nullopt);
  m_dimmingView = View::create(bounds);
  m_dimmingView->setBackgroundColor(gfx::Color::rgba(0, 0, 0, 0.4));
  m_window->addSubview(m_dimmingView);
  m_window->addSubview(keep);
  setUserInteractionEnabled(true);
  if (m_delegate) m_delegate->willPresentAlertView(*this);
  m_visible = true;
  m_window->setHidden(false);
  m_window->layoutIfNeeded();
  if (!m_fields.empty() && m_fields.front()->becomeFirstResponder()) {
    // The keyboard comes up with it: the card moves above.
    m_window->setNeedsLayout();
    m_window->layoutIfNeeded();
  }

  // Pops in: the card from a little larger and transparent, the dimming fading in. Buttons take
  // touches at once.
  m_dimmingView->setAlpha(0);
  setAlpha(0);
  setTransform(gfx::AffineTransform::scale(PopScale, PopScale));
  std::weak_ptr<AlertView> weak = keep;
  View::animate(AnimationDuration, 0, AnimationAllowUserInteraction | AnimationCurveEaseOut, [&] {
    m_dimmingView->setAlpha(1);
    setAlpha(1);
    setTransform(gfx::AffineTransform());
  }, [weak](bool) {
    auto self = weak.lock();
    if (self && self->m_visible && !self->m_dismissing && self->m_delegate) self->m_delegate->didPresentAlertView(*self);
  });
}

void AlertView::buttonTapped(int index) {
  if (!m_visible || m_dismissing) return;
  dismiss(index, true, true);
}

void AlertView::dismissWithClickedButtonIndex(int buttonIndex, bool animated) {
  if (m_dismissing) return;
  if (!m_visible) {
    // Still waiting in the queue: it leaves it without having been seen.
    if (!isQueued()) return;
    auto keep = std::static_pointer_cast<AlertView>(shared());
    std::erase(alertQueue(), keep);
    if (m_delegate) m_delegate->willDismissWithButtonIndex(*this, buttonIndex);
    if (m_delegate) m_delegate->didDismissWithButtonIndex(*this, buttonIndex);
    return;
  }
  dismiss(buttonIndex, animated, false);
}

void AlertView::cancel() {
  if (!isQueued() || m_dismissing) return;
  if (m_delegate) m_delegate->alertViewCancel(*this);
  else dismissWithClickedButtonIndex(m_cancelIndex, false);
}

void AlertView::dismiss(int buttonIndex, bool animated, bool clicked) {
  auto keep = std::static_pointer_cast<AlertView>(shared());
  m_dismissing = true;
  if (clicked && m_delegate) m_delegate->clickedButtonAtIndex(*this, buttonIndex);
  if (m_delegate) m_delegate->willDismissWithButtonIndex(*this, buttonIndex);
  // The dimmed window keeps swallowing touches until it is gone; the buttons no longer answer.
  setUserInteractionEnabled(false);
  for (auto& f : m_fields) f->resignFirstResponder();
  if (!animated || !m_window) {
    finishDismissal(buttonIndex);
    return;
  }
  View::animate(AnimationDuration, 0, AnimationCurveEaseIn, [&] {
    setAlpha(0);
    if (m_dimmingView) m_dimmingView->setAlpha(0);
  }, [keep, buttonIndex](bool) { keep->finishDismissal(buttonIndex); });
}

void AlertView::finishDismissal(int buttonIndex) {
  auto keep = std::static_pointer_cast<AlertView>(shared());
  if (!m_dismissing) return;
  m_visible = false;
  m_dismissing = false;
  auto window = std::move(m_window);
  m_window.reset();
  if (window) {
    removeFromSuperview();
    window->setHidden(true);
    Application::shared().unregisterWindow(window.get());
  }
  m_dimmingView.reset();
  setAlpha(1);
  setTransform(gfx::AffineTransform());
  bool wasFront = !alertQueue().empty() && alertQueue().front() == keep;
  std::erase(alertQueue(), keep);
  if (m_delegate) m_delegate->didDismissWithButtonIndex(*this, buttonIndex);
  // The next alert comes up once this one is gone (unless the delegate already showed one that
  // is now on screen).
  if (wasFront && !alertQueue().empty() && !alertQueue().front()->m_visible) alertQueue().front()->present();
}

}  // namespace ui
