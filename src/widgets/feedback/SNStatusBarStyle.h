#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/gfx/Color.h"
#include "platform/gfx/Geometry.h"

namespace gfx {
class Font;
}

namespace kt {

// The names of the built-in bar styles.
inline constexpr const char* SNStatusBarStyleDefault = "SNStatusBarStyleDefault";
inline constexpr const char* SNStatusBarStyleError = "SNStatusBarStyleError";
inline constexpr const char* SNStatusBarStyleWarning = "SNStatusBarStyleWarning";
inline constexpr const char* SNStatusBarStyleSuccess = "SNStatusBarStyleSuccess";
inline constexpr const char* SNStatusBarStyleDark = "SNStatusBarStyleDark";
inline constexpr const char* SNStatusBarStyleMatrix = "SNStatusBarStyleMatrix";

// How a bar comes and goes. Stored as an integer: values outside the list behave as Move.
enum class SNStatusBarAnimationType : int {
  None = 0,    // shows and vanishes at once
  Move = 1,    // slides down from above the screen edge and back up
  Bounce = 2,  // falls in with a bounce, leaves like Move
  Fade = 3,    // fades in and out in place
};

// Where the progress bar runs. Stored as an integer: other values keep the bar's bounds' y.
enum class SNStatusBarProgressBarPosition : int {
  Bottom = 0,         // bottom of the bar
  Center = 1,         // vertical centre of the bar
  Top = 2,            // top of the bar
  Below = 3,          // just below the bar
  NavigationBar = 4,  // below a navigation bar under the status bar
};

// The shadow of a bar's text.
struct SNStatusBarTextShadow {
  gfx::Color color = gfx::Color::rgba(0, 0, 0, 1.0 / 3);
  gfx::Size offset{0, -3};
};

// The look and motion of a notifier bar. Styles are held by shared pointer: the notifier tells a
// style shown again from another one by the object, not by its values.
class SNStatusBarStyle {
 public:
  // The base every built-in style starts from: white bar, gray text in the system font at 12,
  // a green progress bar 1.0 high at the bottom, moving in and out, no text shadow.
  SNStatusBarStyle();

  // A built-in style by name; nullptr for a name outside the built-in table.
  static std::shared_ptr<SNStatusBarStyle> defaultStyleWithName(const std::string& name);
  // The built-in names other than the default one: Error, Warning, Success, Matrix, Dark.
  static std::vector<std::string> allDefaultStyleIdentifier();

  // A new style with the same nine properties (the font object is shared).
  std::shared_ptr<SNStatusBarStyle> copy() const;

  const gfx::Color& barColor() const { return m_barColor; }
  void setBarColor(const gfx::Color& color) { m_barColor = color; }
  const gfx::Color& textColor() const { return m_textColor; }
  void setTextColor(const gfx::Color& color) { m_textColor = color; }
  const std::optional<SNStatusBarTextShadow>& textShadow() const { return m_textShadow; }
  void setTextShadow(std::optional<SNStatusBarTextShadow> shadow) { m_textShadow = std::move(shadow); }
  const std::shared_ptr<const gfx::Font>& font() const { return m_font; }
  void setFont(std::shared_ptr<const gfx::Font> font) { m_font = std::move(font); }
  double textVerticalPositionAdjustment() const { return m_textVerticalPositionAdjustment; }
  void setTextVerticalPositionAdjustment(double points) { m_textVerticalPositionAdjustment = points; }
  SNStatusBarAnimationType animationType() const { return m_animationType; }
  void setAnimationType(SNStatusBarAnimationType type) { m_animationType = type; }
  const gfx::Color& progressBarColor() const { return m_progressBarColor; }
  void setProgressBarColor(const gfx::Color& color) { m_progressBarColor = color; }
  double progressBarHeight() const { return m_progressBarHeight; }
  void setProgressBarHeight(double points) { m_progressBarHeight = points; }
  SNStatusBarProgressBarPosition progressBarPosition() const { return m_progressBarPosition; }
  void setProgressBarPosition(SNStatusBarProgressBarPosition position) { m_progressBarPosition = position; }

 private:
  gfx::Color m_barColor = gfx::Color::whiteColor();
  gfx::Color m_textColor = gfx::Color::gray();
  std::optional<SNStatusBarTextShadow> m_textShadow;
  std::shared_ptr<const gfx::Font> m_font;
  double m_textVerticalPositionAdjustment = 0;
  SNStatusBarAnimationType m_animationType = SNStatusBarAnimationType::Move;
  gfx::Color m_progressBarColor = gfx::Color::green();
  double m_progressBarHeight = 1.0;
  SNStatusBarProgressBarPosition m_progressBarPosition = SNStatusBarProgressBarPosition::Bottom;
};

}  // namespace kt
