#include "widgets/transitions/VTTransition.h"

#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"

namespace kt {

VTTransition::VTTransition(std::shared_ptr<ui::View> sourceView, std::shared_ptr<ui::View> destinationView,
                           double duration, int64_t timingCurve, int32_t completionAction)
    : m_sourceView(std::move(sourceView)),
      m_destinationView(std::move(destinationView)),
      m_duration(duration),
      m_rect(m_sourceView ? m_sourceView->bounds() : gfx::Rect()),
      m_completionAction(completionAction),
      m_timingCurve(timingCurve) {}

VTTransition::~VTTransition() = default;

std::string VTTransition::timingCurveFunctionName() const {
  switch (static_cast<uint64_t>(m_timingCurve)) {
    case timingCurveEaseInOut: return TimingFunctionEaseInEaseOut;
    case timingCurveEaseIn: return TimingFunctionEaseIn;
    case timingCurveEaseOut: return TimingFunctionEaseOut;
    case timingCurveLinear: return TimingFunctionLinear;
    default: return TimingFunctionDefault;
  }
}

gfx::TimingFunction VTTransition::timingFunctionNamed(const std::string& name) {
  using Name = gfx::TimingFunction::Name;
  if (name == TimingFunctionEaseInEaseOut) return gfx::TimingFunction::named(Name::EaseInEaseOut);
  if (name == TimingFunctionEaseIn) return gfx::TimingFunction::named(Name::EaseIn);
  if (name == TimingFunctionEaseOut) return gfx::TimingFunction::named(Name::EaseOut);
  if (name == TimingFunctionLinear) return gfx::TimingFunction::named(Name::Linear);
  return gfx::TimingFunction::named(Name::Default);
}

void VTTransition::perform(Completion) {
  throw TransitionException("Incomplete Implementation",
                            "VTTransition must be subclassed and the perform: method implemented.");
}

void VTTransition::transitionDidComplete() {
  switch (m_completionAction) {
    case transitionActionSwapViews:
      if (m_sourceView) {
        if (auto* super = m_sourceView->superview(); super && m_destinationView) super->addSubview(m_destinationView);
        m_sourceView->removeFromSuperview();
        m_sourceView->setHidden(false);
      }
      break;
    case transitionActionShowHide:
      if (m_destinationView) m_destinationView->setHidden(false);
      if (m_sourceView) m_sourceView->setHidden(true);
      break;
    case transitionActionNone:
      if (m_sourceView) m_sourceView->setHidden(false);
      break;
    default:
      break;
  }
}

ui::ViewController* rootViewController(ui::ViewController* controller) {
  while (controller && controller->parentViewController()) controller = controller->parentViewController();
  return controller;
}

void VTTransition::setPresentingController(ui::ViewController* controller) {
  ui::ViewController* root = rootViewController(controller);
  if (!root) {
    m_sourceView = nullptr;
    return;
  }
  // The source is the whole screen content under the root. Views here never lay out under the
  // status bar, so the area stays the bounds taken at initialisation.
  m_sourceView = root->view();
}

}  // namespace kt
