#include "songs/SearchMusicVC.h"

#include "app/WGAlertView.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Keyboard.h"
#include "platform/ui/TextField.h"
#include "songs/ChooseMusicModel.h"
#include "songs/SongScreenFixture.h"
#include "songs/WGLabelGradient.h"
#include "support/RectExpectations.h"
#include "widgets/feedback/PRRefreshFooter.h"
#include "widgets/feedback/PRRefreshHeader.h"
#include "widgets/feedback/ScrollViewPRRefresh.h"

#include <chrono>

namespace songs_test {
namespace {

using support::Device;
using support::expectRect;
using State = kt::PRRefreshState;

// The duets: one text with more than one page and less than two.
constexpr const char* kDuets = "男女对唱";
constexpr const char* kDuetsTyped = "男女 对唱";
constexpr const char* kDuetsQuery = "q=%E7%94%B7%E5%A5%B3%E5%AF%B9%E5%94%B1";

class SearchMusicVCTest : public SongScreenFixture {
 protected:
  static core::UserDefaults& defaults() { return core::UserDefaults::standard(); }
  static std::vector<std::string> stored() {
    std::vector<std::string> out;
    const core::Value history = defaults().arrayForKey(kt::SearchMusicVC::HistoryKey);
    if (const auto* array = history.asArray())
      for (const auto& v : *array) out.push_back(v.description());
    return out;
  }
  static void storeHistory(const std::vector<std::string>& texts) {
    core::Value::Array array;
    for (const auto& t : texts) array.emplace_back(t);
    defaults().setObject(kt::SearchMusicVC::HistoryKey, core::Value(array));
    defaults().setString(kt::SearchMusicVC::AlreadySearchKey, "yes");
  }
  std::shared_ptr<kt::SearchMusicVC> open() { return show(std::make_shared<kt::SearchMusicVC>()); }
  // Types into the field and presses the search key, once the overlay of a search before has gone.
  void search(kt::SearchMusicVC& s, const std::string& text) {
    EXPECT_TRUE(allAnswered());
    // The overlay of the search before blocks the field until it has gone.
    EXPECT_TRUE(overlayGone());
    wait(0.5);
    tap(*s.textF_search());
    for (int i = 0; i < 64 && !s.textF_search()->text().empty(); ++i) backspace();
    type(text);
    type("\n");
  }
  // The search requests' lines, in order.
  std::vector<std::string> searchLines() const {
    std::vector<std::string> lines;
    for (const auto& r : m_service.requestsTo("getwxmusicinfo")) lines.push_back(r.line());
    return lines;
  }
  static std::string line(const std::string& query, int page) {
    return "GET /wxsearchservice.aspx/?op=getwxmusicinfo&p=" + std::to_string(page) + "&" + query + " HTTP/1.1";
  }
  bool answered(size_t searches) {
    return runUntil([&] { return m_service.requestsTo("getwxmusicinfo").size() == searches; }) && allAnswered() &&
           overlayGone();
  }
  static State footer(kt::SearchMusicVC& s) { return kt::pr_footer(*s.tbView_data())->state(); }
  std::string footerText() {
    auto labels = findViews<kt::WGLabelGradient>();
    return labels.empty() ? "" : labels.back()->text();
  }
  size_t duets() const { return m_service.search(kDuets).size(); }
};

TEST_F(SearchMusicVCTest, TheHistoryKeepsTypedTextsThatNoStoredTextHolds) {
  auto screen = open();
  EXPECT_FALSE(screen->whetherFromLocation());
  ASSERT_TRUE(screen->view_noHistory() && screen->view_noHistory()->superview());
  EXPECT_TRUE(findViewByText("请输入搜索的歌手、歌名"));
  EXPECT_FALSE(kt::pr_header(*screen->tbView_data()));

  // The search key on an empty field changes nothing.
  search(*screen, "");
  EXPECT_TRUE(screen->view_noHistory()->superview());
  EXPECT_TRUE(defaults().objectForKey(kt::SearchMusicVC::AlreadySearchKey).isNull());

  search(*screen, "abc def");
  EXPECT_FALSE(screen->view_noHistory()->superview());
  EXPECT_EQ(defaults().stringForKey(kt::SearchMusicVC::AlreadySearchKey), "yes");
  for (const char* held : {"abc", "a b", "de f"}) search(*screen, held);
  EXPECT_EQ(stored(), (std::vector<std::string>{"abc def"}));
  // Added as typed: a text another holds only with spaces, a longer one, spaces alone.
  for (const char* added : {"c d", "abcd", "  "}) search(*screen, added);
  EXPECT_EQ(stored(), (std::vector<std::string>{"abc def", "c d", "abcd", "  "}));
  ASSERT_TRUE(answered(7));
  EXPECT_EQ(searchLines().front(), line("q=abcdef", 1));
  EXPECT_EQ(searchLines().back(), line("q=", 1));

  // Kept across a restart of the program: the settings are read again from their file.
  m_nav.reset();
  core::UserDefaults::resetStandard();
  screen = open();
  EXPECT_TRUE(screen->whetherFromLocation());
  EXPECT_EQ(screen->historyRows(), (std::vector<std::string>{"abc def", "c d", "abcd", "  "}));
  EXPECT_FALSE(screen->view_noHistory());
  EXPECT_EQ(footerText(), "清除历史记录");
}

TEST_F(SearchMusicVCTest, DeletingAndClearingChangeTheStoredAndTheShownHistory) {
  storeHistory({"月光", "青鸟", "花开", "故乡"});
  auto screen = open();
  screen->didDeleteTheMsgAtIndex(1);
  EXPECT_EQ(stored(), (std::vector<std::string>{"月光", "花开", "故乡"}));
  EXPECT_EQ(screen->historyRows(), stored());

  // The stored list cut short behind the screen's back: each list loses only what it has.
  storeHistory({"月光"});
  screen->didDeleteTheMsgAtIndex(2);
  EXPECT_EQ(stored(), (std::vector<std::string>{"月光"}));
  EXPECT_EQ(screen->historyRows(), (std::vector<std::string>{"月光", "花开"}));
  defaults().removeObjectForKey(kt::SearchMusicVC::HistoryKey);
  screen->didDeleteTheMsgAtIndex(1);
  EXPECT_TRUE(defaults().objectForKey(kt::SearchMusicVC::HistoryKey).isNull());
  EXPECT_EQ(screen->historyRows(), (std::vector<std::string>{"月光"}));

  // Deleting the last row: an empty history list, no hint.
  storeHistory({"月光"});
  screen->didDeleteTheMsgAtIndex(0);
  render();
  EXPECT_TRUE(stored().empty());
  EXPECT_EQ(footerText(), "没有更多历史记录");
  EXPECT_FALSE(screen->view_noHistory());

  // Clearing from the footer; the hint comes back on the next opening.
  storeHistory({"月光", "青鸟"});
  m_nav.reset();
  screen = open();
  tap(*findViewByText("清除历史记录"));
  EXPECT_TRUE(screen->historyRows().empty());
  EXPECT_TRUE(defaults().arrayForKey(kt::SearchMusicVC::HistoryKey).isArray());
  EXPECT_TRUE(defaults().objectForKey(kt::SearchMusicVC::AlreadySearchKey).isNull());
  m_nav.reset();
  screen = open();
  EXPECT_TRUE(screen->view_noHistory() && screen->view_noHistory()->superview());
}

TEST_F(SearchMusicVCTest, ResultsComePageByPageAFailedPageComesAgainAndAnEarlierSearchNeverLands) {
  ASSERT_GT(duets(), 20u);
  ASSERT_LT(duets(), 40u);
  auto screen = open();
  search(*screen, kDuetsTyped);
  ASSERT_TRUE(answered(1));
  EXPECT_EQ(screen->songRows().size(), 20u);
  // The whole singer text stays in the row.
  EXPECT_EQ(screen->songRows()[0]->string_musicSinger(), m_service.search(kDuets)[0].singer);
  // A failed page: asked for again by the next pull-up.
  m_service.setFault("getwxmusicinfo", venue::Fault::html().only(1));
  screen->pullUp();
  ASSERT_TRUE(answered(2));
  EXPECT_EQ(footer(*screen), State::Idle);
  screen->pullUp();
  ASSERT_TRUE(answered(3));
  EXPECT_EQ(screen->songRows().size(), duets());
  // An empty page after rows leaves the footer ready: the next pull-up asks for the next page.
  screen->pullUp();
  ASSERT_TRUE(answered(4));
  EXPECT_EQ(footer(*screen), State::Idle);
  // A failed pull-down keeps the rows; the next one searches the field's text from page 1.
  m_service.setFault("getwxmusicinfo", venue::Fault::html().only(1));
  screen->pullDown();
  ASSERT_TRUE(answered(5));
  EXPECT_EQ(screen->songRows().size(), duets());
  EXPECT_EQ(footer(*screen), State::Idle);
  screen->pullDown();
  ASSERT_TRUE(answered(6));
  EXPECT_EQ(screen->songRows().size(), 20u);
  EXPECT_EQ(searchLines(), (std::vector<std::string>{line(kDuetsQuery, 1), line(kDuetsQuery, 2), line(kDuetsQuery, 2),
                                                     line(kDuetsQuery, 3), line(kDuetsQuery, 1), line(kDuetsQuery, 1)}));
  // A text with no songs.
  search(*screen, "qqqqqq");
  ASSERT_TRUE(answered(7));
  EXPECT_TRUE(screen->songRows().empty());
  EXPECT_EQ(footer(*screen), State::NoMoreData);

  // An earlier search's reply comes after the later one's and is dropped; a pull-up while a
  // first page is on its way asks for nothing.
  auto gate = std::make_shared<venue::Gate>();
  m_service.setFault("getwxmusicinfo", venue::Fault::heldBy(gate).only(1));
  ASSERT_TRUE(overlayGone());
  screen->textF_search()->setText("xy");
  screen->textFieldShouldReturn(*screen->textF_search());
  const size_t sent = requestsSent();
  screen->pullUp();  // the first page is still on its way
  EXPECT_EQ(requestsSent(), sent);
  EXPECT_EQ(screen->page_page(), 1);
  ASSERT_TRUE(gate->waitForArrived(1, 10));
  const size_t takenIn = repliesTakenIn();
  screen->textF_search()->setText("qnld");  // initials of a singer
  screen->textFieldShouldReturn(*screen->textF_search());
  ASSERT_TRUE(runUntil([&] { return repliesTakenIn() == takenIn + 1; }));
  gate->open();
  ASSERT_TRUE(answered(9));
  ASSERT_TRUE(allTakenIn());
  EXPECT_EQ(screen->songRows().size(), m_service.search("qnld").size());
  EXPECT_EQ(screen->songRows()[0]->string_musicSinger(), "青鸟乐队");
}

TEST_F(SearchMusicVCTest, QueueingASongNeedsABindingAndReportsTheOutcome) {
  auto screen = open();
  search(*screen, kDuetsTyped);
  ASSERT_TRUE(answered(1));
  // Not bound: the choice alert alone.
  screen->didSelectTheIndexOfSongs(0);
  EXPECT_EQ(choiceMessage(), "请先登录~");
  EXPECT_TRUE(m_service.requestsTo("addsong.php").empty());

  bind();
  const auto song = m_service.search(kDuets)[1];
  screen->didSelectTheIndexOfSongs(1);
  ASSERT_TRUE(runUntil([&] { return findViewByText("已添加") != nullptr; }));
  EXPECT_EQ(m_service.requestsTo("addsong.php").at(0).param("songer"), song.singer);
  EXPECT_EQ(m_service.roomState(kRoom).queue.back().number, song.number);

  // Rows out of range do nothing.
  screen->didSelectTheIndexOfSongs(static_cast<int32_t>(screen->songRows().size()));
  screen->didSelectTheIndexOfSongs(-1);
  bind("404");
  screen->didSelectTheIndexOfSongs(0);
  ASSERT_TRUE(runUntil([&] { return findViewByText("请先绑定房间") != nullptr; }));
  m_service.setFault("addsong.php", venue::Fault::emptyBody());
  screen->didSelectTheIndexOfSongs(0);
  ASSERT_TRUE(runUntil([&] { return findViewByText("请求错误,请稍后重试") != nullptr; }));
  EXPECT_EQ(findViews<kt::WGAlertView>().size(), 2u);
  EXPECT_EQ(m_service.requestsTo("addsong.php").size(), 3u);
}

TEST_F(SearchMusicVCTest, TheClearButtonFollowsTheTypingAndCancelLeaves) {
  show(std::make_shared<ui::ViewController>());
  auto screen = std::make_shared<kt::SearchMusicVC>();
  m_nav->pushViewController(screen, false);
  render();
  auto on = [&] { return !screen->imgV_deleteText()->isHidden() && screen->btn_deleteText()->isEnabled(); };
  EXPECT_FALSE(on());
  tap(*screen->textF_search());
  type("月");
  EXPECT_TRUE(on());
  type("光");
  backspace();
  EXPECT_TRUE(on());
  backspace();  // the last character, of three bytes
  EXPECT_FALSE(on());
  type("ab");
  tap(*screen->btn_deleteText());
  EXPECT_EQ(screen->textF_search()->text(), "");
  EXPECT_TRUE(on());

  tap(*screen->btn_cancel());
  ASSERT_TRUE(runUntil([&] { return m_nav->viewControllers().size() == 1; }));
}

class SearchMusicVCFramesTest : public SearchMusicVCTest, public ::testing::WithParamInterface<Device> {};

TEST_P(SearchMusicVCFramesTest, BarHintAndTableSitWhereTheTabletSizeSays) {
  setDevice(GetParam());
  const bool large = GetParam() == Device::LargeTablet;
  auto pick = [large](gfx::Rect standard, gfx::Rect tablet) { return large ? tablet : standard; };
  auto screen = open();
  render();
  const std::pair<const ui::View*, gfx::Rect> frames[] = {
      {screen->imgV_searchBar().get(), pick({40, 29, 869, 36}, {53, 38, 1158, 48})},
      {screen->imgV_searchLogo().get(), pick({28, 7, 22, 22}, {37, 9, 29, 29})},
      {screen->textF_search().get(), pick({82, 3, 700, 30}, {109, 4, 933, 40})},
      {screen->imgV_deleteText().get(), pick({835, 9, 18, 18}, {1113, 12, 23, 24})},
      {screen->btn_deleteText().get(), pick({832, 6, 24, 24}, {1109, 8, 31, 32})},
      {screen->label_cancel().get(), pick({926, 25, 60, 44}, {1234, 33, 79, 58})},
      {screen->btn_cancel().get(), pick({926, 25, 60, 44}, {1234, 33, 79, 58})},
      {screen->tbView_data().get(), pick({0, 5, 1024, 680}, {0, 6, 1364, 907})},
      {screen->view_noHistory().get(), pick({0, 0, 1024, 360}, {0, 0, 1364, 480})},
      {findViewByText("请输入搜索的歌手、歌名").get(), pick({0, 50, 1024, 23}, {0, 66, 1364, 30})},
  };
  for (const auto& [view, r] : frames) {
    ASSERT_TRUE(view);
    expectRect(view->frame(), r.x(), r.y(), r.width(), r.height(), "frame");
  }
  screenshot("hint");

  storeHistory({"月光", "青鸟乐队"});
  m_nav.reset();
  screen = open();
  render();
  auto label = findViews<kt::WGLabelGradient>().at(0);
  EXPECT_EQ(label->center(), (large ? gfx::Point{682, 36} : gfx::Point{512, 27}));
  EXPECT_DOUBLE_EQ(screen->tbView_data()->rectForRowAtIndexPath(ui::IndexPath::forRow(1, 0)).y(), large ? 120 : 90);
  EXPECT_DOUBLE_EQ(screen->tbView_data()->rectForFooterInSection(0).height(), large ? 40 : 30);
  screenshot("history");

  // A stored text searched again, from the field.
  tap(*findViewByText("月光"));
  EXPECT_EQ(screen->textF_search()->text(), "月光");
  ASSERT_TRUE(answered(1));
  EXPECT_EQ(stored().size(), 2u);
  wait(0.5);
  EXPECT_DOUBLE_EQ(screen->tbView_data()->rectForRowAtIndexPath(ui::IndexPath::forRow(1, 0)).y(), large ? 136 : 102);
  EXPECT_DOUBLE_EQ(screen->tbView_data()->rectForFooterInSection(0).height(), 0);
  screenshot("results");
}

INSTANTIATE_TEST_SUITE_P(BothTablets, SearchMusicVCFramesTest,
                         ::testing::Values(Device::Standard, Device::LargeTablet));

// A guest with no keyboard but the one on the screen: the field, the letter keys, return.
class SearchMusicVCKeyboardTest : public SearchMusicVCTest, public ::testing::WithParamInterface<Device> {};

TEST_P(SearchMusicVCKeyboardTest, AGuestSearchesByTouchingTheKeys) {
  setDevice(GetParam());
  auto screen = open();
  wait(0.5);
  tap(*screen->textF_search());
  wait(0.3);
  ASSERT_TRUE(ui::Keyboard::shared().isVisible());
  for (const char* key : {"q", "n", "l", "x", "\b", "d"}) EXPECT_TRUE(tapKey(key)) << key;
  EXPECT_EQ(screen->textF_search()->text(), "qnld");
  screenshot("typed");
  EXPECT_TRUE(tapKey("\n"));
  ASSERT_TRUE(answered(1));
  EXPECT_EQ(searchLines(), (std::vector<std::string>{line("q=qnld", 1)}));
  EXPECT_EQ(screen->songRows().size(), m_service.search("qnld").size());
  // The search key ends the editing: the keyboard goes.
  EXPECT_FALSE(ui::Keyboard::shared().isVisible());
}

INSTANTIATE_TEST_SUITE_P(Tablets, SearchMusicVCKeyboardTest, ::testing::Values(Device::Standard, Device::LargeTablet));

}  // namespace
}  // namespace songs_test
