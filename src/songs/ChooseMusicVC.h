#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/core/Value.h"
#include "songs/AlertView_style1.h"
#include "songs/SongScreen.h"
#include "widgets/controls/WGCycleScrollView.h"

namespace ui {
class ImageView;
class ScrollView;
}  // namespace ui

namespace kt {

// The song home screen, root of the navigation stack: a bar of its own (the logo opening food
// ordering, the title picture opening room binding, the queue button with its badge) over one
// vertical scroll view holding the search bar, the banner carousel, four module buttons
// (favourites, chart, singers, categories), the first eight songs of the chart and six style
// tiles opening fixed song lists; the remote button stays fixed over it.
//
// Every appearance asks again for the banners, the queue count and the chart; each reply changes
// only its own part of the screen, and a chart reply older than the latest one is dropped.
class ChooseMusicVC : public SongScreen, public WGCycleScrollViewDelegate, public AlertView_style1Delegate {
 public:
  // The most rows the recommended chart shows.
  static constexpr int MaxRecommended = 8;
  // The style tiles' titles, tile 0 to 5 (tags 1000 to 1005).
  static const std::vector<std::string>& styleTitles();

  ChooseMusicVC();
  ~ChooseMusicVC() override;

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void setupMyView() override;

  // ---- Requests ----
  void requestData();          // the banners
  void requestForRecommend();  // page 1 of the chart
  void reloadCycleViewData();

  // ---- Actions ----
  void leftBarButtonClick() override;   // food ordering: the connect-and-bind screen
  void changeTitle();                   // room binding, presented modally
  void songClassifyClick(int tag);      // module buttons 1000 to 1003
  void songStyleBtnClick(int tag);      // style tiles 1000 to 1005
  void didSelectTheItemAtIndex(int index, WGCycleScrollView& carousel) override;
  void didClickTheActionButtonAtIndex(int index) override;

  // ---- Recommended table ----
  int numberOfRowsInSection(ui::TableView& tableView, int section) override;
  std::shared_ptr<ui::TableViewCell> cellForRowAtIndexPath(ui::TableView& tableView,
                                                           const ui::IndexPath& indexPath) override;
  std::optional<double> heightForRowAtIndexPath(ui::TableView& tableView, const ui::IndexPath& indexPath) override;
  std::optional<double> heightForHeaderInSection(ui::TableView& tableView, int section) override;
  std::shared_ptr<ui::View> viewForHeaderInSection(ui::TableView& tableView, int section) override;

  // ---- Views and data (made on first read) ----
  const std::vector<core::Value>& arr_cycleData() const { return m_arr_cycleData; }
  void setArr_cycleData(std::vector<core::Value> items) { m_arr_cycleData = std::move(items); }
  const std::shared_ptr<ui::ImageView>& view_module();
  void setView_module(std::shared_ptr<ui::ImageView> view) { m_view_module = std::move(view); }
  const std::shared_ptr<ui::ScrollView>& scrollV();
  void setScrollV(std::shared_ptr<ui::ScrollView> view) { m_scrollV = std::move(view); }
  const std::shared_ptr<ui::TableView>& tbView_recommend();
  void setTbView_recommend(std::shared_ptr<ui::TableView> table) { m_tbView_recommend = std::move(table); }
  const std::shared_ptr<ui::ImageView>& imgV_title() const { return m_imgV_title; }
  // Null until the first banner reply.
  const std::shared_ptr<WGCycleScrollView>& cycleView() const { return m_cycleView; }

 protected:
  void addSongReplied(const std::optional<core::Value>& reply) override;

 private:
  void addNavigationBarItems();
  void addModules(ui::View& parent);
  void addStyleTiles(ui::View& parent);
  void recommendArrived(uint64_t generation, const std::optional<core::Value>& reply);

  std::vector<core::Value> m_arr_cycleData;
  std::shared_ptr<ui::ImageView> m_view_module;
  std::shared_ptr<ui::ScrollView> m_scrollV;
  std::shared_ptr<ui::TableView> m_tbView_recommend;
  std::shared_ptr<ui::ImageView> m_imgV_title;
  std::shared_ptr<WGCycleScrollView> m_cycleView;
  uint64_t m_recommendGeneration = 0;  // chart requests sent
  uint64_t m_recommendShown = 0;       // the request whose reply is shown
};

}  // namespace kt
