#include "songs/StarsSecondVC.h"

#include "app/APPFont.h"
#include "platform/ui/TableView.h"
#include "songs/ChooseMusicModel.h"
#include "songs/CloudApi.h"
#include "songs/CloudReply.h"
#include "songs/SongCellParts.h"
#include "songs/SongScreens.h"
#include "songs/StarsListCell.h"
#include "songs/StarsListModel.h"

namespace kt {
namespace {

SongScreenStyle regionStyle() {
  SongScreenStyle style;
  style.background = "SuperStarsBg";
  style.searchBarRaised = true;
  style.separator = false;
  style.remoteButton = false;
  return style;
}

// The frame pages song rows; a singer travels through its paging inside one of them.
class SingerRow final : public ChooseMusicModel {
 public:
  explicit SingerRow(std::shared_ptr<StarsListModel> singer)
      : ChooseMusicModel(core::Value(core::Value::Dictionary{})), m_singer(std::move(singer)) {}
  const std::shared_ptr<StarsListModel>& singer() const { return m_singer; }

 private:
  std::shared_ptr<StarsListModel> m_singer;
};

}  // namespace

StarsSecondVC::StarsSecondVC() : SongScreen(regionStyle()) {}

StarsSecondVC::~StarsSecondVC() = default;

void StarsSecondVC::viewDidLoad() {
  SongScreen::viewDidLoad();
  setNavTitle(m_string_navTitle, gfx::Color::whiteColor(), APPFont::getSysFont_Size44());
}

std::optional<CloudRequest> StarsSecondVC::listRequest(int page) {
  return CloudApi::singersOfRegion(m_string_navTitle, page);
}

std::optional<SongScreen::Rows> StarsSecondVC::rowsOfReply(const std::optional<core::Value>& reply) {
  if (!reply) return std::nullopt;
  Rows rows;
  // A missing "data" is an empty page.
  for (const core::Value& item : CloudReply::rows(reply, "data")) {
    if (!CloudReply::filledText(item, "singername")) continue;
    rows.push_back(std::make_shared<SingerRow>(StarsListModel::modelWithReplyItem(item)));
  }
  return rows;
}

std::shared_ptr<StarsListModel> StarsSecondVC::singerAt(int row) const {
  if (row < 0 || static_cast<size_t>(row) >= arr_data().size()) return nullptr;
  auto singerRow = std::dynamic_pointer_cast<SingerRow>(arr_data()[static_cast<size_t>(row)]);
  return singerRow ? singerRow->singer() : nullptr;
}

int StarsSecondVC::numberOfRowsInSection(ui::TableView& /*tableView*/, int /*section*/) {
  return static_cast<int>(arr_data().size());
}

std::shared_ptr<ui::TableViewCell> StarsSecondVC::cellForRowAtIndexPath(ui::TableView& tableView,
                                                                        const ui::IndexPath& indexPath) {
  auto cell = SongCellParts::reusableCell<StarsListCell>(tableView);
  if (auto singer = singerAt(indexPath.row)) cell->setupMyCell(*singer);
  return cell;
}

std::optional<double> StarsSecondVC::heightForRowAtIndexPath(ui::TableView& /*tableView*/,
                                                             const ui::IndexPath& /*indexPath*/) {
  return StarsListCell::rowHeight();
}

void StarsSecondVC::didSelectRowAtIndexPath(ui::TableView& /*tableView*/, const ui::IndexPath& indexPath) {
  auto singer = singerAt(indexPath.row);
  if (!singer) return;
  SongScreens::openTitledList(navigationController(), singer->string_singerName(), "SuperStarsBg");
}

}  // namespace kt
