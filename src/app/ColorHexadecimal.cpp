#include "app/ColorHexadecimal.h"

namespace kt {

std::optional<unsigned> readHexDigits(const std::string& text) {
  // Only plain digits: a sign, white space or a "0x" inside a piece would otherwise be read as
  // a number far beyond one byte.
  if (text.empty() || text.size() > 7) return std::nullopt;
  unsigned value = 0;
  for (char c : text) {
    unsigned digit = 0;
    if (c >= '0' && c <= '9') {
      digit = static_cast<unsigned>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<unsigned>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<unsigned>(c - 'A' + 10);
    } else {
      return std::nullopt;
    }
    value = value * 16 + digit;
  }
  return value;
}

namespace {

// Red, green and blue from six hexadecimal digits, alpha as given; nothing when a pair is not hexadecimal.
std::optional<gfx::Color> colorFromSixDigits(const std::string& digits, double alpha) {
  auto r = readHexDigits(digits.substr(0, 2));
  auto g = readHexDigits(digits.substr(2, 2));
  auto b = readHexDigits(digits.substr(4, 2));
  if (!r || !g || !b) return std::nullopt;
  return gfx::Color(*r / 255.0, *g / 255.0, *b / 255.0, alpha);
}

std::optional<gfx::Color> acceptedColor(const std::string& text, double alpha) {
  if (text.size() <= 5) return std::nullopt;
  std::string digits = text;
  for (char& c : digits) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  if (digits.rfind("0x", 0) == 0) {
    digits.erase(0, 2);
  } else if (digits.rfind("#", 0) == 0) {
    digits.erase(0, 1);
  }
  if (digits.size() != 6) return std::nullopt;
  return colorFromSixDigits(digits, alpha);
}

}  // namespace

std::optional<gfx::Color> ColorHexadecimal::colorWithHexString(const std::string& text) {
  if (text.empty()) return std::nullopt;
  std::string digits = text;
  if (digits[0] == '#') digits.erase(0, 1);
  if (digits.size() != 3 && digits.size() != 6) return std::nullopt;
  const size_t piece = digits.size() / 3;
  const double scale = piece == 1 ? 15.0 : 255.0;
  auto r = readHexDigits(digits.substr(0, piece));
  auto g = readHexDigits(digits.substr(piece, piece));
  auto b = readHexDigits(digits.substr(2 * piece, piece));
  if (!r || !g || !b) return std::nullopt;
  return gfx::Color(*r / scale, *g / scale, *b / scale, 1.0);
}

gfx::Color ColorHexadecimal::getColor(const std::string& text) {
  return acceptedColor(text, 1.0).value_or(gfx::Color::black());
}

gfx::Color ColorHexadecimal::getColorWithAlpha(const std::string& text) {
  return acceptedColor(text, 0.33).value_or(gfx::Color::black());
}

}  // namespace kt
