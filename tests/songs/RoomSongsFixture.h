#pragma once

// The queue and sung songs screens against the stand-in: the bound room's lists set on the
// stand-in from its catalogue, the sung songs screen's name registered as a recording stand-in
// screen, and the row cells of a screen's table.

#include "app/WGAlertView.h"
#include "songs/ChooseMusicModel.h"
#include "songs/SearchMusicCell.h"
#include "songs/SongScreen.h"
#include "songs/SongScreenFixture.h"

namespace songs_test {

class RoomSongsFixture : public SongScreenFixture {
 protected:
  void SetUp() override {
    SongScreenFixture::SetUp();
    kt::SongScreens::registerFactory(kt::SongScreens::SungSongs, [this](const core::Value& params) {
      auto screen = std::make_shared<OpenedScreen>(kt::SongScreens::SungSongs, params);
      m_opened.push_back(screen);
      return screen;
    });
  }
  void TearDown() override {
    SongScreenFixture::TearDown();
    kt::SongScreens::registerFactory(kt::SongScreens::SungSongs, nullptr);
  }

  // `count` catalogue songs from `first`; the duets at the catalogue's end hold two singers.
  std::vector<venue::QueuedSong> songs(size_t first, size_t count) const {
    std::vector<venue::QueuedSong> out;
    for (size_t i = first; i < first + count; ++i) {
      const venue::CloudSong& s = m_service.songs().at(i);
      out.push_back({s.number, s.title, s.singer});
    }
    return out;
  }
  void setRoom(std::vector<venue::QueuedSong> queue, std::vector<venue::QueuedSong> sung) {
    venue::RoomState state = m_service.roomState(kRoom);
    state.queue = std::move(queue);
    state.sung = std::move(sung);
    m_service.setRoomState(kRoom, std::move(state));
  }
  std::vector<std::string> numbers(const std::vector<venue::QueuedSong>& list) const {
    std::vector<std::string> out;
    for (const auto& s : list) out.push_back(s.number);
    return out;
  }
  std::vector<std::string> numbers(const kt::SongScreen& screen) const {
    std::vector<std::string> out;
    for (const auto& row : screen.arr_data()) out.push_back(row->string_musicNumber());
    return out;
  }
  std::vector<std::string> lines(const std::string& endpoint) const {
    std::vector<std::string> out;
    for (const auto& r : m_service.requestsTo(endpoint)) out.push_back(r.line());
    return out;
  }
  std::shared_ptr<kt::SearchMusicCell> cell(kt::SongScreen& screen, int row) {
    render();
    return std::dynamic_pointer_cast<kt::SearchMusicCell>(
        screen.tbView_data()->cellForRowAtIndexPath(ui::IndexPath::forRow(row, 0)));
  }
  void closeAlerts() {
    for (const auto& alert : findViews<kt::WGAlertView>()) alert->dismissss();
    for (const auto& alert : findViews<kt::AlertView_style1>()) alert->dismissss();
    wait(0.5);
  }
  // A screen's first list in, and its overlay gone.
  template <class T>
  std::shared_ptr<T> showLoaded(std::shared_ptr<T> screen, size_t rows) {
    show(screen);
    EXPECT_TRUE(runUntil([&] { return screen->arr_data().size() == rows && allAnswered(); }));
    wait(0.5);
    return screen;
  }
};

}  // namespace songs_test
