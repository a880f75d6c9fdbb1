#include "app/WGAlertView.h"

#include "app/APPFont.h"
#include "app/ColorHexadecimal.h"
#include "app/ScreenSize.h"
#include "app/SubsidiaryClass.h"
#include "platform/gfx/Font.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"

#include <algorithm>

namespace kt {

namespace {

constexpr const char* DefaultButtonTitle = "确定";
constexpr const char* ButtonTitleColor = "0082ff";

std::shared_ptr<ui::Label> makeLabel(const gfx::Rect& frame, std::shared_ptr<const gfx::Font> font) {
  auto label = ui::Label::create(frame);
  label->setTextColor(gfx::Color::black());
  label->setFont(std::move(font));
  label->setTextAlignment(gfx::TextAlignment::Center);
  label->setLineBreakMode(gfx::LineBreakMode::CharWrap);
  label->setNumberOfLines(0);
  label->setBackgroundColor(gfx::Color::clear());
  return label;
}

std::shared_ptr<ui::View> makeRule(const gfx::Rect& frame) {
  auto rule = ui::View::create(frame);
  rule->setBackgroundColor(gfx::Color::lightGray());
  return rule;
}

}  // namespace

std::shared_ptr<WGAlertView> WGAlertView::create(const std::string& title, const std::string& message,
                                                 WGAlertViewDelegate* delegate,
                                                 const std::optional<std::vector<std::string>>& buttonTitles) {
  auto alert = std::make_shared<WGAlertView>();
  const gfx::Rect screen = ui::Screen::main().bounds();
  const double w = screen.size.width;
  const double h = screen.size.height;
  alert->setFrame(gfx::Rect(0.2 * w, h / 2 - 50, 0.6 * w, 100));
  alert->setBackgroundColor(gfx::Color::whiteColor());
  alert->layer()->setCornerRadius(10);
  alert->setClipsToBounds(true);
  alert->m_textAlignment = AlignCenter;
  // The delegate argument is handed on but not kept: setDelegate() alone sets the receiver.
  alert->suitForTitle(title, message, delegate, buttonTitles);
  return alert;
}

WGAlertView::WGAlertView() : ui::View(gfx::Rect()) {}

WGAlertView::~WGAlertView() = default;

void WGAlertView::suitForTitle(const std::string& title, const std::string& message, WGAlertViewDelegate* delegate,
                               const std::optional<std::vector<std::string>>& buttonTitles) {
  (void)delegate;
  const bool large = isTwelveNineInch();
  const double f = frame().size.width;

  // Title: no row at all when there is no title.
  auto titleLabel = makeLabel(gfx::Rect(10, 5, f - 20, 15), gfx::Font::boldSystemFont(16));
  titleLabel->setText(title);
  const double t = title.empty() ? 0.0 : SubsidiaryClass::fontHeight(title, 16, static_cast<float>(f - 20));
  titleLabel->setFrame(gfx::Rect(10, 5, f - 20, t));
  addSubview(titleLabel);

  // Message: 1.4 times its text height, at least 30 points (also when there is no message).
  m_labelMsg = makeLabel(gfx::Rect(10, t + 15, f - 20, 15), gfx::Font::systemFont(14));
  m_labelMsg->setText(message);
  const double m = std::max(1.4 * SubsidiaryClass::fontHeight(message, 14, static_cast<float>(f - 20)), 30.0);
  m_labelMsg->setFrame(gfx::Rect(10, t + 15, f - 20, m));
  addSubview(m_labelMsg);

  addSubview(makeRule(gfx::Rect(0, t + 20 + m, f, 0.6)));

  const std::vector<std::string> titles = buttonTitles ? *buttonTitles : std::vector<std::string>{DefaultButtonTitle};
  const size_t n = titles.size();
  const double rowY = t + 21 + m;
  const double captionHeight = large ? 42 : 32;
  const double buttonHeight = large ? 46 : 35;
  const gfx::Color captionColor =
      ColorHexadecimal::colorWithHexString(ButtonTitleColor).value_or(gfx::Color::rgba(0, 130.0 / 255, 1));
  std::weak_ptr<ui::Responder> weakSelf = weak_from_this();
  for (size_t i = 0; i < n; ++i) {
    const double x = f * static_cast<double>(i) / static_cast<double>(n);
    const double width = f / static_cast<double>(n);
    auto caption = makeLabel(gfx::Rect(x, rowY, width, captionHeight), APPFont::getSysFont_size28());
    caption->setLineBreakMode(gfx::LineBreakMode::TruncateTail);
    caption->setNumberOfLines(1);
    caption->setText(titles[i]);
    caption->setTextColor(captionColor);
    addSubview(caption);

    auto button = ui::Button::create(ui::ButtonType::Custom, gfx::Rect(x, rowY, width, buttonHeight));
    button->setBackgroundColor(gfx::Color::clear());
    button->setTag(FirstButtonTag + static_cast<int>(i));
    button->addTarget(
        this,
        [weakSelf](ui::Control& sender, const ui::Event*) {
          // Held across the call: the tap ends in the alert's removal.
          if (auto self = std::static_pointer_cast<WGAlertView>(weakSelf.lock())) self->actionBtnClick(sender);
        },
        ui::ControlEventTouchUpInside);
    addSubview(button);
  }
  for (size_t j = 1; j < n; ++j) {
    const double x = f * static_cast<double>(j) / static_cast<double>(n);
    addSubview(makeRule(gfx::Rect(x, rowY, 0.6, captionHeight)));
  }

  const gfx::Rect screen = ui::Screen::main().bounds();
  const double w = screen.size.width;
  const double h = screen.size.height;
  setFrame(gfx::Rect(0.2 * w, (h - 51 - t - m) / 2, f, (large ? 63 : 53) + t + m));
}

void WGAlertView::show() {
  ui::Window* window = ui::Application::shared().keyWindow();
  if (!window || this->window()) return;

  auto holder = ui::View::create(window->bounds());
  holder->setBackgroundColor(gfx::Color::clear());
  holder->setUserInteractionEnabled(true);
  auto veil = ui::View::create(window->frame());
  veil->setBackgroundColor(gfx::Color::white(0, 0.1));

  holder->addSubview(veil);
  window->addSubview(holder);
  holder->addSubview(shared());
  m_holder = holder;

  setAlpha(0);
  setNeedsLayout();
  ui::View::animate(0.3, [this, veil] {
    setAlpha(1);
    veil->setBackgroundColor(gfx::Color::white(0, 0.4));
  });
}

void WGAlertView::actionBtnClick(const ui::Control& button) {
  const int index = button.tag() - FirstButtonTag;
  if (WGAlertViewDelegate* receiver = m_delegate.get()) receiver->didClickTheActionButtonAtIndex(index);
  dismissss();
}

void WGAlertView::dismissss() {
  auto holder = m_holder.lock();
  if (!holder) return;
  ui::View::animate(
      0.1, [holder] { holder->setAlpha(0); }, [holder](bool) { holder->removeFromSuperview(); });
}

void WGAlertView::layoutSubviews() {
  if (!m_labelMsg) return;
  switch (m_textAlignment) {
    case AlignLeft: m_labelMsg->setTextAlignment(gfx::TextAlignment::Left); break;
    case AlignRight: m_labelMsg->setTextAlignment(gfx::TextAlignment::Right); break;
    case AlignCenter: m_labelMsg->setTextAlignment(gfx::TextAlignment::Center); break;
    default: break;
  }
}

}  // namespace kt
