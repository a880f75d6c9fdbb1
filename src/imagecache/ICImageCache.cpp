#include "imagecache/ICImageCache.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "imagecache/AutoPurgeCache.h"
#include "imagecache/ForceDecode.h"
#include "imagecache/MultiFormat.h"
#include "platform/core/Clock.h"
#include "platform/core/Md5.h"
#include "platform/core/OperationQueue.h"
#include "platform/core/Paths.h"
#include "platform/core/Queue.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Application.h"

namespace fs = std::filesystem;

namespace kt {

namespace {

// A file name is at most 255 bytes: the 32 digits, the period and at most this much extension.
constexpr size_t kMaxExtensionLength = 255 - 33;

const std::string& defaultNamespace() {
  // Never destroyed: the cache's queues read it while the process exits.
  static const auto* ns = new std::string("default");
  return *ns;
}

std::string fullNamespace(const std::string& ns) {
  return std::string(ICWebImageCacheFolderPrefix) + "ICWebImageCache." + ns;
}

// The text after the last period of the last "/"-separated component; empty without one.
std::string pathExtension(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t start = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < start) return {};
  return path.substr(dot + 1);
}

std::string deletingPathExtension(const std::string& path) {
  const std::string extension = pathExtension(path);
  if (extension.empty()) return path;
  return path.substr(0, path.size() - extension.size() - 1);
}

// Pixel count: the size in points times the scale squared, truncated.
uint64_t memoryCost(const gfx::Image& image) {
  const gfx::Size size = image.size();
  const double cost = size.height * size.width * image.scale() * image.scale();
  return cost > 0 ? static_cast<uint64_t>(cost) : 0;
}

void onMain(std::function<void()> block) {
  if (block) core::Queue::main()->async(std::move(block));
}

// What a task on the I/O queue needs of the cache, taken when it is queued, so that no task
// refers to a cache that may be gone by the time it runs.
struct Disk {
  std::string folder;
  std::vector<std::string> customPaths;
  std::shared_ptr<AutoPurgeCache> memCache;
  bool decompress = true;
  bool cacheInMemory = true;

  static Disk of(const ICImageCache& cache) {
    return Disk{cache.diskCachePath(), cache.customPaths(), cache.memCache(), cache.shouldDecompressImages(),
                cache.shouldCacheImagesInMemory()};
  }

  std::string defaultPath(const std::string& key) const { return folder + "/" + fileName(key); }

  static std::string fileName(const std::string& key) {
    std::string name = core::md5Hex(key);
    const std::string extension = pathExtension(key);
    // An extension too long for a file name, or holding a zero byte, is left out; the file is
    // then the one looked up as "the name without extension".
    if (!extension.empty() && extension.size() <= kMaxExtensionLength && extension.find('\0') == std::string::npos)
      name += "." + extension;
    return name;
  }

  // The first file that reads, and where it was.
  std::optional<std::pair<std::string, std::string>> read(const std::string& key) const {
    std::vector<std::string> candidates;
    const std::string own = defaultPath(key);
    candidates = {own, deletingPathExtension(own)};
    for (const std::string& folderPath : customPaths) {
      const std::string path = folderPath + "/" + fileName(key);
      candidates.push_back(path);
      candidates.push_back(deletingPathExtension(path));
    }
    std::string bytes;
    for (const std::string& path : candidates)
      if (core::paths::readFile(path, bytes)) return std::make_pair(std::move(bytes), path);
    return std::nullopt;
  }

  ImagePtr image(const std::string& key) const {
    auto found = read(key);
    if (!found) return nullptr;
    ImagePtr image = MultiFormat::ic_imageWithData(found->first);
    if (!image) {
      // A corrupt or truncated file of our own: drop it, so that the image is fetched again.
      // Read-only folders are left as they are.
      if (found->second.compare(0, folder.size() + 1, folder + "/") == 0) ::unlink(found->second.c_str());
      return nullptr;
    }
    image = imageScaledForKey(key, image);
    if (decompress) image = ForceDecode::decodedImageWithImage(image);
    return image;
  }

  void remember(const std::string& key, const ImagePtr& image) const {
    if (image && cacheInMemory) memCache->setObject(image, key, memoryCost(*image));
  }

