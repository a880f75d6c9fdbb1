#pragma once

#include <cstdint>
#include <optional>

namespace core {

// A time zone: the device's zone (the TZ setting as the C library reads it; a test that changes
// TZ calls tzset()) or a fixed offset from UTC.
class TimeZone {
 public:
  static TimeZone defaultTimeZone() { return TimeZone(); }
  static TimeZone utc() { return TimeZone(0); }
  // A fixed offset east of UTC; nullopt for one beyond 18 hours either way.
  static std::optional<TimeZone> timeZoneForSecondsFromGMT(int64_t seconds);

  bool isDefault() const { return !m_fixedOffset.has_value(); }
  // Seconds east of UTC at the given time (seconds since 1970, UTC).
  int64_t secondsFromGMT(int64_t secondsSince1970) const;

  bool operator==(const TimeZone&) const = default;

 private:
  TimeZone() = default;
  explicit TimeZone(int64_t offset) : m_fixedOffset(offset) {}

  std::optional<int64_t> m_fixedOffset;
};

}  // namespace core
