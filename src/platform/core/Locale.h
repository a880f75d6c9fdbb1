#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace core {

// The user's languages as language tags, most preferred first: "en-US", "zh-Hans-CN", "fr".
// Read from the environment as the C library reads it for messages: the colon-separated list in
// LANGUAGE, else the first of LC_ALL, LC_MESSAGES and LANG that is set. Read afresh at each call;
// ["en"] when nothing usable is set.
std::vector<std::string> preferredLanguages();

// One locale name as a language tag: "zh_CN.UTF-8" -> "zh-Hans-CN", "zh_TW" -> "zh-Hant-TW",
// "en_US.UTF-8" -> "en-US", "de" -> "de". Chinese gets its script (traditional characters for
// Taiwan, Hong Kong and Macao, simplified otherwise) unless the name gives one. nullopt for the
// C and POSIX locales and for names that are not locale names.
std::optional<std::string> languageTagFromLocale(std::string_view locale);

}  // namespace core
