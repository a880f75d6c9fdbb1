#include "widgets/feedback/SNStatusBarStyle.h"

#include "platform/gfx/Font.h"
#include "platform/ui/Screen.h"

namespace kt {

SNStatusBarStyle::SNStatusBarStyle() : m_font(gfx::Font::systemFont(12)) {}

std::shared_ptr<SNStatusBarStyle> SNStatusBarStyle::copy() const { return std::make_shared<SNStatusBarStyle>(*this); }

std::shared_ptr<SNStatusBarStyle> SNStatusBarStyle::defaultStyleWithName(const std::string& name) {
  auto style = std::make_shared<SNStatusBarStyle>();
  // A hairline thicker than one point: one more device pixel.
  const double hairlinePlus = 1.0 + 1.0 / ui::Screen::main().drawingScale();
  if (name == SNStatusBarStyleDefault) return style;
  if (name == SNStatusBarStyleError) {
    style->setBarColor(gfx::Color::rgba(0.588, 0.118, 0.0, 1.0));
    style->setTextColor(gfx::Color::whiteColor());
    style->setProgressBarColor(gfx::Color::red());
    style->setProgressBarHeight(2.0);
    return style;
  }
  if (name == SNStatusBarStyleWarning) {
    style->setBarColor(gfx::Color::rgba(0.9, 0.734, 0.034, 1.0));
    style->setTextColor(gfx::Color::darkGray());
    style->setProgressBarColor(style->textColor());
    return style;
  }
  if (name == SNStatusBarStyleSuccess) {
    style->setBarColor(gfx::Color::rgba(0.588, 0.797, 0.0, 1.0));
    style->setTextColor(gfx::Color::whiteColor());
    style->setProgressBarColor(gfx::Color::rgba(0.106, 0.594, 0.319, 1.0));
    style->setProgressBarHeight(hairlinePlus);
    return style;
  }
  if (name == SNStatusBarStyleDark) {
    style->setBarColor(gfx::Color::rgba(0.05, 0.078, 0.12, 1.0));
    style->setTextColor(gfx::Color::white(0.95, 1.0));
    style->setProgressBarHeight(hairlinePlus);
    return style;
  }
  if (name == SNStatusBarStyleMatrix) {
    style->setBarColor(gfx::Color::black());
    style->setTextColor(gfx::Color::green());
    style->setFont(gfx::Font::font("Courier-Bold", 14));
    style->setProgressBarColor(gfx::Color::green());
    style->setProgressBarHeight(2.0);
    return style;
  }
  return nullptr;
}

std::vector<std::string> SNStatusBarStyle::allDefaultStyleIdentifier() {
  return {SNStatusBarStyleError, SNStatusBarStyleWarning, SNStatusBarStyleSuccess, SNStatusBarStyleMatrix,
          SNStatusBarStyleDark};
}

}  // namespace kt
