#include "widgets/controls/PBPopoverController.h"

#include <algorithm>
#include <unordered_set>

#include "platform/ui/Application.h"
#include "platform/ui/Window.h"
#include "widgets/controls/PBPopoverView.h"
#include "widgets/controls/PBTouchView.h"

namespace kt {

namespace {

constexpr unsigned FlexibleSize = ui::AutoresizingFlexibleWidth | ui::AutoresizingFlexibleHeight;

// The controllers alive, so that the sender of a presentation notice is only taken for a
// controller when it is one.
std::unordered_set<const void*>& liveControllers() {
  static std::unordered_set<const void*> live;
  return live;
}

}  // namespace

std::shared_ptr<PBPopoverController> PBPopoverController::create(std::shared_ptr<ui::ViewController> viewController) {
  auto controller = std::make_shared<PBPopoverController>();
  controller->initWithViewController(std::move(viewController));
  return controller;
}

void PBPopoverController::initWithViewController(std::shared_ptr<ui::ViewController> viewController) {
  liveControllers().insert(static_cast<const void*>(this));
  m_arrowDirection = PBArrowDirectionAny;
  // Loading the view runs viewDidLoad before the bubble exists: it only registers the observers.
  view()->setUserInteractionEnabled(true);

  m_touchView = PBTouchView::create(view()->bounds());
  m_touchView->setBackgroundColor(gfx::Color::clear());
  m_touchView->setOpaque(false);
  m_touchView->setAutoresizingMask(FlexibleSize);
  m_touchView->setClipsToBounds(false);
  view()->addSubview(m_touchView);
  std::weak_ptr<PBPopoverController> weak = std::static_pointer_cast<PBPopoverController>(shared_from_this());
  m_touchView->setTouchedOutsideBlock([weak] {
    if (auto self = weak.lock()) self->dismissPopoverAnimated(true);
  });

  m_contentSize = {200, 300};
  m_contentView = PBPopoverView::create({0, 0, 200, 300});
  m_viewController = std::move(viewController);
  m_touchView->addSubview(m_contentView);
  if (m_viewController) {
    m_contentView->addContentView(m_viewController->view());
    m_viewController->view()->setAutoresizingMask(FlexibleSize);
  }
  view()->setAutoresizingMask(FlexibleSize);
  view()->setClipsToBounds(false);
  m_contentView->setClipsToBounds(false);
  if (!m_viewController) return;
  m_contentView->setTitle(m_viewController->title());

  m_titleToken = core::WeakToken(weak);
  m_viewController->addTitleObserver(m_titleToken, [weak](const auto&, const std::optional<std::string>& title) {
    auto self = weak.lock();
    if (!self) return;
    self->m_contentView->setTitle(title);
    self->m_contentView->setNeedsDisplay();
  });
}

PBPopoverController::~PBPopoverController() {
  liveControllers().erase(static_cast<const void*>(this));
  removeObservers();
}

int32_t PBPopoverController::tint() const { return m_contentView ? m_contentView->tint() : 0; }

void PBPopoverController::setTint(int32_t tint) {
  if (!m_contentView) return;
  m_contentView->setTint(tint);
  m_contentView->setNeedsDisplay();
}

void PBPopoverController::viewDidLoad() {
  ui::ViewController::viewDidLoad();
  if (m_contentView) {
    m_contentView->setArrowDirection(PBArrowDirectionUp);
    if (m_viewController) m_contentView->addContentView(m_viewController->view());
  }
  setupView();
  addObservers();
}

void PBPopoverController::addObservers() {
  if (m_observing) return;
  m_observing = true;
  ui::Device& device = ui::Device::current();
  device.beginGeneratingDeviceOrientationNotifications();
  std::weak_ptr<PBPopoverController> weak = std::static_pointer_cast<PBPopoverController>(shared_from_this());
  auto& center = core::NotificationCenter::defaultCenter();
  m_orientationObservation =
      core::Observation(center, ui::Device::OrientationDidChangeNotification, nullptr, [weak](const auto&) {
        if (auto self = weak.lock()) self->deviceOrientationDidChange();
      });
  m_newPopoverObservation =
      core::Observation(center, NewPopoverPresentedNotification, nullptr, [weak](const core::Notification& note) {
        if (auto self = weak.lock()) self->willPresentNewPopover(note);
      });
  m_deviceOrientation = device.orientation();
}

void PBPopoverController::removeObservers() {
  if (m_observing) {
    m_observing = false;
    ui::Device::current().endGeneratingDeviceOrientationNotifications();
    m_orientationObservation = core::Observation();
    m_newPopoverObservation = core::Observation();
  }
  if (m_viewController) m_viewController->removeTitleObservers(m_titleToken);
}

double PBPopoverController::parentWidth() const { return m_parentView ? m_parentView->bounds().width() : 0; }
double PBPopoverController::parentHeight() const { return m_parentView ? m_parentView->bounds().height() : 0; }

void PBPopoverController::presentPopoverFromPoint(gfx::Point point) {
  auto keep = shared_from_this();
  setOrigin(point);
  m_contentView->setRelativeOrigin(m_contentView->convertPointFrom(point, m_parentView.get()));
  view()->removeFromSuperview();

  const auto windows = ui::Application::shared().windows();
  ++m_presentation;
  if (windows.empty()) {
    dismissPopoverAnimated(false);
    m_window.reset();
    m_parentView.reset();
  } else {
    m_window = windows.front();
    m_parentView.reset();
    if (!m_window->subviews().empty()) {
      m_parentView = m_window->subviews().front();
      m_parentView->addSubview(view());
    }
  }
  // Only a popover that reached the screen can be dismissed (and its delegate told).
  m_presented = m_parentView != nullptr;
  setupView();

  view()->setAlpha(0);
  auto shown = view();
  ui::View::animate(FadeDuration, [shown] { shown->setAlpha(1); });
  core::NotificationCenter::defaultCenter().post(NewPopoverPresentedNotification, static_cast<void*>(this));
}

gfx::Point PBPopoverController::originFromView(const ui::View& source) const {
  const gfx::Rect f = source.frame();
  switch (m_contentView ? m_contentView->arrowDirection() : 0) {
    case PBArrowDirectionUp: return {f.x() + f.width() / 2, f.y() + f.height()};
    case PBArrowDirectionDown: return {f.x() + f.width() / 2, f.y()};
    case PBArrowDirectionLeft: return {f.x() + f.width(), f.y() + f.height() / 2};
    case PBArrowDirectionRight: return {f.x(), f.y() + f.height() / 2};
    default: return source.center();  // not placed yet: placement replaces it
  }
}

void PBPopoverController::presentPopoverFromView(std::shared_ptr<ui::View> source) {
  m_fromView = std::move(source);
  presentPopoverFromPoint(m_fromView ? originFromView(*m_fromView) : gfx::Point());
}

void PBPopoverController::dismissPopover() {
  if (!m_presented) return;
  m_presented = false;
  auto keep = shared_from_this();
  view()->removeFromSuperview();
  if (auto* delegate = m_delegate.get(); delegate && delegate->popoverControllerDidDismissPopover)
    delegate->popoverControllerDidDismissPopover(*this);
  m_window.reset();
  m_parentView.reset();
}

void PBPopoverController::dismissPopoverAnimated(bool animated) {
  if (!animated) {
    dismissPopover();
    return;
  }
  if (!m_presented) return;
  std::weak_ptr<PBPopoverController> weak = std::static_pointer_cast<PBPopoverController>(shared_from_this());
  const uint64_t presentation = m_presentation;
  auto shown = view();
  ui::View::animate(
      FadeDuration, [shown] { shown->setAlpha(0); },
      [weak, presentation](bool) {
        auto self = weak.lock();
        if (self && self->m_presentation == presentation) self->dismissPopover();
      });
}

void PBPopoverController::setupView() {
  view()->setFrame({0, 0, parentWidth(), parentHeight()});
  if (!m_touchView || !m_contentView) return;  // still being made
  m_touchView->setFrame(view()->bounds());
  bestArrowDirectionAndFrameFromView(m_fromView.get());
  m_contentView->setNeedsDisplay();
  m_touchView->setNeedsDisplay();
}

void PBPopoverController::deviceOrientationDidChange() {
  m_deviceOrientation = ui::Device::current().orientation();
  std::weak_ptr<PBPopoverController> weak = std::static_pointer_cast<PBPopoverController>(shared_from_this());
  ui::View::animate(FadeDuration, [weak] {
    if (auto self = weak.lock()) self->setupView();
  });
}

void PBPopoverController::willPresentNewPopover(const core::Notification& notification) {
  if (notification.object == static_cast<void*>(this)) return;
  if (!notification.object || !liveControllers().contains(notification.object)) return;
  auto* delegate = m_delegate.get();
  if (!delegate || !delegate->presentedNewPopoverController) return;
  auto keep = shared_from_this();
  delegate->presentedNewPopoverController(*static_cast<PBPopoverController*>(notification.object), *this);
}

gfx::Rect PBPopoverController::bestViewFrameForFromPoint(gfx::Point q) const {
  const double PW = parentWidth(), PH = parentHeight();
  double w = std::min(m_contentSize.width + 20, PW);
  double h = std::min(m_contentSize.height + 50, PH);
  if (w == PW) w = PW - 50;
  if (h == PH) h = PH - 30;
  double x = 0, y = q.y;
  if (const double r = PW - w; r > 0) {
    x = r / 2;
    if (q.x + 15 <= x) {
      x = q.x - 15;
    } else if (q.x + 15 >= x + w) {
      x = q.x - w + 22;
    }
  }
  if (const double s = PH - h; s > 0 && q.y > s / 2) {
    if (q.y <= h + s / 2) {
      h = std::min(m_contentSize.height, PH - q.y - 10);
      y = q.y;
    } else {
      y = q.y - h;
    }
  }
  return {x, y, w, h};
}

gfx::Rect PBPopoverController::bestArrowDirectionAndFrameFromView(const ui::View* source) {
  const double PW = parentWidth(), PH = parentHeight();
  double w = m_contentSize.width, h = m_contentSize.height;
  gfx::Point p;
  double vw = 0, vh = 0;
  if (source) {
    const gfx::Rect f = source->frame();
    p = view()->convertPointFrom(f.origin, source->superview());
    vw = f.width();
    vh = f.height();
  }
  const double above = p.y, below = PH - (p.y + vh), left = p.x, right = PW - (p.x + vw);
  const double vertical = std::max(above, below), horizontal = std::max(left, right);
  const bool placeVertically = m_arrowDirection == PBArrowDirectionVertical ||
                               m_arrowDirection == PBArrowDirectionUp || m_arrowDirection == PBArrowDirectionDown ||
                               (m_arrowDirection == PBArrowDirectionAny && vertical >= horizontal);
  int32_t arrow;
  double x, y;
  if (placeVertically) {
    x = p.x + vw / 2 - w / 2;
    if (below > above && m_arrowDirection != PBArrowDirectionDown) {
      arrow = PBArrowDirectionUp;
      y = p.y + vh;
    } else {
      arrow = PBArrowDirectionDown;
      y = p.y - h;
    }
  } else {
    y = p.y + vh / 2 - h / 2;
    if (right > left && m_arrowDirection != PBArrowDirectionRight) {
      arrow = PBArrowDirectionLeft;
      x = p.x + vw;
    } else {
      arrow = PBArrowDirectionRight;
      x = p.x - w;
    }
  }

  if (x + w > PW) {
    x = PW - w;
  } else if (x < 0) {
    x = 0;
  }
  if (y < 0) {
    h += y;
    y = 0;
  }
  if (x + w > PW) w = PW - x;
  if (y + h > PH) h = PH - y;

  const gfx::Rect frame(x, y, w, h);
  m_contentView->setArrowDirection(arrow);
  m_contentView->setBubbleFrame(frame);
  m_origin = source ? source->center() : gfx::Point();
  m_contentView->setRelativeOrigin(m_contentView->convertPointFrom(m_origin, m_parentView.get()));
  return frame;
}

}  // namespace kt
