#include "songs/AlreadyChooseVC.h"

#include "app/HUDClass.h"
#include "app/Toust.h"
#include "platform/core/Log.h"
#include "platform/gfx/Image.h"
#include "platform/ui/ImageView.h"
#include "songs/ChooseMusicModel.h"
#include "songs/CloudApi.h"
#include "songs/CloudReply.h"
#include "songs/SongScreens.h"
#include "songs/WGHTTPRequest.h"

namespace kt {
namespace {

SongScreenStyle queueStyle(SongScreenStyle s) {
  s.hideZeroBadge = true;
  s.remoteGuard = "请先绑定包房";
  return s;
}

}  // namespace

AlreadyChooseVC::AlreadyChooseVC()
    : RoomSongsScreen(queueStyle(roomListStyle("已选")), ChooseMusicModel::QueueKeys, "TopSongs") {}

AlreadyChooseVC::~AlreadyChooseVC() = default;

void AlreadyChooseVC::viewDidLoad() {
  SongScreen::viewDidLoad();
  // The bar button of the frame, showing and counting the sung songs instead of the queue.
  imgV_rightBar()->setImage(gfx::Image::named("AlreadySing"));
}

void AlreadyChooseVC::viewWillAppear(bool animated) {
  // Not the frame's: this screen's badge counts the sung songs, not the queue.
  BaseVC::viewWillAppear(animated);
  requestForAlreadyFinished();
}

void AlreadyChooseVC::requestForAlreadyFinished() {
  WGHTTPRequest::get(CloudApi::sungSongs(CloudApi::badgeUid()),
                     [alive = weakSelf<AlreadyChooseVC>()](const std::optional<std::string>&,
                                                           const std::optional<core::Value>& reply,
                                                           const std::optional<core::Error>&) {
                       auto screen = alive();
                       if (!screen || !CloudReply::isSuccess(reply)) return;
                       screen->setBadgeCount(CloudReply::count(reply, "list"));
                     });
}

void AlreadyChooseVC::rightBarButtonClick() {
  KT_LOG("已唱");
  SongScreens::open(navigationController(), SongScreens::SungSongs);
}

std::optional<CloudRequest> AlreadyChooseVC::listRequest(int /*page*/) { return CloudApi::queue(CloudApi::badgeUid()); }

void AlreadyChooseVC::pageFailed(int /*page*/) { showNotice("请绑定房台"); }

void AlreadyChooseVC::didSelectTheIndexOfSongs(int32_t index) {
  KT_LOG("选择了第%d首歌曲", index);
  // The first row is the song being sung: it stays where it is.
  if (index <= 0 || static_cast<size_t>(index) >= arr_data().size()) return;
  const std::string number = arr_data()[static_cast<size_t>(index)]->string_musicNumber();
  HUDClass::showHud();
  WGHTTPRequest::get(CloudApi::moveToTop(CloudApi::badgeUid(), number),
                     [alive = weakSelf<AlreadyChooseVC>(), index, number](const std::optional<std::string>&,
                                                                         const std::optional<core::Value>& reply,
                                                                         const std::optional<core::Error>&) {
                       auto screen = alive();
                       if (!screen) return;
                       HUDClass::dismissHud();
                       screen->moveToTopReplied(index, number, reply);
                     });
}

void AlreadyChooseVC::moveToTopReplied(int32_t index, const std::string& musicNumber,
                                       const std::optional<core::Value>& reply) {
  if (!CloudReply::isSuccess(reply)) {
    showNotice(reply ? CloudReply::text(reply, "msg") : std::string("操作失败,请稍后重试"));
    return;
  }
  Toust::showToustWithMessage("置顶成功");
  Rows& queue = rows();
  const size_t from = static_cast<size_t>(index);
  if (from < queue.size() && queue[from]->string_musicNumber() == musicNumber) {
    std::shared_ptr<ChooseMusicModel> song = queue[from];
    queue.erase(queue.begin() + static_cast<std::ptrdiff_t>(from));
    queue.insert(queue.begin() + 1, std::move(song));
    tbView_data()->reloadData();
    return;
  }
  // The rows changed while the request was out (a reload came first): moving a row here could
  // move another song, so the service's order is asked for instead.
  pullDown();
}

}  // namespace kt
