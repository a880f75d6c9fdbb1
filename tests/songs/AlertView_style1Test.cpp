// The choice alert on both tablet sizes: its box and button geometry, the tags and the delegate,
// its modal veil, and that closing it removes exactly what it added to the window.
#include "songs/AlertView_style1.h"

#include <gtest/gtest.h>

#include "app/Toust.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/Window.h"
#include "support/RectExpectations.h"
#include "support/UiHarness.h"

namespace {

using Titles = std::optional<std::vector<std::string>>;

struct Chooser : kt::AlertView_style1Delegate {
  std::vector<int> indexes;
  void didClickTheActionButtonAtIndex(int index) override { indexes.push_back(index); }
};

class AlertView_style1Test : public support::ScreenTest, public ::testing::WithParamInterface<support::Device> {
 protected:
  void SetUp() override { setDevice(GetParam()); }
  bool large() const { return GetParam() == support::Device::LargeTablet; }

  std::shared_ptr<kt::AlertView_style1> showAlert(const std::string& message, const Titles& titles,
                                                  Chooser* delegate = nullptr) {
    auto alert = kt::AlertView_style1::create(message, nullptr, titles);
    if (delegate) alert->setDelegate(delegate);
    alert->show();
    wait(0.3);
    return alert;
  }
  static std::shared_ptr<ui::View> buttonOf(kt::AlertView_style1& alert, int index) {
    return alert.viewWithTag(kt::AlertView_style1::FirstButtonTag + index);
  }
  // A button on the window, under where alerts go, that counts its presses.
  std::shared_ptr<ui::Button> addButtonBehind(int& presses) {
    auto button = ui::Button::create(ui::ButtonType::Custom, gfx::Rect(10, 10, 120, 60));
    button->addTarget(
        nullptr, [&presses](ui::Control&, const ui::Event*) { ++presses; }, ui::ControlEventTouchUpInside);
    window().addSubview(button);
    return button;
  }
  // Presses a button and lets the alert fade out.
  void press(kt::AlertView_style1& alert, int index) {
    tap(*buttonOf(alert, index));
    wait(0.2);
  }
};

TEST_P(AlertView_style1Test, BoxAndButtonRowFollowTheNumberOfTitles) {
  struct Row {
    Titles titles;
    std::vector<double> x, largeX;
    double w, largeW;
  } rows[] = {
      {std::nullopt, {0}, {0}, 492, 655},
      {std::vector<std::string>{}, {0}, {0}, 492, 655},
      {std::vector<std::string>{"取消", "扫码"}, {0, 246}, {0, 327}, 246, 327},
      {std::vector<std::string>{"一", "二", "三"}, {0, 164, 328}, {0, 218, 437}, 164, 218},
  };
  for (const Row& row : rows) {
    auto alert = kt::AlertView_style1::create("请先绑定房台~", nullptr, row.titles);
    const auto& xs = large() ? row.largeX : row.x;
    const double w = large() ? row.largeW : row.w;
    const size_t n = xs.size();
    if (large()) {
      support::expectRect(alert->frame(), 354, 306, 655, 336, "box");
      support::expectRect(alert->label_msg()->frame(), 0, 122, 655, 36, "message");
    } else {
      support::expectRect(alert->frame(), 266, 230, 492, 252, "box");
      support::expectRect(alert->label_msg()->frame(), 0, 92, 492, 27, "message");
    }
    EXPECT_EQ(alert->textAlignment(), 2);
    EXPECT_EQ(alert->imgV_bg(), nullptr);
    EXPECT_EQ(alert->label_msg()->text(), "请先绑定房台~");

    // Back to front: picture, message, (title, button) per title, then the separators.
    const auto& views = alert->subviews();
    ASSERT_EQ(views.size(), 2 + 2 * n + (n - 1));
    ASSERT_TRUE(std::dynamic_pointer_cast<ui::ImageView>(views[0]));
    EXPECT_EQ(std::static_pointer_cast<ui::ImageView>(views[0])->image(), gfx::Image::named("Alert_chooseSongs"));
    EXPECT_EQ(views[1], alert->label_msg());
    for (size_t i = 0; i < n; ++i) {
      auto title = std::dynamic_pointer_cast<ui::Label>(views[2 + 2 * i]);
      auto button = std::dynamic_pointer_cast<ui::Button>(views[3 + 2 * i]);
      ASSERT_TRUE(title && button);
      EXPECT_EQ(title->text(), row.titles && !row.titles->empty() ? (*row.titles)[i] : "确定");
      EXPECT_EQ(button->tag(), 101 + static_cast<int>(i));
      if (large()) {
        support::expectRect(title->frame(), xs[i], 257, w, 36, "title");
        support::expectRect(button->frame(), xs[i], 229, w, 93, "button");
      } else {
        support::expectRect(title->frame(), xs[i], 193, w, 27, "title");
        support::expectRect(button->frame(), xs[i], 172, w, 70, "button");
      }
    }
    for (size_t k = 1; k < n; ++k) {
      const gfx::Rect f = views[2 + 2 * n + (k - 1)]->frame();
      if (large()) support::expectRect(f, xs[k], 240, 2, 66, "separator");
      else support::expectRect(f, xs[k], 180, 2, 50, "separator");
    }
  }
}

TEST_P(AlertView_style1Test, OnlyADelegateSetAfterwardsIsToldTheIndex) {
  Chooser fromInitialiser;
  auto ignored = kt::AlertView_style1::create("请先绑定包房~", &fromInitialiser, std::vector<std::string>{"取消", "扫码"});
  EXPECT_EQ(ignored->delegate(), nullptr);
  ignored->show();
  wait(0.3);
  press(*ignored, 1);
  EXPECT_TRUE(fromInitialiser.indexes.empty());
  EXPECT_EQ(ignored->container(), nullptr);

  Chooser chooser;
  auto alert = showAlert("请先绑定包房~", std::vector<std::string>{"取消", "扫码"}, &chooser);
  press(*alert, 1);
  EXPECT_EQ(chooser.indexes, std::vector<int>{1});
  EXPECT_EQ(alert->container(), nullptr);
  EXPECT_EQ(window().subviews().size(), 0u);

  // A delegate that went away before the press is not called.
  auto gone = std::make_unique<Chooser>();
  auto last = showAlert("已切歌", std::nullopt, gone.get());
  gone.reset();
  EXPECT_EQ(last->delegate(), nullptr);
  press(*last, 0);
  EXPECT_EQ(last->container(), nullptr);
}

TEST_P(AlertView_style1Test, TheVeilSwallowsTouchesOutsideTheBox) {
  int behind = 0;
  auto button = addButtonBehind(behind);

  auto alert = showAlert("请先登录~", std::nullopt);
  tap(gfx::Point(70, 40));
  tap(gfx::Point(70, 40));
  EXPECT_EQ(behind, 0);
  EXPECT_NE(alert->container(), nullptr);  // only a button closes it

  press(*alert, 0);
  tap(gfx::Point(70, 40));
  EXPECT_EQ(behind, 1);
}

TEST_P(AlertView_style1Test, ClosingRemovesItsOwnContainerWhateverWasShownSince) {
  int behind = 0;
  auto button = addButtonBehind(behind);

  // A toast and then a second alert go on the window after the first alert.
  Chooser first, second;
  auto a = showAlert("点播失败，请稍后重试", std::nullopt, &first);
  kt::Toust::showToustWithMessage("已添加");
  auto b = showAlert("请先绑定包房~", std::vector<std::string>{"取消", "扫码"}, &second);
  const auto bContainer = b->container();
  ASSERT_TRUE(bContainer);
  EXPECT_EQ(window().subviews().back(), bContainer);

  // The first alert's button lies under the second alert's veil: the first closes by its own press.
  a->actionBtnClick(*std::static_pointer_cast<ui::Control>(buttonOf(*a, 0)));
  wait(0.2);
  EXPECT_EQ(first.indexes, std::vector<int>{0});
  EXPECT_EQ(a->container(), nullptr);
  EXPECT_EQ(b->container(), bContainer);
  EXPECT_EQ(bContainer->superview(), &window());

  press(*b, 0);
  EXPECT_EQ(second.indexes, std::vector<int>{0});
  // Nothing the alerts added is left to swallow touches once the toast has gone by itself.
  EXPECT_TRUE(runUntil([&] { return window().subviews().size() == 1; }));
  tap(*button);
  EXPECT_EQ(behind, 1);
}

TEST_P(AlertView_style1Test, Screenshot) {
  auto alert = showAlert("请先绑定包房~", std::vector<std::string>{"取消", "扫码"});
  render();
  ASSERT_TRUE(screenshot(large() ? "alert-12.9" : "alert"));
  auto one = kt::AlertView_style1::create("这是一条很长的提示信息，它会在固定高度的标签里按字符换行，超出的部分不会显示出来。", nullptr,
                                          std::nullopt);
  press(*alert, 0);
  one->show();
  wait(0.3);
  render();
  ASSERT_TRUE(screenshot(large() ? "alert-long-12.9" : "alert-long"));
}

INSTANTIATE_TEST_SUITE_P(BothTablets, AlertView_style1Test,
                         ::testing::Values(support::Device::Standard, support::Device::LargeTablet),
                         [](const auto& info) {
                           return info.param == support::Device::Standard ? "Standard" : "LargeTablet";
                         });

}  // namespace
