#include "platform/ui/Keyboard.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/core/NotificationCenter.h"
#include "platform/display/OffscreenSurface.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Application.h"
#include "platform/ui/KeyboardView.h"
#include "platform/ui/Screen.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Window.h"
#include "support/UiHarness.h"

using gfx::Rect;
using ui::Keyboard;
using ui::TextField;

namespace {

struct Posted {
  std::string name;
  core::Value info;
};

class KeyboardTest : public support::ScreenTest {
 protected:
  KeyboardTest() {
    Keyboard::shared().reset();
    auto& center = core::NotificationCenter::defaultCenter();
    for (const char* name : {Keyboard::WillShowNotification, Keyboard::DidShowNotification, Keyboard::WillHideNotification,
                             Keyboard::DidHideNotification, Keyboard::WillChangeFrameNotification,
                             Keyboard::DidChangeFrameNotification}) {
      m_observations.emplace_back(center, name, nullptr, [this](const core::Notification& n) {
        posted.push_back({n.name, n.userInfo});
      });
    }
  }
  ~KeyboardTest() override {
    window().endEditing(true);
    m_observations.clear();
    Keyboard::shared().reset();
  }

  std::shared_ptr<TextField> addField(const Rect& frame) {
    auto f = TextField::create(frame);
    window().addSubview(f);
    return f;
  }

  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (const auto& p : posted) out.push_back(p.name);
    return out;
  }

  std::vector<Posted> posted;

 private:
  std::vector<core::Observation> m_observations;
};

using Names = std::vector<std::string>;
const Names ShowWill{"KeyboardWillChangeFrameNotification", "KeyboardWillShowNotification"};
const Names ShowDid{"KeyboardDidChangeFrameNotification", "KeyboardDidShowNotification"};
const Names HideWill{"KeyboardWillChangeFrameNotification", "KeyboardWillHideNotification"};
const Names HideDid{"KeyboardDidChangeFrameNotification", "KeyboardDidHideNotification"};

Names operator+(Names a, const Names& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

}  // namespace

TEST_F(KeyboardTest, ShowsWhenAFieldBeginsAndHidesWhenItEnds) {
  auto f = addField(Rect(100, 100, 300, 40));
  EXPECT_FALSE(Keyboard::shared().isVisible());
  EXPECT_TRUE(Keyboard::shared().frame().isEmpty());

  tap(*f);
  EXPECT_EQ(names(), ShowWill);  // the did- pair waits for the animation
  EXPECT_TRUE(Keyboard::shared().isVisible());
  EXPECT_EQ(Keyboard::shared().frame(), Rect(0, 416, 1024, 352));
  wait(0.2);
  EXPECT_EQ(names(), ShowWill);
  wait(0.1);
  EXPECT_EQ(names(), ShowWill + ShowDid);
  for (const auto& p : posted) {
    EXPECT_EQ(Keyboard::rectFromValue(p.info[Keyboard::FrameBeginUserInfoKey]), Rect(0, 768, 1024, 352)) << p.name;
    EXPECT_EQ(Keyboard::rectFromValue(p.info[Keyboard::FrameEndUserInfoKey]), Rect(0, 416, 1024, 352)) << p.name;
    EXPECT_DOUBLE_EQ(p.info[Keyboard::AnimationDurationUserInfoKey].doubleValue(), 0.25);
    EXPECT_EQ(p.info[Keyboard::AnimationCurveUserInfoKey].intValue(), 7);
  }

  posted.clear();
  f->resignFirstResponder();
  EXPECT_FALSE(Keyboard::shared().isVisible());
  EXPECT_EQ(names(), HideWill);
  wait(0.3);
  EXPECT_EQ(names(), HideWill + HideDid);
  EXPECT_EQ(Keyboard::rectFromValue(posted.back().info[Keyboard::FrameBeginUserInfoKey]), Rect(0, 416, 1024, 352));
  EXPECT_EQ(Keyboard::rectFromValue(posted.back().info[Keyboard::FrameEndUserInfoKey]), Rect(0, 768, 1024, 352));
}

