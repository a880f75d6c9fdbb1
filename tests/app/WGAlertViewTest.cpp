#include <gtest/gtest.h>

#include "app/AlertViewQX.h"
#include "app/SubsidiaryClass.h"
#include "app/Toust.h"
#include "app/WGAlertView.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Image.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"
#include "support/RectExpectations.h"
#include "support/UiHarness.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace kt {
namespace {

using support::Device;

class RecordingDelegate : public WGAlertViewDelegate {
 public:
  void didClickTheActionButtonAtIndex(int index) override { indices.push_back(index); }
  std::vector<int> indices;
};


bool sameColor(const std::optional<gfx::Color>& c, double r, double g, double b, double a) {
  return c && std::abs(c->r() - r) < 1e-3 && std::abs(c->g() - g) < 1e-3 && std::abs(c->b() - b) < 1e-3 &&
         std::abs(c->a() - a) < 1e-3;
}

class WGAlertViewTest : public support::ScreenTest {
 protected:
  // The subviews of the alert that are labels, in the order they were added.
  static std::vector<std::shared_ptr<ui::Label>> labelsOf(const WGAlertView& alert) {
    std::vector<std::shared_ptr<ui::Label>> labels;
    for (const auto& v : alert.subviews()) {
      if (auto l = std::dynamic_pointer_cast<ui::Label>(v)) labels.push_back(l);
    }
    return labels;
  }
  // The plain views (rules) of the alert, in the order they were added.
  static std::vector<std::shared_ptr<ui::View>> rulesOf(const WGAlertView& alert) {
    std::vector<std::shared_ptr<ui::View>> rules;
    for (const auto& v : alert.subviews()) {
      if (!std::dynamic_pointer_cast<ui::Label>(v) && !std::dynamic_pointer_cast<ui::Button>(v)) rules.push_back(v);
    }
    return rules;
  }
  size_t windowSubviewCount() const { return window().subviews().size(); }
};

class WGAlertViewLayoutTest : public WGAlertViewTest, public ::testing::WithParamInterface<Device> {};

TEST_P(WGAlertViewLayoutTest, CardTitleMessageRulesAndButtonsFollowTheScreen) {
  setDevice(GetParam());
  const bool large = GetParam() == Device::LargeTablet;
  const gfx::Rect screen = ui::Screen::main().bounds();
  const double w = screen.size.width, h = screen.size.height, f = 0.6 * w;
  const std::string title = "提示";
  const std::string message = "绑定失败，请重新操作。这是一条很长的消息，它需要换行才能在卡片里完整地显示出来，一行放不下；在大屏幕上卡片更宽，所以这里再多写一些字，让它也要换行";
  auto alert = WGAlertView::create(title, message, nullptr, std::vector<std::string>{"取消", "确定"});

  const double t = SubsidiaryClass::fontHeight(title, 16, static_cast<float>(f - 20));
  const double m = std::max(1.4 * SubsidiaryClass::fontHeight(message, 14, static_cast<float>(f - 20)), 30.0);
  ASSERT_GT(t, 0);
  ASSERT_GT(m, 30);  // two lines at least

  support::expectRectNear(alert->frame(), 0.2 * w, (h - 51 - t - m) / 2, f, (large ? 63 : 53) + t + m, "card");
  EXPECT_TRUE(alert->clipsToBounds());
  EXPECT_DOUBLE_EQ(alert->layer()->cornerRadius(), 10);
  EXPECT_TRUE(sameColor(alert->backgroundColor(), 1, 1, 1, 1));

  auto labels = labelsOf(*alert);
  ASSERT_EQ(labels.size(), 4u);  // title, message, two captions
  support::expectRectNear(labels[0]->frame(), 10, 5, f - 20, t, "title");
  EXPECT_EQ(labels[0]->text(), title);
  EXPECT_TRUE(labels[0]->font()->isBold());
  EXPECT_DOUBLE_EQ(labels[0]->font()->pointSize(), 16);
  EXPECT_EQ(labels[0]->lineBreakMode(), gfx::LineBreakMode::CharWrap);
  EXPECT_EQ(labels[0]->numberOfLines(), 0);
  EXPECT_EQ(labels[1], alert->label_msg());
  support::expectRectNear(labels[1]->frame(), 10, t + 15, f - 20, m, "message");
  EXPECT_EQ(labels[1]->text(), message);
  EXPECT_FALSE(labels[1]->font()->isBold());
  EXPECT_DOUBLE_EQ(labels[1]->font()->pointSize(), 14);

  const double row = t + 21 + m;
  for (int i = 0; i < 2; ++i) {
    const auto& caption = labels[static_cast<size_t>(2 + i)];
    support::expectRectNear(caption->frame(), f * i / 2, row, f / 2, large ? 42 : 32, "caption");
    EXPECT_EQ(caption->text(), i == 0 ? "取消" : "确定");
    EXPECT_TRUE(sameColor(caption->textColor(), 0, 130.0 / 255, 1, 1));
    EXPECT_DOUBLE_EQ(caption->font()->pointSize(), large ? 14 : 13);
    EXPECT_EQ(caption->textAlignment(), gfx::TextAlignment::Center);
    auto button = alert->viewWithTag(101 + i);
    ASSERT_TRUE(button);
    support::expectRectNear(button->frame(), f * i / 2, row, f / 2, large ? 46 : 35, "button");
  }
  auto rules = rulesOf(*alert);
  ASSERT_EQ(rules.size(), 2u);
  support::expectRectNear(rules[0]->frame(), 0, t + 20 + m, f, 0.6, "rule under the message");
  support::expectRectNear(rules[1]->frame(), f / 2, row, 0.6, large ? 42 : 32, "rule between the buttons");
  EXPECT_TRUE(sameColor(rules[1]->backgroundColor(), 2.0 / 3, 2.0 / 3, 2.0 / 3, 1));

  alert->show();
  wait(0.4);
  screenshot(large ? "card_alert_12_9" : "card_alert");
}

INSTANTIATE_TEST_SUITE_P(Devices, WGAlertViewLayoutTest, ::testing::Values(Device::Standard, Device::LargeTablet),
                         [](const auto& info) { return info.param == Device::Standard ? "Standard" : "LargeTablet"; });

TEST_F(WGAlertViewTest, EmptyTitleHasNoTitleRowAndEmptyMessageTakes30Points) {
  auto alert = WGAlertView::create("", "", nullptr, std::nullopt);
  const double w = ui::Screen::main().bounds().size.width, h = ui::Screen::main().bounds().size.height;
  EXPECT_EQ(alert->label_msg()->frame().origin.y, 15);
  EXPECT_EQ(alert->label_msg()->frame().size.height, 30);
  support::expectRectNear(alert->frame(), 0.2 * w, (h - 51 - 30) / 2, 0.6 * w, 53 + 30, "card");
}

TEST_F(WGAlertViewTest, ButtonListDecidesTheRow) {
  // No list: one "确定" across the whole width.
  auto single = WGAlertView::create("提示", "请绑定房台", nullptr, std::nullopt);
  const double f = single->frame().size.width;
  auto labels = labelsOf(*single);
  ASSERT_EQ(labels.size(), 3u);
  EXPECT_EQ(labels[2]->text(), "确定");
  EXPECT_EQ(labels[2]->frame().size.width, f);
  EXPECT_EQ(rulesOf(*single).size(), 1u);

  // An empty list: no buttons and no rules between them.
  auto none = WGAlertView::create("提示", "请绑定房台", nullptr, std::vector<std::string>{});
  EXPECT_EQ(labelsOf(*none).size(), 2u);
  EXPECT_FALSE(none->viewWithTag(101));
  EXPECT_EQ(rulesOf(*none).size(), 1u);

  // Three: thirds with two rules, tags 101 to 103.
  auto three = WGAlertView::create("提示", "请选择", nullptr, std::vector<std::string>{"一", "二", "三"});
  auto rules = rulesOf(*three);
  ASSERT_EQ(rules.size(), 3u);
  EXPECT_NEAR(rules[1]->frame().origin.x, f / 3, 1e-9);
  EXPECT_NEAR(rules[2]->frame().origin.x, 2 * f / 3, 1e-9);
  for (int i = 0; i < 3; ++i) {
    auto button = three->viewWithTag(101 + i);
    ASSERT_TRUE(button);
    EXPECT_NEAR(button->frame().origin.x, f * i / 3, 1e-9);
    EXPECT_NEAR(button->frame().size.width, f / 3, 1e-9);
  }
  EXPECT_FALSE(three->viewWithTag(104));
}

TEST_F(WGAlertViewTest, OnlyADelegateSetAfterwardsHearsTheIndexThenTheAlertGoes) {
  RecordingDelegate given;
  RecordingDelegate later;
  auto alert = WGAlertView::create("提示", "请选择", &given, std::vector<std::string>{"一", "二", "三"});
  EXPECT_EQ(alert->delegate(), nullptr);  // the initialiser does not keep it
  alert->show();
  wait(0.35);
  tap(*alert->viewWithTag(102));
  EXPECT_TRUE(given.indices.empty());
  wait(0.15);
  EXPECT_FALSE(alert->window());

  for (int i = 0; i < 3; ++i) {
    auto next = WGAlertView::create("提示", "请选择", &given, std::vector<std::string>{"一", "二", "三"});
    next->setDelegate(&later);
    next->show();
    wait(0.35);
    tap(*next->viewWithTag(101 + i));
    wait(0.15);
    EXPECT_FALSE(next->window());
  }
  EXPECT_TRUE(given.indices.empty());
  EXPECT_EQ(later.indices, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(windowSubviewCount(), 0u);
}

TEST_F(WGAlertViewTest, ADelegateThatWentWhileTheAlertWasUpIsNotCalled) {
  auto alert = WGAlertView::create("提示", "请选择", nullptr, std::vector<std::string>{"一", "二"});
  {
    RecordingDelegate gone;
    alert->setDelegate(&gone);
    alert->show();
    wait(0.35);
  }
  EXPECT_EQ(alert->delegate(), nullptr);
  tap(*alert->viewWithTag(102));
  wait(0.15);
  EXPECT_FALSE(alert->window());  // the tap still closes it
}

TEST_F(WGAlertViewTest, ShowsOnceOverAVeilThatDarkensAndBlocksTouches) {
  auto under = ui::Button::create(ui::ButtonType::Custom, gfx::Rect(0, 0, 100, 100));
  int underTaps = 0;
  under->addTarget(nullptr, [&](ui::Control&, const ui::Event*) { ++underTaps; }, ui::ControlEventTouchUpInside);
  window().addSubview(under);

  RecordingDelegate delegate;
  auto alert = WGAlertView::create("提示", "已添加", nullptr, std::nullopt);
  alert->setDelegate(&delegate);
  alert->show();
  alert->show();
  ASSERT_EQ(windowSubviewCount(), 2u);
  auto holder = alert->veilHolder();
  ASSERT_TRUE(holder);
  EXPECT_EQ(holder->superview(), &window());
  EXPECT_EQ(holder->frame(), window().bounds());
  ASSERT_EQ(holder->subviews().size(), 2u);
  auto veil = holder->subviews()[0];
  EXPECT_EQ(holder->subviews()[1], alert);
  wait(0.02);  // early in the fade-in: a light veil, the card nearly transparent
  EXPECT_LT(alert->layer()->presentation().opacity, 0.3);
  auto early = veil->layer()->presentation().backgroundColor;
  ASSERT_TRUE(early);
  EXPECT_NEAR(early->a(), 0.1, 0.05);

  wait(0.35);
  EXPECT_TRUE(sameColor(veil->layer()->presentation().backgroundColor, 0, 0, 0, 0.4));
  EXPECT_DOUBLE_EQ(alert->layer()->presentation().opacity, 1);
  tap(gfx::Point{50, 50});
  tap(gfx::Point{50, 50});
  EXPECT_EQ(underTaps, 0);
  EXPECT_TRUE(alert->window());  // nothing but a button closes it
  EXPECT_TRUE(delegate.indices.empty());

  alert->show();  // still on screen: nothing new
  EXPECT_EQ(windowSubviewCount(), 2u);
}

TEST_F(WGAlertViewTest, ATapRemovesOnlyTheAlertsOwnHolder) {
  auto alert = WGAlertView::create("提示", "已添加", nullptr, std::nullopt);
  alert->show();
  wait(0.35);
  auto later = ui::View::create(gfx::Rect(0, 0, 10, 10));
  window().addSubview(later);
  tap(*alert->viewWithTag(101));
  wait(0.15);
  ASSERT_EQ(windowSubviewCount(), 1u);
  EXPECT_EQ(window().subviews()[0], later);

  // Shown again after it went: a fresh holder.
  alert->show();
  EXPECT_EQ(windowSubviewCount(), 2u);
  EXPECT_TRUE(alert->window());
}

TEST_F(WGAlertViewTest, TextAlignmentIsAppliedAtLayout) {
  auto alert = WGAlertView::create("提示", "消息", nullptr, std::nullopt);
  EXPECT_EQ(alert->textAlignment(), WGAlertView::AlignCenter);
  const std::pair<int, gfx::TextAlignment> cases[] = {
      {0, gfx::TextAlignment::Left}, {1, gfx::TextAlignment::Right}, {2, gfx::TextAlignment::Center}};
  for (const auto& [value, expected] : cases) {
    alert->setTextAlignment(value);
    alert->setNeedsLayout();
    alert->layoutIfNeeded();
    EXPECT_EQ(alert->label_msg()->textAlignment(), expected) << value;
  }
  alert->setTextAlignment(1);
  alert->setNeedsLayout();
  alert->layoutIfNeeded();
  for (int other : {3, -1, 42}) {
    alert->setTextAlignment(other);
    alert->setNeedsLayout();
    alert->layoutIfNeeded();
    EXPECT_EQ(alert->label_msg()->textAlignment(), gfx::TextAlignment::Right) << other;
  }
}

TEST_F(WGAlertViewTest, SetMsgMakesAnUnshownSystemAlertWithOneButton) {
  for (const std::string message : {"加载数据失败!", ""}) {
    auto alert = setMsg(message);
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->title(), "提示");
    EXPECT_EQ(alert->message(), message);
    EXPECT_EQ(alert->delegate(), nullptr);
    ASSERT_EQ(alert->numberOfButtons(), 1);
    EXPECT_EQ(alert->buttonTitleAtIndex(0), "确定");
    EXPECT_EQ(alert->cancelButtonIndex(), 0);
    EXPECT_FALSE(alert->isQueued());
  }
  auto alert = setMsg("连接服务器失败");
  alert->show();
  ASSERT_TRUE(runUntil([&] { return visibleAlerts().size() == 1; }));
  EXPECT_TRUE(tapAlertButton("确定"));
  EXPECT_TRUE(runUntil([&] { return visibleAlerts().empty(); }));
}

}  // namespace
}  // namespace kt
