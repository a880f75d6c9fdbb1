// The transition manager: a view's content changing under a GL transition, with the before
// picture in an overlay until the first frame; modal controllers presented and dismissed once the
// transition has run; and the changes that have nothing to show.
#include "widgets/gltransitions/GLTransitionManager.h"

#include <gtest/gtest.h>

#include "GLScene.h"
#include "StubTransitions.h"
#include "platform/gfx/Image.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "support/UiHarness.h"

namespace {

constexpr double Frame = 1.0 / 60;
constexpr uint32_t Red = 0xFFFF0000, Blue = 0xFF0000FF, Green = 0xFF00FF00, Yellow = 0xFFFFFF00;

std::shared_ptr<ui::View> filled(const gfx::Rect& frame, gfx::Color colour) {
  auto view = ui::View::create(frame);
  view->setBackgroundColor(colour);
  return view;
}

std::shared_ptr<ui::ViewController> controller(gfx::Color colour) {
  auto c = std::make_shared<ui::ViewController>();
  c->view()->setBackgroundColor(colour);
  return c;
}

class GLTransitionManagerTest : public support::ScreenTest {
 protected:
  void frames(int count) { wait(count * Frame + 1e-7); }
  bool onScreen() { return manager.transitionView()->superview() || manager.tempOverlayView()->superview(); }

  // A container, red over blue with a yellow strip down its right edge, turns green under a
  // half-second cross-fade. Before the first frame the overlay shows the old picture upright and
  // exactly over the container; half-way the GL frame mixes the two; at the end only the new
  // content is left.
  void runViewTransition(const gfx::Rect& frame) {
    const double x = frame.x(), y = frame.y(), w = frame.width(), h = frame.height();
    auto container = ui::View::create(frame);
    container->addSubview(filled(gfx::Rect(0, 0, w, h / 2), gfx::Color::red()));
    container->addSubview(filled(gfx::Rect(0, h / 2, w, h / 2), gfx::Color::blue()));
    container->addSubview(filled(gfx::Rect(w - 10, 0, 10, h), gfx::Color(1, 1, 0)));
    window().addSubview(container);

    auto fade = std::make_shared<support::CrossFade>(0.5);
    manager.setTransition(fade);
    manager.beginTransition(container);
    while (!container->subviews().empty()) container->subviews().back()->removeFromSuperview();
    auto fresh = filled(gfx::Rect(0, 0, w, h), gfx::Color::green());
    container->addSubview(fresh);
    manager.commitTransition();

    const std::vector<std::shared_ptr<ui::View>> stack = {fresh, manager.tempOverlayView(), manager.transitionView()};
    EXPECT_EQ(container->subviews(), stack);
    EXPECT_TRUE(manager.transitionView()->isHidden());
    EXPECT_EQ(manager.transitionView()->frame(), container->bounds());
    auto screen = screenshot("before-first-frame");
    ASSERT_TRUE(screen);
    const auto shown = [&](double px, double py) { return colorAt(*screen, gfx::Point{x + px, y + py}); };
    EXPECT_EQ(shown(2, 2), Red);
    EXPECT_EQ(shown(2, h - 2), Blue);
    EXPECT_EQ(shown(w - 3, 2), Yellow);
    EXPECT_EQ(shown(w - 3, h - 2), Yellow);
    // Nothing of the overlay's larger image shows outside the container.
    const gfx::Rect inside = window().bounds().insetBy(1, 1);
    for (gfx::Point p : {gfx::Point{x + w / 2, y + h + 2}, gfx::Point{x + w + 2, y + h / 2}}) {
      if (inside.contains(p)) {
        EXPECT_EQ(colorAt(*screen, p), 0xFFFFFFFFu);
      }
    }

    wait(0.25 + 1e-7);
    screen = screenshot("half-way");
    ASSERT_TRUE(screen);
    const double f = fade->time / fade->duration;
    EXPECT_NEAR(f, 0.5, 0.1);
    EXPECT_TRUE(support::nearColour(shown(w / 2, h / 4), support::shade(Red, 1 - f) | support::shade(Green, f), 12));
    EXPECT_TRUE(support::nearColour(shown(w / 2, 3 * h / 4), support::shade(Blue, 1 - f) | support::shade(Green, f), 12));
    EXPECT_TRUE(support::nearColour(shown(w - 4, h / 4), support::shade(Yellow, 1 - f) | support::shade(Green, f), 12));

    frames(20);
    EXPECT_EQ(manager.transitionType(), kt::GLTransitionManager::Idle);
    EXPECT_EQ(container->subviews(), std::vector<std::shared_ptr<ui::View>>{fresh});
  }

