#pragma once

#include <memory>

namespace gfx {
class Font;
}

namespace kt {

// The screens' named fonts: the system or bold system face at one size on the ordinary tablet
// and a larger one on the 12.9-inch tablet, decided at every call. The number in a name is a
// style name, not the point size (getBoldFont_size66 is 11 pt); the sizes are in the comments.
class APPFont {
 public:
  static std::shared_ptr<const gfx::Font> getSysFont_Size22();  // system, 11 pt (12 pt on the 12.9-inch tablet)
  static std::shared_ptr<const gfx::Font> getSysFont_Size24();  // system, 11 pt (12 pt on the 12.9-inch tablet)
  static std::shared_ptr<const gfx::Font> getSysFont_size26();  // system, 10 pt (13 pt on the 12.9-inch tablet)
  static std::shared_ptr<const gfx::Font> getSysFont_size28();  // system, 13 pt (14 pt on the 12.9-inch tablet)
  static std::shared_ptr<const gfx::Font> getSysFont_Size30();  // system, 14 pt (15 pt on the 12.9-inch tablet)
  static std::shared_ptr<const gfx::Font> getSysFont_size32();  // system, 16 pt (17 pt on the 12.9-inch tablet)
  static std::shared_ptr<const gfx::Font> getSysFont_size34();  // system, 17 pt (18 pt on the 12.9-inch tablet)
  static std::shared_ptr<const gfx::Font> getSysFont_size36();  // system, 22 pt (23 pt on the 12.9-inch tablet)
  static std::shared_ptr<const gfx::Font> getSysFont_size40();  // system, 21 pt (22 pt on the 12.9-inch tablet)
  static std::shared_ptr<const gfx::Font> getSysFont_Size44();  // system, 22 pt (23 pt on the 12.9-inch tablet)
  static std::shared_ptr<const gfx::Font> getSysFont_Size46();  // system, 22 pt (24 pt on the 12.9-inch tablet)
  static std::shared_ptr<const gfx::Font> getSysFont_size48();  // system, 23 pt (26 pt on the 12.9-inch tablet)
  static std::shared_ptr<const gfx::Font> getSysFont_size50();  // system, 25 pt (26 pt on the 12.9-inch tablet)
  static std::shared_ptr<const gfx::Font> getSysFont_size60();  // system, 34 pt (36 pt on the 12.9-inch tablet)
  static std::shared_ptr<const gfx::Font> getBoldFont_size30();  // bold, 19 pt (20 pt on the 12.9-inch tablet)
  static std::shared_ptr<const gfx::Font> getBoldFont_size34();  // bold, 11 pt (12 pt on the 12.9-inch tablet)
  static std::shared_ptr<const gfx::Font> getBoldFont_size36();  // bold, 11 pt (12 pt on the 12.9-inch tablet)
  static std::shared_ptr<const gfx::Font> getBoldFont_size40();  // bold, 20 pt (21 pt on the 12.9-inch tablet)
  static std::shared_ptr<const gfx::Font> getBoldFont_size44();  // bold, 27 pt (29 pt on the 12.9-inch tablet)
  static std::shared_ptr<const gfx::Font> getBoldFont_size46();  // bold, 28 pt (30 pt on the 12.9-inch tablet)
  static std::shared_ptr<const gfx::Font> getBoldFont_size48();  // bold, 24 pt (27 pt on the 12.9-inch tablet)
  static std::shared_ptr<const gfx::Font> getBoldFont_size60();  // bold, 11 pt (12 pt on the 12.9-inch tablet)
  static std::shared_ptr<const gfx::Font> getBoldFont_size66();  // bold, 11 pt (12 pt on the 12.9-inch tablet)
};

}  // namespace kt
