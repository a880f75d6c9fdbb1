#include "platform/ui/AlertView.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/display/OffscreenSurface.h"
#include "platform/gfx/Compositor.h"
#include "platform/gfx/Context.h"

#include "platform/gfx/Image.h"
#include "platform/ui/Button.h"
#include "platform/ui/Keyboard.h"
#include "platform/ui/Application.h"
#include "platform/ui/Label.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Window.h"
#include "support/UiHarness.h"

namespace {

class Recorder : public ui::AlertViewDelegate {
 public:
  void clickedButtonAtIndex(ui::AlertView&, int i) override { log.push_back("clicked " + std::to_string(i)); }
  void willDismissWithButtonIndex(ui::AlertView&, int i) override { log.push_back("will " + std::to_string(i)); }
  void didDismissWithButtonIndex(ui::AlertView& a, int i) override {
    log.push_back("did " + std::to_string(i));
    if (onDid) onDid(a);
  }
  bool alertViewShouldEnableFirstOtherButton(ui::AlertView&) override { return enableFirstOther; }
  std::vector<std::string> log;
  bool enableFirstOther = true;
  std::function<void(ui::AlertView&)> onDid;
};

using Log = std::vector<std::string>;

// A black and white checkerboard of 6-point squares: text-sharp edges everywhere.
class Checkerboard : public ui::View {
 public:
  using View::View;
  bool drawsContent() const override { return true; }
  void drawRect(gfx::Context& ctx, const gfx::Rect&) override {
    gfx::Rect b = bounds();
    ctx.setFillColor(gfx::Color::whiteColor());
    ctx.fillRect(b);
    ctx.setFillColor(gfx::Color::black());
    for (int row = 0; row * 6 < b.height(); ++row)
      for (int col = row % 2; col * 6 < b.width(); col += 2) ctx.fillRect(gfx::Rect(col * 6, row * 6, 6, 6));
  }
};

// The pixels of a rectangle of points that differ between two images of one size.
int differingPixels(const gfx::Image& a, const gfx::Image& b, const gfx::Rect& r) {
  int n = 0;
  for (int y = int(r.minY() * a.scale()); y < int(r.maxY() * a.scale()); ++y)
    for (int x = int(r.minX() * a.scale()); x < int(r.maxX() * a.scale()); ++x) n += a.pixelAt(x, y) != b.pixelAt(x, y);
  return n;
}

class AlertViewTest : public support::ScreenTest {
 protected:
  // Lets the pop-in or the dismissal run to its end.
  void settle() { wait(0.5); }
  // The spread of the red channel over a rectangle of points: 0 for a flat colour.
  static int redSpread(const gfx::Image& image, const gfx::Rect& r) {
    int lo = 255, hi = 0;
    for (double y = r.minY(); y < r.maxY(); y += 0.5) {
      for (double x = r.minX(); x < r.maxX(); x += 0.5) {
        int red = int((colorAt(image, gfx::Point{x, y}) >> 16) & 0xFF);
        lo = std::min(lo, red);
        hi = std::max(hi, red);
      }
    }
    return hi - lo;
  }
};

TEST_F(AlertViewTest, ButtonIndexesFollowTheOrderOfAddition) {
  auto alert = ui::AlertView::create("T", "M", nullptr, std::string("Cancel"), {"A", "B"});
  EXPECT_EQ(alert->numberOfButtons(), 3);
  EXPECT_EQ(alert->cancelButtonIndex(), 0);
  EXPECT_EQ(alert->firstOtherButtonIndex(), 1);
  EXPECT_EQ(alert->buttonTitleAtIndex(2), "B");
  EXPECT_EQ(alert->buttonTitleAtIndex(3), "");
  EXPECT_EQ(alert->buttonTitleAtIndex(-1), "");
  EXPECT_EQ(alert->addButtonWithTitle("C"), 3);

  auto plain = ui::AlertView::create("T", "");
  EXPECT_EQ(plain->cancelButtonIndex(), -1);
  EXPECT_EQ(plain->firstOtherButtonIndex(), -1);
  plain->addButtonWithTitle("OK");
  EXPECT_EQ(plain->firstOtherButtonIndex(), 0);
  plain->setCancelButtonIndex(5);  // out of range: none
  EXPECT_EQ(plain->cancelButtonIndex(), -1);
  EXPECT_FALSE(plain->isVisible());
}

TEST_F(AlertViewTest, StackedButtonsPutCancelAtTheBottomAndReportTheirIndex) {
  Recorder d;
  auto alert = ui::AlertView::create("Title", "Three buttons are stacked.", &d, std::string("Cancel"), {"First", "Second"});
  alert->show();
  settle();
  ASSERT_TRUE(alert->isVisible());
  auto cancel = alert->buttonAtIndex(0), first = alert->buttonAtIndex(1), second = alert->buttonAtIndex(2);
  ASSERT_TRUE(cancel && first && second);
  EXPECT_EQ(first->frame().width(), ui::AlertView::Width);
  EXPECT_LT(first->frame().y(), second->frame().y());
  EXPECT_LT(second->frame().y(), cancel->frame().y());
  EXPECT_EQ(cancel->frame().maxY(), alert->bounds().height());
  screenshot("stacked");

  ASSERT_TRUE(tapAlertButton("Second"));
  EXPECT_EQ(d.log, (Log{"clicked 2", "will 2"}));  // did waits for the dismissal to end
  EXPECT_TRUE(alert->isVisible());
  settle();
  EXPECT_EQ(d.log, (Log{"clicked 2", "will 2", "did 2"}));
  EXPECT_FALSE(alert->isVisible());
  EXPECT_TRUE(visibleAlerts().empty());
}

TEST_F(AlertViewTest, TwoButtonsSitSideBySideWithCancelOnTheLeft) {
  Recorder d;
  // The cancel button added after the other one still goes to the left.
  auto alert = ui::AlertView::create("Connection", "The server cannot be reached.", &d, std::nullopt, {"Retry"});
  alert->setCancelButtonIndex(alert->addButtonWithTitle("Close"));
  alert->show();
  settle();
  auto retry = alert->buttonAtIndex(0), close = alert->buttonAtIndex(1);
  EXPECT_EQ(close->frame().x(), 0);
  EXPECT_EQ(retry->frame().x(), ui::AlertView::Width / 2);
  EXPECT_EQ(retry->frame().y(), close->frame().y());
  EXPECT_EQ(alert->bounds().height() - close->frame().y(), ui::AlertView::ButtonHeight);
  auto image = screenshot("side-by-side");
  ASSERT_TRUE(image);
  // The dimmed screen around the card (white under black at 0.4) and the card itself.
  gfx::Rect card = alert->convertRectTo(alert->bounds(), nullptr);
  uint32_t dim = colorAt(*image, gfx::Point{20, 20});
  EXPECT_NEAR(int((dim >> 16) & 0xFF), 153, 3);
  uint32_t body = colorAt(*image, gfx::Point{card.minX() + 4, card.midY() - 30});
  EXPECT_GT(int((body >> 16) & 0xFF), 235);

  ASSERT_TRUE(tapAlertButton("Close"));
  settle();
  EXPECT_EQ(d.log, (Log{"clicked 1", "will 1", "did 1"}));
  d.log.clear();
  alert->show();
  settle();
  ASSERT_TRUE(tapAlertButton("Retry"));
  settle();
  EXPECT_EQ(d.log, (Log{"clicked 0", "will 0", "did 0"}));
}

TEST_F(AlertViewTest, TheDimmedScreenTakesEveryTouch) {
  int taps = 0;
  auto button = ui::Button::create(ui::ButtonType::Custom, gfx::Rect(10, 10, 100, 40));
  button->setTitle("Under");
  button->addTarget(this, [&](ui::Control&, const ui::Event*) { ++taps; }, ui::ControlEventTouchUpInside);
  window().addSubview(button);
  tap(*button);
  EXPECT_EQ(taps, 1);
  auto alert = ui::AlertView::create("Blocking", "", nullptr, std::string("OK"));
  alert->show();
  settle();
  tap(gfx::Point{60, 30});
  EXPECT_EQ(taps, 1);
  EXPECT_TRUE(alert->isVisible());
  ASSERT_TRUE(tapAlertButton("OK"));
  settle();
  tap(gfx::Point{60, 30});
  EXPECT_EQ(taps, 2);
}

TEST_F(AlertViewTest, AlertsQueueAndTheNextShowsWhenTheFirstIsDismissed) {
  Recorder d;
  auto first = ui::AlertView::create("First", "", &d, std::string("OK"));
  auto second = ui::AlertView::create("Second", "", &d, std::string("Fine"));
  first->show();
  second->show();
  second->show();  // once only
  settle();
  EXPECT_TRUE(first->isVisible());
  EXPECT_FALSE(second->isVisible());
  EXPECT_TRUE(second->isQueued());
  ASSERT_EQ(visibleAlerts().size(), 1u);
  EXPECT_EQ(visibleAlerts()[0], first);
  EXPECT_FALSE(tapAlertButton("Fine"));  // not on screen yet
  ASSERT_TRUE(tapAlertButton("OK"));
  settle();
  EXPECT_FALSE(first->isVisible());
  EXPECT_TRUE(second->isVisible());
  ASSERT_EQ(visibleAlerts().size(), 1u);
  EXPECT_EQ(visibleAlerts()[0], second);
  ASSERT_TRUE(tapAlertButton("Fine"));
  settle();
  EXPECT_TRUE(visibleAlerts().empty());
  EXPECT_EQ(d.log, (Log{"clicked 0", "will 0", "did 0", "clicked 0", "will 0", "did 0"}));
}

TEST_F(AlertViewTest, AnAlertDroppedByItsMakerStaysAliveUntilDismissed) {
  Recorder d;
  std::weak_ptr<ui::AlertView> weak;
  {
    auto alert = ui::AlertView::create("Kept", "", &d, std::string("OK"));
    alert->show();
    weak = alert;
  }
  settle();
  ASSERT_FALSE(weak.expired());
  EXPECT_TRUE(weak.lock()->isVisible());
  ASSERT_TRUE(tapAlertButton("OK"));
  EXPECT_FALSE(weak.expired());
  settle();
  EXPECT_EQ(d.log, (Log{"clicked 0", "will 0", "did 0"}));
  support::drainMainLoop();
  EXPECT_TRUE(weak.expired());
}

TEST_F(AlertViewTest, DismissingFromCodeSendsOnlyWillAndDid) {
  Recorder d;
  auto shown = ui::AlertView::create("Shown", "", &d, std::string("OK"), {"Other"});
  auto waiting = ui::AlertView::create("Waiting", "", &d, std::string("OK"));
  shown->show();
  waiting->show();
  settle();
  // A queued alert leaves the queue without ever showing.
  waiting->dismissWithClickedButtonIndex(0, true);
  EXPECT_FALSE(waiting->isQueued());
  EXPECT_EQ(d.log, (Log{"will 0", "did 0"}));
  d.log.clear();
  shown->dismissWithClickedButtonIndex(1, false);
  EXPECT_EQ(d.log, (Log{"will 1", "did 1"}));
  EXPECT_FALSE(shown->isVisible());
  settle();
  EXPECT_FALSE(waiting->isVisible());
  EXPECT_TRUE(visibleAlerts().empty());
  // Twice, or when never shown: nothing.
  shown->dismissWithClickedButtonIndex(1, false);
  EXPECT_EQ(d.log.size(), 2u);
}

TEST_F(AlertViewTest, ADelegateMayShowTheNextAlertFromDidDismiss) {
  Recorder d;
  auto next = ui::AlertView::create("Next", "", nullptr, std::string("OK"));
  d.onDid = [&](ui::AlertView&) { next->show(); };
  auto alert = ui::AlertView::create("First", "", &d, std::string("Go"));
  alert->show();
  settle();
  ASSERT_TRUE(tapAlertButton("Go"));
  settle();
  EXPECT_TRUE(next->isVisible());
  EXPECT_EQ(visibleAlerts().size(), 1u);
}

TEST_F(AlertViewTest, FirstOtherButtonCanStartDisabledAndCancelDefaultsToTheCancelIndex) {
  Recorder d;
  d.enableFirstOther = false;
  auto alert = ui::AlertView::create("Login", "", &d, std::string("Cancel"), {"Sign in"});
  alert->show();
  settle();
  EXPECT_FALSE(alert->buttonAtIndex(1)->isEnabled());
  EXPECT_TRUE(tapAlertButton("Sign in"));
  settle();
  EXPECT_TRUE(d.log.empty());
  EXPECT_TRUE(alert->isVisible());
  // The system cancels it: by default as if "Cancel" had been chosen, without the click.
  alert->cancel();
  EXPECT_EQ(d.log, (Log{"will 0", "did 0"}));
  EXPECT_FALSE(alert->isVisible());
}

TEST_F(AlertViewTest, CardSizeFollowsTheText) {
  auto shortAlert = ui::AlertView::create("T", "", nullptr, std::string("OK"));
  auto longAlert = ui::AlertView::create("T", std::string(400, 'x') + " and a long message that wraps over lines",
                                         nullptr, std::string("OK"));
  gfx::Size a = shortAlert->sizeThatFits(gfx::Size()), b = longAlert->sizeThatFits(gfx::Size());
  EXPECT_EQ(a.width, ui::AlertView::Width);
  EXPECT_GT(b.height, a.height + 20);
  longAlert->show();
  settle();
  // Centred on the screen.
  gfx::Rect card = longAlert->convertRectTo(longAlert->bounds(), nullptr);
  EXPECT_NEAR(card.midX(), window().bounds().midX(), 1);
  EXPECT_NEAR(card.midY(), window().bounds().midY(), 1);
  EXPECT_EQ(longAlert->alertWindow()->windowLevel(), ui::AlertView::WindowLevelAlert);
}

TEST_F(AlertViewTest, CardBlursWhatLiesBehindItAndFollowsItsChanges) {
  for (auto device : {support::Device::Standard, support::Device::LargeTablet}) {
    setDevice(device);
    const std::string suffix = device == support::Device::Standard ? "" : "-12_9";
    window().addSubview(std::make_shared<Checkerboard>(window().bounds()));
    auto alert = ui::AlertView::create("Connection", "The server cannot be reached.", nullptr, std::string("OK"));
    alert->show();
    settle();
    auto image = screenshot("backdrop" + suffix);
    ASSERT_TRUE(image);
    gfx::Rect card = alert->convertRectTo(alert->bounds(), nullptr);
    // Above the title the card shows only its backdrop: the squares behind are gone, while
    // beside the card they still show through the dimming.
    gfx::Rect band(card.minX() + 8, card.minY() + 2, card.width() - 16, 12);
    EXPECT_LE(redSpread(*image, band), 2);
    EXPECT_GE(redSpread(*image, band.offsetBy(-card.width() - 10, 0)), 100);

    // Something red appears behind the card's edge, partly outside it: the card takes its
    // glow, drawn as a full redraw would draw it.
    auto spot = ui::View::create(gfx::Rect(card.minX() - 20, card.midY() - 10, 30, 20));
    spot->setBackgroundColor(gfx::Color::red());
    window().addSubview(spot);
    auto changed = screenshot("backdrop-spot" + suffix);
    ASSERT_TRUE(changed);
    uint32_t edge = colorAt(*changed, gfx::Point{card.minX() + 3, card.midY()});
    EXPECT_GT((edge >> 16) & 0xFF, ((edge >> 8) & 0xFF) + 2);  // reddened, through the wash
    display().compositor().invalidate();
    auto full = screenshot("backdrop-spot-full" + suffix);
    ASSERT_TRUE(full);
    EXPECT_EQ(differingPixels(*changed, *full, card), 0);

    // Gone again: the card is back to what it was, not blurred over its own last drawing.
    spot->removeFromSuperview();
    auto restored = screenshot("backdrop-restored" + suffix);
    ASSERT_TRUE(restored);
    EXPECT_EQ(differingPixels(*image, *restored, card), 0);
    ui::AlertView::reset();
  }
}

}  // namespace

