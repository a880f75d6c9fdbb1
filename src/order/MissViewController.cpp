#include "order/MissViewController.h"

#include <cmath>
#include <cstdio>

#include "app/DataCenter.h"
#include "app/URLQX.h"
#include "imagecache/ICWebImageManager.h"
#include "imagecache/ImageViewWebCache.h"
#include "link/CancelGongGuanHuJiao.h"
#include "link/GongGuanHuJiao.h"
#include "link/GongGuanList.h"
#include "link/MsgCodes.h"
#include "link/RoomRequests.h"
#include "order/GongGuanZhaoPianViewController.h"
#include "order/MissGridViewCell.h"
#include "order/OrderParsing.h"
#include "order/OrderScenery.h"
#include "order/PendingStaffRequests.h"
#include "order/SangWuYuYuePopViewController.h"
#include "platform/core/Log.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/StoryboardSegue.h"
#include "widgets/controls/EffectLabel.h"
#include "widgets/controls/GridView.h"
#include "widgets/controls/GridViewLayoutStrategyFactory.h"

namespace kt {

namespace {

// One row of four cells fits this area of the 1024 x 768 scene.
const gfx::Rect kScrollViewFrame{12, 118, 1000, 470};
// The paging animation: 0.5 s after 0.15 s, with the options the scene has always used.
constexpr double kPageDuration = 0.5;
constexpr double kPageDelay = 0.15;
constexpr unsigned kPageOptions = 0x300000;
// The head image is asked for at this size.
constexpr double kHeadWidth = 135;
constexpr double kHeadHeight = 169;

std::string waitingText(const GongGuanList& member) { return "等候(" + textOf(member.CallCount()) + ")"; }

}  // namespace

MissViewController::MissViewController() {
  shouldAutorotateToInterfaceOrientation = OrderScenery::landscapeOnly;
  socketDataHandleDidGongGuanList = [this](GongGuanListArray list) { didGongGuanList(std::move(list)); };
  socketDataHandleDidGongGuanHuJiao = [this](std::shared_ptr<GongGuanHuJiao> result) {
    if (result) didCallOrCancel(result->ErrorCode());
  };
  socketDataHandleDidCancelGongGuanHuJiao = [this](std::shared_ptr<CancelGongGuanHuJiao> result) {
    if (result) didCallOrCancel(result->ErrorCode());
  };
  canDeleteItemAtIndex = [](GridView&, int64_t) { return false; };
}

MissViewController::~MissViewController() {
  clearPopoverDelegate();
  if (auto alert = m_cancelAlert.lock(); alert && alert->delegate() == this) alert->setDelegate(nullptr);
  if (auto grid = m_gmGridView.lock()) {
    grid->setDelegate(nullptr);
    grid->setDataSource(nullptr);
  }
}

void MissViewController::viewDidLoad() {
  ui::ViewController::viewDidLoad();
  DataCenter::sharedInstance().setGongGuanPos(0);
  buildScene();

  m_gmGridView = OrderScenery::pagedGrid(*m_scrollView, 35, this, this);
}

void MissViewController::buildScene() {
  ui::View& root = *view();
  root.setBackgroundColor(gfx::Color::black());
  const auto weak = weak_from_this();
  const auto on = [weak](void (*fn)(MissViewController&)) {
    return [weak, fn](ui::Control&, const ui::Event*) {
      if (auto alive = std::dynamic_pointer_cast<MissViewController>(weak.lock())) fn(*alive);
    };
  };

  // The venue marks beside the title; no code changes them.
  m_logo = ui::ImageView::create(gfx::Rect{370, 44, 25, 24});
  m_logo->setImage(gfx::Image::named("RecommondLogo"));
  root.addSubview(m_logo);
  m_logo2 = ui::ImageView::create(gfx::Rect{629, 44, 25, 24});
  m_logo2->setImage(gfx::Image::named("RecommondLogo"));
  root.addSubview(m_logo2);
  OrderScenery::caption(root, {402, 34, 220, 44}, "佳丽风采", 28);

  m_backButton = OrderScenery::button(root, {20, 32, 110, 48}, "返回", "3a4660");
  m_backButton->addTarget(this, on([](MissViewController& s) { s.goBackAction(); }), ui::ControlEventTouchUpInside);

  m_scrollView = std::make_shared<ui::ScrollView>(kScrollViewFrame);
  m_scrollView->setBackgroundColor(gfx::Color::clear());
  root.addSubview(m_scrollView);

  // The pager along the bottom: previous, "current / total", next.
  m_upButton = OrderScenery::button(root, {312, 628, 130, 52}, "上一页", "3a4660");
  m_upButton->addTarget(this, on([](MissViewController& s) { s.upPageAction(); }), ui::ControlEventTouchUpInside);
  m_lblCurrentPage = OrderScenery::caption(root, {452, 632, 50, 44}, "1", 26);
  m_lblCurrentPage->setTextAlignment(gfx::TextAlignment::Right);
  OrderScenery::caption(root, {502, 632, 20, 44}, "/", 26);
  m_lblTotalPage = OrderScenery::caption(root, {522, 632, 50, 44}, "0", 26, true);
  m_nextButton = OrderScenery::button(root, {582, 628, 130, 52}, "下一页", "3a4660");
  m_nextButton->addTarget(this, on([](MissViewController& s) { s.nextPageAction(); }),
                          ui::ControlEventTouchUpInside);
}

void MissViewController::viewDidAppear(bool animated) {
  ui::ViewController::viewDidAppear(animated);
  takeReplies();
  RoomRequests::send(RoomRequests::gongGuanList());
}

void MissViewController::viewDidUnload() {
  if (auto grid = m_gmGridView.lock()) {
    grid->setDelegate(nullptr);
    grid->setDataSource(nullptr);
  }
  m_gmGridView.reset();
  m_scrollView.reset();
  m_lblCurrentPage.reset();
  m_lblTotalPage.reset();
  m_logo.reset();
  m_logo2.reset();
  m_gongGuanListArray.clear();
  ui::ViewController::viewDidUnload();
}

void MissViewController::takeReplies() { SocketDataHandle::sharedInstance().setDelegate(this); }

void MissViewController::goBackAction() {
  // Opened modally it is dismissed; pushed (as the menu opens it) it leaves the stack, since a
  // dismissal would leave the guest on this screen.
  if (presentingViewController()) {
    dismissViewControllerAnimated(true);
    return;
  }
  if (ui::NavigationController* nav = navigationController();
      nav && nav->viewControllers().size() > 1 && nav->topViewController() == this) {
    nav->popViewControllerAnimated(true);
  }
}

// ---- The grid ----

int64_t MissViewController::numberOfItemsInGridView(GridView&) {
  return static_cast<int64_t>(m_gongGuanListArray.size());
}

gfx::Size MissViewController::sizeForItemsInInterfaceOrientation(GridView&, ui::InterfaceOrientation) {
  return MissGridViewCell::CellSize;
}

namespace {

std::shared_ptr<MissGridViewCell> reusedOrNew(GridView& grid) {
  if (auto cell = std::dynamic_pointer_cast<MissGridViewCell>(grid.dequeueReusableCell())) return cell;
  if (auto cell = MissGridViewCell::initWithXib()) return cell;
  return MissGridViewCell::create({{0, 0}, MissGridViewCell::CellSize});
}

}  // namespace

std::shared_ptr<GridViewCell> MissViewController::cellForItemAtIndex(GridView& grid, int64_t index) {
  auto cell = reusedOrNew(grid);
  const std::shared_ptr<GongGuanList> member = memberAt(index);
  auto action = cell->btnHuJiao();
  auto photos = cell->btnShowZhaoPian();
  auto name = cell->lblYiMing();
  auto province = cell->lblJiGuan();
  auto state = cell->lblZhuangTai();
  if (!member || !action || !photos || !name || !province || !state) return cell;

  name->setText(textOf(member->YiMing()));
  province->setText(textOf(member->ShengFen()));
  // Any other state leaves what the cell showed before.
  if (textIs(member->State(), "0")) {
    state->setText("空闲");
    action->setTitle("呼叫");
  } else if (textIs(member->State(), "1")) {
    state->setText("繁忙");
    action->setTitle("商务预约");
  } else if (textIs(member->State(), "2")) {
    state->setText(waitingText(*member));
    action->setTitle("继续呼叫");
  } else if (textIs(member->State(), "3")) {
    state->setText(waitingText(*member));
    action->setTitle("取消呼叫");
  }

  const auto weak = weak_from_this();
  action->setTag(static_cast<int>(index) + ActionTagBase);
  action->removeTarget(this);
  action->addTarget(this, [weak](ui::Control& sender, const ui::Event*) {
    auto alive = std::dynamic_pointer_cast<MissViewController>(weak.lock());
    if (auto* button = dynamic_cast<ui::Button*>(&sender); alive && button) alive->btnhujiaoClicked(*button);
  }, ui::ControlEventTouchUpInside);
  photos->setTag(static_cast<int>(index));
  photos->removeTarget(this);
  photos->addTarget(this, [weak](ui::Control& sender, const ui::Event*) {
    if (auto alive = std::dynamic_pointer_cast<MissViewController>(weak.lock())) alive->showZhaoPian(sender);
  }, ui::ControlEventTouchUpInside);

  ImageViewWebCache::ic_setImageWithURL(
      cell->imgGongGuanZhaoPian(),
      URLQX::getGongGuanHeadImageUrl(textOf(member->YuanGongBianHao()), kHeadWidth, kHeadHeight), nullptr,
      ICWebImageLoadRetryFailed);
  return cell;
}

std::shared_ptr<GongGuanList> MissViewController::memberAt(int64_t index) const {
  if (index < 0 || static_cast<uint64_t>(index) >= m_gongGuanListArray.size()) return nullptr;
  return m_gongGuanListArray[static_cast<size_t>(index)];
}

// ---- Actions ----

void MissViewController::showZhaoPian(const ui::Control& sender) {
  // A head image left from an older list opens nothing.
  if (!memberAt(sender.tag())) return;
  m_curPos = sender.tag();
  performSegueWithIdentifier(ShowGongGuanZhaoPian, this);
}

void MissViewController::btnhujiaoClicked(ui::Button& sender) {
  takeReplies();
  // The list may have been replaced since the cell was filled: only a member of the current list
  // is acted on.
  std::shared_ptr<GongGuanList> member = memberAt(static_cast<int64_t>(sender.tag()) - ActionTagBase);
  if (!member) return;
  m_tmpGongGuan = member;
  if (textIs(member->State(), "1")) {
    m_currentBtn = std::static_pointer_cast<ui::Button>(sender.shared_from_this());
    performSegueWithIdentifier(ShowSangWuYuYue, this);
  } else if (textIs(member->State(), "0") || textIs(member->State(), "2")) {
    RoomRequests::send(RoomRequests::gongGuanHuJiao(member->DangAnID()));
  } else if (textIs(member->State(), "3")) {
    // The list still shows the call while a cancel of it is out: a second cancel would be
    // refused, and the refusal shown, though the first one went through.
    if (PendingStaffRequests::shared().isOut(MsgCancelGongGuanHuJiao, member->DangAnID())) return;
    auto alert = ui::AlertView::create("提示", CancelCallMessage, this, std::string("取消"), {"确定"});
    alert->setTag(CancelCallAlertTag);
    alert->show();
    m_cancelAlert = alert;
  }
}

void MissViewController::clickedButtonAtIndex(ui::AlertView& alertView, int buttonIndex) {
  if (alertView.tag() != CancelCallAlertTag || buttonIndex != 1 || !m_tmpGongGuan) return;
  PendingStaffRequests& pending = PendingStaffRequests::shared();
  if (pending.isOut(MsgCancelGongGuanHuJiao, m_tmpGongGuan->DangAnID())) return;
  pending.send(RoomRequests::cancelGongGuanHuJiao(m_tmpGongGuan->DangAnID()), m_tmpGongGuan->DangAnID());
}

// ---- Replies ----

void MissViewController::didGongGuanList(GongGuanListArray list) {
  m_gongGuanListArray = std::move(list);
  auto grid = m_gmGridView.lock();
  if (grid) grid->reloadData();
  const size_t count = m_gongGuanListArray.size();
  const auto pages = static_cast<unsigned>((count + ItemsPerPage - 1) / ItemsPerPage);
  char text[16];
  std::snprintf(text, sizeof text, "%u", pages);
  if (m_lblTotalPage) m_lblTotalPage->setText(text);
  // Compared unsigned: a negative position never qualifies.
  const int32_t pos = DataCenter::sharedInstance().gongGuanPos();
  if (grid && count > static_cast<uint32_t>(pos)) {
    const gfx::Point offset = grid->contentOffset();
    grid->contentOffset(gfx::Point{grid->frame().width() * static_cast<double>(pos / ItemsPerPage), offset.y});
  }
}

void MissViewController::didCallOrCancel(const Text& errorCode) {
  if (!textIs(errorCode, "0")) return;
  // The first member of the page on show, so the new list opens on that page whenever it still
  // has one.
  const int32_t page = m_lblCurrentPage ? intValueOf(m_lblCurrentPage->text()) : 1;
  DataCenter::sharedInstance().setGongGuanPos((page - 1) * ItemsPerPage);
  RoomRequests::send(RoomRequests::gongGuanList());
}

// ---- Paging ----

void MissViewController::scrollViewDidScroll(ui::ScrollView& scrollView) { showCurrentPage(scrollView); }

void MissViewController::showCurrentPage(const ui::ScrollView& scrollView) {
  const double width = scrollView.frame().width();
  if (!(width > 0) || !m_lblCurrentPage) return;
  const double n = std::floor((scrollView.contentOffset().x - width / 2) / width) + 1;
  if (!std::isfinite(n)) return;
  m_lblCurrentPage->setText(std::to_string(static_cast<int>(n) + 1));
}

void MissViewController::nextPageAction() {
  if (!m_lblTotalPage || !m_lblCurrentPage) return;
  if (intValueOf(m_lblTotalPage->text()) > intValueOf(m_lblCurrentPage->text())) page(+1);
}

void MissViewController::upPageAction() {
  if (!m_lblCurrentPage) return;
  if (intValueOf(m_lblCurrentPage->text()) >= 2) page(-1);
}

void MissViewController::page(int direction) {
  auto grid = m_gmGridView.lock();
  if (!grid) return;
  const std::weak_ptr<GridView> weakGrid = grid;
  const auto weak = weak_from_this();
  ui::View::animate(
      kPageDuration, kPageDelay, kPageOptions,
      [weakGrid, direction] {
        if (auto g = weakGrid.lock()) {
          const gfx::Point offset = g->contentOffset();
          g->contentOffset(gfx::Point{offset.x + direction * g->frame().width(), offset.y});
        }
      },
      [weak, weakGrid](bool finished) {
        auto alive = std::dynamic_pointer_cast<MissViewController>(weak.lock());
        auto g = weakGrid.lock();
        if (finished && alive && g) alive->showCurrentPage(*g);
      });
}

// ---- Segues ----

void MissViewController::prepareForSegue(ui::StoryboardSegue& segue, ui::Responder*) {
  if (segue.identifier() == ShowSangWuYuYue) {
    if (auto popover = std::dynamic_pointer_cast<SangWuYuYuePopViewController>(segue.destinationViewController()))
      popover->setCurrentGongGuanObj(m_tmpGongGuan);
  } else if (segue.identifier() == ShowGongGuanZhaoPian) {
    if (auto* photos = dynamic_cast<GongGuanZhaoPianViewController*>(segue.destinationViewController().get())) {
      photos->setGongGuanListArray(m_gongGuanListArray);
      photos->setCurPos(m_curPos);
    }
  }
}

}  // namespace kt
