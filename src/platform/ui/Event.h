#pragma once

#include <memory>
#include <vector>

#include "platform/ui/Responder.h"

namespace ui {

class View;

// What happened at one moment: for touch events, every touch currently on the screen.
class Event {
 public:
  enum class Type { Touches, Motion, RemoteControl };

  Event() = default;
  Event(Type type, double timestamp, TouchSet touches)
      : m_type(type), m_timestamp(timestamp), m_touches(std::move(touches)) {}

  Type type() const { return m_type; }
  double timestamp() const { return m_timestamp; }
  const TouchSet& allTouches() const { return m_touches; }
  // The touches that began in `view`.
  TouchSet touchesForView(const View* view) const;

 private:
  Type m_type = Type::Touches;
  double m_timestamp = 0;
  TouchSet m_touches;
};

}  // namespace ui
