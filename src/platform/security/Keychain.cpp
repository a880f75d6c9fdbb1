#include "platform/security/Keychain.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>

#include "platform/core/Log.h"
#include "platform/core/Paths.h"
#include "platform/core/TextEncoding.h"

namespace security {
namespace {

using nlohmann::json;

constexpr const char* kGenericPassword = "genp";
constexpr const char* kFormatName = "ktv-keychain";
constexpr int kFormatVersion = 1;
constexpr unsigned kFileMode = 0600;

// ---- base64 (standard alphabet, padded; decoding is strict) ----

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string base64Encode(const std::string& in) {
  std::string out;
  out.reserve((in.size() + 2) / 3 * 4);
  size_t i = 0;
  const auto* p = reinterpret_cast<const unsigned char*>(in.data());
  for (; i + 3 <= in.size(); i += 3) {
    const uint32_t v = (p[i] << 16) | (p[i + 1] << 8) | p[i + 2];
    out += kBase64[v >> 18];
    out += kBase64[(v >> 12) & 63];
    out += kBase64[(v >> 6) & 63];
    out += kBase64[v & 63];
  }
  const size_t rest = in.size() - i;
  if (rest) {
    const uint32_t v = (p[i] << 16) | (rest == 2 ? p[i + 1] << 8 : 0);
    out += kBase64[v >> 18];
    out += kBase64[(v >> 12) & 63];
    out += rest == 2 ? kBase64[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

int base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

std::optional<std::string> base64Decode(const std::string& in) {
  if (in.size() % 4 != 0) return std::nullopt;
  std::string out;
  out.reserve(in.size() / 4 * 3);
  for (size_t i = 0; i < in.size(); i += 4) {
    const bool last = i + 4 == in.size();
    int v[4];
    int pad = 0;
    for (int k = 0; k < 4; ++k) {
      const char c = in[i + k];
      if (c == '=' && last && k >= 2) {
        v[k] = 0;
        ++pad;
        continue;
      }
      if (pad) return std::nullopt;  // data after padding
      v[k] = base64Value(c);
      if (v[k] < 0) return std::nullopt;
    }
    const uint32_t w = (v[0] << 18) | (v[1] << 12) | (v[2] << 6) | v[3];
    out += static_cast<char>(w >> 16);
    if (pad < 2) out += static_cast<char>((w >> 8) & 0xFF);
    if (pad < 1) out += static_cast<char>(w & 0xFF);
  }
  return out;
}

// ---- the file format: {"format": "ktv-keychain", "version": 1, "items": [{...}, ...]} ----
// Text attributes are JSON strings when they are UTF-8, else {"base64": "..."}; the generic
// attribute and the data are always base64.

struct TextField {
  const char* key;
  std::optional<std::string> Attributes::*member;
};

constexpr TextField kTextFields[] = {
    {"description", &Attributes::description}, {"account", &Attributes::account},
    {"label", &Attributes::label},             {"accessGroup", &Attributes::accessGroup},
    {"service", &Attributes::service},
};

json encodeText(const std::string& text) {
  if (core::isValidUtf8(text)) return json(text);
  return json{{"base64", base64Encode(text)}};
}

std::optional<std::string> decodeText(const json& value) {
  if (value.is_string()) return value.get<std::string>();
  if (value.is_object() && value.size() == 1) {
    auto it = value.find("base64");
    if (it != value.end() && it->is_string()) return base64Decode(it->get<std::string>());
  }
  return std::nullopt;
}

std::optional<std::string> decodeBase64Field(const json& value) {
  if (!value.is_string()) return std::nullopt;
  return base64Decode(value.get<std::string>());
}

std::string encodeStore(const std::vector<Item>& items) {
  json list = json::array();
  for (const Item& item : items) {
    json entry = json::object();
    entry["class"] = kGenericPassword;
    for (const TextField& f : kTextFields) {
      const auto& v = item.attributes.*f.member;
      if (v) entry[f.key] = encodeText(*v);
    }
    if (item.attributes.generic) entry["generic"] = base64Encode(*item.attributes.generic);
    entry["data"] = base64Encode(item.data);
    list.push_back(std::move(entry));
  }
  json root = {{"format", kFormatName}, {"version", kFormatVersion}, {"items", std::move(list)}};
  return root.dump(1) + "\n";
}

// Parses the store; nullopt when it is not a store this code understands.
std::optional<std::vector<Item>> decodeStore(const std::string& bytes) {
  const json root = json::parse(bytes, nullptr, false);
  if (root.is_discarded() || !root.is_object()) return std::nullopt;
  auto format = root.find("format");
  auto version = root.find("version");
  auto list = root.find("items");
  if (format == root.end() || !format->is_string() || format->get<std::string>() != kFormatName) return std::nullopt;
  if (version == root.end() || !version->is_number_integer() || version->get<int64_t>() != kFormatVersion) {
    return std::nullopt;
  }
  if (list == root.end() || !list->is_array()) return std::nullopt;
  std::vector<Item> items;
  items.reserve(list->size());
  for (const json& entry : *list) {
    if (!entry.is_object()) return std::nullopt;
    Item item;
    auto cls = entry.find("class");
    if (cls == entry.end() || !cls->is_string() || cls->get<std::string>() != kGenericPassword) return std::nullopt;
    item.attributes.itemClass = kGenericPassword;
    for (const TextField& f : kTextFields) {
      auto it = entry.find(f.key);
      if (it == entry.end()) continue;
      auto text = decodeText(*it);
      if (!text) return std::nullopt;
      item.attributes.*f.member = std::move(*text);
    }
    if (auto it = entry.find("generic"); it != entry.end()) {
      auto generic = decodeBase64Field(*it);
      if (!generic) return std::nullopt;
      item.attributes.generic = std::move(*generic);
    }
    auto data = entry.find("data");
    if (data == entry.end()) return std::nullopt;
    auto bytesOfData = decodeBase64Field(*data);
    if (!bytesOfData) return std::nullopt;
    item.data = std::move(*bytesOfData);
    items.push_back(std::move(item));
  }
  return items;
}

// ---- file access ----

// An exclusive lock on "<store>.lock" for the life of the object (shared by threads and processes).
class StoreLock {
 public:
  explicit StoreLock(const std::string& storePath) {
    const std::string lockPath = storePath + ".lock";
    m_fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kFileMode);
    if (m_fd < 0 && errno == ENOENT) {
      // First use of a store whose folder does not exist yet.
      const size_t slash = storePath.rfind('/');
      if (slash != std::string::npos && slash > 0) core::paths::makeDirectories(storePath.substr(0, slash));
      m_fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kFileMode);
    }
    if (m_fd < 0) {
      KT_LOG("cannot open %s: %s", lockPath.c_str(), std::strerror(errno));
      return;
    }
    ::fchmod(m_fd, kFileMode);
    while (::flock(m_fd, LOCK_EX) != 0) {
      if (errno == EINTR) continue;
      KT_LOG("cannot lock %s: %s", lockPath.c_str(), std::strerror(errno));
      ::close(m_fd);
      m_fd = -1;
      return;
    }
  }
  ~StoreLock() {
    if (m_fd >= 0) ::close(m_fd);  // closing releases the lock
  }
  StoreLock(const StoreLock&) = delete;
  StoreLock& operator=(const StoreLock&) = delete;

  bool held() const { return m_fd >= 0; }

 private:
  int m_fd = -1;
};

// Reads the store: a missing file is an empty store; a file that does not parse is Decode and
// is left as it is, so that no item in it is lost by a later write.
Status load(const std::string& path, std::vector<Item>& items) {
  items.clear();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return Success;
    KT_LOG("cannot open %s: %s", path.c_str(), std::strerror(errno));
    return IO;
  }
  std::string bytes;
  char buffer[16384];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      KT_LOG("cannot read %s: %s", path.c_str(), std::strerror(errno));
      ::close(fd);
      return IO;
    }
    if (n == 0) break;
    bytes.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  if (bytes.empty()) return Success;  // nothing in it to lose
  auto decoded = decodeStore(bytes);
  if (!decoded) {
    KT_LOG("keychain store %s is corrupt (%zu bytes); left untouched", path.c_str(), bytes.size());
    return Decode;
  }
  items = std::move(*decoded);
  return Success;
}

Status save(const std::string& path, const std::vector<Item>& items) {
  if (!core::paths::writeFileAtomically(path, encodeStore(items), kFileMode)) {
    KT_LOG("cannot write %s: %s", path.c_str(), std::strerror(errno));
    return IO;
  }
  return Success;
}

// ---- matching ----

bool equalsIgnoringAsciiCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

const std::string& orEmpty(const std::optional<std::string>& v) {
  static const std::string* empty = new std::string;  // never destroyed: read on any thread
  return v ? *v : *empty;
}

bool matches(const Query& query, const Item& item) {
  const Attributes& want = query.match;
  for (const TextField& f : kTextFields) {
    const auto& w = want.*f.member;
    if (!w) continue;
    const std::string& have = orEmpty(item.attributes.*f.member);
    if (query.caseInsensitive ? !equalsIgnoringAsciiCase(*w, have) : *w != have) return false;
  }
  if (want.generic && *want.generic != orEmpty(item.attributes.generic)) return false;
  return true;
}

bool sameKey(const Item& a, const Item& b) {
  return orEmpty(a.attributes.account) == orEmpty(b.attributes.account) &&
         orEmpty(a.attributes.service) == orEmpty(b.attributes.service) &&
         orEmpty(a.attributes.accessGroup) == orEmpty(b.attributes.accessGroup);
}

bool queryClassSupported(const Query& query) {
  return !query.match.itemClass || *query.match.itemClass == kGenericPassword;
}

// Runs one operation on the stored items with the store locked and loaded.
Status withStore(const std::string& path, const std::function<Status(std::vector<Item>&)>& operation) {
  StoreLock lock(path);
  if (!lock.held()) return IO;
  std::vector<Item> items;
  if (Status s = load(path, items); s != Success) return s;
  return operation(items);
}

// Hands every item the query matches to visit (only the first with limitOne). False when none does.
bool forEachMatch(const Query& query, std::vector<Item>& items, const std::function<void(Item&)>& visit) {
  bool found = false;
  for (Item& item : items) {
    if (!matches(query, item)) continue;
    found = true;
    visit(item);
    if (query.limitOne) break;
  }
  return found;
}

}  // namespace

