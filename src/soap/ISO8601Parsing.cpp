#include "soap/ISO8601Parsing.h"

#include "soap/ISO8601Week.h"

#include "platform/core/Calendar.h"
#include "platform/core/Log.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <string>

namespace kt::ISO8601Parsing {
namespace {

enum class Kind { Calendar, Week, Ordinal };

bool isDigit(uint8_t c) { return c >= '0' && c <= '9'; }
// The C locale's white space.
bool isSpace(uint8_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// One parse: a cursor over the bytes that never backs up, and the values read so far. Every
// number is an unsigned 32-bit value; long digit runs wrap around instead of overflowing.
class Parser {
 public:
  Parser(std::string_view text, bool strict, char16_t separator)
      : m_whole(text), m_text(text.substr(0, text.find('\0'))), m_strict(strict),
        m_separator(strict ? u':' : separator) {}

  std::optional<core::Date> parse(Range* range);

 private:
  bool atEnd() const { return m_pos >= m_text.size(); }
  // The byte under the cursor, 0 at the end (where nothing matches it).
  uint8_t peek(size_t ahead = 0) const {
    return m_pos + ahead < m_text.size() ? static_cast<uint8_t>(m_text[m_pos + ahead]) : 0;
  }
  bool at(char c) const { return !atEnd() && peek() == static_cast<uint8_t>(c); }
  bool atDigit() const { return isDigit(peek()); }
  bool atSeparator() const { return !atEnd() && peek() == m_separator; }
  bool skip(char c) {
    if (!at(c)) return false;
    ++m_pos;
    return true;
  }

  uint32_t digitRun(unsigned* count = nullptr);
  uint32_t oneOrTwoDigits();
  uint32_t twoDigitField();
  double decimalNumber();

  bool readDate();
  bool readDateAfterDigits(uint32_t segment, unsigned digits, unsigned hyphens);
  bool readWithoutDigits(unsigned hyphens);
  bool readWeek();
  void readWeekday();
  void readTime();
  void readZone();
  core::Date build() const;

  void setCalendarDate(uint32_t year, uint32_t month, uint32_t day) {
    m_kind = Kind::Calendar;
    m_year = year;
    m_month = month;
    m_day = day;
  }
  void setOrdinalDate(uint32_t year, uint32_t day) {
    m_kind = Kind::Ordinal;
    m_year = year;
    m_day = day;
  }
  bool ordinalFits(uint32_t year, uint32_t day) const {
    return !m_strict || day <= static_cast<uint32_t>(core::Calendar::daysInYear(year));
  }
  void log(const std::string& line) const { core::logLine("(" + std::string(m_whole) + ") " + line); }

  const std::string_view m_whole;
  const std::string_view m_text;
  const bool m_strict;
  const char16_t m_separator;
  size_t m_pos = 0;

  core::Calendar m_calendar;
  uint32_t m_todayYear = 0;
  uint32_t m_todayMonth = 0;
  uint32_t m_todayDay = 0;

  Kind m_kind = Kind::Calendar;
  uint32_t m_year = 0;
  uint32_t m_month = 0;  // the week for week dates
  uint32_t m_day = 0;    // the weekday (1 = Monday) for week dates, the day of the year for ordinal ones
  uint32_t m_hour = 0;
  double m_minute = 0;
  double m_second = 0;
};

uint32_t Parser::digitRun(unsigned* count) {
  uint32_t value = 0;
  unsigned n = 0;
  while (atDigit()) {
    value = value * 10u + (peek() - '0');
    ++m_pos;
    ++n;
  }
  if (count) *count = n;
  return value;
}

uint32_t Parser::oneOrTwoDigits() {
  uint32_t value = peek() - '0';
  ++m_pos;
  if (atDigit()) {
    value = value * 10u + (peek() - '0');
    ++m_pos;
  }
  return value;
}

uint32_t Parser::twoDigitField() {
  uint32_t value = atDigit() ? peek() - '0' : 0;
  if (!atEnd()) ++m_pos;
  if (atDigit()) {
    value = value * 10u + (peek() - '0');
    ++m_pos;
  }
  return value;
}

double Parser::decimalNumber() {
  double value = digitRun();
  if (at(',') || at('.')) {
    ++m_pos;
    double scale = 0.1;
    while (atDigit()) {
      value += (peek() - '0') * scale;
      scale *= 0.1;
      ++m_pos;
    }
  }
  return value;
}

std::optional<core::Date> Parser::parse(Range* range) {
  auto fail = [range]() -> std::optional<core::Date> {
    if (range) *range = Range{};
    return std::nullopt;
  };
  const core::Calendar::Components today = m_calendar.components(core::Date::now());
  m_todayYear = static_cast<uint32_t>(today.year);
  m_todayMonth = static_cast<uint32_t>(today.month);
  m_todayDay = static_cast<uint32_t>(today.day);

  if (m_strict && isSpace(peek())) return fail();
  while (isSpace(peek())) ++m_pos;
  const size_t leading = m_pos;

  if (skip('T')) {
    // A time of day alone, on today's date.
    setCalendarDate(m_todayYear, m_todayMonth, m_todayDay);
    if (!atDigit()) return fail();
  } else if (!readDate()) {
    return fail();
  }
  readTime();

  const core::Date date = build();
  if (range) *range = Range{leading, m_pos - leading};
  return date;
}

bool Parser::readDate() {
  unsigned hyphens = 0;
  while (skip('-')) ++hyphens;
  if (!atDigit()) return readWithoutDigits(hyphens);
  unsigned digits = 0;
  const uint32_t segment = digitRun(&digits);
  return readDateAfterDigits(segment, digits, hyphens);
}

bool Parser::readDateAfterDigits(uint32_t segment, unsigned digits, unsigned hyphens) {
  const uint32_t century = m_todayYear - m_todayYear % 100;
  const uint32_t decade = m_todayYear - m_todayYear % 10;

  if (digits == 1 && m_strict) {
    // -Y, then an optional "-" and a week.
    if (hyphens != 1) return false;
    m_year = decade + segment;
    skip('-');
    if (!at('W')) return false;
    return readWeek();
  }

  switch (digits) {
    case 1:  // lenient: as two digits
    case 2:
      if (hyphens == 0) {
        if (at('W') || (at('-') && peek(1) == 'W')) {
          // YYWww, YY-Www
          m_year = century + segment;
          skip('-');
          return readWeek();
        }
        if (at('-') && isDigit(peek(1))) {
          // YY-MM, YY-MM-DD, YY-DDD, YY-MMDD
          const uint32_t year = century + segment;
          ++m_pos;
          uint32_t value = 0;
          unsigned count = 0;
          for (; count < 4 && atDigit(); ++count, ++m_pos) value = value * 10u + (peek() - '0');
          log("parsing month; segment is " + std::to_string(value) + " and ch is " +
              std::string(m_text.substr(m_pos)));
          if (count == 1 && m_strict) return false;
          if (count <= 2) {
            uint32_t day = 1;
            if (skip('-') && atDigit()) day = twoDigitField();
            setCalendarDate(year, value, day);
          } else if (count == 3) {
            setOrdinalDate(year, value);
          } else {
            setCalendarDate(year, value / 100, value % 100);
          }
          return true;
        }
        // YY: the century alone.
        skip('-');
        setCalendarDate(segment * 100u, 1, 1);
        return true;
      }
      if (hyphens == 1) {
        // -YY, -YY-MM
        log("found " + std::to_string(digits) + " digits and one hyphen, so this is either -YY or -YY-MM; " +
            "segment (year) is " + std::to_string(segment));
        const uint32_t year = (digits == 1 ? decade : century) + segment;
        uint32_t month = 1;
        if (skip('-')) {
          month = twoDigitField();
          log("month is " + std::to_string(month));
        }
        setCalendarDate(year, month, 1);
        return true;
      }
      if (hyphens == 2) {
        // --MM, --MM-DD
        const uint32_t day = skip('-') ? twoDigitField() : 1;
        setCalendarDate(m_todayYear, segment, day);
        return true;
      }
      if (hyphens == 3) {
        // ---DD
        setCalendarDate(m_todayYear, m_todayMonth, segment);
        return true;
      }
      return false;

    case 3:
      // -DDD, --DDD; strict mode also takes more hyphens.
      if (hyphens == 0 || (hyphens >= 3 && !m_strict)) return false;
      if (!ordinalFits(m_todayYear, segment)) return false;
      setOrdinalDate(m_todayYear, segment);
      return true;

    case 4:
      if (hyphens == 0) {
        // YYYY, YYYY-MM[-DD], YYYY-DDD, YYYY-MMDD, YYYY-Www
        const uint32_t year = segment;
        skip('-');
        if (atDigit()) {
          unsigned count = 0;
          const uint32_t value = digitRun(&count);
          if (count == 2) {
            skip('-');
            setCalendarDate(year, value, atDigit() ? digitRun() : 1);
            return true;
          }
          if (count == 3) {
            if (!ordinalFits(year, value)) return false;
            setOrdinalDate(year, value);
            return true;
          }
          if (count == 4) {
            setCalendarDate(year, value / 100, value % 100);
            return true;
          }
          return false;
        }
        if (at('W')) {
          m_year = year;
          return readWeek();
        }
        setCalendarDate(year, 1, 1);
        return true;
      }
      if (hyphens == 1) {
        // -YYMM, -YYMM-DD
        const uint32_t year = century + segment / 100;
        const uint32_t month = segment % 100;
        skip('-');
        setCalendarDate(year, month, atDigit() ? digitRun() : 1);
        return true;
      }
      if (hyphens == 2) {
        // --MMDD
        setCalendarDate(m_todayYear, segment / 100, segment % 100);
        return true;
      }
      return false;

    case 6:
      // YYMMDD
      if (hyphens != 0) return false;
      setCalendarDate(century + segment / 10000, segment / 100 % 100, segment % 100);
      return true;

    case 7:
      // YYYYDDD
      if (hyphens != 0 || !ordinalFits(segment / 1000, segment % 1000)) return false;
      setOrdinalDate(segment / 1000, segment % 1000);
      return true;

    case 8:
      // YYYYMMDD
      if (hyphens != 0) return false;
      setCalendarDate(segment / 10000, segment / 100 % 100, segment % 100);
      return true;

    default:
      return false;
  }
}

bool Parser::readWithoutDigits(unsigned hyphens) {
  if (!at('W')) return false;
  if (peek(1) == '-' && isDigit(peek(2))) {
    // -W-D: a weekday of the first week of this year.
    if (!(hyphens == 1 || (hyphens == 2 && !m_strict))) return false;
    m_year = m_todayYear;
    m_month = 1;
    m_pos += 2;
    readWeekday();
    return true;
  }
  if (hyphens != 1) return false;
  m_year = m_todayYear;
  return readWeek();
}

bool Parser::readWeek() {
  ++m_pos;  // the "W"
  if (!atDigit()) {
    if (m_strict) return false;
    setCalendarDate(m_year, 1, 1);
    return true;
  }
  m_month = oneOrTwoDigits();
  skip('-');
  readWeekday();
  return true;
}

void Parser::readWeekday() {
  m_kind = Kind::Week;
  m_day = atDigit() ? oneOrTwoDigits() : 1;
}

void Parser::readTime() {
  if (at('T') || isSpace(peek())) ++m_pos;
  if (!atDigit()) return;
  m_hour = oneOrTwoDigits();
  if (atSeparator()) {
    ++m_pos;
    if (m_separator == u',' || m_separator == u'.') {
      m_minute = twoDigitField();
      if (atSeparator()) {
        ++m_pos;
        m_second = twoDigitField();
      }
    } else {
      const double minute = decimalNumber();
      m_minute = std::floor(minute);
      const double fraction = minute - m_minute;
      if (fraction > DBL_EPSILON) {
        m_second = fraction * 60.0;
      } else if (atSeparator()) {
        ++m_pos;
        m_second = decimalNumber();
      }
    }
  }
  readZone();
}

void Parser::readZone() {
  if (at('+') || at('-')) {
    const int sign = peek() == '-' ? -1 : 1;
    ++m_pos;
    if (!atDigit()) return;
    const uint32_t hours = oneOrTwoDigits();
    if (atSeparator()) ++m_pos;
    const uint32_t minutes = atDigit() ? twoDigitField() : 0;
    const int64_t offset = sign * (static_cast<int64_t>(hours) * 3600 + static_cast<int64_t>(minutes) * 60);
    // An offset the platform refuses leaves the device's zone in place.
    if (auto zone = core::TimeZone::timeZoneForSecondsFromGMT(offset)) m_calendar.setTimeZone(*zone);
  } else if (skip('Z')) {
    m_calendar.setTimeZone(core::TimeZone::utc());
  }
}

core::Date Parser::build() const {
  const auto minute = static_cast<int64_t>(m_minute);
  const auto second = static_cast<int64_t>(m_second);
  if (m_kind == Kind::Calendar) {
    return m_calendar.dateFromComponents(m_year, m_month, m_day, m_hour, minute, second);
  }
  int64_t dayOfYear = m_day;
  if (m_kind == Kind::Week) {
    // The weekday of 1 January, Monday = 0, and from it the day of the year of the week's day.
    const int64_t jan1 = ISO8601Week::weekdayOfFirstJanuary(m_year);
    dayOfYear = 7 * static_cast<int64_t>(m_month) + m_day - 7 - jan1 + (jan1 > 3 ? 7 : 0);
  }
  // 1 January plus the days after it; days beyond the year, or before it, roll over.
  return m_calendar.dateFromComponents(m_year, 1, dayOfYear, m_hour, minute, second);
}

}  // namespace

std::optional<core::Date> dateWithString(std::string_view text, bool strictly, char16_t timeSeparator, Range* range) {
  return Parser(text, strictly, timeSeparator).parse(range);
}

std::optional<core::Date> dateWithString(std::string_view text) { return dateWithString(text, false, u':', nullptr); }
std::optional<core::Date> dateWithString(std::string_view text, bool strictly) {
  return dateWithString(text, strictly, u':', nullptr);
}
std::optional<core::Date> dateWithString(std::string_view text, bool strictly, Range* range) {
  return dateWithString(text, strictly, u':', range);
}
std::optional<core::Date> dateWithString(std::string_view text, char16_t timeSeparator, Range* range) {
  return dateWithString(text, false, timeSeparator, range);
}
std::optional<core::Date> dateWithString(std::string_view text, char16_t timeSeparator) {
  return dateWithString(text, false, timeSeparator, nullptr);
}
std::optional<core::Date> dateWithString(std::string_view text, Range* range) {
  return dateWithString(text, false, u':', range);
}

}  // namespace kt::ISO8601Parsing
