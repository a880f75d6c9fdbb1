#pragma once

#include <memory>
#include <optional>
#include <string>

namespace core {
class Bundle;
}
namespace gfx {
class Image;
}

// The resources of the refresh family: the bundle "PRRefresh.bundle" among the program's
// resources, with its arrow picture and its string tables in "en", "zh-Hans" and "zh-Hant".
namespace kt {

// Found once and kept; looked for again only while it has not been found. Null when missing.
const core::Bundle* pr_refreshBundle();

// "arrow@2x.png" of the bundle, loaded once (again only while missing). The family draws it in
// the colour of its texts.
std::shared_ptr<gfx::Image> pr_arrowImage();

// The family's text for a key in the language chosen for the process (see below), unless the
// program's own strings table has the key, which wins. A key that neither has comes back as the
// value, or as the key itself when the value is empty.
//
// The language is chosen at the first lookup from the first preferred language: "en..." gives
// "en", "zh..." gives "zh-Hans" when it names the simplified script and "zh-Hant" otherwise, and
// any other language "en". The choice holds for the life of the process once its table was found.
std::string pr_localizedStringForKey(const std::string& key, const std::string& value = "");

// The language the rule above picks for a preferred language.
std::string pr_refreshLanguageFor(const std::string& preferredLanguage);

// Forgets the bundle, the arrow and the chosen language, so that the next lookup chooses again
// (tests switch languages with it).
void pr_resetRefreshResources();

}  // namespace kt
