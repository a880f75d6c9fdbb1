#include "widgets/gltransitions/GLTransitionManager.h"

#include "platform/core/Log.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/ViewController.h"
#include "widgets/gltransitions/GLTransition.h"

namespace kt {

namespace {
// The snapshot images are upside down (GL's row order): the overlay turns them over.
const gfx::AffineTransform Flipped = gfx::AffineTransform::scale(1, -1);

// Puts `view` where a view of `size` centred on `center` shows under `transform`: the frame a
// transformed view is given, set through its bounds and centre (a transformed view's frame only
// moves it).
void place(ui::View& view, const gfx::AffineTransform& transform, gfx::Size size, gfx::Point center) {
  view.setTransform(transform);
  view.setBounds(gfx::Rect(view.bounds().origin, size));
  view.setCenter(center);
}
}  // namespace

GLTransitionManager& GLTransitionManager::sharedTransitionManager() {
  // Kept to the very end of the process and never destroyed: at exit Mesa has already stopped
  // its drawing threads, and the view's GL objects could no longer be deleted.
  static GLTransitionManager* const shared = new GLTransitionManager();
  return *shared;
}

GLTransitionManager::GLTransitionManager() : m_tempOverlayView(ui::ImageView::create()) {
  m_tempOverlayView->setTransform(Flipped);
  transitionView();
}

GLTransitionManager::~GLTransitionManager() {
  // A transition cut short leaves nothing on screen.
  m_tempOverlayView->removeFromSuperview();
  if (!m_transitionView) return;
  m_transitionView->setDelegate(nullptr);
  m_transitionView->stopAnimation();
  m_transitionView->removeFromSuperview();
}

const std::shared_ptr<GLTransitionView>& GLTransitionManager::transitionView() {
  if (!m_transitionView) {
    m_transitionView = GLTransitionView::create(gfx::Rect(0, 0, 1, 1));
    m_transitionView->setDelegate(weakPtr());
  }
  return m_transitionView;
}

void GLTransitionManager::setTransition(std::shared_ptr<GLTransition> transition) {
  transitionView()->setTransition(std::move(transition));
}

// ---- Changes of a view's content -------------------------------------------------------------

void GLTransitionManager::beginTransition(const std::shared_ptr<ui::View>& view) {
  if (!view) {
    KT_LOG("no view to run a transition on; nothing done");
    return;
  }
  const auto& glView = transitionView();
  m_transitionType = ViewTransition;
  glView->setTransform(gfx::AffineTransform::identity());
  m_tempOverlayView->setTransform(Flipped);
  m_tempOverlayView->setContentMode(ui::ContentMode::BottomLeft);
  m_containerView = view;
  glView->reset();
  glView->setFrame(view->bounds());
  glView->layoutSubviews();
  m_tempOverlayView->setImage(glView->createBeginTextureWithView(*view));
}

void GLTransitionManager::commitTransition() {
  if (m_transitionType != ViewTransition || !m_containerView) {
    KT_LOG("no transition begun; nothing done");
    return;
  }
  const auto& glView = transitionView();
  glView->createEndTextureWithView(*m_containerView);
  m_containerView->addSubview(glView);
  const gfx::Rect bounds = m_containerView->bounds();
  place(*m_tempOverlayView, Flipped, bounds.size, bounds.center());
  m_containerView->insertSubviewBelow(m_tempOverlayView, glView.get());
  glView->startAnimation();
}

// ---- Changes of controllers ------------------------------------------------------------------

void GLTransitionManager::switchViewControllers() {
  const std::shared_ptr<ui::View> oldView = m_oldController ? m_oldController->view() : nullptr;
  ui::View* superview = oldView ? oldView->superview() : nullptr;
  if (!m_currentController || !superview) {
    KT_LOG("%s; no transition", !m_oldController || !m_currentController ? "a controller is missing"
                                                                          : "the old controller's view is on no superview");
    finish();
    return;
  }
  const auto& glView = transitionView();
  glView->setTransform(gfx::AffineTransform::identity());
  m_tempOverlayView->setTransform(gfx::AffineTransform::identity());
  glView->reset();

  const gfx::AffineTransform transform = oldView->transform();
  const gfx::Size size = oldView->bounds().size;
  const gfx::Point center = oldView->center();
  place(*glView, transform, size, center);
  glView->layoutSubviews();
  m_tempOverlayView->setImage(glView->createBeginTextureWithView(*oldView));

  const std::shared_ptr<ui::View>& newView = m_currentController->view();
  place(*newView, transform, size, center);
  glView->createEndTextureWithView(*newView);

  superview->addSubview(glView);
  m_tempOverlayView->setContentMode(ui::ContentMode::BottomLeft);
  place(*m_tempOverlayView, transform.scaled(1, -1), size, center);
  superview->insertSubviewBelow(m_tempOverlayView, glView.get());
  glView->startAnimation();
}

void GLTransitionManager::presentModalViewController(const std::shared_ptr<ui::ViewController>& controller,
                                                     const std::shared_ptr<ui::ViewController>& onViewController) {
  m_transitionType = PresentingController;
  m_oldController = onViewController;
  m_currentController = controller;
  switchViewControllers();
}

void GLTransitionManager::dismissModalViewController(const std::shared_ptr<ui::ViewController>& controller) {
  m_transitionType = DismissingController;
  m_oldController = controller;
  m_currentController.reset();
  if (controller) {
    ui::ViewController* presenter = controller->presentingViewController();
    if (!presenter) presenter = controller->parentViewController();
    if (presenter) m_currentController = presenter->sharedController();
  }
  switchViewControllers();
}

// ---- The end ---------------------------------------------------------------------------------

void GLTransitionManager::transitionViewDidFinishTransition(GLTransitionView& view) {
  (void)view;
  m_transitionView->removeFromSuperview();
  m_tempOverlayView->removeFromSuperview();
  // Held across the change: the controllers may drop their last other owners in it.
  const auto oldController = m_oldController;
  const auto currentController = m_currentController;
  if (m_transitionType == DismissingController && oldController) {
    oldController->dismissModalViewControllerAnimated(false);
  } else if (m_transitionType == PresentingController && oldController) {
    oldController->presentModalViewController(currentController, false);
  }
  finish();
}

void GLTransitionManager::finish() {
  m_transitionType = Idle;
  m_containerView.reset();
  m_oldController.reset();
  m_currentController.reset();
}

}  // namespace kt
