#pragma once

#include <string>

namespace kt {

// Small shared helpers: text measurement for the alert and chat cells, time stamps, a random
// number and input checks.
class SubsidiaryClass {
 public:
  // --- text measurement (main thread) --------------------------------------------------------
  // The height the text takes in the system font of `fontSize` points, wrapped to `width`,
  // within ten times the main screen's height (the last line that fits is truncated). Not rounded.
  static float fontHeight(const std::string& text, int fontSize, float width);
  // The width the text takes in the system font of `fontSize` points within `height`, wrapped
  // to the main screen's width. Not rounded.
  static float fontWidth(const std::string& text, int fontSize, float height);

  // --- time stamps and random numbers ---------------------------------------------------------
  // Seconds since 1970-01-01 00:00 UTC on the program's clock, as a rounded whole number.
  static std::string getTimeStampForUDP();
  // Milliseconds since 1970-01-01 00:00 UTC on the program's clock, as a rounded whole number.
  static std::string getTimeStamp();
  // A random number from 100 to 999, as text.
  static std::string getRandomNumber();

  // --- input checks (the whole text must match) ----------------------------------------------
  // 15 or 18 characters: a non-zero digit, digits, then a digit, "x" or "X".
  static bool checkIDCardNumber(const std::string& text);
  // An 11-digit mobile number of the known ranges. Empty text shows the alert "请填写手机号",
  // other text that does not match "请确认手机号输入正确" (both titled "提示").
  static bool chectMobile(const std::string& text);
  // An e-mail address. Empty text shows the alert "请输入邮箱名" and gives false; text that
  // does not match gives false without an alert.
  static bool checkEmail(const std::string& text);
  // A date written yyyy-mm-dd: year 0000 refused, 29 February only in leap years.
  static bool checkDate(const std::string& text);
  // True when the first text orders strictly before the second.
  static bool compareTimeString(const std::string& first, const std::string& second);
  // True when the text is one decimal integer, optionally signed, with nothing but white space
  // around it.
  static bool isPureInt(const std::string& text);
  // True when the text is one decimal floating-point number ("1.5", "-2e3", ".5"), with
  // nothing but white space around it.
  static bool isPureFloat(const std::string& text);
};

}  // namespace kt