TEST_F(AlertViewTest, TheAlertHasAVisibleWindowOfItsOwnThatIsNotKeyAndGoesWithTheLastAlert) {
  auto first = ui::AlertView::create("One", "", nullptr, std::string("OK"));
  auto second = ui::AlertView::create("Two", "", nullptr, std::string("OK"));
  first->show();
  second->show();
  settle();
  auto alertWindow = first->alertWindow();
  ASSERT_TRUE(alertWindow);
  EXPECT_EQ(alertWindow->superview(), nullptr);
  EXPECT_FALSE(alertWindow->isHidden());
  EXPECT_FALSE(alertWindow->isKeyWindow());
  EXPECT_TRUE(window().isKeyWindow());
  EXPECT_EQ(first->window(), alertWindow.get());
  auto shown = ui::Application::shared().visibleWindows();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown.back(), alertWindow) << "in front of the key window";
  EXPECT_EQ(window().subviews().size(), 0u) << "nothing was put into the key window";

  ASSERT_TRUE(tapAlertButton("OK"));
  settle();
  ASSERT_TRUE(second->isVisible());
  EXPECT_EQ(ui::Application::shared().visibleWindows().size(), 2u);
  ASSERT_TRUE(tapAlertButton("OK"));
  settle();
  EXPECT_EQ(ui::Application::shared().visibleWindows().size(), 1u);
  EXPECT_EQ(ui::Application::shared().windows().size(), 1u);
  EXPECT_EQ(first->alertWindow(), nullptr);
  EXPECT_TRUE(window().isKeyWindow());
}

