#pragma once

#include "platform/core/Value.h"

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace core {

// A folder of resources: the program's own (the main bundle) or a bundle folder inside it such
// as "Settings.bundle". Resources are looked up in the folder itself, then in its
// "zh-Hans.lproj", "Base.lproj" and "en.lproj" subfolders.
class Bundle {
 public:
  // The program's resources: $KT_RESOURCES when set, else resourcePathForProgramIn() the running
  // program's folder. Follows KT_RESOURCES when it changes; a returned reference stays valid for
  // the life of the program.
  static const Bundle& main();
  // The resources of a program in `folder`: the first of resourceFoldersForProgramIn() that is a
  // folder, else the last of them.
  static std::string resourcePathForProgramIn(const std::string& folder);
  // Where a program in `folder` looks for its resources, in order: "resources" beside it (a build
  // tree), "../share/ktv-client" from there (installed), "../resources".
  static std::vector<std::string> resourceFoldersForProgramIn(const std::string& folder);
  // Where main() looks: $KT_RESOURCES alone when it is set, else the folders for the running
  // program's folder. For saying where resources were looked for when they are missing.
  static std::vector<std::string> mainResourceFolders();

  explicit Bundle(std::string path);
  // nullopt when the path is not a folder.
  static std::optional<Bundle> withPath(const std::string& path);

  Bundle(const Bundle& other) : m_path(other.m_path) {}
  Bundle& operator=(const Bundle& other);

  const std::string& bundlePath() const { return m_path; }
  const std::string& resourcePath() const { return m_path; }

  // The path of an existing resource "name.type" (type may be empty, or already in the name; a
  // leading "." of the type is ignored), optionally inside a subfolder.
  std::optional<std::string> pathForResource(const std::string& name, const std::string& type,
                                             const std::string& subdirectory = "") const;
  // The paths of the entries of a subfolder whose extension is the type (every entry when the
  // type is empty), sorted by name.
  std::vector<std::string> pathsForResourcesOfType(const std::string& type, const std::string& subdirectory = "") const;

  // The text for a key in "<table>.strings"; the fallback when it is missing there, or the key
  // itself when the fallback is empty.
  std::string localizedString(const std::string& key, const std::string& fallback,
                              const std::string& table = "Localizable") const;

  // A value of "Info.plist" (null when absent) and its "BundleIdentifier" text.
  Value infoValue(const std::string& key) const;
  std::string bundleIdentifier() const;

  static constexpr const char* BundleIdentifierKey = "BundleIdentifier";

 private:
  const Value& table(const std::string& name) const;

  std::string m_path;
  // Loaded on first use and kept.
  mutable std::mutex m_mutex;
  mutable std::map<std::string, Value> m_tables;
  mutable std::optional<Value> m_info;
};

}  // namespace core
