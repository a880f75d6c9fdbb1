#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/gfx/Color.h"
#include "widgets/transitions/VTTransition.h"

namespace ui {
class NavigationController;
}

namespace kt {

// Flip styles: independent bits; 0 is the default flip (left and right halves, the right half
// turning over to the left).
enum FlipStyle : uint64_t {
  flipStyleDefault = 0,
  // The first (left or top) half turns and the page lands on the second half.
  flipStyleBackward = 1,
  // Top and bottom halves turning about the horizontal centre line.
  flipStyleTopBottom = 2,
  // The perspective term changes sign and the still halves get no flat shadows.
  flipStyleInvertedPerspective = 4,
};

// Replaces one view by another like turning a page: one half of the source turns about the
// centre line uncovering the destination's half below; half-way the page shows its back, the
// destination's other half, which comes down over the source's other half. Two layer
// transactions of half the duration each, the second started by the end of the first.
class VTFlipTransition : public VTTransition {
 public:
  VTFlipTransition(std::shared_ptr<ui::View> sourceView, std::shared_ptr<ui::View> destinationView, double duration,
                   uint64_t style, int32_t completionAction);

  std::string timingCurveFunctionNameFirstHalf() const;
  std::string timingCurveFunctionNameSecondHalf() const;

  using VTTransition::perform;
  // Starts the first half and returns; after the second half the animation view goes, the
  // completion action is applied and the completion is called with true. When nothing can be
  // animated the same end comes on the main queue, so the caller's work is never lost.
  void perform(Completion completion) override;

  uint64_t style() const { return m_style; }
  void setStyle(uint64_t style) { m_style = style; }
  double coveredPageShadowOpacity() const { return m_coveredPageShadowOpacity; }
  void setCoveredPageShadowOpacity(double opacity) { m_coveredPageShadowOpacity = opacity; }
  double flippingPageShadowOpacity() const { return m_flippingPageShadowOpacity; }
  void setFlippingPageShadowOpacity(double opacity) { m_flippingPageShadowOpacity = opacity; }
  const gfx::Color& flipShadowColor() const { return m_flipShadowColor; }
  void setFlipShadowColor(const gfx::Color& color) { m_flipShadowColor = color; }

  // The view made for the running flip (null when none runs).
  const std::shared_ptr<ui::View>& animationView() const { return m_animationView; }

  static void transitionFromViewController(ui::ViewController& from, ui::ViewController& to, double duration,
                                           uint64_t style, Completion completion);
  static void transitionFromView(std::shared_ptr<ui::View> source, std::shared_ptr<ui::View> destination,
                                 double duration, uint64_t style, int32_t action, Completion completion);
  static void presentViewController(std::shared_ptr<ui::ViewController> controller, ui::ViewController& from,
                                    double duration, uint64_t style, Completion completion);
  // Raises "Invalid Operation" when `presenting` presents nothing.
  static void dismissViewControllerFromPresentingController(ui::ViewController& presenting, double duration,
                                                            uint64_t style, Completion completion);

  // The flat shadow keyframes of one half: 60 a second, `opacity` cos θ down to exactly 0, or
  // (rising) `opacity` sin θ from exactly 0.
  static std::vector<double> shadowKeyframes(double opacity, double duration, bool rising);

 private:
  void secondHalf(const Completion& completion);
  void finish(const Completion& completion);

  uint64_t m_style = flipStyleDefault;
  double m_coveredPageShadowOpacity = 1.0 / 3.0;
  double m_flippingPageShadowOpacity = 0.1;
  gfx::Color m_flipShadowColor = gfx::Color::black();
  std::shared_ptr<ui::View> m_animationView;
  // Layers the half-way swap and the second half work on.
  struct Pages;
  std::shared_ptr<Pages> m_pages;
};

// The controller operations with a flip, at VTTransition::defaultDuration().
void presentViewController(ui::ViewController& presenting, std::shared_ptr<ui::ViewController> controller,
                           FlipStyle style, VTTransition::Completion completion);
void dismissViewControllerWithFlipStyle(ui::ViewController& presenting, FlipStyle style,
                                        VTTransition::Completion completion);
// Flips from the visible screen to `controller`, then pushes it without the bar's own animation.
void pushViewController(ui::NavigationController& navigation, std::shared_ptr<ui::ViewController> controller,
                        FlipStyle style);
// Flips to the screen below the top and pops to it at the end; returns it at once. With fewer than
// two screens on the stack nothing happens and null comes back.
std::shared_ptr<ui::ViewController> popViewControllerWithFlipStyle(ui::NavigationController& navigation,
                                                                   FlipStyle style);

}  // namespace kt
