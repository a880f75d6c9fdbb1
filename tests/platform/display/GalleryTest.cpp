// Every control on one screen, saved as screenshots for a look by eye, with pixel checks of the
// parts whose colours are certain.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/gfx/Font.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/Layer.h"
#include "platform/ui/ActivityIndicatorView.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/PageControl.h"
#include "platform/ui/ProgressView.h"
#include "platform/ui/SegmentedControl.h"
#include "platform/ui/Stepper.h"
#include "platform/ui/Switch.h"
#include "platform/ui/Window.h"
#include "support/UiHarness.h"

namespace {

// A 64 x 64 pixel picture at scale 2: four coloured quarters.
std::shared_ptr<gfx::Image> quarters() {
  std::vector<uint32_t> px(64 * 64);
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      uint32_t c = y < 32 ? (x < 32 ? 0xFFE53935u : 0xFF43A047u) : (x < 32 ? 0xFF1E88E5u : 0xFFFDD835u);
      px[static_cast<size_t>(y) * 64 + x] = c;
    }
  }
  return gfx::Image::fromPixels(64, 64, std::move(px), 2.0);
}

class GalleryTest : public support::ScreenTest {
 protected:
  std::shared_ptr<ui::Label> label(const gfx::Rect& frame, const std::string& text, double size = 17) {
    auto l = ui::Label::create(frame);
    l->setText(text);
    l->setFont(gfx::Font::systemFont(size));
    windowPtr()->addSubview(l);
    return l;
  }

  std::shared_ptr<ui::Button> button(const gfx::Rect& frame, const std::string& title) {
    auto b = ui::Button::create(ui::ButtonType::System, frame);
    b->setTitle(title);
    b->layer()->setBorderWidth(1);
    b->layer()->setBorderColor(gfx::Color::rgba(0, 0.48, 1));
    b->layer()->setCornerRadius(6);
    windowPtr()->addSubview(b);
    return b;
  }

  // The gallery: headings on the left, the controls in rows.
  void build() {
    label(gfx::Rect(20, 20, 600, 40), "控件一览 Control gallery", 28);

    label(gfx::Rect(20, 80, 150, 30), "Buttons");
    button(gfx::Rect(180, 75, 120, 40), "Normal");
    button(gfx::Rect(320, 75, 120, 40), "按下")->setHighlighted(true);
    button(gfx::Rect(460, 75, 120, 40), "Disabled")->setEnabled(false);
    button(gfx::Rect(600, 75, 120, 40), "已选择")->setSelected(true);
    auto custom = ui::Button::create(ui::ButtonType::Custom, gfx::Rect(740, 75, 160, 40));
    custom->setTitle(std::string("Custom 确定"));
    custom->setTitleColor(gfx::Color::whiteColor());
    custom->setBackgroundColor(gfx::Color::rgba(0.85, 0.2, 0.2));
    custom->setImage(quarters());
    custom->setTag(101);
    windowPtr()->addSubview(custom);

    label(gfx::Rect(20, 140, 150, 30), "Labels");
    label(gfx::Rect(180, 140, 360, 30), "欢迎光临 KTV 包厢点歌系统");
    auto truncated = label(gfx::Rect(560, 140, 200, 30), "这是一段很长很长的中文文字，会被截断 and some Latin too");
    truncated->setTag(102);
    auto middle = label(gfx::Rect(780, 140, 220, 30), "Truncated in the middle of a long line");
    middle->setLineBreakMode(gfx::LineBreakMode::TruncateMiddle);
    auto wrapped = label(gfx::Rect(180, 180, 360, 60), "多行文字：第一行会换行到第二行，Latin words wrap as well.", 15);
    wrapped->setNumberOfLines(0);
    auto coloured = label(gfx::Rect(560, 180, 200, 30), "Centred red");
    coloured->setTextAlignment(gfx::TextAlignment::Center);
    coloured->setTextColor(gfx::Color::red());
    coloured->setBackgroundColor(gfx::Color::white(0.93));

    label(gfx::Rect(20, 260, 150, 30), "Images");
    auto fill = ui::ImageView::create(gfx::Rect(180, 250, 120, 60));
    fill->setImage(quarters());
    fill->setTag(103);
    auto fit = ui::ImageView::create(gfx::Rect(320, 250, 120, 60));
    fit->setImage(quarters());
    fit->setContentMode(ui::ContentMode::ScaleAspectFit);
    fit->setBackgroundColor(gfx::Color::white(0.9));
    auto centred = ui::ImageView::withImage(quarters());
    centred->setFrame(gfx::Rect(460, 250, 32, 32));
    for (auto& v : std::vector<std::shared_ptr<ui::View>>{fill, fit, centred}) windowPtr()->addSubview(v);

    label(gfx::Rect(20, 340, 150, 30), "Activity");
    auto gray = ui::ActivityIndicatorView::create(ui::ActivityIndicatorStyle::Gray);
    gray->setCenter(gfx::Point{200, 355});
    gray->startAnimating();
    auto dark = ui::View::create(gfx::Rect(240, 325, 120, 60));
    dark->setBackgroundColor(gfx::Color::darkGray());
    auto large = ui::ActivityIndicatorView::create(ui::ActivityIndicatorStyle::WhiteLarge);
    large->setCenter(gfx::Point{60, 30});
    large->startAnimating();
    dark->addSubview(large);
    for (auto& v : std::vector<std::shared_ptr<ui::View>>{gray, dark}) windowPtr()->addSubview(v);

    label(gfx::Rect(20, 410, 150, 30), "Progress");
    auto progress = std::make_shared<ui::ProgressView>(gfx::Rect(180, 424, 300, 2));
    progress->setProgress(0.3);
    auto bar = std::make_shared<ui::ProgressView>(gfx::Rect(500, 422, 300, 6), ui::ProgressViewStyle::Bar);
    bar->setProgress(0.75);
    bar->setProgressTintColor(gfx::Color::rgba(0.1, 0.7, 0.3));
    for (auto& v : std::vector<std::shared_ptr<ui::View>>{progress, bar}) windowPtr()->addSubview(v);

    label(gfx::Rect(20, 470, 150, 30), "Pages");
    auto pages = ui::PageControl::create(gfx::Rect(180, 465, 200, 37));
    pages->setNumberOfPages(5);
    pages->setCurrentPage(2);
    pages->setPageIndicatorTintColor(gfx::Color::lightGray());
    pages->setCurrentPageIndicatorTintColor(gfx::Color::black());
    windowPtr()->addSubview(pages);

    label(gfx::Rect(20, 530, 150, 30), "Switches");
    auto on = ui::Switch::create(gfx::Rect(180, 528, 0, 0));
    on->setOn(true);
    auto off = ui::Switch::create(gfx::Rect(280, 528, 0, 0));
    auto disabled = ui::Switch::create(gfx::Rect(380, 528, 0, 0));
    disabled->setOn(true);
    disabled->setEnabled(false);
    for (auto& v : std::vector<std::shared_ptr<ui::View>>{on, off, disabled}) windowPtr()->addSubview(v);

    label(gfx::Rect(20, 590, 150, 30), "Steppers");
    auto stepper = ui::Stepper::create(gfx::Rect(180, 588, 0, 0));
    stepper->setValue(3);
    auto atMin = ui::Stepper::create(gfx::Rect(320, 588, 0, 0));
    atMin->setMinimumValue(0);
    atMin->setValue(0);
    for (auto& v : std::vector<std::shared_ptr<ui::View>>{stepper, atMin}) windowPtr()->addSubview(v);

    label(gfx::Rect(20, 650, 150, 30), "Segments");
    auto segments = ui::SegmentedControl::withTitles({"全部", "热门", "New", "收藏"});
    segments->setFrame(gfx::Rect(180, 645, 360, 32));
    segments->setSelectedSegmentIndex(1);
    windowPtr()->addSubview(segments);
  }
};

