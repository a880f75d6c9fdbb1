#include "widgets/feedback/BundlePRRefresh.h"

#include <mutex>

#include "platform/core/Bundle.h"
#include "platform/core/Locale.h"
#include "platform/gfx/Image.h"

namespace kt {
namespace {

struct Resources {
  std::mutex mutex;
  std::optional<core::Bundle> bundle;
  std::shared_ptr<gfx::Image> arrow;
  std::optional<core::Bundle> language;
};

Resources& resources() {
  static Resources* r = new Resources;  // used until exit
  return *r;
}

const core::Bundle* refreshBundleLocked(Resources& r) {
  if (!r.bundle) {
    if (auto path = core::Bundle::main().pathForResource("PRRefresh", "bundle")) r.bundle = core::Bundle::withPath(*path);
  }
  return r.bundle ? &*r.bundle : nullptr;
}

}  // namespace

const core::Bundle* pr_refreshBundle() {
  Resources& r = resources();
  std::lock_guard lock(r.mutex);
  return refreshBundleLocked(r);
}

std::shared_ptr<gfx::Image> pr_arrowImage() {
  Resources& r = resources();
  std::lock_guard lock(r.mutex);
  if (!r.arrow) {
    const core::Bundle* bundle = refreshBundleLocked(r);
    auto path = bundle ? bundle->pathForResource("arrow@2x", "png") : std::nullopt;
    if (path) r.arrow = gfx::Image::fromFile(*path, 2.0);
  }
  return r.arrow;
}

std::string pr_refreshLanguageFor(const std::string& preferredLanguage) {
  if (preferredLanguage.starts_with("en")) return "en";
  if (preferredLanguage.starts_with("zh")) {
    return preferredLanguage.find("Hans") != std::string::npos ? "zh-Hans" : "zh-Hant";
  }
  return "en";
}

std::string pr_localizedStringForKey(const std::string& key, const std::string& value) {
  std::string text;
  {
    Resources& r = resources();
    std::lock_guard lock(r.mutex);
    if (!r.language) {
      auto languages = core::preferredLanguages();
      std::string language = pr_refreshLanguageFor(languages.empty() ? "" : languages.front());
      const core::Bundle* bundle = refreshBundleLocked(r);
      auto path = bundle ? bundle->pathForResource(language, "lproj") : std::nullopt;
      if (path) r.language = core::Bundle::withPath(*path);
    }
    text = r.language ? r.language->localizedString(key, value) : (value.empty() ? key : value);
  }
  // The program's own strings table wins.
  return core::Bundle::main().localizedString(key, text);
}

void pr_resetRefreshResources() {
  Resources& r = resources();
  std::lock_guard lock(r.mutex);
  r.bundle.reset();
  r.arrow.reset();
  r.language.reset();
}

}  // namespace kt
