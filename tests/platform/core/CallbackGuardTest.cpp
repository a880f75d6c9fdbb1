#include "platform/core/CallbackGuard.h"

#include "platform/core/Log.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Collects the lines logged while it lives.
class LogCapture {
 public:
  LogCapture() {
    m_previous = core::setLogSink([this](const std::string& line) { m_lines.push_back(line); });
  }
  ~LogCapture() { core::setLogSink(m_previous); }
  const std::vector<std::string>& lines() const { return m_lines; }

 private:
  core::LogSink m_previous;
  std::vector<std::string> m_lines;
};

TEST(CallbackGuardTest, TheBodysResultPassesThroughAndNothingIsLogged) {
  LogCapture log;
  bool failedRan = false;
  int result = core::guardCallback("cb", [] { return 7; }, [&] {
    failedRan = true;
    return -1;
  });
  EXPECT_EQ(result, 7);
  EXPECT_FALSE(failedRan);
  EXPECT_TRUE(log.lines().empty());
}

TEST(CallbackGuardTest, AnyExceptionBecomesTheFailureValueAndALogLine) {
  LogCapture log;
  auto failed = [] { return size_t{0}; };
  EXPECT_EQ(core::guardCallback("headerCallback", []() -> size_t { throw std::out_of_range("basic_string::substr"); },
                                failed),
            0u);
  EXPECT_EQ(core::guardCallback("writeCallback", []() -> size_t { throw 42; }, failed), 0u);
  ASSERT_EQ(log.lines().size(), 2u);
  EXPECT_NE(log.lines()[0].find("headerCallback"), std::string::npos) << log.lines()[0];
  EXPECT_NE(log.lines()[0].find("basic_string::substr"), std::string::npos) << log.lines()[0];
  EXPECT_NE(log.lines()[1].find("writeCallback"), std::string::npos) << log.lines()[1];
  EXPECT_NE(log.lines()[1].find("unknown type"), std::string::npos) << log.lines()[1];
}

TEST(CallbackGuardTest, TheFailureRunsOnceTheExceptionIsHandled) {
  // A library's own error exit (a long jump) may follow, so no exception may still be active.
  LogCapture log;
  bool active = true;
  core::guardCallback("cb", [] { throw std::runtime_error("x"); }, [&] {
    active = std::uncaught_exceptions() > 0 || std::current_exception() != nullptr;
  });
  EXPECT_FALSE(active);
}

}  // namespace
