#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "platform/gfx/Geometry.h"
#include "platform/ui/Responder.h"

namespace ui {

// The fingers of one tap (or of the taps before a press): where each came down, in window
// coordinates, and the most that were down together, so a recogniser can tell whether the tap
// had the right number of fingers and whether one wandered too far.
class TapFingers {
 public:
  // `touches` came down; `down` fingers are down now.
  void add(const TouchSet& touches, size_t down);
  // The tap is over: forget its fingers.
  void clear() {
    m_starts.clear();
    m_mostDown = 0;
  }
  size_t mostDown() const { return m_mostDown; }
  // Whether one of `tracked` is now more than `distance` points from where it came down.
  bool anyMovedFurtherThan(const TouchSet& tracked, double distance) const;

 private:
  std::vector<std::pair<const Touch*, gfx::Point>> m_starts;
  size_t m_mostDown = 0;
};

}  // namespace ui
