#include "order/GongGuanZhaoPianViewController.h"

#include "link/GongGuanList.h"
#include "link/MsgCodes.h"
#include "platform/core/Log.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/PopoverController.h"  // before the fixture, which uses it
#include "order/StaffScreenFixture.h"
#include "platform/ui/SegmentedControl.h"
#include "soap/WebServiceBinding.h"
#include "support/RectExpectations.h"
#include "widgets/controls/EffectLabel.h"
#include "widgets/controls/GridView.h"
#include "venue/Gate.h"
#include "widgets/feedback/ProgressOverlay.h"

namespace kt::order_test {
namespace {

using Photos = GongGuanZhaoPianViewController;

// The staff of the stand-in venue, in list order: 1001 小雪 (a.jpg, b.png, c.txt), 1002 娜娜,
// 1003 晓晓 (busy, no photos), 1004 婷婷 (P1.jpg, P2.JPG, notes.txt, P3.png; another room calls).
class GongGuanZhaoPianViewControllerTest : public StaffScreenFixture {
 protected:
  void SetUp() override {
    StaffScreenFixture::SetUp();
    web.setStaff(room.staff());
    core::UserDefaults::standard().setString("VedioIP", "10.0.0.9");
    core::UserDefaults::standard().setString("VedioName", "clips");
    m_previousSink = core::setLogSink([this](const std::string& line) { m_log.push_back(line); });
  }
  void TearDown() override {
    core::setLogSink(m_previousSink);
    StaffScreenFixture::TearDown();
  }

  // The photos of member `position` (on the grid's first page), opened from its cell.
  std::shared_ptr<Photos> open(int32_t position, bool settle = true) {
    openGrid();
    auto c = cell(position);
    if (!c) return nullptr;
    tap(*c->btnShowZhaoPian());
    auto* shown = grid->presentedViewController();
    auto photos = std::dynamic_pointer_cast<Photos>(shown ? shown->shared_from_this() : nullptr);
    if (!photos) return nullptr;
    // Its member is taken as it appears.
    EXPECT_TRUE(runUntil([&] { return photos->currentGongGuanObj() != nullptr; }));
    if (settle) this->settle(*photos);
    return photos;
  }
  void settle(Photos& photos) {
    EXPECT_TRUE(runUntil([&] {
      const auto& shelf = *photos.photoShelf();
      for (size_t i = 0; i < shelf.count(); ++i)
        if (!shelf.image(i)) return false;
      return !photos.isLoading();
    }));
    wait(0.5);
  }
  std::vector<venue::RecordedRequest> webRequests(const char* endpoint) const { return web.requestsTo(endpoint); }
  bool logged(const std::string& line) const { return std::find(m_log.begin(), m_log.end(), line) != m_log.end(); }

