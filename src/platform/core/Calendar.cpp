#include "platform/core/Calendar.h"

#include <algorithm>
#include <cmath>

namespace core {
namespace {

constexpr int64_t kSecondsPerDay = 86400;
// About three billion years: far beyond any calendar use, and safe from overflow in seconds.
constexpr double kLimit = 1e17;

int64_t floorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0); }
int64_t floorMod(int64_t a, int64_t b) { return a - floorDiv(a, b) * b; }

// Days from 1970-01-01 to the first of the month (month 1-12).
int64_t daysFromCivil(int64_t year, int64_t month) {
  const int64_t y = month <= 2 ? year - 1 : year;
  const int64_t era = floorDiv(y, 400);
  const int64_t yoe = y - era * 400;
  const int64_t mp = (month + 9) % 12;  // March = 0
  const int64_t doy = (153 * mp + 2) / 5;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

struct Civil {
  int64_t year;
  int64_t month;
  int64_t day;
};

Civil civilFromDays(int64_t days) {
  const int64_t z = days + 719468;
  const int64_t era = floorDiv(z, 146097);
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  return {yoe + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

}  // namespace

bool Calendar::isLeapYear(int64_t year) {
  return floorMod(year, 4) == 0 && (floorMod(year, 100) != 0 || floorMod(year, 400) == 0);
}

Calendar::Components Calendar::components(const Date& date) const {
  double seconds = date.timeIntervalSince1970();
  if (std::isnan(seconds)) seconds = 0;
  seconds = std::fmax(-kLimit, std::fmin(kLimit, seconds));
  const int64_t utc = static_cast<int64_t>(std::floor(seconds));
  const int64_t local = utc + m_zone.secondsFromGMT(utc);
  const int64_t days = floorDiv(local, kSecondsPerDay);
  const int64_t inDay = local - days * kSecondsPerDay;
  const Civil civil = civilFromDays(days);

  Components c;
  c.year = civil.year;
  c.month = civil.month;
  c.day = civil.day;
  c.hour = inDay / 3600;
  c.minute = inDay / 60 % 60;
  c.second = inDay % 60;
  c.weekday = static_cast<int>(floorMod(days + 4, 7)) + 1;  // 1970-01-01 was a Thursday
  c.dayOfYear = static_cast<int>(days - daysFromCivil(civil.year, 1)) + 1;
  return c;
}

Date Calendar::dateFromComponents(int64_t year, int64_t month, int64_t day, int64_t hour, int64_t minute,
                                  int64_t second) const {
  const int64_t months = year * 12 + (month - 1);
  const int64_t days = daysFromCivil(floorDiv(months, 12), floorMod(months, 12) + 1) + (day - 1);
  const int64_t local = days * kSecondsPerDay + hour * 3600 + minute * 60 + second;
  if (!m_zone.isDefault()) return Date(static_cast<double>(local - m_zone.secondsFromGMT(0)));
  // The zone's offsets a day before and a day after: the one that holds at the time it gives is
  // the answer; when both do (a repeated hour) the earlier time is taken. When neither does (a
  // skipped hour), the offset from before the change puts the time after the gap.
  const int64_t before = m_zone.secondsFromGMT(local - kSecondsPerDay);
  const int64_t after = m_zone.secondsFromGMT(local + kSecondsPerDay);
  const bool beforeHolds = m_zone.secondsFromGMT(local - before) == before;
  const bool afterHolds = m_zone.secondsFromGMT(local - after) == after;
  int64_t offset = before;
  if (beforeHolds && afterHolds) offset = std::max(before, after);
  else if (afterHolds) offset = after;
  return Date(static_cast<double>(local - offset));
}

}  // namespace core
