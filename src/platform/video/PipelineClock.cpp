#include "platform/video/PipelineClock.h"

#include <gst/gst.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>

#include "platform/core/Clock.h"

namespace media {
namespace {

// Every wait of every pipeline on this clock sleeps on one condition, woken whenever
// core::Clock changes (virtual time moving, a switch between real and virtual time) and when an
// entry is unscheduled.
struct Waits {
  std::mutex mutex;
  std::condition_variable changed;
};

Waits& waits() {
  static Waits* w = new Waits;  // streaming threads may still wait while statics are destroyed
  return *w;
}

GstClockTime nanosecondsOf(double seconds) {
  return seconds <= 0 ? 0 : GstClockTime(std::llround(seconds * double(GST_SECOND)));
}

double secondsOf(GstClockTime nanoseconds) { return double(nanoseconds) / double(GST_SECOND); }

gint* statusOf(GstClockEntry* entry) { return reinterpret_cast<gint*>(&GST_CLOCK_ENTRY_STATUS(entry)); }

GstClockTime internalTime(GstClock*) { return nanosecondsOf(core::Clock::now()); }

// Blocks until the clock reaches the entry's time or the entry is unscheduled. The jitter is the
// clock's time at the call minus the entry's (positive: the entry was late).
GstClockReturn waitFor(GstClock*, GstClockEntry* entry, GstClockTimeDiff* jitter) {
  const GstClockTime target = GST_CLOCK_ENTRY_TIME(entry);
  const double date = secondsOf(target);
  Waits& w = waits();
  std::unique_lock lock(w.mutex);
  double now = core::Clock::now();
  if (jitter) *jitter = GST_CLOCK_DIFF(target, nanosecondsOf(now));
  if (g_atomic_int_get(statusOf(entry)) == GST_CLOCK_UNSCHEDULED) return GST_CLOCK_UNSCHEDULED;
  if (now > date) return GST_CLOCK_EARLY;

  core::Clock::setPendingDeadline(entry, date);
  GstClockReturn result = GST_CLOCK_OK;
  while (now < date) {
    if (core::Clock::isVirtual()) {
      w.changed.wait(lock);
    } else {
      w.changed.wait_for(lock, std::chrono::duration<double>(date - now));
    }
    if (g_atomic_int_get(statusOf(entry)) == GST_CLOCK_UNSCHEDULED) {
      result = GST_CLOCK_UNSCHEDULED;
      break;
    }
    now = core::Clock::now();
  }
  core::Clock::clearPendingDeadline(entry);
  return result;
}

void unschedule(GstClock*, GstClockEntry* entry) {
  Waits& w = waits();
  std::lock_guard lock(w.mutex);
  g_atomic_int_set(statusOf(entry), GST_CLOCK_UNSCHEDULED);
  w.changed.notify_all();
}

GType pipelineClockType() {
  static const GType type = [] {
    GTypeInfo info{};
    info.class_size = sizeof(GstClockClass);
    info.class_init = [](gpointer klass, gpointer) {
      auto* clockClass = static_cast<GstClockClass*>(klass);
      clockClass->get_internal_time = internalTime;
      clockClass->wait = waitFor;
      clockClass->unschedule = unschedule;
      // No asynchronous waits: the elements of a playing pipeline wait blocking.
    };
    info.instance_size = sizeof(GstClock);
    info.instance_init = [](GTypeInstance* instance, gpointer) {
      GST_OBJECT_FLAG_SET(instance, GST_CLOCK_FLAG_CAN_DO_SINGLE_SYNC | GST_CLOCK_FLAG_CAN_DO_PERIODIC_SYNC);
    };
    return g_type_register_static(GST_TYPE_CLOCK, "KtPipelineClock", &info, GTypeFlags(0));
  }();
  return type;
}

}  // namespace

GstClock* PipelineClock::shared() {
  static GstClock* const clock = [] {
    core::Clock::addAdvanceListener([] {
      Waits& w = waits();
      std::lock_guard lock(w.mutex);
      w.changed.notify_all();
    });
    auto* made = GST_CLOCK(g_object_new(pipelineClockType(), "name", "PipelineClock", nullptr));
    return GST_CLOCK(gst_object_ref_sink(made));
  }();
  return clock;
}

}  // namespace media