TEST_F(AlertViewTest, TextInputStylesMakeTheirFieldsAndTheFirstTakesTheTyping) {
  auto plain = ui::AlertView::create("Room", "Enter the room number.", nullptr, std::string("Cancel"), {"OK"});
  EXPECT_EQ(plain->textFieldAtIndex(0), nullptr);
  gfx::Size without = plain->sizeThatFits(gfx::Size());
  plain->setAlertViewStyle(ui::AlertViewStyle::PlainTextInput);
  ASSERT_TRUE(plain->textFieldAtIndex(0));
  EXPECT_EQ(plain->textFieldAtIndex(1), nullptr);
  EXPECT_EQ(plain->textFieldAtIndex(-1), nullptr);
  EXPECT_FALSE(plain->textFieldAtIndex(0)->isSecureTextEntry());
  EXPECT_GT(plain->sizeThatFits(gfx::Size()).height, without.height + ui::AlertView::TextFieldHeight);

  auto secure = ui::AlertView::create("PIN", "", nullptr, std::string("OK"));
  secure->setAlertViewStyle(ui::AlertViewStyle::SecureTextInput);
  ASSERT_TRUE(secure->textFieldAtIndex(0));
  EXPECT_TRUE(secure->textFieldAtIndex(0)->isSecureTextEntry());
  secure->setAlertViewStyle(ui::AlertViewStyle::Default);
  EXPECT_EQ(secure->textFieldAtIndex(0), nullptr);

  auto login = ui::AlertView::create("Staff", "Sign in to continue.", nullptr, std::string("Cancel"), {"Sign in"});
  login->setAlertViewStyle(ui::AlertViewStyle::LoginAndPasswordInput);
  auto user = login->textFieldAtIndex(0), password = login->textFieldAtIndex(1);
  ASSERT_TRUE(user && password);
  EXPECT_FALSE(user->isSecureTextEntry());
  EXPECT_TRUE(password->isSecureTextEntry());
  user->setText("preset");  // set up before showing
  login->show();
  settle();
  // Laid out under the message, one under the other, above the buttons.
  EXPECT_GT(user->frame().minY(), login->messageLabel()->frame().maxY());
  EXPECT_NEAR(password->frame().minY(), user->frame().maxY(), 1);
  EXPECT_LT(password->frame().maxY(), login->buttonAtIndex(0)->frame().minY());
  EXPECT_EQ(user->text(), "preset");

  // The first field edits at once; typing reaches it though its window is not key.
  EXPECT_TRUE(user->isFirstResponder());
  EXPECT_EQ(ui::Application::shared().textInputWindow(), login->alertWindow().get());
  ASSERT_TRUE(type("!"));
  EXPECT_EQ(user->text(), "preset!");
  tap(*password);
  EXPECT_TRUE(password->isFirstResponder());
  ASSERT_TRUE(type("pw"));
  EXPECT_EQ(password->text(), "pw");
  screenshot("login");

  ASSERT_TRUE(tapAlertButton("Sign in"));
  settle();
  EXPECT_FALSE(password->isFirstResponder());
  EXPECT_EQ(ui::Application::shared().textInputWindow(), &window());
  EXPECT_FALSE(type("x")) << "nothing takes typing once the alert is gone";
}

