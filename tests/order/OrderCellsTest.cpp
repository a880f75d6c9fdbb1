// The order list rows (frame tables on both tablets, and which screen mode counts as the large
// one) and the dish cells loaded from their nibs.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/ColorHexadecimal.h"
#include "app/ScreenSize.h"
#include "order/FoodView.h"
#include "order/MeListCell.h"
#include "order/MeNormalListCell.h"
#include "order/RecommendFoodView.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/Nib.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"
#include "support/RectExpectations.h"
#include "support/UiHarness.h"
#include "widgets/controls/EffectLabel.h"
#include "widgets/controls/SnapshotStackView.h"

namespace {

using gfx::Rect;

// One view of a row: a picture (by name) or a label (its text, colour, font size on each tablet,
// alignment).
struct Piece {
  const char* what;
  Rect standard, large;
  const char* image = nullptr;
  const char* text = "";
  const char* colour = nullptr;
  double points = 0, largePoints = 0;
  gfx::TextAlignment alignment = gfx::TextAlignment::Left;
};

Piece picture(const char* what, Rect standard, Rect large, const char* image) {
  return {what, standard, large, image};
}
Piece label(const char* what, Rect standard, Rect large, const char* colour, double points, double largePoints,
            const char* text = "") {
  return {what, standard, large, nullptr, text, colour, points, largePoints};
}

// The views on the cell itself, then those on the background picture.
std::vector<Piece> rowsOnCell(const char* background) {
  return {picture("menu icon", {40, 40, 22, 22}, {53, 53, 29, 29}, "ListMenu"),
          label("list number", {114, 39, 84, 27}, {151, 52, 111, 36}, "34b5ca", 22, 23),
          label("order number", {277, 39, 465, 27}, {369, 52, 619, 36}, "34d4c3", 22, 23),
          picture("background", {60, 83, 648, 270}, {79, 110, 863, 360}, background)};
}
std::vector<Piece> rowsOnCard(bool drinks) {
  std::vector<Piece> rows{label("venue", {30, 30, 432, 27}, {39, 40, 575, 36}, drinks ? "ffffff" : "DFEBFF", 21, 22)};
  if (drinks) {
    rows.push_back(label("drinks caption", {40, 88, 120, 23}, {53, 117, 159, 30}, "dfebff", 22, 23, "酒水内容 : "));
    rows.push_back(label("drinks", {160, 88, 528, 23}, {213, 117, 703, 30}, "dfebff", 22, 23));
  } else {
    rows.push_back(picture("timer", {40, 91, 21, 21}, {53, 121, 27, 28}, "Timer"));
    rows.push_back(label("duration", {84, 88, 220, 27}, {111, 117, 293, 36}, "ffffff", 21, 22));
  }
  Piece date = label("date", {386, 232, 223, 21}, {514, 309, 297, 28}, "3370D9", 17, 18);
  date.alignment = gfx::TextAlignment::Right;
  for (const Piece& piece : {label("room caption", {40, 138, 120, 23}, {53, 184, 159, 30}, "475686", 22, 23, "包 房 号  : "),
                             label("room", {160, 138, 408, 23}, {213, 184, 543, 30}, "768fb9", 22, 23),
                             label("pay caption", {40, 286, 120, 23}, {53, 381, 159, 30}, "475686", 22, 23, "支付金额 : "),
                             label("paid", {160, 286, 408, 23}, {213, 381, 543, 30}, "768fb9", 22, 23),
                             picture("calendar", {343, 232, 21, 21}, {457, 309, 27, 28}, "Calendar"), date})
    rows.push_back(piece);
  return rows;
}

// The pictures and labels among the view's subviews, in order.
std::vector<std::shared_ptr<ui::View>> piecesOf(const ui::View& view) {
  std::vector<std::shared_ptr<ui::View>> pieces;
  for (const auto& sub : view.subviews())
    if (std::dynamic_pointer_cast<ui::ImageView>(sub) || std::dynamic_pointer_cast<ui::Label>(sub)) pieces.push_back(sub);
  return pieces;
}

void expectPieces(const ui::View& parent, const std::vector<Piece>& table, bool large) {
  const auto views = piecesOf(parent);
  ASSERT_EQ(views.size(), table.size());
  for (size_t i = 0; i < table.size(); ++i) {
    const Piece& piece = table[i];
    const Rect& frame = large ? piece.large : piece.standard;
    support::expectRect(views[i]->frame(), frame.x(), frame.y(), frame.width(), frame.height(), piece.what);
    if (piece.image) {
      auto picture = std::dynamic_pointer_cast<ui::ImageView>(views[i]);
      ASSERT_TRUE(picture) << piece.what;
      EXPECT_TRUE(picture->image()) << piece.what;
      EXPECT_EQ(picture->image(), gfx::Image::named(piece.image)) << piece.what;
      continue;
    }
    auto text = std::dynamic_pointer_cast<ui::Label>(views[i]);
    ASSERT_TRUE(text) << piece.what;
    EXPECT_EQ(text->text(), piece.text) << piece.what;
    EXPECT_EQ(text->textColor(), *kt::ColorHexadecimal::colorWithHexString(piece.colour)) << piece.what;
    EXPECT_EQ(text->font()->pointSize(), large ? piece.largePoints : piece.points) << piece.what;
    EXPECT_EQ(text->textAlignment(), piece.alignment) << piece.what;
    EXPECT_EQ(text->numberOfLines(), 1) << piece.what;
    EXPECT_EQ(text->backgroundColor(), gfx::Color::clear()) << piece.what;
  }
}

// Checks a row's two tables; the background picture is the last piece on the cell.
void expectRow(const kt::OrderListCell& cell, bool drinks, bool large) {
  SCOPED_TRACE(std::string(drinks ? "drinks" : "duration") + (large ? " large" : " standard"));
  expectPieces(cell, rowsOnCell(drinks ? "ListStyle2" : "NormalListStyle1"), large);
  const auto onCell = piecesOf(cell);
  ASSERT_EQ(onCell.size(), 4u);
  expectPieces(*onCell.back(), rowsOnCard(drinks), large);
  EXPECT_FALSE(onCell.back()->clipsToBounds());
}

class OrderCellsTest : public support::ScreenTest {
 protected:
  OrderCellsTest() {
    kt::FoodView::registerNib();
    kt::RecommendFoodView::registerNib();
  }
  ~OrderCellsTest() override {
    ui::Nib::unregisterNib(kt::FoodView::NibName);
    ui::Nib::unregisterNib(kt::RecommendFoodView::NibName);
  }

