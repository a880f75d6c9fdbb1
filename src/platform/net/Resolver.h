#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/RunLoop.h"

namespace net {

// Name resolution for TCP connections that never blocks the caller's run loop: the lookup runs
// on a thread of its own and the result is delivered on the run loop that asked, in the modes
// given. Numeric addresses are parsed at once but still reported on a later turn of the loop,
// so a caller sees one behaviour either way. A cancelled lookup reports nothing.
class Resolver : public std::enable_shared_from_this<Resolver> {
 public:
  // addresses: socket addresses (sockaddr_in, 16 bytes, or sockaddr_in6, 28 bytes) in the
  // resolver's order; error: 0, or the getaddrinfo code (see gai_strerror) when nothing was found.
  using Completion = std::function<void(const std::vector<std::string>& addresses, int error)>;

  // Starts resolving host for a stream connection to port; completion runs on `loop`.
  static std::shared_ptr<Resolver> resolve(const std::string& host, uint16_t port, Completion completion,
                                           core::RunLoop& loop,
                                           const core::RunLoop::Modes& modes = {core::RunLoop::CommonModes});

  // The lookup itself, blocking, for callers on a thread of their own (and the tests).
  static int lookup(const std::string& host, uint16_t port, bool numericOnly, std::vector<std::string>& out);

  // Drops the completion; safe from the loop's thread at any time, also from inside it.
  void cancel();
  bool isCancelled() const { return m_cancelled.load(); }

  struct Key {};
  explicit Resolver(Key) {}

 private:
  void deliver(const std::vector<std::string>& addresses, int error);

  std::atomic<bool> m_cancelled{false};
  Completion m_completion;
};

}  // namespace net
