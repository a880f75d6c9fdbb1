#include "widgets/transitions/VTFlipTransition.h"

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

// A page showing a snapshot of `half` with its border. A half that gives no snapshot (under a
// pixel across, or beyond the largest bitmap) makes an empty page of the size it would have had.
std::shared_ptr<gfx::Layer> page(const std::shared_ptr<gfx::Image>& contents, const gfx::Rect& half,
                                 const gfx::EdgeInsets& border, gfx::Point anchor, gfx::Point position) {
  const gfx::Size size = contents ? contents->size()
                                  : gfx::Size{half.width() + border.left + border.right,
                                              half.height() + border.top + border.bottom};
  auto layer = gfx::Layer::create();
  layer->setFrame(gfx::Rect(0, 0, size.width, size.height));
  layer->setAnchorPoint(anchor);
  layer->setPosition(position);
  layer->setContents(contents);
  return layer;
}

// A flat shadow over the whole of a page.
std::shared_ptr<gfx::Layer> flatShadow(const gfx::Layer& pageLayer, const gfx::Color& colour, double opacity) {
  auto shadow = gfx::Layer::create();
  shadow->setFrame(pageLayer.bounds());
  shadow->setBackgroundColor(colour);
  shadow->setOpacity(opacity);
  return shadow;
}

// One half's animations: they run the half's time on its curve and stay at their end.
struct Half {
  double duration;
  gfx::TimingFunction timing;
  void settle(gfx::PropertyAnimation& a) const {
    a.fillMode = gfx::FillMode::Forwards;
    a.removedOnCompletion = false;
    a.duration = duration;
    a.timingFunction = timing;
  }
  void animate(const std::shared_ptr<gfx::Layer>& layer, const char* keyPath, double from, double to) const {
    auto a = gfx::BasicAnimation::withKeyPath(keyPath);
    settle(*a);
    a->fromValue = from;
    a->toValue = to;
    layer->addAnimation(a, "");
  }
};

}  // namespace

struct VTFlipTransition::Pages {
  std::shared_ptr<gfx::Layer> root, front, back, revealedShadow, still, stillShadow;
  const char* rotation = "";
  double sign = 1;  // g: the sign of the page's angles
  bool topBottom = false;
};

VTFlipTransition::VTFlipTransition(std::shared_ptr<ui::View> sourceView, std::shared_ptr<ui::View> destinationView,
                                   double duration, uint64_t style, int32_t completionAction)
    : VTTransition(std::move(sourceView), std::move(destinationView), duration, timingCurveEaseInOut,
                   completionAction),
      m_style(style) {}

std::string VTFlipTransition::timingCurveFunctionNameFirstHalf() const {
  switch (timingCurve()) {
    case timingCurveEaseOut:
    case timingCurveLinear:
      return TimingFunctionLinear;
    default:
      return TimingFunctionEaseIn;
  }
}

std::string VTFlipTransition::timingCurveFunctionNameSecondHalf() const {
  switch (timingCurve()) {
    case timingCurveEaseIn:
    case timingCurveLinear:
      return TimingFunctionLinear;
    default:
      return TimingFunctionEaseOut;
  }
}

std::vector<double> VTFlipTransition::shadowKeyframes(double opacity, double duration, bool rising) {
  const int n = static_cast<int>(std::ceil(static_cast<float>(duration * 0.5 * 60)));
  if (n <= 0) return {0};  // a single value, both the first and the last
  std::vector<double> values;
  values.reserve(static_cast<size_t>(n) + 1);
  for (int i = 0; i <= n; ++i) {
    if ((!rising && i == n) || (rising && i == 0)) {
      values.push_back(0);
      continue;
    }
    double theta = static_cast<double>(static_cast<float>(i) / static_cast<float>(n)) * kQuarterTurn;
    values.push_back(static_cast<float>(opacity * (rising ? std::sin(theta) : std::cos(theta))));
  }
  return values;
}

void VTFlipTransition::finish(const Completion& completion) {
  if (m_animationView) m_animationView->removeFromSuperview();
  m_animationView = nullptr;
  m_pages = nullptr;
  transitionDidComplete();
  if (completion) completion(true);
}

