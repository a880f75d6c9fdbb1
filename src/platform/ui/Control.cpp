#include "platform/ui/Control.h"

#include "platform/ui/Application.h"
#include "platform/ui/Touch.h"

namespace ui {

Control::Control(const gfx::Rect& frame) : View(frame) {
  setContentMode(ContentMode::Redraw);
  setOpaque(false);
}

void Control::setEnabled(bool enabled) {
  if (m_enabled == enabled) return;
  m_enabled = enabled;
  if (!enabled) m_highlighted = false;
  stateChanged();
}

void Control::setSelected(bool selected) {
  if (m_selected == selected) return;
  m_selected = selected;
  stateChanged();
}

void Control::setHighlighted(bool highlighted) {
  if (m_highlighted == highlighted) return;
  m_highlighted = highlighted;
  stateChanged();
}

unsigned Control::state() const {
  unsigned s = ControlStateNormal;
  if (m_highlighted) s |= ControlStateHighlighted;
  if (!m_enabled) s |= ControlStateDisabled;
  if (m_selected) s |= ControlStateSelected;
  return s;
}

void Control::setContentHorizontalAlignment(ContentHorizontalAlignment a) {
  m_hAlign = a;
  setNeedsLayout();
  setNeedsDisplay();
}

void Control::setContentVerticalAlignment(ContentVerticalAlignment a) {
  m_vAlign = a;
  setNeedsLayout();
  setNeedsDisplay();
}

void Control::addTarget(const void* owner, Action action, unsigned events) {
  if (!action || events == 0) return;
  m_targets.push_back(Target{owner, std::move(action), events});
}

void Control::removeTarget(const void* owner, unsigned events) {
  for (auto& t : m_targets) {
    if (!owner || t.owner == owner) t.events &= ~events;
  }
  std::erase_if(m_targets, [](const Target& t) { return t.events == 0; });
}

unsigned Control::allControlEvents() const {
  unsigned all = 0;
  for (const auto& t : m_targets) all |= t.events;
  return all;
}

void Control::sendActionsForControlEvents(unsigned events, const Event* event) {
  // Actions may remove targets or release the control: work on a copy and keep the control.
  auto keep = weak_from_this().lock();
  std::vector<Action> actions;
  for (const auto& t : m_targets) {
    if (t.events & events) actions.push_back(t.action);
  }
  for (const auto& a : actions) Application::shared().sendAction(a, *this, event);
}

bool Control::beginTracking(const Touch&, const Event*) { return true; }
bool Control::continueTracking(const Touch&, const Event*) { return true; }
void Control::endTracking(const Touch*, const Event*) {}
void Control::cancelTracking(const Event*) {}

bool Control::isInsideTrackingArea(gfx::Point p) const {
  return bounds().insetBy(-TrackingMargin, -TrackingMargin).contains(p);
}

std::shared_ptr<View> Control::hitTest(gfx::Point p, const Event* event) {
  if (!m_enabled) return nullptr;
  return View::hitTest(p, event);
}

void Control::touchesBegan(const TouchSet& touches, const Event* event) {
  if (touches.empty() || !m_enabled) return;
  auto keep = weak_from_this().lock();
  const auto& touch = touches.front();
  m_trackingTouch = touch;
  m_touchInside = true;
  m_tracking = beginTracking(*touch, event);
  setHighlighted(true);
  unsigned events = ControlEventTouchDown;
  if (touch->tapCount() > 1) events |= ControlEventTouchDownRepeat;
  sendActionsForControlEvents(events, event);
}

void Control::touchesMoved(const TouchSet& touches, const Event* event) {
  if (touches.empty()) return;
  auto touch = m_trackingTouch.lock();
  if (!touch) return;
  auto keep = weak_from_this().lock();
  bool wasInside = m_touchInside;
  bool inside = isInsideTrackingArea(touch->locationInView(this));
  m_touchInside = inside;
  if (m_tracking) m_tracking = continueTracking(*touch, event);
  setHighlighted(inside);
  unsigned events = inside ? (wasInside ? ControlEventTouchDragInside : ControlEventTouchDragEnter)
                           : (wasInside ? ControlEventTouchDragExit : ControlEventTouchDragOutside);
  sendActionsForControlEvents(events, event);
}

void Control::touchesEnded(const TouchSet& touches, const Event* event) {
  if (touches.empty()) return;
  auto touch = m_trackingTouch.lock();
  if (!touch) return;
  auto keep = weak_from_this().lock();
  bool inside = isInsideTrackingArea(touch->locationInView(this));
  m_touchInside = inside;
  m_trackingTouch.reset();
  if (m_tracking) endTracking(touch.get(), event);
  m_tracking = false;
  setHighlighted(false);
  sendActionsForControlEvents(inside ? ControlEventTouchUpInside : ControlEventTouchUpOutside, event);
}

void Control::touchesCancelled(const TouchSet& touches, const Event* event) {
  if (touches.empty() || m_trackingTouch.expired()) return;
  auto keep = weak_from_this().lock();
  m_trackingTouch.reset();
  if (m_tracking) cancelTracking(event);
  m_tracking = false;
  m_touchInside = false;
  setHighlighted(false);
  sendActionsForControlEvents(ControlEventTouchCancel, event);
}

}  // namespace ui
