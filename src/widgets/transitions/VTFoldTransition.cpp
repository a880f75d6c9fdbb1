#include "widgets/transitions/VTFoldTransition.h"

#include <cmath>
#include <utility>
#include <vector>

#include "platform/core/Queue.h"
#include "platform/gfx/Animation.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/Layer.h"
#include "platform/gfx/Transaction.h"
#include "platform/ui/Device.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Screen.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "widgets/transitions/TransitionFlows.h"
#include "widgets/transitions/VTAnimation.h"

namespace kt {

namespace {

constexpr double kQuarterTurn = M_PI / 2;

// Builds layers without implicit animations.
struct QuietLayers {
  QuietLayers() {
    gfx::Transaction::begin();
    gfx::Transaction::setDisableActions(true);
  }
  ~QuietLayers() { gfx::Transaction::commit(); }
  QuietLayers(const QuietLayers&) = delete;
  QuietLayers& operator=(const QuietLayers&) = delete;
};

std::shared_ptr<gfx::Layer> page(const gfx::Size& size, gfx::Point anchor, gfx::Point position,
                                 std::shared_ptr<const gfx::Image> contents) {
  auto layer = gfx::Layer::create();
  layer->setFrame(gfx::Rect(0, 0, size.width, size.height));
  layer->setAnchorPoint(anchor);
  layer->setPosition(position);
  layer->setContents(std::move(contents));
  return layer;
}

// The dimming layer of a page: its bounds less the transparent border, clear at first.
std::shared_ptr<gfx::Layer> shadowOf(gfx::Layer& pageLayer, bool leftRight, const gfx::Color& colour) {
  auto shadow = gfx::Layer::create();
  gfx::Rect b = pageLayer.bounds();
  shadow->setFrame(leftRight ? b.insetBy(0, 1) : b.insetBy(1, 0));
  shadow->setBackgroundColor(colour);
  shadow->setOpacity(0);
  pageLayer.addSublayer(shadow);
  return shadow;
}

}  // namespace

VTFoldTransition::VTFoldTransition(std::shared_ptr<ui::View> sourceView, std::shared_ptr<ui::View> destinationView,
                                   double duration, uint64_t style, int32_t completionAction)
    : VTTransition(std::move(sourceView), std::move(destinationView), duration,
                   timingCurveEaseOut - static_cast<int64_t>(style & foldStyleReverse), completionAction),
      m_style(style) {}

std::vector<double> VTFoldTransition::depthKeyframes(double depth, double duration, bool reverse) {
  const int n = static_cast<int>(std::ceil(static_cast<float>(duration * 60)));
  std::vector<double> values;
  if (n < 0) return {0};
  values.reserve(static_cast<size_t>(n) + 1);
  for (int i = 0; i <= n; ++i) {
    if ((!reverse && i == n) || (reverse && i == 0)) {
      values.push_back(0);
      continue;
    }
    double theta = static_cast<double>(static_cast<float>(i) / static_cast<float>(n)) * kQuarterTurn;
    values.push_back(static_cast<float>(depth * (reverse ? std::sin(theta) : std::cos(theta))));
  }
  return values;
}

void VTFoldTransition::finish(const Completion& completion) {
  if (m_animationView) m_animationView->removeFromSuperview();
  m_animationView = nullptr;
  transitionDidComplete();
  if (completion) completion(true);
}

void VTFoldTransition::perform(Completion completion) {
  auto self = std::static_pointer_cast<VTFoldTransition>(shared_from_this());
  auto later = [self, completion] {
    core::Queue::main()->async([self, completion] { self->finish(completion); });
  };
  const auto& source = sourceView();
  const auto& destination = destinationView();
  if (!source || !destination) return later();

  const bool reverse = m_style & foldStyleReverse;
  const bool perpendicular = m_style & foldStylePerpendicular;
  const bool leftRight = m_style & foldStyleLeftRight;
  const double s = ui::Screen::main().drawingScale();
  gfx::Rect area = rect();
  const double x = area.x(), y = area.y(), W = area.width(), H = area.height();
  const double D = leftRight ? W : H, L = leftRight ? H : W;
  if (!(W > 0) || !(H > 0)) return later();

  auto toPixels = [s](double v) { return static_cast<double>(std::roundf(static_cast<float>(v * s))) / s; };
  const double c = D / 2, r = toPixels(c);
  const double firstDepth = c == r ? c : r, secondDepth = c == r ? c : D - r;
  const double hR = r;
  // (a, b) in top-and-bottom terms, transposed for left and right halves.
  auto pt = [leftRight](double a, double b) { return leftRight ? gfx::Point{b, a} : gfx::Point{a, b}; };
  auto sz = [leftRight](double a, double b) { return leftRight ? gfx::Size{b, a} : gfx::Size{a, b}; };

  gfx::Rect r1 = leftRight ? gfx::Rect(x, y, firstDepth, H) : gfx::Rect(x, y, W, firstDepth);
  gfx::Rect r2 = leftRight ? gfx::Rect(x + firstDepth, y, secondDepth, H) : gfx::Rect(x, y + firstDepth, W, secondDepth);
  if (!isDimissing()) destination->setBounds(gfx::Rect(0, 0, W, H));
  gfx::Rect d1 = r1.offsetBy(-x, -y), d2 = r2.offsetBy(-x, -y);
  if (isDimissing()) {
    double dW = destination->bounds().width() - W, dH = destination->bounds().height() - H;
    d1 = d1.offsetBy(dW, dH);
    d2 = d2.offsetBy(dW, dH);
    area = area.offsetBy(dW, dH);
    setRect(area);
  }

  // The folding halves get a transparent border on the edges that turn.
  const gfx::EdgeInsets foldInsets = leftRight ? gfx::EdgeInsets{1, 0, 1, 0} : gfx::EdgeInsets{0, 1, 0, 1};
  auto& folding = reverse ? *destination : *source;
  auto& moving = reverse ? *source : *destination;
  const gfx::Rect& fold1 = reverse ? d1 : r1;
  const gfx::Rect& fold2 = reverse ? d2 : r2;
  auto f1 = VTAnimation::renderImageFromView(folding, fold1, foldInsets);
  auto f2 = VTAnimation::renderImageFromView(folding, fold2, foldInsets);
  if (c != r) {
    // The second half reaches one point across the centre line, over the rounding gap.
    auto grow = [leftRight](gfx::Rect& q) {
      q = leftRight ? gfx::Rect(q.x() - 1, q.y(), q.width() + 1, q.height())
                    : gfx::Rect(q.x(), q.y() - 1, q.width(), q.height() + 1);
    };
    grow(r2);
    grow(d2);
  }
  const gfx::Rect& move1 = reverse ? r1 : d1;
  const gfx::Rect& move2 = reverse ? r2 : d2;
  const gfx::EdgeInsets moveInsets = perpendicular ? foldInsets : gfx::EdgeInsets{};
  auto m1 = VTAnimation::renderImageFromView(moving, move1, moveInsets);
  auto m2 = VTAnimation::renderImageFromView(moving, move2, moveInsets);

  ui::View* container = source->superview();
  ui::View* hidden = source.get();
  if (!container) {
    container = destination->superview();
    hidden = destination.get();
  }
  // Nothing to show the fold in: nothing is hidden, and the end comes all the same.
  if (!container) return later();
  hidden->setHidden(true);

  gfx::Rect frame = container->convertRectFrom(area, hidden);
  const gfx::Point mid{frame.midX(), frame.midY()};
  const bool inWindow = dynamic_cast<ui::Window*>(container) != nullptr;
  if (inWindow) frame = hidden->convertRectFrom(frame, nullptr);

  const double f = leftRight ? -1 : 1;
  const double p = perpendicular ? 2 : 0;
  const char* rotation = leftRight ? "transform.rotation.y" : "transform.rotation.x";
  const double axisX = leftRight ? 0 : 1, axisY = leftRight ? 1 : 0;
  std::shared_ptr<gfx::Layer> base, upper, lower, moving1, folding1, folding2, moving2;
  std::shared_ptr<gfx::Layer> shadowF1, shadowF2, shadowM1, shadowM2;
  {
    QuietLayers quiet;
    m_animationView = ui::View::create(frame);
    m_animationView->setBackgroundColor(gfx::Color::clear());
    m_animationView->setTransform(hidden->transform());
    container->insertSubview(m_animationView, 0);
    if (inWindow) m_animationView->layer()->setPosition(mid);
    const gfx::Rect viewBounds = m_animationView->bounds();

    base = gfx::Layer::create();
    base->setFrame(gfx::Rect(0, 0, W, H));
    m_animationView->layer()->addSublayer(base);

    upper = gfx::Layer::create(gfx::LayerKind::Transform);
    upper->setFrame(viewBounds);
    upper->setAnchorPoint(pt(0.5, 0));
    upper->setPosition(pt(L / 2, 0));
    base->addSublayer(upper);

    moving1 = page(sz(L + p, hR), pt(0.5, 1), pt(L / 2, 0), m1);
    upper->addSublayer(moving1);
    folding1 = page(sz(L + 2, hR), pt(0.5, 0), pt(L / 2, 0), f1);
    upper->addSublayer(folding1);

    lower = gfx::Layer::create(gfx::LayerKind::Transform);
    lower->setFrame(viewBounds);
    lower->setFrame(gfx::Rect(0, 0, W, H));
    lower->setAnchorPoint(pt(0.5, 0));
    lower->setPosition(pt(L / 2, hR));
    upper->addSublayer(lower);

    folding2 = page(sz(L + 2, D - hR), pt(0.5, 0), pt(L / 2, 0), f2);
    lower->addSublayer(folding2);
    moving2 = page(sz(L + p, hR), pt(0.5, 0), pt(L / 2, D - hR), m2);
    lower->addSublayer(moving2);

    shadowF1 = shadowOf(*folding1, leftRight, m_foldShadowColor);
    shadowF2 = shadowOf(*folding2, leftRight, m_foldShadowColor);
    if (perpendicular) {
      shadowM1 = shadowOf(*moving1, leftRight, m_foldShadowColor);
      shadowM2 = shadowOf(*moving2, leftRight, m_foldShadowColor);
      moving2->setTransform(moving2->transform().rotated(-kQuarterTurn * f, axisX, axisY, 0));
      moving1->setTransform(moving1->transform().rotated(kQuarterTurn * f, axisX, axisY, 0));
    }

    gfx::Transform3D perspective;
    perspective.m34 = std::isinf(m34()) && m34() > 0 ? -1 / (4.6666667 * D / 2) : static_cast<double>(m34());
    base->setSublayerTransform(perspective);
  }

  const gfx::TimingFunction timing = timingFunctionNamed(timingCurveFunctionName());
  auto settle = [&](gfx::PropertyAnimation& a) {
    a.fillMode = gfx::FillMode::Forwards;
    a.removedOnCompletion = false;
    a.duration = duration();
    a.timingFunction = timing;
  };
  auto basic = [&](const std::shared_ptr<gfx::Layer>& layer, const char* keyPath, double from, double to) {
    auto a = gfx::BasicAnimation::withKeyPath(keyPath);
    settle(*a);
    if (reverse) std::swap(from, to);
    a->fromValue = from;
    a->toValue = to;
    layer->addAnimation(a, "");
  };

  gfx::Transaction::begin();
  gfx::Transaction::setAnimationDuration(static_cast<float>(duration()));
  gfx::Transaction::setAnimationTimingFunction(timing);
  gfx::Transaction::setCompletionBlock([self, completion] { self->finish(completion); });
  basic(upper, rotation, 0, -kQuarterTurn * f);
  basic(lower, rotation, 0, 2 * kQuarterTurn * f);
  if (!perpendicular) {
    basic(moving2, rotation, 0, -kQuarterTurn * f);
    basic(moving1, rotation, 0, kQuarterTurn * f);
  }
  auto depth = gfx::KeyframeAnimation::withKeyPath(leftRight ? "bounds.size.width" : "bounds.size.height");
  settle(*depth);
  for (double v : depthKeyframes(D, duration(), reverse)) depth->values.emplace_back(v);
  base->addAnimation(depth, "");
  basic(shadowF1, "opacity", 0, m_foldShadowOpacity);
  basic(shadowF2, "opacity", 0, m_foldShadowOpacity * m_foldShadowAdjustmentFactor);
  if (perpendicular) {
    basic(shadowM1, "opacity", m_foldShadowOpacity, 0);
    basic(shadowM2, "opacity", m_foldShadowOpacity, 0);
  }
  gfx::Transaction::commit();
}

void VTFoldTransition::transitionFromViewController(ui::ViewController& from, ui::ViewController& to, double duration,
                                                    uint64_t style, Completion completion) {
  transitionFromView(from.view(), to.view(), duration, style, transitionActionNone, std::move(completion));
}

void VTFoldTransition::transitionFromView(std::shared_ptr<ui::View> source, std::shared_ptr<ui::View> destination,
                                          double duration, uint64_t style, int32_t action, Completion completion) {
  flows::transitionFromView<VTFoldTransition>(std::move(source), std::move(destination), duration, style, action,
                                              std::move(completion));
}

void VTFoldTransition::presentViewController(std::shared_ptr<ui::ViewController> controller, ui::ViewController& from,
                                             double duration, uint64_t style, Completion completion) {
  flows::present<VTFoldTransition>(std::move(controller), from, duration, style, std::move(completion));
}

void VTFoldTransition::dismissViewControllerFromPresentingController(ui::ViewController& presenting, double duration,
                                                                     uint64_t style, Completion completion) {
  flows::dismiss<VTFoldTransition>(presenting, duration, style, std::move(completion),
                                   "VTFoldTransition::dismissViewControllerFromPresentingController");
}

void presentViewController(ui::ViewController& presenting, std::shared_ptr<ui::ViewController> controller,
                           FoldStyle style, VTTransition::Completion completion) {
  VTFoldTransition::presentViewController(std::move(controller), presenting, VTTransition::defaultDuration(), style,
                                          std::move(completion));
}

void dismissViewControllerWithFoldStyle(ui::ViewController& presenting, FoldStyle style,
                                        VTTransition::Completion completion) {
  VTFoldTransition::dismissViewControllerFromPresentingController(presenting, VTTransition::defaultDuration(), style,
                                                                  std::move(completion));
}

void pushViewController(ui::NavigationController& navigation, std::shared_ptr<ui::ViewController> controller,
                        FoldStyle style) {
  flows::push<VTFoldTransition>(navigation, std::move(controller), style);
}

std::shared_ptr<ui::ViewController> popViewControllerWithFoldStyle(ui::NavigationController& navigation,
                                                                   FoldStyle style) {
  return flows::pop<VTFoldTransition>(navigation, style);
}

}  // namespace kt