TEST_F(KeyboardTest, MovingBetweenFieldsKeepsItUp) {
  auto a = addField(Rect(100, 100, 300, 40));
  auto b = addField(Rect(100, 200, 300, 40));
  tap(*a);
  wait(0.3);
  posted.clear();
  tap(*b);
  EXPECT_TRUE(b->isFirstResponder());
  wait(0.3);
  EXPECT_TRUE(posted.empty());
  EXPECT_TRUE(Keyboard::shared().isVisible());
  EXPECT_EQ(Keyboard::shared().activeInput(), b.get());

  // Becoming first responder again is not a new show either.
  EXPECT_TRUE(b->becomeFirstResponder());
  EXPECT_TRUE(posted.empty());
}

TEST_F(KeyboardTest, EndEditingHidesItAndForceOverridesTheDelegate) {
  struct Stubborn : ui::TextFieldDelegate {
    int asked = 0;
    int ended = 0;
    bool textFieldShouldEndEditing(TextField&) override {
      ++asked;
      return false;
    }
    void textFieldDidEndEditing(TextField&) override { ++ended; }
  } stubborn;
  auto panel = ui::View::create(Rect(0, 0, 600, 600));
  window().addSubview(panel);
  auto f = TextField::create(Rect(10, 10, 300, 40));
  panel->addSubview(f);
  auto outside = addField(Rect(700, 100, 200, 40));
  f->setDelegate(&stubborn);
  tap(*f);
  wait(0.3);
  posted.clear();

  EXPECT_FALSE(outside->endEditing(true));  // the first responder is not inside it
  EXPECT_FALSE(panel->endEditing(false));
  EXPECT_EQ(stubborn.asked, 1);
  EXPECT_TRUE(f->isFirstResponder());
  EXPECT_TRUE(posted.empty());

  EXPECT_TRUE(panel->endEditing(true));
  EXPECT_EQ(stubborn.asked, 1);  // forced: not asked
  EXPECT_EQ(stubborn.ended, 1);
  EXPECT_FALSE(f->isFirstResponder());
  EXPECT_FALSE(f->isEditing());
  EXPECT_EQ(names(), HideWill);
  wait(0.3);
  EXPECT_EQ(names(), HideWill + HideDid);
  EXPECT_FALSE(window().endEditing(true));  // nothing left to resign
}

TEST_F(KeyboardTest, QuickChangesStillPairEveryWillWithItsDid) {
  auto f = addField(Rect(100, 100, 300, 40));
  tap(*f);
  f->resignFirstResponder();
  EXPECT_EQ(names(), ShowWill + ShowDid + HideWill);
  wait(0.3);
  EXPECT_EQ(names(), ShowWill + ShowDid + HideWill + HideDid);
  EXPECT_FALSE(Keyboard::shared().isVisible());
}

TEST_F(KeyboardTest, FieldTornDownWithItsWindowHidesItOnTheNextTurn) {
  auto other = ui::Window::create(Rect(0, 0, 1024, 768));
  other->makeKeyAndVisible();
  auto f = TextField::create(Rect(100, 100, 300, 40));
  other->addSubview(f);
  ASSERT_TRUE(f->becomeFirstResponder());
  wait(0.3);
  posted.clear();
  // The window goes with its views, without anyone resigning: observers hear of it only later,
  // when the views are gone.
  f.reset();
  other.reset();
  EXPECT_TRUE(posted.empty());
  EXPECT_EQ(Keyboard::shared().activeInput(), nullptr);
  wait(0.3);
  EXPECT_EQ(names(), HideWill + HideDid);
}

TEST_F(KeyboardTest, FrameFollowsTheScreenAndOrientation) {
  setDevice(support::Device::LargeTablet);  // 1366 x 1024 points, the interface in landscape
  Keyboard::shared().show();
  EXPECT_EQ(Keyboard::shared().frame(), Rect(0, 1024 - 398, 1366, 398));
  EXPECT_EQ(Keyboard::rectFromValue(posted.front().info[Keyboard::FrameBeginUserInfoKey]), Rect(0, 1024, 1366, 398));
  Keyboard::shared().hide();
  EXPECT_TRUE(Keyboard::shared().frame().isEmpty());

  ui::Application::shared().setStatusBarOrientation(ui::InterfaceOrientation::Portrait);
  EXPECT_EQ(Keyboard::shownFrame(), Rect(0, 1366 - 328, 1024, 328));
  setDevice(support::Device::Standard);
  EXPECT_EQ(Keyboard::shownFrame(), Rect(0, 1024 - 264, 768, 264));
  ui::Application::shared().setStatusBarOrientation(ui::InterfaceOrientation::LandscapeLeft);
  EXPECT_EQ(Keyboard::shownFrame(), Rect(0, 416, 1024, 352));
}

