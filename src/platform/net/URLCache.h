#pragma once

#include "platform/net/URLRequest.h"

#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace core {
class Date;
}

namespace net {

class HTTPURLResponse;

// Where a response may be kept.
enum class URLCacheStoragePolicy : int { Allowed = 0, AllowedInMemoryOnly = 1, NotAllowed = 2 };

// A reply as kept by a URL cache: the response head, the (decoded) body, where it may be kept
// and when it was stored (seconds since 1970; set by the cache when it stores the entry).
class CachedURLResponse {
 public:
  CachedURLResponse(std::shared_ptr<const HTTPURLResponse> response, std::string data,
                    URLCacheStoragePolicy storagePolicy = URLCacheStoragePolicy::Allowed, double dateStored = 0);

  const std::shared_ptr<const HTTPURLResponse>& response() const { return m_response; }
  const std::string& data() const { return m_data; }
  URLCacheStoragePolicy storagePolicy() const { return m_storagePolicy; }
  double dateStored() const { return m_dateStored; }

 private:
  std::shared_ptr<const HTTPURLResponse> m_response;
  std::string m_data;
  URLCacheStoragePolicy m_storagePolicy = URLCacheStoragePolicy::Allowed;
  double m_dateStored = 0;
};

// Replies to GET requests kept by absolute URL, in memory and on disk, each part evicting its
// least recently used entries once it holds more than its capacity. An entry larger than 5% of
// a part's capacity is not kept in that part. On disk every entry is one file (a small header
// with the status, header fields, URL, date stored and storage policy, then the body), written
// atomically; a file that cannot be read back is removed and counts as a miss.
//
// Safe to use from any thread. The HTTP rules (what may be stored, how long it stays fresh) are
// the static functions at the end; the URL session applies them.
class URLCache {
 public:
  static constexpr uint64_t SharedMemoryCapacity = 4 * 1024 * 1024;
  static constexpr uint64_t SharedDiskCapacity = 20 * 1024 * 1024;

  // The process-wide cache: made on first use with the capacities above, on disk in the
  // "URLCache" folder of the program's cache directory, unless one was set.
  static std::shared_ptr<URLCache> sharedURLCache();
  static void setSharedURLCache(std::shared_ptr<URLCache> cache);

  // A relative disk path lies in the program's cache directory; nothing means "URLCache" there.
  // The folder is made and read on first use of the disk.
  URLCache(uint64_t memoryCapacity, uint64_t diskCapacity, std::optional<std::string> diskPath = std::nullopt);
  ~URLCache();
  URLCache(const URLCache&) = delete;
  URLCache& operator=(const URLCache&) = delete;

  // The entry for a GET request's URL (null for other methods and on a miss); marks it as used.
  std::shared_ptr<const CachedURLResponse> cachedResponseForRequest(const URLRequest& request);
  // Keeps the reply for a GET request (replacing an older one), with the date stored set to now.
  void storeCachedResponse(const CachedURLResponse& cachedResponse, const URLRequest& request);
  void removeCachedResponseForRequest(const URLRequest& request);
  void removeAllCachedResponses();
  // Removes the entries stored at or after the date.
  void removeCachedResponsesSinceDate(const core::Date& date);

  uint64_t memoryCapacity() const;
  // A smaller capacity evicts at once.
  void setMemoryCapacity(uint64_t bytes);
  uint64_t diskCapacity() const;
  void setDiskCapacity(uint64_t bytes);
  uint64_t currentMemoryUsage() const;
  uint64_t currentDiskUsage() const;
  // The folder the entries are written to.
  const std::string& diskPath() const { return m_diskPath; }

  // HTTP rules.

  // The cache key of a request: its URL's absolute text, for GET requests only.
  static std::optional<std::string> keyForRequest(const URLRequest& request);
  // 200, 203, 300, 301 and 410.
  static bool isCacheableStatus(int statusCode);
  // Whether the reply to the request may be stored: a GET, a cacheable status and no
  // "Cache-Control: no-store" on either side.
  static bool mayStore(const URLRequest& request, const HTTPURLResponse& response);
  // Seconds the reply stays fresh after it was stored: max-age, else Expires - Date, else a
  // tenth of Date - Last-Modified, else 0. Date defaults to the date stored.
  static double freshnessLifetime(const HTTPURLResponse& response, double dateStored);
  // Fresh at `now` (seconds since 1970), and not marked "no-cache" by the request or the reply.
  static bool isFresh(const CachedURLResponse& cached, const URLRequest& request, double now);
  // Whether a stale entry can be checked with the server (it has an ETag or a Last-Modified).
  static bool canRevalidate(const CachedURLResponse& cached);
  // The directive's value in a Cache-Control text ("" for a directive without a value).
  static std::optional<std::string> cacheControlDirective(std::string_view cacheControl, std::string_view name);
  // An HTTP date (RFC 1123, RFC 850 or asctime form) as seconds since 1970.
  static std::optional<double> parseHTTPDate(std::string_view text);

 private:
  struct MemoryEntry {
    std::shared_ptr<const CachedURLResponse> response;
    uint64_t size = 0;
    std::list<std::string>::iterator use;
  };
  struct DiskEntry {
    uint64_t size = 0;
    std::list<std::string>::iterator use;
  };

  // All with m_mutex held.
  void storeInMemory(const std::string& key, std::shared_ptr<const CachedURLResponse> response);
  void removeFromMemory(const std::string& key);
  void trimMemory();
  void loadDiskIndex();
  bool diskEnabled() const { return m_diskCapacity > 0 && !m_diskPath.empty(); }
  std::string filePathFor(const std::string& name) const;
  void storeOnDisk(const std::string& key, const CachedURLResponse& response);
  std::shared_ptr<const CachedURLResponse> readFromDisk(const std::string& key);
  void removeFromDisk(const std::string& name);
  void trimDisk();

  static std::string fileNameFor(const std::string& key);
  static uint64_t sizeOf(const CachedURLResponse& response);

  const std::string m_diskPath;
  mutable std::mutex m_mutex;
  uint64_t m_memoryCapacity = 0;
  uint64_t m_diskCapacity = 0;
  uint64_t m_memoryUsage = 0;
  uint64_t m_diskUsage = 0;
  // Most recently used first.
  std::list<std::string> m_memoryUse;
  std::map<std::string, MemoryEntry> m_memory;
  bool m_diskLoaded = false;
  std::list<std::string> m_diskUse;  // file names
  std::map<std::string, DiskEntry> m_disk;
};

}  // namespace net
