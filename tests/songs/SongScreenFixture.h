#pragma once

// Song screens on the offscreen display against the stand-in cloud service: the five cloud hosts
// mapped to it, the screen at the root of a navigation controller in the key window, and every
// song screen name registered as a recording stand-in screen, so a test sees what was opened
// and with which parameters.

#include "app/HUDClass.h"
#include "app/ScreenSize.h"
#include "platform/core/Log.h"
#include "platform/core/UserDefaults.h"
#include "platform/net/HostMap.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/TableView.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "songs/AlertView_style1.h"
#include "songs/ChooseMusicModel.h"
#include "songs/SongScreens.h"
#include "support/RectExpectations.h"
#include "support/SessionsLetGo.h"
#include "support/UiHarness.h"
#include "venue/CloudService.h"
#include "widgets/feedback/AOProgressHUD.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace songs_test {

// A screen opened through the registry: its name and parameters.
class OpenedScreen : public ui::ViewController {
 public:
  OpenedScreen(std::string name, core::Value params) : name(std::move(name)), params(std::move(params)) {}
  std::string name;
  core::Value params;
};

class SongScreenFixture : public support::SessionsLetGoAtEnd, public support::ScreenTest {
 protected:
  static constexpr const char* kRoom = "8012";
  static constexpr const char* kUid = "1708012";  // the stand-in's binding id of room 8012

  void SetUp() override {
    ASSERT_TRUE(m_service.start());
    for (const std::string& host : venue::CloudService::hosts()) net::HostMap::set(host, 80, "127.0.0.1", m_service.port());
    registerStandIns();
    // The counts outlive the fixture: a line logged on another thread may still be on its way.
    m_previousSink = core::setLogSink([counts = m_counts](const std::string& line) { count(*counts, line); });
  }
  // Every song screen name as a recording stand-in (again after the real screens were registered).
  void registerStandIns() {
    for (const char* name : kNames) {
      kt::SongScreens::registerFactory(name, [this, name](const core::Value& params) {
        auto screen = std::make_shared<OpenedScreen>(name, params);
        m_opened.push_back(screen);
        return screen;
      });
    }
  }
  void TearDown() override {
    // A request is counted as it is logged, before it goes out: the service cannot have received
    // more. A count that went quiet fails here, also in a test that only compared counts.
    const size_t received = cloudRequestsReceived();
    EXPECT_LE(received, requestsSent()) << "cloud requests received that the client's log did not count";
    core::setLogSink(m_previousSink);
    m_nav.reset();
    window().setRootViewController(nullptr);
    support::drainMainLoop();
    for (const char* name : kNames) kt::SongScreens::registerFactory(name, nullptr);
    kt::AOProgressHUD::resetSharedView();
    net::HostMap::clear();
    m_service.stop();
  }

  static void bind(const std::string& uid = kUid) { core::UserDefaults::standard().setString("uid", uid); }

  // The screen at the root of a navigation controller in the window, laid out.
  template <class T>
  std::shared_ptr<T> show(std::shared_ptr<T> screen) {
    m_nav = std::make_shared<ui::NavigationController>(screen);
    window().setRootViewController(m_nav);
    render();
    return screen;
  }

  // Every request received so far has been answered.
  bool allAnswered() const { return m_service.waitForAnswers(m_service.requestCount(), 5); }
  // Runs the main loop for a moment of real time: for replies that must change nothing.
  void pump(double seconds = 0.3) { runUntil([] { return false; }, seconds); }
  // The cloud requests the client has sent, and the replies (or failures) it has taken in: it
  // logs each on the main thread as it sends the request and as it hands the reply to its
  // finish block.
  size_t requestsSent() const { return m_counts->sent; }
  size_t repliesTakenIn() const { return m_counts->takenIn; }
  // Runs the main loop until the client has taken in the reply of every request it has sent,
  // for a reply that changes nothing on screen. The wait is for at least one request: with none
  // seen (a log line that changed) it fails instead of ending at once.
  bool allTakenIn() {
    EXPECT_GT(requestsSent(), 0u) << "no cloud request seen in the log";
    return requestsSent() > 0 && sentTakenIn();
  }
  // The same for the requests sent so far, if any. The counts come from the log, so they are
  // checked against the service: by then it has received every request sent, and no other.
  bool sentTakenIn() {
    const bool takenIn = runUntil([&] { return repliesTakenIn() >= requestsSent(); });
    EXPECT_EQ(cloudRequestsReceived(), requestsSent()) << "cloud requests received, against those the log counted";
    return takenIn && cloudRequestsReceived() == requestsSent();
  }
  // The requests of the cloud interface the service has received: all but the pictures, banner
  // pages and clips, which the screens load by other means than WGHTTPRequest.
  size_t cloudRequestsReceived() const {
    size_t count = 0;
    for (const venue::RecordedRequest& request : m_service.requests()) {
      const std::string& e = request.endpoint;
      const bool load = e == "banner" || e == "page" || e == "SingerImage" || e == "images" ||
                        request.path.starts_with("/php/video/");
      if (!load) ++count;
    }
    return count;
  }
  // Runs until the progress overlay of the requests sent so far has gone: until their replies
  // have been taken in (they reach the main loop from the network thread in real time), then
  // while the overlay fades on the test clock.
  bool overlayGone() {
    wait(0);  // a show still queued runs first
    if (!sentTakenIn()) return false;
    for (int i = 0; i < 40 && kt::AOProgressHUD::isVisible(); ++i) wait(0.05);
    wait(0.5);  // the fade ends and the overlay leaves the window, taking touches no more
    return !kt::AOProgressHUD::isVisible();
  }

