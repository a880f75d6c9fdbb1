#include "app/ColorQX.h"

#include "app/ColorHexadecimal.h"

namespace kt {

gfx::Color ColorQX::getColor(const std::string& text) {
  if (text.size() < 6) return gfx::Color::black();
  auto r = readHexDigits(text.substr(0, 2));
  auto g = readHexDigits(text.substr(2, 2));
  auto b = readHexDigits(text.substr(4, 2));
  if (!r || !g || !b) return gfx::Color::black();
  return gfx::Color(*r / 255.0, *g / 255.0, *b / 255.0, 1.0);
}

}  // namespace kt
