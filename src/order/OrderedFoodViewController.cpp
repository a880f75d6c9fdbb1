#include "order/OrderedFoodViewController.h"

#include <cstdio>

#include "app/AlertViewQX.h"
#include "app/ColorHexadecimal.h"
#include "app/DataCenter.h"
#include "link/OKFolioObject.h"
#include "link/OKSelectFoodObject.h"
#include "link/RoomRequests.h"
#include "link/ServerNetworkCenter.h"
#include "order/OrderParsing.h"
#include "order/OrderScenery.h"
#include "order/RoomInfoBarView.h"
#include "platform/core/Log.h"
#include "platform/core/Timer.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Layer.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationController.h"
#include "widgets/controls/EffectLabel.h"
#include "widgets/feedback/AOIndefiniteAnimatedView.h"

namespace kt {

namespace {

std::string format2f(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

enum class LineKind { PackageContent, Free, Ordinary };

LineKind kindOf(const OKFolioObject& line) {
  if (textIs(line.Flag(), "N") && textIs(line.IfPackChild(), "1")) return LineKind::PackageContent;
  if (textIs(line.Flag(), "F")) return LineKind::Free;
  return LineKind::Ordinary;
}

// After a failed attempt the link is tried again after the decoder's pause, once at a time,
// unless another screen that takes connection changes holds the decoder by then.
void retryLinkLater(core::WeakPtr<SocketDataHandleDelegate> screen) {
  static std::weak_ptr<core::Timer> pending;
  if (auto timer = pending.lock(); timer && timer->isValid()) return;
  pending = core::Timer::scheduled(SocketDataHandle::kRetryDelay, false, [screen](core::Timer&) {
    SocketDataHandleDelegate* current = SocketDataHandle::sharedInstance().delegate();
    if (current && current->serverConnect && current != screen.get()) return;
    ServerNetworkCenter::sharedInstance().initConnect();
  });
}

std::shared_ptr<EffectLabel> cellLabel(ui::View& parent, const gfx::Rect& frame, bool left = false) {
  auto label = OrderScenery::caption(parent, frame, "", 17, left);
  label->setFont(gfx::Font::systemFont(17));
  return label;
}

}  // namespace

// ---- OrderFoodCell ----

OrderFoodCell::OrderFoodCell() : ui::TableViewCell(ui::TableViewCellStyle::Default, Identifier) {
  setBackgroundColor(gfx::Color::clear());
  setSelectionStyle(ui::TableViewCellSelectionStyle::None);
  ui::View& content = *contentView();
  m_lblFoodName = cellLabel(content, {20, 0, 320, RowHeight}, true);
  m_lblFoodNum = cellLabel(content, {340, 0, 120, RowHeight});
  m_lblFoodUntiPrice = cellLabel(content, {460, 0, 140, RowHeight});
  m_lblFoodState = cellLabel(content, {600, 0, 170, RowHeight});
  m_lblFoodTotalPrice = cellLabel(content, {770, 0, 120, RowHeight});
  m_lblFoodTotalPrice->setTextColor(ColorHexadecimal::colorWithHexString("ffcc4d").value_or(gfx::Color::whiteColor()));
  m_btnDelete = OrderScenery::button(content, {900, 10, 64, 36}, "删除", "b3323a");
}

// ---- OrderedFoodViewController ----

OrderedFoodViewController::OrderedFoodViewController() {
  shouldAutorotateToInterfaceOrientation = OrderScenery::landscapeOnly;
  socketDataHandleDidRoomStateAndInfo = [this] {
    if (m_roomInfobar) m_roomInfobar->fillFromDataCenter();
  };
  socketDataHandleDidConfirmInputFood = [this](const Text& message) { orderAnswered(message); };
  // Taking connection changes means reopening a lost link here (the decoder leaves it to us).
  serverConnect = [this](SocketDataHandle&, bool connected) { linkChanged(connected); };
}

OrderedFoodViewController::~OrderedFoodViewController() {
  clearPopoverDelegate();
  if (m_tblView) {
    m_tblView->setDataSource(nullptr);
    m_tblView->setDelegate(nullptr);
  }
}

void OrderedFoodViewController::viewDidLoad() {
  ui::ViewController::viewDidLoad();
  m_roomInfobar = OrderScenery::darkSceneWithRoomBar(*view(), 19);
  buildScene();
  calcAmount();
  showOrderState();
  m_linkWasUp = ServerNetworkCenter::sharedInstance().isConnect();
  SocketDataHandle::sharedInstance().setDelegate(this);
}

void OrderedFoodViewController::buildScene() {
  ui::View& root = *view();
  // Behind everything but the room bar: the basket's panel.
  m_selectedBG = ui::ImageView::create(gfx::Rect{10, 120, 1004, 540});
  m_selectedBG->setBackgroundColor(ColorHexadecimal::colorWithHexString("0d111b"));
  m_selectedBG->layer()->setCornerRadius(10);
  root.insertSubview(m_selectedBG, 0);
  OrderScenery::caption(root, {520, 44, 480, 44}, "已点菜品", 28, true);

  m_BGLan = ui::ImageView::create(gfx::Rect{20, 128, 984, 40});
  m_BGLan->setBackgroundColor(ColorHexadecimal::colorWithHexString("1c2333"));
  root.addSubview(m_BGLan);
  m_productName = OrderScenery::caption(*m_BGLan, {20, 0, 320, 40}, "品名", 18, true);
  m_productCount = OrderScenery::caption(*m_BGLan, {340, 0, 120, 40}, "数量", 18);
  m_unitPrice = OrderScenery::caption(*m_BGLan, {460, 0, 140, 40}, "单价", 18);
  m_productState = OrderScenery::caption(*m_BGLan, {600, 0, 170, 40}, "状态", 18);
  m_totalPrice = OrderScenery::caption(*m_BGLan, {770, 0, 120, 40}, "金额", 18);

  m_tblView = ui::TableView::create(gfx::Rect{20, 170, 984, 480});
  m_tblView->setBackgroundColor(gfx::Color::clear());
  m_tblView->setRowHeight(OrderFoodCell::RowHeight);
  m_tblView->setSeparatorColor(ColorHexadecimal::colorWithHexString("2a3347").value_or(gfx::Color::darkGray()));
  m_tblView->registerClass(OrderFoodCell::Identifier, [] { return std::make_shared<OrderFoodCell>(); });
  m_tblView->setDataSource(this);
  m_tblView->setDelegate(this);
  root.addSubview(m_tblView);

  m_totalQuantity = OrderScenery::caption(root, {30, 672, 100, 48}, "总数量：", 20, true);
  m_lblQuantity = ui::Label::create(gfx::Rect{130, 672, 90, 48});
  m_lblQuantity->setFont(gfx::Font::boldSystemFont(24));
  m_lblQuantity->setTextColor(gfx::Color::whiteColor());
  root.addSubview(m_lblQuantity);
  m_totalAmount = OrderScenery::caption(root, {230, 672, 100, 48}, "总金额：", 20, true);
  m_lblAmount = OrderScenery::caption(root, {330, 672, 190, 48}, "", 26, true);
  m_lblAmount->setTextColor(ColorHexadecimal::colorWithHexString("ffcc4d").value_or(gfx::Color::whiteColor()));

  const auto weak = weak_from_this();
  const auto action = [weak](void (*fn)(OrderedFoodViewController&, ui::Control&)) {
    return [weak, fn](ui::Control& sender, const ui::Event*) {
      if (auto alive = std::dynamic_pointer_cast<OrderedFoodViewController>(weak.lock())) fn(*alive, sender);
    };
  };
  m_btnBack = OrderScenery::button(root, {560, 668, 130, 56}, "返回菜单", "3a4660");
  m_btnBack->addTarget(this, action([](OrderedFoodViewController& s, ui::Control&) { s.backAction(); }),
                       ui::ControlEventTouchUpInside);
  m_btnDelete = OrderScenery::button(root, {710, 668, 130, 56}, "全部删除", "7a2a30");
  m_btnDelete->addTarget(this, action([](OrderedFoodViewController& s, ui::Control&) { s.DeleteAllFoodAction(); }),
                         ui::ControlEventTouchUpInside);
  m_btnConfirm = OrderScenery::button(root, {860, 668, 144, 56}, "确认下单", "c8801e");
  m_btnConfirm->addTarget(
      this, action([](OrderedFoodViewController& s, ui::Control& b) { s.confirmOrderAction(b); }),
      ui::ControlEventTouchUpInside);

  // The order on its way: a spinner and its text under the title, right of the room bar. The
  // spinner turns for as long as it is in the view, so it is there only while an order is out.
  auto spinner = AOIndefiniteAnimatedView::create();
  spinner->setRadius(10);
  spinner->setStrokeThickness(2);
  spinner->setStrokeColor(ColorHexadecimal::colorWithHexString("ffcc4d").value_or(gfx::Color::whiteColor()));
  spinner->setFrame({724, 84, 32, 32});
  m_orderOutSpinner = spinner;
  m_orderOutLabel = OrderScenery::caption(root, {760, 84, 244, 32}, OrderOutText, 17, true);
  m_orderOutLabel->setHidden(true);
}

void OrderedFoodViewController::viewDidAppear(bool animated) {
  ui::ViewController::viewDidAppear(animated);
  showOrderState();
  showOrderNotice();
  RoomRequests::send(RoomRequests::roomStateAndInfo());
}

void OrderedFoodViewController::viewDidUnload() {
  if (m_tblView) {
    m_tblView->setDataSource(nullptr);
    m_tblView->setDelegate(nullptr);
  }
  m_tblView.reset();
  m_lblAmount.reset();
  m_lblQuantity.reset();
  m_btnConfirm.reset();
}

std::shared_ptr<OKSelectFoodObject> OrderedFoodViewController::basket() const {
  return SocketDataHandle::sharedInstance().getTmpSelectFood();
}

// ---- Totals and rows ----

void OrderedFoodViewController::calcAmount() {
  int32_t quantity = 0;
  // In double precision: the shown text is what the order sends.
  double amount = 0;
  if (auto record = basket()) {
    for (const auto& line : record->foodSetArray()) {
      if (!line || textIs(line->Flag(), "F")) continue;
      const int32_t count = intValueOf(line->Quantity());
      quantity = static_cast<int32_t>(static_cast<uint32_t>(quantity) + static_cast<uint32_t>(count));
      amount += doubleValueOf(line->Price()) * count;
    }
  }
  const std::string amountText = format2f(amount);
  if (m_lblAmount) m_lblAmount->setText(amountText);
  if (m_lblQuantity) m_lblQuantity->setText(std::to_string(quantity));
  DataCenter::sharedInstance().setWillPayedMoney(amountText);
}

int OrderedFoodViewController::numberOfRowsInSection(ui::TableView&, int) {
  auto record = basket();
  return record ? static_cast<int>(record->foodSetArray().size()) : 0;
}

std::shared_ptr<ui::TableViewCell> OrderedFoodViewController::cellForRowAtIndexPath(ui::TableView& tableView,
                                                                                   const ui::IndexPath& indexPath) {
  auto cell = std::dynamic_pointer_cast<OrderFoodCell>(
      tableView.dequeueReusableCellWithIdentifier(OrderFoodCell::Identifier, indexPath));
  auto record = basket();
  if (!cell || !record || indexPath.row < 0 ||
      static_cast<size_t>(indexPath.row) >= record->foodSetArray().size())
    return cell;
  const std::shared_ptr<OKFolioObject> line = record->foodSetArray()[static_cast<size_t>(indexPath.row)];
  ui::Button& remove = *cell->btnDelete();
  remove.setTag(indexPath.row);
  if (!line) return cell;
  cell->lblFoodName()->setText(textOf(line->FoodName()));
  cell->lblFoodUntiPrice()->setText(textOf(line->Price()));
  cell->lblFoodNum()->setText(textOf(line->Quantity()));
  cell->lblFoodTotalPrice()->setText(format2f(doubleValueOf(line->Price()) * intValueOf(line->Quantity())));
  remove.setHidden(false);
  switch (kindOf(*line)) {
    case LineKind::PackageContent:
      cell->lblFoodState()->setText(PackageContentText);
      remove.setHidden(true);
      break;
    case LineKind::Free:
      cell->lblFoodState()->setText(FreeLineText);
      remove.setHidden(true);
      break;
    case LineKind::Ordinary:
      cell->lblFoodState()->setText(OrderFoodCell::DefaultStateText);
      break;
  }
  // One action per cell, replaced on reuse.
  remove.removeTarget(this);
  remove.addTarget(this, [weak = weak_from_this()](ui::Control& sender, const ui::Event*) {
    if (auto alive = std::dynamic_pointer_cast<OrderedFoodViewController>(weak.lock())) alive->deleteSelect(sender);
  }, ui::ControlEventTouchUpInside);
  return cell;
}

// ---- Deleting ----

void OrderedFoodViewController::deleteSelect(const ui::Control& sender) {
  auto record = basket();
  if (!record) return;
  FolioList& lines = record->foodSetArray();
  const int tag = sender.tag();
  if (tag < 0 || static_cast<size_t>(tag) >= lines.size() || !lines[static_cast<size_t>(tag)]) return;
  const std::shared_ptr<OKFolioObject> line = lines[static_cast<size_t>(tag)];
  const auto removeLine = [&lines](const std::shared_ptr<OKFolioObject>& gone) {
    std::erase(lines, gone);
  };
  const FolioList copy = lines;
  for (const auto& other : copy) {
    if (!other) continue;
    if (textIs(line->IfPack(), "1")) {
      if (textOf(other->ParentFoodNo()) == textOf(line->FoodNo())) removeLine(other);
    } else if (!textOf(line->GroupID()).empty() && textOf(other->GroupID()) == textOf(line->GroupID())) {
      removeLine(other);
    }
  }
  removeLine(line);
  calcAmount();
  if (m_tblView) m_tblView->reloadData();
}

void OrderedFoodViewController::DeleteAllFoodAction() {
  if (auto record = basket()) record->foodSetArray().clear();
  calcAmount();
  if (m_tblView) m_tblView->reloadData();
}

// ---- Placing the order ----

void OrderedFoodViewController::confirmOrderAction(ui::Control& sender) {
  if (auto record = basket(); record && record->isOrderOut()) {
    // The basket is on its way already: it never goes out twice.
    showOrderState();
    return;
  }
  if (!ServerNetworkCenter::sharedInstance().getConnected()) {
    setMsg(NotConnectedMessage)->show();
    return;
  }
  auto record = basket();
  if (!record || record->foodSetArray().empty()) {
    setMsg(EmptyBasketMessage)->show();
    return;
  }
  sender.setEnabled(false);
  auto pad = CustomDialogView::create();
  pad->title()->setText(PasswordTitle);
  pad->setDelegate(this);
  pad->show();
  m_pad = pad;
}

void OrderedFoodViewController::customAlertViewClick(int, bool isOk, const std::string& sInput) {
  auto record = basket();
  if (!isOk || sInput.empty() || !record || record->isOrderOut() || record->foodSetArray().empty()) {
    // Nothing goes out: the guest may try again (once an order out has its answer).
    showOrderState();
    return;
  }
  if (!ServerNetworkCenter::sharedInstance().getConnected()) {
    // The link went while the pad was open: the request would be dropped unseen.
    setMsg(NotConnectedMessage)->show();
    showOrderState();
    return;
  }
  const Text amountText = m_lblAmount ? Text(m_lblAmount->text()) : Text();
  // Marked before it is written, so that a link lost in the write itself ends it too.
  record->setOrderOut(record->foodSetArray());
  RoomRequests::send(RoomRequests::confirmInputFood(sInput, amountText, record->foodSetArray()));
  showOrderState();
}

void OrderedFoodViewController::customIOS7dialogButtonTouchUpInside(CustomDialogView&, int) {}

void OrderedFoodViewController::orderAnswered(const Text& message) {
  showOrderState();
  calcAmount();
  if (m_tblView) m_tblView->reloadData();
  if (message && message->empty()) {
    // Accepted: the decoder has taken the order's lines out of the basket.
    backAction();
    return;
  }
  // A refusal keeps the basket and the screen; shown here, it is no longer news for a next visit.
  if (auto record = basket()) record->takeOrderNotice();
  setMsg(message ? *message : std::string("提交失败"))->show();
}

void OrderedFoodViewController::linkChanged(bool connected) {
  const bool wasUp = m_linkWasUp;
  m_linkWasUp = connected;
  // No reply can come on a lost link: the decoder has ended an order that was out, and the guest
  // is told to look at the bill before ordering again.
  showOrderState();
  showOrderNotice();
  if (connected) return;
  if (wasUp) {
    ServerNetworkCenter::sharedInstance().initConnect();
  } else {
    retryLinkLater(SocketDataHandleDelegate::weakPtr());
  }
}

void OrderedFoodViewController::showOrderState() {
  auto record = basket();
  const bool out = record && record->isOrderOut();
  if (m_btnConfirm) m_btnConfirm->setEnabled(!out);
  if (m_orderOutLabel) m_orderOutLabel->setHidden(!out);
  if (!m_orderOutSpinner || !isViewLoaded()) return;
  if (out && !m_orderOutSpinner->superview()) {
    view()->addSubview(m_orderOutSpinner);
  } else if (!out && m_orderOutSpinner->superview()) {
    m_orderOutSpinner->removeFromSuperview();
  }
}

void OrderedFoodViewController::showOrderNotice() {
  if (!isViewLoaded() || !view()->window()) return;
  auto record = basket();
  if (!record) return;
  if (std::optional<std::string> notice = record->takeOrderNotice()) {
    calcAmount();
    if (m_tblView) m_tblView->reloadData();
    setMsg(*notice)->show();
  }
}

void OrderedFoodViewController::backAction() {
  if (ui::NavigationController* nav = navigationController()) nav->popViewControllerAnimated(true);
}

bool OrderedFoodViewController::popoverControllerShouldDismissPopover(ui::PopoverController&) { return false; }

}  // namespace kt
