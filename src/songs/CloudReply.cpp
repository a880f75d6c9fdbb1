#include "songs/CloudReply.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace kt {

std::string CloudReply::text(const core::Value& object, const std::string& key) {
  const core::Value::Dictionary* dictionary = object.asDictionary();
  if (!dictionary) return core::describe(nullptr);
  auto it = dictionary->find(key);
  return it == dictionary->end() ? core::describe(nullptr) : it->second.description();
}

std::string CloudReply::text(const std::optional<core::Value>& object, const std::string& key) {
  return object ? text(*object, key) : core::describe(nullptr);
}

std::optional<std::string> CloudReply::filledText(const core::Value& object, const std::string& key) {
  const core::Value& value = object[key];  // null when object is no dictionary or lacks the key
  if (!value.isString() && !value.isInteger() && !value.isReal()) return std::nullopt;
  std::string result = value.description();
  if (result.empty()) return std::nullopt;
  return result;
}

bool CloudReply::isSuccess(const std::optional<core::Value>& reply) { return code(reply) == "1"; }

std::string CloudReply::code(const std::optional<core::Value>& reply) { return text(reply, "code"); }

const core::Value& CloudReply::object(const core::Value& object, const std::string& key) {
  const core::Value& value = object[key];  // null when object is no dictionary or lacks the key
  return value.isDictionary() ? value : core::Value::null();
}

std::vector<core::Value> CloudReply::rows(const core::Value& object, const std::string& key) {
  std::vector<core::Value> result;
  const core::Value::Array* array = object[key].asArray();
  if (!array) return result;
  result.reserve(array->size());
  for (const core::Value& element : *array) {
    if (element.isDictionary()) result.push_back(element);
  }
  return result;
}

std::vector<core::Value> CloudReply::rows(const std::optional<core::Value>& object, const std::string& key) {
  return object ? rows(*object, key) : std::vector<core::Value>{};
}

int CloudReply::count(const std::optional<core::Value>& object, const std::string& key) {
  if (!object) return 0;
  const core::Value::Array* array = (*object)[key].asArray();
  if (!array) return 0;
  return static_cast<int>(std::min<size_t>(array->size(), std::numeric_limits<int32_t>::max()));
}

std::vector<core::Value> CloudReply::bannerItems(const std::optional<core::Value>& reply) {
  if (!reply) return {};
  return rows(object(*reply, "data"), "bannerclass");
}

std::vector<core::Value> CloudReply::bannerSongs(const std::optional<core::Value>& reply) {
  if (!reply) return {};
  return rows(object(*reply, "result"), "matches");
}

std::string CloudReply::firstName(const std::string& singer) {
  size_t comma = singer.find(',');
  return comma == std::string::npos ? singer : singer.substr(0, comma);
}

}  // namespace kt
