#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/core/NotificationCenter.h"
#include "platform/core/WeakPtr.h"
#include "platform/gfx/Geometry.h"
#include "platform/gfx/Transform.h"
#include "platform/ui/View.h"

namespace core {
class Timer;
}
namespace gfx {
class Font;
}
namespace ui {
class Label;
class Window;
}  // namespace ui

namespace kt {

class ProgressOverlayDelegate;

// The busy overlay: a view as large as the view it covers (it takes the touches meant for it while
// shown), drawing a translucent black box with rounded corners in its centre that holds an
// indicator (a large spinner, the progress pie or a view of the caller's) and, below it, an
// optional label and an optional multi-line details label. It fades (or zooms) in and out, can
// wait a grace time before it shows while a task runs, stays a minimum time once shown, can run a
// task on a thread of its own while shown, and tells its delegate when it has been hidden.
//
// Everything runs on the main thread, except the four look setters (setMode, setLabelText,
// setDetailsLabelText, setProgress), which may be called from any thread and then hand their
// work to the main thread without waiting.
class ProgressOverlay : public ui::View {
 public:
  enum Mode : int { ModeIndeterminate = 0, ModeDeterminate = 1, ModeCustomView = 2 };
  enum AnimationType : int { AnimationFade = 0, AnimationZoom = 1 };

  // What an initializer given no view logs (nothing is made).
  static constexpr const char* ViewIsNilException = "ProgressOverlayViewIsNillException";
  static constexpr const char* ViewIsNilReason = "The view used in the ProgressOverlay initializer is nil.";
  // Seconds of the fade in and out.
  static constexpr double AnimationDuration = 0.3;

  using Text = std::optional<std::string>;
  using Task = std::function<void()>;

  // ---- Creation ----
  // An overlay with the view's bounds, observing device-orientation changes; the caller adds it
  // to the view. A null view is a programming error: it is logged and nullptr comes back.
  static std::shared_ptr<ProgressOverlay> initWithView(ui::View* view);
  static std::shared_ptr<ProgressOverlay> initWithWindow(ui::Window* window);
  // An overlay with the defaults and no observation.
  static std::shared_ptr<ProgressOverlay> initWithFrame(const gfx::Rect& frame);
  explicit ProgressOverlay(const gfx::Rect& frame);
  ~ProgressOverlay() override;

  // ---- Class operations ----
  // Creates an overlay over the view, adds it to the view and shows it; nullptr for a null view.
  static std::shared_ptr<ProgressOverlay> showHUDAddedTo(ui::View* view, bool animated);
  // Hides the last overlay among the view's direct subviews, which then leaves the view; false
  // (and nothing changes) when there is none.
  static bool hideHUDForView(ui::View* view, bool animated);

  // ---- Showing and hiding ----
  void show(bool animated);
  void hide(bool animated);
  void hideAfterDelay(bool animated, double delay);
  // Runs the task on a thread of its own and shows the overlay; when the task has returned, the
  // overlay hides on the main thread. The overlay stays alive until then.
  void showWhileExecuting(Task task, bool animated);
  // Stops observing device-orientation changes, then leaves the view hierarchy. (Hides
  // ui::View::removeFromSuperview: call it on this type.)
  void removeFromSuperview();

  // ---- Settings ----
  int mode() const { return m_mode; }
  void setMode(int mode);
  int animationType() const { return m_animationType; }
  void setAnimationType(int type) { m_animationType = type; }
  const Text& labelText() const { return m_labelText; }
  void setLabelText(const Text& text);
  const Text& detailsLabelText() const { return m_detailsLabelText; }
  void setDetailsLabelText(const Text& text);
  float progress() const { return m_progress; }
  void setProgress(float progress);
  float opacity() const { return m_opacity; }
  void setOpacity(float opacity) { m_opacity = opacity; }
  const std::shared_ptr<const gfx::Font>& labelFont() const { return m_labelFont; }
  // A null font sets the default back.
  void setLabelFont(std::shared_ptr<const gfx::Font> font);
  const std::shared_ptr<const gfx::Font>& detailsLabelFont() const { return m_detailsLabelFont; }
  void setDetailsLabelFont(std::shared_ptr<const gfx::Font> font);
  float xOffset() const { return m_xOffset; }
  void setXOffset(float offset) { m_xOffset = offset; }
  float yOffset() const { return m_yOffset; }
  void setYOffset(float offset) { m_yOffset = offset; }
  float margin() const { return m_margin; }
  void setMargin(float margin) { m_margin = margin; }
  gfx::Size minSize() const { return m_minSize; }
  void setMinSize(gfx::Size size) { m_minSize = size; }
  bool isSquare() const { return m_square; }
  void setSquare(bool square) { m_square = square; }
  bool dimBackground() const { return m_dimBackground; }
  void setDimBackground(bool dim) { m_dimBackground = dim; }
  float graceTime() const { return m_graceTime; }
  void setGraceTime(float seconds) { m_graceTime = seconds; }
  float minShowTime() const { return m_minShowTime; }
  void setMinShowTime(float seconds) { m_minShowTime = seconds; }
  bool removeFromSuperViewOnHide() const { return m_removeFromSuperViewOnHide; }
  void setRemoveFromSuperViewOnHide(bool remove) { m_removeFromSuperViewOnHide = remove; }
  const std::shared_ptr<ui::View>& customView() const { return m_customView; }
  void setCustomView(std::shared_ptr<ui::View> view) { m_customView = std::move(view); }
  // Not owned, held weakly: a delegate that has gone away reads as none.
  ProgressOverlayDelegate* delegate() const { return m_delegate.get(); }
  void setDelegate(ProgressOverlayDelegate* delegate);

