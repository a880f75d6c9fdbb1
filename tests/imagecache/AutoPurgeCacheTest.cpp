#include "imagecache/AutoPurgeCache.h"

#include <gtest/gtest.h>

#include "TestImages.h"
#include "platform/core/NotificationCenter.h"
#include "platform/ui/Application.h"

using kt::AutoPurgeCache;

namespace {

kt::ImagePtr picture() { return testimages::solid(2, 2, 0xFF000000); }

}  // namespace

TEST(AutoPurgeCacheTest, DefaultLimitsBoundDecodedMemory) {
  AutoPurgeCache cache;
  EXPECT_EQ(cache.totalCostLimit(), uint64_t{32} << 20);  // 128 MiB at 4 bytes per pixel
  EXPECT_EQ(cache.countLimit(), AutoPurgeCache::DefaultCountLimit);
  EXPECT_GT(AutoPurgeCache::DefaultCountLimit, 0u);
}

TEST(AutoPurgeCacheTest, CostLimitDropsLeastRecentlyUsed) {
  AutoPurgeCache cache;
  cache.setTotalCostLimit(100);
  cache.setObject(picture(), "a", 40);
  cache.setObject(picture(), "b", 40);
  EXPECT_TRUE(cache.objectForKey("a"));  // b is now the least recently used
  cache.setObject(picture(), "c", 40);
  EXPECT_TRUE(cache.objectForKey("a"));
  EXPECT_FALSE(cache.objectForKey("b"));
  EXPECT_TRUE(cache.objectForKey("c"));
  EXPECT_EQ(cache.totalCost(), 80u);
  // Replacing an entry replaces its cost.
  cache.setObject(picture(), "c", 10);
  EXPECT_EQ(cache.totalCost(), 50u);
  // One image above the whole limit does not stay, and takes nothing with it.
  cache.setObject(picture(), "huge", 101);
  EXPECT_FALSE(cache.objectForKey("huge"));
  EXPECT_EQ(cache.count(), 2u);
  // Lowering the limit trims at once, oldest first.
  cache.setTotalCostLimit(20);
  EXPECT_FALSE(cache.objectForKey("a"));
  EXPECT_TRUE(cache.objectForKey("c"));
}

TEST(AutoPurgeCacheTest, CountLimitAndNoLimit) {
  AutoPurgeCache cache;
  cache.setCountLimit(2);
  cache.setObject(picture(), "a");
  cache.setObject(picture(), "b");
  cache.objectForKey("a");
  cache.setObject(picture(), "c");
  EXPECT_EQ(cache.count(), 2u);
  EXPECT_FALSE(cache.objectForKey("b"));
  // 0 is no limit.
  cache.setCountLimit(0);
  cache.setTotalCostLimit(0);
  for (int i = 0; i < 5000; ++i) cache.setObject(picture(), std::to_string(i), uint64_t{1} << 40);
  EXPECT_EQ(cache.count(), 5002u);
  cache.removeObjectForKey("a");
  cache.setObject(nullptr, "c");
  EXPECT_EQ(cache.count(), 5000u);
}

TEST(AutoPurgeCacheTest, MemoryWarningEmptiesIt) {
  auto cache = std::make_unique<AutoPurgeCache>();
  cache->setObject(picture(), "a", 4);
  core::NotificationCenter::defaultCenter().post(ui::Application::DidReceiveMemoryWarningNotification);
  EXPECT_EQ(cache->count(), 0u);
  EXPECT_EQ(cache->totalCost(), 0u);
  cache.reset();
  core::NotificationCenter::defaultCenter().post(ui::Application::DidReceiveMemoryWarningNotification);
}
