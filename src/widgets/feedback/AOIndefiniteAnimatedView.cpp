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

AOIndefiniteAnimatedView::AOIndefiniteAnimatedView(const gfx::Rect& frame) : ui::View(frame) {}

AOIndefiniteAnimatedView::~AOIndefiniteAnimatedView() = default;

void AOIndefiniteAnimatedView::willMoveToSuperview(ui::View* newSuperview) {
  if (newSuperview) {
    layoutAnimatedLayer();
  } else {
    dropLayer();
  }
}

void AOIndefiniteAnimatedView::layoutAnimatedLayer() {
  const auto& ring = indefiniteAnimatedLayer();
  gfx::Transaction::begin();
  gfx::Transaction::setDisableActions(true);
  if (ring->superlayer() != layer().get()) layer()->addSublayer(ring);
  const gfx::Size outer = bounds().size;
  const gfx::Size inner = ring->bounds().size;
  ring->setPosition(gfx::Point{outer.width - inner.width / 2 - (outer.width - inner.width) / 2,
                               outer.height - inner.height / 2 - (outer.height - inner.height) / 2});
  gfx::Transaction::commit();
}

const std::shared_ptr<gfx::Layer>& AOIndefiniteAnimatedView::indefiniteAnimatedLayer() {
  if (m_indefiniteAnimatedLayer) return m_indefiniteAnimatedLayer;
  const double c = m_radius + m_strokeThickness / 2 + 5;
  const gfx::Point centre{c, c};
  // Two full turns from the top (3π/2 to 11π/2), one turn at a time so that both are kept.
  gfx::Path path;
  path.addArc(centre, m_radius, 3 * M_PI / 2, 7 * M_PI / 2, true);
  path.addArc(centre, m_radius, 7 * M_PI / 2, 11 * M_PI / 2, true);

  gfx::Transaction::begin();
  gfx::Transaction::setDisableActions(true);
  auto ring = gfx::Layer::create(gfx::LayerKind::Shape);
  ring->setContentsScale(ui::Screen::main().scale());
  ring->setFrame(gfx::Rect(0, 0, 2 * c, 2 * c));
  ring->setFillColor(gfx::Color::clear());
  ring->setStrokeColor(m_strokeColor);
  ring->setLineWidth(m_strokeThickness);
  ring->setLineCap(gfx::LineCap::Round);
  ring->setLineJoin(gfx::LineJoin::Bevel);
  ring->setPath(std::move(path));

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

  m_indefiniteAnimatedLayer = std::move(ring);
  return m_indefiniteAnimatedLayer;
}

void AOIndefiniteAnimatedView::setFrame(const gfx::Rect& frame) {
  if (frame == this->frame()) return;
  ui::View::setFrame(frame);
  if (superview()) layoutAnimatedLayer();
}

void AOIndefiniteAnimatedView::setRadius(double radius) {
  if (radius == m_radius) return;
  m_radius = radius;
  dropLayer();
  if (superview()) layoutAnimatedLayer();
}

void AOIndefiniteAnimatedView::setStrokeColor(const gfx::Color& color) {
  m_strokeColor = color;
  if (m_indefiniteAnimatedLayer) m_indefiniteAnimatedLayer->setStrokeColor(color);
}

void AOIndefiniteAnimatedView::setStrokeThickness(double thickness) {
  m_strokeThickness = thickness;
  if (m_indefiniteAnimatedLayer) m_indefiniteAnimatedLayer->setLineWidth(thickness);
}

gfx::Size AOIndefiniteAnimatedView::sizeThatFits(gfx::Size) const {
  const double c = m_radius + m_strokeThickness / 2 + 5;
  return gfx::Size{2 * c, 2 * c};
}

void AOIndefiniteAnimatedView::sizeToFit() {
  const gfx::Rect f = frame();
  setFrame(gfx::Rect(f.origin, sizeThatFits(f.size)));
}

void AOIndefiniteAnimatedView::dropLayer() {
  if (!m_indefiniteAnimatedLayer) return;
  m_indefiniteAnimatedLayer->removeFromSuperlayer();
  m_indefiniteAnimatedLayer.reset();
}

}  // namespace kt