  void write(const std::optional<std::string>& data, const std::string& key) const {
    if (!data) return;
    core::paths::makeDirectories(folder);
    // Cache files are worth nothing after a crash, so the write is not flushed; the rename still
    // means that a reader sees the old file or the new one, never half of one.
    core::paths::writeFileAtomically(defaultPath(key), *data, 0644, false);
  }

  bool exists(const std::string& key) const {
    std::error_code ec;
    const std::string path = defaultPath(key);
    return fs::exists(path, ec) || fs::exists(deletingPathExtension(path), ec);
  }
};

int64_t nanoseconds(const struct timespec& t) { return int64_t{t.tv_sec} * 1000000000 + t.tv_nsec; }

// Deletes expired files, then the oldest ones while the folder is above maxSize.
void cleanFolder(const std::string& folder, int64_t maxAge, uint64_t maxSize) {
  // Now in whole seconds (the clock reads the same all through a second, so a file stamped
  // exactly at the expiry date is judged alike whenever in that second the cleaning runs), then
  // in nanoseconds as the file times are; wide enough for any age.
  const __int128 now = static_cast<__int128>(std::floor(core::Clock::wallNow())) * 1000000000;
  const __int128 expiry = now - static_cast<__int128>(maxAge) * 1000000000;
  struct Kept {
    std::string path;
    int64_t modified = 0;
    uint64_t allocated = 0;
  };
  std::vector<std::string> expired;
  std::vector<Kept> kept;
  uint64_t currentSize = 0;

  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(folder, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    const std::string path = it->path().string();
    if (it->path().filename().string().starts_with(".")) {
      it.disable_recursion_pending();
      continue;
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) continue;
    const int64_t modified = nanoseconds(st.st_mtim);
    if (modified <= expiry) {
      expired.push_back(path);
      continue;
    }
    const uint64_t allocated = static_cast<uint64_t>(st.st_blocks) * 512;
    currentSize += allocated;
    kept.push_back(Kept{path, modified, allocated});
  }
  for (const std::string& path : expired) ::unlink(path.c_str());

  if (maxSize == 0 || currentSize <= maxSize) return;
  const uint64_t target = maxSize / 2;
  std::stable_sort(kept.begin(), kept.end(), [](const Kept& a, const Kept& b) { return a.modified < b.modified; });
  for (const Kept& file : kept) {
    if (::unlink(file.path.c_str()) != 0) continue;
    currentSize -= file.allocated;
    if (currentSize < target) break;
  }
}

struct FolderCount {
  uint64_t entries = 0;
  uint64_t bytes = 0;
};

// Every entry under the folder, hidden ones too unless skipHidden; bytes of regular files.
FolderCount countFolder(const std::string& folder, bool skipHidden) {
  FolderCount count;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(folder, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (skipHidden && it->path().filename().string().starts_with(".")) {
      it.disable_recursion_pending();
      continue;
    }
    ++count.entries;
    struct stat st {};
    if (::lstat(it->path().c_str(), &st) == 0 && S_ISREG(st.st_mode)) count.bytes += static_cast<uint64_t>(st.st_size);
  }
  return count;
}

}  // namespace

ImagePtr imageScaledForKey(const std::string& key, const ImagePtr& image) {
  if (!image) return nullptr;
  if (!image->frames().empty()) {
    std::vector<std::shared_ptr<gfx::Image>> frames;
    for (const auto& frame : image->frames())
      frames.push_back(std::const_pointer_cast<gfx::Image>(imageScaledForKey(key, frame)));
    return gfx::Image::animated(std::move(frames), image->duration());
  }
  double scale = 1;
  if (key.size() >= 8) {
    if (key.find("@2x.") != std::string::npos) scale = 2;
    if (key.find("@3x.") != std::string::npos) scale = 3;
  }
  return image->withScale(scale, image->orientation());
}

bool hasPNGSignaturePrefix(std::string_view data) {
  static constexpr std::string_view kSignature("\x89PNG\r\n\x1A\n", 8);
  return data.size() >= kSignature.size() && data.substr(0, kSignature.size()) == kSignature;
}

// ---- Creation ----

std::shared_ptr<ICImageCache> ICImageCache::sharedImageCache() {
  // Never destroyed, as the platform's shared objects: disk tasks may still run at exit.
  static const auto* shared = new std::shared_ptr<ICImageCache>(std::make_shared<ICImageCache>());
  return *shared;
}

