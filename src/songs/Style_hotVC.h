#pragma once

#include <optional>

#include "songs/SongScreen.h"

namespace kt {

// "最热": the song chart, page by page, each row with a sing button. The whole song screen frame:
// queue button with its badge, search bar, remote button, pull-down and pull-up. Opens whether or
// not the tablet is bound; adding a song, the queue and the remote ask for a binding.
class Style_hotVC : public SongScreen {
 public:
  Style_hotVC();
  ~Style_hotVC() override;

  // The chart page asked for next.
  int page_hot() const { return page(); }

 protected:
  std::optional<CloudRequest> listRequest(int page) override;
};

}  // namespace kt
