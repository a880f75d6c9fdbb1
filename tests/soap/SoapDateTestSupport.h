#pragma once

#include "platform/core/Clock.h"
#include "platform/core/Date.h"
#include "support/ScopedEnv.h"

#include <gtest/gtest.h>

#include <ctime>

namespace kt::testing {

inline core::Date utc(const char* text) {
  auto date = core::Date::parseIso8601(text);
  EXPECT_TRUE(date) << text;
  return date.value_or(core::Date());
}

// Fixes "now" and the device's time zone (in POSIX form, so no zone database is needed) for
// one test: by default noon of 5 March 2026 in a zone eight hours ahead of UTC.
class FixedNowTest : public ::testing::Test {
 protected:
  FixedNowTest() {
    tzset();
    core::Clock::setVirtual(true);
    setNow("2026-03-05T04:00:00Z");
  }
  ~FixedNowTest() override { core::Clock::setVirtual(false); }

  void setNow(const char* text) { core::Clock::setWallNow(utc(text).timeIntervalSince1970()); }
  void setZone(const char* tz) {
    setenv("TZ", tz, 1);
    tzset();
  }

 private:
  // Destroyed after the zone is restored, so that the C library reads the restored zone.
  struct ZoneReset {
    ~ZoneReset() { tzset(); }
  } m_reset;
  support::ScopedEnv m_zone{"TZ", "CST-8"};
};

}  // namespace kt::testing
