#include "widgets/feedback/AOIndefiniteAnimatedView.h"

#include <cmath>
#include <limits>

#include "platform/gfx/Animation.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/Layer.h"
#include "platform/gfx/Path.h"
#include "platform/gfx/TimingFunction.h"
#include "platform/gfx/Transaction.h"
#include "platform/ui/Screen.h"
#include "widgets/feedback/AOProgressHUD.h"

namespace kt {

AOIndefiniteAnimatedView::AOIndefiniteAnimatedView(const gfx::Rect& frame) : RingLayerView(frame) {}

AOIndefiniteAnimatedView::~AOIndefiniteAnimatedView() = default;

std::shared_ptr<gfx::Layer> AOIndefiniteAnimatedView::buildRingLayer() {
  const double c = ringHalfSide();
  const gfx::Point centre{c, c};
  // Two full turns from the top (3π/2 to 11π/2), one turn at a time so that both are kept.
  gfx::Path path;
  path.addArc(centre, radius(), 3 * M_PI / 2, 7 * M_PI / 2, true);
  path.addArc(centre, radius(), 7 * M_PI / 2, 11 * M_PI / 2, true);

  gfx::Transaction::begin();
  gfx::Transaction::setDisableActions(true);
  auto ring = makeShapeLayer(std::move(path));

  // The mask's alpha decides how strongly each part of the ring shows.
  auto mask = gfx::Layer::create();
  mask->setContents(AOProgressHUD::bundleImage("angle-mask"));
  mask->setFrame(ring->bounds());
  ring->setMask(mask);
  gfx::Transaction::commit();

  const float forever = std::numeric_limits<float>::infinity();
  const auto linear = gfx::TimingFunction::named(gfx::TimingFunction::Name::Linear);

  auto rotate = gfx::BasicAnimation::withKeyPath("transform.rotation");
  rotate->toValue = gfx::AnimValue(2 * M_PI);
  rotate->duration = 1;
  rotate->timingFunction = linear;
  rotate->removedOnCompletion = false;
  rotate->repeatCount = forever;
  rotate->fillMode = gfx::FillMode::Forwards;
  rotate->autoreverses = false;
  mask->addAnimation(rotate, RotateAnimationKey);

  auto group = gfx::AnimationGroup::make();
  group->duration = 1;
  group->repeatCount = forever;
  group->removedOnCompletion = false;
  group->timingFunction = linear;
  auto strokeStart = gfx::BasicAnimation::withKeyPath("strokeStart");
  strokeStart->fromValue = gfx::AnimValue(0.015);
  strokeStart->toValue = gfx::AnimValue(0.515);
  auto strokeEnd = gfx::BasicAnimation::withKeyPath("strokeEnd");
  strokeEnd->fromValue = gfx::AnimValue(0.485);
  strokeEnd->toValue = gfx::AnimValue(0.985);
  // Both take the group's duration and timing.
  strokeStart->duration = 0;
  strokeEnd->duration = 0;
  group->animations = {strokeStart, strokeEnd};
  ring->addAnimation(group, ProgressAnimationKey);

  return ring;
}

}  // namespace kt