  // ---- State ----
  const std::shared_ptr<ui::View>& indicator() const { return m_indicator; }
  void setIndicator(std::shared_ptr<ui::View> indicator) { m_indicator = std::move(indicator); }
  // The box size from the last layout.
  float width() const { return m_width; }
  void setWidth(float width) { m_width = width; }
  float height() const { return m_height; }
  void setHeight(float height) { m_height = height; }
  const std::shared_ptr<core::Timer>& graceTimer() const { return m_graceTimer; }
  const std::shared_ptr<core::Timer>& minShowTimer() const { return m_minShowTimer; }
  bool taskInProgress() const { return m_taskInProgress; }
  void setTaskInProgress(bool inProgress) { m_taskInProgress = inProgress; }
  // core::Clock time of the last show; unset before the first.
  const std::optional<double>& showStarted() const { return m_showStarted; }
  bool isFinished() const { return m_isFinished; }
  const gfx::AffineTransform& rotationTransform() const { return m_rotationTransform; }
  // The labels, made at creation; they are in the overlay only while they have a text to show.
  const std::shared_ptr<ui::Label>& label() const { return m_label; }
  const std::shared_ptr<ui::Label>& detailsLabel() const { return m_detailsLabel; }
  // The box as drawn, in the overlay's bounds.
  gfx::Rect boxRect() const;

  // ---- Orientation ----
  void setTransformForCurrentOrientation(bool animated);
  void deviceOrientationDidChange();

  // ---- View ----
  void layoutSubviews() override;
  void drawRect(gfx::Context& ctx, const gfx::Rect& rect) override;
  bool drawsContent() const override { return true; }

  // ---- For tests ----
  // Text measurement of the layout: the size of the text in the font, on one line when `within`
  // is unset, else wrapped within it. Unset: the platform's text layout, rounded up to whole
  // points.
  using TextMeasurer = std::function<gfx::Size(const std::string& text, const gfx::Font& font,
                                               std::optional<gfx::Size> within)>;
  static void setTextMeasurer(TextMeasurer measurer);

 private:
  std::shared_ptr<ProgressOverlay> self();
  void updateIndicators();
  void handleGraceTimer();
  void handleMinShowTimer();
  void showUsingAnimation(bool animated);
  void hideUsingAnimation(bool animated);
  // The end of the hiding animation.
  void animationFinished(bool finished);
  // The delayed hide of hideAfterDelay.
  void hideDelayed(bool animated);
  // On the task's own thread: runs the task, then hands cleanUp to the main thread.
  void launchExecution(const Task& task);
  void done();
  void cleanUp();
  void observeOrientation();
  static gfx::Size measure(const std::string& text, const std::shared_ptr<const gfx::Font>& font,
                           std::optional<gfx::Size> within);

  // Settings.
  int m_mode = ModeIndeterminate;
  int m_animationType = AnimationFade;
  Text m_labelText;
  Text m_detailsLabelText;
  float m_progress = 0;
  float m_opacity = 0.8f;
  std::shared_ptr<const gfx::Font> m_labelFont;
  std::shared_ptr<const gfx::Font> m_detailsLabelFont;
  float m_xOffset = 0;
  float m_yOffset = 0;
  float m_margin = 20;
  gfx::Size m_minSize;
  bool m_square = false;
  bool m_dimBackground = false;
  float m_graceTime = 0;
  float m_minShowTime = 0;
  bool m_removeFromSuperViewOnHide = false;
  std::shared_ptr<ui::View> m_customView;
  core::WeakPtr<ProgressOverlayDelegate> m_delegate;

  // State.
  std::shared_ptr<ui::View> m_indicator;
  float m_width = 0;
  float m_height = 0;
  std::shared_ptr<core::Timer> m_graceTimer;
  std::shared_ptr<core::Timer> m_minShowTimer;
  bool m_taskInProgress = false;
  std::optional<double> m_showStarted;
  std::shared_ptr<ui::Label> m_label;
  std::shared_ptr<ui::Label> m_detailsLabel;
  gfx::AffineTransform m_rotationTransform = gfx::AffineTransform::identity();
  bool m_useAnimation = false;
  bool m_isFinished = false;
  core::Observation m_orientationObservation;
};

}  // namespace kt
