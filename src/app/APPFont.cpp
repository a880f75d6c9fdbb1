#include "app/APPFont.h"

#include "app/ScreenSize.h"
#include "platform/gfx/Font.h"

namespace kt {

namespace {

std::shared_ptr<const gfx::Font> systemFont(double ordinary, double twelveNine) {
  return gfx::Font::systemFont(isTwelveNineInch() ? twelveNine : ordinary);
}

std::shared_ptr<const gfx::Font> boldFont(double ordinary, double twelveNine) {
  return gfx::Font::boldSystemFont(isTwelveNineInch() ? twelveNine : ordinary);
}

}  // namespace

std::shared_ptr<const gfx::Font> APPFont::getSysFont_Size22() { return systemFont(11, 12); }
std::shared_ptr<const gfx::Font> APPFont::getSysFont_Size24() { return systemFont(11, 12); }
std::shared_ptr<const gfx::Font> APPFont::getSysFont_size26() { return systemFont(10, 13); }
std::shared_ptr<const gfx::Font> APPFont::getSysFont_size28() { return systemFont(13, 14); }
std::shared_ptr<const gfx::Font> APPFont::getSysFont_Size30() { return systemFont(14, 15); }
std::shared_ptr<const gfx::Font> APPFont::getSysFont_size32() { return systemFont(16, 17); }
std::shared_ptr<const gfx::Font> APPFont::getSysFont_size34() { return systemFont(17, 18); }
std::shared_ptr<const gfx::Font> APPFont::getSysFont_size36() { return systemFont(22, 23); }
std::shared_ptr<const gfx::Font> APPFont::getSysFont_size40() { return systemFont(21, 22); }
std::shared_ptr<const gfx::Font> APPFont::getSysFont_Size44() { return systemFont(22, 23); }
std::shared_ptr<const gfx::Font> APPFont::getSysFont_Size46() { return systemFont(22, 24); }
std::shared_ptr<const gfx::Font> APPFont::getSysFont_size48() { return systemFont(23, 26); }
std::shared_ptr<const gfx::Font> APPFont::getSysFont_size50() { return systemFont(25, 26); }
std::shared_ptr<const gfx::Font> APPFont::getSysFont_size60() { return systemFont(34, 36); }
std::shared_ptr<const gfx::Font> APPFont::getBoldFont_size30() { return boldFont(19, 20); }
std::shared_ptr<const gfx::Font> APPFont::getBoldFont_size34() { return boldFont(11, 12); }
std::shared_ptr<const gfx::Font> APPFont::getBoldFont_size36() { return boldFont(11, 12); }
std::shared_ptr<const gfx::Font> APPFont::getBoldFont_size40() { return boldFont(20, 21); }
std::shared_ptr<const gfx::Font> APPFont::getBoldFont_size44() { return boldFont(27, 29); }
std::shared_ptr<const gfx::Font> APPFont::getBoldFont_size46() { return boldFont(28, 30); }
std::shared_ptr<const gfx::Font> APPFont::getBoldFont_size48() { return boldFont(24, 27); }
std::shared_ptr<const gfx::Font> APPFont::getBoldFont_size60() { return boldFont(11, 12); }
std::shared_ptr<const gfx::Font> APPFont::getBoldFont_size66() { return boldFont(11, 12); }

}  // namespace kt
