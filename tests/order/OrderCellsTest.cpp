// The order list rows (frame tables on both tablets, and which screen mode counts as the large
// one) and the dish cells loaded from their nibs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/ColorHexadecimal.h"
#include "app/ScreenSize.h"
#include "order/FoodView.h"
#include "order/MeListCell.h"
#include "order/MeNormalListCell.h"
#include "order/OrderScreens.h"
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

// One view of a row: a picture (its name in `look`) or a label (its colour in `look`, its text,
// its font size on each tablet; the date alone is right-aligned).
struct Piece {
  Rect standard, large;
  const char* look;
  double points = 0, largePoints = 0;
  const char* text = "";
};

std::vector<Piece> rowsOnCell(bool drinks) {
  return {{{40, 40, 22, 22}, {53, 53, 29, 29}, "ListMenu"},
          {{114, 39, 84, 27}, {151, 52, 111, 36}, "34b5ca", 22, 23},
          {{277, 39, 465, 27}, {369, 52, 619, 36}, "34d4c3", 22, 23},
          {{60, 83, 648, 270}, {79, 110, 863, 360}, drinks ? "ListStyle2" : "NormalListStyle1"}};
}
std::vector<Piece> rowsOnCard(bool drinks) {
  std::vector<Piece> rows{{{30, 30, 432, 27}, {39, 40, 575, 36}, drinks ? "ffffff" : "DFEBFF", 21, 22}};
  if (drinks) {
    rows.push_back({{40, 88, 120, 23}, {53, 117, 159, 30}, "dfebff", 22, 23, "酒水内容 : "});
    rows.push_back({{160, 88, 528, 23}, {213, 117, 703, 30}, "dfebff", 22, 23});
  } else {
    rows.push_back({{40, 91, 21, 21}, {53, 121, 27, 28}, "Timer"});
    rows.push_back({{84, 88, 220, 27}, {111, 117, 293, 36}, "ffffff", 21, 22});
  }
  rows.insert(rows.end(), {{{40, 138, 120, 23}, {53, 184, 159, 30}, "475686", 22, 23, "包 房 号  : "},
                           {{160, 138, 408, 23}, {213, 184, 543, 30}, "768fb9", 22, 23},
                           {{40, 286, 120, 23}, {53, 381, 159, 30}, "475686", 22, 23, "支付金额 : "},
                           {{160, 286, 408, 23}, {213, 381, 543, 30}, "768fb9", 22, 23},
                           {{343, 232, 21, 21}, {457, 309, 27, 28}, "Calendar"},
                           {{386, 232, 223, 21}, {514, 309, 297, 28}, "3370D9", 17, 18}});
  return rows;
}

// The pictures and labels among the view's subviews (the cell's content view is neither).
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
    support::expectRect(views[i]->frame(), frame.x(), frame.y(), frame.width(), frame.height(), piece.look);
    if (auto picture = std::dynamic_pointer_cast<ui::ImageView>(views[i])) {
      EXPECT_TRUE(picture->image() && picture->image() == gfx::Image::named(piece.look)) << piece.look;
      continue;
    }
    auto text = std::static_pointer_cast<ui::Label>(views[i]);
    EXPECT_EQ(text->text(), piece.text) << i;
    EXPECT_EQ(text->textColor(), *kt::ColorHexadecimal::colorWithHexString(piece.look)) << i;
    EXPECT_EQ(text->font()->pointSize(), large ? piece.largePoints : piece.points) << i;
    const bool date = std::string(piece.look) == "3370D9";
    EXPECT_EQ(text->textAlignment(), date ? gfx::TextAlignment::Right : gfx::TextAlignment::Left) << i;
    EXPECT_EQ(text->numberOfLines(), 1) << i;
  }
}

// Both tables of a row: the background picture, the last piece on the cell, carries the rest.
void expectRow(const kt::OrderListCell& cell, bool drinks, bool large) {
  SCOPED_TRACE(std::string(drinks ? "drinks" : "duration") + (large ? " large" : " standard"));
  expectPieces(cell, rowsOnCell(drinks), large);
  const auto onCell = piecesOf(cell);
  ASSERT_EQ(onCell.size(), 4u);
  expectPieces(*onCell.back(), rowsOnCard(drinks), large);
  EXPECT_TRUE(cell.contentView()->subviews().empty());
  EXPECT_DOUBLE_EQ(cell.alpha(), 0.4);
}

