#include "imagecache/ICImageCache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <thread>

#include "TestImages.h"
#include "imagecache/AutoPurgeCache.h"
#include "platform/core/Clock.h"
#include "platform/core/Md5.h"
#include "platform/core/NotificationCenter.h"
#include "platform/core/OperationQueue.h"
#include "platform/core/Paths.h"
#include "platform/core/Queue.h"
#include "platform/ui/Application.h"
#include "support/RunUntil.h"
#include "support/SessionsLetGo.h"
#include "support/TempHome.h"

using kt::ICImageCache;
using kt::ICImageCacheSource;
using kt::ImagePtr;

namespace {

constexpr uint32_t kRed = 0xFFFF0000;
const std::string kKey = "http://venue/photos/b.png";

std::string readFile(const std::string& path) {
  std::string bytes;
  return core::paths::readFile(path, bytes) ? bytes : std::string("<none>");
}

bool exists(const std::string& path) { return std::filesystem::exists(path); }

void setModified(const std::string& path, int64_t seconds, int64_t nanoseconds = 0) {
  const struct timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

class ICImageCacheTest : public support::SessionsLetGoAtEnd, public support::TempHomeTest {
 protected:
  ICImageCacheTest() : cache(std::make_shared<ICImageCache>("test", homePath() + "/caches")) {}

  // Everything queued on the I/O queue so far has run once this returns.
  void waitForDisk() { cache->getDiskCount(); }

  void writeAt(const std::string& path, const std::string& bytes) {
    core::paths::makeDirectories(std::filesystem::path(path).parent_path().string());
    ASSERT_TRUE(core::paths::writeFileAtomically(path, bytes));
  }

  std::shared_ptr<ICImageCache> cache;
};

}  // namespace

TEST(ICImageCacheFunctionsTest, ScaleFromKeyAndPNGSignature) {
  const ImagePtr image = testimages::solid(4, 4, kRed);
  EXPECT_EQ(kt::imageScaledForKey("a@2x.png", image)->scale(), 2.0);
  EXPECT_EQ(kt::imageScaledForKey("@2x.png", image)->scale(), 1.0);  // shorter than 8
  EXPECT_EQ(kt::imageScaledForKey("http://h/a@2x.png@3x.png", image)->scale(), 3.0);
  EXPECT_EQ(kt::imageScaledForKey("http://h/a.png", testimages::solid(4, 4, kRed, 2))->scale(), 1.0);
  const ImagePtr animation = gfx::Image::animated({testimages::solid(4, 4, kRed), testimages::solid(4, 4, kRed)}, 0.7);
  const ImagePtr scaled = kt::imageScaledForKey("http://h/a@2x.gif", animation);
  ASSERT_EQ(scaled->frames().size(), 2u);
  EXPECT_EQ(scaled->frames()[1]->scale(), 2.0);
  EXPECT_DOUBLE_EQ(scaled->duration(), 0.7);

  EXPECT_TRUE(kt::hasPNGSignaturePrefix(std::string("\x89PNG\r\n\x1A\n", 8)));
  EXPECT_FALSE(kt::hasPNGSignaturePrefix(std::string("\x89PNG\r\n\x1A", 7)));
  EXPECT_FALSE(kt::hasPNGSignaturePrefix(std::string("\x89PNG\r\n\x1A\r", 8)));
}

TEST_F(ICImageCacheTest, FolderAndFileNames) {
  EXPECT_EQ(cache->diskCachePath(), homePath() + "/caches/" + kt::ICWebImageCacheFolderPrefix + "ICWebImageCache.test");
  EXPECT_EQ(ICImageCache("default").diskCachePath(),
            core::paths::cacheDir() + "/default/" + kt::ICWebImageCacheFolderPrefix + "ICWebImageCache.default");

  EXPECT_EQ(cache->cachedFileNameForKey(kKey), core::md5Hex(kKey) + ".png");
  EXPECT_EQ(cache->cachedFileNameForKey("http://venue/a.b/photo"), core::md5Hex("http://venue/a.b/photo"));
  EXPECT_EQ(cache->cachedFileNameForKey("http://h/x.jpg?w=1&h=2"), core::md5Hex("http://h/x.jpg?w=1&h=2") + ".jpg?w=1&h=2");
  // An extension too long for a file name is left out.
  const std::string longKey = "http://h/x." + std::string(300, 'e');
  EXPECT_EQ(cache->cachedFileNameForKey(longKey), core::md5Hex(longKey));
  EXPECT_EQ(cache->defaultCachePathForKey(kKey), cache->diskCachePath() + "/" + core::md5Hex(kKey) + ".png");
}

TEST_F(ICImageCacheTest, StoresInMemoryThenOnDisk) {
  cache->storeImage(testimages::solid(3, 2, kRed), kKey);
  const ImagePtr inMemory = cache->imageFromMemoryCacheForKey(kKey);
  ASSERT_TRUE(inMemory);
  EXPECT_EQ(cache->memCache()->totalCost(), 6u);
  waitForDisk();
  EXPECT_TRUE(cache->diskImageExistsWithKey(kKey));
  cache->clearMemory();
  EXPECT_FALSE(cache->imageFromMemoryCacheForKey(kKey));
  const ImagePtr fromDisk = cache->imageFromDiskCacheForKey(kKey);
  ASSERT_TRUE(fromDisk);
  EXPECT_EQ(fromDisk->pixelAt(2, 1), kRed);
  EXPECT_EQ(cache->imageFromMemoryCacheForKey(kKey), fromDisk);

  // Not to disk; nothing for an empty key or no image.
  cache->storeImage(testimages::solid(1, 1, kRed), "memory-only.png", false);
  cache->storeImage(nullptr, "nothing.png");
  cache->storeImage(testimages::solid(1, 1, kRed), "");
  EXPECT_EQ(cache->getDiskCount(), 1u);
  EXPECT_EQ(cache->memCache()->count(), 2u);
}

TEST_F(ICImageCacheTest, StoredBytesFollowTheEncodingChoice) {
  const ImagePtr alpha = testimages::solid(4, 4, 0x80400000);
  const auto opaque = gfx::Image::decode(testimages::jpeg(4, 4));
  // PNG bytes with something after them: kept as they are, or encoded afresh.
  const std::string png = *alpha->pngData() + "trailer";
  const std::string jpeg = testimages::jpeg(4, 4);
  auto stored = [&](const ImagePtr& image, bool recalculate, std::optional<std::string> data) {
    cache->storeImage(image, recalculate, std::move(data), kKey, true);
    waitForDisk();
    return readFile(cache->defaultCachePathForKey(kKey));
  };
  EXPECT_EQ(stored(alpha, false, png), png);
  std::string again = stored(opaque, true, png);
  EXPECT_TRUE(kt::hasPNGSignaturePrefix(again));
  EXPECT_NE(again, png);
  EXPECT_EQ(stored(alpha, true, jpeg).substr(0, 2), "\xFF\xD8");
  EXPECT_TRUE(kt::hasPNGSignaturePrefix(stored(alpha, true, std::nullopt)));
  EXPECT_EQ(stored(opaque, true, std::nullopt).substr(0, 2), "\xFF\xD8");
  EXPECT_EQ(stored(opaque, true, std::string("\x89PNG")).substr(0, 2), "\xFF\xD8");  // too short to be PNG
  EXPECT_EQ(stored(opaque, false, std::string("\x89PNG")), "\x89PNG");
}

TEST_F(ICImageCacheTest, FindsFilesWithoutExtensionAndInReadOnlyFolders) {
  const std::string png = *testimages::solid(2, 2, kRed)->pngData();
  writeAt(cache->diskCachePath() + "/" + core::md5Hex(kKey), png);
  EXPECT_TRUE(cache->diskImageExistsWithKey(kKey));
  EXPECT_EQ(cache->diskImageDataBySearchingAllPathsForKey(kKey), png);

  const std::string shipped = homePath() + "/shipped";
  cache->addReadOnlyCachePath(shipped);
  cache->addReadOnlyCachePath(shipped);
  EXPECT_EQ(cache->customPaths(), std::vector<std::string>{shipped});
  const std::string other = "http://venue/other.png";
  writeAt(cache->cachePathForKey(other, shipped), png);
  const std::string bare = "http://venue/bare.jpg";
  writeAt(shipped + "/" + core::md5Hex(bare), png);
  EXPECT_EQ(cache->diskImageDataBySearchingAllPathsForKey(other), png);
  EXPECT_EQ(cache->diskImageDataBySearchingAllPathsForKey(bare), png);
  EXPECT_TRUE(cache->imageFromDiskCacheForKey(bare));
  // The existence test looks at the cache's own folder only.
  EXPECT_FALSE(cache->diskImageExistsWithKey(other));
  EXPECT_EQ(cache->diskImageDataBySearchingAllPathsForKey("http://venue/none.png"), std::nullopt);
  // A file that does not decode in a read-only folder is a miss, and stays.
  writeAt(cache->cachePathForKey("http://venue/bad.png", shipped), "junk");
  EXPECT_FALSE(cache->imageFromDiskCacheForKey("http://venue/bad.png"));
  EXPECT_TRUE(exists(cache->cachePathForKey("http://venue/bad.png", shipped)));
}

TEST_F(ICImageCacheTest, CorruptOrTruncatedFileIsDroppedAndMissed) {
  const std::string png = *testimages::solid(8, 8, kRed)->pngData();
  const std::string path = cache->defaultCachePathForKey(kKey);
  writeAt(path, png.substr(0, png.size() / 2));
  EXPECT_FALSE(cache->imageFromDiskCacheForKey(kKey));
  EXPECT_FALSE(exists(path));

  writeAt(path, "");
  bool answered = false;
  cache->queryDiskCacheForKey(kKey, [&](ImagePtr image, ICImageCacheSource source) {
    EXPECT_FALSE(image);
    EXPECT_EQ(source, ICImageCacheSource::Disk);
    answered = true;
  });
  ASSERT_TRUE(support::runUntil([&] { return answered; }));
  EXPECT_FALSE(exists(path));
}

TEST_F(ICImageCacheTest, QueryAnswers) {
  // No callback: nothing; no key: None at once.
  EXPECT_EQ(cache->queryDiskCacheForKey(kKey, nullptr), nullptr);
  std::optional<ICImageCacheSource> source;
  EXPECT_EQ(cache->queryDiskCacheForKey("", [&](ImagePtr image, ICImageCacheSource s) {
    EXPECT_FALSE(image);
    source = s;
  }), nullptr);
  EXPECT_EQ(source, ICImageCacheSource::None);

  // A miss reads the disk and answers nothing, from the disk, on the main queue.
  source.reset();
  auto token = cache->queryDiskCacheForKey(kKey, [&](ImagePtr image, ICImageCacheSource s) {
    EXPECT_FALSE(image);
    EXPECT_TRUE(core::Queue::main()->isCurrent());
    source = s;
  });
  EXPECT_TRUE(token);
  ASSERT_TRUE(support::runUntil([&] { return source.has_value(); }));
  EXPECT_EQ(source, ICImageCacheSource::Disk);

  // A hit on disk goes into memory; then memory answers before the query returns.
  cache->storeImage(testimages::solid(2, 2, kRed), kKey);
  waitForDisk();
  cache->clearMemory();
  ImagePtr found;
  source.reset();
  cache->queryDiskCacheForKey(kKey, [&](ImagePtr image, ICImageCacheSource s) { found = image, source = s; });
  ASSERT_TRUE(support::runUntil([&] { return source.has_value(); }));
  EXPECT_EQ(source, ICImageCacheSource::Disk);
  ASSERT_TRUE(found);
  EXPECT_EQ(cache->imageFromMemoryCacheForKey(kKey), found);
  source.reset();
  EXPECT_EQ(cache->queryDiskCacheForKey(kKey, [&](ImagePtr image, ICImageCacheSource s) {
    EXPECT_EQ(image, found);
    source = s;
  }), nullptr);
  EXPECT_EQ(source, ICImageCacheSource::Memory);
}

TEST_F(ICImageCacheTest, CancelledTokenSuppressesTheAnswer) {
  // A named pipe holds the I/O queue in its read until the test opens the writing end.
  const std::string blocker = "http://venue/blocker.png";
  core::paths::makeDirectories(cache->diskCachePath());
  ASSERT_EQ(::mkfifo(cache->defaultCachePathForKey(blocker).c_str(), 0600), 0);
  bool blockerAnswered = false, cancelledAnswered = false;
  cache->queryDiskCacheForKey(blocker, [&](ImagePtr, ICImageCacheSource) { blockerAnswered = true; });
  auto token = cache->queryDiskCacheForKey(kKey, [&](ImagePtr, ICImageCacheSource) { cancelledAnswered = true; });
  ASSERT_TRUE(token);
  token->cancel();
  const int writer = ::open(cache->defaultCachePathForKey(blocker).c_str(), O_WRONLY);
  ASSERT_GE(writer, 0);
  ::close(writer);
  ASSERT_TRUE(support::runUntil([&] { return blockerAnswered; }));
  waitForDisk();
  support::drainMainLoop();
  EXPECT_FALSE(cancelledAnswered);
}

TEST_F(ICImageCacheTest, RemovesFromMemoryAndDisk) {
  cache->storeImage(testimages::solid(2, 2, kRed), kKey);
  waitForDisk();
  bool removed = false;
  cache->removeImageForKey(kKey, false, [&] { removed = true; });
  EXPECT_TRUE(removed);  // at once when not from disk
  EXPECT_FALSE(cache->imageFromMemoryCacheForKey(kKey));
  EXPECT_TRUE(cache->diskImageExistsWithKey(kKey));
  removed = false;
  cache->removeImageForKey(kKey, [&] { removed = true; });
  EXPECT_FALSE(removed);
  ASSERT_TRUE(support::runUntil([&] { return removed; }));
  EXPECT_FALSE(cache->diskImageExistsWithKey(kKey));

  cache->storeImage(testimages::solid(2, 2, kRed), "http://venue/a.png");
  cache->storeImage(testimages::solid(2, 2, kRed), "http://venue/b.png");
  bool cleared = false;
  cache->clearDisk([&] { cleared = true; });
  ASSERT_TRUE(support::runUntil([&] { return cleared; }));
  EXPECT_EQ(cache->getDiskCount(), 0u);
  EXPECT_TRUE(exists(cache->diskCachePath()));
}

TEST_F(ICImageCacheTest, Counting) {
  writeAt(cache->diskCachePath() + "/a", std::string(100, 'a'));
  writeAt(cache->diskCachePath() + "/sub/b", std::string(50, 'b'));
  writeAt(cache->diskCachePath() + "/.hidden", std::string(7, 'h'));
  EXPECT_EQ(cache->getDiskCount(), 4u);  // a, sub, sub/b, .hidden
  EXPECT_EQ(cache->getSize(), 157u);
  std::optional<std::pair<uint64_t, uint64_t>> counted;
  cache->calculateSizeWithCompletionBlock([&](uint64_t files, uint64_t bytes) { counted = {files, bytes}; });
  ASSERT_TRUE(support::runUntil([&] { return counted.has_value(); }));
  EXPECT_EQ(*counted, (std::pair<uint64_t, uint64_t>{3, 150}));
}

TEST_F(ICImageCacheTest, CleaningExpiresAtTheBoundary) {
  support::VirtualClock clock;
  // The middle of a second, so that the whole second the cleaning reads is the one read here.
  const double wall = core::Clock::wallNow();
  core::Clock::advance(std::floor(wall) + 1.5 - wall);
  const int64_t now = static_cast<int64_t>(std::floor(core::Clock::wallNow()));
  const int64_t age = cache->maxCacheAge();
  EXPECT_EQ(age, 604800);
  const std::string expired = cache->diskCachePath() + "/expired", fresh = cache->diskCachePath() + "/fresh";
  writeAt(expired, "x");
  writeAt(fresh, "x");
  setModified(expired, now - age);
  setModified(fresh, now - age, 1000000);
  bool cleaned = false;
  cache->cleanDisk([&] { cleaned = true; });
  ASSERT_TRUE(support::runUntil([&] { return cleaned; }));
  EXPECT_FALSE(exists(expired));
  EXPECT_TRUE(exists(fresh));
}

TEST_F(ICImageCacheTest, CleaningTrimsOldestFirstToHalfTheLimit) {
  const int64_t now = static_cast<int64_t>(core::Clock::wallNow());
  std::vector<std::string> files;
  uint64_t allocated = 0;
  for (int i = 0; i < 4; ++i) {
    files.push_back(cache->diskCachePath() + "/f" + std::to_string(i));
    writeAt(files.back(), std::string(5000, char('a' + i)));
    setModified(files.back(), now - 3600 * (4 - i));  // f0 oldest
    struct stat st {};
    ASSERT_EQ(::stat(files.back().c_str(), &st), 0);
    if (i > 0) {
      ASSERT_EQ(uint64_t(st.st_blocks) * 512, allocated);
    }
    allocated = uint64_t(st.st_blocks) * 512;
  }
  ASSERT_GT(allocated, 0u);
  auto clean = [&] {
    bool cleaned = false;
    cache->cleanDisk([&] { cleaned = true; });
    ASSERT_TRUE(support::runUntil([&] { return cleaned; }));
  };
  // No limit, or within it: the age rule only.
  clean();
  cache->setMaxCacheSize(4 * allocated);
  clean();
  EXPECT_EQ(cache->getDiskCount(), 4u);
  // Above it: oldest first until less than half the limit (1.5 files) is left.
  cache->setMaxCacheSize(3 * allocated);
  clean();
  EXPECT_FALSE(exists(files[0]));
  EXPECT_FALSE(exists(files[1]));
  EXPECT_FALSE(exists(files[2]));
  EXPECT_TRUE(exists(files[3]));
}

TEST_F(ICImageCacheTest, MemoryTierLimitsAndNotifications) {
  cache->setMaxMemoryCost(30);  // pixels
  cache->storeImage(testimages::solid(4, 4, kRed), "a.png", false);
  cache->storeImage(testimages::solid(4, 4, kRed), "b.png", false);
  EXPECT_FALSE(cache->imageFromMemoryCacheForKey("a.png"));
  EXPECT_TRUE(cache->imageFromMemoryCacheForKey("b.png"));
  cache->setMaxMemoryCost(0);
  cache->setMaxMemoryCountLimit(1);
  EXPECT_EQ(cache->maxMemoryCountLimit(), 1u);
  cache->storeImage(testimages::solid(4, 4, kRed), "c.png", false);
  EXPECT_EQ(cache->memCache()->count(), 1u);

  // Termination and entering the background clean the disk.
  for (const char* name : {ui::Application::WillTerminateNotification, ui::Application::DidEnterBackgroundNotification}) {
    const std::string old = cache->diskCachePath() + "/old";
    writeAt(old, "x");
    setModified(old, 1000);
    core::NotificationCenter::defaultCenter().post(name);
    waitForDisk();
    EXPECT_FALSE(exists(old)) << name;
  }
}

TEST_F(ICImageCacheTest, ConcurrentReadsAndWrites) {
  cache->setMaxMemoryCountLimit(8);  // evictions too
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      const uint32_t colour = 0xFF000000u | (0x40u << (8 * (t % 3)));
      for (int i = 0; i < 40; ++i) {
        const std::string own = "http://venue/t" + std::to_string(t) + "/" + std::to_string(i % 5) + ".png";
        const std::string shared = "http://venue/shared" + std::to_string(i % 3) + ".png";
        cache->storeImage(testimages::solid(4, 4, colour), own);
        cache->storeImage(testimages::solid(4, 4, colour), shared);
        if (ImagePtr image = cache->imageFromDiskCacheForKey(own); image && image->pixelAt(1, 1) != colour) ++failures;
        // Whatever thread wrote it last, a shared file is never read half written.
        if (cache->diskImageExistsWithKey(shared) && !cache->diskImageForKey(shared)) ++failures;
        cache->queryDiskCacheForKey(shared, [](ImagePtr, ICImageCacheSource) {});
        if (i % 7 == 0) cache->removeImageForKey(own, i % 2 == 0);
        if (i % 11 == 0) cache->clearMemory();
      }
    });
  }
  for (auto& thread : threads) thread.join();
  waitForDisk();
  support::drainMainLoop();
  EXPECT_EQ(failures, 0);
}
