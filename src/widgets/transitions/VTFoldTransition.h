#pragma once

#include <cstdint>
#include <memory>

#include "platform/gfx/Color.h"
#include "widgets/transitions/VTTransition.h"

namespace ui {
class NavigationController;
}

namespace kt {

// Fold styles: independent bits; 0 is the default fold (top and bottom halves, the source folding
// away while the destination's halves come in from the edges).
enum FoldStyle : uint64_t {
  foldStyleDefault = 0,
  // Runs backwards: the destination unfolds out of the centre line.
  foldStyleReverse = 1,
  // The halves of the moving view stand at a right angle to the folding halves, like a box.
  foldStylePerpendicular = 2,
  // Left and right halves folding about a vertical centre line.
  foldStyleLeftRight = 4,
};

// Replaces one view by another with a paper fold about the centre line of the area, built once
// from four snapshots and run by the layer animations.
class VTFoldTransition : public VTTransition {
 public:
  VTFoldTransition(std::shared_ptr<ui::View> sourceView, std::shared_ptr<ui::View> destinationView, double duration,
                   uint64_t style, int32_t completionAction);

  using VTTransition::perform;
  // Starts the fold and returns; at the end the animation view goes, the completion action is
  // applied and the completion is called with true. When nothing can be animated (no container,
  // an empty area) the same end comes on the main queue, so the caller's work is never lost.
  void perform(Completion completion) override;

  uint64_t style() const { return m_style; }
  void setStyle(uint64_t style) { m_style = style; }
  double foldShadowOpacity() const { return m_foldShadowOpacity; }
  void setFoldShadowOpacity(double opacity) { m_foldShadowOpacity = opacity; }
  double foldShadowAdjustmentFactor() const { return m_foldShadowAdjustmentFactor; }
  void setFoldShadowAdjustmentFactor(double factor) { m_foldShadowAdjustmentFactor = factor; }
  const gfx::Color& foldShadowColor() const { return m_foldShadowColor; }
  void setFoldShadowColor(const gfx::Color& color) { m_foldShadowColor = color; }

  // The view made for the running fold (null when none runs); its layers carry the animation.
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

  // The depth keyframes: 60 a second, D cos θ going down to 0 (reverse: D sin θ from 0).
  static std::vector<double> depthKeyframes(double depth, double duration, bool reverse);

 private:
  void finish(const Completion& completion);

  uint64_t m_style = foldStyleDefault;
  double m_foldShadowOpacity = 0.5;
  double m_foldShadowAdjustmentFactor = 0.9;
  gfx::Color m_foldShadowColor = gfx::Color::black();
  std::shared_ptr<ui::View> m_animationView;
};

// The controller operations with a fold, at VTTransition::defaultDuration().
void presentViewController(ui::ViewController& presenting, std::shared_ptr<ui::ViewController> controller,
                           FoldStyle style, VTTransition::Completion completion);
void dismissViewControllerWithFoldStyle(ui::ViewController& presenting, FoldStyle style,
                                        VTTransition::Completion completion);
// Folds from the visible screen to `controller`, then pushes it without the bar's own animation.
void pushViewController(ui::NavigationController& navigation, std::shared_ptr<ui::ViewController> controller,
                        FoldStyle style);
// Folds to the screen below the top and pops to it at the end; returns it at once. With fewer than
// two screens on the stack nothing happens and null comes back.
std::shared_ptr<ui::ViewController> popViewControllerWithFoldStyle(ui::NavigationController& navigation,
                                                                   FoldStyle style);

}  // namespace kt
