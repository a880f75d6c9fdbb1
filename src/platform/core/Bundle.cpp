#include "platform/core/Bundle.h"

#include "platform/core/Log.h"
#include "platform/core/PropertyList.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace core {
namespace {

namespace fs = std::filesystem;

// Where resources may sit, in order of preference.
const char* const kSearchFolders[] = {"", "zh-Hans.lproj", "Base.lproj", "en.lproj"};

std::string join(const std::string& a, const std::string& b) {
  if (b.empty()) return a;
  if (a.empty() || a.back() == '/') return a + b;
  return a + "/" + b;
}

// The program's own folder, read once.
const std::string& programFolder() {
  // Never destroyed: resources are looked up on other threads while the process exits.
  static const auto* folder = new std::string([] {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : exe.parent_path().string();
  }());
  return *folder;
}

std::string mainResourcePath() {
  if (const char* env = std::getenv("KT_RESOURCES"); env && *env) return env;
  return Bundle::resourcePathForProgramIn(programFolder());
}

struct MainState {
  std::mutex mutex;
  std::vector<std::unique_ptr<Bundle>> all;  // earlier ones stay alive for old references
};

MainState& mainState() {
  static MainState* s = new MainState;  // never destroyed: used until exit
  return *s;
}

}  // namespace

const Bundle& Bundle::main() {
  std::string path = mainResourcePath();
  MainState& s = mainState();
  std::lock_guard lock(s.mutex);
  if (s.all.empty() || s.all.back()->bundlePath() != path) s.all.push_back(std::make_unique<Bundle>(path));
  return *s.all.back();
}

std::vector<std::string> Bundle::resourceFoldersForProgramIn(const std::string& folder) {
  std::error_code ec;
  auto canonical = [&](const std::string& path) {
    std::string resolved = fs::weakly_canonical(path, ec).string();
    return ec ? path : resolved;
  };
  // A build tree: the resources copied beside the program. Installed: <prefix>/bin/ktv_client
  // with <prefix>/share/ktv-client, wherever the prefix is.
  return {folder + "/resources", canonical(folder + "/../share/ktv-client"), canonical(folder + "/../resources")};
}

std::string Bundle::resourcePathForProgramIn(const std::string& folder) {
  const std::vector<std::string> folders = resourceFoldersForProgramIn(folder);
  std::error_code ec;
  for (const std::string& candidate : folders) {
    if (fs::is_directory(candidate, ec)) return candidate;
  }
  return folders.back();
}

std::vector<std::string> Bundle::mainResourceFolders() {
  if (const char* env = std::getenv("KT_RESOURCES"); env && *env) return {env};
  return resourceFoldersForProgramIn(programFolder());
}

Bundle::Bundle(std::string path) : m_path(std::move(path)) {
  while (m_path.size() > 1 && m_path.back() == '/') m_path.pop_back();
}

std::optional<Bundle> Bundle::withPath(const std::string& path) {
  std::error_code ec;
  if (!fs::is_directory(path, ec)) return std::nullopt;
  return Bundle(path);
}

Bundle& Bundle::operator=(const Bundle& other) {
  if (this != &other) {
    std::lock_guard lock(m_mutex);
    m_path = other.m_path;
    m_tables.clear();
    m_info.reset();
  }
  return *this;
}

std::optional<std::string> Bundle::pathForResource(const std::string& name, const std::string& type,
                                                   const std::string& subdirectory) const {
  std::string file = name;
  std::string ext = (!type.empty() && type[0] == '.') ? type.substr(1) : type;
  if (!ext.empty()) file += "." + ext;
  if (file.empty()) return std::nullopt;
  std::error_code ec;
  for (const char* folder : kSearchFolders) {
    std::string candidate = join(join(join(m_path, folder), subdirectory), file);
    if (fs::exists(candidate, ec)) return candidate;
  }
  return std::nullopt;
}

std::vector<std::string> Bundle::pathsForResourcesOfType(const std::string& type, const std::string& subdirectory) const {
  std::string ext = (!type.empty() && type[0] == '.') ? type.substr(1) : type;
  std::vector<std::string> found;
  std::error_code ec;
  for (fs::directory_iterator it(join(m_path, subdirectory), ec), end; !ec && it != end; it.increment(ec)) {
    std::string file = it->path().filename().string();
    if (ext.empty() || it->path().extension() == "." + ext) found.push_back(it->path().string());
  }
  std::sort(found.begin(), found.end());
  return found;
}

// A string table merged from every search folder; earlier folders win.
const Value& Bundle::table(const std::string& name) const {
  std::lock_guard lock(m_mutex);
  auto it = m_tables.find(name);
  if (it != m_tables.end()) return it->second;
  Value merged{Value::Dictionary{}};
  std::error_code ec;
  for (const char* folder : kSearchFolders) {
    std::string path = join(join(m_path, folder), name + ".strings");
    if (!fs::exists(path, ec)) continue;
    Error error;
    auto t = PropertyList::readStringsFile(path, &error);
    if (!t) {
      KT_LOG("string table %s cannot be read: %s", path.c_str(), error.localizedDescription().c_str());
      continue;
    }
    for (const auto& [key, value] : *t->asDictionary()) {
      if (!merged.contains(key)) merged.set(key, value);
    }
  }
  return m_tables.emplace(name, std::move(merged)).first->second;
}

std::string Bundle::localizedString(const std::string& key, const std::string& fallback, const std::string& table) const {
  if (const std::string* text = this->table(table.empty() ? "Localizable" : table)[key].asString()) return *text;
  return fallback.empty() ? key : fallback;
}

Value Bundle::infoValue(const std::string& key) const {
  std::lock_guard lock(m_mutex);
  if (!m_info) {
    std::string path = join(m_path, "Info.plist");
    std::error_code ec;
    Error error;
    std::optional<Value> info;
    if (fs::exists(path, ec)) {
      info = PropertyList::readFile(path, &error);
      if (!info) KT_LOG("%s cannot be read: %s", path.c_str(), error.localizedDescription().c_str());
    }
    m_info = info ? *info : Value();
  }
  return (*m_info)[key];
}

std::string Bundle::bundleIdentifier() const {
  Value id = infoValue(BundleIdentifierKey);
  const std::string* text = id.asString();
  return text ? *text : std::string();
}

}  // namespace core
