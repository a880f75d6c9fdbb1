#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/gfx/Gradient.h"
#include "platform/gfx/Path.h"
#include "platform/ui/View.h"

namespace ui {
class Label;
}

namespace kt {

// Sides of a popover's arrow. The bubble draws one of the single sides; a controller holds the
// allowed set as a whole value (3: up or down, 15: any).
enum PBArrowDirection : int32_t {
  PBArrowDirectionUp = 1,     // on the top edge: the bubble lies below its source
  PBArrowDirectionDown = 2,   // on the bottom edge: the bubble lies above its source
  PBArrowDirectionLeft = 4,   // on the left edge: the bubble lies right of its source
  PBArrowDirectionRight = 8,  // on the right edge: the bubble lies left of its source
  PBArrowDirectionVertical = 3,
  PBArrowDirectionAny = 15,
};

// Colour schemes of the bubble.
enum PBPopoverTint : int32_t {
  PBPopoverTintDarkGrey = 1,
  PBPopoverTintLightGrey = 2,
  PBPopoverTintGreen = 4,
  PBPopoverTintRed = 8,
};

// The bubble of a popover: a rounded body with a pointed arrow on one side, a gradient head, a
// solid body in the tint's colour, a double outline and a drop shadow, a title line and the shown
// content view inside. Redrawn at every size change.
class PBPopoverView : public ui::View {
 public:
  static constexpr double ArrowSize = 20;
  static constexpr double CornerRadius = 10;

  // The head's top and bottom colours and the body colour of a tint; an unknown tint has the
  // dark grey one's.
  struct TintColors {
    gfx::Color headTop, headBottom, body;
  };
  static TintColors colorsForTint(int32_t tint, bool arrowUp);

  static std::shared_ptr<PBPopoverView> create(const gfx::Rect& frame = gfx::Rect());
  explicit PBPopoverView(const gfx::Rect& frame = gfx::Rect());
  ~PBPopoverView() override;

  int32_t arrowDirection() const { return m_arrowDirection; }
  void setArrowDirection(int32_t direction) { m_arrowDirection = direction; }

  // Shows `view` inside the bubble in place of the current content, then lays the bubble out.
  void addContentView(const std::shared_ptr<ui::View>& view);
  const std::shared_ptr<ui::View>& contentView() const { return m_contentView; }
  const std::shared_ptr<ui::Label>& titleLabel() const { return m_titleLabel; }

  // The outline `borderWidth` inside the bounds, with the arrow on the given side aimed at
  // relativeOrigin along that side; a plain rounded rectangle for any other side.
  gfx::Path createContentPath(double borderWidth, int32_t arrowDirection) const;
  // The head gradient of the current tint and arrow.
  std::optional<gfx::Gradient> createGradient() const;

  void drawRect(gfx::Context& ctx, const gfx::Rect& rect) override;
  bool drawsContent() const override { return true; }

  // Places the content view and the title line for the current arrow and shows the title.
  void setupViews();
  void layoutSubviews() override;
  // Changes the frame and lays the bubble out at once.
  void setBubbleFrame(const gfx::Rect& frame);

  const std::optional<std::string>& title() const { return m_title; }
  void setTitle(std::optional<std::string> title) { m_title = std::move(title); }
  gfx::Point relativeOrigin() const { return m_relativeOrigin; }
  void setRelativeOrigin(gfx::Point origin) { m_relativeOrigin = origin; }
  int32_t tint() const { return m_tint; }
  void setTint(int32_t tint) { m_tint = tint; }

 private:
  std::shared_ptr<ui::View> m_contentView;
  std::shared_ptr<ui::Label> m_titleLabel;
  int32_t m_arrowDirection = 0;
  std::optional<std::string> m_title;
  gfx::Point m_relativeOrigin;
  int32_t m_tint = PBPopoverTintDarkGrey;
};

}  // namespace kt
