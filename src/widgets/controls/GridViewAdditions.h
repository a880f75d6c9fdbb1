#pragma once

#include <functional>

namespace ui {
class GestureRecognizer;
class View;
}  // namespace ui

namespace kt {

// Helpers the grid uses on any view and on its gesture recognisers.
struct GridViewAdditions {
  // The layer key of the endless shake.
  static constexpr const char* ShakeAnimationKey = "shakeAnimation";

  // On: the view's layer rocks by 0.03 rad either way, 0.13 s a swing, without end. Off: stops it.
  static void shakeStatus(ui::View& view, bool on);

  // Calls `block` with each subview and a stop flag, in subview order, descending into a subview
  // before going on to the next; a stop ends the loop of the level where it was set.
  using SubviewBlock = std::function<void(ui::View& subview, bool& stop)>;
  static void recursiveEnumerateSubviewsUsingBlock(ui::View& view, const SubviewBlock& block);

  // Cancels the gesture in progress, leaving the recogniser enabled as it was.
  static void end(ui::GestureRecognizer& recognizer);
  // Whether the gesture has begun or changed (and not yet ended).
  static bool hasRecognizedValidGesture(const ui::GestureRecognizer& recognizer);
};

}  // namespace kt