TEST_F(KeyboardTest, LetterKeysTypeLikeTypedTextAndTurnToDigits) {
  struct Returns : ui::TextFieldDelegate {
    int returns = 0;
    bool textFieldShouldReturn(TextField&) override {
      ++returns;
      return true;
    }
  } returns;
  auto f = addField(Rect(100, 100, 300, 40));
  f->setDelegate(&returns);
  tap(*f);
  for (const char* key : {"k", "t", "v", "123", "2", "#", "ABC", " ", "a", "\b", "q"}) EXPECT_TRUE(tapKey(key)) << key;
  EXPECT_FALSE(tapKey("1"));  // the letters again
  EXPECT_EQ(f->text(), "ktv2# q");
  EXPECT_TRUE(tapKey("\n"));
  EXPECT_EQ(returns.returns, 1);
  EXPECT_EQ(f->text(), "ktv2# q");
  f->setDelegate(nullptr);
}

TEST_F(KeyboardTest, NumberFieldsGetTheNumberPad) {
  auto f = addField(Rect(100, 100, 300, 40));
  f->setKeyboardType(ui::KeyboardType::NumberPad);
  tap(*f);
  EXPECT_EQ(Keyboard::shared().view()->layout(), ui::KeyboardView::Layout::NumberPad);
  for (const char* key : {"8", "0", "5", "1", "\b", "3"}) EXPECT_TRUE(tapKey(key)) << key;
  EXPECT_FALSE(tapKey("a"));
  EXPECT_FALSE(tapKey("\n"));  // digits and delete only: no return key that would do nothing
  EXPECT_EQ(f->text(), "8053");

  // Another field takes over: its own layout.
  auto letters = addField(Rect(100, 200, 300, 40));
  tap(*letters);
  EXPECT_EQ(Keyboard::shared().view()->layout(), ui::KeyboardView::Layout::Letters);
}

TEST_F(KeyboardTest, TakesTouchesOnItsKeysOnlyInFrontOfEveryWindow) {
  struct Counter : ui::View {
    using View::View;
    int ended = 0;
    void touchesEnded(const ui::TouchSet&, const ui::Event*) override { ++ended; }
  };
  auto f = addField(Rect(100, 100, 300, 40));
  tap(*f);
  // An alert-level window over the whole screen, after the keyboard came up.
  auto over = ui::Window::create(ui::Screen::main().bounds());
  over->setWindowLevel(ui::AlertView::WindowLevelAlert);
  auto counter = std::make_shared<Counter>(over->bounds());
  over->addSubview(counter);
  over->setHidden(false);

  tap(gfx::Point{512, 400});  // above the keyboard
  EXPECT_EQ(counter->ended, 1);
  EXPECT_TRUE(tapKey("m"));
  EXPECT_EQ(counter->ended, 1);
  EXPECT_EQ(f->text(), "m");
  auto shown = display().shownWindows();
  EXPECT_EQ(shown.back(), Keyboard::shared().window());

  // Gone, it takes nothing.
  ASSERT_TRUE(f->resignFirstResponder());
  wait(0.3);
  tap(gfx::Point{512, 700});
  EXPECT_EQ(counter->ended, 2);
  EXPECT_EQ(display().shownWindows().back(), over);
}

TEST_F(KeyboardTest, TheKeysFollowTheInterfaceTurningWhileUp) {
  auto f = addField(Rect(100, 100, 300, 40));
  tap(*f);
  wait(0.3);
  ui::Application::shared().setStatusBarOrientation(ui::InterfaceOrientation::Portrait);
  EXPECT_EQ(Keyboard::shared().frame(), Rect(0, 1024 - 264, 768, 264));
  EXPECT_EQ(Keyboard::shared().window()->frame(), Rect(0, 0, 768, 1024));
  EXPECT_EQ(Keyboard::shared().view()->frame(), Keyboard::shared().frame());
}

