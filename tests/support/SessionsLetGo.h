#pragma once

// The end of a test that sends through the HTTP client. An invalidated URL session lets go of
// what it holds (its tasks, libcurl's handles, its delegate: a session manager with its
// serializers and blocks) on its own thread and then on its delegate queue, after the finish
// blocks the test waited for. A test process that ended first would leave that graph holding
// itself, which the leak checker reports; so such a fixture waits for the sessions first.
//
//   class SomeFixture : public support::SessionsLetGoAtEnd, public support::TempHomeTest { ... };
//
// Listed first among the bases, it waits after everything else of the fixture is gone (views and
// downloaders that invalidate their sessions as they go, the stand-in peers that cut held replies).

#include "platform/net/SessionThreads.h"
#include "support/RunUntil.h"

#include <gtest/gtest.h>

#include <chrono>

namespace support {

// Succeeds once every invalidated URL session has let go; fails, saying how many had not, when
// some still hold theirs after the bound, so that a stuck session fails the test instead of
// hanging it. Waits on the sessions' own count, not on the clock.
inline ::testing::AssertionResult sessionsLetGo(double timeoutSeconds = kDefaultWait) {
  const auto bound = std::chrono::milliseconds(static_cast<long long>(timeoutSeconds * 1000));
  if (net::SessionThreads::waitUntilLetGo(bound)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << net::SessionThreads::lettingGo()
                                       << " invalidated URL session(s) still held their tasks or delegate "
                                       << timeoutSeconds << " s after the test";
}

// A fixture base whose destructor waits for sessionsLetGo().
class SessionsLetGoAtEnd {
 public:
  SessionsLetGoAtEnd() = default;
  ~SessionsLetGoAtEnd() { EXPECT_TRUE(sessionsLetGo()); }
  SessionsLetGoAtEnd(const SessionsLetGoAtEnd&) = delete;
  SessionsLetGoAtEnd& operator=(const SessionsLetGoAtEnd&) = delete;
};

}  // namespace support
