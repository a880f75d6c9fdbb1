#include "platform/net/URLCache.h"

#include "platform/core/Clock.h"
#include "platform/core/Date.h"
#include "platform/core/Log.h"
#include "platform/core/Md5.h"
#include "platform/core/Paths.h"
#include "platform/net/HTTPURLResponse.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

namespace net {

namespace {

constexpr const char* kMagic = "KTURLCACHE 1\n";
constexpr const char* kSuffix = ".cache";
constexpr const char* kEnd = "END\n";

std::mutex g_sharedMutex;

// Never destroyed: session threads store replies in the shared cache while the process exits.
std::shared_ptr<URLCache>& sharedSlot() {
  static auto* slot = new std::shared_ptr<URLCache>;
  return *slot;
}

std::string lowercase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string_view trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool endsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// One field of an entry file: its length in decimal, a newline, the bytes, a newline.
void putField(std::string& out, std::string_view bytes) {
  out += std::to_string(bytes.size());
  out += '\n';
  out.append(bytes);
  out += '\n';
}

// Reads the fields back, refusing anything that does not fit the file exactly.
class FieldReader {
 public:
  explicit FieldReader(std::string_view bytes) : m_bytes(bytes) {}

  bool expect(std::string_view literal) {
    if (m_bytes.substr(m_pos, literal.size()) != literal) return false;
    m_pos += literal.size();
    return true;
  }
  std::optional<std::string_view> field() {
    size_t newline = m_bytes.find('\n', m_pos);
    if (newline == std::string_view::npos || newline == m_pos || newline - m_pos > 12) return std::nullopt;
    uint64_t length = 0;
    for (size_t i = m_pos; i < newline; ++i) {
      if (!std::isdigit(static_cast<unsigned char>(m_bytes[i]))) return std::nullopt;
      length = length * 10 + static_cast<uint64_t>(m_bytes[i] - '0');
    }
    size_t start = newline + 1;
    if (length > m_bytes.size() || start + length + 1 > m_bytes.size() || m_bytes[start + length] != '\n') {
      return std::nullopt;
    }
    m_pos = start + length + 1;
    return m_bytes.substr(start, length);
  }
  std::optional<long long> number() {
    auto text = field();
    if (!text || text->empty() || text->size() > 18) return std::nullopt;
    std::string s(*text);
    char* end = nullptr;
    long long value = std::strtoll(s.c_str(), &end, 10);
    if (!end || *end != '\0') return std::nullopt;
    return value;
  }
  bool atEnd() const { return m_pos == m_bytes.size(); }

