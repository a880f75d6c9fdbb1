#pragma once

// The view loaders' tests: a fresh home, the stand-in web server with its picture gallery, and
// ways to tell which gallery thumbnail an image shows.

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "imagecache/ICImageCache.h"
#include "imagecache/ICWebImageDownloader.h"
#include "imagecache/ICWebImageManager.h"
#include "platform/core/Error.h"
#include "platform/gfx/Image.h"
#include "platform/net/URL.h"
#include "support/RunUntil.h"
#include "support/SessionsLetGo.h"
#include "support/TempHome.h"
#include "venue/Gallery.h"
#include "venue/WebServer.h"

namespace viewloader {

// Whether the image is the gallery thumbnail of that number: its size, and the colour of a spot
// away from the border and the band (JPEG moves colours a little).
inline bool isThumbnail(const std::shared_ptr<const gfx::Image>& image, long index) {
  if (!image || image->pixelWidth() != venue::Gallery::ThumbnailSide) return false;
  const uint32_t p = image->pixelAt(56, 8);
  const venue::Rgb want = venue::colourFor("thumb/" + std::to_string(index));
  auto near = [](uint32_t got, int expected) { return std::abs(static_cast<int>(got & 0xff) - expected) <= 12; };
  return near(p >> 16, want.r) && near(p >> 8, want.g) && near(p, want.b);
}

// Waits until every load of the shared manager has ended and what it handed to the main queue
// has run: a load still on its way has delivered by then, or never will. Cache queries asked
// before are answered first, so a load waiting for its query is not missed.
inline void waitForLoadsToEnd() {
  kt::ICImageCache::sharedImageCache()->getDiskCount();
  support::drainMainLoop();
  EXPECT_TRUE(support::runUntil([] {
    return kt::ICWebImageDownloader::sharedDownloader()->currentDownloadCount() == 0 &&
           !kt::ICWebImageManager::sharedManager()->isRunning();
  }));
  support::drainMainLoop();
}

// What a completion was given.
struct Result {
  int calls = 0;
  std::shared_ptr<const gfx::Image> image;
  std::optional<core::Error> error;
  kt::ICImageCacheSource source = kt::ICImageCacheSource::None;
  std::optional<net::URL> url;
};

class ViewLoaderTest : public support::SessionsLetGoAtEnd, public support::TempHomeTest {
 protected:
  void SetUp() override { ASSERT_TRUE(web.start()); }
  // The shared downloader and the shared cache's disk queue are left idle, so no worker thread is
  // still busy when the next test, or the process's exit, tears things down.
  void TearDown() override {
    support::runUntil([] { return kt::ICWebImageDownloader::sharedDownloader()->currentDownloadCount() == 0; });
    kt::ICImageCache::sharedImageCache()->getDiskCount();
    support::drainMainLoop();
  }

  net::URL url(const std::string& picture) const { return *net::URL::fromString(web.baseUrl() + "/images/" + picture); }
  net::URL thumb(long index) const { return url("thumb-" + std::to_string(index) + ".jpg"); }
  // A completion that records into `result`.
  static auto recordInto(Result& result) {
    return [&result](std::shared_ptr<const gfx::Image> image, std::optional<core::Error> error,
                     kt::ICImageCacheSource source, std::optional<net::URL> url) {
      ++result.calls;
      result.image = std::move(image);
      result.error = std::move(error);
      result.source = source;
      result.url = std::move(url);
    };
  }
  static void settle() { waitForLoadsToEnd(); }

  venue::WebServer web;
};

}  // namespace viewloader