  // The message of the choice alert on screen, "" when there is none.
  std::string choiceMessage() const {
    auto alerts = findViews<kt::AlertView_style1>();
    return alerts.empty() ? "" : alerts.back()->label_msg()->text();
  }
  // The view's frame is `standard` on the 1024 x 768 screen, `large` on the 12.9-inch tablet.
  static void expectFrame(const ui::View& view, const gfx::Rect& standard, const gfx::Rect& large, const char* what) {
    const gfx::Rect want = kt::pick(standard, large);
    support::expectRect(view.frame(), want.x(), want.y(), want.width(), want.height(), what);
  }
  // The room's queue (3 songs at first) ends with the row's song, sent as the row shows it.
  void expectQueuedLast(const kt::ChooseMusicModel& row, size_t queueSize = 4) const {
    const std::vector<venue::QueuedSong> queue = m_service.roomState(kRoom).queue;
    ASSERT_EQ(queue.size(), queueSize);
    EXPECT_EQ(queue.back(), (venue::QueuedSong{row.string_musicNumber(), row.string_musicName(), row.string_musicSinger()}));
  }
  // The sing button of a row of the table, laid out; null when the row has no cell.
  std::shared_ptr<ui::Button> singButton(ui::TableView& table, int row) {
    render();
    auto cell = table.cellForRowAtIndexPath(ui::IndexPath::forRow(row, 0));
    for (const auto& view : cell ? cell->subviews() : std::vector<std::shared_ptr<ui::View>>{}) {
      if (auto button = std::dynamic_pointer_cast<ui::Button>(view)) return button;
    }
    return nullptr;
  }
  std::vector<std::string> openedNames() const {
    std::vector<std::string> names;
    for (const auto& s : m_opened) names.push_back(s->name);
    return names;
  }

  struct RequestCounts {
    std::atomic<size_t> sent{0};
    std::atomic<size_t> takenIn{0};
  };
  static void count(RequestCounts& counts, const std::string& line) {
    if (line.find("\n参数：") != std::string::npos) ++counts.sent;
    if (line.find("请求道的结果为:") != std::string::npos || line.find("]error:") != std::string::npos ||
        line.find("] error:") != std::string::npos)
      ++counts.takenIn;
  }
  // For a test that puts a log sink of its own in place for a while.
  void countRequestLine(const std::string& line) { count(*m_counts, line); }

  static constexpr const char* kNames[] = {
      kt::SongScreens::Favourites, kt::SongScreens::Chart,       kt::SongScreens::Singers,
      kt::SongScreens::Categories, kt::SongScreens::TitledList,  kt::SongScreens::BannerSongs,
      kt::SongScreens::BannerVideo, kt::SongScreens::BannerPage, kt::SongScreens::Queue,
      kt::SongScreens::Search,     kt::SongScreens::RemoteControl, kt::SongScreens::Binding,
      kt::SongScreens::SingersOfRegion};

  venue::CloudService m_service;
  std::shared_ptr<ui::NavigationController> m_nav;
  core::LogSink m_previousSink;
  std::shared_ptr<RequestCounts> m_counts = std::make_shared<RequestCounts>();
  std::vector<std::shared_ptr<OpenedScreen>> m_opened;
};

}  // namespace songs_test
