#include "widgets/feedback/ProgressOverlay.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "platform/core/Log.h"
#include "platform/core/Queue.h"
#include "platform/core/RunLoop.h"
#include "platform/core/Timer.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Image.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/Application.h"
#include "platform/ui/Device.h"
#include "platform/ui/Label.h"
#include "platform/ui/Window.h"
#include "support/RectExpectations.h"
#include "support/UiHarness.h"
#include "widgets/feedback/PORoundProgressView.h"
#include "widgets/feedback/ProgressOverlayDelegate.h"

namespace {

using kt::ProgressOverlay;
using kt::ProgressOverlayDelegate;

// A screen's view that counts the touches that reach it.
class TouchedView : public ui::View {
 public:
  using ui::View::View;
  void touchesBegan(const ui::TouchSet&, const ui::Event*) override { ++touches; }
  int touches = 0;
};

// Records what it is told, and in which state the overlay was then.
class RecordingDelegate : public ProgressOverlayDelegate {
 public:
  // Sets the slot with the overlay and the plain one as asked.
  RecordingDelegate(bool withOverlay, bool plain) {
    if (withOverlay) {
      hudWasHiddenWithOverlay = [this](ProgressOverlay& overlay) {
        calls.push_back("overlay");
        finishedWhenTold = overlay.isFinished();
        alphaWhenTold = overlay.alpha();
        inHierarchyWhenTold = overlay.superview() != nullptr;
      };
    }
    if (plain) hudWasHidden = [this] { calls.push_back("plain"); };
  }

  std::vector<std::string> calls;
  bool finishedWhenTold = false;
  double alphaWhenTold = -1;
  bool inHierarchyWhenTold = false;
};

class ProgressOverlayTest : public support::ScreenTest {
 protected:
  ProgressOverlayTest() { useScreen(); }
  ~ProgressOverlayTest() override { ProgressOverlay::setTextMeasurer({}); }

  // A screen's view filling the window, as the screens that use the overlay have.
  void useScreen() {
    m_screen = std::make_shared<TouchedView>(window().bounds());
    m_screen->setBackgroundColor(gfx::Color(0.85, 0.9, 1.0, 1));
    window().addSubview(m_screen);
  }
  void switchDevice(support::Device device) {
    setDevice(device);
    useScreen();
  }
  // Fixed text sizes: the label's and, wrapped, the details'.
  void measureAs(gfx::Size label, gfx::Size details) {
    ProgressOverlay::setTextMeasurer([label, details](const std::string&, const gfx::Font&, std::optional<gfx::Size> within) {
      return within ? details : label;
    });
  }
  std::shared_ptr<ProgressOverlay> overlayOnScreen(const std::string& text) {
    auto overlay = ProgressOverlay::initWithView(m_screen.get());
    overlay->setLabelText(text);
    m_screen->addSubview(overlay);
    return overlay;
  }
  static double shownAlpha(const ProgressOverlay& overlay) { return overlay.layer()->presentation().opacity; }