void VTFlipTransition::perform(Completion completion) {
  auto self = std::static_pointer_cast<VTFlipTransition>(shared_from_this());
  auto later = [self, completion] {
    core::Queue::main()->async([self, completion] { self->finish(completion); });
  };
  const auto& source = sourceView();
  const auto& destination = destinationView();
  if (!source || !destination) return later();

  const bool backward = m_style & flipStyleBackward;
  const bool topBottom = m_style & flipStyleTopBottom;
  const bool inverted = m_style & flipStyleInvertedPerspective;
  const double s = ui::Screen::main().drawingScale();
  gfx::Rect area = rect();
  const double x = area.x(), y = area.y(), W = area.width(), H = area.height();
  if (!(W > 0) || !(H > 0)) return later();
  const double D = topBottom ? H : W, O = topBottom ? W : H;

  auto toPixels = [s](double v) { return static_cast<double>(std::roundf(static_cast<float>(v * s))) / s; };
  const double c = D / 2, r = toPixels(c);
  const double first = c == r ? c : r, second = c == r ? c : D - r;
  const double hR = r;
  // (a, b) in left-and-right terms, transposed for top and bottom halves.
  auto pt = [topBottom](double a, double b) { return topBottom ? gfx::Point{b, a} : gfx::Point{a, b}; };

  gfx::Rect r1 = topBottom ? gfx::Rect(x, y, W, first) : gfx::Rect(x, y, first, H);
  gfx::Rect r2 = topBottom ? gfx::Rect(x, y + first, W, second) : gfx::Rect(x + first, y, second, H);
  if (!isDimissing()) destination->setBounds(gfx::Rect(0, 0, W, H));
  gfx::Rect d1 = r1.offsetBy(-x, -y), d2 = r2.offsetBy(-x, -y);
  if (isDimissing()) {
    double dW = destination->bounds().width() - W, dH = destination->bounds().height() - H;
    d1 = d1.offsetBy(dW, dH);
    d2 = d2.offsetBy(dW, dH);
    area = area.offsetBy(dW, dH);
    setRect(area);
  }

  const gfx::EdgeInsets border = topBottom ? gfx::EdgeInsets{0, 1, 0, 1} : gfx::EdgeInsets{1, 0, 1, 0};
  auto frontImage = VTAnimation::renderImageFromView(*source, backward ? r1 : r2, border);
  auto stillImage = VTAnimation::renderImageFromView(*source, backward ? r2 : r1);
  auto backImage = VTAnimation::renderImageFromView(*destination, backward ? d2 : d1, border);
  auto revealedImage = VTAnimation::renderImageFromView(*destination, backward ? d1 : d2);

  ui::View* container = source->superview();
  ui::View* hidden = source.get();
  if (!container) {
    container = destination->superview();
    hidden = destination.get();
  }
  // Nothing to show the flip in: nothing is hidden, and the end comes all the same.
  if (!container) return later();
  hidden->setHidden(true);

  gfx::Rect frame = container->convertRectFrom(area, hidden);
  const gfx::Point mid{frame.midX(), frame.midY()};
  const bool inWindow = dynamic_cast<ui::Window*>(container) != nullptr;
  if (inWindow) frame = hidden->convertRectFrom(frame, nullptr);

  auto pages = std::make_shared<Pages>();
  pages->topBottom = topBottom;
  pages->rotation = topBottom ? "transform.rotation.x" : "transform.rotation.y";
  pages->sign = (topBottom ? 1 : -1) * (backward ? -1 : 1);
  const gfx::Point hinge = pt(hR, O / 2);
  const gfx::Point turningAnchor = pt(backward ? 1 : 0, 0.5), stillAnchor = pt(backward ? 0 : 1, 0.5);
  std::shared_ptr<gfx::Layer> revealed, frontGradient;
  {
    gfx::Transaction::begin();
    gfx::Transaction::setDisableActions(true);
    m_animationView = ui::View::create(frame);
    m_animationView->setBackgroundColor(gfx::Color::clear());
    m_animationView->setTransform(hidden->transform());
    container->insertSubview(m_animationView, 0);
    if (inWindow) m_animationView->layer()->setPosition(mid);
    pages->root = m_animationView->layer();

    const gfx::EdgeInsets none{};
    revealed = page(revealedImage, backward ? d1 : d2, none, turningAnchor, hinge);
    pages->root->addSublayer(revealed);
    pages->still = page(stillImage, backward ? r2 : r1, none, stillAnchor, hinge);
    pages->root->addSublayer(pages->still);
    pages->front = page(frontImage, backward ? r1 : r2, border, turningAnchor, hinge);
    pages->root->addSublayer(pages->front);
    pages->back = page(backImage, backward ? d2 : d1, border, stillAnchor, hinge);

    // The gradients on the two sides of the page, clear of its transparent border.
    auto gradient = [&](gfx::Layer& onto, std::vector<gfx::Color> colours, std::vector<double> locations,
                        gfx::Point start, gfx::Point end, double opacity) {
      auto g = gfx::Layer::create(gfx::LayerKind::Gradient);
      gfx::Rect b = onto.bounds();
      g->setFrame(topBottom ? b.insetBy(1, 0) : b.insetBy(0, 1));
      g->setColors(std::move(colours));
      g->setLocations(std::move(locations));
      g->setStartPoint(pt(start.x, start.y));
      g->setEndPoint(pt(end.x, end.y));
      g->setOpacity(opacity);
      onto.addSublayer(g);
      return g;
    };
    const gfx::Color shade = m_flipShadowColor, half = m_flipShadowColor.withAlpha(0.5), clear = gfx::Color::clear();
    frontGradient = backward ? gradient(*pages->front, {clear, shade, half}, {0, 0.9, 1}, {0.5, 0.5}, {1, 0.5}, 0)
                             : gradient(*pages->front, {half, shade, clear}, {0, 0.1, 1}, {0, 0.5}, {0.5, 0.5}, 0);
    const double backOpacity = m_flippingPageShadowOpacity;
    if (backward)
      gradient(*pages->back, {half, shade, clear}, {0, 0.1, 1}, {0, 0.5}, {0.5, 0.5}, backOpacity);
    else
      gradient(*pages->back, {clear, shade, half}, {0, 0.9, 1}, {0.5, 0.5}, {1, 0.5}, backOpacity);

    if (!inverted) {
      pages->revealedShadow = flatShadow(*revealed, m_flipShadowColor, m_coveredPageShadowOpacity);
      revealed->addSublayer(pages->revealedShadow);
      pages->stillShadow = flatShadow(*pages->still, m_flipShadowColor, 0);
    }

    gfx::Transform3D perspective;
    double m = std::isinf(m34()) && m34() > 0 ? -1 / (4.6666667 * D / 2) : static_cast<double>(m34());
    perspective.m34 = inverted ? -m : m;
    pages->root->setSublayerTransform(perspective);
    gfx::Transaction::commit();
  }
  m_pages = pages;

  const Half half{static_cast<float>(duration() * 0.5), timingFunctionNamed(timingCurveFunctionNameFirstHalf())};
  gfx::Transaction::begin();
  gfx::Transaction::setAnimationDuration(half.duration);
  gfx::Transaction::setAnimationTimingFunction(half.timing);
  gfx::Transaction::setCompletionBlock([self, completion] { self->secondHalf(completion); });
  half.animate(pages->front, pages->rotation, 0, kQuarterTurn * pages->sign);
  half.animate(frontGradient, "opacity", 0, m_flippingPageShadowOpacity);
  if (pages->revealedShadow) {
    auto fade = gfx::KeyframeAnimation::withKeyPath("opacity");
    half.settle(*fade);
    for (double v : shadowKeyframes(m_coveredPageShadowOpacity, duration(), false)) fade->values.emplace_back(v);
    pages->revealedShadow->addAnimation(fade, "");
  }
  gfx::Transaction::commit();
}

