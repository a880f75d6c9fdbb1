#pragma once

// Helpers shared by the URL session and the transfers of its tasks.

#include <atomic>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

namespace net::detail {

// A handler that answers once: later calls are ignored, and a handler dropped without an answer
// gives the fallback, so that no task waits for ever on a delegate that forgot to answer.
template <typename... Args>
class ReplyOnce {
 public:
  ReplyOnce(std::function<void(Args...)> deliver, std::function<void()> fallback)
      : m_deliver(std::move(deliver)), m_fallback(std::move(fallback)) {}
  ~ReplyOnce() {
    if (!m_done.exchange(true) && m_fallback) m_fallback();
  }
  void answer(Args... args) {
    if (!m_done.exchange(true)) m_deliver(std::move(args)...);
  }

 private:
  std::function<void(Args...)> m_deliver;
  std::function<void()> m_fallback;
  std::atomic<bool> m_done{false};
};

template <typename... Args>
std::function<void(Args...)> replyOnce(std::type_identity_t<std::function<void(Args...)>> deliver,
                                       std::function<void()> fallback) {
  auto reply = std::make_shared<ReplyOnce<Args...>>(std::move(deliver), std::move(fallback));
  return [reply](Args... args) { reply->answer(std::move(args)...); };
}

}  // namespace net::detail
