#pragma once

#include <cstdint>
#include <functional>

// The one clock of the program. Timers, delayed performs, animations and dates read it, so
// tests can move time forward instead of sleeping.
//
// Real mode (the default): now() follows the machine's monotonic clock.
// Virtual mode (tests): the clock only moves through advance() or when a run loop that has
// nothing to do but wait for a timer skips ahead to that timer (see RunLoop). Real I/O still
// runs in real time.
namespace core {

class Clock {
 public:
  // Monotonic seconds since an arbitrary origin; only differences mean anything.
  static double now();
  // Seconds since 1970-01-01 00:00:00 UTC, moved by advance() like now().
  static double wallNow();

  static void setVirtual(bool enabled);
  static bool isVirtual();
  // Moves the clock forward (both now() and wallNow()); negative values are ignored.
  static void advance(double seconds);
  // Virtual mode only: puts the wall clock at the given date, so that tests can fix "today";
  // now() is not moved. Leaving virtual mode brings the wall clock back to the real date.
  static void setWallNow(double secondsSince1970);

  // Called after every change of the virtual clock; the run loops use it to wake their waiters.
  using Listener = void (*)();
  static void setAdvanceListener(Listener listener);

  // Any number of further listeners, called like the one above (after every change of the virtual
  // clock, and after setVirtual), on the thread that changed the clock and with no lock of the
  // clock's held, so changes from several threads may call a listener at the same time. A
  // listener may add listeners (called from the next change on) and remove any listener, itself
  // included.
  //
  // Once removeAdvanceListener() has returned, no call of that listener starts. Calls already in
  // progress depend on where the removal runs:
  // - On a thread that is in no listener call: it waits until the calls in progress (all on other
  //   threads) have returned and the function is destroyed before it returns, so whatever the
  //   listener uses may be freed right after. This holds also for a listener already removed from
  //   inside a call whose calls are still running: removing it again from outside waits for them.
  // - From inside a listener call (any listener, also through a move of the clock that a listener
  //   made): it never waits, since a call in progress may be further up this very stack, or on a
  //   thread that is itself inside a listener removing this one. Calls in progress, on this thread
  //   or others, run to their end, and the last to return destroys the function, on its own
  //   thread (unless a removal from outside is waiting, which then destroys it); with none in
  //   progress the removal destroys it. The remover must not free what the listener uses: let the
  //   function own it, or remove the listener again from outside before freeing it.
  // An unknown id, or one whose removal is complete, is ignored, without waiting.
  //
  // A listener should not throw. If one does, the exception passes on out of the change of the
  // clock that called it (the clock has changed; the listeners after it are not called for this
  // change), and the clock counts the call as returned: removals and later changes behave as if
  // it had returned normally.
  static int addAdvanceListener(std::function<void()> listener);
  static void removeAdvanceListener(int id);

  // Virtual time: whoever waits for a date (a run loop, the delayed-block thread) publishes the
  // earliest date it waits for under its own key, so that a run loop skipping ahead stops at the
  // earliest date anyone waits for instead of jumping past it.
  static void setPendingDeadline(const void* owner, double date);
  static void clearPendingDeadline(const void* owner);
  // The earliest published date later than now(), or +infinity.
  static double nextPendingDeadline();
  // Moves the clock forward to `date` if it lies ahead; returns whether it moved.
  static bool advanceTo(double date);
};

}  // namespace core
