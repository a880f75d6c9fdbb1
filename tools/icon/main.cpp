// Writes the desktop icon in the sizes a desktop's icon theme looks for beyond the ones the
// artwork tool writes (128 and 256 pixels): 48 pixels, and a scalable SVG drawn by the same code.
// kt_icon <folder>
#include <cairo-svg.h>
#include <cairo.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "assets/Artwork.h"
#include "assets/Painter.h"
#include "platform/gfx/Context.h"
#include "platform/gfx/Image.h"

namespace {

constexpr const char* IconName = "ktv-client";
constexpr double SmallPixels = 48;

bool writePng(const kt::assets::Artwork& icon, const std::string& path) {
  auto image = icon.render(SmallPixels / icon.size.width);
  auto png = image ? image->pngData() : std::nullopt;
  if (!png) return false;
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(png->data(), static_cast<std::streamsize>(png->size()));
  file.close();
  return static_cast<bool>(file);
}

bool writeSvg(const kt::assets::Artwork& icon, const std::string& path) {
  cairo_surface_t* surface = cairo_svg_surface_create(path.c_str(), icon.size.width, icon.size.height);
  bool drawn = false;
  if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
    // Measured in pixels, so that the icon's nominal size is its frame's.
    cairo_svg_surface_set_document_unit(surface, CAIRO_SVG_UNIT_PX);
    if (auto context = gfx::Context::forSurface(surface)) {
      kt::assets::Painter painter(*context);
      icon.draw(painter, icon.size);
      drawn = true;
    }
    cairo_surface_finish(surface);
    drawn = drawn && cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
  }
  cairo_surface_destroy(surface);
  return drawn;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  const kt::assets::Artwork* icon = kt::assets::Artwork::find(IconName);
  if (!icon || !icon->draw) {
    std::fprintf(stderr, "kt_icon: no artwork named %s\n", IconName);
    return 1;
  }
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::create_directories(argv[1], ec);
  const std::string png = (fs::path(argv[1]) / (std::string(IconName) + "-48.png")).string();
  const std::string svg = (fs::path(argv[1]) / (std::string(IconName) + ".svg")).string();
  if (!writePng(*icon, png)) {
    std::fprintf(stderr, "kt_icon: cannot write %s\n", png.c_str());
    return 1;
  }
  if (!writeSvg(*icon, svg)) {
    std::fprintf(stderr, "kt_icon: cannot write %s\n", svg.c_str());
    return 1;
  }
  return 0;
}
