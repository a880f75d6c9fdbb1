// The transition manager: a view's content changing under a GL transition, with the before
// picture in an overlay until the first frame; modal controllers presented and dismissed once the
// transition has run; and the changes that have nothing to show.
#include "widgets/gltransitions/GLTransitionManager.h"

#include <gtest/gtest.h>

#include "GLScene.h"
#include "StubTransitions.h"
#include "platform/core/LazyShared.h"
#include "platform/gfx/Image.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "support/UiHarness.h"

namespace {

constexpr double Frame = 1.0 / 60;
constexpr uint32_t Red = 0xFFFF0000, Blue = 0xFF0000FF, Green = 0xFF00FF00, Yellow = 0xFFFFFF00,
                   White = 0xFFFFFFFF;

std::shared_ptr<ui::View> filled(const gfx::Rect& frame, gfx::Color colour) {
  auto view = ui::View::create(frame);
  view->setBackgroundColor(colour);
  return view;
}

class GLTransitionManagerTest : public support::ScreenTest {
 protected:
  void frames(int count) { wait(count * Frame + 1e-7); }
  uint32_t shownAt(const gfx::Image& screen, double x, double y) { return colorAt(screen, gfx::Point{x, y}); }
  bool onScreen() {
    return manager.transitionView()->superview() || manager.tempOverlayView()->superview();
  }
  // The window's white just outside each side of `frame` that is not at the window's edge.
  void expectWhiteAround(const gfx::Image& screen, const gfx::Rect& frame) {
    const gfx::Rect inside = window().bounds().insetBy(2, 2);
    const gfx::Point around[] = {{frame.midX(), frame.minY() - 2}, {frame.minX() - 2, frame.midY()},
                                 {frame.midX(), frame.maxY() + 2}, {frame.maxX() + 2, frame.midY()}};
    for (const gfx::Point& p : around) {
      if (inside.contains(p)) {
        EXPECT_EQ(colorAt(screen, p), White) << p.x << ", " << p.y;
      }
    }
  }
  // A view controller whose view is one colour.
  static std::shared_ptr<ui::ViewController> controller(gfx::Color colour) {
    auto c = std::make_shared<ui::ViewController>();
    c->view()->setBackgroundColor(colour);
    return c;
  }

