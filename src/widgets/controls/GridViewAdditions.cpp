#include "widgets/controls/GridViewAdditions.h"

#include <cfloat>

#include "platform/gfx/Animation.h"
#include "platform/gfx/Layer.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/View.h"

namespace kt {

void GridViewAdditions::shakeStatus(ui::View& view, bool on) {
  const auto& layer = view.layer();
  if (!on) {
    layer->removeAnimation(ShakeAnimationKey);
    return;
  }
  auto shake = gfx::BasicAnimation::withKeyPath("transform");
  const gfx::Transform3D current = layer->transform();
  shake->fromValue = current.rotated(-0.03, 0, 0, 1);
  shake->toValue = current.rotated(0.03, 0, 0, 1);
  shake->duration = 0.13;
  shake->autoreverses = true;
  shake->repeatCount = FLT_MAX;
  shake->removedOnCompletion = false;
  layer->addAnimation(shake, ShakeAnimationKey);
}

void GridViewAdditions::recursiveEnumerateSubviewsUsingBlock(ui::View& view, const SubviewBlock& block) {
  // A copy: the block may change the tree it walks.
  const auto subviews = view.subviews();
  for (const auto& subview : subviews) {
    bool stop = false;
    block(*subview, stop);
    if (stop) break;
    recursiveEnumerateSubviewsUsingBlock(*subview, block);
  }
}

void GridViewAdditions::end(ui::GestureRecognizer& recognizer) {
  const bool enabled = recognizer.isEnabled();
  recognizer.setEnabled(false);
  recognizer.setEnabled(enabled);
}

bool GridViewAdditions::hasRecognizedValidGesture(const ui::GestureRecognizer& recognizer) {
  return recognizer.state() == ui::GestureRecognizerState::Began ||
         recognizer.state() == ui::GestureRecognizerState::Changed;
}

}  // namespace kt