// The keyboard on both tablets in both orientations: its keys in its frame, big enough for a
// finger, each page drawn (screenshots to look at).
class KeyboardPictureTest : public KeyboardTest,
                            public ::testing::WithParamInterface<std::tuple<support::Device, ui::InterfaceOrientation>> {};

TEST_P(KeyboardPictureTest, KeysLieInTheFrameOnEveryPage) {
  auto [device, orientation] = GetParam();
  ui::Application::shared().setStatusBarOrientation(orientation);
  setDevice(device);
  auto f = addField(Rect(20, 40, 300, 40));
  auto pad = addField(Rect(20, 100, 300, 40));
  pad->setKeyboardType(ui::KeyboardType::DecimalPad);
  auto numbers = addField(Rect(20, 160, 300, 40));
  numbers->setKeyboardType(ui::KeyboardType::NumberPad);
  tap(*f);
  wait(0.3);
  const auto& view = Keyboard::shared().view();
  Rect frame = Keyboard::shownFrame();
  EXPECT_EQ(view->frame(), frame);
  EXPECT_EQ(Keyboard::shared().frame(), frame);
  for (const char* page : {"letters", "digits", "pad", "numbers"}) {
    if (std::string(page) == "digits") tapKey("123");
    if (std::string(page) == "pad") tap(*pad);
    if (std::string(page) == "numbers") tap(*numbers);
    wait(0.3);
    auto image = screenshot(page);
    ASSERT_TRUE(image);
    const auto& keys = view->keys();
    EXPECT_GE(keys.size(), std::string(page) == "numbers" ? 11u : std::string(page) == "pad" ? 13u : 33u) << page;
    for (const auto& k : keys) {
      Rect onScreen = view->convertRectTo(k.frame, nullptr);
      EXPECT_TRUE(frame.contains(onScreen)) << page << " " << k.text;
      EXPECT_GE(k.frame.width(), 40) << page << " " << k.text;
      EXPECT_GE(k.frame.height(), 40) << page << " " << k.text;
      // The key's face, lighter than the board around it.
      uint32_t face = colorAt(*image, gfx::Point{onScreen.x() + 3, onScreen.y() + 3});
      uint32_t board = colorAt(*image, gfx::Point{onScreen.x() - 2, onScreen.midY()});
      bool function = k.kind != ui::KeyboardView::KeyKind::Character && k.kind != ui::KeyboardView::KeyKind::Space;
      if (!function) {
        EXPECT_EQ(face, 0xFFFFFFFFu) << page << " " << k.text;
      }
      EXPECT_NE(face, board) << page << " " << k.text;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Tablets, KeyboardPictureTest,
    ::testing::Combine(::testing::Values(support::Device::Standard, support::Device::LargeTablet),
                       ::testing::Values(ui::InterfaceOrientation::LandscapeRight, ui::InterfaceOrientation::Portrait)),
    [](const auto& info) {
      std::string name = std::get<0>(info.param) == support::Device::Standard ? "Standard" : "Large";
      return name + (std::get<1>(info.param) == ui::InterfaceOrientation::Portrait ? "Portrait" : "Landscape");
    });

TEST(KeyboardRectValue, RoundTripsAndToleratesBadInput) {
  Rect r(0.5, 416, 1024.25, 352);
  core::Value v = Keyboard::valueFromRect(r);
  EXPECT_EQ(v.stringValue(), "{{0.5, 416}, {1024.25, 352}}");
  EXPECT_EQ(Keyboard::rectFromValue(v), r);
  EXPECT_EQ(Keyboard::rectFromValue(core::Value("{{-1,2},{3,4}}")), Rect(-1, 2, 3, 4));

  core::Value dict;
  dict.set("X", 1);
  dict.set("Y", 2.5);
  dict.set("Width", 3);
  dict.set("Height", 4);
  EXPECT_EQ(Keyboard::rectFromValue(dict), Rect(1, 2.5, 3, 4));

  for (const core::Value& bad : {core::Value(), core::Value(7), core::Value("{{1, 2}, {3}}"), core::Value("{{1, 2}, {3, 4}"),
                                 core::Value("rect")}) {
    EXPECT_EQ(Keyboard::rectFromValue(bad), Rect()) << bad.description();
  }
}
