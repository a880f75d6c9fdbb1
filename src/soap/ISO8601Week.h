#pragma once

#include <cstdint>

namespace kt::ISO8601Week {

// The weekday of 1 January of the year, Monday = 0 ... Sunday = 6 (Gregorian rules, year 0 and
// before included). Shared by the reader and the writer of week dates.
inline int64_t weekdayOfFirstJanuary(int64_t year) {
  auto floorDiv = [](int64_t a, int64_t b) { return a / b - (a % b != 0 && (a < 0) != (b < 0) ? 1 : 0); };
  auto floorMod = [&](int64_t a, int64_t b) { return a - floorDiv(a, b) * b; };
  const int64_t y = year - 1;
  const int64_t inCentury = floorMod(y, 100);
  return floorMod(inCentury + inCentury / 4 + 5 * floorMod(floorDiv(y, 100), 4), 7);
}

}  // namespace kt::ISO8601Week
