#pragma once

#include <memory>

#include "widgets/gltransitions/GLTransitionView.h"

namespace ui {
class ImageView;
class View;
class ViewController;
}  // namespace ui

namespace kt {

class GLTransition;

// The entry point of the GL transitions: snapshots the screen before and after a change, shows
// the transition view over it (with the before picture in an image view underneath until the
// first frame), and, for controllers, makes the real change without animation when the
// transition has finished.
//
// A change of a view's content: setTransition, beginTransition(view), change the view's subviews,
// commitTransition. A change of controllers: setTransition, then presentModalViewController or
// dismissModalViewController. Main thread only.
class GLTransitionManager : public GLTransitionViewDelegate {
 public:
  enum TransitionType : int { Idle = 0, ViewTransition = 1, PresentingController = 2, DismissingController = 3 };

  // One manager for the life of the process, made on first use.
  static GLTransitionManager& sharedTransitionManager();

  GLTransitionManager();
  ~GLTransitionManager() override;

  // Made on first use, with this manager as its delegate.
  const std::shared_ptr<GLTransitionView>& transitionView();
  void setTransition(std::shared_ptr<GLTransition> transition);

  // Snapshots `view` as it is now; commitTransition snapshots it again and runs the transition
  // over it.
  void beginTransition(const std::shared_ptr<ui::View>& view);
  void commitTransition();

  // Runs the transition from the old controller's view to the current one's, in the old view's
  // place. Without both controllers, or with an old view that is on no superview, nothing happens
  // and the manager stays idle.
  void switchViewControllers();
  // Presents `controller` on `onViewController` once the transition has run.
  void presentModalViewController(const std::shared_ptr<ui::ViewController>& controller,
                                  const std::shared_ptr<ui::ViewController>& onViewController);
  // Dismisses `controller` back to its presenter (or, with none, its parent) once the transition
  // has run.
  void dismissModalViewController(const std::shared_ptr<ui::ViewController>& controller);

  void transitionViewDidFinishTransition(GLTransitionView& view) override;

  const std::shared_ptr<ui::View>& containerView() const { return m_containerView; }
  void setContainerView(std::shared_ptr<ui::View> view) { m_containerView = std::move(view); }
  const std::shared_ptr<ui::ViewController>& oldController() const { return m_oldController; }
  void setOldController(std::shared_ptr<ui::ViewController> controller) { m_oldController = std::move(controller); }
  const std::shared_ptr<ui::ViewController>& currentController() const { return m_currentController; }
  void setCurrentController(std::shared_ptr<ui::ViewController> controller) {
    m_currentController = std::move(controller);
  }
  const std::shared_ptr<ui::ImageView>& tempOverlayView() const { return m_tempOverlayView; }
  int transitionType() const { return m_transitionType; }

 private:
  // Back to idle, letting go of the controllers.
  void finish();

  std::shared_ptr<GLTransitionView> m_transitionView;
  std::shared_ptr<ui::View> m_containerView;
  std::shared_ptr<ui::ViewController> m_oldController;
  std::shared_ptr<ui::ViewController> m_currentController;
  std::shared_ptr<ui::ImageView> m_tempOverlayView;
  int m_transitionType = Idle;
};

}  // namespace kt
