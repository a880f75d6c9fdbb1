#include "platform/ui/RefreshControl.h"

#include <algorithm>

#include "platform/gfx/Font.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/Label.h"
#include "platform/ui/ScrollView.h"

namespace ui {

namespace {
constexpr double TitleHeight = 18;
}

RefreshControl::RefreshControl() : Control(gfx::Rect(0, 0, 320, Height)) {
  setBackgroundColor(std::nullopt);
  setAutoresizingMask(AutoresizingFlexibleWidth);
  m_spinner = ActivityIndicatorView::create(ActivityIndicatorStyle::Gray);
  m_spinner->setHidesWhenStopped(false);
  m_spinner->setAlpha(0);
  addSubview(m_spinner);
  m_titleLabel = Label::create();
  m_titleLabel->setFont(gfx::Font::systemFont(12));
  m_titleLabel->setTextAlignment(gfx::TextAlignment::Center);
  m_titleLabel->setBackgroundColor(std::nullopt);
  m_titleLabel->setHidden(true);
  addSubview(m_titleLabel);
  updateAppearance();
}

// A subview cannot outlive its place in the superview, so the offset observer (which is dropped
// on removal) never sees a destroyed control.
RefreshControl::~RefreshControl() = default;

ScrollView* RefreshControl::scrollView() const { return dynamic_cast<ScrollView*>(superview()); }

gfx::Color RefreshControl::tintColor() const { return m_tint.value_or(gfx::Color::gray()); }

void RefreshControl::setTintColor(std::optional<gfx::Color> color) {
  m_tint = color;
  updateAppearance();
}

void RefreshControl::setAttributedTitle(std::optional<std::string> title) {
  m_title = std::move(title);
  m_titleLabel->setText(m_title.value_or(""));
  m_titleLabel->setHidden(!m_title || m_title->empty());
  setNeedsLayout();
  updateAppearance();
}

double RefreshControl::pullDistance() const {
  auto* sv = scrollView();
  if (!sv) return 0;
  double restingTop = sv->contentInset().top - m_addedInset;
  return std::max(0.0, -sv->contentOffset().y - restingTop);
}

void RefreshControl::beginRefreshing() {
  if (m_refreshing) return;
  startRefreshing();
}

void RefreshControl::startRefreshing() {
  m_refreshing = true;
  m_spinner->startAnimating();
  setAddedInset(Height);
  updateAppearance();
}

void RefreshControl::endRefreshing() {
  if (!m_refreshing) return;
  m_refreshing = false;
  m_spinner->stopAnimating();
  auto* sv = scrollView();
  if (!sv) {
    m_addedInset = 0;
    updateAppearance();
    return;
  }
  // The content slides back up over the control unless a finger holds it.
  View::animate(EndAnimationDuration, [this, sv] {
    setAddedInset(0);
    double restingY = -sv->contentInset().top;
    gfx::Point offset = sv->contentOffset();
    if (!sv->isDragging() && offset.y < restingY) sv->setContentOffset(gfx::Point{offset.x, restingY});
  });
  updateAppearance();
}

void RefreshControl::setAddedInset(double inset) {
  auto* sv = scrollView();
  if (!sv) {
    m_addedInset = 0;
    return;
  }
  if (inset == m_addedInset) return;
  gfx::EdgeInsets insets = sv->contentInset();
  insets.top += inset - m_addedInset;
  m_addedInset = inset;
  sv->setContentInset(insets);
}

void RefreshControl::contentOffsetChanged(gfx::Point newOffset) {
  (void)newOffset;
  auto* sv = scrollView();
  if (!sv) return;
  if (!sv->isDragging()) {
    m_triggeredThisDrag = false;
  } else if (!m_refreshing && !m_triggeredThisDrag && pullDistance() >= TriggerDistance) {
    m_triggeredThisDrag = true;
    startRefreshing();
    // The action may end the refresh or remove the control: nothing of this object is used after.
    sendActionsForControlEvents(ControlEventValueChanged);
    return;
  }
  updateAppearance();
}

void RefreshControl::updateAppearance() {
  gfx::Color tint = tintColor();
  m_spinner->setColor(tint);
  m_titleLabel->setTextColor(tint);
  double shown = m_refreshing ? 1.0 : std::clamp(pullDistance() / TriggerDistance, 0.0, 1.0);
  m_spinner->setAlpha(shown);
  m_titleLabel->setAlpha(shown);
}

void RefreshControl::layoutSubviews() {
  gfx::Rect b = bounds();
  double side = ActivityIndicatorView::sideForStyle(m_spinner->style());
  bool titled = !m_titleLabel->isHidden();
  double spinnerCenterY = titled ? (Height - TitleHeight) / 2 : Height / 2;
  m_spinner->setFrame(gfx::Rect(b.width() / 2 - side / 2, spinnerCenterY - side / 2, side, side));
  m_titleLabel->setFrame(gfx::Rect(0, Height - TitleHeight - 6, b.width(), TitleHeight));
}

void RefreshControl::willMoveToSuperview(View* newSuperview) {
  (void)newSuperview;
  if (auto* sv = scrollView()) {
    sv->removeObservers(weak_from_this());
    // The inset belongs to the scroll view that is left behind: give it back.
    if (m_addedInset != 0) {
      gfx::EdgeInsets insets = sv->contentInset();
      insets.top -= m_addedInset;
      m_addedInset = 0;
      sv->setContentInset(insets);
    }
  }
}

void RefreshControl::didMoveToSuperview() {
  auto* sv = scrollView();
  if (!sv) return;
  setFrame(gfx::Rect(0, -Height, sv->bounds().width(), Height));
  sv->addContentOffsetObserver(weak_from_this(),
                               [this](gfx::Point, gfx::Point newOffset) { contentOffsetChanged(newOffset); });
  if (m_refreshing) setAddedInset(Height);
  updateAppearance();
}

std::shared_ptr<View> RefreshControl::hitTest(gfx::Point p, const Event* event) {
  (void)p;
  (void)event;
  return nullptr;
}

}  // namespace ui
