#include "http/HCQueryStringPair.h"

#include "platform/net/URL.h"

#include <algorithm>

namespace kt {

std::string escapeQueryComponent(std::string_view text) {
  // Percent-encoding works character by character on whole UTF-8 sequences, so encoding the
  // text in one piece gives the same bytes as encoding it in chunks of whole characters.
  return net::percentEncode(text, net::queryComponentAllowedCharacters());
}

std::string HCQueryStringPair::URLEncodedStringValue() const {
  std::string field = escapeQueryComponent(m_field ? *m_field : std::string("(null)"));
  if (m_value.isNull()) return field;
  return field + "=" + escapeQueryComponent(m_value.description());
}

namespace {

void collectPairs(const std::optional<std::string>& key, const core::Value& value,
                  std::vector<HCQueryStringPair>& out) {
  if (const auto* dictionary = value.asDictionary()) {
    // Keys sorted by their text with a plain byte-wise comparison: "10" before "9", "Z" before "a".
    std::vector<const std::string*> keys;
    keys.reserve(dictionary->size());
    for (const auto& [k, v] : *dictionary) keys.push_back(&k);
    std::sort(keys.begin(), keys.end(), [](const std::string* a, const std::string* b) { return *a < *b; });
    for (const std::string* k : keys) {
      std::string field = key ? *key + "[" + *k + "]" : *k;
      collectPairs(field, dictionary->at(*k), out);
    }
  } else if (const auto* array = value.asArray()) {
    std::string field = (key ? *key : std::string("(null)")) + "[]";
    for (const auto& element : *array) collectPairs(field, element, out);
  } else {
    out.emplace_back(key, value);
  }
}

}  // namespace

std::vector<HCQueryStringPair> queryStringPairsForKeyAndValue(const std::optional<std::string>& key,
                                                              const core::Value& value) {
  std::vector<HCQueryStringPair> pairs;
  collectPairs(key, value, pairs);
  return pairs;
}

std::string queryStringFromParameters(const core::Value& parameters) {
  std::string query;
  bool first = true;
  for (const auto& pair : queryStringPairsForKeyAndValue(std::nullopt, parameters)) {
    if (!first) query += '&';
    first = false;
    query += pair.URLEncodedStringValue();
  }
  return query;
}

}  // namespace kt
