#include "support/UiHarness.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <vector>

#include "platform/core/Clock.h"
#include "platform/display/OffscreenSurface.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Button.h"
#include "platform/ui/Event.h"
#include "platform/ui/Label.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Switch.h"
#include "platform/ui/Touch.h"
#include "platform/ui/Window.h"
#include "support/ScopedEnv.h"

namespace {

// Records what its touches did, in its own coordinates.
class TouchRecorder : public ui::View {
 public:
  using ui::View::View;
  struct Record {
    ui::TouchPhase phase;
    gfx::Point location;
    double time;
    int tapCount;
  };
  std::vector<Record> records;

  void touchesBegan(const ui::TouchSet& t, const ui::Event*) override { add(t); }
  void touchesMoved(const ui::TouchSet& t, const ui::Event*) override { add(t); }
  void touchesEnded(const ui::TouchSet& t, const ui::Event*) override { add(t); }
  void touchesCancelled(const ui::TouchSet& t, const ui::Event*) override { add(t); }

 private:
  void add(const ui::TouchSet& touches) {
    for (const auto& t : touches) records.push_back({t->phase(), t->locationInView(this), core::Clock::now(), t->tapCount()});
  }
};

class UiHarnessTest : public support::ScreenTest {};

TEST_F(UiHarnessTest, StartsWithAKeyWindowOfTheStandardScreen) {
  EXPECT_TRUE(core::Clock::isVirtual());
  EXPECT_TRUE(window().isKeyWindow());
  EXPECT_EQ(window().bounds(), gfx::Rect(0, 0, 1024, 768));
  EXPECT_EQ(ui::Screen::main().drawingScale(), 2);

  setDevice(support::Device::LargeTablet);
  EXPECT_TRUE(window().isKeyWindow());
  EXPECT_EQ(window().bounds(), gfx::Rect(0, 0, 1366, 1024));
  EXPECT_EQ(ui::Screen::main().currentMode().size, (gfx::Size{2048, 2732}));
  auto image = screenshot("tablet");
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->pixelWidth(), 2732);
  EXPECT_EQ(image->pixelHeight(), 2048);
}

TEST_F(UiHarnessTest, TapsReachTheViewUnderThePointAndButtonsFire) {
  auto button = ui::Button::create(ui::ButtonType::System, gfx::Rect(300, 200, 120, 44));
  button->setTitle(std::string("确定"));
  int fired = 0;
  button->addTarget(this, [&](ui::Control&, const ui::Event*) { ++fired; }, ui::ControlEventTouchUpInside);
  auto container = ui::View::create(gfx::Rect(100, 100, 600, 400));
  container->addSubview(button);
  windowPtr()->addSubview(container);

  tap(*button);
  EXPECT_EQ(fired, 1);
  tap(gfx::Point{20, 20});
  EXPECT_EQ(fired, 1);
  tap(gfx::Point{100 + 300 + 5, 100 + 200 + 5});  // the button's top-left corner, in window points
  EXPECT_EQ(fired, 2);
}

TEST_F(UiHarnessTest, LongPressHoldsTheTouchForTheVirtualDuration) {
  auto view = std::make_shared<TouchRecorder>(gfx::Rect(50, 60, 100, 100));
  windowPtr()->addSubview(view);
  longPress(*view, 1.5);
  ASSERT_EQ(view->records.size(), 2u);
  EXPECT_EQ(view->records[0].phase, ui::TouchPhase::Began);
  EXPECT_EQ(view->records[0].location, (gfx::Point{50, 50}));
  EXPECT_EQ(view->records[1].phase, ui::TouchPhase::Ended);
  EXPECT_NEAR(view->records[1].time - view->records[0].time, 1.5, 1e-6);
}

