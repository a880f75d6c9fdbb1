#pragma once

#include <memory>

#include "platform/gfx/Geometry.h"

namespace ui {

class View;
class Window;

enum class TouchPhase { Began, Moved, Stationary, Ended, Cancelled };

// One finger on the screen, from the moment it touches down until it lifts. The window keeps the
// location in its own coordinates; the view is the one hit when the touch began.
class Touch {
 public:
  Touch() = default;

  // The location in `view`'s coordinates; in the window's when `view` is null.
  gfx::Point locationInView(const View* view) const;
  gfx::Point previousLocationInView(const View* view) const;
  int tapCount() const { return m_tapCount; }
  TouchPhase phase() const { return m_phase; }
  double timestamp() const { return m_timestamp; }
  std::shared_ptr<View> view() const { return m_view.lock(); }
  Window* window() const { return m_window; }

  // Set by the window (or whoever synthesises touches) as the touch moves.
  void setLocationInWindow(gfx::Point p);  // the old location becomes the previous one
  gfx::Point locationInWindow() const { return m_location; }
  void setPhase(TouchPhase phase) { m_phase = phase; }
  void setTapCount(int count) { m_tapCount = count; }
  void setTimestamp(double t) { m_timestamp = t; }
  void setView(const std::shared_ptr<View>& view) { m_view = view; }
  void setWindow(Window* window) { m_window = window; }

 private:
  gfx::Point m_location;
  gfx::Point m_previous;
  int m_tapCount = 1;
  TouchPhase m_phase = TouchPhase::Began;
  double m_timestamp = 0;
  std::weak_ptr<View> m_view;
  Window* m_window = nullptr;
};

}  // namespace ui
