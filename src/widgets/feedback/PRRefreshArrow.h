#pragma once

#include <memory>
#include <optional>

#include "platform/gfx/Color.h"
#include "platform/gfx/Geometry.h"

namespace ui {
class ImageView;
class View;
}  // namespace ui

namespace kt {

// The arrow of a refresh control: an image view with the family's arrow, made on first use and
// added to the control, drawn in a tint colour.
class PRRefreshArrow {
 public:
  ui::ImageView& view(ui::View& owner);
  // Draws the arrow in the colour.
  void setTint(const gfx::Color& color, ui::View& owner);
  // Takes the arrow's size and centres it on the point.
  void place(gfx::Point center, ui::View& owner);

 private:
  std::shared_ptr<ui::ImageView> m_view;
  std::optional<gfx::Color> m_tint;
};

}  // namespace kt