Keychain& Keychain::shared() {
  static std::mutex mutex;
  // Every store handed out stays alive: callers keep references.
  static auto* stores = new std::map<std::string, std::unique_ptr<Keychain>>;
  const std::string path = core::paths::dataDir() + "/keychain.db";
  std::lock_guard lock(mutex);
  auto& slot = (*stores)[path];
  if (!slot) slot = std::make_unique<Keychain>(path);
  return *slot;
}

Keychain::Keychain(std::string path) : m_path(std::move(path)) {}

Status Keychain::add(const Item& item) {
  if (!item.attributes.itemClass) return Param;
  if (*item.attributes.itemClass != kGenericPassword) return Unimplemented;
  return withStore(m_path, [&](std::vector<Item>& items) {
    for (const Item& existing : items) {
      if (sameKey(existing, item)) return DuplicateItem;
    }
    items.push_back(item);
    items.back().attributes.itemClass = kGenericPassword;
    return save(m_path, items);
  });
}

Status Keychain::copyMatching(const Query& query, std::vector<Item>* out) {
  if (out) out->clear();
  if (!queryClassSupported(query)) return Unimplemented;
  return withStore(m_path, [&](std::vector<Item>& items) {
    const bool found = forEachMatch(query, items, [&](Item& item) {
      if (out) out->push_back(std::move(item));
    });
    return found ? Success : ItemNotFound;
  });
}

