#include "platform/core/FdSource.h"

#include "platform/core/RunLoop.h"

namespace core {

FdSource::FdSource(Key, int fd, unsigned interest, Callback callback)
    : m_fd(fd), m_interest(interest & (Readable | Writable)), m_callback(std::make_shared<Callback>(std::move(callback))) {}

std::shared_ptr<FdSource> FdSource::create(int fd, unsigned interest, Callback callback) {
  return std::make_shared<FdSource>(Key{}, fd, interest, std::move(callback));
}

void FdSource::setInterest(unsigned interest) {
  m_interest = interest & (Readable | Writable);
  // The loop builds its poll set every turn; a loop waiting on another thread must look again.
  for (const auto& w : m_loops) {
    if (auto loop = w.lock(); loop && !loop->onOwnThread()) loop->wakeUp();
  }
}

void FdSource::invalidate() {
  if (!m_valid) return;
  m_valid = false;
  auto keep = weak_from_this().lock();
  auto loops = std::move(m_loops);
  m_loops.clear();
  for (const auto& w : loops) {
    if (auto loop = w.lock()) loop->forgetSource(this);
  }
  // A callback running right now holds its own reference to the function.
  m_callback.reset();
}

}  // namespace core