  // Both rows one above the other on a dark window.
  void showRows(const std::shared_ptr<kt::OrderListCell>& drinks, const std::shared_ptr<kt::OrderListCell>& duration) {
    window().setBackgroundColor(gfx::Color::black());
    const double height = kt::pick(400, 530), width = window().bounds().width();
    drinks->setFrame({0, 0, width, height});
    duration->setFrame({0, height - 20, width, height});
    window().addSubview(drinks);
    window().addSubview(duration);
    render();
  }
};

TEST_F(OrderCellsTest, OrderRowsTakeTheLargeFramesOnlyOnExactly2048By2732) {
  auto drinks = kt::MeListCell::create(ui::TableViewCellStyle::Default, "order");
  auto duration = kt::MeNormalListCell::create();
  expectRow(*drinks, true, false);
  expectRow(*duration, false, false);
  showRows(drinks, duration);
  screenshot("standard");

  // The mode the other way round is another screen: standard frames.
  ui::Screen::main().setMode(gfx::Size{2732, 2048}, 2);
  expectRow(*kt::MeListCell::create(), true, false);
  expectRow(*kt::MeNormalListCell::create(), false, false);

  setDevice(support::Device::LargeTablet);
  drinks = kt::MeListCell::create();
  duration = kt::MeNormalListCell::create();
  expectRow(*drinks, true, true);
  expectRow(*duration, false, true);
  showRows(drinks, duration);
  screenshot("large");
}

TEST_F(OrderCellsTest, ANewRowIsFaintClearAndKeepsWhatItShows) {
  auto cell = kt::MeListCell::create(ui::TableViewCellStyle::Default, "order");
  EXPECT_EQ(cell->reuseIdentifier(), "order");
  EXPECT_DOUBLE_EQ(cell->alpha(), 0.4);
  EXPECT_EQ(cell->backgroundColor(), gfx::Color::clear());
  EXPECT_EQ(cell->selectionStyle(), ui::TableViewCellSelectionStyle::Default);
  EXPECT_EQ(cell->numOfIndex(), 0);
  cell->setNumOfIndex(-7);
  cell->assignModel();
  EXPECT_EQ(cell->numOfIndex(), -7);
  expectRow(*cell, true, false);
  // The content view stays empty: the row lies on the cell itself.
  EXPECT_TRUE(cell->contentView()->subviews().empty());
}

TEST_F(OrderCellsTest, DishCellsComeFromTheirNibs) {
  auto food = kt::FoodView::initWithXib();
  ASSERT_TRUE(food);
  auto photo = food->foodImage();
  auto stack = food->snapshotStackView();
  ASSERT_TRUE(photo && stack && food->lblFoodName() && food->lblFoodEnName() && food->FoodPirceAndUnit() &&
              food->btnSelect() && food->selectedImg() && food->lblSeleceedNum());
  EXPECT_EQ(photo->superview(), food.get());
  EXPECT_DOUBLE_EQ(photo->layer()->cornerRadius(), 8);
  EXPECT_TRUE(stack->displayAsStack());
  ASSERT_TRUE(stack->DefaultImage());
  EXPECT_EQ(stack->DefaultImage(), gfx::Image::named("DefaultImage.jpg"));
  EXPECT_TRUE(food->selectedImg()->isHidden());
  EXPECT_FALSE(food->autoresizesSubviews());

  auto recommended = kt::RecommendFoodView::initWithXib();
  ASSERT_TRUE(recommended);
  auto pic = recommended->foodPic();
  ASSERT_TRUE(pic && recommended->lblName() && recommended->lblDanJia() && recommended->lblDanWei());
  EXPECT_EQ(pic->backgroundColor(), gfx::Color::clear());
  EXPECT_EQ(pic->layer()->borderColor(), gfx::Color::whiteColor());
  EXPECT_DOUBLE_EQ(pic->layer()->borderWidth(), 5);
  EXPECT_DOUBLE_EQ(pic->layer()->cornerRadius(), 10);
  EXPECT_TRUE(pic->clipsToBounds());

  // Each load is a new cell; the outlets are its own and go with it.
  auto second = kt::FoodView::initWithXib();
  ASSERT_TRUE(second);
  EXPECT_NE(second->foodImage(), photo);
  std::weak_ptr<ui::ImageView> secondPhoto = second->foodImage();
  second.reset();
  EXPECT_TRUE(secondPhoto.expired());
}

TEST_F(OrderCellsTest, ADishCellIsTheNibsLastObjectOrNothing) {
  auto first = kt::FoodView::create({0, 0, 10, 10});
  auto last = kt::FoodView::create({0, 0, 20, 20});
  auto objects = ui::Nib::Objects{first, last};
  ui::Nib::registerNib(kt::FoodView::NibName, [&](ui::Responder*) { return objects; });
  EXPECT_EQ(kt::FoodView::initWithXib(), last);
  EXPECT_DOUBLE_EQ(last->frame().width(), 20);

  objects = {last, ui::View::create()};
  EXPECT_EQ(kt::FoodView::initWithXib(), nullptr);
  objects = {};
  EXPECT_EQ(kt::FoodView::initWithXib(), nullptr);
  objects = {kt::RecommendFoodView::create()};
  EXPECT_EQ(kt::FoodView::initWithXib(), nullptr);

  ui::Nib::unregisterNib(kt::RecommendFoodView::NibName);
  EXPECT_EQ(kt::RecommendFoodView::initWithXib(), nullptr);
}

TEST_F(OrderCellsTest, DishCellsOnBothTablets) {
  for (auto device : {support::Device::Standard, support::Device::LargeTablet}) {
    setDevice(device);
    window().setBackgroundColor(gfx::Color::black());
    auto food = kt::FoodView::initWithXib();
    auto chosen = kt::FoodView::initWithXib();
    auto recommended = kt::RecommendFoodView::initWithXib();
    ASSERT_TRUE(food && chosen && recommended);
    food->setFrame({40, 40, 220, 270});
    chosen->setFrame({280, 40, 220, 270});
    recommended->setFrame({520, 40, 260, 270});
    for (const auto& cell : {food, chosen}) {
      cell->lblFoodName()->setText("宫保鸡丁");
      cell->lblFoodEnName()->setText("Kung Pao Chicken");
      cell->FoodPirceAndUnit()->setText("38.00元/份");
    }
    chosen->btnSelect()->setSelected(true);
    chosen->selectedImg()->setHidden(false);
    chosen->lblSeleceedNum()->setText("2");
    recommended->lblName()->setText("水果拼盘");
    recommended->lblDanJia()->setText("68.00元");
    recommended->lblDanWei()->setText("份");
    window().addSubview(food);
    window().addSubview(chosen);
    window().addSubview(recommended);
    render();
    screenshot(device == support::Device::Standard ? "standard" : "large");
  }
}

}  // namespace
