#include "platform/display/DrawScale.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "platform/core/Log.h"
#include "platform/core/SaidOnce.h"
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

// The bad values each source held, so that one is said once while its source stays bad (a window
// opened again after a display came back reads the setting again) and said again once the source
// was mended and is bad again. Never destroyed: asked whenever a window opens.
core::SaidOnce& badEnvironment() {
  static core::SaidOnce* said = new core::SaidOnce;
  return *said;
}

core::SaidOnce& badSetting() {
  static core::SaidOnce* said = new core::SaidOnce;
  return *said;
}

}  // namespace

std::optional<double> drawScaleSetting() {
  char range[64];
  std::snprintf(range, sizeof range, "a number from %g to %g", MinDrawScale, MaxDrawScale);
  if (const char* v = std::getenv("KT_DRAW_SCALE"); v && *v) {
    if (auto s = scaleFrom(v)) {
      badEnvironment().forgetAll();
      return s;
    }
    if (badEnvironment().first(v))
      core::logNotice(std::string("KT_DRAW_SCALE=") + v + " is not a drawing scale (" + range +
                      "); the setting Draw_Scale is used, else the window's own scale.");
  } else {
    badEnvironment().forgetAll();
  }
  const core::Value setting = core::UserDefaults::standard().objectForKey("Draw_Scale");
  if (setting.isNull()) {
    badSetting().forgetAll();
    return std::nullopt;
  }
  if (auto s = scaleFrom(setting.stringValue())) {
    badSetting().forgetAll();
    return s;
  }
  if (badSetting().first(setting.stringValue()))
    core::logNotice("The setting Draw_Scale (" + setting.stringValue() + ") is not a drawing scale (" + range +
                    "); the window's own scale is used.");
  return std::nullopt;
}

}  // namespace display
