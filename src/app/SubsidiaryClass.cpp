#include "app/SubsidiaryClass.h"

#include "app/WGAlertView.h"

#include "platform/core/Clock.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/TextLayout.h"
#include "platform/ui/Screen.h"

#include <cstdio>
#include <random>
#include <regex>
#include <vector>

namespace kt {

namespace {

gfx::Size measure(const std::string& text, int fontSize, gfx::Size box) {
  gfx::TextLayout layout(text, gfx::TextStyle::withFont(gfx::Font::systemFont(static_cast<float>(fontSize))));
  return layout.boundingSize(box, gfx::TextUsesLineFragmentOrigin | gfx::TextTruncatesLastVisibleLine);
}

std::string wholeNumber(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.0f", value);
  return buffer;
}

bool matchesWhole(const std::string& text, const char* pattern) { return std::regex_match(text, std::regex(pattern)); }

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

size_t skipSpace(const std::string& text, size_t i) {
  while (i < text.size() && isSpace(text[i])) ++i;
  return i;
}

size_t skipDigits(const std::string& text, size_t i) {
  while (i < text.size() && isDigit(text[i])) ++i;
  return i;
}

size_t skipSign(const std::string& text, size_t i) {
  return i < text.size() && (text[i] == '+' || text[i] == '-') ? i + 1 : i;
}

// A check alert titled "提示" with one button "确定".
void showCheckAlert(const std::string& message);

}  // namespace

float SubsidiaryClass::fontHeight(const std::string& text, int fontSize, float width) {
  const double screenHeight = ui::Screen::main().bounds().size.height;
  return static_cast<float>(measure(text, fontSize, gfx::Size{width, screenHeight * 10}).height);
}

float SubsidiaryClass::fontWidth(const std::string& text, int fontSize, float height) {
  const double screenWidth = ui::Screen::main().bounds().size.width;
  return static_cast<float>(measure(text, fontSize, gfx::Size{screenWidth, height}).width);
}

std::string SubsidiaryClass::getTimeStampForUDP() { return wholeNumber(core::Clock::wallNow()); }

std::string SubsidiaryClass::getTimeStamp() { return wholeNumber(core::Clock::wallNow() * 1000); }

std::string SubsidiaryClass::getRandomNumber() {
  static auto* device = new std::random_device;  // never destroyed, as every shared object here
  const unsigned value = static_cast<unsigned>((*device)()) % 900 + 100;
  return std::to_string(value);
}

bool SubsidiaryClass::checkIDCardNumber(const std::string& text) {
  return matchesWhole(text, "^[1-9]([0-9]{16}|[0-9]{13})[xX0-9]$");
}

bool SubsidiaryClass::chectMobile(const std::string& text) {
  if (text.empty()) {
    showCheckAlert("请填写手机号");
    return false;
  }
  if (!matchesWhole(text, "^((13[0-9])|(147)|(170)|(17[6-8])|(15[^4,\\D])|(18[0-9]))\\d{8}$")) {
    showCheckAlert("请确认手机号输入正确");
    return false;
  }
  return true;
}

bool SubsidiaryClass::checkEmail(const std::string& text) {
  if (text.empty()) {
    showCheckAlert("请输入邮箱名");
    return false;
  }
  return matchesWhole(text, "[A-Z0-9a-z._%+-]+@[A-Za-z0-9.-]+\\.[A-Za-z]{2,4}");
}

bool SubsidiaryClass::checkDate(const std::string& text) {
  return matchesWhole(text,
                      "^(?:(?!0000)[0-9]{4}-(?:(?:0[1-9]|1[0-2])-(?:0[1-9]|1[0-9]|2[0-8])|(?:0[13-9]|1[0-2])-(?:29|30)|"
                      "(?:0[13578]|1[02])-31)|(?:[0-9]{2}(?:0[48]|[2468][048]|[13579][26])|(?:0[48]|[2468][048]|"
                      "[13579][26])00)-02-29)$");
}

bool SubsidiaryClass::compareTimeString(const std::string& first, const std::string& second) { return first < second; }

bool SubsidiaryClass::isPureInt(const std::string& text) {
  size_t i = skipSign(text, skipSpace(text, 0));
  const size_t digits = i;
  i = skipDigits(text, i);
  if (i == digits) return false;
  return skipSpace(text, i) == text.size();
}

bool SubsidiaryClass::isPureFloat(const std::string& text) {
  size_t i = skipSign(text, skipSpace(text, 0));
  const size_t start = i;
  i = skipDigits(text, i);
  bool anyDigit = i > start;
  if (i < text.size() && text[i] == '.') {
    const size_t fraction = i + 1;
    i = skipDigits(text, fraction);
    anyDigit = anyDigit || i > fraction;
  }
  if (!anyDigit) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    const size_t exponent = skipSign(text, i + 1);
    const size_t end = skipDigits(text, exponent);
    if (end > exponent) i = end;  // an "e" without digits is not part of the number
  }
  return skipSpace(text, i) == text.size();
}

namespace {

void showCheckAlert(const std::string& message) {
  // Nobody acts on the button: the alert only tells the user.
  WGAlertView::create("提示", message, nullptr, std::vector<std::string>{"确定"})->show();
}

}  // namespace

}  // namespace kt
