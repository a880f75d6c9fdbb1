#pragma once

typedef struct _GstClock GstClock;

namespace media {

// A GStreamer clock that reads core::Clock. A pipeline that keeps time by it moves its pictures
// and its end as the program's clock moves: under the virtual clock of the tests a clip stands
// still while the test looks at it and goes on only when the test lets time pass. A streaming
// thread waiting for a date publishes it (core::Clock::setPendingDeadline), so a run loop skipping
// ahead stops at the clip's next picture instead of jumping past it.
class PipelineClock {
 public:
  // The one clock, made on first use (GStreamer must be initialised); never freed.
  static GstClock* shared();
};

}  // namespace media
