#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "platform/gfx/Geometry.h"
#include "platform/gfx/TimingFunction.h"

namespace ui {
class View;
class ViewController;
}  // namespace ui

namespace kt {

// What transitionDidComplete does with the two views.
enum TransitionAction : int32_t {
  transitionActionSwapViews = 0,
  transitionActionShowHide = 1,
  transitionActionNone = 2,
};

enum TimingCurve : int64_t {
  timingCurveEaseInOut = 0,
  timingCurveEaseIn = 1,
  timingCurveEaseOut = 2,
  timingCurveLinear = 3,
};

// Raised on misuse of a transition: `name()` is "Invalid Operation" or "Incomplete
// Implementation", what() the reason.
class TransitionException : public std::logic_error {
 public:
  TransitionException(std::string name, const std::string& reason) : std::logic_error(reason), m_name(std::move(name)) {}
  const std::string& name() const { return m_name; }

 private:
  std::string m_name;
};

// The base of the layer-animated transitions between two views: the views, the duration, the
// area taking part, the timing curve, the perspective term and what happens to the views at the
// end. Subclasses implement perform(); a transition lives for one run and its animation keeps it
// alive until the end. Main thread only.
class VTTransition : public std::enable_shared_from_this<VTTransition> {
 public:
  using Completion = std::function<void(bool finished)>;

  // The names of the timing functions, as timingCurveFunctionName() answers them.
  static constexpr const char* TimingFunctionEaseInEaseOut = "easeInEaseOut";
  static constexpr const char* TimingFunctionEaseIn = "easeIn";
  static constexpr const char* TimingFunctionEaseOut = "easeOut";
  static constexpr const char* TimingFunctionLinear = "linear";
  static constexpr const char* TimingFunctionDefault = "default";

  VTTransition(std::shared_ptr<ui::View> sourceView, std::shared_ptr<ui::View> destinationView, double duration,
               int64_t timingCurve, int32_t completionAction);
  virtual ~VTTransition();
  VTTransition(const VTTransition&) = delete;
  VTTransition& operator=(const VTTransition&) = delete;

  static double defaultDuration() { return 0.3; }

  // The timing function's name for the curve (unsigned comparison: negative curves get the default).
  std::string timingCurveFunctionName() const;
  // The timing function of a name; the default curve for an unknown one.
  static gfx::TimingFunction timingFunctionNamed(const std::string& name);

  void perform() { perform(nullptr); }
  // Runs the transition; the completion (may be empty) is called with true at the end.
  virtual void perform(Completion completion);
  // Applies the completion action to the views.
  void transitionDidComplete();
  // Prepares a modal presentation over `controller`: the source becomes the view of its root
  // controller. Null clears it.
  void setPresentingController(ui::ViewController* controller);

  const std::shared_ptr<ui::View>& sourceView() const { return m_sourceView; }
  void setSourceView(std::shared_ptr<ui::View> view) { m_sourceView = std::move(view); }
  const std::shared_ptr<ui::View>& destinationView() const { return m_destinationView; }
  void setDestinationView(std::shared_ptr<ui::View> view) { m_destinationView = std::move(view); }
  double duration() const { return m_duration; }
  void setDuration(double duration) { m_duration = duration; }
  const gfx::Rect& rect() const { return m_rect; }
  void setRect(const gfx::Rect& rect) { m_rect = rect; }
  int32_t completionAction() const { return m_completionAction; }
  void setCompletionAction(int32_t action) { m_completionAction = action; }
  int64_t timingCurve() const { return m_timingCurve; }
  void setTimingCurve(int64_t curve) { m_timingCurve = curve; }
  // Positive infinity: unset, the subclass computes its own.
  float m34() const { return m_m34; }
  void setM34(float m34) { m_m34 = m34; }
  bool isDimissing() const { return m_dismissing; }
  void setDismissing(bool dismissing) { m_dismissing = dismissing; }

 private:
  std::shared_ptr<ui::View> m_sourceView;
  std::shared_ptr<ui::View> m_destinationView;
  double m_duration = 0;
  gfx::Rect m_rect;
  int32_t m_completionAction = transitionActionNone;
  int64_t m_timingCurve = timingCurveEaseInOut;
  float m_m34 = INFINITY;
  bool m_dismissing = false;
};

// The root of a controller's chain of parents (the controller itself when it has none).
ui::ViewController* rootViewController(ui::ViewController* controller);

}  // namespace kt
