#include "platform/ui/DisplayLink.h"

#include "platform/core/Clock.h"
#include "platform/core/RunLoop.h"
#include "platform/core/Timer.h"

namespace ui {

std::shared_ptr<DisplayLink> DisplayLink::create(Callback callback) {
  return std::make_shared<DisplayLink>(Key{}, std::move(callback));
}

DisplayLink::~DisplayLink() {
  if (m_timer) m_timer->invalidate();
}

void DisplayLink::addToRunLoop(core::RunLoop& loop, const std::string& mode) {
  if (!m_valid) return;
  if (m_loop && m_loop != &loop) return;
  if (!m_timer) {
    // The timer (kept by the loop) keeps the link; invalidate() breaks that.
    auto self = shared_from_this();
    m_timer = core::Timer::create(FrameDuration, true, [self](core::Timer&) { self->frame(); });
    m_loop = &loop;
  }
  loop.addTimer(m_timer, mode);
}

void DisplayLink::invalidate() {
  if (!m_valid) return;
  auto keep = weak_from_this().lock();  // the timer's release may drop the last other reference
  m_valid = false;
  auto timer = std::move(m_timer);
  // The callback may be what calls invalidate(): release it after this frame is done.
  Callback released = std::move(m_callback);
  m_callback = nullptr;
  if (timer) timer->invalidate();
}

void DisplayLink::frame() {
  if (!m_valid) return;
  if (m_paused) {
    m_framesSinceCall = 0;
    return;
  }
  if (++m_framesSinceCall < m_frameInterval) return;
  m_framesSinceCall = 0;
  m_timestamp = core::Clock::now();
  if (!m_callback) return;
  auto keep = shared_from_this();
  Callback callback = m_callback;  // survives an invalidate() from inside
  callback(*this);
}

}  // namespace ui