  kt::GLTransitionManager manager;
};

TEST_F(GLTransitionManagerTest, ViewTransitionOnTheTablet) { runViewTransition(gfx::Rect(100, 80, 400, 300)); }

TEST_F(GLTransitionManagerTest, ViewTransitionOverTheWholeLargeTablet) {
  setDevice(support::Device::LargeTablet);
  runViewTransition(window().bounds());
}

TEST_F(GLTransitionManagerTest, AViewWiderThanTheLargestBitmapChangesUnderAnEmptyOverlay) {
  auto container = filled(gfx::Rect(0, 0, 40000, 100), gfx::Color::red());
  window().addSubview(container);
  manager.setTransition(std::make_shared<support::CrossFade>(0.1));
  manager.beginTransition(container);
  EXPECT_EQ(manager.tempOverlayView()->image(), nullptr);
  auto fresh = filled(gfx::Rect(0, 0, 40000, 100), gfx::Color::green());
  container->addSubview(fresh);
  manager.commitTransition();
  frames(12);
  EXPECT_EQ(manager.transitionType(), kt::GLTransitionManager::Idle);
  EXPECT_FALSE(onScreen());
}

TEST_F(GLTransitionManagerTest, BaseTransitionCompletesOnTheFirstFrame) {
  auto container = filled(gfx::Rect(0, 0, 300, 200), gfx::Color::red());
  window().addSubview(container);
  manager.setTransition(std::make_shared<kt::GLTransition>());
  manager.beginTransition(container);
  manager.commitTransition();
  EXPECT_TRUE(onScreen());
  frames(1);
  EXPECT_EQ(manager.transitionType(), kt::GLTransitionManager::Idle);
  EXPECT_FALSE(onScreen());
  EXPECT_TRUE(container->subviews().empty());
}

TEST_F(GLTransitionManagerTest, PresentsAndDismissesAModalControllerWhenTheTransitionEnds) {
  auto root = controller(gfx::Color::red());
  window().setRootViewController(root);
  wait(0);
  auto modal = controller(gfx::Color::blue());

  manager.setTransition(std::make_shared<support::CrossFade>(0.2));
  manager.presentModalViewController(modal, root);
  EXPECT_EQ(manager.transitionType(), kt::GLTransitionManager::PresentingController);
  const std::vector<std::shared_ptr<ui::View>> stack = {root->view(), manager.tempOverlayView(), manager.transitionView()};
  EXPECT_EQ(window().subviews(), stack);
  EXPECT_EQ(manager.tempOverlayView()->frame(), root->view()->frame());
  frames(6);
  EXPECT_EQ(root->presentedViewController(), nullptr);
  frames(10);
  EXPECT_FALSE(onScreen());
  // Presented without the platform's animation: in place at once.
  EXPECT_EQ(root->presentedViewController(), modal.get());
  EXPECT_EQ(modal->view()->frame(), window().bounds());

  manager.dismissModalViewController(modal);
  EXPECT_EQ(manager.transitionType(), kt::GLTransitionManager::DismissingController);
  EXPECT_EQ(manager.currentController(), root);
  frames(6);
  EXPECT_EQ(root->presentedViewController(), modal.get());
  frames(10);
  EXPECT_EQ(manager.transitionType(), kt::GLTransitionManager::Idle);
  EXPECT_FALSE(onScreen());
  EXPECT_EQ(root->presentedViewController(), nullptr);
  EXPECT_EQ(modal->view()->superview(), nullptr);
  EXPECT_FALSE(manager.oldController());
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

  auto transition = std::make_shared<support::CountingTransition>();
  manager.setTransition(transition);
  auto modal = controller(gfx::Color::blue());
  manager.presentModalViewController(modal, root);
  const ui::View* const covering[] = {manager.transitionView().get(), modal->view().get()};
  for (const ui::View* v : covering) {
    EXPECT_EQ(v->transform(), turn);
    EXPECT_EQ(v->frame(), window().bounds());
  }
  EXPECT_EQ(manager.tempOverlayView()->transform(), turn.scaled(1, -1));
  EXPECT_EQ(manager.tempOverlayView()->frame(), window().bounds());
  // The frame is 1024 x 768, the picture 768 x 1024.
  EXPECT_FLOAT_EQ(transition->basicTexCoords().x3, 0.75f);
  EXPECT_FLOAT_EQ(transition->basicTexCoords().y0, 0);
  frames(1);
  EXPECT_EQ(manager.transitionView()->backingWidth(), 768);
  EXPECT_EQ(manager.transitionView()->backingHeight(), 1024);
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

  manager.setTransition(std::make_shared<support::CrossFade>(0.1));
  manager.dismissModalViewController(child);
  EXPECT_EQ(manager.currentController(), parent);
  EXPECT_EQ(manager.transitionView()->superview(), parent->view().get());
  frames(10);
  EXPECT_EQ(manager.transitionType(), kt::GLTransitionManager::Idle);
  EXPECT_FALSE(onScreen());
}

TEST_F(GLTransitionManagerTest, ControllerChangesWithNothingToShowLeaveTheManagerIdle) {
  auto root = controller(gfx::Color::red());
  window().setRootViewController(root);
  wait(0);
  auto transition = std::make_shared<support::CountingTransition>();
  manager.setTransition(transition);
  // No controller to present or none to present on; a presenter on no superview; a modal
  // controller with neither presenter nor parent.
  auto loose = controller(gfx::Color::green());
  manager.presentModalViewController(nullptr, root);
  manager.presentModalViewController(controller(gfx::Color::blue()), nullptr);
  manager.presentModalViewController(controller(gfx::Color::blue()), loose);
  manager.dismissModalViewController(loose);
  manager.dismissModalViewController(nullptr);
  manager.commitTransition();
  EXPECT_EQ(manager.transitionType(), kt::GLTransitionManager::Idle);
  frames(3);
  EXPECT_FALSE(onScreen());
  EXPECT_TRUE(transition->steps.empty());
  EXPECT_EQ(root->presentedViewController(), nullptr);
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
  other.reset();
  EXPECT_TRUE(container->subviews().empty());
  frames(2);
  EXPECT_EQ(transition->steps.size(), 2u);
}

TEST_F(GLTransitionManagerTest, SharedManagerIsOneAndHearsItsView) {
  kt::GLTransitionManager& shared = kt::GLTransitionManager::sharedTransitionManager();
  EXPECT_EQ(&shared, &kt::GLTransitionManager::sharedTransitionManager());
  EXPECT_EQ(shared.transitionView()->delegate(), &shared);
}

}  // namespace
