#include "platform/display/WindowIdentity.h"

#include <SDL.h>
#include <cairo.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace display {

void WindowIdentity::nameClass() {
  // SDL 2.26 takes the class from these variables, else from the program's file name
  // (ktv_client), which no desktop entry is named after; newer SDL versions take the app id hint.
  setenv("SDL_VIDEO_X11_WMCLASS", ClassName, 0);
  setenv("SDL_VIDEO_WAYLAND_WMCLASS", ClassName, 0);
  SDL_SetHint("SDL_APP_ID", ClassName);
}

std::vector<std::string> WindowIdentity::iconPaths(const std::string& resources) {
  const std::string file = std::string(ClassName) + ".png";
  return {resources + "/icons/" + file, resources + "/../icons/hicolor/128x128/apps/" + file,
          resources + "/../icons/hicolor/256x256/apps/" + file, resources + "/../icons/hicolor/48x48/apps/" + file};
}

bool WindowIdentity::setIcon(SDL_Window* window, const std::string& resources) {
  for (const std::string& path : iconPaths(resources)) {
    cairo_surface_t* png = cairo_image_surface_create_from_png(path.c_str());
    const bool usable = cairo_surface_status(png) == CAIRO_STATUS_SUCCESS &&
                        (cairo_image_surface_get_format(png) == CAIRO_FORMAT_ARGB32 ||
                         cairo_image_surface_get_format(png) == CAIRO_FORMAT_RGB24);
    SDL_Surface* icon = nullptr;
    if (usable) {
      const int w = cairo_image_surface_get_width(png);
      const int h = cairo_image_surface_get_height(png);
      const bool opaque = cairo_image_surface_get_format(png) == CAIRO_FORMAT_RGB24;
      icon = SDL_CreateRGBSurfaceWithFormat(0, w, h, 32, SDL_PIXELFORMAT_ARGB8888);
      if (icon) {
        // Cairo's pixels carry their colour multiplied by alpha; a window's icon does not.
        const unsigned char* rows = cairo_image_surface_get_data(png);
        const int stride = cairo_image_surface_get_stride(png);
        for (int y = 0; y < h; ++y) {
          const auto* from = reinterpret_cast<const uint32_t*>(rows + y * stride);
          auto* to = reinterpret_cast<uint32_t*>(static_cast<unsigned char*>(icon->pixels) + y * icon->pitch);
          for (int x = 0; x < w; ++x) {
            const uint32_t p = from[x];
            const uint32_t a = opaque ? 255 : p >> 24;
            auto channel = [&](int shift) -> uint32_t {
              const uint32_t c = (p >> shift) & 0xff;
              return a == 0 ? 0 : std::min<uint32_t>(255, (c * 255 + a / 2) / a);
            };
            to[x] = a << 24 | channel(16) << 16 | channel(8) << 8 | channel(0);
          }
        }
      }
    }
    cairo_surface_destroy(png);
    if (icon) {
      SDL_SetWindowIcon(window, icon);
      SDL_FreeSurface(icon);
      return true;
    }
  }
  return false;
}

}  // namespace display