Status Keychain::update(const Query& query, const Attributes& changes, const std::optional<std::string>& newData) {
  if (!queryClassSupported(query)) return Unimplemented;
  if (changes.itemClass && *changes.itemClass != kGenericPassword) return Param;
  return withStore(m_path, [&](std::vector<Item>& items) {
    const bool found = forEachMatch(query, items, [&](Item& item) {
      for (const TextField& f : kTextFields) {
        if (changes.*f.member) item.attributes.*f.member = changes.*f.member;
      }
      if (changes.generic) item.attributes.generic = changes.generic;
      if (newData) item.data = *newData;
    });
    if (!found) return ItemNotFound;
    for (size_t i = 0; i < items.size(); ++i) {
      for (size_t j = i + 1; j < items.size(); ++j) {
        if (sameKey(items[i], items[j])) return DuplicateItem;
      }
    }
    return save(m_path, items);
  });
}

Status Keychain::remove(const Query& query) {
  if (!queryClassSupported(query)) return Unimplemented;
  return withStore(m_path, [&](std::vector<Item>& items) {
    const size_t before = items.size();
    std::erase_if(items, [&](const Item& item) { return matches(query, item); });
    if (items.size() == before) return ItemNotFound;
    return save(m_path, items);
  });
}

}  // namespace security