  // A container in the window, red over its top half and blue below, with a yellow strip down its
  // right edge; its content turns green under a cross-fade of half a second. Checks the overlay
  // before the first frame, the mix half-way and the end, with a screenshot half-way.
  void runViewTransition(const gfx::Rect& frame) {
    const double w = frame.width(), h = frame.height();
    auto container = ui::View::create(frame);
    container->addSubview(filled(gfx::Rect(0, 0, w, h / 2), gfx::Color::red()));
    container->addSubview(filled(gfx::Rect(0, h / 2, w, h / 2), gfx::Color::blue()));
    container->addSubview(filled(gfx::Rect(w - 10, 0, 10, h), gfx::Color(1, 1, 0)));
    window().addSubview(container);
    render();

    auto fade = std::make_shared<support::CrossFade>(0.5);
    manager.setTransition(fade);
    manager.beginTransition(container);
    EXPECT_EQ(manager.transitionType(), kt::GLTransitionManager::ViewTransition);
    for (const auto& old : std::vector<std::shared_ptr<ui::View>>(container->subviews())) old->removeFromSuperview();
    auto fresh = filled(gfx::Rect(0, 0, w, h), gfx::Color::green());
    container->addSubview(fresh);
    manager.commitTransition();

    // Before the first frame: the GL view (hidden) over the overlay over the new content; the
    // overlay shows the before picture upright, exactly over the container.
    const auto& glView = manager.transitionView();
    const auto& overlay = manager.tempOverlayView();
    ASSERT_EQ(container->subviews().size(), 3u);
    EXPECT_EQ(container->subviews()[0], fresh);
    EXPECT_EQ(container->subviews()[1], overlay);
    EXPECT_EQ(container->subviews()[2], glView);
    EXPECT_TRUE(glView->isHidden());
    EXPECT_EQ(glView->frame(), container->bounds());
    EXPECT_EQ(overlay->frame(), container->bounds());
    EXPECT_EQ(overlay->contentMode(), ui::ContentMode::BottomLeft);
    EXPECT_EQ(overlay->transform().d, -1);
    auto screen = screenshot("before-first-frame");
    ASSERT_TRUE(screen);
    const double x0 = frame.x(), y0 = frame.y();
    EXPECT_EQ(shownAt(*screen, x0 + 2, y0 + 2), Red);
    EXPECT_EQ(shownAt(*screen, x0 + w / 2, y0 + h / 2 - 2), Red);
    EXPECT_EQ(shownAt(*screen, x0 + w / 2, y0 + h / 2 + 2), Blue);
    EXPECT_EQ(shownAt(*screen, x0 + 2, y0 + h - 2), Blue);
    EXPECT_EQ(shownAt(*screen, x0 + w - 3, y0 + 2), Yellow);
    EXPECT_EQ(shownAt(*screen, x0 + w - 3, y0 + h - 2), Yellow);
    expectWhiteAround(*screen, frame);

    // Half-way: the GL frame shows both pictures mixed, upright, over the container.
    wait(0.25 + 1e-7);
    EXPECT_FALSE(glView->isHidden());
    EXPECT_TRUE(glView->isAnimating());
    EXPECT_GT(fade->time, 0.2);
    EXPECT_LT(fade->time, 0.3);
    screen = screenshot("half-way");
    ASSERT_TRUE(screen);
    const double f = fade->time / fade->duration;
    const uint32_t top = support::shade(Red, 1 - f) | support::shade(Green, f);
    const uint32_t bottom = support::shade(Blue, 1 - f) | support::shade(Green, f);
    const uint32_t edge = support::shade(Yellow, 1 - f) | support::shade(Green, f);
    EXPECT_TRUE(support::nearColour(shownAt(*screen, x0 + w / 2, y0 + h / 4), top, 12));
    EXPECT_TRUE(support::nearColour(shownAt(*screen, x0 + w / 2, y0 + 3 * h / 4), bottom, 12));
    EXPECT_TRUE(support::nearColour(shownAt(*screen, x0 + w - 4, y0 + h / 4), edge, 12));
    expectWhiteAround(*screen, frame);

    // The end: the GL view and the overlay are gone and the new content shows.
    frames(20);
    EXPECT_EQ(manager.transitionType(), kt::GLTransitionManager::Idle);
    EXPECT_FALSE(onScreen());
    ASSERT_EQ(container->subviews().size(), 1u);
    EXPECT_EQ(container->subviews()[0], fresh);
    screen = screenshot("end");
    ASSERT_TRUE(screen);
    EXPECT_EQ(shownAt(*screen, x0 + w / 2, y0 + h / 4), Green);
    EXPECT_EQ(shownAt(*screen, x0 + w - 3, y0 + h - 2), Green);
  }

