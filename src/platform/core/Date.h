#pragma once

#include <compare>
#include <optional>
#include <string>
#include <string_view>

namespace core {

// A point in time: seconds since 1970-01-01 00:00:00 UTC, with a fraction.
//
// Formatting and parsing use a small pattern language:
//   yyyy  four-digit year          yy  two-digit year (parsed as 2000-2099)
//   MM    month 01-12              M   month 1-12
//   dd    day 01-31                d   day 1-31
//   HH    hour 00-23               H   hour 0-23
//   mm    minute 00-59             ss  second 00-59
//   SSS   milliseconds 000-999     Z   zone offset "+0800"
//   'text' literal text ('' is a single quote); any other character is literal as well.
// Parsing is strict: every field must be there with its width (M, d and H take one or two
// digits), literals must match and the whole text must be used.
class Date {
 public:
  enum class Zone { Local, Utc };

  Date() = default;
  explicit Date(double secondsSince1970) : m_seconds(secondsSince1970) {}

  static Date now();
  static Date fromTimeIntervalSince1970(double seconds) { return Date(seconds); }

  double timeIntervalSince1970() const { return m_seconds; }
  double timeIntervalSinceNow() const;
  double timeIntervalSince(const Date& other) const { return m_seconds - other.m_seconds; }
  Date addingTimeInterval(double seconds) const { return Date(m_seconds + seconds); }

  Date operator+(double seconds) const { return Date(m_seconds + seconds); }
  Date operator-(double seconds) const { return Date(m_seconds - seconds); }
  double operator-(const Date& other) const { return m_seconds - other.m_seconds; }
  Date& operator+=(double seconds) {
    m_seconds += seconds;
    return *this;
  }
  auto operator<=>(const Date& other) const = default;
  bool operator==(const Date& other) const = default;

  // The time is rounded to the nearest millisecond before it is split into fields.
  std::string format(std::string_view pattern, Zone zone = Zone::Local) const;
  static std::optional<Date> parse(std::string_view text, std::string_view pattern, Zone zone = Zone::Local);

  // "2026-12-07T07:00:00Z" (whole seconds, UTC), the form property lists use; nullopt for a time
  // outside the years 0000-9999 (or not a number), which that form cannot hold.
  std::optional<std::string> iso8601() const;
  // Reads "YYYY-MM-DDTHH:MM:SS" with an optional fraction and "Z" or a "+HH:MM"/"+HHMM" offset.
  // Refuses a time that iso8601() could not write, such as one an offset moves past 9999.
  static std::optional<Date> parseIso8601(std::string_view text);

  // "2026-12-07 07:00:00 +0000", the text form of a date inside a value.
  std::string description() const;

 private:
  double m_seconds = 0;
};

}  // namespace core
