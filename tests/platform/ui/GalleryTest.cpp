// Small realistic screens built from the platform's views, saved as screenshots for a look by eye,
// with checks of what the screens must show where it is certain.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/gfx/Font.h"
#include "platform/gfx/Image.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Application.h"
#include "platform/ui/CollectionReusableView.h"
#include "platform/ui/CollectionView.h"
#include "platform/ui/CollectionViewCell.h"
#include "platform/ui/CollectionViewFlowLayout.h"
#include "platform/ui/IndexPath.h"
#include "platform/ui/Keyboard.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/PopoverController.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TableViewCell.h"
#include "platform/ui/TextField.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "support/UiHarness.h"

namespace {

const std::vector<std::string> Singers = {"周杰伦", "王菲", "陈奕迅", "邓紫棋"};
const std::vector<std::string> Songs = {"晴天", "红豆", "十年", "泡沫", "稻香", "传奇", "浮夸", "光年之外",
                                        "七里香", "容易受伤的女人", "好久不见", "喜欢你"};

// A song list: one section per singer, every song in each.
class SongList : public ui::TableViewDataSource {
 public:
  int numberOfSectionsInTableView(ui::TableView&) override { return static_cast<int>(Singers.size()); }
  int numberOfRowsInSection(ui::TableView&, int) override { return static_cast<int>(Songs.size()); }
  std::shared_ptr<ui::TableViewCell> cellForRowAtIndexPath(ui::TableView& table, const ui::IndexPath& path) override {
    auto cell = table.dequeueReusableCellWithIdentifier("song");
    if (!cell) cell = ui::TableViewCell::create(ui::TableViewCellStyle::Subtitle, "song");
    cell->textLabel()->setText(Songs[size_t(path.row) % Songs.size()]);
    cell->detailTextLabel()->setText(Singers[size_t(path.section) % Singers.size()] + " · 第 " +
                                     std::to_string(path.row + 1) + " 首");
    cell->setAccessoryType(ui::TableViewCellAccessoryType::DisclosureIndicator);
    return cell;
  }
  std::optional<std::string> titleForHeaderInSection(ui::TableView&, int section) override {
    return Singers[size_t(section) % Singers.size()];
  }
};

// A controller whose view is a table of the song list.
class SongListController : public ui::ViewController {
 public:
  void loadView() override {
    table = ui::TableView::create(gfx::Rect(0, 0, 320, 480));
    table->setRowHeight(54);
    table->setDataSource(&songs);
    setView(table);
  }
  SongList songs;
  std::shared_ptr<ui::TableView> table;
};

// Room pictures: a few sections of coloured tiles with a titled header each.
class Tiles : public ui::CollectionViewDataSource {
 public:
  int numberOfSectionsInCollectionView(ui::CollectionView&) override { return 3; }
  int numberOfItemsInSection(ui::CollectionView&, int section) override { return 5 + section * 3; }
  std::shared_ptr<ui::CollectionViewCell> cellForItemAtIndexPath(ui::CollectionView& cv, const ui::IndexPath& path) override {
    auto cell = cv.dequeueReusableCellWithReuseIdentifier("tile", path);
    double hue = (path.section * 7 + path.row) / 24.0;
    cell->setBackgroundColor(gfx::Color::rgba(0.3 + 0.6 * hue, 0.5, 0.9 - 0.6 * hue));
    cell->layer()->setCornerRadius(8);
    auto label = std::dynamic_pointer_cast<ui::Label>(cell->contentView()->subviews().empty()
                                                          ? nullptr
                                                          : cell->contentView()->subviews().front());
    if (!label) {
      label = ui::Label::create(cell->contentView()->bounds());
      label->setTextAlignment(gfx::TextAlignment::Center);
      label->setTextColor(gfx::Color::whiteColor());
      label->setBackgroundColor(std::nullopt);
      label->setFont(gfx::Font::boldSystemFont(20));
      label->setAutoresizingMask(ui::AutoresizingFlexibleWidth | ui::AutoresizingFlexibleHeight);
      cell->contentView()->addSubview(label);
    }
    label->setText(std::to_string(path.section + 1) + "-" + std::to_string(path.row + 1));
    return cell;
  }
  std::shared_ptr<ui::CollectionReusableView> viewForSupplementaryElementOfKind(ui::CollectionView& cv,
                                                                               const std::string& kind,
                                                                               const ui::IndexPath& path) override {
    auto header = cv.dequeueReusableSupplementaryViewOfKind(kind, "header", path);
    header->setBackgroundColor(gfx::Color::white(0.94));
    std::shared_ptr<ui::Label> label;
    if (!header->subviews().empty()) label = std::dynamic_pointer_cast<ui::Label>(header->subviews().front());
    if (!label) {
      label = ui::Label::create(gfx::Rect(16, 0, 400, 40));
      label->setFont(gfx::Font::boldSystemFont(17));
      label->setBackgroundColor(std::nullopt);
      header->addSubview(label);
    }
    label->setText(std::string("包厢照片 第 ") + std::to_string(path.section + 1) + " 组");
    return header;
  }
};

// A screen with a title label in its middle.
class TitledController : public ui::ViewController {
 public:
  TitledController(std::string text, gfx::Color color) : m_text(std::move(text)), m_color(color) {}
  void loadView() override {
    auto v = ui::View::create(gfx::Rect(0, 0, 1024, 768));
    v->setBackgroundColor(m_color);
    auto label = ui::Label::create(gfx::Rect(0, 300, 1024, 60));
    label->setText(m_text);
    label->setFont(gfx::Font::boldSystemFont(34));
    label->setTextAlignment(gfx::TextAlignment::Center);
    label->setBackgroundColor(std::nullopt);
    label->setAutoresizingMask(ui::AutoresizingFlexibleWidth);
    v->addSubview(label);
    setView(v);
  }

