#pragma once

#include <functional>
#include <memory>

#include "platform/ui/View.h"

namespace kt {

// A transparent layer that tells, as it is hit-tested for a touch, whether the touch fell on the
// layer itself (outside everything it holds) or on one of its views.
class PBTouchView : public ui::View {
 public:
  using Block = std::function<void()>;

  static std::shared_ptr<PBTouchView> create(const gfx::Rect& frame = gfx::Rect()) {
    return std::make_shared<PBTouchView>(frame);
  }
  explicit PBTouchView(const gfx::Rect& frame = gfx::Rect()) : ui::View(frame) {}

  void setTouchedOutsideBlock(Block block) { m_outsideBlock = std::move(block); }
  void setTouchedInsideBlock(Block block) { m_insideBlock = std::move(block); }

  // The platform's hit view, always. For a touch event, runs the outside block when that view is
  // the layer itself, else the inside block; each time the layer is asked.
  std::shared_ptr<ui::View> hitTest(gfx::Point p, const ui::Event* event) override;

 private:
  Block m_outsideBlock;
  Block m_insideBlock;
};

}  // namespace kt
