#pragma once

#include <memory>
#include <string>
#include <vector>

#include "songs/NameListScreen.h"

namespace ui {
class ScrollView;
}

namespace kt {

// The singer screen, titled "歌星": under the frame's search bar a strip of ten fixed hot-search
// singers (photograph from the singer-image host and name; a tap opens the titled song list of
// that singer), and below it the table of the 21 singer regions (a tap opens the singers of that
// region). Both lists are fixed; the only request is the queue badge.
class Style_starsVC : public NameListScreen {
 public:
  // Tag of the first hot-search button; button i carries FirstSingerTag + i.
  static constexpr int FirstSingerTag = 1000;
  // The singer regions in row order.
  static const std::vector<std::string>& regions();
  // The hot-search singers, button order.
  static const std::vector<std::string>& hotSingers();

  Style_starsVC();
  ~Style_starsVC() override;

  void viewDidLoad() override;
  void setupMyView() override;

  // A tap on the hot-search button of that tag; a tag outside the strip does nothing.
  void singerSongsListClick(int tag);

  // The hot-search strip, made on first use.
  const std::shared_ptr<ui::ScrollView>& scrollV_hotSearch();
  void setScrollV_hotSearch(std::shared_ptr<ui::ScrollView> view) { m_scrollV_hotSearch = std::move(view); }
  const std::vector<std::string>& arr_singerList() const { return m_arr_singerList; }

 protected:
  void openName(const std::string& region) override;

 private:
  void addHotSearchArea(ui::View& parent);
  void addSingerButton(ui::ScrollView& strip, size_t index);

  std::vector<std::string> m_arr_singerList;
  std::shared_ptr<ui::ScrollView> m_scrollV_hotSearch;
};

}  // namespace kt