void VTFlipTransition::secondHalf(const Completion& completion) {
  auto self = std::static_pointer_cast<VTFlipTransition>(shared_from_this());
  const auto pages = m_pages;
  if (!pages) return finish(completion);
  pages->back->setTransform(
      gfx::Transform3D::rotation(-kQuarterTurn * pages->sign, pages->topBottom ? 1 : 0, pages->topBottom ? 0 : 1, 0));

  gfx::Transaction::begin();
  gfx::Transaction::setDisableActions(true);
  pages->front->removeFromSuperlayer();
  if (pages->revealedShadow) pages->revealedShadow->removeFromSuperlayer();
  pages->root->addSublayer(pages->back);
  if (pages->stillShadow) pages->still->addSublayer(pages->stillShadow);
  gfx::Transaction::commit();

  const Half half{static_cast<float>(duration() * 0.5), timingFunctionNamed(timingCurveFunctionNameSecondHalf())};
  gfx::Transaction::begin();
  gfx::Transaction::setAnimationDuration(half.duration);
  gfx::Transaction::setAnimationTimingFunction(half.timing);
  gfx::Transaction::setCompletionBlock([self, completion] { self->finish(completion); });
  half.animate(pages->back, pages->rotation, -kQuarterTurn * pages->sign, 0);
  half.animate(pages->back->sublayers().at(0), "opacity", m_flippingPageShadowOpacity, 0);
  if (pages->stillShadow) {
    auto darken = gfx::KeyframeAnimation::withKeyPath("opacity");
    half.settle(*darken);
    for (double v : shadowKeyframes(m_coveredPageShadowOpacity, duration(), true)) darken->values.emplace_back(v);
    pages->stillShadow->addAnimation(darken, "");
  }
  gfx::Transaction::commit();
}

