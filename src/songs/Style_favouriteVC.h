#pragma once

#include <optional>

#include "songs/SongScreen.h"

namespace kt {

// "最爱": the favourite songs the cloud service keeps for the bound room, page by page. The whole
// song screen frame (magnifier "Search", no separator). Opened only when bound, so adding a song
// asks for no binding; a binding id gone missing since is sent as "".
//
// A page that gets no reply keeps the rows shown: a failed request is not an empty favourites list.
class Style_favouriteVC : public SongScreen {
 public:
  Style_favouriteVC();
  ~Style_favouriteVC() override;

  // The page asked for next.
  int page_favourite() const { return page(); }

  void rightBarButtonClick() override;

 protected:
  std::optional<CloudRequest> listRequest(int page) override;
  std::optional<Rows> rowsOfReply(const std::optional<core::Value>& reply) override;
};

}  // namespace kt