TEST_F(UiHarnessTest, DragMovesInEvenFrameSteps) {
  auto view = std::make_shared<TouchRecorder>(gfx::Rect(0, 0, 400, 400));
  windowPtr()->addSubview(view);
  drag(gfx::Point{10, 10}, gfx::Point{110, 210}, 4);
  ASSERT_EQ(view->records.size(), 6u);
  EXPECT_EQ(view->records.front().phase, ui::TouchPhase::Began);
  EXPECT_EQ(view->records[2].phase, ui::TouchPhase::Moved);
  EXPECT_EQ(view->records[2].location, (gfx::Point{60, 110}));
  EXPECT_EQ(view->records[4].location, (gfx::Point{110, 210}));
  EXPECT_EQ(view->records.back().phase, ui::TouchPhase::Ended);
  EXPECT_NEAR(view->records.back().time - view->records.front().time, 4.0 / 60, 1e-6);
}

TEST_F(UiHarnessTest, QuickRepeatedTapsCountUp) {
  auto view = std::make_shared<TouchRecorder>(gfx::Rect(0, 0, 200, 200));
  windowPtr()->addSubview(view);
  tap(*view);
  tap(*view);
  wait(1.0);
  tap(*view);
  ASSERT_EQ(view->records.size(), 6u);
  EXPECT_EQ(view->records[0].tapCount, 1);
  EXPECT_EQ(view->records[2].tapCount, 2);
  EXPECT_EQ(view->records[4].tapCount, 1);
}

TEST_F(UiHarnessTest, FindsViewsByTextTagAndClassSkippingHiddenOnes) {
  auto label = ui::Label::create(gfx::Rect(10, 10, 200, 30));
  label->setText("包厢 A");
  label->setTag(7);
  auto hidden = ui::Label::create(gfx::Rect(10, 50, 200, 30));
  hidden->setText("hidden");
  hidden->setHidden(true);
  auto button = ui::Button::create(ui::ButtonType::Custom, gfx::Rect(10, 90, 100, 40));
  button->setTitle(std::string("Order"));
  button->setTitle(std::string("Ordering"), ui::ControlStateHighlighted);
  auto sw = ui::Switch::create(gfx::Rect(10, 140, 0, 0));
  for (auto v : std::vector<std::shared_ptr<ui::View>>{label, hidden, button, sw}) windowPtr()->addSubview(v);

  EXPECT_EQ(findViewByText("包厢 A"), label);
  EXPECT_EQ(findViewByText("Order"), button) << "the button, not its title label";
  EXPECT_EQ(findViewByText("Ordering"), nullptr) << "only the current title counts";
  EXPECT_EQ(findViewByText("hidden"), nullptr);
  EXPECT_EQ(findViewByTag(7), label);
  EXPECT_EQ(findViewByTag(99), nullptr);
  EXPECT_EQ(findViews<ui::Switch>().size(), 1u);
  EXPECT_GE(findViews<ui::Label>().size(), 1u);
  EXPECT_EQ(findViews<ui::Window>().size(), 1u);
}

// A view that keeps what is typed into it.
class TypingTarget : public ui::View {
 public:
  std::string text;
  bool canBecomeFirstResponder() const override { return true; }
  bool insertText(const std::string& more) override {
    text += more;
    return true;
  }
  bool deleteBackward() override {
    if (!text.empty()) text.pop_back();
    return true;
  }
};

TEST_F(UiHarnessTest, TypingReachesTheFirstResponderOnly) {
  EXPECT_FALSE(type("abc"));  // nobody takes text yet
  EXPECT_FALSE(backspace());

  auto target = std::make_shared<TypingTarget>();
  windowPtr()->addSubview(target);
  ASSERT_TRUE(target->becomeFirstResponder());
  EXPECT_TRUE(type("abc"));
  EXPECT_TRUE(backspace());
  EXPECT_TRUE(type("d\n"));
  EXPECT_EQ(target->text, "abd\n");

  target->resignFirstResponder();
  EXPECT_FALSE(type("e"));
  EXPECT_EQ(target->text, "abd\n");
}

