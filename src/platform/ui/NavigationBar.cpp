#include "platform/ui/NavigationBar.h"

#include "platform/gfx/Context.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/ViewController.h"

namespace ui {
namespace {
constexpr double SideMargin = 8;
constexpr double ButtonWidth = 88;
}  // namespace

NavigationBar::NavigationBar(const gfx::Rect& frame) : View(frame) {
  setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleBottomMargin);
  m_titleLabel = Label::create();
  m_titleLabel->setFont(gfx::Font::boldSystemFont(17));
  m_titleLabel->setTextAlignment(gfx::TextAlignment::Center);
  m_titleLabel->setBackgroundColor(std::nullopt);
  m_titleLabel->setOpaque(false);
  addSubview(m_titleLabel);
  m_backButton = Button::create(ButtonType::System);
  m_backButton->setHidden(true);
  m_backButton->addTarget(this, [this](Control&, const Event*) {
    if (auto action = m_backAction) action();
  }, ControlEventTouchUpInside);
  addSubview(m_backButton);
}

void NavigationBar::setBarTintColor(std::optional<gfx::Color> color) {
  m_barTintColor = color;
  setNeedsDisplay();
}

void NavigationBar::setBackgroundImage(std::shared_ptr<const gfx::Image> image) {
  m_backgroundImage = std::move(image);
  setNeedsDisplay();
}

void NavigationBar::setTitleColor(const gfx::Color& color) { m_titleLabel->setTextColor(color); }

void NavigationBar::showItem(NavigationItem* item, std::optional<std::string> backTitle) {
  auto replace = [this](std::shared_ptr<View> old, std::shared_ptr<View> now) {
    if (old && old != now && old->superview() == this) old->removeFromSuperview();
    if (now && now->superview() != this) addSubview(now);
  };
  std::shared_ptr<View> titleView = item ? item->titleView() : nullptr;
  std::shared_ptr<Button> left = item ? item->leftBarButtonItem() : nullptr;
  std::shared_ptr<Button> right = item ? item->rightBarButtonItem() : nullptr;
  replace(m_titleView, titleView);
  replace(m_left, left);
  replace(m_right, right);
  m_titleView = titleView;
  m_left = left;
  m_right = right;
  m_titleLabel->setText(item && item->title() ? *item->title() : std::string());
  m_titleLabel->setHidden(titleView != nullptr);
  bool showBack = backTitle.has_value() && !left && !(item && item->hidesBackButton());
  m_backButton->setHidden(!showBack);
  if (showBack) m_backButton->setTitle(backTitle->empty() ? std::string("Back") : *backTitle);
  setNeedsLayout();
}

void NavigationBar::layoutSubviews() {
  gfx::Rect b = bounds();
  auto place = [&](const std::shared_ptr<View>& v, bool leftSide) {
    if (!v) return;
    gfx::Size s = v->frame().size;
    if (s.width <= 0 || s.height <= 0) s = gfx::Size{ButtonWidth, b.height() - 8};
    double x = leftSide ? SideMargin : b.width() - SideMargin - s.width;
    v->setFrame(gfx::Rect(x, (b.height() - s.height) / 2, s.width, s.height));
  };
  place(m_left, true);
  place(m_right, false);
  if (!m_backButton->isHidden()) m_backButton->setFrame(gfx::Rect(SideMargin, 4, ButtonWidth, b.height() - 8));
  double side = SideMargin * 2 + ButtonWidth;
  gfx::Rect middle(side, 0, std::max(0.0, b.width() - 2 * side), b.height());
  m_titleLabel->setFrame(middle);
  if (m_titleView) {
    gfx::Size s = m_titleView->frame().size;
    m_titleView->setCenter(gfx::Point{b.midX(), b.midY()});
    if (s.width <= 0) m_titleView->setFrame(middle);
  }
}

void NavigationBar::drawRect(gfx::Context& ctx, const gfx::Rect& /*rect*/) {
  gfx::Rect b = bounds();
  ctx.setFillColor(m_barTintColor.value_or(gfx::Color::white(0.97)));
  ctx.fillRect(b);
  if (m_backgroundImage) ctx.drawImage(*m_backgroundImage, b);
  // The hairline along the bottom edge.
  ctx.setFillColor(gfx::Color::white(0.7));
  ctx.fillRect(gfx::Rect(0, b.height() - 0.5, b.width(), 0.5));
}

}  // namespace ui
