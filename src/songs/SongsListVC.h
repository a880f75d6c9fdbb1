#pragma once

#include <optional>
#include <string>

#include "songs/SongScreen.h"

namespace kt {

// A song list under a title: the title "zu排行榜" lists the chart, any other title is searched for
// (a category's or a singer's name lists its songs). The frame without search bar and remote
// button: queue button with its badge, the table over the whole content, pull-down and pull-up.
//
// A reply whose "total" reads "0" answers no results: the rows and the page counter stay as they
// are and the footer is not put into its no-more-data state, so the next pull-up asks for the
// next page.
class SongsListVC : public SongScreen {
 public:
  // The chart's title.
  static constexpr const char* ChartTitle = "zu排行榜";

  // `background`: the name of the content's picture; the base one when empty.
  explicit SongsListVC(std::string navTitle = {}, std::string background = {});
  ~SongsListVC() override;

  // The page asked for next.
  int page_classify() const { return page(); }

  // The title and the background are shown as they are when the view loads; a title set later
  // changes only what the next request asks for.
  const std::string& string_navTitle() const { return m_string_navTitle; }
  void setString_navTitle(std::string title);
  const std::string& str_bg() const { return m_str_bg; }
  void setStr_bg(std::string background);
  bool isChart() const { return m_string_navTitle == ChartTitle; }

 protected:
  std::optional<CloudRequest> listRequest(int page) override;
  std::optional<Rows> rowsOfReply(const std::optional<core::Value>& reply) override;
  bool isNoResults(const std::optional<core::Value>& reply) const override;

 private:
  std::string m_string_navTitle;
  std::string m_str_bg;
  // The kind of the last request sent: its reply is read by it, whatever the title is by then.
  bool m_askedChart = false;
};

}  // namespace kt
