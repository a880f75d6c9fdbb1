#include "platform/core/UserDefaults.h"

#include "platform/core/Log.h"
#include "platform/core/Paths.h"
#include "platform/core/PropertyList.h"
#include "platform/core/SaidOnce.h"

#include <unistd.h>

#include <memory>
#include <optional>
#include <vector>

namespace core {
namespace {

constexpr const char* kFileName = "defaults.plist";

struct StandardState {
  std::mutex mutex;
  std::string configDir;
  UserDefaults* current = nullptr;
  // Replaced instances stay alive: callers may still hold references to them.
  std::vector<std::unique_ptr<UserDefaults>> all;
};

struct ArgumentDomain {
  std::mutex mutex;
  Value::Dictionary values;
};

ArgumentDomain& argumentDomain() {
  static ArgumentDomain* d = new ArgumentDomain;  // never destroyed: read until exit
  return *d;
}

std::optional<Value> argumentValue(const std::string& key) {
  ArgumentDomain& d = argumentDomain();
  std::lock_guard lock(d.mutex);
  auto it = d.values.find(key);
  if (it == d.values.end()) return std::nullopt;
  return it->second;
}

// Whether no write of this settings file has failed before in the program.
bool firstFailureOf(const std::string& path) {
  static SaidOnce* failed = new SaidOnce;  // never destroyed: asked until the process ends
  return failed->first(path);
}

StandardState& standardState() {
  static StandardState* s = new StandardState;  // never destroyed: used until exit
  return *s;
}

}  // namespace

UserDefaults& UserDefaults::standard() {
  StandardState& s = standardState();
  std::string dir = paths::configDir();
  std::lock_guard lock(s.mutex);
  if (!s.current || dir != s.configDir) {
    s.all.push_back(std::make_unique<UserDefaults>(dir + "/" + kFileName));
    s.current = s.all.back().get();
    s.configDir = dir;
  }
  return *s.current;
}

void UserDefaults::resetStandard() {
  StandardState& s = standardState();
  std::lock_guard lock(s.mutex);
  s.current = nullptr;
}

UserDefaults::UserDefaults(std::string path) : m_path(std::move(path)) { load(); }

void UserDefaults::load() {
  if (::access(m_path.c_str(), F_OK) != 0) return;  // first run: nothing stored yet
  Error error;
  auto value = PropertyList::readFile(m_path, &error);
  if (!value) {
    KT_LOG("settings file %s cannot be read, starting empty: %s", m_path.c_str(), error.localizedDescription().c_str());
    return;
  }
  if (!value->isDictionary()) {
    KT_LOG("settings file %s does not hold a dictionary, starting empty", m_path.c_str());
    return;
  }
  m_persistent = *value->asDictionary();
}

void UserDefaults::registerDefaults(const Value& dictionary) {
  const auto* d = dictionary.asDictionary();
  if (!d) {
    KT_LOG("registered defaults must be a dictionary");
    return;
  }
  std::lock_guard lock(m_mutex);
  for (const auto& [key, value] : *d) m_registered[key] = value;
}

void UserDefaults::setArguments(int argc, const char* const* argv) {
  ArgumentDomain& d = argumentDomain();
  std::lock_guard lock(d.mutex);
  d.values.clear();
  for (int i = 1; i + 1 < argc; ++i) {
    const std::string key = argv[i] ? argv[i] : "";
    if (key.size() < 2 || key[0] != '-' || key[1] == '-') continue;
    d.values[key.substr(1)] = Value(std::string(argv[i + 1] ? argv[i + 1] : ""));
    ++i;
  }
}

Value UserDefaults::objectForKey(const std::string& key) const {
  if (std::optional<Value> argument = argumentValue(key)) return *argument;
  std::lock_guard lock(m_mutex);
  if (auto it = m_persistent.find(key); it != m_persistent.end()) return it->second;
  if (auto it = m_registered.find(key); it != m_registered.end()) return it->second;
  return Value();
}

std::optional<std::string> UserDefaults::stringForKey(const std::string& key) const {
  Value v = objectForKey(key);
  if (v.isString() || v.isNumber()) return v.stringValue();
  return std::nullopt;
}

int64_t UserDefaults::integerForKey(const std::string& key) const { return objectForKey(key).integerValue(); }

double UserDefaults::doubleForKey(const std::string& key) const { return objectForKey(key).doubleValue(); }

bool UserDefaults::boolForKey(const std::string& key) const { return objectForKey(key).boolValue(); }

Value UserDefaults::arrayForKey(const std::string& key) const {
  Value v = objectForKey(key);
  return v.isArray() ? v : Value();
}

Value UserDefaults::dictionaryForKey(const std::string& key) const {
  Value v = objectForKey(key);
  return v.isDictionary() ? v : Value();
}

void UserDefaults::setObject(const std::string& key, const Value& value) {
  // Only a value the file can hold is taken: one kept in memory that the writer refuses would
  // make every later write fail, and the changes after it would be lost at the next start.
  Error error;
  if (!value.isNull() && !PropertyList::serialize(value, &error)) {
    KT_LOG("value for \"%s\" cannot be stored: %s", key.c_str(), error.localizedDescription().c_str());
    return;
  }
  std::lock_guard lock(m_mutex);
  if (value.isNull()) {
    if (m_persistent.erase(key) == 0) return;
  } else {
    auto it = m_persistent.find(key);
    if (it != m_persistent.end() && it->second == value) return;
    m_persistent[key] = value;
  }
  m_dirty = true;
  writeLocked();
}

Value UserDefaults::dictionaryRepresentation() const {
  std::lock_guard lock(m_mutex);
  Value::Dictionary all = m_registered;
  for (const auto& [key, value] : m_persistent) all[key] = value;
  {
    ArgumentDomain& d = argumentDomain();
    std::lock_guard argumentsLock(d.mutex);
    for (const auto& [key, value] : d.values) all[key] = value;
  }
  return Value(std::move(all));
}

bool UserDefaults::synchronize() {
  std::lock_guard lock(m_mutex);
  return !m_dirty || writeLocked();
}

// Called with m_mutex held, so writes of one instance happen one at a time and in order.
bool UserDefaults::writeLocked() {
  Error error;
  if (auto slash = m_path.rfind('/'); slash != std::string::npos && slash > 0) {
    paths::makeDirectories(m_path.substr(0, slash));
  }
  if (!PropertyList::writeFile(m_path, Value(m_persistent), &error)) {
    // Said when writing starts to fail, not at every change after it (a binding changes several
    // settings at once); and on standard error the first time for the file, since whoever runs
    // the program must learn that its settings will not outlive it.
    if (!m_writeFailing) {
      m_writeFailing = true;
      const std::string line = "Settings cannot be written to " + m_path + " (" + error.localizedDescription() +
                               "); changes to them last only until the program stops.";
      if (firstFailureOf(m_path)) logNotice(line);
      else logLine(line);
    }
    return false;
  }
  if (m_writeFailing) {
    m_writeFailing = false;
    KT_LOG("settings written to %s again", m_path.c_str());
  }
  m_dirty = false;
  return true;
}

}  // namespace core
