#include "http/HCAutoPurgingImageCache.h"

#include "platform/core/NotificationCenter.h"
#include "platform/gfx/Image.h"
#include "platform/net/URLRequest.h"
#include "platform/ui/Application.h"

#include <gtest/gtest.h>

#include <thread>

namespace kt {
namespace {

std::shared_ptr<gfx::Image> imageOfPixels(int width, int height, double scale = 1.0) {
  return gfx::Image::fromPixels(width, height, std::vector<uint32_t>(size_t(width) * height, 0xFF00FF00u), scale);
}

TEST(HCCachedImageTest, BytesAreFourPerPixelAtTheImageScale) {
  EXPECT_EQ(HCCachedImage::bytesForImage(imageOfPixels(10, 20).get()), 800u);
  // A 2x image of 10 x 20 pixels is 5 x 10 points; the pixels are counted, not the points.
  EXPECT_EQ(HCCachedImage::bytesForImage(imageOfPixels(10, 20, 2.0).get()), 800u);
  EXPECT_EQ(HCCachedImage::bytesForImage(nullptr), 0u);
  HCCachedImage entry(imageOfPixels(1, 1), "key");
  EXPECT_EQ(entry.description().rfind("Idenfitier: key  lastAccessDate: ", 0), 0u);
}

TEST(HCAutoPurgingImageCacheTest, AddReadRemoveAndReplace) {
  HCAutoPurgingImageCache cache;
  EXPECT_EQ(cache.memoryCapacity(), 104857600u);
  EXPECT_EQ(cache.preferredMemoryUsageAfterPurge(), 62914560u);
  EXPECT_FALSE(cache.removeAllImages());

  auto small = imageOfPixels(10, 10);
  auto large = imageOfPixels(20, 20);
  cache.addImage(small, "a");
  EXPECT_EQ(cache.imageWithIdentifier("a"), small);
  EXPECT_EQ(cache.memoryUsage(), 400u);
  // Replacing counts only the new image.
  cache.addImage(large, "a");
  EXPECT_EQ(cache.memoryUsage(), 1600u);
  EXPECT_EQ(cache.imageWithIdentifier("a"), large);

  EXPECT_TRUE(cache.removeImageWithIdentifier("a"));
  EXPECT_FALSE(cache.removeImageWithIdentifier("a"));
  EXPECT_EQ(cache.imageWithIdentifier("a"), nullptr);
  EXPECT_EQ(cache.memoryUsage(), 0u);

  cache.addImage(small, "b");
  EXPECT_TRUE(cache.removeAllImages());
  EXPECT_EQ(cache.memoryUsage(), 0u);
}

TEST(HCAutoPurgingImageCacheTest, RequestKeysAppendTheAdditionalIdentifier) {
  HCAutoPurgingImageCache cache;
  net::URLRequest request(net::URL::fromString("http://h/p.png?x=1"));
  EXPECT_EQ(HCAutoPurgingImageCache::imageCacheKeyFromURLRequest(request, std::nullopt), "http://h/p.png?x=1");
  EXPECT_EQ(HCAutoPurgingImageCache::imageCacheKeyFromURLRequest(request, std::string("-round")),
            "http://h/p.png?x=1-round");

  auto image = imageOfPixels(2, 2);
  cache.addImage(image, request, std::string("-round"));
  EXPECT_EQ(cache.imageforRequest(request, std::nullopt), nullptr);
  EXPECT_EQ(cache.imageforRequest(request, std::string("-round")), image);
  EXPECT_EQ(cache.imageWithIdentifier("http://h/p.png?x=1-round"), image);
  EXPECT_TRUE(cache.removeImageforRequest(request, std::string("-round")));
}

// Capacity 1000 bytes, 600 after a purge; images of 5 x 10 pixels (200 bytes): five fill the
// cache, the sixth purges.
TEST(HCAutoPurgingImageCacheTest, PurgesLeastRecentlyReadDownToThePreferredUsage) {
  HCAutoPurgingImageCache cache(1000, 600);
  for (int i = 0; i < 5; ++i) cache.addImage(imageOfPixels(5, 10), "img" + std::to_string(i));
  EXPECT_EQ(cache.memoryUsage(), 1000u);  // at capacity: nothing purged yet

  // Reading the two oldest protects them.
  ASSERT_NE(cache.imageWithIdentifier("img0"), nullptr);
  ASSERT_NE(cache.imageWithIdentifier("img1"), nullptr);

  cache.addImage(imageOfPixels(5, 10), "img5");
  // 1200 held, 600 to free: the three least recently read (img2, img3, img4) go.
  EXPECT_EQ(cache.memoryUsage(), 600u);
  EXPECT_EQ(cache.imageWithIdentifier("img2"), nullptr);
  EXPECT_EQ(cache.imageWithIdentifier("img3"), nullptr);
  EXPECT_EQ(cache.imageWithIdentifier("img4"), nullptr);
  EXPECT_NE(cache.imageWithIdentifier("img0"), nullptr);
  EXPECT_NE(cache.imageWithIdentifier("img1"), nullptr);
  EXPECT_NE(cache.imageWithIdentifier("img5"), nullptr);
}

TEST(HCAutoPurgingImageCacheTest, PurgeStopsAsSoonAsEnoughIsFreed) {
  HCAutoPurgingImageCache cache(1000, 900);
  cache.addImage(imageOfPixels(10, 20), "big");   // 800
  cache.addImage(imageOfPixels(5, 10), "small");  // 200 -> 1000
  cache.addImage(imageOfPixels(5, 10), "last");   // 1200: 300 to free, the oldest (800) is enough
  EXPECT_EQ(cache.memoryUsage(), 400u);
  EXPECT_EQ(cache.imageWithIdentifier("big"), nullptr);
  EXPECT_NE(cache.imageWithIdentifier("small"), nullptr);
}

TEST(HCAutoPurgingImageCacheTest, MemoryWarningEmptiesTheCache) {
  HCAutoPurgingImageCache cache;
  cache.addImage(imageOfPixels(4, 4), "a");
  ASSERT_EQ(cache.memoryUsage(), 64u);
  core::NotificationCenter::defaultCenter().post(ui::Application::DidReceiveMemoryWarningNotification);
  EXPECT_EQ(cache.memoryUsage(), 0u);
  EXPECT_EQ(cache.imageWithIdentifier("a"), nullptr);
}

TEST(HCAutoPurgingImageCacheTest, ConcurrentReadsAndWritesKeepTheCountConsistent) {
  HCAutoPurgingImageCache cache(1u << 20, 1u << 19);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&cache, t] {
      for (int i = 0; i < 200; ++i) {
        const std::string key = "k" + std::to_string((t * 7 + i) % 50);
        cache.addImage(imageOfPixels(8, 8), key);
        cache.imageWithIdentifier(key);
        if (i % 17 == 0) cache.removeImageWithIdentifier(key);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  uint64_t counted = 0;
  for (int k = 0; k < 50; ++k) {
    if (cache.imageWithIdentifier("k" + std::to_string(k))) counted += 256;
  }
  EXPECT_EQ(cache.memoryUsage(), counted);
}

}  // namespace
}  // namespace kt
