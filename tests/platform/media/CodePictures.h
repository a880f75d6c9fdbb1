#pragma once

#include <memory>
#include <string>
#include <vector>

namespace gfx {
class Image;
}

namespace media::test {

// A code as dark (true) and light modules, row by row; a linear code is one row.
struct Modules {
  int columns = 0;
  std::vector<std::vector<bool>> rows;
};

Modules qrModules(const std::string& text);
// The digits without the check digit: 12 for EAN-13, 7 for EAN-8. The text the code carries is
// these digits with the check digit, as checkedEan() gives.
Modules ean13Modules(const std::string& twelveDigits);
Modules ean8Modules(const std::string& sevenDigits);
std::string checkedEan(const std::string& digits);
// Code set B: printable ASCII.
Modules code128Modules(const std::string& text);

// Where and how a code lands in a picture.
struct Placement {
  int width = 480;
  int height = 480;
  double module = 3;         // pixels per module
  double barHeight = 50;     // modules, for linear codes
  double angle = 0;          // degrees, clockwise
  double centerX = 0.5;      // fractions of the picture
  double centerY = 0.5;
  int noise = 0;             // +- this much on each channel, the same numbers every run
};

// A white picture with the code drawn on it (quiet zone included).
std::shared_ptr<gfx::Image> picture(const Modules& code, const Placement& placement = {});
// Two codes, each at its own place.
std::shared_ptr<gfx::Image> picture(const Modules& a, const Placement& pa, const Modules& b, const Placement& pb);
std::shared_ptr<gfx::Image> blankPicture(int width = 480, int height = 360);

}  // namespace media::test
