#include "platform/display/DrawScale.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
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

// Says a line on standard error unless it was said already: a window opened again (after a
// display came back) reads the setting again.
void sayOnce(const std::string& line) {
  static std::mutex mutex;
  static std::set<std::string> said;
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (!said.insert(line).second) return;
  }
  core::logNotice(line);
}

}  // namespace

std::optional<double> drawScaleSetting() {
  char range[64];
  std::snprintf(range, sizeof range, "a number from %g to %g", MinDrawScale, MaxDrawScale);
  if (const char* v = std::getenv("KT_DRAW_SCALE"); v && *v) {
    if (auto s = scaleFrom(v)) return s;
    sayOnce(std::string("KT_DRAW_SCALE=") + v + " is not a drawing scale (" + range +
            "); the setting Draw_Scale is used, else the window's own scale.");
  }
  const core::Value setting = core::UserDefaults::standard().objectForKey("Draw_Scale");
  if (setting.isNull()) return std::nullopt;
  if (auto s = scaleFrom(setting.stringValue())) return s;
  sayOnce("The setting Draw_Scale (" + setting.stringValue() + ") is not a drawing scale (" + range +
          "); the window's own scale is used.");
  return std::nullopt;
}

}  // namespace display
