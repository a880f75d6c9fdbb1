#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "songs/RoomSongsScreen.h"

namespace kt {

// The "已选" screen: the bound room's queue, the song being sung first. Every other row's button
// moves its song up to directly behind the first row. The button at the right of the bar opens
// the sung songs, with a badge counting them that is asked for on every appearance. A pull-down
// reloads the queue; there are no further pages.
class AlreadyChooseVC : public RoomSongsScreen {
 public:
  AlreadyChooseVC();
  ~AlreadyChooseVC() override;

  // The page counter: 1 (the queue comes whole).
  int page_already() const { return page(); }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;

  // The sung-songs badge: hidden for none, else their number.
  void requestForAlreadyFinished();
  // Opens the sung songs screen.
  void rightBarButtonClick() override;
  // Moves that row's song to directly behind the first row (the first row and rows out of
  // range do nothing).
  void didSelectTheIndexOfSongs(int32_t index) override;

 protected:
  std::optional<CloudRequest> listRequest(int page) override;
  void pageFailed(int page) override;

 private:
  void moveToTopReplied(int32_t index, const std::string& musicNumber, const std::optional<core::Value>& reply);
};

}  // namespace kt