  kt::GLTransitionManager manager;
};

TEST_F(GLTransitionManagerTest, ViewTransitionOnTheTablet) { runViewTransition(gfx::Rect(100, 80, 400, 300)); }

TEST_F(GLTransitionManagerTest, ViewTransitionOverTheWholeLargeTablet) {
  setDevice(support::Device::LargeTablet);
  runViewTransition(window().bounds());
}

TEST_F(GLTransitionManagerTest, BaseTransitionCompletesOnTheFirstFrame) {
  auto container = filled(gfx::Rect(0, 0, 300, 200), gfx::Color::red());
  window().addSubview(container);
  manager.setTransition(std::make_shared<kt::GLTransition>());
  manager.beginTransition(container);
  auto fresh = filled(gfx::Rect(0, 0, 50, 50), gfx::Color::blue());
  container->addSubview(fresh);
  manager.commitTransition();
  EXPECT_TRUE(onScreen());
  frames(1);
  EXPECT_EQ(manager.transitionType(), kt::GLTransitionManager::Idle);
  EXPECT_FALSE(onScreen());
  EXPECT_FALSE(manager.transitionView()->isAnimating());
  ASSERT_EQ(container->subviews().size(), 1u);
  EXPECT_EQ(container->subviews()[0], fresh);
  EXPECT_FALSE(manager.containerView());

  // The next transition runs the same way, reusing the textures.
  const GLuint begin = manager.transitionView()->beginTexture();
  manager.beginTransition(container);
  manager.commitTransition();
  EXPECT_EQ(manager.transitionView()->beginTexture(), begin);
  frames(1);
  EXPECT_FALSE(onScreen());
}

TEST_F(GLTransitionManagerTest, PresentsAndDismissesAModalControllerWhenTheTransitionEnds) {
  auto root = controller(gfx::Color::red());
  window().setRootViewController(root);
  wait(0);
  auto modal = controller(gfx::Color::blue());

  manager.setTransition(std::make_shared<support::CrossFade>(0.2));
  manager.presentModalViewController(modal, root);
  EXPECT_EQ(manager.transitionType(), kt::GLTransitionManager::PresentingController);
  EXPECT_EQ(manager.oldController(), root);
  EXPECT_EQ(manager.currentController(), modal);
  // The transition runs in the root view's place; nothing is presented yet.
  ASSERT_EQ(window().subviews().size(), 3u);
  EXPECT_EQ(window().subviews()[1], manager.tempOverlayView());
  EXPECT_EQ(window().subviews()[2], manager.transitionView());
  EXPECT_EQ(manager.transitionView()->frame(), root->view()->frame());
  EXPECT_EQ(manager.tempOverlayView()->frame(), root->view()->frame());
  EXPECT_EQ(modal->view()->frame(), root->view()->frame());
  frames(6);
  EXPECT_EQ(root->presentedViewController(), nullptr);
  frames(10);
  EXPECT_EQ(manager.transitionType(), kt::GLTransitionManager::Idle);
  EXPECT_FALSE(onScreen());
  // Presented without the platform's animation: on screen at once.
  EXPECT_EQ(root->presentedViewController(), modal.get());
  EXPECT_EQ(modal->view()->window(), &window());
  EXPECT_EQ(modal->view()->frame(), window().bounds());

  manager.dismissModalViewController(modal);
  EXPECT_EQ(manager.transitionType(), kt::GLTransitionManager::DismissingController);
  EXPECT_EQ(manager.oldController(), modal);
  EXPECT_EQ(manager.currentController(), root);
  EXPECT_EQ(manager.transitionView()->superview(), modal->view()->superview());
  frames(6);
  EXPECT_EQ(root->presentedViewController(), modal.get());
  frames(10);
  wait(0);
  EXPECT_EQ(manager.transitionType(), kt::GLTransitionManager::Idle);
  EXPECT_FALSE(onScreen());
  EXPECT_EQ(root->presentedViewController(), nullptr);
  EXPECT_EQ(modal->view()->superview(), nullptr);
  // The controllers are let go once the change is made.
  EXPECT_FALSE(manager.oldController());
  EXPECT_FALSE(manager.currentController());
}

TEST_F(GLTransitionManagerTest, ATurnedControllerViewIsCoveredTurnedTheSameWay) {
  // A portrait view turned a quarter to fill the landscape window.
  auto root = controller(gfx::Color::red());
  window().setRootViewController(root);
  wait(0);
  const gfx::AffineTransform turn = gfx::AffineTransform::make(0, 1, -1, 0, 0, 0);
  root->view()->setTransform(turn);
  root->view()->setBounds(gfx::Rect(0, 0, 768, 1024));
  root->view()->setCenter(window().bounds().center());
  ASSERT_EQ(root->view()->frame(), window().bounds());

  auto transition = std::make_shared<support::CountingTransition>();
  manager.setTransition(transition);
  auto modal = controller(gfx::Color::blue());
  manager.presentModalViewController(modal, root);
  const ui::View* const covered[] = {manager.transitionView().get(), modal->view().get()};
  for (const ui::View* v : covered) {
    EXPECT_EQ(v->transform(), turn);
    EXPECT_EQ(v->bounds().size, (gfx::Size{768, 1024}));
    EXPECT_EQ(v->center(), root->view()->center());
  }
  EXPECT_EQ(manager.tempOverlayView()->transform(), turn.scaled(1, -1));
  EXPECT_EQ(manager.tempOverlayView()->frame(), window().bounds());
  // The frame is 1024 x 768 but the picture 768 x 1024: the coordinates take the turn into account.
  const kt::GLTexCoords& c = transition->basicTexCoords();
  EXPECT_FLOAT_EQ(c.x3, 0.75f);
  EXPECT_FLOAT_EQ(c.y0, 0);
  frames(1);
  EXPECT_EQ(manager.transitionView()->backingWidth(), 768);
  EXPECT_EQ(manager.transitionView()->backingHeight(), 1024);
  manager.transitionView()->stopAnimation();
  EXPECT_EQ(root->presentedViewController(), modal.get());
}

TEST_F(GLTransitionManagerTest, DismissingAControllerWithOnlyAParentCompletes) {
  auto parent = controller(gfx::Color::red());
  window().setRootViewController(parent);
  auto child = controller(gfx::Color::blue());
  parent->addChildViewController(child);
  child->view()->setFrame(parent->view()->bounds());
  parent->view()->addSubview(child->view());
  child->didMoveToParentViewController(parent.get());
  wait(0);
  ASSERT_EQ(child->presentingViewController(), nullptr);

  manager.setTransition(std::make_shared<support::CrossFade>(0.1));
  manager.dismissModalViewController(child);
  EXPECT_EQ(manager.currentController(), parent);
  EXPECT_EQ(manager.transitionView()->superview(), parent->view().get());
  frames(10);
  EXPECT_EQ(manager.transitionType(), kt::GLTransitionManager::Idle);
  EXPECT_FALSE(onScreen());
  EXPECT_EQ(child->parentViewController(), parent.get());
}

TEST_F(GLTransitionManagerTest, ControllerChangesWithNothingToShowLeaveTheManagerIdle) {
  auto root = controller(gfx::Color::red());
  window().setRootViewController(root);
  wait(0);
  auto transition = std::make_shared<support::CountingTransition>();
  manager.setTransition(transition);

  manager.presentModalViewController(nullptr, root);
  EXPECT_EQ(manager.transitionType(), kt::GLTransitionManager::Idle);
  manager.presentModalViewController(controller(gfx::Color::blue()), nullptr);
  EXPECT_EQ(manager.transitionType(), kt::GLTransitionManager::Idle);
  // A controller whose view is on no superview, and one with neither presenter nor parent.
  auto loose = controller(gfx::Color::green());
  manager.presentModalViewController(controller(gfx::Color::blue()), loose);
  EXPECT_EQ(manager.transitionType(), kt::GLTransitionManager::Idle);
  manager.dismissModalViewController(loose);
  EXPECT_EQ(manager.transitionType(), kt::GLTransitionManager::Idle);
  manager.dismissModalViewController(nullptr);
  EXPECT_EQ(manager.transitionType(), kt::GLTransitionManager::Idle);

  frames(3);
  EXPECT_FALSE(onScreen());
  EXPECT_FALSE(manager.transitionView()->isAnimating());
  EXPECT_TRUE(transition->steps.empty());
  EXPECT_EQ(root->presentedViewController(), nullptr);
  EXPECT_FALSE(manager.oldController());

  // A commit with no begin does nothing either.
  manager.commitTransition();
  EXPECT_FALSE(onScreen());
}

TEST_F(GLTransitionManagerTest, AManagerGoingAwayMidTransitionLeavesNothingOnScreen) {
  auto container = filled(gfx::Rect(0, 0, 300, 200), gfx::Color::red());
  window().addSubview(container);
  auto other = std::make_unique<kt::GLTransitionManager>();
  auto transition = std::make_shared<support::CountingTransition>();
  other->setTransition(transition);
  other->beginTransition(container);
  other->commitTransition();
  frames(2);
  ASSERT_EQ(container->subviews().size(), 2u);
  other.reset();
  EXPECT_TRUE(container->subviews().empty());
  frames(2);
  EXPECT_EQ(transition->steps.size(), 2u);
}

TEST_F(GLTransitionManagerTest, SharedManagerIsOneAndHearsItsView) {
  kt::GLTransitionManager& shared = kt::GLTransitionManager::sharedTransitionManager();
  EXPECT_EQ(&shared, &kt::GLTransitionManager::sharedTransitionManager());
  EXPECT_EQ(shared.transitionView()->delegate(), &shared);
  EXPECT_EQ(shared.transitionView()->frame(), gfx::Rect(0, 0, 1, 1));
  EXPECT_EQ(shared.tempOverlayView()->transform().d, -1);
  EXPECT_EQ(shared.transitionType(), kt::GLTransitionManager::Idle);
  core::LazyShared<kt::GLTransitionManager>::reset();
}

}  // namespace