TEST_F(GalleryTest, EveryControlOnTheStandardScreen) {
  build();
  auto image = screenshot("gallery");
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->pixelWidth(), 2048);

  // The custom button's red background around its content, the image view's quarters.
  auto custom = findViewByTag(101);
  ASSERT_NE(custom, nullptr);
  EXPECT_EQ(colorAt(*image, gfx::Point{742, 77}), 0xFFD93333u);
  auto fill = findViewByTag(103);
  ASSERT_NE(fill, nullptr);
  EXPECT_EQ(colorAt(*image, gfx::Point{200, 260}), 0xFFE53935u);  // top left quarter, stretched
  EXPECT_EQ(colorAt(*image, gfx::Point{280, 300}), 0xFFFDD835u);  // bottom right
  // Aspect fit: a 60-point square in the middle of the 120-point width, grey bars beside it.
  EXPECT_EQ(colorAt(*image, gfx::Point{325, 280}), 0xFFE6E6E6u);
  EXPECT_EQ(colorAt(*image, gfx::Point{355, 255}), 0xFFE53935u);
  // The truncated label ends in an ellipsis and stays within its frame.
  auto truncated = std::dynamic_pointer_cast<ui::Label>(findViewByTag(102));
  ASSERT_NE(truncated, nullptr);
  auto lines = truncated->visibleLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("…"), std::string::npos) << lines[0];
  // Text draws dark pixels somewhere in the heading's row, and nothing outside the labels' frames.
  bool ink = false;
  for (double x = 20; x < 400 && !ink; x += 0.5) ink = (colorAt(*image, gfx::Point{x, 40}) & 0xFFFFFF) < 0x404040;
  EXPECT_TRUE(ink) << "the heading's text is drawn";
  EXPECT_EQ(colorAt(*image, gfx::Point{1010, 20}), 0xFFFFFFFFu);
}

TEST_F(GalleryTest, EveryControlOnTheLargeTablet) {
  setDevice(support::Device::LargeTablet);
  build();
  auto image = screenshot("gallery-12.9");
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->pixelWidth(), 2732);
  EXPECT_EQ(colorAt(*image, gfx::Point{200, 260}), 0xFFE53935u);
  EXPECT_EQ(colorAt(*image, gfx::Point{1300, 900}), 0xFFFFFFFFu) << "beside the gallery the window is blank";
}

TEST_F(GalleryTest, PressedAndReleasedButtonsAsTheFingerSeesThem) {
  build();
  auto normal = findViewByText("Normal");
  ASSERT_NE(normal, nullptr);
  screenshot("before");
  // Holding the finger down highlights the button in the frame drawn meanwhile.
  auto touch = window().beginTouch(gfx::Point{240, 95});
  auto pressed = screenshot("held");
  window().endTouch(touch);
  auto released = screenshot("released");
  ASSERT_NE(pressed, nullptr);
  ASSERT_NE(released, nullptr);
  int differing = 0;
  for (double x = 182; x < 298; x += 1) {
    if (colorAt(*pressed, gfx::Point{x, 95}) != colorAt(*released, gfx::Point{x, 95})) ++differing;
  }
  EXPECT_GT(differing, 0) << "the highlighted title looks different";
}

}  // namespace
