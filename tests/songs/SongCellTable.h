#pragma once

// A table of one song or singer cell kind, driven as the song screens drive it (reuse under
// "cellIdentify", fill every time a row is shown, the screen as the song cells' delegate), and a
// screen fixture with the stand-in cloud service (its singer-image host) mapped in.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "imagecache/ICImageCache.h"
#include "imagecache/ICWebImageDownloader.h"
#include "platform/gfx/Image.h"
#include "platform/net/HostMap.h"
#include "platform/ui/TableView.h"
#include "platform/ui/Window.h"
#include "songs/ChooseMusicCell.h"
#include "songs/ChooseMusicModel.h"
#include "songs/SongsListCell.h"
#include "songs/StarsListCell.h"
#include "songs/StarsListModel.h"
#include "songs/StyleFavouriteCell.h"
#include "songs/StyleStarsCell.h"
#include "support/RunUntil.h"
#include "support/SessionsLetGo.h"
#include "support/UiHarness.h"
#include "venue/CloudService.h"
#include "venue/HttpPeer.h"

namespace songcells_test {

// The rows that sing buttons reported, in order.
struct SingRecorder : kt::ChooseMusicDelegate, kt::SongsListCellDelegate, kt::StyleFavouriteCellDelegate {
  std::vector<int32_t> rows;
  void didSelectTheMusic(int32_t index) override { rows.push_back(index); }
};

inline std::shared_ptr<kt::ChooseMusicModel> song(const std::string& name, const std::string& singer,
                                                  const std::string& number = "100001") {
  return std::make_shared<kt::ChooseMusicModel>(
      core::Value(core::Value::Dictionary{{"musicName", name}, {"singerName", singer}, {"musicNum", number}}));
}
inline std::shared_ptr<kt::StarsListModel> singer(const std::string& name) {
  return std::make_shared<kt::StarsListModel>(core::Value(core::Value::Dictionary{{"name", name}}));
}

// Rows of one cell kind: song models for the song cells, singer models for StarsListCell,
// texts for StyleStarsCell.
template <class Cell, class Row>
class CellTable : public ui::TableViewDataSource, public ui::TableViewDelegate {
 public:
  CellTable(std::vector<Row> rows, SingRecorder* recorder) : m_rows(std::move(rows)), m_recorder(recorder) {}

  int numberOfRowsInSection(ui::TableView&, int) override { return static_cast<int>(m_rows.size()); }
  std::optional<double> heightForRowAtIndexPath(ui::TableView&, const ui::IndexPath&) override {
    return Cell::rowHeight();
  }
  std::shared_ptr<ui::TableViewCell> cellForRowAtIndexPath(ui::TableView& table, const ui::IndexPath& ip) override {
    auto cell = std::static_pointer_cast<Cell>(table.dequeueReusableCellWithIdentifier("cellIdentify"));
    if (!cell) {
      cell = Cell::create(ui::TableViewCellStyle::Default, "cellIdentify");
      cell->setSelectionStyle(ui::TableViewCellSelectionStyle::None);
    }
    const Row& row = m_rows[static_cast<size_t>(ip.row)];
    if constexpr (std::is_same_v<Row, std::shared_ptr<kt::ChooseMusicModel>>) {
      cell->setupMyModel(*row);
      cell->setDelegate(m_recorder);
      cell->setCellIndex(ip.row);
    } else if constexpr (std::is_same_v<Row, std::string>) {
      cell->setupMyCell(row);
    } else {
      cell->setupMyCell(*row);
    }
    return cell;
  }

  // A table of these rows over the whole window, on a dark background as on the song screens.
  std::shared_ptr<ui::TableView> showIn(ui::Window& window) {
    auto table = ui::TableView::create(window.bounds());
    table->setBackgroundColor(gfx::Color(0.07, 0.06, 0.2));
    table->setSeparatorStyle(ui::TableViewCellSeparatorStyle::None);
    table->setDataSource(this);
    table->setDelegate(this);
    window.addSubview(table);
    return table;
  }

  std::vector<Row> m_rows;

 private:
  SingRecorder* m_recorder;
};

class SongCellScreenTest : public support::SessionsLetGoAtEnd, public support::ScreenTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(cloud.start());
    for (const std::string& host : venue::CloudService::hosts()) net::HostMap::set(host, 80, "127.0.0.1", cloud.port());
    // Pictures of earlier tests in this process must come from the stand-in again.
    kt::ICImageCache::sharedImageCache()->clearMemory();
    bool cleared = false;
    kt::ICImageCache::sharedImageCache()->clearDisk([&cleared] { cleared = true; });
    ASSERT_TRUE(support::runUntil([&cleared] { return cleared; }));
  }
  void TearDown() override {
    // The shared downloader is left idle, so no worker is busy when the next test starts.
    support::runUntil([] { return kt::ICWebImageDownloader::sharedDownloader()->currentDownloadCount() == 0; });
    support::drainMainLoop();
    net::HostMap::clear();
    cloud.stop();
  }

  // The singer-image paths the stand-in was asked for, as sent.
  std::vector<std::string> pictureRequests() const {
    std::vector<std::string> paths;
    for (const auto& request : cloud.requestsTo("SingerImage")) paths.push_back(request.rawPath);
    return paths;
  }

  // Whether the image is the stand-in's picture of that singer (a spot of its own colour).
  static bool isPictureOf(const std::shared_ptr<const gfx::Image>& image, const std::string& name) {
    if (!image || image->pixelWidth() != 160) return false;
    const uint32_t p = image->pixelAt(140, 20);
    const venue::Rgb want = venue::colourFor("singer/" + name);
    auto near = [](uint32_t got, int expected) { return std::abs(static_cast<int>(got & 0xff) - expected) <= 12; };
    return near(p >> 16, want.r) && near(p >> 8, want.g) && near(p, want.b);
  }

  venue::CloudService cloud;
  SingRecorder recorder;
};

}  // namespace songcells_test