TEST_F(AlertViewTest, TheFirstOtherButtonIsAskedAgainAsTheTextChanges) {
  struct NeedsText : ui::AlertViewDelegate {
    bool alertViewShouldEnableFirstOtherButton(ui::AlertView& a) override {
      ++asked;
      return !a.textFieldAtIndex(0)->text().empty();
    }
    int asked = 0;
  } d;
  auto alert = ui::AlertView::create("Name", "", &d, std::string("Cancel"), {"Save"});
  alert->setAlertViewStyle(ui::AlertViewStyle::PlainTextInput);
  alert->show();
  settle();
  auto save = alert->buttonAtIndex(1);
  EXPECT_FALSE(save->isEnabled());
  ASSERT_TRUE(type("A"));
  EXPECT_TRUE(save->isEnabled());
  ASSERT_TRUE(backspace());
  EXPECT_FALSE(save->isEnabled());
  EXPECT_EQ(d.asked, 3);
  alert->setDelegate(nullptr);
  alert->dismissWithClickedButtonIndex(0, false);
}

TEST_F(AlertViewTest, WithTheKeyboardUpTheCardSitsAboveIt) {
  auto alert = ui::AlertView::create("Room", "Enter the room number.", nullptr, std::string("OK"));
  alert->setAlertViewStyle(ui::AlertViewStyle::PlainTextInput);
  alert->show();
  settle();
  ASSERT_TRUE(ui::Keyboard::shared().isVisible());
  gfx::Rect card = alert->convertRectTo(alert->bounds(), nullptr);
  double keyboardTop = ui::Keyboard::shared().frame().minY();
  EXPECT_LE(card.maxY(), keyboardTop);
  EXPECT_NEAR(card.midY(), keyboardTop / 2, 1);
  ASSERT_TRUE(tapAlertButton("OK"));
  settle();
  EXPECT_FALSE(ui::Keyboard::shared().isVisible());
}