 private:
  std::string m_text;
  gfx::Color m_color;
};

class GalleryTest : public support::ScreenTest {
 protected:
  ~GalleryTest() override { ui::AlertView::reset(); }

  // A grey bar across the top, as the screens have, so overlays show over something.
  void backdrop() {
    auto bar = ui::View::create(gfx::Rect(0, 0, 1024, 64));
    bar->setBackgroundColor(gfx::Color::rgba(0.16, 0.18, 0.24));
    auto title = ui::Label::create(gfx::Rect(0, 20, 1024, 44));
    title->setText("KTV 点歌");
    title->setTextColor(gfx::Color::whiteColor());
    title->setFont(gfx::Font::boldSystemFont(18));
    title->setTextAlignment(gfx::TextAlignment::Center);
    title->setBackgroundColor(std::nullopt);
    bar->addSubview(title);
    window().addSubview(bar);
  }
};

TEST_F(GalleryTest, AScrolledPlainTableWithHeadersAndSelectedRows) {
  SongList songs;
  auto table = ui::TableView::create(gfx::Rect(0, 0, 1024, 768));
  table->setRowHeight(54);
  table->setAllowsMultipleSelection(true);
  table->setDataSource(&songs);
  window().addSubview(table);
  render();
  table->setContentOffset(gfx::Point{0, 700});
  table->selectRowAtIndexPath(ui::IndexPath::forRow(0, 1), false, ui::TableViewScrollPosition::None);
  table->selectRowAtIndexPath(ui::IndexPath::forRow(2, 1), false, ui::TableViewScrollPosition::None);
  auto image = screenshot("songs");
  ASSERT_TRUE(image);
  // The second singer's header is pinned to the top while the section is in view.
  auto header = findViewByText(Singers[1]);
  ASSERT_TRUE(header);
  gfx::Rect headerFrame = header->convertRectTo(header->bounds(), nullptr);
  EXPECT_NEAR(headerFrame.midY(), 11, 11);
  EXPECT_EQ(table->indexPathsForSelectedRows().size(), 2u);
}

TEST_F(GalleryTest, ACollectionInAFlowLayoutWithSections) {
  Tiles tiles;
  auto layout = std::make_shared<ui::CollectionViewFlowLayout>();
  layout->setItemSize(gfx::Size{140, 100});
  layout->setMinimumInteritemSpacing(12);
  layout->setMinimumLineSpacing(12);
  layout->setSectionInset(gfx::EdgeInsets{12, 16, 20, 16});
  layout->setHeaderReferenceSize(gfx::Size{1024, 40});
  auto cv = ui::CollectionView::create(gfx::Rect(0, 0, 1024, 768), layout);
  cv->setBackgroundColor(gfx::Color::whiteColor());
  cv->registerClass([] { return ui::CollectionViewCell::create(); }, "tile");
  cv->registerClassForSupplementaryViewOfKind([] { return std::make_shared<ui::CollectionReusableView>(); },
                                              ui::CollectionElementKindSectionHeader, "header");
  cv->setDataSource(&tiles);
  window().addSubview(cv);
  auto image = screenshot("tiles");
  ASSERT_TRUE(image);
  auto second = findViewByText("包厢照片 第 2 组");
  ASSERT_TRUE(second);
  auto firstTile = findViewByText("1-1");
  ASSERT_TRUE(firstTile);
  gfx::Rect tile = firstTile->convertRectTo(firstTile->bounds(), nullptr);
  EXPECT_EQ(tile.origin, (gfx::Point{16, 52}));
  cv->setContentOffset(gfx::Point{0, 200});
  screenshot("tiles-scrolled");
}

TEST_F(GalleryTest, AlertsWithTwoButtonsAndWithATextField) {
  backdrop();
  auto alert = ui::AlertView::create("退出包厢", "确定要结束本次消费吗？", nullptr, std::string("取消"), {"确定"});
  alert->show();
  wait(0.1);
  screenshot("popping-in");
  wait(0.5);
  auto image = screenshot("two-buttons");
  ASSERT_TRUE(image);
  // The bar under the dimming shows darker; the card is light.
  uint32_t bar = colorAt(*image, gfx::Point{10, 10});
  EXPECT_LT(int((bar >> 16) & 0xFF), 0.6 * 0.16 * 255 + 3);
  gfx::Rect card = alert->convertRectTo(alert->bounds(), nullptr);
  EXPECT_GT(int((colorAt(*image, gfx::Point{card.minX() + 6, card.minY() + 6}) >> 16) & 0xFF), 235);
  ASSERT_TRUE(tapAlertButton("取消"));
  wait(0.5);
  EXPECT_TRUE(visibleAlerts().empty());

  auto ask = ui::AlertView::create("服务员", "请输入包厢号", nullptr, std::string("取消"), {"呼叫"});
  ask->setAlertViewStyle(ui::AlertViewStyle::PlainTextInput);
  ask->textFieldAtIndex(0)->setPlaceholder("例如 A08");
  ask->show();
  wait(0.5);
  screenshot("text-field-empty");
  ASSERT_TRUE(type("A08"));
  screenshot("text-field-typed");
  EXPECT_EQ(ask->textFieldAtIndex(0)->text(), "A08");
  ASSERT_TRUE(tapAlertButton("呼叫"));
  wait(0.5);
}

TEST_F(GalleryTest, APopoverWithATableInside) {
  backdrop();
  auto anchor = ui::Label::create(gfx::Rect(840, 20, 160, 44));
  anchor->setText("已点歌曲");
  anchor->setTextColor(gfx::Color::whiteColor());
  anchor->setBackgroundColor(std::nullopt);
  window().addSubview(anchor);
  auto list = std::make_shared<SongListController>();
  list->setPreferredContentSize(gfx::Size{320, 400});
  auto popover = ui::PopoverController::create(list);
  popover->presentPopoverFromRect(anchor->bounds(), *anchor, ui::PopoverArrowDirectionUp, true);
  wait(0.5);
  list->table->selectRowAtIndexPath(ui::IndexPath::forRow(1, 0), false, ui::TableViewScrollPosition::None);
  auto image = screenshot("popover");
  ASSERT_TRUE(image);
  auto card = popover->card();
  ASSERT_TRUE(card);
  EXPECT_EQ(card->contentFrame().size, (gfx::Size{320, 400}));
  EXPECT_EQ(popover->popoverArrowDirection(), ui::PopoverArrowDirectionUp);
  // The table scrolls inside the card.
  drag(gfx::Point{card->frame().midX(), card->frame().maxY() - 40}, gfx::Point{card->frame().midX(), card->frame().minY() + 60});
  wait(1);
  EXPECT_GT(list->table->contentOffset().y, 0);
  screenshot("popover-scrolled");
  popover->dismissPopoverAnimated(false);
}

TEST_F(GalleryTest, APushedScreenSlidingInAndSettled) {
  auto first = std::make_shared<TitledController>("点歌台", gfx::Color::white(0.97));
  first->setTitle("首页");
  auto nav = std::make_shared<ui::NavigationController>(first);
  window().setRootViewController(nav);
  wait(0.1);
  screenshot("root");
  auto second = std::make_shared<TitledController>("歌手 · 周杰伦", gfx::Color::rgba(0.9, 0.95, 1));
  second->setTitle("歌手");
  nav->pushViewController(second, true);
  wait(ui::NavigationController::TransitionDuration / 2);
  auto middle = screenshot("mid-slide");
  ASSERT_TRUE(middle);
  // Half way: the new screen covers the right part only, the old one is still seen on the left.
  uint32_t blue = 0xFFE6F3FFu, white = 0xFFF8F8F8u;
  EXPECT_EQ(colorAt(*middle, gfx::Point{1000, 600}), blue);
  EXPECT_EQ(colorAt(*middle, gfx::Point{100, 600}), white);
  wait(1);
  auto pushed = screenshot("pushed");
  ASSERT_TRUE(pushed);
  EXPECT_EQ(colorAt(*pushed, gfx::Point{100, 600}), blue);
  gfx::Rect frame = second->view()->convertRectTo(second->view()->bounds(), nullptr);
  EXPECT_EQ(frame.minX(), 0);
  EXPECT_EQ(nav->topViewController(), second.get());
}

TEST_F(GalleryTest, ATextFieldEditingWithTheKeyboardUp) {
  backdrop();
  auto field = ui::TextField::create(gfx::Rect(312, 200, 400, 40));
  field->setBorderStyle(ui::TextBorderStyle::RoundedRect);
  field->setPlaceholder("输入歌名或拼音首字母");
  field->setClearButtonMode(ui::TextFieldViewMode::WhileEditing);
  window().addSubview(field);
  screenshot("idle");
  tap(*field);
  ASSERT_TRUE(field->isFirstResponder());
  wait(0.5);
  EXPECT_TRUE(ui::Keyboard::shared().isVisible());
  ASSERT_TRUE(type("qingtian"));
  auto image = screenshot("typed");
  ASSERT_TRUE(image);
  EXPECT_EQ(field->text(), "qingtian");
  EXPECT_TRUE(field->isClearButtonVisible());
  // The keyboard is not drawn: the bottom of the screen stays the window's white.
  EXPECT_EQ(colorAt(*image, gfx::Point{500, 700}), 0xFFFFFFFFu);
}

}  // namespace
