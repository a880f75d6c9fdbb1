#include "songs/Style_hotVC.h"

#include "songs/CloudApi.h"

namespace kt {
namespace {

SongScreenStyle chartStyle() {
  SongScreenStyle style;
  style.title = "最热";
  style.background = "SuperStarsBg";
  return style;
}

}  // namespace

Style_hotVC::Style_hotVC() : SongScreen(chartStyle()) {}

Style_hotVC::~Style_hotVC() = default;

// The frame's default reading applies: the "list" of a decoded reply (none is an empty page), the
// singer cut to its first name.
std::optional<CloudRequest> Style_hotVC::listRequest(int page) { return CloudApi::chart(page); }

}  // namespace kt