  std::shared_ptr<TouchedView> m_screen;
};

using support::expectRect;

// ---- Creation ----

TEST_F(ProgressOverlayTest, CreationCoversTheViewTransparentWithTheDefaults) {
  auto overlay = ProgressOverlay::initWithView(m_screen.get());
  ASSERT_TRUE(overlay);
  expectRect(overlay->frame(), 0, 0, 1024, 768);
  EXPECT_EQ(overlay->alpha(), 0);
  EXPECT_FALSE(overlay->isOpaque());
  EXPECT_EQ(overlay->mode(), ProgressOverlay::ModeIndeterminate);
  EXPECT_FLOAT_EQ(overlay->opacity(), 0.8f);
  EXPECT_FLOAT_EQ(overlay->margin(), 20);
  EXPECT_TRUE(overlay->labelFont()->isBold());
  EXPECT_DOUBLE_EQ(overlay->labelFont()->pointSize(), 16);
  EXPECT_DOUBLE_EQ(overlay->detailsLabelFont()->pointSize(), 12);
  EXPECT_FALSE(overlay->taskInProgress());
  EXPECT_FALSE(overlay->showStarted());
  auto spinner = std::dynamic_pointer_cast<ui::ActivityIndicatorView>(overlay->indicator());
  ASSERT_TRUE(spinner);
  EXPECT_EQ(spinner->style(), ui::ActivityIndicatorStyle::WhiteLarge);
  EXPECT_TRUE(spinner->isAnimating());
  EXPECT_EQ(spinner->superview(), overlay.get());
  // The caller adds it.
  EXPECT_EQ(overlay->superview(), nullptr);
}

TEST_F(ProgressOverlayTest, NoViewMakesNoOverlayAndIsLogged) {
  std::vector<std::string> lines;
  auto previous = core::setLogSink([&](const std::string& line) { lines.push_back(line); });
  EXPECT_EQ(ProgressOverlay::initWithView(nullptr), nullptr);
  EXPECT_EQ(ProgressOverlay::initWithWindow(nullptr), nullptr);
  EXPECT_EQ(ProgressOverlay::showHUDAddedTo(nullptr, true), nullptr);
  core::setLogSink(previous);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_NE(lines[0].find("ProgressOverlayViewIsNillException"), std::string::npos);
  EXPECT_NE(lines[0].find("The view used in the ProgressOverlay initializer is nil."), std::string::npos);
}

TEST_F(ProgressOverlayTest, SpinnerIsRebuiltEveryTimeOtherIndicatorsOnlyOnChange) {
  auto overlay = ProgressOverlay::initWithView(m_screen.get());
  auto spinner = overlay->indicator();
  overlay->setMode(ProgressOverlay::ModeIndeterminate);
  EXPECT_NE(overlay->indicator(), spinner);
  EXPECT_EQ(spinner->superview(), nullptr);

  overlay->setProgress(0.4f);
  overlay->setMode(ProgressOverlay::ModeDeterminate);
  auto pie = std::dynamic_pointer_cast<kt::PORoundProgressView>(overlay->indicator());
  ASSERT_TRUE(pie);
  EXPECT_FLOAT_EQ(pie->progress(), 0.4f);
  expectRect(pie->bounds(), 0, 0, 37, 37);
  overlay->setMode(ProgressOverlay::ModeDeterminate);
  EXPECT_EQ(overlay->indicator(), pie);
  overlay->setProgress(0.7f);
  EXPECT_FLOAT_EQ(pie->progress(), 0.7f);
  ASSERT_EQ(overlay->subviews().size(), 1u);

  // Custom mode without a custom view shows the spinner; with one, the view.
  overlay->setMode(ProgressOverlay::ModeCustomView);
  EXPECT_TRUE(std::dynamic_pointer_cast<ui::ActivityIndicatorView>(overlay->indicator()));
  auto custom = ui::View::create(gfx::Rect(0, 0, 50, 30));
  overlay->setCustomView(custom);
  overlay->setMode(ProgressOverlay::ModeIndeterminate);
  overlay->setMode(ProgressOverlay::ModeCustomView);
  EXPECT_EQ(overlay->indicator(), custom);
  EXPECT_EQ(custom->superview(), overlay.get());
}

// ---- Layout ----

TEST_F(ProgressOverlayTest, FramesWithALabelOnBothTablets) {
  measureAs({150, 20}, {0, 0});
  struct Case {
    support::Device device;
    double width, height;
  };
  // The 12.9-inch tablet stands in landscape: 1366 by 1024.
  for (const Case& c : {Case{support::Device::Standard, 1024, 768}, Case{support::Device::LargeTablet, 1366, 1024}}) {
    SCOPED_TRACE(c.width);
    switchDevice(c.device);
    auto overlay = overlayOnScreen("正在连接服务器...");
    overlay->show(false);
    render();
    expectRect(overlay->frame(), 0, 0, c.width, c.height);
    // Box 37 + 40 wide grows to the label plus the margins; 77 high grows by the label and 4.
    EXPECT_FLOAT_EQ(overlay->width(), 190);
    EXPECT_FLOAT_EQ(overlay->height(), 101);
    const double indicatorY = std::floor((c.height - 37) / 2) - 12;
    expectRect(overlay->indicator()->frame(), std::floor((c.width - 37) / 2), indicatorY, 37, 37);
    expectRect(overlay->label()->frame(), std::floor((c.width - 150) / 2), indicatorY + 41, 150, 20);
    expectRect(overlay->boxRect(), std::round((c.width - 190) / 2), std::round((c.height - 101) / 2), 190, 101);
    EXPECT_EQ(overlay->label()->text(), "正在连接服务器...");
    EXPECT_EQ(overlay->label()->textColor(), gfx::Color::whiteColor());
    EXPECT_EQ(overlay->label()->textAlignment(), gfx::TextAlignment::Center);
    EXPECT_EQ(findViewByText("正在连接服务器..."), overlay->label());
  }
}

TEST_F(ProgressOverlayTest, RealTextFitsItsLabelOnBothTablets) {
  for (auto device : {support::Device::Standard, support::Device::LargeTablet}) {
    switchDevice(device);
    for (const std::string text : {"正在连接服务器...", "图片加载中...."}) {
      auto overlay = overlayOnScreen(text);
      overlay->show(false);
      render();
      const gfx::Rect label = overlay->label()->frame();
      EXPECT_GT(label.size.width, 60);
      EXPECT_EQ(label.size.width, std::floor(label.size.width));
      EXPECT_EQ(overlay->label()->visibleLines(), std::vector<std::string>{text});
      // The label sits inside the box, under the spinner.
      const gfx::Rect box = overlay->boxRect();
      EXPECT_GE(label.origin.x, box.origin.x);
      EXPECT_LE(label.origin.x + label.size.width, box.origin.x + box.size.width);
      EXPECT_GT(label.origin.y, overlay->indicator()->frame().origin.y + 37);
      EXPECT_LE(label.origin.y + label.size.height, box.origin.y + box.size.height);
      overlay->removeFromSuperview();
    }
  }
}

TEST_F(ProgressOverlayTest, LongLabelIsCutToTheOverlayWidthLessFourMargins) {
  measureAs({2000, 20}, {0, 0});
  auto overlay = overlayOnScreen("x");
  render();
  EXPECT_DOUBLE_EQ(overlay->label()->frame().size.width, 1024 - 80);
  EXPECT_DOUBLE_EQ(overlay->label()->frame().origin.x, 40);
  EXPECT_FLOAT_EQ(overlay->width(), 1024 - 40);
}

TEST_F(ProgressOverlayTest, DetailsWidenOnlyPastTheWholeBoxAndNeedALabel) {
  std::optional<gfx::Size> offered;
  gfx::Size details{150, 40};
  ProgressOverlay::setTextMeasurer([&](const std::string&, const gfx::Font&, std::optional<gfx::Size> within) {
    if (!within) return gfx::Size{60, 20};
    offered = within;
    return details;
  });
  auto overlay = overlayOnScreen("label");
  overlay->setDetailsLabelText("details");
  render();
  // Box 100 wide (60 + 40); the details (150) are wider than it: 150 + 40.
  EXPECT_FLOAT_EQ(overlay->width(), 190);
  EXPECT_FLOAT_EQ(overlay->height(), 77 + 24 + 44);
  ASSERT_TRUE(offered);
  EXPECT_DOUBLE_EQ(offered->width, 1024 - 80);
  EXPECT_DOUBLE_EQ(offered->height, 768 - 101 - 40);
  // Indicator and label move up by 12 for the label and 22 for the details.
  const double indicatorY = 365 - 12 - 22;
  EXPECT_DOUBLE_EQ(overlay->indicator()->frame().origin.y, indicatorY);
  expectRect(overlay->label()->frame(), 482, indicatorY + 41, 60, 20);
  expectRect(overlay->detailsLabel()->frame(), 437, indicatorY + 41 + 24, 150, 40);
  EXPECT_EQ(overlay->detailsLabel()->numberOfLines(), 0);
  EXPECT_EQ(overlay->detailsLabel()->superview(), overlay.get());

  // Narrower than the box (but wider than the label): the box keeps its width.
  details = {90, 40};
  overlay->setDetailsLabelText("other details");
  render();
  EXPECT_FLOAT_EQ(overlay->width(), 100);

  // Without the label text the details go too.
  overlay->setLabelText(std::nullopt);
  render();
  EXPECT_EQ(overlay->label()->superview(), nullptr);
  EXPECT_EQ(overlay->detailsLabel()->superview(), nullptr);
  EXPECT_FLOAT_EQ(overlay->width(), 77);
  EXPECT_FLOAT_EQ(overlay->height(), 77);
  EXPECT_DOUBLE_EQ(overlay->indicator()->frame().origin.y, 365);
}

TEST_F(ProgressOverlayTest, SquareAndMinimumSizeAndOffsets) {
  auto overlay = ProgressOverlay::initWithView(m_screen.get());
  overlay->setCustomView(ui::View::create(gfx::Rect(0, 0, 80, 40)));
  overlay->setMode(ProgressOverlay::ModeCustomView);
  m_screen->addSubview(overlay);
  render();
  EXPECT_FLOAT_EQ(overlay->width(), 120);
  EXPECT_FLOAT_EQ(overlay->height(), 80);

  overlay->setSquare(true);
  overlay->setNeedsLayout();
  render();
  EXPECT_FLOAT_EQ(overlay->width(), 120);
  EXPECT_FLOAT_EQ(overlay->height(), 120);

  overlay->setSquare(false);
  overlay->setMinSize({200, 60});
  overlay->setXOffset(10);
  overlay->setYOffset(-20);
  overlay->setNeedsLayout();
  render();
  EXPECT_FLOAT_EQ(overlay->width(), 200);
  EXPECT_FLOAT_EQ(overlay->height(), 80);
  expectRect(overlay->indicator()->frame(), 472 + 10, 364 - 20, 80, 40);
  expectRect(overlay->boxRect(), 412 + 10, 344 - 20, 200, 80);
}

// ---- Showing and hiding ----

TEST_F(ProgressOverlayTest, FadesInOverAThirdOfASecondAndBlocksTouchesWhileShown) {
  auto overlay = overlayOnScreen("图片加载中....");
  overlay->show(true);
  EXPECT_EQ(overlay->alpha(), 1);  // the model value; the screen shows the fade
  EXPECT_TRUE(overlay->showStarted());
  wait(0.15);
  EXPECT_GT(shownAlpha(*overlay), 0.1);
  EXPECT_LT(shownAlpha(*overlay), 0.9);
  wait(0.2);
  EXPECT_DOUBLE_EQ(shownAlpha(*overlay), 1);

  // A control of the screen under the overlay.
  auto below = std::make_shared<TouchedView>(gfx::Rect(50, 50, 200, 100));
  m_screen->insertSubview(below, 0);
  tap(gfx::Point{100, 100});
  EXPECT_EQ(below->touches, 0);
  overlay->hide(false);
  EXPECT_EQ(overlay->alpha(), 0);
  tap(gfx::Point{100, 100});
  EXPECT_EQ(below->touches, 1);
}

TEST_F(ProgressOverlayTest, AnimatedHideEndsAtAlmostTransparentThenDoneClears) {
  RecordingDelegate delegate(true, true);
  auto overlay = overlayOnScreen("x");
  overlay->setAnimationType(ProgressOverlay::AnimationZoom);
  overlay->setDelegate(&delegate);
  overlay->show(true);
  wait(0.1);
  // Zoom in: from 1.5 back to the identity.
  EXPECT_GT(overlay->layer()->presentation().transform.m11, 1.0);
  wait(0.3);
  EXPECT_TRUE(overlay->transform().isIdentity());

  overlay->hide(true);
  EXPECT_DOUBLE_EQ(overlay->alpha(), 0.02);
  EXPECT_FALSE(overlay->isFinished());
  wait(0.2);
  EXPECT_TRUE(delegate.calls.empty());
  wait(0.2);
  EXPECT_TRUE(overlay->isFinished());
  EXPECT_EQ(overlay->alpha(), 0);
  EXPECT_DOUBLE_EQ(overlay->transform().a, 0.5);
  EXPECT_DOUBLE_EQ(overlay->transform().d, 0.5);
  // Told once, with the overlay, once it is hidden; it stays in the view and can show again.
  EXPECT_EQ(delegate.calls, std::vector<std::string>{"overlay"});
  EXPECT_TRUE(delegate.finishedWhenTold);
  EXPECT_EQ(delegate.alphaWhenTold, 0);
  EXPECT_EQ(overlay->superview(), m_screen.get());
  overlay->show(false);
  EXPECT_EQ(overlay->alpha(), 1);
  overlay->setDelegate(nullptr);
}

TEST_F(ProgressOverlayTest, DelegateGetsTheOperationItImplements) {
  RecordingDelegate plainOnly(false, true);
  RecordingDelegate none(false, false);
  auto overlay = overlayOnScreen("x");
  overlay->setDelegate(&plainOnly);
  overlay->show(false);
  overlay->hide(false);
  EXPECT_EQ(plainOnly.calls, std::vector<std::string>{"plain"});
  overlay->setDelegate(&none);
  overlay->show(false);
  overlay->hide(false);
  EXPECT_TRUE(none.calls.empty());

  // A delegate that goes away without clearing itself is simply no longer told.
  auto gone = std::make_unique<RecordingDelegate>(true, true);
  overlay->setDelegate(gone.get());
  gone.reset();
  EXPECT_EQ(overlay->delegate(), nullptr);
  overlay->show(false);
  overlay->hide(false);
}

TEST_F(ProgressOverlayTest, MinimumShowTimeHoldsTheHideBack) {
  RecordingDelegate delegate(true, false);
  auto overlay = overlayOnScreen("x");
  overlay->setDelegate(&delegate);
  overlay->setMinShowTime(1);
  overlay->show(false);
  wait(0.4);
  overlay->hide(false);
  ASSERT_TRUE(overlay->minShowTimer());
  EXPECT_EQ(overlay->alpha(), 1);
  wait(0.55);
  EXPECT_EQ(overlay->alpha(), 1);
  EXPECT_TRUE(delegate.calls.empty());
  wait(0.1);
  EXPECT_EQ(overlay->alpha(), 0);
  EXPECT_EQ(delegate.calls.size(), 1u);

  // Shown longer than the minimum: out at once.
  overlay->show(false);
  wait(1.2);
  overlay->hide(false);
  EXPECT_EQ(overlay->alpha(), 0);
  EXPECT_EQ(delegate.calls.size(), 2u);
  overlay->setDelegate(nullptr);
}

TEST_F(ProgressOverlayTest, GraceTimeWithoutATaskNeverShows) {
  auto overlay = overlayOnScreen("x");
  overlay->setGraceTime(0.5f);
  overlay->show(true);
  ASSERT_TRUE(overlay->graceTimer());
  wait(1.0);
  EXPECT_EQ(overlay->alpha(), 0);
  EXPECT_FALSE(overlay->showStarted());
  EXPECT_FALSE(overlay->graceTimer()->isValid());
}

TEST_F(ProgressOverlayTest, HideAfterDelay) {
  RecordingDelegate delegate(true, false);
  auto overlay = overlayOnScreen("x");
  overlay->setDelegate(&delegate);
  overlay->show(false);
  overlay->hideAfterDelay(true, 1.0);
  wait(0.9);
  EXPECT_EQ(overlay->alpha(), 1);
  wait(0.2);
  EXPECT_DOUBLE_EQ(overlay->alpha(), 0.02);  // fading out
  EXPECT_TRUE(delegate.calls.empty());
  wait(0.35);
  EXPECT_EQ(overlay->alpha(), 0);
  EXPECT_EQ(delegate.calls.size(), 1u);
  overlay->setDelegate(nullptr);
}

TEST_F(ProgressOverlayTest, ClassOperationsFindTheLastOverlayOfTheView) {
  EXPECT_FALSE(ProgressOverlay::hideHUDForView(m_screen.get(), false));
  auto first = ProgressOverlay::showHUDAddedTo(m_screen.get(), false);
  auto second = ProgressOverlay::showHUDAddedTo(m_screen.get(), false);
  ASSERT_TRUE(first && second);
  EXPECT_EQ(second->superview(), m_screen.get());
  EXPECT_EQ(second->alpha(), 1);

  RecordingDelegate delegate(true, false);
  second->setDelegate(&delegate);
  EXPECT_TRUE(ProgressOverlay::hideHUDForView(m_screen.get(), false));
  EXPECT_EQ(second->superview(), nullptr);
  EXPECT_TRUE(delegate.inHierarchyWhenTold);  // told before it leaves
  EXPECT_EQ(first->superview(), m_screen.get());
  EXPECT_EQ(first->alpha(), 1);
  second->setDelegate(nullptr);

  EXPECT_TRUE(ProgressOverlay::hideHUDForView(m_screen.get(), true));
  wait(0.4);
  EXPECT_EQ(first->superview(), nullptr);
  EXPECT_FALSE(ProgressOverlay::hideHUDForView(m_screen.get(), false));
}

// ---- Task mode ----

TEST_F(ProgressOverlayTest, TaskRunsOffTheMainThreadAndHidesWhenDone) {
  RecordingDelegate delegate(true, false);
  std::atomic<bool> release{false};
  std::atomic<bool> ranOnMain{true};
  std::weak_ptr<ProgressOverlay> weak;
  {
    auto overlay = overlayOnScreen("x");
    weak = overlay;
    overlay->setDelegate(&delegate);
    overlay->setRemoveFromSuperViewOnHide(true);
    overlay->setMode(ProgressOverlay::ModeDeterminate);
    auto* raw = overlay.get();
    overlay->showWhileExecuting(
        [&, raw] {
          ranOnMain = core::RunLoop::isMainThread();
          raw->setProgress(0.5f);  // from the task's thread: handed to the main thread
          while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        },
        true);
    EXPECT_TRUE(overlay->taskInProgress());
    // The screen lets go of it while the task runs.
    overlay->ui::View::removeFromSuperview();
  }
  ASSERT_FALSE(weak.expired());
  ASSERT_TRUE(runUntil([&] {
    auto overlay = weak.lock();
    auto pie = overlay ? std::dynamic_pointer_cast<kt::PORoundProgressView>(overlay->indicator()) : nullptr;
    return pie && pie->progress() == 0.5f;
  }));
  EXPECT_FALSE(ranOnMain);
  EXPECT_TRUE(delegate.calls.empty());
  release = true;
  ASSERT_TRUE(runUntil([&] { return !weak.expired() && !weak.lock()->taskInProgress(); }));
  auto overlay = weak.lock();
  EXPECT_EQ(overlay->indicator(), nullptr);
  wait(0.35);
  EXPECT_EQ(delegate.calls.size(), 1u);
  EXPECT_TRUE(overlay->isFinished());
  overlay->setDelegate(nullptr);
}

TEST_F(ProgressOverlayTest, GraceTimeShowsOnlyATaskThatOutlastsIt) {
  std::atomic<bool> release{false};
  auto slow = overlayOnScreen("slow");
  slow->setGraceTime(0.5f);
  slow->showWhileExecuting([&] { while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1)); }, false);
  wait(0.4);
  EXPECT_EQ(slow->alpha(), 0);
  wait(0.2);
  EXPECT_EQ(slow->alpha(), 1);
  release = true;
  ASSERT_TRUE(runUntil([&] { return !slow->taskInProgress(); }));
  EXPECT_EQ(slow->alpha(), 0);

  RecordingDelegate delegate(true, false);
  auto quick = overlayOnScreen("quick");
  quick->setDelegate(&delegate);
  quick->setGraceTime(0.5f);
  quick->showWhileExecuting([] {}, false);
  ASSERT_TRUE(runUntil([&] { return !quick->taskInProgress(); }));
  wait(0.6);
  EXPECT_EQ(quick->alpha(), 0);
  EXPECT_FALSE(quick->showStarted());
  EXPECT_EQ(delegate.calls.size(), 1u);
  quick->setDelegate(nullptr);
}

