// The order-password pad on the offscreen screen, driven by taps: what the keys type, the
// eight-digit cap, what cancel and OK report (and to whom), closing, its frames on both tablets,
// the keyboard lift and the optional button row.
#include "widgets/controls/CustomDialogView.h"

#include <gtest/gtest.h>

#include "platform/gfx/Image.h"
#include "platform/gfx/Layer.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/Device.h"
#include "platform/ui/Keyboard.h"
#include "platform/ui/Label.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Window.h"
#include "support/InkRuns.h"
#include "support/RectExpectations.h"
#include "support/UiHarness.h"

namespace {

using kt::CustomDialogView;

struct Reports : kt::CustomDialogViewDelegate {
  struct Click {
    int tag;
    bool ok;
    std::string input;
  };
  void customIOS7dialogButtonTouchUpInside(CustomDialogView&, int index) override { rowButtons.push_back(index); }
  void customAlertViewClick(int tag, bool ok, const std::string& input) override { clicks.push_back({tag, ok, input}); }
  std::vector<Click> clicks;
  std::vector<int> rowButtons;
};

class PadTest : public support::ScreenTest {
 protected:
  // Shown on the window the way the basket screen shows it, popped in fully.
  std::weak_ptr<CustomDialogView> showPad(kt::CustomDialogViewDelegate* delegate) {
    auto pad = CustomDialogView::create();
    pad->title()->setText("请输入落单密码");
    pad->setDelegate(delegate);
    pad->show();
    wait(0.3);
    render();
    return pad;
  }
  void press(const std::string& key) {
    auto view = findViewByText(key);
    ASSERT_TRUE(view) << key;
    tap(*view);
  }
  void typeDigits(const std::string& digits) {
    for (char c : digits) press(std::string(1, c));
  }
  static std::string typed(const std::weak_ptr<CustomDialogView>& pad) { return pad.lock()->pw()->text(); }
  void pressDelete(const std::weak_ptr<CustomDialogView>& pad) {
    // The delete key is the field's right-hand neighbour in the keypad.
    auto del = findAt(*pad.lock(), gfx::Rect(212, 56, 58, 41));
    ASSERT_TRUE(del);
    tap(*del);
  }
  static std::shared_ptr<ui::View> findAt(CustomDialogView& pad, const gfx::Rect& frame) {
    for (auto& v : pad.containerView()->subviews())
      if (v->frame() == frame) return v;
    return nullptr;
  }
};

TEST_F(PadTest, DigitsAppendUpToEightThenTheNinthIsRefusedWithTheAlertAndDeleteRemovesTheLast) {
  Reports reports;
  auto pad = showPad(&reports);
  typeDigits("1234567");
  press("0");
  EXPECT_EQ(typed(pad), "12345670");
  EXPECT_TRUE(pad.lock()->pw()->isSecureTextEntry());
  EXPECT_TRUE(visibleAlerts().empty());

  press("9");
  ASSERT_EQ(visibleAlerts().size(), 1u);
  EXPECT_EQ(visibleAlerts()[0]->title(), "提示");
  EXPECT_EQ(visibleAlerts()[0]->message(), "输入长度不能大于8位!");
  EXPECT_EQ(typed(pad), "12345670");
  ASSERT_TRUE(tapAlertButton("确定"));
  wait(0.5);

  pressDelete(pad);
  EXPECT_EQ(typed(pad), "1234567");
  for (int i = 0; i < 7; ++i) pressDelete(pad);
  EXPECT_EQ(typed(pad), "");
  pressDelete(pad);  // nothing left: nothing happens
  EXPECT_EQ(typed(pad), "");
  press("5");
  EXPECT_EQ(typed(pad), "5");
  EXPECT_TRUE(reports.clicks.empty());
}

TEST_F(PadTest, OkReportsTheDialogsTagAndTheDigitsOnceThenTheDialogLeavesAndIsFreed) {
  Reports reports;
  auto pad = showPad(&reports);
  pad.lock()->setTag(7);
  typeDigits("2468");
  press("确定");
  press("确定");  // during the shrink: the box no longer takes touches
  wait(0.3);
  ASSERT_EQ(reports.clicks.size(), 1u);
  EXPECT_EQ(reports.clicks[0].tag, 7);
  EXPECT_TRUE(reports.clicks[0].ok);
  EXPECT_EQ(reports.clicks[0].input, "2468");
  EXPECT_TRUE(pad.expired());
  EXPECT_TRUE(window().subviews().empty());
}

TEST_F(PadTest, OkWithNothingTypedSendsTheEmptyTextAndCancelAlwaysSendsNoAndEmpty) {
  Reports reports;
  auto pad = showPad(&reports);
  press("确定");
  wait(0.3);
  pad = showPad(&reports);
  typeDigits("99");
  press("取消");
  wait(0.3);
  ASSERT_EQ(reports.clicks.size(), 2u);
  EXPECT_EQ(reports.clicks[0].tag, 0);
  EXPECT_TRUE(reports.clicks[0].ok);
  EXPECT_EQ(reports.clicks[0].input, "");
  EXPECT_FALSE(reports.clicks[1].ok);
  EXPECT_EQ(reports.clicks[1].input, "");
  EXPECT_TRUE(pad.expired());
}

TEST_F(PadTest, WithoutADelegateOrAfterItWentTheKeysOnlyClose) {
  auto pad = showPad(nullptr);
  EXPECT_EQ(pad.lock()->delegate(), nullptr);
  typeDigits("12");
  press("确定");
  wait(0.3);
  EXPECT_TRUE(pad.expired());

  auto reports = std::make_unique<Reports>();
  pad = showPad(reports.get());
  reports.reset();
  press("取消");
  wait(0.3);
  EXPECT_TRUE(pad.expired());
  EXPECT_TRUE(window().subviews().empty());
}

// Six, seven and eight digits each show as many dots, all inside the field: a guest sees the
// seventh and eighth digits arrive.
TEST_F(PadTest, EveryTypedDigitShowsAsADotInsideTheField) {
  Reports reports;
  auto pad = showPad(&reports).lock();
  typeDigits("123456");
  const gfx::Rect field = pad->pw()->convertRectTo(pad->pw()->bounds(), nullptr);
  std::vector<double> lastDotEnds;
  for (const char* more : {"", "7", "8"}) {
    typeDigits(more);
    const size_t digits = pad->pw()->text().size();
    SCOPED_TRACE(digits);
    auto shot = screenshot("digits-" + std::to_string(digits));
    ASSERT_TRUE(shot);
    // Along the field's middle, a little beyond its ends on both sides.
    const auto dots = support::darkRuns([&](gfx::Point p) { return colorAt(*shot, p); }, field.midY(),
                                        field.minX() - 5, field.maxX() + 5);
    ASSERT_EQ(dots.size(), digits);
    for (const support::InkRun& dot : dots) {
      EXPECT_GT(dot.from, field.minX());
      EXPECT_LT(dot.to, field.maxX() - 1);
    }
    lastDotEnds.push_back(dots.back().to);
  }
  EXPECT_LT(lastDotEnds[0], lastDotEnds[1]);
  EXPECT_LT(lastDotEnds[1], lastDotEnds[2]);
  pad->close();
  wait(0.3);
}

TEST_F(PadTest, FramesOnBothTablets) {
  struct Key {
    const char* text;
    double x, y;
  };
  const Key keys[] = {{"1", 35, 120}, {"2", 123, 120}, {"3", 211, 120}, {"4", 35, 197}, {"6", 211, 197},
                      {"7", 35, 274}, {"9", 211, 274}, {"取消", 35, 351}, {"0", 123, 351}, {"确定", 211, 351}};
  struct Screen {
    support::Device device;
    double boxX, boxY;
  };
  for (const Screen s : {Screen{support::Device::Standard, 362, 164}, Screen{support::Device::LargeTablet, 533, 292}}) {
    setDevice(s.device);
    Reports reports;
    auto pad = showPad(&reports).lock();
    const gfx::Rect screen = window().bounds();
    support::expectRect(pad->frame(), 0, 0, screen.width(), screen.height(), "backdrop");
    support::expectRect(pad->dialogView()->frame(), s.boxX, s.boxY, 300, 440, "box");
    EXPECT_EQ(pad->buttonHeight(), 0);
    EXPECT_EQ(pad->buttonSpacerHeight(), 0);
    support::expectRect(pad->title()->frame(), 0, 0, 235, 56, "title");
    support::expectRect(pad->pw()->frame(), 32, 56, 173, 41, "field");
    EXPECT_FALSE(pad->pw()->isEnabled());
    for (const Key& k : keys) {
      auto key = std::dynamic_pointer_cast<ui::Button>(findViewByText(k.text));
      ASSERT_TRUE(key) << k.text;
      support::expectRect(key->frame(), k.x, k.y, 60, 60, k.text);
      if (k.text[0] >= '0' && k.text[0] <= '9') {
        EXPECT_EQ(key->tag(), k.text[0] - '0');
      }
    }
    EXPECT_EQ(*pad->backgroundColor(), gfx::Color(0, 0, 0, 0.4));
    EXPECT_EQ(pad->dialogView()->layer()->opacity(), 1);
    pad->close();
    wait(0.3);
  }
}

TEST_F(PadTest, AKeyboardFromAnotherFieldLiftsTheBoxByHalfItsHeightAndItsGoingCentresItAgain) {
  Reports reports;
  auto pad = showPad(&reports).lock();
  ui::Keyboard::shared().show();
  wait(0.3);
  const double kb = ui::Keyboard::shownFrame().height();
  support::expectRect(pad->dialogView()->frame(), 362, (768 - kb - 440) / 2, 300, 440, "lifted");
  ui::Keyboard::shared().hide();
  wait(0.3);
  support::expectRect(pad->dialogView()->frame(), 362, 164, 300, 440, "centred");
  pad->close();
  wait(0.3);
  ui::Keyboard::shared().reset();
}

TEST_F(PadTest, RotationRecentresTheBoxOnTheScreenUnlessTheDialogLivesInAParentView) {
  Reports reports;
  auto onWindow = showPad(&reports).lock();
  auto parent = ui::View::create(gfx::Rect(10, 20, 500, 600));
  window().addSubview(parent);
  auto inParent = CustomDialogView::createWithParentView(parent);
  inParent->show();
  wait(0.3);
  support::expectRect(inParent->frame(), 0, 0, 1024, 768, "in parent");
  EXPECT_EQ(inParent->superview(), parent.get());

  // Turned to portrait.
  const auto landscape = ui::Application::shared().statusBarOrientation();
  ui::Application::shared().setStatusBarOrientation(ui::InterfaceOrientation::Portrait);
  core::NotificationCenter::defaultCenter().post(ui::Device::OrientationDidChangeNotification);
  wait(0.3);
  support::expectRect(onWindow->frame(), 0, 0, 768, 1024, "backdrop");
  support::expectRect(onWindow->dialogView()->frame(), 234, 292, 300, 440, "box");
  support::expectRect(inParent->dialogView()->frame(), 362, 164, 300, 440, "box in parent");
  ui::Application::shared().setStatusBarOrientation(landscape);
}

TEST_F(PadTest, AButtonRowOfOwnContentReportsItsIndexAndWithoutADelegateCloses) {
  auto content = ui::View::create(gfx::Rect(0, 0, 200, 100));
  std::vector<int> blockCalls;
  auto pad = CustomDialogView::create();
  pad->setContainerView(content);
  pad->setButtonTitles({"甲", "乙"});
  pad->setOnButtonTouchUpInside([&](CustomDialogView&, int index) { blockCalls.push_back(index); });
  Reports reports;
  pad->setDelegate(&reports);
  pad->show();
  wait(0.3);
  EXPECT_EQ(pad->pw(), nullptr);
  support::expectRect(pad->dialogView()->frame(), 412, (768 - 151) / 2.0, 200, 151, "box");
  auto second = findViewByText("乙");
  ASSERT_TRUE(second);
  support::expectRect(second->frame(), 100, 101, 100, 50, "second button");
  tap(*second);
  EXPECT_EQ(reports.rowButtons, std::vector<int>{1});
  EXPECT_EQ(blockCalls, std::vector<int>{1});
  EXPECT_TRUE(pad->superview());  // the delegate decides whether to close

  pad->setDelegate(nullptr);
  tap(*findViewByText("甲"));
  wait(0.3);
  EXPECT_EQ(blockCalls, (std::vector<int>{1, 0}));
  EXPECT_FALSE(pad->superview());
}

TEST_F(PadTest, Screenshots) {
  for (auto device : {support::Device::Standard, support::Device::LargeTablet}) {
    setDevice(device);
    Reports reports;
    auto pad = showPad(&reports).lock();
    typeDigits("1234");
    const std::string suffix = device == support::Device::Standard ? "" : "-large";
    auto shot = screenshot("pad" + suffix);
    ASSERT_TRUE(shot);
    const gfx::Rect box = pad->dialogView()->frame();
    // Dimmed white around the box, the light grey box itself.
    EXPECT_EQ(colorAt(*shot, {10, 10}), 0xff999999u);
    const uint32_t inBox = colorAt(*shot, {box.x() + 280, box.y() + 100});
    EXPECT_GT(inBox & 0xff, 0xd0u);
    pad->close();
    wait(0.3);
  }
}

}  // namespace
