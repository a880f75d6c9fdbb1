// A table of thumbnails from the stand-in gallery, scrolled while its loads are in flight: each
// reused cell ends up with its own row's picture, on both tablet sizes.
#include "imagecache/ImageViewWebCache.h"

#include <gtest/gtest.h>

#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TableViewCell.h"
#include "platform/ui/Window.h"
#include "support/SessionsLetGo.h"
#include "support/UiHarness.h"
#include "ViewLoaderFixture.h"

namespace {

class ThumbCell : public ui::TableViewCell {
 public:
  ThumbCell() : ui::TableViewCell(ui::TableViewCellStyle::Default, "Thumb") {
    thumb = ui::ImageView::create(gfx::Rect(12, 8, 64, 64));
    title = ui::Label::create(gfx::Rect(92, 26, 400, 28));
    contentView()->addSubview(thumb);
    contentView()->addSubview(title);
  }
  std::shared_ptr<ui::ImageView> thumb;
  std::shared_ptr<ui::Label> title;
};

class Thumbs : public ui::TableViewDataSource {
 public:
  explicit Thumbs(std::string base) : m_base(std::move(base)) {}
  int numberOfRowsInSection(ui::TableView&, int) override { return 200; }
  std::shared_ptr<ui::TableViewCell> cellForRowAtIndexPath(ui::TableView& table, const ui::IndexPath& ip) override {
    auto cell = std::static_pointer_cast<ThumbCell>(table.dequeueReusableCellWithIdentifier("Thumb", ip));
    cell->title->setText("第 " + std::to_string(ip.row) + " 首");
    kt::ImageViewWebCache::ic_setImageWithURL(
        cell->thumb, net::URL::fromString(m_base + "/images/thumb-" + std::to_string(ip.row) + ".jpg"), m_placeholder);
    return cell;
  }

 private:
  std::string m_base;
  std::shared_ptr<const gfx::Image> m_placeholder =
      gfx::Image::fromPixels(1, 1, std::vector<uint32_t>{0xffd0d0d0u});
};

class ThumbnailTableScreenTest : public support::SessionsLetGoAtEnd, public support::ScreenTest,
                                 public ::testing::WithParamInterface<support::Device> {
 protected:
  // Whether every visible cell shows its own row's thumbnail.
  static bool allVisibleShowTheirRow(ui::TableView& table) {
    for (const auto& cell : table.visibleCells()) {
      auto row = table.indexPathForCell(*cell);
      if (!row || !viewloader::isThumbnail(std::static_pointer_cast<ThumbCell>(cell)->thumb->image(), row->row))
        return false;
    }
    return true;
  }

  venue::WebServer web;
};

}  // namespace

TEST_P(ThumbnailTableScreenTest, ReusedCellsShowTheirOwnRowsThumbnailAfterScrolling) {
  setDevice(GetParam());
  ASSERT_TRUE(web.start());
  // No picture comes until the scrolling is over, so cells are reused while their loads are under way.
  auto gate = std::make_shared<venue::Gate>();
  web.setFault("images", venue::Fault::heldBy(gate));
  Thumbs thumbs(web.baseUrl());
  auto table = ui::TableView::create(window().bounds());
  table->setRowHeight(80);
  table->registerClass("Thumb", [] { return std::make_shared<ThumbCell>(); });
  table->setDataSource(&thumbs);
  window().addSubview(table);
  render();

  const double page = window().bounds().size.height;
  for (int step = 1; step <= 12; ++step) {
    table->setContentOffset({0, step * page / 4});
    render();
  }
  gate->open();
  ASSERT_TRUE(runUntil([&] { return allVisibleShowTheirRow(*table); }, 10));
  EXPECT_FALSE(table->visibleCells().empty());
  render();
  screenshot("thumbnails");
  // Rows left behind before their pictures came never show them later in someone else's cell.
  ASSERT_TRUE(runUntil([&] { return web.waitForAnswers(web.requestCount(), 0); }, 10));
  viewloader::waitForLoadsToEnd();
  EXPECT_TRUE(allVisibleShowTheirRow(*table));
  table->setDataSource(nullptr);
}

INSTANTIATE_TEST_SUITE_P(BothTablets, ThumbnailTableScreenTest,
                         ::testing::Values(support::Device::Standard, support::Device::LargeTablet),
                         [](const auto& info) {
                           return info.param == support::Device::Standard ? "Standard" : "LargeTablet";
                         });
