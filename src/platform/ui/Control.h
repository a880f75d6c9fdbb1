#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/ui/View.h"

namespace ui {

class Touch;

// Control events, with the platform's bit values.
enum ControlEvents : unsigned {
  ControlEventTouchDown = 1 << 0,
  ControlEventTouchDownRepeat = 1 << 1,
  ControlEventTouchDragInside = 1 << 2,
  ControlEventTouchDragOutside = 1 << 3,
  ControlEventTouchDragEnter = 1 << 4,
  ControlEventTouchDragExit = 1 << 5,
  ControlEventTouchUpInside = 1 << 6,
  ControlEventTouchUpOutside = 1 << 7,
  ControlEventTouchCancel = 1 << 8,
  ControlEventValueChanged = 1 << 12,
  ControlEventEditingDidBegin = 1 << 16,
  ControlEventEditingChanged = 1 << 17,
  ControlEventEditingDidEnd = 1 << 18,
  ControlEventEditingDidEndOnExit = 1 << 19,
  ControlEventAllTouchEvents = 0x00000FFF,
  ControlEventAllEditingEvents = 0x000F0000,
  ControlEventAllEvents = 0xFFFFFFFF,
};

// Control states as bits: normal is none of them.
enum ControlState : unsigned {
  ControlStateNormal = 0,
  ControlStateHighlighted = 1 << 0,
  ControlStateDisabled = 1 << 1,
  ControlStateSelected = 1 << 2,
};

enum class ContentHorizontalAlignment { Center, Left, Right, Fill };
enum class ContentVerticalAlignment { Center, Top, Bottom, Fill };

// A view that turns touches into control events and sends them to its targets.
//
// Tracking: a touch that begins in the control highlights it and sends touch-down; moving sends
// drag-inside/outside/enter/exit, "inside" meaning within 70 points around the bounds; lifting
// sends touch-up-inside or touch-up-outside by the same rule. Disabled controls take no touches.
class Control : public View {
 public:
  using Action = std::function<void(Control& sender, const Event* event)>;

  // The extra margin around the bounds that still counts as inside while tracking.
  static constexpr double TrackingMargin = 70;

  explicit Control(const gfx::Rect& frame = gfx::Rect());

  bool isEnabled() const { return m_enabled; }
  virtual void setEnabled(bool enabled);
  bool isSelected() const { return m_selected; }
  virtual void setSelected(bool selected);
  bool isHighlighted() const { return m_highlighted; }
  virtual void setHighlighted(bool highlighted);
  unsigned state() const;

  ContentHorizontalAlignment contentHorizontalAlignment() const { return m_hAlign; }
  void setContentHorizontalAlignment(ContentHorizontalAlignment a);
  ContentVerticalAlignment contentVerticalAlignment() const { return m_vAlign; }
  void setContentVerticalAlignment(ContentVerticalAlignment a);

  // Targets: `owner` identifies the target for removal (any pointer; may be null). Several
  // actions may be registered for one owner.
  void addTarget(const void* owner, Action action, unsigned events);
  // Removes the events from the owner's actions (every owner's when `owner` is null); an action
  // left with no events is dropped.
  void removeTarget(const void* owner, unsigned events = ControlEventAllEvents);
  // The union of the events some target listens to.
  unsigned allControlEvents() const;
  size_t targetCount() const { return m_targets.size(); }
  void sendActionsForControlEvents(unsigned events, const Event* event = nullptr);

  bool isTracking() const { return m_tracking; }
  bool isTouchInside() const { return m_touchInside; }

  // Tracking hooks; the defaults keep tracking.
  virtual bool beginTracking(const Touch& touch, const Event* event);
  virtual bool continueTracking(const Touch& touch, const Event* event);
  virtual void endTracking(const Touch* touch, const Event* event);
  virtual void cancelTracking(const Event* event);

  void touchesBegan(const TouchSet& touches, const Event* event) override;
  void touchesMoved(const TouchSet& touches, const Event* event) override;
  void touchesEnded(const TouchSet& touches, const Event* event) override;
  void touchesCancelled(const TouchSet& touches, const Event* event) override;
  std::shared_ptr<View> hitTest(gfx::Point p, const Event* event) override;
  bool drawsContent() const override { return true; }

 protected:
  // Called after enabled, selected or highlighted changed.
  virtual void stateChanged() { setNeedsDisplay(); }
  bool isInsideTrackingArea(gfx::Point p) const;

 private:
  struct Target {
    const void* owner = nullptr;
    Action action;
    unsigned events = 0;
  };
  std::vector<Target> m_targets;
  bool m_enabled = true;
  bool m_selected = false;
  bool m_highlighted = false;
  bool m_tracking = false;
  bool m_touchInside = false;
  std::weak_ptr<Touch> m_trackingTouch;
  ContentHorizontalAlignment m_hAlign = ContentHorizontalAlignment::Center;
  ContentVerticalAlignment m_vAlign = ContentVerticalAlignment::Center;
};

}  // namespace ui