void VTFlipTransition::transitionFromViewController(ui::ViewController& from, ui::ViewController& to, double duration,
                                                    uint64_t style, Completion completion) {
  transitionFromView(from.view(), to.view(), duration, style, transitionActionNone, std::move(completion));
}

void VTFlipTransition::transitionFromView(std::shared_ptr<ui::View> source, std::shared_ptr<ui::View> destination,
                                          double duration, uint64_t style, int32_t action, Completion completion) {
  flows::transitionFromView<VTFlipTransition>(std::move(source), std::move(destination), duration, style, action,
                                              std::move(completion));
}

void VTFlipTransition::presentViewController(std::shared_ptr<ui::ViewController> controller, ui::ViewController& from,
                                             double duration, uint64_t style, Completion completion) {
  flows::present<VTFlipTransition>(std::move(controller), from, duration, style, std::move(completion));
}

void VTFlipTransition::dismissViewControllerFromPresentingController(ui::ViewController& presenting, double duration,
                                                                     uint64_t style, Completion completion) {
  flows::dismiss<VTFlipTransition>(presenting, duration, style, std::move(completion),
                                   "VTFlipTransition::dismissViewControllerFromPresentingController");
}

void presentViewController(ui::ViewController& presenting, std::shared_ptr<ui::ViewController> controller,
                           FlipStyle style, VTTransition::Completion completion) {
  VTFlipTransition::presentViewController(std::move(controller), presenting, VTTransition::defaultDuration(), style,
                                          std::move(completion));
}

void dismissViewControllerWithFlipStyle(ui::ViewController& presenting, FlipStyle style,
                                        VTTransition::Completion completion) {
  VTFlipTransition::dismissViewControllerFromPresentingController(presenting, VTTransition::defaultDuration(), style,
                                                                  std::move(completion));
}

void pushViewController(ui::NavigationController& navigation, std::shared_ptr<ui::ViewController> controller,
                        FlipStyle style) {
  flows::push<VTFlipTransition>(navigation, std::move(controller), style);
}

std::shared_ptr<ui::ViewController> popViewControllerWithFlipStyle(ui::NavigationController& navigation,
                                                                   FlipStyle style) {
  return flows::pop<VTFlipTransition>(navigation, style);
}

}  // namespace kt