 private:
  std::string_view m_bytes;
  size_t m_pos = 0;
};

std::string encodeEntry(const std::string& key, const CachedURLResponse& cached) {
  const HTTPURLResponse& response = *cached.response();
  std::string out = kMagic;
  putField(out, key);
  putField(out, std::to_string(response.statusCode()));
  putField(out, response.HTTPVersion());
  char date[64];
  std::snprintf(date, sizeof date, "%.6f", cached.dateStored());
  putField(out, date);
  putField(out, std::to_string(static_cast<int>(cached.storagePolicy())));
  putField(out, std::to_string(response.allHeaderFields().size()));
  for (const auto& [name, value] : response.allHeaderFields()) {
    putField(out, name);
    putField(out, value);
  }
  putField(out, cached.data());
  out += kEnd;
  return out;
}

struct DecodedEntry {
  std::string key;
  std::shared_ptr<const CachedURLResponse> response;
};

std::optional<DecodedEntry> decodeEntry(std::string_view bytes) {
  FieldReader reader(bytes);
  if (!reader.expect(kMagic)) return std::nullopt;
  auto key = reader.field();
  auto status = reader.number();
  auto version = reader.field();
  auto date = reader.field();
  auto policy = reader.number();
  auto count = reader.number();
  if (!key || !status || !version || !date || !policy || !count) return std::nullopt;
  if (*status < 100 || *status > 999 || *policy < 0 || *policy > 1 || *count < 0 || *count > 10000) return std::nullopt;
  HeaderFields headers;
  for (long long i = 0; i < *count; ++i) {
    auto name = reader.field();
    auto value = reader.field();
    if (!name || !value) return std::nullopt;
    headers.emplace_back(std::string(*name), std::string(*value));
  }
  auto body = reader.field();
  if (!body || !reader.expect(kEnd) || !reader.atEnd()) return std::nullopt;
  auto url = URL::fromString(std::string(*key));
  if (!url) return std::nullopt;
  std::string dateText(*date);
  char* end = nullptr;
  double stored = std::strtod(dateText.c_str(), &end);
  if (!end || *end != '\0') return std::nullopt;
  auto response = std::make_shared<const HTTPURLResponse>(*url, static_cast<int>(*status), std::string(*version),
                                                          std::move(headers));
  return DecodedEntry{std::string(*key),
                      std::make_shared<const CachedURLResponse>(response, std::string(*body),
                                                                static_cast<URLCacheStoragePolicy>(*policy), stored)};
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Entries

CachedURLResponse::CachedURLResponse(std::shared_ptr<const HTTPURLResponse> response, std::string data,
                                     URLCacheStoragePolicy storagePolicy, double dateStored)
    : m_response(std::move(response)), m_data(std::move(data)), m_storagePolicy(storagePolicy),
      m_dateStored(dateStored) {}

// ---------------------------------------------------------------------------------------------
// The cache

std::shared_ptr<URLCache> URLCache::sharedURLCache() {
  std::lock_guard lock(g_sharedMutex);
  std::shared_ptr<URLCache>& shared = sharedSlot();
  if (!shared) shared = std::make_shared<URLCache>(SharedMemoryCapacity, SharedDiskCapacity);
  return shared;
}

void URLCache::setSharedURLCache(std::shared_ptr<URLCache> cache) {
  std::lock_guard lock(g_sharedMutex);
  sharedSlot() = std::move(cache);
}

namespace {
std::string resolveDiskPath(const std::optional<std::string>& path) {
  if (path && !path->empty() && path->front() == '/') return *path;
  return core::paths::cacheDir() + "/" + (path && !path->empty() ? *path : std::string("URLCache"));
}
}  // namespace

URLCache::URLCache(uint64_t memoryCapacity, uint64_t diskCapacity, std::optional<std::string> diskPath)
    : m_diskPath(resolveDiskPath(diskPath)), m_memoryCapacity(memoryCapacity), m_diskCapacity(diskCapacity) {}

URLCache::~URLCache() = default;

std::shared_ptr<const CachedURLResponse> URLCache::cachedResponseForRequest(const URLRequest& request) {
  auto key = keyForRequest(request);
  if (!key) return nullptr;
  std::lock_guard lock(m_mutex);
  if (auto it = m_memory.find(*key); it != m_memory.end()) {
    m_memoryUse.splice(m_memoryUse.begin(), m_memoryUse, it->second.use);
    return it->second.response;
  }
  if (!diskEnabled()) return nullptr;
  loadDiskIndex();
  auto response = readFromDisk(*key);
  if (response) storeInMemory(*key, response);
  return response;
}

void URLCache::storeCachedResponse(const CachedURLResponse& cachedResponse, const URLRequest& request) {
  auto key = keyForRequest(request);
  if (!key || !cachedResponse.response() || cachedResponse.storagePolicy() == URLCacheStoragePolicy::NotAllowed) return;
  auto entry = std::make_shared<const CachedURLResponse>(cachedResponse.response(), cachedResponse.data(),
                                                         cachedResponse.storagePolicy(), core::Clock::wallNow());
  std::lock_guard lock(m_mutex);
  removeFromMemory(*key);
  storeInMemory(*key, entry);
  if (!diskEnabled()) return;
  loadDiskIndex();
  if (entry->storagePolicy() == URLCacheStoragePolicy::Allowed) {
    storeOnDisk(*key, *entry);
  } else {
    removeFromDisk(fileNameFor(*key));
  }
}

void URLCache::removeCachedResponseForRequest(const URLRequest& request) {
  auto key = keyForRequest(request);
  if (!key) return;
  std::lock_guard lock(m_mutex);
  removeFromMemory(*key);
  if (!diskEnabled()) return;
  loadDiskIndex();
  removeFromDisk(fileNameFor(*key));
}

void URLCache::removeAllCachedResponses() {
  std::lock_guard lock(m_mutex);
  m_memory.clear();
  m_memoryUse.clear();
  m_memoryUsage = 0;
  if (m_diskPath.empty()) return;
  loadDiskIndex();
  while (!m_diskUse.empty()) removeFromDisk(m_diskUse.back());
}

void URLCache::removeCachedResponsesSinceDate(const core::Date& date) {
  const double since = date.timeIntervalSince1970();
  std::lock_guard lock(m_mutex);
  for (auto it = m_memory.begin(); it != m_memory.end();) {
    auto next = std::next(it);
    if (it->second.response->dateStored() >= since) removeFromMemory(it->first);
    it = next;
  }
  if (m_diskPath.empty()) return;
  loadDiskIndex();
  std::vector<std::string> names(m_diskUse.begin(), m_diskUse.end());
  for (const std::string& name : names) {
    std::string bytes;
    auto decoded = core::paths::readFile(filePathFor(name), bytes) ? decodeEntry(bytes) : std::nullopt;
    if (!decoded || decoded->response->dateStored() >= since) removeFromDisk(name);
  }
}

uint64_t URLCache::memoryCapacity() const {
  std::lock_guard lock(m_mutex);
  return m_memoryCapacity;
}

void URLCache::setMemoryCapacity(uint64_t bytes) {
  std::lock_guard lock(m_mutex);
  m_memoryCapacity = bytes;
  trimMemory();
}

uint64_t URLCache::diskCapacity() const {
  std::lock_guard lock(m_mutex);
  return m_diskCapacity;
}

void URLCache::setDiskCapacity(uint64_t bytes) {
  std::lock_guard lock(m_mutex);
  m_diskCapacity = bytes;
  if (m_diskLoaded) trimDisk();
}

uint64_t URLCache::currentMemoryUsage() const {
  std::lock_guard lock(m_mutex);
  return m_memoryUsage;
}

uint64_t URLCache::currentDiskUsage() const {
  std::lock_guard lock(m_mutex);
  const_cast<URLCache*>(this)->loadDiskIndex();
  return m_diskUsage;
}

// ---------------------------------------------------------------------------------------------
// Memory

uint64_t URLCache::sizeOf(const CachedURLResponse& response) {
  uint64_t size = response.data().size() + 64;
  if (const auto& head = response.response()) {
    size += head->url().absoluteString().size() + head->HTTPVersion().size();
    for (const auto& [name, value] : head->allHeaderFields()) size += name.size() + value.size() + 4;
  }
  return size;
}

void URLCache::storeInMemory(const std::string& key, std::shared_ptr<const CachedURLResponse> response) {
  uint64_t size = sizeOf(*response);
  if (size > m_memoryCapacity / 20) return;  // larger than 5% of the memory capacity
  removeFromMemory(key);
  m_memoryUse.push_front(key);
  m_memory[key] = MemoryEntry{std::move(response), size, m_memoryUse.begin()};
  m_memoryUsage += size;
  trimMemory();
}

void URLCache::removeFromMemory(const std::string& key) {
  auto it = m_memory.find(key);
  if (it == m_memory.end()) return;
  m_memoryUsage -= it->second.size;
  m_memoryUse.erase(it->second.use);
  m_memory.erase(it);
}

void URLCache::trimMemory() {
  while (m_memoryUsage > m_memoryCapacity && !m_memoryUse.empty()) removeFromMemory(m_memoryUse.back());
}

// ---------------------------------------------------------------------------------------------
// Disk

std::string URLCache::fileNameFor(const std::string& key) { return core::md5Hex(key) + kSuffix; }

std::string URLCache::filePathFor(const std::string& name) const { return m_diskPath + "/" + name; }

// Reads the folder once: the entries with their sizes, least recently used (oldest modification)
// last. Left-over temporary files are removed.
void URLCache::loadDiskIndex() {
  if (m_diskLoaded || m_diskPath.empty()) return;
  m_diskLoaded = true;
  if (!core::paths::makeDirectories(m_diskPath)) {
    KT_LOG("URL cache folder %s cannot be made", m_diskPath.c_str());
    return;
  }
  DIR* dir = ::opendir(m_diskPath.c_str());
  if (!dir) return;
  struct Found {
    std::string name;
    uint64_t size;
    struct timespec modified;
  };
  std::vector<Found> found;
  while (dirent* item = ::readdir(dir)) {
    std::string name = item->d_name;
    if (name == "." || name == "..") continue;
    std::string path = filePathFor(name);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    if (name.find(".tmp.") != std::string::npos) {
      ::unlink(path.c_str());
      continue;
    }
    if (!endsWith(name, kSuffix)) continue;
    found.push_back({name, static_cast<uint64_t>(st.st_size), st.st_mtim});
  }
  ::closedir(dir);
  std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
    if (a.modified.tv_sec != b.modified.tv_sec) return a.modified.tv_sec > b.modified.tv_sec;
    return a.modified.tv_nsec > b.modified.tv_nsec;
  });
  for (const Found& f : found) {
    m_diskUse.push_back(f.name);
    m_disk[f.name] = DiskEntry{f.size, std::prev(m_diskUse.end())};
    m_diskUsage += f.size;
  }
  trimDisk();
}

void URLCache::storeOnDisk(const std::string& key, const CachedURLResponse& response) {
  const std::string name = fileNameFor(key);
  std::string bytes = encodeEntry(key, response);
  removeFromDisk(name);
  if (bytes.size() > m_diskCapacity / 20) return;  // larger than 5% of the disk capacity
  // Atomic, so a reader sees the old entry or the new one; no flush to disk: a lost entry is only
  // a cache miss.
  if (!core::paths::writeFileAtomically(filePathFor(name), bytes, 0600, false)) {
    KT_LOG("URL cache entry %s cannot be written: %s", name.c_str(), std::strerror(errno));
    return;
  }
  m_diskUse.push_front(name);
  m_disk[name] = DiskEntry{bytes.size(), m_diskUse.begin()};
  m_diskUsage += bytes.size();
  trimDisk();
}

std::shared_ptr<const CachedURLResponse> URLCache::readFromDisk(const std::string& key) {
  const std::string name = fileNameFor(key);
  auto it = m_disk.find(name);
  if (it == m_disk.end()) return nullptr;
  const std::string path = filePathFor(name);
  std::string bytes;
  if (!core::paths::readFile(path, bytes)) {
    removeFromDisk(name);  // gone (another cache on the folder removed it)
    return nullptr;
  }
  auto decoded = decodeEntry(bytes);
  if (!decoded || decoded->key != key) {
    KT_LOG("URL cache entry %s is unreadable: removed", name.c_str());
    removeFromDisk(name);
    return nullptr;
  }
  // Used now: first in the order, here and (through the modification time) for the next reader.
  m_diskUse.splice(m_diskUse.begin(), m_diskUse, it->second.use);
  ::utimensat(AT_FDCWD, path.c_str(), nullptr, 0);
  return decoded->response;
}

void URLCache::removeFromDisk(const std::string& name) {
  ::unlink(filePathFor(name).c_str());
  auto it = m_disk.find(name);
  if (it == m_disk.end()) return;
  m_diskUsage -= it->second.size;
  m_diskUse.erase(it->second.use);
  m_disk.erase(it);
}

void URLCache::trimDisk() {
  while (m_diskUsage > m_diskCapacity && !m_diskUse.empty()) removeFromDisk(m_diskUse.back());
}

// ---------------------------------------------------------------------------------------------
// HTTP rules

std::optional<std::string> URLCache::keyForRequest(const URLRequest& request) {
  if (!request.url() || request.url()->isEmpty()) return std::nullopt;
  if (lowercase(request.HTTPMethod()) != "get") return std::nullopt;
  return request.url()->absoluteString();
}

bool URLCache::isCacheableStatus(int statusCode) {
  switch (statusCode) {
    case 200:
    case 203:
    case 300:
    case 301:
    case 410: return true;
    default: return false;
  }
}

std::optional<std::string> URLCache::cacheControlDirective(std::string_view cacheControl, std::string_view name) {
  const std::string wanted = lowercase(name);
  while (!cacheControl.empty()) {
    size_t comma = cacheControl.find(',');
    std::string_view item = trim(cacheControl.substr(0, comma));
    cacheControl = comma == std::string_view::npos ? std::string_view() : cacheControl.substr(comma + 1);
    size_t equals = item.find('=');
    if (lowercase(trim(item.substr(0, equals))) != wanted) continue;
    if (equals == std::string_view::npos) return std::string();
    std::string_view value = trim(item.substr(equals + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    return std::string(value);
  }
  return std::nullopt;
}

bool URLCache::mayStore(const URLRequest& request, const HTTPURLResponse& response) {
  if (!keyForRequest(request) || !isCacheableStatus(response.statusCode())) return false;
  if (auto cc = request.valueForHTTPHeaderField("Cache-Control"); cc && cacheControlDirective(*cc, "no-store")) return false;
  if (auto cc = response.valueForHTTPHeaderField("Cache-Control"); cc && cacheControlDirective(*cc, "no-store")) return false;
  return true;
}

double URLCache::freshnessLifetime(const HTTPURLResponse& response, double dateStored) {
  if (auto cc = response.valueForHTTPHeaderField("Cache-Control")) {
    if (auto maxAge = cacheControlDirective(*cc, "max-age")) {
      char* end = nullptr;
      double seconds = std::strtod(maxAge->c_str(), &end);
      return end && end != maxAge->c_str() && seconds > 0 ? seconds : 0;
    }
  }
  double date = dateStored;
  if (auto text = response.valueForHTTPHeaderField("Date")) {
    if (auto parsed = parseHTTPDate(*text)) date = *parsed;
  }
  if (auto expires = response.valueForHTTPHeaderField("Expires")) {
    auto parsed = parseHTTPDate(*expires);
    return parsed ? std::max(0.0, *parsed - date) : 0;  // an invalid Expires means "already expired"
  }
  if (auto modified = response.valueForHTTPHeaderField("Last-Modified")) {
    if (auto parsed = parseHTTPDate(*modified)) return std::max(0.0, (date - *parsed) / 10);
  }
  return 0;
}

bool URLCache::isFresh(const CachedURLResponse& cached, const URLRequest& request, double now) {
  const HTTPURLResponse& response = *cached.response();
  if (auto cc = request.valueForHTTPHeaderField("Cache-Control"); cc && cacheControlDirective(*cc, "no-cache")) return false;
  if (auto pragma = request.valueForHTTPHeaderField("Pragma"); pragma && lowercase(*pragma).find("no-cache") != std::string::npos) {
    return false;
  }
  if (auto cc = response.valueForHTTPHeaderField("Cache-Control"); cc && cacheControlDirective(*cc, "no-cache")) return false;
  double age = std::max(0.0, now - cached.dateStored());
  if (auto ageHeader = response.valueForHTTPHeaderField("Age")) age += std::max(0.0, std::strtod(ageHeader->c_str(), nullptr));
  return age < freshnessLifetime(response, cached.dateStored());
}

bool URLCache::canRevalidate(const CachedURLResponse& cached) {
  const auto& response = cached.response();
  return response && (response->valueForHTTPHeaderField("ETag") || response->valueForHTTPHeaderField("Last-Modified"));
}

std::optional<double> URLCache::parseHTTPDate(std::string_view text) {
  std::string s(trim(text));
  static const char* const formats[] = {
      "%a, %d %b %Y %H:%M:%S",  // Sun, 06 Nov 1994 08:49:37 GMT
      "%A, %d-%b-%y %H:%M:%S",  // Sunday, 06-Nov-94 08:49:37 GMT
      "%a %b %d %H:%M:%S %Y",   // Sun Nov  6 08:49:37 1994
  };
  for (const char* format : formats) {
    struct tm tm {};
    const char* end = ::strptime(s.c_str(), format, &tm);
    if (!end) continue;
    std::string_view rest = trim(end);
    if (!rest.empty() && rest != "GMT" && rest != "UTC") continue;
    return static_cast<double>(::timegm(&tm));
  }
  return std::nullopt;
}

}  // namespace net