TEST_F(ProgressOverlayTest, LookSettersFromAnotherThreadActOnTheMainThread) {
  auto overlay = overlayOnScreen("x");
  std::thread worker([&] {
    overlay->setMode(ProgressOverlay::ModeDeterminate);
    overlay->setProgress(0.25f);
    overlay->setLabelText("图片加载中....");
    overlay->setDetailsLabelText("1/3");
  });
  worker.join();
  // Nothing has changed yet on the main thread.
  EXPECT_EQ(overlay->mode(), ProgressOverlay::ModeIndeterminate);
  EXPECT_EQ(overlay->labelText(), "x");
  render();
  EXPECT_EQ(overlay->mode(), ProgressOverlay::ModeDeterminate);
  EXPECT_EQ(overlay->labelText(), "图片加载中....");
  EXPECT_EQ(overlay->detailsLabelText(), "1/3");
  auto pie = std::dynamic_pointer_cast<kt::PORoundProgressView>(overlay->indicator());
  ASSERT_TRUE(pie);
  EXPECT_FLOAT_EQ(pie->progress(), 0.25f);
}

// ---- Orientation ----

TEST_F(ProgressOverlayTest, OverAWindowItStaysUprightAndFollowsTheBounds) {
  ui::Application::shared().setStatusBarOrientation(ui::InterfaceOrientation::LandscapeLeft);
  auto overlay = ProgressOverlay::initWithWindow(&window());
  window().addSubview(overlay);
  overlay->setTransformForCurrentOrientation(false);
  EXPECT_TRUE(overlay->transform().isIdentity());
  EXPECT_TRUE(overlay->rotationTransform().isIdentity());
  expectRect(overlay->bounds(), 0, 0, 1024, 768);

  // A view that is not a window: the bounds follow its bounds on an orientation change.
  auto inScreen = overlayOnScreen("x");
  m_screen->setBounds(gfx::Rect(0, 0, 700, 500));
  ui::Device::current().beginGeneratingDeviceOrientationNotifications();
  ui::Device::current().setOrientation(ui::DeviceOrientation::Portrait);
  ui::Device::current().endGeneratingDeviceOrientationNotifications();
  expectRect(inScreen->bounds(), 0, 0, 700, 500);
  ui::Device::current().reset();
}

