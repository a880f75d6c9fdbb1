#include "platform/core/Date.h"

#include "platform/core/Clock.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

namespace core {
namespace {

enum class Field { Literal, Year4, Year2, Month, Day, Hour, Minute, Second, Millis, Offset };

struct Token {
  Field field = Field::Literal;
  int width = 0;  // digits to print; 1 means "one or two" when parsing
  std::string literal;
};

std::vector<Token> tokenize(std::string_view pattern) {
  std::vector<Token> tokens;
  auto addLiteral = [&](std::string_view text) {
    if (!tokens.empty() && tokens.back().field == Field::Literal) {
      tokens.back().literal += text;
    } else {
      tokens.push_back(Token{Field::Literal, 0, std::string(text)});
    }
  };
  size_t i = 0;
  while (i < pattern.size()) {
    char c = pattern[i];
    if (c == '\'') {
      if (i + 1 < pattern.size() && pattern[i + 1] == '\'') {
        addLiteral("'");
        i += 2;
        continue;
      }
      // Quoted text up to the closing quote; '' inside it is a quote too.
      std::string text;
      ++i;
      while (i < pattern.size()) {
        if (pattern[i] == '\'') {
          if (i + 1 < pattern.size() && pattern[i + 1] == '\'') {
            text += '\'';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        text += pattern[i++];
      }
      addLiteral(text);
      continue;
    }
    size_t run = 1;
    while (i + run < pattern.size() && pattern[i + run] == c) ++run;
    Field f = Field::Literal;
    int width = 0;
    switch (c) {
      case 'y': f = run >= 3 ? Field::Year4 : Field::Year2; width = run >= 3 ? 4 : 2; break;
      case 'M': f = Field::Month; width = run >= 2 ? 2 : 1; break;
      case 'd': f = Field::Day; width = run >= 2 ? 2 : 1; break;
      case 'H': f = Field::Hour; width = run >= 2 ? 2 : 1; break;
      case 'm': f = Field::Minute; width = 2; break;
      case 's': f = Field::Second; width = 2; break;
      case 'S': f = Field::Millis; width = 3; break;
      case 'Z': f = Field::Offset; width = 5; break;
      default: break;
    }
    if (f == Field::Literal) {
      addLiteral(pattern.substr(i, run));
    } else {
      tokens.push_back(Token{f, width, {}});
    }
    i += run;
  }
  return tokens;
}

// Breaks a time into calendar fields; returns the zone offset in seconds east of UTC.
long breakDown(time_t t, Date::Zone zone, std::tm& tm) {
  if (zone == Date::Zone::Utc) {
    gmtime_r(&t, &tm);
    return 0;
  }
  localtime_r(&t, &tm);
  return tm.tm_gmtoff;
}

std::string offsetText(long offset) {
  char buf[48];
  char sign = offset < 0 ? '-' : '+';
  int a = static_cast<int>(std::labs(offset) / 60 % (100 * 60));
  std::snprintf(buf, sizeof buf, "%c%02d%02d", sign, a / 60, a % 60);
  return buf;
}

bool readDigits(std::string_view text, size_t& pos, int minDigits, int maxDigits, int& out) {
  int n = 0;
  int value = 0;
  while (n < maxDigits && pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
    value = value * 10 + (text[pos] - '0');
    ++pos;
    ++n;
  }
  if (n < minDigits) return false;
  out = value;
  return true;
}

// Builds a time from calendar fields; nullopt when the fields do not name a real time. Second 60
// is refused like any other out-of-range field rather than read as the next minute.
std::optional<double> assemble(int year, int month, int day, int hour, int minute, int second, Date::Zone zone,
                               std::optional<long> offset) {
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59) return std::nullopt;
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  time_t t;
  if (offset || zone == Date::Zone::Utc) {
    t = timegm(&tm);
    if (offset) t -= *offset;
  } else {
    tm.tm_isdst = -1;
    t = mktime(&tm);
  }
  // Normalisation moved the date: it did not exist (for example 30 February).
  if (tm.tm_mday != day || tm.tm_mon != month - 1) return std::nullopt;
  return static_cast<double>(t);
}

// A time to the nearest millisecond, as whole seconds (rounded down) and milliseconds 0-999; a
// fraction that rounds up carries into the second and from there into every larger field.
struct Split {
  double seconds;
  int millis;
};

Split splitMillis(double secondsSince1970) {
  double millis = std::round(secondsSince1970 * 1000.0);
  double whole = std::floor(millis / 1000.0);
  return {whole, static_cast<int>(millis - whole * 1000.0)};
}

// 0000-01-01T00:00:00Z and 9999-12-31T23:59:59Z: the first and last seconds a four-digit year can
// name. Property lists keep only dates between them, so that every date written is read back.
constexpr double kIso8601First = -62167219200;
constexpr double kIso8601Last = 253402300799;

// Whether the time, as format() rounds it, falls between the two. NaN and far-off times are
// ruled out before they reach splitMillis().
bool hasIso8601Form(double secondsSince1970) {
  if (!(secondsSince1970 > kIso8601First - 1 && secondsSince1970 < kIso8601Last + 1)) return false;
  double whole = splitMillis(secondsSince1970).seconds;
  return whole >= kIso8601First && whole <= kIso8601Last;
}

}  // namespace

Date Date::now() { return Date(Clock::wallNow()); }

double Date::timeIntervalSinceNow() const { return m_seconds - Clock::wallNow(); }

std::string Date::format(std::string_view pattern, Zone zone) const {
  const auto [whole, millis] = splitMillis(m_seconds);
  std::tm tm{};
  long offset = breakDown(static_cast<time_t>(whole), zone, tm);
  std::string out;
  char buf[32];
  for (const Token& t : tokenize(pattern)) {
    int value = 0;
    switch (t.field) {
      case Field::Literal: out += t.literal; continue;
      case Field::Offset: out += offsetText(offset); continue;
      case Field::Year4: value = tm.tm_year + 1900; break;
      case Field::Year2: value = (tm.tm_year + 1900) % 100; break;
      case Field::Month: value = tm.tm_mon + 1; break;
      case Field::Day: value = tm.tm_mday; break;
      case Field::Hour: value = tm.tm_hour; break;
      case Field::Minute: value = tm.tm_min; break;
      case Field::Second: value = tm.tm_sec; break;
      case Field::Millis: value = millis; break;
    }
    std::snprintf(buf, sizeof buf, "%0*d", t.width, value);
    out += buf;
  }
  return out;
}

std::optional<Date> Date::parse(std::string_view text, std::string_view pattern, Zone zone) {
  int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0, millis = 0;
  std::optional<long> offset;
  size_t pos = 0;
  for (const Token& t : tokenize(pattern)) {
    bool ok = true;
    switch (t.field) {
      case Field::Literal:
        ok = text.substr(pos, t.literal.size()) == t.literal;
        pos += t.literal.size();
        break;
      case Field::Year4: ok = readDigits(text, pos, 4, 4, year); break;
      case Field::Year2:
        ok = readDigits(text, pos, 2, 2, year);
        year += 2000;
        break;
      case Field::Month: ok = readDigits(text, pos, t.width, 2, month); break;
      case Field::Day: ok = readDigits(text, pos, t.width, 2, day); break;
      case Field::Hour: ok = readDigits(text, pos, t.width, 2, hour); break;
      case Field::Minute: ok = readDigits(text, pos, 2, 2, minute); break;
      case Field::Second: ok = readDigits(text, pos, 2, 2, second); break;
      case Field::Millis: ok = readDigits(text, pos, 3, 3, millis); break;
      case Field::Offset: {
        if (pos < text.size() && text[pos] == 'Z') {
          offset = 0;
          ++pos;
          break;
        }
        if (pos >= text.size() || (text[pos] != '+' && text[pos] != '-')) return std::nullopt;
        int sign = text[pos] == '-' ? -1 : 1;
        ++pos;
        int hh = 0, mm = 0;
        ok = readDigits(text, pos, 2, 2, hh);
        if (ok && pos < text.size() && text[pos] == ':') ++pos;
        ok = ok && readDigits(text, pos, 2, 2, mm);
        offset = sign * (hh * 3600L + mm * 60L);
        break;
      }
    }
    if (!ok) return std::nullopt;
  }
  if (pos != text.size()) return std::nullopt;
  auto t = assemble(year, month, day, hour, minute, second, zone, offset);
  if (!t) return std::nullopt;
  return Date(*t + millis / 1000.0);
}

std::optional<std::string> Date::iso8601() const {
  if (!hasIso8601Form(m_seconds)) return std::nullopt;
  return format("yyyy-MM-dd'T'HH:mm:ss'Z'", Zone::Utc);
}

std::optional<Date> Date::parseIso8601(std::string_view text) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  size_t pos = 0;
  auto expect = [&](char c) {
    if (pos < text.size() && text[pos] == c) {
      ++pos;
      return true;
    }
    return false;
  };
  if (!(readDigits(text, pos, 4, 4, year) && expect('-') && readDigits(text, pos, 2, 2, month) && expect('-') &&
        readDigits(text, pos, 2, 2, day) && expect('T') && readDigits(text, pos, 2, 2, hour) && expect(':') &&
        readDigits(text, pos, 2, 2, minute) && expect(':') && readDigits(text, pos, 2, 2, second))) {
    return std::nullopt;
  }
  double fraction = 0;
  if (expect('.')) {
    double scale = 0.1;
    size_t start = pos;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
      fraction += (text[pos] - '0') * scale;
      scale /= 10;
      ++pos;
    }
    if (pos == start) return std::nullopt;
  }
  long offset = 0;
  if (!expect('Z')) {
    if (pos >= text.size() || (text[pos] != '+' && text[pos] != '-')) return std::nullopt;
    int sign = text[pos] == '-' ? -1 : 1;
    ++pos;
    int hh = 0, mm = 0;
    if (!readDigits(text, pos, 2, 2, hh)) return std::nullopt;
    expect(':');
    if (!readDigits(text, pos, 2, 2, mm)) return std::nullopt;
    offset = sign * (hh * 3600L + mm * 60L);
  }
  if (pos != text.size()) return std::nullopt;
  auto t = assemble(year, month, day, hour, minute, second, Zone::Utc, offset);
  // An offset can move the time out of the years 0000-9999, where iso8601() could not write it.
  if (!t || !hasIso8601Form(*t + fraction)) return std::nullopt;
  return Date(*t + fraction);
}

std::string Date::description() const { return format("yyyy-MM-dd HH:mm:ss Z", Zone::Utc); }

}  // namespace core
