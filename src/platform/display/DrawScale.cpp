#include "platform/display/DrawScale.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>

#include "platform/core/Log.h"
#include "platform/core/UserDefaults.h"
#include "platform/core/Value.h"

namespace display {
namespace {

std::optional<double> scaleFrom(const std::string& text) {
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !std::isfinite(v) || v < MinDrawScale || v > MaxDrawScale) return std::nullopt;
  return v;
}

// What each source last held that was not a drawing scale, so that a bad value is said once
// while it stays (a window opened again after a display came back reads the setting again) and
// said again once it was mended or changed and is bad again.
struct LastBad {
  std::mutex mutex;
  std::optional<std::string> environment, setting;
};

LastBad& lastBad() {
  static LastBad last;
  return last;
}

// Remembers `value` (nullopt: a good value or none) as what `source` holds; true when it is bad
// and was not what the source held last.
bool changedToBad(std::optional<std::string> LastBad::*source, const std::optional<std::string>& value) {
  LastBad& last = lastBad();
  std::lock_guard<std::mutex> lock(last.mutex);
  const bool fresh = value && last.*source != value;
  last.*source = value;
  return fresh;
}

}  // namespace

std::optional<double> drawScaleSetting() {
  char range[64];
  std::snprintf(range, sizeof range, "a number from %g to %g", MinDrawScale, MaxDrawScale);
  if (const char* v = std::getenv("KT_DRAW_SCALE"); v && *v) {
    if (auto s = scaleFrom(v)) {
      changedToBad(&LastBad::environment, std::nullopt);
      return s;
    }
    if (changedToBad(&LastBad::environment, std::string(v)))
      core::logNotice(std::string("KT_DRAW_SCALE=") + v + " is not a drawing scale (" + range +
                      "); the setting Draw_Scale is used, else the window's own scale.");
  } else {
    changedToBad(&LastBad::environment, std::nullopt);
  }
  const core::Value setting = core::UserDefaults::standard().objectForKey("Draw_Scale");
  if (setting.isNull()) {
    changedToBad(&LastBad::setting, std::nullopt);
    return std::nullopt;
  }
  if (auto s = scaleFrom(setting.stringValue())) {
    changedToBad(&LastBad::setting, std::nullopt);
    return s;
  }
  if (changedToBad(&LastBad::setting, setting.stringValue()))
    core::logNotice("The setting Draw_Scale (" + setting.stringValue() + ") is not a drawing scale (" + range +
                    "); the window's own scale is used.");
  return std::nullopt;
}

}  // namespace display