TEST_F(UiHarnessTest, ScreenshotsLandInTheBuildTreeAndShowTheScreen) {
  support::ScopedEnv unset("KT_SCREENS_DIR", nullptr);
  auto view = ui::View::create(gfx::Rect(200, 100, 50, 50));
  view->setBackgroundColor(gfx::Color::rgba(1, 0.5, 0));
  windowPtr()->addSubview(view);
  auto image = screenshot("orange square");
  ASSERT_NE(image, nullptr);
  std::string path = screenshotPath("orange square");
  EXPECT_NE(path.find("/screens/UiHarnessTest.ScreenshotsLandInTheBuildTreeAndShowTheScreen/orange_square.png"),
            std::string::npos)
      << path;
  struct stat st {};
  EXPECT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(colorAt(*image, gfx::Point{225, 125}), 0xFFFF8000u);
  EXPECT_EQ(colorAt(*image, gfx::Point{199, 125}), 0xFFFFFFFFu);
  EXPECT_EQ(colorAt(*image, gfx::Point{250, 125}), 0xFFFFFFFFu);
}

TEST_F(UiHarnessTest, ScreenshotsGoUnderTheFolderTheEnvironmentNames) {
  char folder[] = "/tmp/kt-screens-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string dir = std::string(folder) + "/shots";
  support::ScopedEnv screens("KT_SCREENS_DIR", dir.c_str());
  ASSERT_NE(screenshot("plain"), nullptr);
  const std::string path = dir + "/UiHarnessTest.ScreenshotsGoUnderTheFolderTheEnvironmentNames/plain.png";
  EXPECT_EQ(screenshotPath("plain"), path);
  struct stat st {};
  EXPECT_EQ(stat(path.c_str(), &st), 0);
  std::filesystem::remove_all(folder);
}

}  // namespace

TEST_F(UiHarnessTest, TouchesReachTheWindowInFrontOrPassThroughIt) {
  auto under = std::make_shared<TouchRecorder>(gfx::Rect(0, 0, 200, 200));
  window().addSubview(under);
  // A window at status-bar level over the top left corner, taking no touches.
  auto strip = ui::Window::create(gfx::Rect(0, 0, 1024, 768));
  strip->setBackgroundColor(std::nullopt);
  strip->setWindowLevel(1000);
  strip->setUserInteractionEnabled(false);
  strip->setHidden(false);
  tap(gfx::Point{50, 50});
  ASSERT_EQ(under->records.size(), 2u) << "the touch went through the strip";

  // A window that takes touches, with a view where a drag begins: the whole drag stays with it.
  auto front = ui::Window::create(gfx::Rect(0, 0, 1024, 768));
  front->setBackgroundColor(std::nullopt);
  front->setWindowLevel(2000);
  auto catcher = std::make_shared<TouchRecorder>(gfx::Rect(0, 0, 100, 100));
  front->addSubview(catcher);
  front->setHidden(false);
  drag(gfx::Point{50, 50}, gfx::Point{150, 150}, 4);
  EXPECT_EQ(under->records.size(), 2u);
  ASSERT_EQ(catcher->records.size(), 6u);
  EXPECT_EQ(catcher->records.back().phase, ui::TouchPhase::Ended);
  EXPECT_EQ(catcher->records.back().location, (gfx::Point{150, 150}));
  // Over the rest of that full-screen window, the window itself swallows the touch.
  tap(gfx::Point{150, 150});
  EXPECT_EQ(under->records.size(), 2u);
  EXPECT_EQ(catcher->records.size(), 6u);

  // Views of the front window are found, and a screenshot shows both windows.
  catcher->setTag(77);
  EXPECT_EQ(findViewByTag(77), catcher);
  catcher->setBackgroundColor(gfx::Color::red());
  under->setBackgroundColor(gfx::Color::blue());
  auto image = screenshot("stacked");
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(colorAt(*image, {50, 50}), 0xFFFF0000u);
  EXPECT_EQ(colorAt(*image, {150, 150}), 0xFF0000FFu);
}