ICImageCache::ICImageCache() : ICImageCache(defaultNamespace()) {}

ICImageCache::ICImageCache(const std::string& ns) : ICImageCache(ns, makeDiskCachePath(ns)) {}

ICImageCache::ICImageCache(const std::string& ns, const std::optional<std::string>& directory)
    : m_ioQueue(core::Queue::createSerial(std::string(ICWebImageCacheFolderPrefix) + "ICWebImageCache")),
      m_memCache(std::make_shared<AutoPurgeCache>()),
      m_diskCachePath(directory ? *directory + "/" + fullNamespace(ns) : makeDiskCachePath(ns)),
      m_life(std::make_shared<Life>()) {
  m_memCache->setName(fullNamespace(ns));
  m_life->cache = this;
  auto observe = [this](const char* name, void (*action)(ICImageCache&)) {
    m_observations.emplace_back(core::NotificationCenter::defaultCenter(), name, nullptr,
                                [life = m_life, action](const core::Notification&) {
                                  std::lock_guard lock(life->mutex);
                                  if (life->cache) action(*life->cache);
                                });
  };
  observe(ui::Application::DidReceiveMemoryWarningNotification, [](ICImageCache& cache) { cache.clearMemory(); });
  observe(ui::Application::WillTerminateNotification, [](ICImageCache& cache) { cache.cleanDisk(); });
  observe(ui::Application::DidEnterBackgroundNotification,
          [](ICImageCache& cache) { cache.backgroundCleanDisk(); });
}

ICImageCache::~ICImageCache() {
  {
    std::lock_guard lock(m_life->mutex);
    m_life->cache = nullptr;
  }
  m_observations.clear();
}

std::string ICImageCache::makeDiskCachePath(const std::string& name) { return core::paths::cacheDir() + "/" + name; }

void ICImageCache::addReadOnlyCachePath(const std::string& path) {
  std::lock_guard lock(m_customPathsMutex);
  if (std::find(m_customPaths.begin(), m_customPaths.end(), path) == m_customPaths.end()) m_customPaths.push_back(path);
}

std::vector<std::string> ICImageCache::customPaths() const {
  std::lock_guard lock(m_customPathsMutex);
  return m_customPaths;
}

// ---- Paths ----

std::string ICImageCache::cachedFileNameForKey(const std::string& key) const { return Disk::fileName(key); }

std::string ICImageCache::cachePathForKey(const std::string& key, const std::string& path) const {
  return path + "/" + cachedFileNameForKey(key);
}

std::string ICImageCache::defaultCachePathForKey(const std::string& key) const {
  return cachePathForKey(key, m_diskCachePath);
}

// ---- Storing ----

void ICImageCache::storeImage(const ImagePtr& image, bool recalculate, std::optional<std::string> data,
                              const std::string& key, bool toDisk) {
  if (!image || key.empty()) return;
  const Disk disk = Disk::of(*this);
  disk.remember(key, image);
  if (!toDisk) return;
  m_ioQueue->async([disk, image, recalculate, data = std::move(data), key] {
    std::optional<std::string> bytes = data;
    if (recalculate || !data) {
      const bool png = data && data->size() >= 8 ? hasPNGSignaturePrefix(*data) : image->hasAlpha();
      bytes = png ? image->pngData() : image->jpegData(1.0);
    }
    disk.write(bytes, key);
  });
}

void ICImageCache::storeImage(const ImagePtr& image, const std::string& key, bool toDisk) {
  storeImage(image, true, std::nullopt, key, toDisk);
}

void ICImageCache::storeImageDataToDisk(const std::optional<std::string>& data, const std::string& key) {
  Disk::of(*this).write(data, key);
}

// ---- Reading ----

std::shared_ptr<core::Operation> ICImageCache::queryDiskCacheForKey(const std::string& key,
                                                                     ICWebImageCacheQueryCallback done) {
  if (!done) return nullptr;
  if (key.empty()) {
    done(nullptr, ICImageCacheSource::None);
    return nullptr;
  }
  if (ImagePtr image = imageFromMemoryCacheForKey(key)) {
    done(image, ICImageCacheSource::Memory);
    return nullptr;
  }
  auto token = std::make_shared<core::Operation>();
  m_ioQueue->async([token, disk = Disk::of(*this), key, done = std::move(done)]() mutable {
    if (token->isCancelled()) return;
    ImagePtr image = disk.image(key);
    disk.remember(key, image);
    onMain([done = std::move(done), image] { done(image, ICImageCacheSource::Disk); });
  });
  return token;
}

