// The room bar and the shared popover of the ordering screens.
#include <gtest/gtest.h>

#include "app/DataCenter.h"
#include "order/OrderPopoverSource.h"
#include "order/RoomInfoBarView.h"
#include "order/ShowPopViewSegue.h"
#include "platform/ui/ActionSheet.h"
#include "platform/ui/Button.h"
#include "platform/ui/Nib.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "support/UiHarness.h"
#include "widgets/controls/EffectLabel.h"

namespace kt {
namespace {

class Source : public ui::ViewController, public OrderPopoverSource {
 public:
  ~Source() override { clearPopoverDelegate(); }
  void viewDidLoad() override {
    button = ui::Button::create(ui::ButtonType::Custom, gfx::Rect{600, 300, 120, 44});
    view()->addSubview(button);
  }
  std::shared_ptr<ui::Button> currentBtn() const override { return button; }
  std::shared_ptr<ui::Button> button;
};

class OrderPopoverTest : public support::ScreenTest {
 protected:
  OrderPopoverTest() {
    DataCenter::resetSharedInstanceForTesting();
    RoomInfoBarView::registerNib();
    source = std::make_shared<Source>();
    window().setRootViewController(source);
    render();
  }
  ~OrderPopoverTest() override {
    ShowPopViewSegue::resetForTesting();
    ui::Nib::reset();
  }

  std::shared_ptr<ui::ViewController> scene(const std::string& identifier) {
    auto controller = std::make_shared<ui::ViewController>();
    controller->setStoryboard(nullptr, identifier);
    return controller;
  }
  void show(const std::shared_ptr<ui::ViewController>& destination) {
    ShowPopViewSegue("showPopView", source, destination).perform();
    render();
  }

  std::shared_ptr<Source> source;
};

TEST_F(OrderPopoverTest, RoomBarShowsTheRoomAndTheClerkOrTheGuestsOwnBooking) {
  DataCenter& data = DataCenter::sharedInstance();
  data.setRoomNo("V08");
  data.setConsumeMoney("268.00");
  data.setReceiveClerk("");
  auto bar = RoomInfoBarView::initWithXib();
  ASSERT_TRUE(bar);
  EXPECT_EQ(bar->lblRoomName()->text(), "V08");
  EXPECT_EQ(bar->lblDingFangRen()->text(), "客订");
  EXPECT_EQ(bar->lblYiXiaoFei()->text(), "268.00");

  data.setReceiveClerk("王经理");
  data.setConsumeMoney(std::nullopt);
  bar->fillFromDataCenter();
  EXPECT_EQ(bar->lblDingFangRen()->text(), "王经理");
  EXPECT_EQ(bar->lblYiXiaoFei()->text(), "");

  ui::Nib::unregisterNib(RoomInfoBarView::NibName);
  EXPECT_FALSE(RoomInfoBarView::initWithXib());
}

TEST_F(OrderPopoverTest, OnePopoverAtATimeSizedByItsScene) {
  auto dish = scene("PopViewController");
  show(dish);
  auto first = ShowPopViewSegue::sharedPopover();
  ASSERT_TRUE(first && first->isPopoverVisible());
  EXPECT_EQ(first->popoverContentSize(), ShowPopViewSegue::DishPopoverSize);
  EXPECT_EQ(source->popoverController(), first);
  EXPECT_EQ(first->delegate(), static_cast<ui::PopoverControllerDelegate*>(source.get()));
  // The card points at the button and is the venue's dark card.
  auto card = first->card();
  ASSERT_TRUE(card);
  EXPECT_NE(card->cardColor(), gfx::Color::whiteColor());
  auto shot = screenshot("dish-popover");
  ASSERT_TRUE(shot);
  const gfx::Rect body = card->convertRectTo(card->contentFrame(), nullptr);
  const uint32_t pixel = colorAt(*shot, {body.midX(), body.midY()});
  EXPECT_LT((pixel >> 16) & 0xff, 0x40u);

  // The next one closes the first; the package chooser's scene gets the larger card.
  show(scene(ShowPopViewSegue::PackChooserScene));
  EXPECT_FALSE(first->isPopoverVisible());
  auto second = ShowPopViewSegue::sharedPopover();
  ASSERT_NE(second, first);
  EXPECT_TRUE(second->isPopoverVisible());
  EXPECT_EQ(second->popoverContentSize(), ShowPopViewSegue::PackChooserSize);

  // A source that goes takes itself off the popover.
  window().setRootViewController(std::make_shared<ui::ViewController>());
  source.reset();
  EXPECT_EQ(second->delegate(), nullptr);
}

}  // namespace
}  // namespace kt
