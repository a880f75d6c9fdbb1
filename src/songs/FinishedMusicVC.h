#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "songs/RoomSongsScreen.h"

namespace ui {
class ImageView;
}

namespace kt {

// The "已唱" screen: the songs already sung in the bound room. Every row's button, the first
// included, queues its song again. A pull-down reloads the list; there are no further pages and
// no button at the right of the bar. Reached only from the queue screen.
class FinishedMusicVC : public RoomSongsScreen {
 public:
  FinishedMusicVC();
  ~FinishedMusicVC() override;

  // The page counter: 1 (the sung list comes whole).
  int page_finish() const { return page(); }

  // The frame's table with its pull-down, then the remote-control picture and button.
  void setupMyView() override;
  // Queues that row's song again (rows out of range do nothing).
  void didSelectTheIndexOfSongs(int32_t index) override;

  const std::shared_ptr<ui::ImageView>& imgV_remote() const { return m_imgV_remote; }
  const std::shared_ptr<ui::Button>& btn_remoteControl() const { return m_btn_remoteControl; }

 protected:
  std::optional<CloudRequest> listRequest(int page) override;
  void pageFailed(int page) override;

 private:
  std::shared_ptr<ui::ImageView> m_imgV_remote;
  std::shared_ptr<ui::Button> m_btn_remoteControl;
};

}  // namespace kt
