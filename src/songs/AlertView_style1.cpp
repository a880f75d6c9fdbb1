#include "songs/AlertView_style1.h"

#include "app/APPFont.h"
#include "app/AppDelegate.h"
#include "app/ColorHexadecimal.h"
#include "app/ScreenSize.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/Window.h"

#include <cmath>

namespace kt {

namespace {

constexpr const char* DefaultButtonTitle = "确定";
constexpr double BoxWidth = 492;
// The 12.9-inch tablet scales the horizontal button values by exactly this factor.
constexpr double LargeFactor = 1.333;

gfx::Color white() { return ColorHexadecimal::colorWithHexString("FFFFFF").value_or(gfx::Color::whiteColor()); }

std::shared_ptr<ui::Label> makeWhiteLabel(const gfx::Rect& frame) {
  auto label = ui::Label::create(frame);
  label->setTextColor(white());
  label->setFont(APPFont::getSysFont_size36());
  label->setTextAlignment(gfx::TextAlignment::Center);
  label->setBackgroundColor(gfx::Color::clear());
  return label;
}

// The window the alert goes on: the application delegate's, else (without one) the key window.
ui::Window* alertWindow() {
  if (AppDelegate* app = AppDelegate::current(); app && app->window()) return app->window().get();
  return ui::Application::shared().keyWindow();
}

}  // namespace

std::shared_ptr<AlertView_style1> AlertView_style1::create(
    const std::string& message, AlertView_style1Delegate* delegate,
    const std::optional<std::vector<std::string>>& buttonTitles) {
  auto alert = std::make_shared<AlertView_style1>();
  alert->suitForMessage(message, delegate, buttonTitles);
  return alert;
}

AlertView_style1::AlertView_style1() : ui::View(gfx::Rect()) {}

AlertView_style1::~AlertView_style1() = default;

void AlertView_style1::suitForMessage(const std::string& message, AlertView_style1Delegate* delegate,
                                      const std::optional<std::vector<std::string>>& buttonTitles) {
  // The delegate argument is not kept: setDelegate() alone sets the receiver.
  (void)delegate;
  const bool large = isTwelveNineInch();
  setFrame(large ? gfx::Rect(354, 306, 655, 336) : gfx::Rect(266, 230, BoxWidth, 252));
  setBackgroundColor(gfx::Color::whiteColor());
  layer()->setCornerRadius(10);
  setClipsToBounds(true);

  auto background = ui::ImageView::create(large ? gfx::Rect(0, 0, 655, 336) : gfx::Rect(0, 0, BoxWidth, 252));
  background->setImage(gfx::Image::named("Alert_chooseSongs"));
  addSubview(background);

  // A fixed frame: the message is not measured, and what does not fit its height is not shown.
  m_labelMsg = makeWhiteLabel(large ? gfx::Rect(0, 122, 655, 36) : gfx::Rect(0, 92, BoxWidth, 27));
  m_labelMsg->setText(message);
  m_labelMsg->setLineBreakMode(gfx::LineBreakMode::CharWrap);
  m_labelMsg->setNumberOfLines(0);
  addSubview(m_labelMsg);

  // An empty list would leave a modal box that nothing can close: it gets "确定" as well.
  const std::vector<std::string> titles =
      buttonTitles && !buttonTitles->empty() ? *buttonTitles : std::vector<std::string>{DefaultButtonTitle};
  const unsigned n = static_cast<unsigned>(titles.size());
  const unsigned w = static_cast<unsigned>(BoxWidth) / n;
  // The left edge of column i, and a horizontal value for the current screen.
  auto x = [n](unsigned i) { return i * static_cast<unsigned>(BoxWidth) / n; };
  auto horizontal = [large](unsigned v) {
    return large ? std::floor(static_cast<double>(v) * LargeFactor) : static_cast<double>(v);
  };

  std::weak_ptr<ui::Responder> weakSelf = weak_from_this();
  for (unsigned i = 0; i < n; ++i) {
    auto caption = makeWhiteLabel(large ? gfx::Rect(horizontal(x(i)), 257, horizontal(w), 36)
                                        : gfx::Rect(x(i), 193, w, 27));
    caption->setText(titles[i]);
    addSubview(caption);

    auto button = ui::Button::create(ui::ButtonType::Custom, large ? gfx::Rect(horizontal(x(i)), 229, horizontal(w), 93)
                                                                   : gfx::Rect(x(i), 172, w, 70));
    button->setBackgroundColor(gfx::Color::clear());
    button->setTag(FirstButtonTag + static_cast<int>(i));
    button->addTarget(
        this,
        [weakSelf](ui::Control& sender, const ui::Event*) {
          // Held across the call: the press ends in the alert's removal.
          if (auto self = std::static_pointer_cast<AlertView_style1>(weakSelf.lock())) self->actionBtnClick(sender);
        },
        ui::ControlEventTouchUpInside);
    addSubview(button);
  }
  for (unsigned k = 1; k < n; ++k) {
    auto separator = ui::Label::create(large ? gfx::Rect(horizontal(x(k)), 240, 2, 66) : gfx::Rect(x(k), 180, 2, 50));
    separator->setBackgroundColor(gfx::Color::lightGray());
    addSubview(separator);
  }
}

void AlertView_style1::show() {
  ui::Window* window = alertWindow();
  if (!window || container()) return;

  // Covers the whole window and takes every touch outside the box: the alert is modal.
  auto container = ui::View::create(window->bounds());
  container->setBackgroundColor(gfx::Color::clear());
  container->setUserInteractionEnabled(true);
  auto veil = ui::View::create(window->frame());
  veil->setBackgroundColor(gfx::Color::white(0, 0.1));

  container->addSubview(veil);
  window->addSubview(container);
  container->addSubview(shared());
  m_container = container;

  setAlpha(0);
  layoutIfNeeded();
  ui::View::animate(0.3, [self = shared(), veil] {
    self->setAlpha(1);
    veil->setBackgroundColor(gfx::Color::white(0, 0.4));
  });
}

void AlertView_style1::actionBtnClick(const ui::Control& button) {
  const int index = button.tag() - FirstButtonTag;
  if (AlertView_style1Delegate* receiver = m_delegate.get()) receiver->didClickTheActionButtonAtIndex(index);
  dismissss();
}

void AlertView_style1::dismissss() {
  // Exactly the container this alert made: a toast or another alert put on the window since
  // stays where it is.
  auto container = m_container.lock();
  if (!container) return;
  ui::View::animate(
      0.1, [container] { container->setAlpha(0); }, [container](bool) { container->removeFromSuperview(); });
}

void AlertView_style1::setDelegate(AlertView_style1Delegate* delegate) {
  m_delegate = delegate ? delegate->weakPtr() : nullptr;
}

}  // namespace kt
