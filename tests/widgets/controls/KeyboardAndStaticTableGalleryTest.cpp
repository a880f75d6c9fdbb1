// The keyboard-avoiding scroll and table views and the static-content table on both tablet
// sizes, saved as screenshots: at rest, edited with the keyboard up (its place shaded, since the
// keyboard itself is not drawn), and a settings-like table with header and footer texts, titled
// sections, a selected row and an inserted one.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/gfx/Image.h"
#include "platform/ui/Keyboard.h"
#include "platform/ui/Label.h"
#include "platform/ui/Switch.h"
#include "platform/ui/TableViewCell.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Window.h"
#include "support/UiHarness.h"
#include "widgets/controls/KeyboardAvoidingScrollView.h"
#include "widgets/controls/KeyboardAvoidingTableView.h"
#include "widgets/controls/StaticContentTableViewController.h"

namespace {

using kt::StaticContentTableViewCell;
using kt::StaticContentTableViewController;
using kt::StaticContentTableViewSection;

const std::vector<std::string> FormLabels = {"包厢号", "服务器地址", "服务器端口", "图片端口", "点歌机地址",
                                             "点歌机名称", "落单密码", "备注"};

std::string deviceName(support::Device device) {
  return device == support::Device::Standard ? "standard" : "large";
}

class KeyboardAndStaticTableGalleryTest : public support::ScreenTest {
 protected:
  KeyboardAndStaticTableGalleryTest() { ui::Keyboard::shared().reset(); }
  ~KeyboardAndStaticTableGalleryTest() override { ui::Keyboard::shared().reset(); }

  // Where the keyboard would be, shaded, in front of everything.
  void shadeKeyboard() {
    auto shade = ui::View::create(ui::Keyboard::shared().frame());
    shade->setBackgroundColor(gfx::Color(0.55, 0.57, 0.6, 0.85));
    shade->setUserInteractionEnabled(false);
    window().addSubview(shade);
  }

