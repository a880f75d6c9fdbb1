// Draws the application's images into a resources folder: kt_assets <resources folder>.
#include <chrono>
#include <cstdio>

#include "assets/Artwork.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <resources folder>\n", argv[0]);
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  if (auto error = kt::assets::Artwork::writeAll(argv[1])) {
    std::fprintf(stderr, "kt_assets: %s\n", error->localizedDescription().c_str());
    return 1;
  }
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::printf("kt_assets: %zu pictures drawn in %.0f ms\n", kt::assets::Artwork::all().size(), ms);
  return 0;
}
