#pragma once

#include "platform/core/Value.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace core {

// Settings: a persistent domain kept in a property-list file, over a registration domain of
// defaults that lives in memory only.
//
// Every change is written through at once (atomically), so the file always holds the latest
// settings and nothing is lost if the program stops without warning; synchronize() only retries
// a write that failed. A write that fails is said when writing starts to fail (the first time in
// the program for its file on standard error too), not at every change after it. A missing or unreadable file
// gives an empty persistent domain; an unreadable one is logged and replaced by the next write.
class UserDefaults {
 public:
  // The settings of the program: "<configDir>/defaults.plist". Opened again when the config
  // folder has changed since it was opened (each test's fresh home gets fresh settings). A
  // reference stays valid for the life of the program even after a re-open.
  static UserDefaults& standard();
  // Makes the next standard() read its file again.
  static void resetStandard();

  // Settings kept in the given property-list file.
  explicit UserDefaults(std::string path);
  UserDefaults(const UserDefaults&) = delete;
  UserDefaults& operator=(const UserDefaults&) = delete;

  const std::string& path() const { return m_path; }

  // Merges the entries of a dictionary over earlier registrations; never written to the file.
  void registerDefaults(const Value& dictionary);

  // The argument domain: "-Key value" pairs of the program's command line, for the whole process,
  // above every other domain and never written to the file (so a run can point the client at
  // another server without touching its settings). Other arguments are ignored.
  static void setArguments(int argc, const char* const* argv);

  // The argument value, else the persistent one, else the registered one, else null.
  Value objectForKey(const std::string& key) const;
  // Strings as they are, numbers and bools as their text form; other kinds or absent: nullopt.
  std::optional<std::string> stringForKey(const std::string& key) const;
  // Number rules of core::Value (strings are parsed); absent values give 0 / false.
  int64_t integerForKey(const std::string& key) const;
  double doubleForKey(const std::string& key) const;
  bool boolForKey(const std::string& key) const;
  Value arrayForKey(const std::string& key) const;       // null unless an array
  Value dictionaryForKey(const std::string& key) const;  // null unless a dictionary

  // Stores a value (null removes the key). A value that has no property-list form (one that
  // holds null, text that is not UTF-8, a date outside the years 0000-9999) is refused and logged,
  // and the stored settings stay as they were.
  void setObject(const std::string& key, const Value& value);
  void setString(const std::string& key, const std::string& value) { setObject(key, Value(value)); }
  void setInteger(const std::string& key, int64_t value) { setObject(key, Value(value)); }
  void setDouble(const std::string& key, double value) { setObject(key, Value(value)); }
  void setBool(const std::string& key, bool value) { setObject(key, Value(value)); }
  void removeObjectForKey(const std::string& key) { setObject(key, Value()); }

  // The registered values with the persistent ones over them.
  Value dictionaryRepresentation() const;

  // Writes pending changes; true when the file holds the current settings.
  bool synchronize();

 private:
  void load();
  bool writeLocked();

  std::string m_path;
  mutable std::mutex m_mutex;
  Value::Dictionary m_persistent;
  Value::Dictionary m_registered;
  bool m_dirty = false;
  bool m_writeFailing = false;  // the last write failed (said once, until one succeeds)
};

}  // namespace core
