#pragma once

#include <memory>

#include "platform/ui/View.h"

namespace kt {

// The pie of the overlay's determinate mode: a faint white disc with a white rim, and a white
// slice from the top, clockwise, for the part done. Main thread only.
class PORoundProgressView : public ui::View {
 public:
  static constexpr double DefaultSide = 37;

  // 37 by 37 points unless a frame is given; clear background, not opaque.
  static std::shared_ptr<PORoundProgressView> create(const gfx::Rect& frame = gfx::Rect(0, 0, DefaultSide, DefaultSide)) {
    return std::make_shared<PORoundProgressView>(frame);
  }
  explicit PORoundProgressView(const gfx::Rect& frame = gfx::Rect(0, 0, DefaultSide, DefaultSide));

  float progress() const { return m_progress; }
  // Stores the value as given and redraws; drawing takes it within 0 to 1.
  void setProgress(float progress);

  void drawRect(gfx::Context& ctx, const gfx::Rect& rect) override;
  bool drawsContent() const override { return true; }

 private:
  float m_progress = 0;
};

}  // namespace kt