  std::vector<std::string> m_log;
  core::LogSink m_previousSink;
};

TEST_F(GongGuanZhaoPianViewControllerTest, PagesAreThePhotosWithLowerCaseJpgOrPngAndTheStripPicksThem) {
  auto photos = open(3);
  ASSERT_TRUE(photos);
  EXPECT_EQ(photos->lblYiMing()->text(), "婷婷");
  EXPECT_EQ(photos->btnHuJiao()->currentTitle(), "继续呼叫");
  EXPECT_EQ(photos->picNameAry(), (std::vector<std::string>{"P1.jpg", "P2.JPG", "notes.txt", "P3.png"}));
  ASSERT_EQ(photos->imageArray().size(), 2u);
  // Only the pages' times are read, then their photos, with those times.
  const auto times = webRequests("Flag=21");
  ASSERT_EQ(times.size(), 2u);
  EXPECT_EQ(times[0].param("id"), "1004/P1.jpg");
  EXPECT_EQ(times[1].param("id"), "1004/P3.png");
  const auto pictures = webRequests("Flag=12");
  ASSERT_EQ(pictures.size(), 2u);
  const int p3 = indexOf(pictures, [](const venue::RecordedRequest& r) { return r.param("id") == "1004/P3.png"; });
  ASSERT_GE(p3, 0);
  EXPECT_EQ(pictures[p3].param("time"), "2026-11-20 14:03:00");
  EXPECT_FALSE(photos->thumbnailPickerView()->isHidden());
  EXPECT_FALSE(photos->HUD());

  // Dragged up: pictures are sent, naming the photo of the page shown.
  photos->segmentedControl()->setSelectedSegmentIndex(1);
  photos->vedioSwitchAction();
  EXPECT_TRUE(logged("发送视频:\\\\10.0.0.9\\clips\\1004.mpg"));
  const gfx::Rect area = photos->scrollView()->frame();
  drag({area.midX(), area.midY()}, {area.midX(), area.midY() - 200}, 20);
  wait(0.5);
  EXPECT_EQ(photos->currentState(), Photos::PicState);
  EXPECT_EQ(photos->segmentedControl()->selectedSegmentIndex(), 0);
  EXPECT_TRUE(logged("关闭视频"));
  auto second = findViewByTag(ThumbStripView::ThumbnailTagBase + 1);
  ASSERT_TRUE(second);
  tap(*second);
  wait(0.5);
  EXPECT_EQ(photos->currentIndex(), 1);
  EXPECT_DOUBLE_EQ(photos->gmGridView()->contentOffset().x, photos->gmGridView()->frame().width());
  EXPECT_TRUE(logged("发送图片:http://127.0.0.1:" + std::to_string(web.port()) + "/GetPhoto.aspx?Flag=12&id=1004/P3.png"));
}

// A web port past 65535 went into the picture's address as it stood, an address no port can have.
// No address is sent then; the log names the setting.
TEST_F(GongGuanZhaoPianViewControllerTest, NoPictureIsSentWithAWebPortOutsideOneTo65535) {
  auto photos = open(3);
  ASSERT_TRUE(photos);
  core::UserDefaults::standard().setString("webService_Port", "70000");
  const gfx::Rect area = photos->scrollView()->frame();
  drag({area.midX(), area.midY()}, {area.midX(), area.midY() - 200}, 20);
  // The picture is sent as the drag's animation ends.
  ASSERT_TRUE(runUntil([&] { return photos->currentState() == Photos::PicState; }));
  EXPECT_TRUE(logged("发送图片失败: the setting webService_Port (70000) is not a port from 1 to 65535"));
  EXPECT_TRUE(std::none_of(m_log.begin(), m_log.end(),
                           [](const std::string& line) { return line.starts_with("发送图片:"); }));
}

TEST_F(GongGuanZhaoPianViewControllerTest, StepsThroughTheListWithinItsEnds) {
  auto photos = open(0);
  ASSERT_TRUE(photos);
  EXPECT_EQ(photos->imageArray().size(), 2u);
  photos->preGongGuan();
  ASSERT_EQ(visibleAlerts().size(), 1u);
  EXPECT_EQ(visibleAlerts()[0]->message(), Photos::FirstMemberMessage);
  tapAlertButton("确定");
  tap(*photos->btnNext());
  settle(*photos);
  EXPECT_EQ(photos->curPos(), 1);
  EXPECT_EQ(photos->lblYiMing()->text(), "娜娜");
  EXPECT_EQ(photos->imageArray().size(), 3u);  // 简介.doc and IMG_0042.JPG are no pages
  EXPECT_EQ(photos->currentIndex(), 0);

  photos->nextGongGuan();  // 晓晓 has no photos and is busy
  settle(*photos);
  ASSERT_EQ(visibleAlerts().size(), 1u);
  EXPECT_EQ(visibleAlerts()[0]->message(), "没找到 晓晓 相关照片");
  tapAlertButton("确定");
  wait(0.5);
  EXPECT_TRUE(photos->btnHuJiao()->isHidden());
  EXPECT_TRUE(photos->imageArray().empty());
  EXPECT_FALSE(photos->HUD());

  photos->setCurPos(static_cast<int32_t>(photos->gongGuanListArray().size() - 1));
  photos->nextGongGuan();
  ASSERT_EQ(visibleAlerts().size(), 1u);
  EXPECT_EQ(visibleAlerts()[0]->message(), Photos::LastMemberMessage);
}

TEST_F(GongGuanZhaoPianViewControllerTest, AMemberLeftWhileItsListIsReadGivesNoPages) {
  auto gate = std::make_shared<venue::Gate>();
  web.setFault("Flag=11", venue::Fault::heldBy(gate).only(1));
  auto photos = open(0, false);
  ASSERT_TRUE(photos);
  ASSERT_TRUE(gate->waitForArrived(1, 5));
  photos->nextGongGuan();
  // 小雪's list comes only once 娜娜's times have been read. Both members' times are read
  // (3 + 2); only 娜娜's pages are kept.
  ASSERT_TRUE(runUntil([&] { return webRequests("Flag=21").size() == 3; }));
  gate->open();
  ASSERT_TRUE(runUntil([&] { return webRequests("Flag=21").size() == 5; }));
  settle(*photos);
  EXPECT_EQ(photos->lblYiMing()->text(), "娜娜");
  EXPECT_EQ(photos->imageArray().size(), 3u);
  EXPECT_EQ(photos->picNameAry().size(), 5u);
}

TEST_F(GongGuanZhaoPianViewControllerTest, CallsAndCancelsTheMemberShown) {
  auto photos = open(0);
  ASSERT_TRUE(photos);
  EXPECT_EQ(SocketDataHandle::sharedInstance().delegate(), photos.get());
  tap(*photos->btnHuJiao());
  ASSERT_TRUE(waitForRequests(MsgGongGuanHuJiao, 1));
  EXPECT_EQ(sent(MsgGongGuanHuJiao).at(0), (std::vector<std::string>{"1001", kRoom, "", ""}));
  ASSERT_TRUE(runUntil([&] { return photos->btnHuJiao()->currentTitle() == "取消呼叫"; }));
  tap(*photos->btnHuJiao());
  ASSERT_EQ(visibleAlerts().size(), 1u);
  EXPECT_EQ(visibleAlerts()[0]->message(), Photos::CancelQuestion);
  tapAlertButton("取消");
  EXPECT_TRUE(requests(MsgCancelGongGuanHuJiao).empty());
  tap(*photos->btnHuJiao());
  tapAlertButton("确定");
  ASSERT_TRUE(waitForRequests(MsgCancelGongGuanHuJiao, 1));
  EXPECT_EQ(sent(MsgCancelGongGuanHuJiao).at(0), (std::vector<std::string>{"1001", kRoom, "", ""}));
  ASSERT_TRUE(runUntil([&] { return photos->btnHuJiao()->currentTitle() == "呼叫"; }));

  // At load: a binding of the venue web service, logging once a member is shown.
  ASSERT_TRUE(photos->binDing());
  EXPECT_EQ(photos->binDing()->address()->absoluteString(), "http://127.0.0.1/WebService.asmx");
  EXPECT_TRUE(photos->binDing()->logXMLInOut());
}

// While the room server holds the answer to a cancel, the button still reads "取消呼叫"; tapped
// again it asks nothing and sends nothing: a second cancel would be refused ("没有呼叫记录") and
// the refusal shown, though the first one went through.
TEST_F(GongGuanZhaoPianViewControllerTest, ACancelStillOutIsNotSentAgain) {
  auto photos = open(0);
  ASSERT_TRUE(photos);
  tap(*photos->btnHuJiao());
  ASSERT_TRUE(runUntil([&] { return photos->btnHuJiao()->currentTitle() == "取消呼叫"; }));
  auto gate = std::make_shared<venue::Gate>();
  room.holdAt(MsgCancelGongGuanHuJiao, gate);
  tap(*photos->btnHuJiao());
  ASSERT_TRUE(tapAlertButton("确定"));
  ASSERT_TRUE(gate->waitForArrived(1, 20));
  wait(0.5);
  ASSERT_EQ(photos->btnHuJiao()->currentTitle(), "取消呼叫");
  tap(*photos->btnHuJiao());
  EXPECT_FALSE(tapAlertButton("确定")) << "asked again";
  gate->open();
  ASSERT_TRUE(runUntil([&] { return photos->btnHuJiao()->currentTitle() == "呼叫"; }));
  // Called again: the room server answers in order, so a refusal of anything sent before would
  // be on screen once this call's answer is.
  tap(*photos->btnHuJiao());
  ASSERT_TRUE(waitForRequests(MsgGongGuanHuJiao, 2));
  ASSERT_TRUE(runUntil([&] { return photos->btnHuJiao()->currentTitle() == "取消呼叫"; }));
  EXPECT_EQ(requests(MsgCancelGongGuanHuJiao).size(), 1u);
  EXPECT_TRUE(visibleAlerts().empty()) << visibleAlerts().front()->message();
}

TEST_F(GongGuanZhaoPianViewControllerTest, AppearingAgainShowsThePhotosOnceAndAFailedTimeIsLeftEmpty) {
  web.setFault("Flag=21", venue::Fault::status(500).only(1));
  auto photos = open(0);
  ASSERT_TRUE(photos);
  const auto pictures = webRequests("Flag=12");
  const int first = indexOf(pictures, [](const venue::RecordedRequest& r) { return r.param("id") == "1001/a.jpg"; });
  ASSERT_GE(first, 0);
  EXPECT_EQ(pictures[first].param("time"), "");
  EXPECT_NE(pictures[first].query.find("&time=&width=960"), std::string::npos);
  auto cover = std::make_shared<ui::ViewController>();
  photos->presentViewController(cover, false);
  wait(0.5);
  photos->dismissViewControllerAnimated(false);
  wait(0.5);
  settle(*photos);
  EXPECT_EQ(webRequests("Flag=11").size(), 2u);
  EXPECT_EQ(photos->imageArray().size(), 2u);
  EXPECT_EQ(photos->photoShelf()->count(), 2u);
  EXPECT_EQ(photos->numberOfItemsInGridView(*photos->gmGridView()), 2);

  // Back: the position is kept for the grid, and the strip's reload timer finds no screen.
  photos->backAction();
  EXPECT_EQ(DataCenter::sharedInstance().gongGuanPos(), 0);
  wait(0.5);
  std::weak_ptr<Photos> gone = photos;
  photos.reset();
  grid.reset();
  nav.reset();
  window().setRootViewController(nullptr);
  support::drainMainLoop();
  EXPECT_TRUE(gone.expired());
  wait(Photos::ThumbReloadDelay + 0.5);
}

class GongGuanZhaoPianFramesTest : public GongGuanZhaoPianViewControllerTest,
                                   public ::testing::WithParamInterface<support::Device> {};

TEST_P(GongGuanZhaoPianFramesTest, TheSceneKeepsTheStandardGridOnBothTablets) {
  setDevice(GetParam());
  auto gate = std::make_shared<venue::Gate>();
  web.setFault("Flag=11", venue::Fault::heldBy(gate).only(1));
  auto photos = open(1, false);
  ASSERT_TRUE(photos);
  ASSERT_TRUE(runUntil([&] { return photos->HUD() && photos->HUD()->superview(); }));
  wait(0.4);
  // The names are read with a blocking GET that gives up after 10 s of real time: the reply goes
  // out before the (slow, on a busy machine) screenshot. It is taken in on the main loop only, which
  // the screenshot does not run, so the screen is still loading.
  gate->open();
  screenshot("loading");
  EXPECT_TRUE(photos->isLoading());
  settle(*photos);
  ASSERT_FALSE(photos->imageArray().empty()) << "the photo names did not come";
  struct Row {
    const char* what;
    const ui::View* view;
    gfx::Rect frame;
  };
  const auto photo = photos->imageArray().at(0);
  const Row rows[] = {
      {"photo area", photos->scrollView(), {0, 64, 988, 600}},
      {"strip", photos->thumbnailPickerView(), {62, 672, 900, 90}},
      {"name", photos->lblYiMing(), {240, 8, 250, 48}},
      {"call", photos->btnHuJiao(), {640, 12, 130, 40}},
      {"photo", photo.get(), {18, 10, Photos::ItemWidth, Photos::ItemHeight}},
  };
  for (const Row& r : rows)
    support::expectRect(r.view->frame(), r.frame.x(), r.frame.y(), r.frame.width(), r.frame.height(), r.what);
  EXPECT_EQ(photo->tag(), Photos::PhotoTag);
  wait(Photos::ThumbReloadDelay);
  EXPECT_TRUE(runUntil([&] {
    auto big = photos->thumbnailPickerView()->bigThumbnailImageView();
    return big && big->image();
  }));
  screenshot("photo");
}

INSTANTIATE_TEST_SUITE_P(Tablets, GongGuanZhaoPianFramesTest,
                         ::testing::Values(support::Device::Standard, support::Device::LargeTablet));

}  // namespace
}  // namespace kt::order_test