// ---- Screenshots ----

TEST_F(ProgressOverlayTest, ScreenshotsOnBothTablets) {
  struct Case {
    support::Device device;
    const char* name;
    double height;
  };
  for (const Case& c : {Case{support::Device::Standard, "standard", 768}, Case{support::Device::LargeTablet, "large", 1024}}) {
    switchDevice(c.device);
    int i = 0;
    for (const std::string text : {"正在连接服务器...", "图片加载中...."}) {
      auto overlay = overlayOnScreen(text);
      overlay->show(true);
      wait(0.35);
      auto image = screenshot(std::string(c.name) + "-" + std::to_string(++i));
      ASSERT_TRUE(image);
      const gfx::Rect box = overlay->boxRect();
      // Inside the box, away from the spinner and text: black at 80 % over the light screen.
      const uint32_t inside = colorAt(*image, {box.origin.x + 6, box.origin.y + box.size.height / 2});
      EXPECT_LT(inside & 0xFF, 0x40u);
      // Outside it: the screen's own colour.
      const uint32_t outside = colorAt(*image, {box.origin.x - 10, box.origin.y - 10});
      EXPECT_NEAR(double((outside >> 16) & 0xFF), 0.85 * 255, 2);
      EXPECT_NEAR(double((outside >> 8) & 0xFF), 0.9 * 255, 2);
      EXPECT_EQ(outside & 0xFF, 0xFFu);
      EXPECT_DOUBLE_EQ(box.origin.y, std::round((c.height - overlay->height()) / 2));
      overlay->removeFromSuperview();
    }
  }
}

}  // namespace
