#include "link/DataStorage.h"

#include <filesystem>
#include <system_error>

#include "platform/core/Log.h"
#include "platform/core/Paths.h"
#include "platform/core/PropertyList.h"

namespace kt {

std::optional<std::string> DataStorage::documentPath(const std::string& name) {
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
      name.find('\0') != std::string::npos) {
    KT_LOG("refused a document name that is not a plain file name: \"%s\"", name.c_str());
    return std::nullopt;
  }
  std::string dir = core::paths::documentsDir();
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return dir + name;
}

bool DataStorage::createAStorageDocumentWithName(const std::string& name, const std::string& keyword,
                                                 const core::Value& data) {
  if (data.isNull()) {
    core::logLine("传过来的值为空，不予理睬");
    return false;
  }
  const std::optional<std::string> path = documentPath(name);
  if (!path) return false;
  core::Value::Dictionary entries;
  entries[keyword] = data;
  if (core::PropertyList::writeFile(*path, core::Value(std::move(entries)))) {
    core::logFormat("%s [Line %d]创建了一个plist,并写入成功", __func__, __LINE__);
    return true;
  }
  core::logFormat("%s [Line %d]😢😢😢😢😢，没有存入plist", __func__, __LINE__);
  return false;
}

std::optional<core::Value> DataStorage::checkAStorageDocumentWithName(const std::string& name,
                                                                      const std::string& keyword) {
  const std::optional<std::string> path = documentPath(name);
  if (!path) return std::nullopt;
  const std::optional<core::Value> document = core::PropertyList::readFile(*path);
  if (!document || !document->isDictionary() || !document->contains(keyword)) return std::nullopt;
  return (*document)[keyword];
}

bool DataStorage::modifyAStorageDocumentWithName(const std::string& name, const std::string& keyword,
                                                 const core::Value& data) {
  if (data.isNull()) return false;
  const std::optional<std::string> path = documentPath(name);
  if (!path) return false;
  std::optional<core::Value> document = core::PropertyList::readFile(*path);
  if (!document || !document->isDictionary()) return false;
  document->set(keyword, data);
  return core::PropertyList::writeFile(*path, *document);
}

bool DataStorage::deleteAStorageDocumentWithName(const std::string& name) {
  const std::optional<std::string> path = documentPath(name);
  std::error_code error;
  // remove() takes files and empty folders only, never a whole tree.
  if (path && std::filesystem::remove(*path, error)) {
    core::logFormat("删除了%s名称的文件", name.c_str());
    return true;
  }
  core::logFormat("%s [Line %d]😢没有删除plist", __func__, __LINE__);
  return false;
}

}  // namespace kt
