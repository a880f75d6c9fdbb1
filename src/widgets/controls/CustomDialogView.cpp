#include "widgets/controls/CustomDialogView.h"

#include <cmath>

#include "platform/core/Log.h"
#include "platform/core/ThreadCheck.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/Layer.h"
#include "platform/gfx/Path.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/Device.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Keyboard.h"
#include "platform/ui/Label.h"
#include "platform/ui/Screen.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Window.h"

namespace kt {

namespace {

constexpr double Animation = 0.2;
constexpr double CornerRadius = 7;
const gfx::Size KeypadSize{300, 440};

gfx::Color grey(int level) { return gfx::Color::white(level / 255.0); }

}  // namespace

std::shared_ptr<CustomDialogView> CustomDialogView::createWithParentView(const std::shared_ptr<ui::View>& parentView) {
  auto dialog = create();
  if (parentView) {
    dialog->setFrame(parentView->frame());
    dialog->setParentView(parentView);
  }
  return dialog;
}

CustomDialogView::CustomDialogView() : ui::View(gfx::Rect(gfx::Point{}, ui::Screen::main().bounds().size)) {
  ui::Device::current().beginGeneratingDeviceOrientationNotifications();
  auto& center = core::NotificationCenter::defaultCenter();
  m_orientationObserver = core::Observation(center, ui::Device::OrientationDidChangeNotification, nullptr,
                                            [this](const core::Notification& n) { deviceOrientationDidChange(n); });
  m_keyboardShowObserver = core::Observation(center, ui::Keyboard::WillShowNotification, nullptr,
                                             [this](const core::Notification& n) { keyboardWillShow(n); });
  m_keyboardHideObserver = core::Observation(center, ui::Keyboard::WillHideNotification, nullptr,
                                             [this](const core::Notification& n) { keyboardWillHide(n); });
  m_title = ui::Label::create();
}

CustomDialogView::~CustomDialogView() { ui::Device::current().endGeneratingDeviceOrientationNotifications(); }

void CustomDialogView::setDelegate(CustomDialogViewDelegate* delegate) {
  m_delegate = delegate ? delegate->weakPtr() : core::WeakPtr<CustomDialogViewDelegate>();
}

// ---- Keys ----

void CustomDialogView::clickNum(int digit) {
  if (!m_pw) return;
  if (m_pw->text().size() > MaxDigits - 1) {
    ui::AlertView::create("提示", "输入长度不能大于8位!", nullptr, std::string("确定"))->show();
    return;
  }
  m_pw->setText(m_pw->text() + std::to_string(digit));
}

void CustomDialogView::clickDelNum() {
  if (!m_pw || m_pw->text().empty()) return;
  // The field only ever holds ASCII digits.
  std::string text = m_pw->text();
  text.pop_back();
  m_pw->setText(text);
}

void CustomDialogView::clickCancel() {
  // The delegate may let the last outside reference go; the dialog stays alive until it has closed.
  auto self = shared();
  if (auto* d = delegate()) d->customAlertViewClick(tag(), false, "");
  close();
}

void CustomDialogView::clickOK() {
  auto self = shared();
  if (auto* d = delegate()) d->customAlertViewClick(tag(), true, m_pw ? m_pw->text() : std::string());
  close();
}

void CustomDialogView::customIOS7dialogButtonTouchUpInside(int buttonIndex) {
  auto self = shared();
  if (auto* d = delegate()) {
    d->customIOS7dialogButtonTouchUpInside(*this, buttonIndex);
  } else {
    // Without a delegate of its own the dialog answers the row itself: it logs and closes.
    KT_LOG("Button Clicked! %d, %d", buttonIndex, tag());
    close();
  }
  if (m_onButtonTouchUpInside) m_onButtonTouchUpInside(*this, buttonIndex);
}

// ---- Sizes ----

gfx::Size CustomDialogView::countScreenSize() {
  const bool row = !m_buttonTitles.empty();
  m_buttonHeight = row ? 50 : 0;
  m_buttonSpacerHeight = row ? 1 : 0;
  return ui::Screen::main().bounds().size;
}

gfx::Size CustomDialogView::countDialogSize() const {
  const gfx::Rect content = m_containerView ? m_containerView->frame() : gfx::Rect();
  return {content.width(), content.height() + m_buttonHeight + m_buttonSpacerHeight};
}

gfx::Rect CustomDialogView::centredBox(gfx::Size screen, double liftedBy) const {
  const gfx::Size box = countDialogSize();
  return gfx::Rect((screen.width - box.width) / 2, (screen.height - liftedBy - box.height) / 2, box.width, box.height);
}

// ---- Building ----

std::shared_ptr<ui::Button> CustomDialogView::keypadButton(const gfx::Rect& frame,
                                                           std::function<void(CustomDialogView&)> action) {
  auto button = ui::Button::create(ui::ButtonType::Custom, frame);
  std::weak_ptr<ui::View> weakSelf = shared();
  button->addTarget(
      this,
      [weakSelf, action = std::move(action)](ui::Control&, const ui::Event*) {
        if (auto self = weakSelf.lock()) action(static_cast<CustomDialogView&>(*self));
      },
      ui::ControlEventTouchUpInside);
  return button;
}

void CustomDialogView::addViewToContainerView() {
  auto& content = *m_containerView;
  m_title->setFrame(gfx::Rect(0, 0, 235, 56));
  m_title->setTextAlignment(gfx::TextAlignment::Center);
  m_title->setFont(gfx::Font::systemFont(22));
  content.addSubview(m_title);

  const gfx::Rect fieldFrame(32, 56, 173, 41);
  auto fieldBackground = std::make_shared<ui::ImageView>(fieldFrame);
  fieldBackground->setImage(gfx::Image::named("alert_inputBg.png"));
  content.addSubview(fieldBackground);

  m_pw = ui::TextField::create(fieldFrame);
  m_pw->setFont(gfx::Font::boldSystemFont(30));
  m_pw->setSecureTextEntry(true);
  m_pw->setEnabled(false);
  content.addSubview(m_pw);

  auto del = keypadButton(gfx::Rect(212, 56, 58, 41), [](CustomDialogView& d) { d.clickDelNum(); });
  del->setBackgroundImage(gfx::Image::named("alert_delete"));
  del->setBackgroundImage(gfx::Image::named("alert_delete2"), ui::ControlStateHighlighted);
  content.addSubview(del);

  auto digitKey = [&](int n, const gfx::Rect& frame) {
    auto key = keypadButton(frame, [n](CustomDialogView& d) { d.clickNum(n); });
    key->setTag(n);
    key->setBackgroundImage(gfx::Image::named("alert_numBg"));
    key->setBackgroundImage(gfx::Image::named("alert_numBg2"), ui::ControlStateHighlighted);
    key->setTitle(std::to_string(n));
    key->setTitleColor(gfx::Color::black());
    key->titleLabel()->setFont(gfx::Font::boldSystemFont(35));
    content.addSubview(key);
  };
  for (int n = 1; n <= 9; ++n) digitKey(n, gfx::Rect(35 + 88 * ((n - 1) % 3), 120 + 77 * ((n - 1) / 3), 60, 60));
  digitKey(0, gfx::Rect(123, 351, 60, 60));

  auto textKey = [&](const char* title, const gfx::Rect& frame, std::function<void(CustomDialogView&)> action) {
    auto key = keypadButton(frame, std::move(action));
    key->setTitle(std::string(title));
    key->setTitleColor(gfx::Color::black());
    key->setTitleColor(gfx::Color::gray(), ui::ControlStateHighlighted);
    key->titleLabel()->setFont(gfx::Font::boldSystemFont(28));
    content.addSubview(key);
  };
  textKey("取消", gfx::Rect(35, 351, 60, 60), [](CustomDialogView& d) { d.clickCancel(); });
  textKey("确定", gfx::Rect(211, 351, 60, 60), [](CustomDialogView& d) { d.clickOK(); });
}

void CustomDialogView::addButtonsToView(ui::View& container) {
  if (m_buttonTitles.empty()) return;
  const double n = static_cast<double>(m_buttonTitles.size());
  const double width = container.bounds().width() / n;
  const double height = container.bounds().height();
  for (size_t i = 0; i < m_buttonTitles.size(); ++i) {
    const int index = static_cast<int>(i);
    auto button = keypadButton(gfx::Rect(i * width, height - m_buttonHeight, width, m_buttonHeight),
                               [index](CustomDialogView& d) { d.customIOS7dialogButtonTouchUpInside(index); });
    button->setTag(index);
    button->setTitle(m_buttonTitles[i]);
    button->setTitleColor(gfx::Color(0, 0.5, 1, 1));
    button->setTitleColor(gfx::Color(0.2, 0.2, 0.2, 0.5), ui::ControlStateHighlighted);
    button->titleLabel()->setFont(gfx::Font::boldSystemFont(14));
    button->layer()->setCornerRadius(CornerRadius);
    container.addSubview(button);
  }
}

std::shared_ptr<ui::View> CustomDialogView::createContainerView() {
  if (!m_containerView) {
    m_containerView = ui::View::create(gfx::Rect(gfx::Point{}, KeypadSize));
    addViewToContainerView();
  }
  const gfx::Size screen = countScreenSize();
  const gfx::Size box = countDialogSize();
  setFrame(gfx::Rect(0, 0, screen.width, screen.height));

  auto dialog = ui::View::create(centredBox(screen, 0));
  const gfx::Rect bounds = dialog->bounds();

  auto gradient = gfx::Layer::create(gfx::LayerKind::Gradient);
  gradient->setFrame(bounds);
  gradient->setColors({grey(218), grey(233), grey(218)});
  gradient->setCornerRadius(CornerRadius);
  dialog->layer()->insertSublayer(gradient, 0);

  auto& layer = *dialog->layer();
  layer.setCornerRadius(CornerRadius);
  layer.setBorderColor(grey(198));
  layer.setBorderWidth(1);
  layer.setShadowRadius(12);
  layer.setShadowOpacity(0.1);
  layer.setShadowOffset(gfx::Size{-6, -6});
  layer.setShadowColor(gfx::Color::black());
  layer.setShadowPath(gfx::Path::roundedRect(bounds, CornerRadius));

  auto separator = ui::View::create(
      gfx::Rect(0, box.height - m_buttonHeight - m_buttonSpacerHeight, box.width, m_buttonSpacerHeight));
  separator->setBackgroundColor(grey(198));
  dialog->addSubview(separator);

  dialog->addSubview(m_containerView);
  addButtonsToView(*dialog);
  return dialog;
}

// ---- Showing and closing ----

void CustomDialogView::show() {
  KT_ASSERT_MAIN_THREAD();
  m_dialogView = createContainerView();
  const double scale = ui::Screen::main().drawingScale();
  for (auto* l : {m_dialogView->layer().get(), layer().get()}) {
    l->setShouldRasterize(true);
    l->setRasterizationScale(scale);
  }
  // m_useMotionEffects: there is no tilt sensor to follow.

  setBackgroundColor(gfx::Color(0, 0, 0, 0));
  addSubview(m_dialogView);

  if (m_parentView) {
    m_parentView->addSubview(shared());
  } else {
    m_dialogView->setFrame(centredBox(countScreenSize(), 0));
    const auto windows = ui::Application::shared().windows();
    if (windows.empty()) {
      KT_LOG("no window to show the dialog on");
      return;
    }
    windows.front()->addSubview(shared());
  }

  m_dialogView->layer()->setOpacity(0.5);
  m_dialogView->layer()->setTransform(gfx::Transform3D::scale(1.3, 1.3, 1.0));
  auto dialog = m_dialogView;
  ui::View::animate(Animation, 0, 0, [this, dialog] {
    setBackgroundColor(gfx::Color(0, 0, 0, 0.4));
    dialog->layer()->setOpacity(1);
    dialog->layer()->setTransform(gfx::Transform3D::scale(1, 1, 1));
  });
}

void CustomDialogView::close() {
  KT_ASSERT_MAIN_THREAD();
  auto self = shared();
  auto dialog = m_dialogView;
  const gfx::Transform3D current = dialog ? dialog->layer()->transform() : gfx::Transform3D::identity();
  if (dialog) dialog->layer()->setOpacity(1);
  ui::View::animate(
      Animation, 0, 0,
      [this, dialog, current] {
        setBackgroundColor(gfx::Color(0, 0, 0, 0));
        if (!dialog) return;
        dialog->layer()->setTransform(current.concat(gfx::Transform3D::scale(0.6, 0.6, 1.0)));
        dialog->layer()->setOpacity(0);
      },
      [self](bool) {
        while (!self->subviews().empty()) self->subviews().back()->removeFromSuperview();
        self->removeFromSuperview();
      });
}

// ---- Rotation and keyboard ----

void CustomDialogView::deviceOrientationDidChange(const core::Notification& note) {
  if (m_parentView) return;
  changeOrientation(note);
}

void CustomDialogView::changeOrientation(const core::Notification& note) {
  const gfx::Size screen = ui::Screen::main().bounds().size;
  const double keyboard = ui::Keyboard::rectFromValue(note.userInfo[ui::Keyboard::FrameBeginUserInfoKey]).height();
  ui::View::animate(Animation, 0, 0, [this, screen, keyboard] {
    setFrame(gfx::Rect(0, 0, screen.width, screen.height));
    if (m_dialogView) m_dialogView->setFrame(centredBox(screen, keyboard));
  });
}

void CustomDialogView::keyboardWillShow(const core::Notification& note) {
  const gfx::Size screen = countScreenSize();
  const double keyboard = ui::Keyboard::rectFromValue(note.userInfo[ui::Keyboard::FrameBeginUserInfoKey]).height();
  if (!m_dialogView) return;
  auto dialog = m_dialogView;
  const gfx::Rect to = centredBox(screen, keyboard);
  ui::View::animate(Animation, 0, 0, [dialog, to] { dialog->setFrame(to); });
}

void CustomDialogView::keyboardWillHide(const core::Notification&) {
  const gfx::Size screen = countScreenSize();
  if (!m_dialogView) return;
  auto dialog = m_dialogView;
  const gfx::Rect to = centredBox(screen, 0);
  ui::View::animate(Animation, 0, 0, [dialog, to] { dialog->setFrame(to); });
}

}  // namespace kt