  // The darkest pixel of a rectangle of the image (points).
  static uint32_t darkest(const gfx::Image& image, const gfx::Rect& r) {
    uint32_t best = 0xFFFFFFFFu;
    int bestSum = 3 * 255;
    for (double y = r.y(); y < r.maxY(); y += 0.5)
      for (double x = r.x(); x < r.maxX(); x += 0.5) {
        const uint32_t c = colorAt(image, gfx::Point{x, y});
        const int sum = int((c >> 16) & 0xFF) + int((c >> 8) & 0xFF) + int(c & 0xFF);
        if (sum < bestSum) bestSum = sum, best = c;
      }
    return best;
  }
};

TEST_F(KeyboardAndStaticTableGalleryTest, AFormInTheScrollViewKeepsTheEditedFieldAboveTheKeyboard) {
  for (auto device : {support::Device::Standard, support::Device::LargeTablet}) {
    setDevice(device);
    const gfx::Rect screen = window().bounds();
    auto scroll = kt::KeyboardAvoidingScrollView::create(screen);
    scroll->setBackgroundColor(gfx::Color(0.94, 0.95, 0.97));
    std::shared_ptr<ui::TextField> edited;
    for (size_t i = 0; i < FormLabels.size(); ++i) {
      const double y = 40 + double(i) * 110;
      auto label = ui::Label::create(gfx::Rect(80, y, 200, 40));
      label->setText(FormLabels[i]);
      scroll->addSubview(label);
      auto field = ui::TextField::create(gfx::Rect(300, y, screen.width() - 400, 40));
      field->setBorderStyle(ui::TextBorderStyle::RoundedRect);
      field->setPlaceholder("请输入" + FormLabels[i]);
      scroll->addSubview(field);
      if (i == 5) edited = field;
    }
    scroll->setContentSize(gfx::Size{screen.width(), 40 + double(FormLabels.size()) * 110});
    window().addSubview(scroll);
    screenshot(deviceName(device) + "-form-at-rest");

    tap(*edited);
    ASSERT_TRUE(edited->isFirstResponder());
    ASSERT_TRUE(type("包厢点歌机"));
    wait(0.5);
    const gfx::Rect inWindow = edited->convertRectTo(edited->bounds(), nullptr);
    const double keyboardTop = ui::Keyboard::shared().frame().y();
    EXPECT_LE(inWindow.maxY(), keyboardTop);
    EXPECT_EQ(scroll->contentInset().bottom, screen.height() - keyboardTop);
    shadeKeyboard();
    auto image = screenshot(deviceName(device) + "-form-editing-keyboard-up");
    ASSERT_TRUE(image);
    // The field's white box shows above the keyboard's shade.
    EXPECT_EQ(colorAt(*image, gfx::Point{inWindow.maxX() - 20, inWindow.y() + 20}), 0xFFFFFFFFu);
  }
}

class FieldRows : public ui::TableViewDataSource {
 public:
  // One cell per row, kept, so that changes of the table do not end the editing.
  std::vector<std::shared_ptr<ui::TableViewCell>> cells = std::vector<std::shared_ptr<ui::TableViewCell>>(18);
  int rows = 16;
  int numberOfRowsInSection(ui::TableView&, int) override { return rows; }
  std::shared_ptr<ui::TableViewCell> cellForRowAtIndexPath(ui::TableView& table, const ui::IndexPath& ip) override {
    auto& cell = cells.at(size_t(ip.row));
    if (!cell) {
      cell = ui::TableViewCell::create();
      cell->textLabel()->setText(FormLabels[size_t(ip.row) % FormLabels.size()]);
      auto field = ui::TextField::create(gfx::Rect(260, 7, table.bounds().width() - 320, 30));
      field->setBorderStyle(ui::TextBorderStyle::RoundedRect);
      field->setTag(100 + ip.row);
      cell->contentView()->addSubview(field);
    }
    return cell;
  }
};

TEST_F(KeyboardAndStaticTableGalleryTest, ATableOfFieldsScrollsTheEditedRowIntoView) {
  for (auto device : {support::Device::Standard, support::Device::LargeTablet}) {
    setDevice(device);
    FieldRows rows;
    auto table = kt::KeyboardAvoidingTableView::create(window().bounds(), ui::TableViewStyle::Plain);
    table->setDataSource(&rows);
    window().addSubview(table);
    render();
    screenshot(deviceName(device) + "-table-at-rest");
    table->scrollToRowAtIndexPath(ui::IndexPath::forRow(13, 0), ui::TableViewScrollPosition::Bottom, false);
    render();
    auto field = std::dynamic_pointer_cast<ui::TextField>(table->viewWithTag(113));
    ASSERT_TRUE(field);
    tap(*field);
    ASSERT_TRUE(field->isFirstResponder());
    wait(0.5);
    const gfx::Rect inWindow = field->convertRectTo(field->bounds(), nullptr);
    const double keyboardTop = ui::Keyboard::shared().frame().y();
    EXPECT_LE(inWindow.maxY(), keyboardTop);
    EXPECT_EQ(table->contentInset().bottom, window().bounds().height() - keyboardTop);
    shadeKeyboard();
    screenshot(deviceName(device) + "-table-editing-keyboard-up");
    window().subviews().back()->removeFromSuperview();
    ui::Keyboard::shared().hide();
    EXPECT_EQ(table->contentInset().bottom, 0);

    // Edited elsewhere: the table makes room once its own content changes, and gives it back.
    auto outside = ui::TextField::create(gfx::Rect(20, 20, 200, 40));
    window().addSubview(outside);
    tap(*outside);
    ASSERT_TRUE(ui::Keyboard::shared().isVisible());
    EXPECT_EQ(table->contentInset().bottom, 0);
    rows.rows = 18;
    table->insertRowsAtIndexPaths({ui::IndexPath::forRow(16, 0), ui::IndexPath::forRow(17, 0)},
                                  ui::TableViewRowAnimation::None);
    render();
    EXPECT_EQ(table->contentInset().bottom, window().bounds().height() - keyboardTop);
    ui::Keyboard::shared().hide();
    EXPECT_EQ(table->contentInset().bottom, 0);
    table->setDataSource(nullptr);
    table->removeFromSuperview();
  }
}

TEST_F(KeyboardAndStaticTableGalleryTest, ASettingsTableFromSectionAndRowModels) {
  for (auto device : {support::Device::Standard, support::Device::LargeTablet}) {
    setDevice(device);
    auto controller = std::make_shared<StaticContentTableViewController>(ui::TableViewStyle::Grouped);
    auto table = controller->tableView();
    table->setFrame(window().bounds());
    window().addSubview(table);
    controller->setHeaderText("包厢设置:修改后需要重新连接服务器才能生效");
    controller->setFooterText("如有疑问请呼叫服务员");
    std::vector<std::string> picked;
    std::shared_ptr<ui::TextField> nameField;
    controller->addSection([&](StaticContentTableViewSection& section, size_t) {
      section.setTitle("服务器");
      for (std::string text : {"服务器地址", "服务器端口", "图片端口"})
        section.addCell([text](StaticContentTableViewCell* model, ui::TableViewCell* cell, std::optional<ui::IndexPath>) {
          if (model) {
            model->setCellStyle(ui::TableViewCellStyle::Value1);
            model->setReuseIdentifier("Value1");
          }
          if (!cell) return;
          cell->textLabel()->setText(text);
          cell->detailTextLabel()->setText(text == "服务器地址" ? "192.168.1.10" : "8080");
          cell->setAccessoryType(ui::TableViewCellAccessoryType::DisclosureIndicator);
        }, [&picked, text](const ui::IndexPath&) { picked.push_back(text); });
    });
    controller->addSection([&](StaticContentTableViewSection& section, size_t) {
      section.setTitle("播放");
      section.addCell([](StaticContentTableViewCell* model, ui::TableViewCell* cell, std::optional<ui::IndexPath>) {
        if (model) model->setReuseIdentifier("Switch");
        if (!cell) return;
        cell->textLabel()->setText("自动播放下一首");
        auto toggle = std::make_shared<ui::Switch>();
        toggle->setOn(true);
        cell->setAccessoryView(toggle);
      });
      section.addCell([&](StaticContentTableViewCell* model, ui::TableViewCell* cell, std::optional<ui::IndexPath>) {
        if (model) model->setReuseIdentifier("Field");
        if (!cell) return;
        cell->textLabel()->setText("点歌机名称");
        if (!nameField) nameField = ui::TextField::create(gfx::Rect(0, 0, 300, 30));
        nameField->setPlaceholder("请输入点歌机名称");
        cell->setAccessoryView(nameField);
      });
    });
    render();
    screenshot(deviceName(device) + "-settings-table");

    // One row at a time: selected, told, deselected; several: selected, told, kept.
    tap(*table->cellForRowAtIndexPath(ui::IndexPath::forRow(0, 0)));
    wait(0.5);
    EXPECT_FALSE(table->indexPathForSelectedRow());
    table->setAllowsMultipleSelection(true);
    tap(*table->cellForRowAtIndexPath(ui::IndexPath::forRow(1, 0)));
    controller->insertCell([](StaticContentTableViewCell*, ui::TableViewCell* cell, std::optional<ui::IndexPath>) {
      if (cell) cell->textLabel()->setText("点歌机地址");
    }, ui::IndexPath::forRow(0, 1), true);
    wait(0.5);
    EXPECT_EQ(picked, (std::vector<std::string>{"服务器地址", "服务器端口"}));
    EXPECT_EQ(table->indexPathsForSelectedRows(), (std::vector<ui::IndexPath>{ui::IndexPath::forRow(1, 0)}));
    auto image = screenshot(deviceName(device) + "-settings-selected-and-inserted");
    ASSERT_TRUE(image);
    EXPECT_EQ(table->numberOfRowsInSection(1), 3);
    // The header text is drawn in its slate blue.
    auto header = table->tableHeaderView();
    ASSERT_TRUE(header && !header->subviews().empty());
    const gfx::Rect text = header->subviews()[0]->convertRectTo(header->subviews()[0]->bounds(), nullptr);
    const uint32_t c = darkest(*image, text);
    EXPECT_NEAR(int((c >> 16) & 0xFF), 61, 16);
    EXPECT_NEAR(int((c >> 8) & 0xFF), 77, 16);
    EXPECT_NEAR(int(c & 0xFF), 99, 16);
    // Finishing a drag of the table (above the keyboard, which takes its own touches) ends the
    // editing.
    tap(*nameField);
    ASSERT_TRUE(nameField->isFirstResponder());
    drag(gfx::Point{400, 350}, gfx::Point{400, 250});
    EXPECT_FALSE(nameField->isFirstResponder());
    table->removeFromSuperview();
  }
}

}  // namespace
