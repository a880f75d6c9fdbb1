#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "platform/core/Value.h"
#include "platform/gfx/Gradient.h"
#include "platform/gfx/Path.h"
#include "platform/ui/Button.h"

namespace kt {

// A push button that paints its own background: a rounded rectangle filled with a vertical
// gradient of several stops (location 0 at the bottom edge, 1 at the top) and outlined with a
// pixel-snapped stroke, with a second gradient while it is held down. The presets set colours,
// stops, corner radius and title colours in one call; the title is the button's own.
//
// Each gradient is made from its lists on first read and kept: later list changes are stored but
// not painted. A look whose lists are missing, empty or of different lengths paints no gradient.
class GradientButton : public ui::Button {
 public:
  using ColorList = std::optional<std::vector<gfx::Color>>;
  using LocationList = std::optional<std::vector<float>>;

  // The outline as painted: the snapped path and its line width.
  struct Outline {
    gfx::Path path;
    double lineWidth = 0;
  };

  static std::shared_ptr<GradientButton> create(const gfx::Rect& frame = gfx::Rect()) {
    return std::make_shared<GradientButton>(frame);
  }
  explicit GradientButton(const gfx::Rect& frame = gfx::Rect());

  // A button from an archive made by encodeWithCoder(): the four lists (a list that is absent or
  // malformed is nil), the dark blue stroke of weight 1 and, without normal colours, the white look.
  static std::shared_ptr<GradientButton> initWithCoder(const core::Value& coder);
  // The four lists under their names; radius and stroke are not archived.
  core::Value encodeWithCoder() const;

  // The look's gradient, made on first read; null while the lists cannot make one.
  const gfx::Gradient* normalGradient();
  const gfx::Gradient* highlightGradient();

  const ColorList& normalGradientColors() const { return m_normalColors; }
  void setNormalGradientColors(ColorList colors) { m_normalColors = std::move(colors); }
  const LocationList& normalGradientLocations() const { return m_normalLocations; }
  void setNormalGradientLocations(LocationList locations) { m_normalLocations = std::move(locations); }
  const ColorList& highlightGradientColors() const { return m_highlightColors; }
  void setHighlightGradientColors(ColorList colors) { m_highlightColors = std::move(colors); }
  const LocationList& highlightGradientLocations() const { return m_highlightLocations; }
  void setHighlightGradientLocations(LocationList locations) { m_highlightLocations = std::move(locations); }
  double cornerRadius() const { return m_cornerRadius; }
  void setCornerRadius(double radius) { m_cornerRadius = radius; }
  double strokeWeight() const { return m_strokeWeight; }
  void setStrokeWeight(double weight) { m_strokeWeight = weight; }
  const std::optional<gfx::Color>& strokeColor() const { return m_strokeColor; }
  void setStrokeColor(std::optional<gfx::Color> color) { m_strokeColor = std::move(color); }

  void useAlertStyle();
  void useRedDeleteStyle();
  void useWhiteStyle();
  void useBlackStyle();
  void useWhiteActionSheetStyle();
  void useBlackActionSheetStyle();
  void useSimpleOrangeStyle();
  void useGreenConfirmStyle();

  // The outline for the current bounds; nullopt when the bounds are too small to scale
  // (width up to 0.5 or no height), in which case nothing is painted.
  std::optional<Outline> outline() const;

  void drawRect(gfx::Context& ctx, const gfx::Rect& rect) override;
  void hesitateUpdate() { setNeedsDisplay(); }

  void touchesBegan(const ui::TouchSet& touches, const ui::Event* event) override;
  void touchesMoved(const ui::TouchSet& touches, const ui::Event* event) override;
  void touchesEnded(const ui::TouchSet& touches, const ui::Event* event) override;
  void touchesCancelled(const ui::TouchSet& touches, const ui::Event* event) override;

 private:
  static const gfx::Gradient* makeGradient(std::optional<gfx::Gradient>& cache, const ColorList& colors,
                                           const LocationList& locations);
  // Paints once more after the platform has left the held-down state.
  void scheduleHesitateUpdate();

  ColorList m_normalColors;
  LocationList m_normalLocations;
  ColorList m_highlightColors;
  LocationList m_highlightLocations;
  double m_cornerRadius = 0;
  double m_strokeWeight = 0;
  std::optional<gfx::Color> m_strokeColor;
  std::optional<gfx::Gradient> m_normalGradient;
  std::optional<gfx::Gradient> m_highlightGradient;
};

}  // namespace kt