ImagePtr ICImageCache::imageFromMemoryCacheForKey(const std::string& key) const { return m_memCache->objectForKey(key); }

ImagePtr ICImageCache::imageFromDiskCacheForKey(const std::string& key) {
  if (ImagePtr image = imageFromMemoryCacheForKey(key)) return image;
  const Disk disk = Disk::of(*this);
  ImagePtr image = disk.image(key);
  disk.remember(key, image);
  return image;
}

std::optional<std::string> ICImageCache::diskImageDataBySearchingAllPathsForKey(const std::string& key) const {
  auto found = Disk::of(*this).read(key);
  if (!found) return std::nullopt;
  return std::move(found->first);
}

ImagePtr ICImageCache::diskImageForKey(const std::string& key) const { return Disk::of(*this).image(key); }

ImagePtr ICImageCache::scaledImageForKey(const std::string& key, const ImagePtr& image) const {
  return imageScaledForKey(key, image);
}

bool ICImageCache::diskImageExistsWithKey(const std::string& key) const { return Disk::of(*this).exists(key); }

void ICImageCache::diskImageExistsWithKey(const std::string& key, std::function<void(bool)> completion) const {
  m_ioQueue->async([disk = Disk::of(*this), key, completion = std::move(completion)]() mutable {
    const bool exists = disk.exists(key);
    if (completion) onMain([completion = std::move(completion), exists] { completion(exists); });
  });
}

// ---- Removing ----

void ICImageCache::removeImageForKey(const std::string& key, bool fromDisk, std::function<void()> completion) {
  if (key.empty()) return;
  if (shouldCacheImagesInMemory()) m_memCache->removeObjectForKey(key);
  if (!fromDisk) {
    if (completion) completion();
    return;
  }
  m_ioQueue->async([path = defaultCachePathForKey(key), completion = std::move(completion)]() mutable {
    ::unlink(path.c_str());
    onMain(std::move(completion));
  });
}

// ---- Clearing and cleaning ----

void ICImageCache::clearMemory() { m_memCache->removeAllObjects(); }

void ICImageCache::clearDisk(std::function<void()> completion) {
  m_ioQueue->async([folder = m_diskCachePath, completion = std::move(completion)]() mutable {
    std::error_code ec;
    fs::remove_all(folder, ec);
    core::paths::makeDirectories(folder);
    onMain(std::move(completion));
  });
}

void ICImageCache::cleanDisk(std::function<void()> completion) {
  m_ioQueue->async([folder = m_diskCachePath, maxAge = maxCacheAge(), maxSize = maxCacheSize(),
                    completion = std::move(completion)]() mutable {
    cleanFolder(folder, maxAge, maxSize);
    onMain(std::move(completion));
  });
}

void ICImageCache::backgroundCleanDisk() { cleanDisk(); }

// ---- Counting ----

uint64_t ICImageCache::getSize() const {
  uint64_t size = 0;
  m_ioQueue->sync([&] { size = countFolder(m_diskCachePath, false).bytes; });
  return size;
}

uint64_t ICImageCache::getDiskCount() const {
  uint64_t count = 0;
  m_ioQueue->sync([&] { count = countFolder(m_diskCachePath, false).entries; });
  return count;
}

void ICImageCache::calculateSizeWithCompletionBlock(
    std::function<void(uint64_t fileCount, uint64_t totalSize)> completion) const {
  m_ioQueue->async([folder = m_diskCachePath, completion = std::move(completion)]() mutable {
    const FolderCount count = countFolder(folder, true);
    if (completion) onMain([completion = std::move(completion), count] { completion(count.entries, count.bytes); });
  });
}

// ---- Memory limits ----

uint64_t ICImageCache::maxMemoryCost() const { return m_memCache->totalCostLimit(); }
void ICImageCache::setMaxMemoryCost(uint64_t cost) { m_memCache->setTotalCostLimit(cost); }
uint64_t ICImageCache::maxMemoryCountLimit() const { return m_memCache->countLimit(); }
void ICImageCache::setMaxMemoryCountLimit(uint64_t count) { m_memCache->setCountLimit(count); }

}  // namespace kt
