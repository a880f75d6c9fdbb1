#include "platform/core/Locale.h"

#include <algorithm>
#include <cstdlib>

namespace core {
namespace {

bool allOf(std::string_view s, bool (*pred)(char)) { return !s.empty() && std::all_of(s.begin(), s.end(), pred); }
bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
char lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }
char upper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }

}  // namespace

std::optional<std::string> languageTagFromLocale(std::string_view locale) {
  // "language[_territory][.codeset][@modifier]"; the codeset and modifier say nothing of the
  // language. Tags with "-" (and a script) are taken as well.
  locale = locale.substr(0, locale.find_first_of(".@"));
  if (locale == "C" || locale == "POSIX") return std::nullopt;

  std::string language, script, region;
  size_t start = 0;
  for (int index = 0; start <= locale.size(); ++index) {
    size_t end = std::min(locale.find_first_of("_-", start), locale.size());
    std::string_view part = locale.substr(start, end - start);
    start = end + 1;
    if (index == 0) {
      if (part.size() < 2 || part.size() > 3 || !allOf(part, isAlpha)) return std::nullopt;
      for (char c : part) language += lower(c);
    } else if (part.size() == 4 && allOf(part, isAlpha) && script.empty() && region.empty()) {
      script += upper(part[0]);
      for (char c : part.substr(1)) script += lower(c);
    } else if (((part.size() == 2 && allOf(part, isAlpha)) || (part.size() == 3 && allOf(part, isDigit))) &&
               region.empty()) {
      for (char c : part) region += upper(c);
    } else {
      return std::nullopt;
    }
  }
  if (language == "zh" && script.empty()) {
    script = (region == "TW" || region == "HK" || region == "MO") ? "Hant" : "Hans";
  }
  std::string tag = language;
  if (!script.empty()) tag += "-" + script;
  if (!region.empty()) tag += "-" + region;
  return tag;
}

std::vector<std::string> preferredLanguages() {
  std::vector<std::string> languages;
  auto add = [&](std::string_view locale) {
    auto tag = languageTagFromLocale(locale);
    if (tag && std::find(languages.begin(), languages.end(), *tag) == languages.end()) languages.push_back(*tag);
  };
  if (const char* list = std::getenv("LANGUAGE"); list && *list) {
    std::string_view rest = list;
    while (!rest.empty()) {
      size_t colon = std::min(rest.find(':'), rest.size());
      add(rest.substr(0, colon));
      rest.remove_prefix(std::min(colon + 1, rest.size()));
    }
  }
  if (languages.empty()) {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
      const char* value = std::getenv(name);
      if (!value || !*value) continue;
      add(value);
      break;
    }
  }
  if (languages.empty()) languages.push_back("en");
  return languages;
}

}  // namespace core
