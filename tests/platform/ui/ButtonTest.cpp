#include "platform/ui/Button.h"

#include <gtest/gtest.h>

#include "UiTestSupport.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"

using gfx::Rect;
using ui::Button;

using ButtonInWindow = uitest::WindowTest;

TEST(ButtonStates, PerStateValuesFallBackToNormal) {
  auto b = Button::create(ui::ButtonType::Custom, Rect(0, 0, 120, 40));
  auto normal = uitest::solidImage(10, 10, 0xFF00FF00), pressed = uitest::solidImage(10, 10, 0xFFFF0000);
  b->setTitle("Play");
  b->setTitle("Playing", ui::ControlStateSelected);
  b->setTitleColor(gfx::Color::red(), ui::ControlStateHighlighted);
  b->setImage(normal);
  b->setImage(pressed, ui::ControlStateHighlighted);
  EXPECT_EQ(b->currentTitle(), "Play");
  EXPECT_EQ(b->titleLabel()->text(), "Play");
  EXPECT_EQ(b->currentTitleColor(), gfx::Color::whiteColor());  // custom buttons: white by default
  EXPECT_EQ(b->currentImage(), normal);

  b->setSelected(true);
  EXPECT_EQ(b->currentTitle(), "Playing");
  EXPECT_EQ(b->titleLabel()->text(), "Playing");
  b->setSelected(false);
  b->setHighlighted(true);
  EXPECT_EQ(b->currentTitle(), "Play");
  EXPECT_EQ(b->currentTitleColor(), gfx::Color::red());
  EXPECT_EQ(b->titleLabel()->textColor(), gfx::Color::red());
  EXPECT_EQ(b->currentImage(), pressed);
  EXPECT_EQ(b->imageView()->image(), pressed);  // its own highlighted image is not darkened
  // Selected and highlighted together: no value of its own, so normal's.
  b->setSelected(true);
  EXPECT_EQ(b->currentTitle(), "Play");

  b->setTitle(std::nullopt);
  b->setSelected(false);
  b->setHighlighted(false);
  EXPECT_FALSE(b->currentTitle());
  EXPECT_EQ(b->titleLabel()->text(), "");
}

TEST(ButtonStates, NormalImageIsDarkenedWhenHighlighted) {
  auto b = Button::create();
  auto white = uitest::solidImage(4, 4, 0xFFFFFFFF);
  b->setImage(white);
  b->setHighlighted(true);
  auto shown = b->imageView()->image();
  ASSERT_TRUE(shown);
  EXPECT_NE(shown, white);
  EXPECT_LT(shown->pixelAt(1, 1) & 0xFF, 0xFFu);
  b->setAdjustsImageWhenHighlighted(false);
  EXPECT_EQ(b->imageView()->image(), white);
}

TEST(ButtonLayout, ImageAndTitleSitSideBySideCentred) {
  auto b = Button::create(ui::ButtonType::Custom, Rect(0, 0, 200, 60));
  b->setImage(uitest::solidImage(20, 30, 0xFF000000));
  b->setTitle("OK");
  b->layoutIfNeeded();
  Rect image = b->imageView()->frame(), title = b->titleLabel()->frame();
  double titleWidth = b->titleLabel()->sizeThatFits({}).width;
  EXPECT_NEAR(image.x(), (200 - 20 - titleWidth) / 2, 1e-9);
  EXPECT_NEAR(image.y(), 15, 1e-9);
  EXPECT_NEAR(title.x(), image.maxX(), 1e-9);
  EXPECT_NEAR(title.midY(), 30, 1e-9);

  b->setContentHorizontalAlignment(ui::ContentHorizontalAlignment::Left);
  b->setContentEdgeInsets({0, 10, 0, 0});
  b->setTitleEdgeInsets({0, 5, 0, -5});
  b->layoutIfNeeded();
  EXPECT_NEAR(b->imageView()->frame().x(), 10, 1e-9);
  EXPECT_NEAR(b->titleLabel()->frame().x(), 35, 1e-9);

  b->setContentVerticalAlignment(ui::ContentVerticalAlignment::Bottom);
  b->layoutIfNeeded();
  EXPECT_NEAR(b->imageView()->frame().maxY(), 60, 1e-9);

  gfx::Size fit = b->sizeThatFits({});
  EXPECT_EQ(fit.width, std::ceil(10 + 20 + titleWidth));
}

TEST_F(ButtonInWindow, TouchUpInsideReachesTheTargetAndLabelsDoNotBlockIt) {
  auto b = Button::create(ui::ButtonType::Custom, Rect(100, 100, 120, 40));
  b->setTitle("Go");
  window->addSubview(b);
  window->layoutAndDisplayIfNeeded();
  int taps = 0;
  b->addTarget(nullptr, [&](ui::Control&, const ui::Event*) { ++taps; }, ui::ControlEventTouchUpInside);
  // The title label is under the point, but labels take no touches.
  EXPECT_EQ(window->hitTest(uitest::centerInWindow(*b->titleLabel()), nullptr).get(), b.get());
  window->tap(uitest::centerInWindow(*b));
  EXPECT_EQ(taps, 1);
}

TEST_F(ButtonInWindow, BackgroundImageFillsTheBounds) {
  auto b = Button::create(ui::ButtonType::Custom, Rect(0, 0, 40, 20));
  b->setBackgroundImage(uitest::solidImage(4, 4, 0xFF0000FF));
  window->addSubview(b);
  auto image = uitest::render(*b);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->pixelAt(1, 1), 0xFF0000FFu);
  EXPECT_EQ(image->pixelAt(38, 18), 0xFF0000FFu);
  // Highlighted, it is drawn darker.
  b->setHighlighted(true);
  image = uitest::render(*b);
  EXPECT_LT(image->pixelAt(20, 10) & 0xFF, 0xF0u);
}

TEST(ButtonTypes, SystemButtonsUseTheTint) {
  auto b = Button::create(ui::ButtonType::System);
  EXPECT_EQ(b->buttonType(), ui::ButtonType::System);
  EXPECT_EQ(b->currentTitleColor(), b->tintColor());
  b->setHighlighted(true);
  EXPECT_LT(b->currentTitleColor().a(), 1);
}
