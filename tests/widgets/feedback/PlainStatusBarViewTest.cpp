#include "widgets/feedback/PlainStatusBarView.h"

#include <gtest/gtest.h>

#include "platform/core/UserDefaults.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Image.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/Window.h"
#include "support/UiHarness.h"

namespace {

using gfx::Rect;
using kt::PlainStatusBarView;

class PlainStatusBarViewTest : public support::ScreenTest {
 protected:
  PlainStatusBarViewTest() { core::UserDefaults::standard().setString("Server_Ip", "192.168.1.20"); }
};

TEST_F(PlainStatusBarViewTest, PairsAreLaidOutFromTheViewsOwnFrame) {
  // 2400 x 20: e = 14, q = 100.
  auto view = std::make_shared<PlainStatusBarView>(Rect(0, 0, 2400, 20));
  EXPECT_EQ(view->offLineImageView()->frame(), Rect(100, 3, 14, 14));
  EXPECT_EQ(view->offLineLabel()->frame(), Rect(114, 3, 86, 14));
  EXPECT_EQ(view->serverImageView()->frame(), Rect(300, 3, 14, 14));
  EXPECT_EQ(view->serverLabel()->frame(), Rect(314, 3, 86, 14));
  EXPECT_EQ(view->clerkImageView()->frame(), Rect(500, 3, 14, 14));
  EXPECT_EQ(view->clerkLabel()->frame(), Rect(514, 3, 86, 14));
  EXPECT_EQ(view->wifiImageView()->frame(), Rect(700, 3, 14, 14));
  EXPECT_EQ(view->wifiLabel()->frame(), Rect(714, 3, 86, 14));

  // Each icon before its label, in the order of the strip; the labels carry no tags.
  const std::vector<std::shared_ptr<ui::View>> expected{
      view->offLineImageView(), view->offLineLabel(), view->serverImageView(), view->serverLabel(),
      view->clerkImageView(),   view->clerkLabel(),   view->wifiImageView(),   view->wifiLabel()};
  EXPECT_EQ(view->subviews(), expected);
  for (const auto& label : {view->offLineLabel(), view->serverLabel(), view->clerkLabel(), view->wifiLabel()}) {
    EXPECT_EQ(label->tag(), 0);
    EXPECT_EQ(label->font()->name(), "HelveticaNeue-Bold");
    EXPECT_EQ(label->font()->pointSize(), 12);
    EXPECT_EQ(label->textColor(), gfx::Color::whiteColor());
    EXPECT_EQ(label->backgroundColor(), gfx::Color::clear());
    EXPECT_EQ(label->shadowOffset(), (gfx::Size{0, 1}));
    EXPECT_FALSE(label->shadowColor().has_value());
  }
  EXPECT_EQ(view->offLineLabel()->text(), "在线");
  EXPECT_EQ(view->serverLabel()->text(), "服务器：192.168.1.20");
  EXPECT_EQ(view->clerkLabel()->text(), "");
  EXPECT_EQ(view->wifiLabel()->text(), "");
  for (const auto& icon : {view->offLineImageView(), view->serverImageView(), view->clerkImageView(),
                           view->wifiImageView()}) {
    EXPECT_NE(icon->image(), nullptr);
  }

  // A taller view: bigger icons and labels, the same steps.
  auto tall = std::make_shared<PlainStatusBarView>(Rect(0, 0, 2400, 30));
  EXPECT_EQ(tall->serverImageView()->frame(), Rect(300, 3, 24, 24));
  EXPECT_EQ(tall->serverLabel()->frame(), Rect(324, 3, 76, 24));
}

TEST_F(PlainStatusBarViewTest, NarrowViewsKeepTheFramesAsComputedWithoutFailing) {
  // 1024 wide: q = -244, so the labels come out -258 wide and the server icon lies left of the
  // connection icon. The view layer keeps such rectangles in their normalised form.
  auto view = std::make_shared<PlainStatusBarView>(Rect(0, 0, 1024, 20));
  EXPECT_EQ(view->serverImageView()->frame(), Rect(-44, 3, 14, 14));
  EXPECT_EQ(view->wifiImageView()->frame(), Rect(-332, 3, 14, 14));
  EXPECT_EQ(view->offLineLabel()->frame(), Rect(114, 3, -258, 14).standardized());
  EXPECT_GE(view->offLineLabel()->bounds().width(), 0);
  windowPtr()->addSubview(view);
  render();

  // A height under 6 gives negative icon sides too.
  auto flat = std::make_shared<PlainStatusBarView>(Rect(0, 0, 2400, 4));
  EXPECT_EQ(flat->offLineImageView()->frame(), Rect(100, 3, -2, -2).standardized());
  windowPtr()->addSubview(flat);
  render();
}

TEST_F(PlainStatusBarViewTest, ServerLabelWithoutAnAddressSetting) {
  core::UserDefaults::standard().setObject("Server_Ip", core::Value());
  auto view = std::make_shared<PlainStatusBarView>(Rect(0, 0, 2400, 20));
  EXPECT_EQ(view->serverLabel()->text(), "服务器：(null)");
}

TEST_F(PlainStatusBarViewTest, Screenshot) {
  auto wide = std::make_shared<PlainStatusBarView>(Rect(0, 100, 2400, 20));
  wide->setBackgroundColor(gfx::Color::black());
  wide->offLineLabel()->setText("已连接");
  wide->wifiLabel()->setText("20:15");
  windowPtr()->addSubview(wide);
  auto narrow = std::make_shared<PlainStatusBarView>(Rect(0, 160, 1024, 20));
  narrow->setBackgroundColor(gfx::Color::rgba(0.05, 0.078, 0.12, 1.0));
  windowPtr()->addSubview(narrow);
  auto image = screenshot("plain-status-bar");
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(colorAt(*image, gfx::Point{50, 110}), 0xFF000000u);
  EXPECT_EQ(colorAt(*image, gfx::Point{50, 130}), 0xFFFFFFFFu);
}

}  // namespace
