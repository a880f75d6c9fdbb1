#pragma once

#include <functional>
#include <memory>
#include <string>

namespace core {
class RunLoop;
class Timer;
}  // namespace core

namespace ui {

// A callback in step with the display's 60 Hz frames, on a run loop. Added to a loop, the link
// is kept by it (as the platform's loop kept its links) until invalidate(), which also releases
// the callback and whatever it captured; a link that was never added is kept by its owner alone.
//
// timestamp() is the time (core::Clock) of the last frame the callback was given, duration() the
// time between two frames at the full rate.
class DisplayLink : public std::enable_shared_from_this<DisplayLink> {
 public:
  using Callback = std::function<void(DisplayLink&)>;
  static constexpr double FrameDuration = 1.0 / 60;

  static std::shared_ptr<DisplayLink> create(Callback callback);
  ~DisplayLink();
  DisplayLink(const DisplayLink&) = delete;
  DisplayLink& operator=(const DisplayLink&) = delete;

  // May be called for several modes of one loop; a link belongs to one loop.
  void addToRunLoop(core::RunLoop& loop, const std::string& mode);
  void invalidate();
  bool isValid() const { return m_valid; }

  bool isPaused() const { return m_paused; }
  void setPaused(bool paused) { m_paused = paused; }
  // 1: every frame, 2: every other frame, ... (values below 1 are taken as 1).
  int frameInterval() const { return m_frameInterval; }
  void setFrameInterval(int interval) { m_frameInterval = interval < 1 ? 1 : interval; }

  double timestamp() const { return m_timestamp; }
  double duration() const { return FrameDuration; }

 private:
  struct Key {};

 public:
  DisplayLink(Key, Callback callback) : m_callback(std::move(callback)) {}

 private:
  void frame();

  Callback m_callback;
  std::shared_ptr<core::Timer> m_timer;
  core::RunLoop* m_loop = nullptr;
  bool m_valid = true;
  bool m_paused = false;
  int m_frameInterval = 1;
  long m_framesSinceCall = 0;
  double m_timestamp = 0;
};

}  // namespace ui
