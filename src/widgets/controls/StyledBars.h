#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/gfx/Color.h"
#include "platform/gfx/Transform.h"
#include "platform/ui/NavigationBar.h"
#include "platform/ui/TabBar.h"
#include "platform/ui/Toolbar.h"
#include "platform/ui/View.h"

namespace kt {

// The drawn background the navigation bar and the toolbar share: a vertical gradient, a
// highlight line along the top, a dark line along the bottom and a soft layer shadow under the
// bar. Changes show at the bar's next redraw.
class StyledBarLook {
 public:
  float shadowOpacity() const { return m_shadowOpacity; }
  void setShadowOpacity(float opacity) { m_shadowOpacity = opacity; }
  const gfx::Color& gradientStartColor() const { return m_gradientStart; }
  void setGradientStartColor(const gfx::Color& color) { m_gradientStart = color; }
  const gfx::Color& gradientEndColor() const { return m_gradientEnd; }
  void setGradientEndColor(const gfx::Color& color) { m_gradientEnd = color; }
  const gfx::Color& topLineColor() const { return m_topLine; }
  void setTopLineColor(const gfx::Color& color) { m_topLine = color; }
  const gfx::Color& bottomLineColor() const { return m_bottomLine; }
  void setBottomLineColor(const gfx::Color& color) { m_bottomLine = color; }

  void drawTopLine(gfx::Context& ctx, const gfx::Rect& rect) const;
  void drawBottomLine(gfx::Context& ctx, const gfx::Rect& rect) const;

 protected:
  explicit StyledBarLook(int32_t topLineHex);
  // The shadow on `bar`, then the gradient and the two lines over `rect`.
  void drawBarBackground(ui::View& bar, gfx::Context& ctx, const gfx::Rect& rect) const;

 private:
  float m_shadowOpacity = 0.5f;
  gfx::Color m_gradientStart;
  gfx::Color m_gradientEnd;
  gfx::Color m_topLine;
  gfx::Color m_bottomLine;
};

// A navigation bar with the drawn background and, optionally, two painted top corners that make
// it look rounded against a background of the corner colour.
class StyledNavigationBar : public ui::NavigationBar, public StyledBarLook {
 public:
  static std::shared_ptr<StyledNavigationBar> create(const gfx::Rect& frame = gfx::Rect()) {
    return std::make_shared<StyledNavigationBar>(frame);
  }
  explicit StyledNavigationBar(const gfx::Rect& frame = gfx::Rect());

  double roundedCornerRadius() const { return m_roundedCornerRadius.load(); }
  void setRoundedCornerRadius(double radius) { m_roundedCornerRadius.store(radius); }
  const gfx::Color& roundedCornerColor() const { return m_roundedCornerColor; }
  void setRoundedCornerColor(const gfx::Color& color) { m_roundedCornerColor = color; }

  // Paints the region between the corner point and a quarter circle of radius r, mapped by `t`.
  void drawLeftRoundedCornerAtPoint(gfx::Context& ctx, gfx::Point point, double radius,
                                    const gfx::AffineTransform& t) const;
  void drawBackground(gfx::Context& ctx, const gfx::Rect& area) override;

 private:
  std::atomic<double> m_roundedCornerRadius{0};
  gfx::Color m_roundedCornerColor = gfx::Color::black();
};

// A toolbar with the drawn background; items, their layout and the tint are the platform bar's.
class StyledToolbar : public ui::Toolbar, public StyledBarLook {
 public:
  static std::shared_ptr<StyledToolbar> create(const gfx::Rect& frame = gfx::Rect()) {
    return std::make_shared<StyledToolbar>(frame);
  }
  explicit StyledToolbar(const gfx::Rect& frame = gfx::Rect());

  void drawRect(gfx::Context& ctx, const gfx::Rect& rect) override;
};

// A tab bar over a dark vertical gradient with a light line along its top.
class StyledTabBar : public ui::TabBar {
 public:
  static std::shared_ptr<StyledTabBar> create(const gfx::Rect& frame = gfx::Rect()) {
    return std::make_shared<StyledTabBar>(frame);
  }
  explicit StyledTabBar(const gfx::Rect& frame = gfx::Rect());

  const gfx::Color& gradientStartColor() const { return m_gradientStart; }
  void setGradientStartColor(const gfx::Color& color) { m_gradientStart = color; }
  const gfx::Color& gradientEndColor() const { return m_gradientEnd; }
  void setGradientEndColor(const gfx::Color& color) { m_gradientEnd = color; }
  const gfx::Color& separatorLineColor() const { return m_separatorLine; }
  void setSeparatorLineColor(const gfx::Color& color) { m_separatorLine = color; }

  void drawRect(gfx::Context& ctx, const gfx::Rect& rect) override;

 private:
  gfx::Color m_gradientStart;
  gfx::Color m_gradientEnd;
  gfx::Color m_separatorLine;
};

}  // namespace kt
