#pragma once

#include "platform/gfx/Color.h"

#include <string>

namespace kt {

// The colour maker the song screens call as getColor ("514786").
class ColorQX {
 public:
  // The first six characters as red, green and blue pairs of hexadecimal digits, in 255ths,
  // opaque; characters after the sixth are ignored and nothing is stripped. Black for text
  // shorter than six characters or with a pair that is not hexadecimal.
  static gfx::Color getColor(const std::string& text);
};

}  // namespace kt
