#include "platform/core/TimeZone.h"

#include <ctime>

namespace core {

std::optional<TimeZone> TimeZone::timeZoneForSecondsFromGMT(int64_t seconds) {
  constexpr int64_t kLimit = 18 * 3600;
  if (seconds < -kLimit || seconds > kLimit) return std::nullopt;
  return TimeZone(seconds);
}

int64_t TimeZone::secondsFromGMT(int64_t secondsSince1970) const {
  if (m_fixedOffset) return *m_fixedOffset;
  std::tm tm{};
  const time_t t = static_cast<time_t>(secondsSince1970);
  if (localtime_r(&t, &tm)) return tm.tm_gmtoff;
  // Beyond what the C library can break down: the offset the zone has at the epoch.
  const time_t epoch = 0;
  return localtime_r(&epoch, &tm) ? tm.tm_gmtoff : 0;
}

}  // namespace core
