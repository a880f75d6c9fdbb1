// Image cache hits: a memory-tier hit of the image cache against a bare std::unordered_map lookup
// of the same key, and a disk-tier hit (read, decode, force-decode; memory emptied before each)
// against decoding the same file directly with gfx::Image::fromFile. Prints the ratios after the
// runs.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <unordered_map>
#include <vector>

#include "BenchReport.h"
#include "imagecache/ICImageCache.h"
#include "platform/gfx/Image.h"

namespace {

const std::string kKey = "http://192.168.1.10:8080/GetPhoto.aspx?Flag=00&id=1024&width=240.000000&height=180.000000";

// A 240 x 180 photograph-like JPEG, as the menu's dish pictures are.
std::string dishPhoto() {
  std::vector<uint32_t> pixels(240 * 180);
  for (int y = 0; y < 180; ++y)
    for (int x = 0; x < 240; ++x)
      pixels[y * 240 + x] = 0xFF000000u | (uint32_t((x * 3 + y) & 255) << 16) | (uint32_t((y * 5) & 255) << 8) |
                            uint32_t((x ^ y) & 255);
  return *gfx::Image::fromPixels(240, 180, std::move(pixels))->jpegData(0.8);
}

struct Fixture {
  std::string folder;
  std::shared_ptr<kt::ICImageCache> cache;
  std::string path;

  Fixture() {
    char pattern[] = "/tmp/kt-bench-cache-XXXXXX";
    folder = ::mkdtemp(pattern);
    cache = std::make_shared<kt::ICImageCache>("bench", folder);
    cache->storeImageDataToDisk(dishPhoto(), kKey);
    path = cache->defaultCachePathForKey(kKey);
  }
  ~Fixture() {
    cache.reset();
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
  }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

void MemoryCacheHit(benchmark::State& state) {
  auto& cache = *fixture().cache;
  cache.storeImage(cache.imageFromDiskCacheForKey(kKey), kKey, false);
  for (auto _ : state) benchmark::DoNotOptimize(cache.imageFromMemoryCacheForKey(kKey));
}
BENCHMARK(MemoryCacheHit);

void BareMapLookup(benchmark::State& state) {
  std::unordered_map<std::string, kt::ImagePtr> map;
  map[kKey] = fixture().cache->imageFromDiskCacheForKey(kKey);
  for (auto _ : state) {
    auto found = map.find(kKey);
    kt::ImagePtr image = found == map.end() ? nullptr : found->second;
    benchmark::DoNotOptimize(image);
  }
}
BENCHMARK(BareMapLookup);

void DiskCacheHit(benchmark::State& state) {
  auto& cache = *fixture().cache;
  for (auto _ : state) {
    cache.clearMemory();
    benchmark::DoNotOptimize(cache.imageFromDiskCacheForKey(kKey));
  }
}
BENCHMARK(DiskCacheHit)->Unit(benchmark::kMicrosecond);

void DirectFileDecode(benchmark::State& state) {
  const std::string& path = fixture().path;
  for (auto _ : state) benchmark::DoNotOptimize(gfx::Image::fromFile(path));
}
BENCHMARK(DirectFileDecode)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  if (auto r = reporter.ratio("MemoryCacheHit", "BareMapLookup"))
    std::printf("memory cache hit / bare map lookup: %.1f (%.0f ns vs %.0f ns)\n", r->value, r->oursSeconds * 1e9,
                r->baseSeconds * 1e9);
  if (auto r = reporter.ratio("DiskCacheHit", "DirectFileDecode"))
    std::printf("disk cache hit / direct file decode: %.2f (%.0f us vs %.0f us)\n", r->value, r->oursSeconds * 1e6,
                r->baseSeconds * 1e6);
  benchmark::Shutdown();
  return 0;
}
