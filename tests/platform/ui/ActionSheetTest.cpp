#include "platform/ui/ActionSheet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/gfx/Image.h"
#include "platform/ui/Button.h"
#include "platform/ui/Window.h"
#include "support/UiHarness.h"

namespace {

using Log = std::vector<std::string>;

class Recorder : public ui::ActionSheetDelegate {
 public:
  void clickedButtonAtIndex(ui::ActionSheet&, int i) override { log.push_back("clicked " + std::to_string(i)); }
  void willDismissWithButtonIndex(ui::ActionSheet&, int i) override { log.push_back("will " + std::to_string(i)); }
  void didDismissWithButtonIndex(ui::ActionSheet&, int i) override { log.push_back("did " + std::to_string(i)); }
  Log log;
};

class ActionSheetTest : public support::ScreenTest {
 protected:
  std::shared_ptr<ui::ActionSheet> makeSheet(Recorder* d) {
    return ui::ActionSheet::create("Choose a photo", d, std::string("Cancel"), std::string("Delete"),
                                   {"Camera", "Library"});
  }
  std::shared_ptr<ui::View> anchor() {
    auto v = ui::View::create(gfx::Rect(700, 100, 80, 40));
    v->setBackgroundColor(gfx::Color::lightGray());
    window().addSubview(v);
    return v;
  }
};

TEST_F(ActionSheetTest, IndexesGoDestructiveOthersCancel) {
  auto sheet = makeSheet(nullptr);
  EXPECT_EQ(sheet->numberOfButtons(), 4);
  EXPECT_EQ(sheet->destructiveButtonIndex(), 0);
  EXPECT_EQ(sheet->firstOtherButtonIndex(), 1);
  EXPECT_EQ(sheet->cancelButtonIndex(), 3);
  EXPECT_EQ(sheet->buttonTitleAtIndex(2), "Library");
  EXPECT_EQ(sheet->addButtonWithTitle("More"), 4);
  auto bare = ui::ActionSheet::create("", nullptr);
  EXPECT_EQ(bare->cancelButtonIndex(), -1);
  EXPECT_EQ(bare->destructiveButtonIndex(), -1);
}

TEST_F(ActionSheetTest, FromARectItPointsAtItAndReportsTheButtonTapped) {
  Recorder d;
  auto sheet = makeSheet(&d);
  auto a = anchor();
  sheet->showFromRect(a->bounds(), *a, true);
  wait(0.5);
  ASSERT_TRUE(sheet->isVisible());
  auto card = sheet->card();
  ASSERT_TRUE(card);
  // Room below the anchor: the arrow points up at it, the card hangs from its bottom edge.
  EXPECT_EQ(card->arrowDirection(), ui::PopoverArrowDirectionUp);
  gfx::Rect cardFrame = card->convertRectTo(card->bounds(), nullptr);
  EXPECT_EQ(cardFrame.minY(), 140);
  EXPECT_LE(cardFrame.maxX(), window().bounds().maxX() - ui::PopoverCardView::ScreenMargin);
  EXPECT_NEAR(card->frame().x() + card->placement().arrowOffset, 740, 0.5);
  // The cancel button is not drawn on the tablet; the destructive one is red.
  EXPECT_EQ(sheet->buttonAtIndex(3), nullptr);
  EXPECT_FALSE(tapAlertButton("Cancel"));
  auto destructive = sheet->buttonAtIndex(0);
  ASSERT_TRUE(destructive);
  EXPECT_GT(destructive->currentTitleColor().r(), 0.9);
  EXPECT_LT(destructive->currentTitleColor().b(), 0.3);
  screenshot("from-rect");

  ASSERT_TRUE(tapAlertButton("Library"));
  EXPECT_EQ(d.log, (Log{"clicked 2", "will 2"}));
  wait(0.5);
  EXPECT_EQ(d.log, (Log{"clicked 2", "will 2", "did 2"}));
  EXPECT_FALSE(sheet->isVisible());
  EXPECT_EQ(sheet->card(), nullptr);
}

TEST_F(ActionSheetTest, ATapOutsideDismissesWithTheCancelIndex) {
  Recorder d;
  std::weak_ptr<ui::ActionSheet> weak;
  int taps = 0;
  auto under = ui::Button::create(ui::ButtonType::Custom, gfx::Rect(20, 600, 100, 40));
  under->addTarget(this, [&](ui::Control&, const ui::Event*) { ++taps; }, ui::ControlEventTouchUpInside);
  window().addSubview(under);
  {
    auto sheet = makeSheet(&d);
    sheet->showInView(window());
    weak = sheet;
  }
  wait(0.5);
  ASSERT_FALSE(weak.expired());  // kept while shown
  tap(*under);  // outside the card: the tap ends the sheet and does not reach the button
  EXPECT_EQ(taps, 0);
  wait(0.5);
  EXPECT_EQ(d.log, (Log{"clicked 3", "will 3", "did 3"}));
  support::drainMainLoop();
  EXPECT_TRUE(weak.expired());
  tap(*under);
  EXPECT_EQ(taps, 1);
}

TEST_F(ActionSheetTest, DismissFromCodeSendsNoClick) {
  Recorder d;
  auto sheet = makeSheet(&d);
  auto a = anchor();
  sheet->showFromRect(a->bounds(), *a, false);
  EXPECT_TRUE(sheet->isVisible());
  sheet->dismissWithClickedButtonIndex(1, false);
  EXPECT_EQ(d.log, (Log{"will 1", "did 1"}));
  EXPECT_FALSE(sheet->isVisible());
  sheet->dismissWithClickedButtonIndex(1, false);
  EXPECT_EQ(d.log.size(), 2u);
}

}  // namespace
