#pragma once

#include "platform/gfx/Color.h"

#include <optional>
#include <string>

namespace kt {

// Colours from hexadecimal text, as the screens write them ("dfebff").
class ColorHexadecimal {
 public:
  // Three or six hexadecimal digits after at most one leading "#" ("fff", "#dfebff"); three
  // digits are fifteenths, six are 255ths; opaque. Nothing for empty text, for another length
  // and for characters that are not hexadecimal digits ("0x" is not a prefix here).
  static std::optional<gfx::Color> colorWithHexString(const std::string& text);

  // Six hexadecimal digits after one optional "0x" or "#" (any letter case): red, green and
  // blue in 255ths, opaque. Black for anything else.
  static gfx::Color getColor(const std::string& text);
  // As getColor with alpha 0.33; opaque black for text it does not accept.
  static gfx::Color getColorWithAlpha(const std::string& text);
};

// Reads `text` as an unsigned hexadecimal number; nothing when it is empty or holds anything but
// the digits 0-9, a-f and A-F.
std::optional<unsigned> readHexDigits(const std::string& text);

}  // namespace kt