class OrderCellsTest : public support::ScreenTest {
 protected:
  OrderCellsTest() { kt::OrderScreens::registerStoryboard(); }
  ~OrderCellsTest() override {
    ui::Nib::unregisterNib(kt::FoodView::NibName);
    ui::Nib::unregisterNib(kt::RecommendFoodView::NibName);
  }
  // Views at their frames on a dark window, then a screenshot.
  void show(const std::vector<std::shared_ptr<ui::View>>& views, const std::string& name) {
    window().setBackgroundColor(gfx::Color::black());
    for (const auto& view : views) window().addSubview(view);
    render();
    screenshot(name);
  }
};

TEST_F(OrderCellsTest, OrderRowsTakeTheLargeFramesOnlyOnExactly2048By2732) {
  for (bool large : {false, true}) {
    if (large) setDevice(support::Device::LargeTablet);
    auto drinks = kt::MeListCell::create(ui::TableViewCellStyle::Default, "order");
    auto duration = kt::MeNormalListCell::create();
    expectRow(*drinks, true, large);
    expectRow(*duration, false, large);
    const double width = window().bounds().width(), height = kt::pick(400, 530);
    drinks->setFrame({0, 0, width, height});
    duration->setFrame({0, height - 20, width, height});
    show({drinks, duration}, large ? "large" : "standard");
  }
  // The mode the other way round is another screen: standard frames.
  ui::Screen::main().setMode(gfx::Size{2732, 2048}, 2);
  expectRow(*kt::MeListCell::create(), true, false);
  expectRow(*kt::MeNormalListCell::create(), false, false);
}

TEST_F(OrderCellsTest, ARowKeepsItsIndexAndWhatItShows) {
  auto cell = kt::MeNormalListCell::create();
  EXPECT_EQ(cell->numOfIndex(), 0);
  cell->setNumOfIndex(-7);
  cell->assignModel();
  EXPECT_EQ(cell->numOfIndex(), -7);
  EXPECT_EQ(cell->selectionStyle(), ui::TableViewCellSelectionStyle::Default);
  expectRow(*cell, false, false);
}

TEST_F(OrderCellsTest, DishCellsComeFromTheirNibs) {
  for (bool large : {false, true}) {
    if (large) setDevice(support::Device::LargeTablet);
    auto food = kt::FoodView::initWithXib();
    auto chosen = kt::FoodView::initWithXib();
    auto recommended = kt::RecommendFoodView::initWithXib();
    ASSERT_TRUE(food && chosen && recommended);
    auto stack = food->snapshotStackView();
    ASSERT_TRUE(food->foodImage() && stack && food->lblFoodName() && food->lblFoodEnName() &&
                food->FoodPirceAndUnit() && food->btnSelect() && food->selectedImg() && food->lblSeleceedNum());
    EXPECT_NE(chosen->foodImage(), food->foodImage());
    EXPECT_DOUBLE_EQ(food->foodImage()->layer()->cornerRadius(), 8);
    EXPECT_TRUE(stack->displayAsStack());
    EXPECT_TRUE(stack->DefaultImage() && stack->DefaultImage() == gfx::Image::named("DefaultImage.jpg"));
    EXPECT_TRUE(food->selectedImg()->isHidden());

    auto pic = recommended->foodPic();
    ASSERT_TRUE(pic && recommended->lblName() && recommended->lblDanJia() && recommended->lblDanWei());
    EXPECT_EQ(pic->backgroundColor(), gfx::Color::clear());
    EXPECT_EQ(pic->layer()->borderColor(), gfx::Color::whiteColor());
    EXPECT_DOUBLE_EQ(pic->layer()->borderWidth(), 5);
    EXPECT_DOUBLE_EQ(pic->layer()->cornerRadius(), 10);
    EXPECT_TRUE(pic->clipsToBounds());

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
    food->setFrame({40, 40, 220, 270});
    chosen->setFrame({280, 40, 220, 270});
    recommended->setFrame({520, 40, 260, 270});
    show({food, chosen, recommended}, large ? "large" : "standard");
  }
}

TEST_F(OrderCellsTest, ADishCellIsTheNibsLastObjectOrNothing) {
  auto last = kt::FoodView::create();
  ui::Nib::Objects objects{kt::FoodView::create(), last};
  ui::Nib::registerNib(kt::FoodView::NibName, [&](ui::Responder*) { return objects; });
  EXPECT_EQ(kt::FoodView::initWithXib(), last);
  for (const ui::Nib::Objects& other : {ui::Nib::Objects{last, ui::View::create()}, ui::Nib::Objects{},
                                 ui::Nib::Objects{kt::RecommendFoodView::create()}}) {
    objects = other;
    EXPECT_EQ(kt::FoodView::initWithXib(), nullptr);
  }
  ui::Nib::unregisterNib(kt::RecommendFoodView::NibName);
  EXPECT_EQ(kt::RecommendFoodView::initWithXib(), nullptr);
}

}  // namespace
