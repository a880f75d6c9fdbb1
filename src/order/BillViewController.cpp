#include "order/BillViewController.h"

#include <cstdio>

#include "app/ColorHexadecimal.h"
#include "app/DataCenter.h"
#include "link/MsgCodes.h"
#include "link/OKFolioObject.h"
#include "link/RoomReplies.h"
#include "link/RoomRequests.h"
#include "order/OrderParsing.h"
#include "order/OrderScenery.h"
#include "order/RoomInfoBarView.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Layer.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Nib.h"
#include "widgets/controls/EffectLabel.h"

namespace kt {

namespace {

// The columns of a bill row, shared by the table's headings: x and width on the table.
struct Column {
  double x, width;
};
constexpr Column kName{16, 290};
constexpr Column kPrice{306, 200};
constexpr Column kFlag{506, 90};
constexpr Column kAmount{596, 130};
constexpr Column kClerk{746, 100};
constexpr Column kDate{846, 130};

gfx::Color lightText() { return ColorHexadecimal::colorWithHexString("dfebff").value_or(gfx::Color::whiteColor()); }
gfx::Color gold() { return ColorHexadecimal::colorWithHexString("ffcc4d").value_or(gfx::Color::whiteColor()); }

std::shared_ptr<ui::Label> rowLabel(ui::View& parent, Column column, gfx::TextAlignment alignment) {
  auto label = ui::Label::create(gfx::Rect{column.x, 0, column.width, BillTableViewCell::CellSize.height});
  label->setFont(gfx::Font::systemFont(17));
  label->setTextColor(lightText());
  label->setTextAlignment(alignment);
  parent.addSubview(label);
  return label;
}

std::shared_ptr<EffectLabel> rowEffectLabel(ui::View& parent, Column column, double size) {
  auto label = EffectLabel::create(gfx::Rect{column.x, 0, column.width, BillTableViewCell::CellSize.height});
  label->setFont(gfx::Font::systemFont(size));
  label->setTextColor(ColorHexadecimal::colorWithHexString("9fb3d1").value_or(gfx::Color::lightGray()));
  label->setTextAlignment(gfx::TextAlignment::Center);
  parent.addSubview(label);
  return label;
}

}  // namespace

// ---- BillTableViewCell ----

BillTableViewCell::BillTableViewCell() : ui::TableViewCell(ui::TableViewCellStyle::Default, ReuseIdentifier) {
  setFrame(gfx::Rect{{0, 0}, CellSize});
  setBackgroundColor(gfx::Color::clear());
  setSelectionStyle(ui::TableViewCellSelectionStyle::None);
  ui::View& content = *contentView();
  // A faint band under each row, inset from the table's edges.
  m_imgcellBg = ui::ImageView::create(gfx::Rect{4, 3, CellSize.width - 8, CellSize.height - 6});
  m_imgcellBg->setBackgroundColor(gfx::Color::rgba(0.11, 0.13, 0.2, 0.9));
  m_imgcellBg->layer()->setCornerRadius(6);
  content.addSubview(m_imgcellBg);
  m_lblName = rowLabel(content, kName, gfx::TextAlignment::Left);
  m_lblPrice = rowLabel(content, kPrice, gfx::TextAlignment::Center);
  m_lblFlag = rowLabel(content, kFlag, gfx::TextAlignment::Center);
  m_lblAmount = rowLabel(content, kAmount, gfx::TextAlignment::Right);
  m_lblAmount->setFont(gfx::Font::boldSystemFont(17));
  m_lblAmount->setTextColor(gold());
  m_lblLuoDanRwn = rowEffectLabel(content, kClerk, 15);
  m_lblDate = rowEffectLabel(content, kDate, 13);
  m_lblDate->setNumberOfLines(2);
}

void BillTableViewCell::registerNib() {
  ui::Nib::registerNib(NibName, [](ui::Responder*) { return ui::Nib::Objects{std::make_shared<BillTableViewCell>()}; });
}

void BillTableViewCell::showLine(const OKFolioObject& line) {
  const std::string name = textOf(line.FoodName());
  m_lblName->setText(textIs(line.IfPackChild(), "1") ? "    " + name : name);
  // The price as its leading decimal number; the amount in single precision, as the venue shows it.
  const float price = floatValueOf(line.Price());
  const std::string quantity = textOf(line.Quantity());
  const std::string monad = textOf(line.Monad());
  if (price != 0) {
    m_lblPrice->setText(textOf(line.Price()) + " * " + quantity + " " + monad);
    const float amount = price * static_cast<float>(intValueOf(line.Quantity()));
    char text[64];
    std::snprintf(text, sizeof text, "%8.1f", static_cast<double>(amount));
    m_lblAmount->setText(text);
  } else {
    m_lblPrice->setText(quantity + " " + monad);
    m_lblAmount->setText("");
  }
  if (textIs(line.Flag(), "N")) m_lblFlag->setText(OrderedText);
  else if (textIs(line.Flag(), "F")) m_lblFlag->setText(FreeText);
  else m_lblFlag->setText("");
  m_lblLuoDanRwn->setText(textOf(line.InputClerk()));
  m_lblDate->setText(textOf(line.InputTime()));
}

// ---- BillViewController ----

BillViewController::BillViewController() {
  shouldAutorotateToInterfaceOrientation = OrderScenery::landscapeOnly;
  socketDataHandleDidRoomStateAndInfo = [this] {
    if (m_roomInfobar) m_roomInfobar->fillFromDataCenter();
  };
}

BillViewController::~BillViewController() {
  m_busObservation.reset();
  if (m_tvMain) {
    m_tvMain->setDataSource(nullptr);
    m_tvMain->setDelegate(nullptr);
  }
}

void BillViewController::viewDidLoad() {
  ui::ViewController::viewDidLoad();
  m_roomInfobar = OrderScenery::darkSceneWithRoomBar(*view(), 19);
  buildScene();
  // The bill comes straight off the bus, from now until the screen goes.
  m_busObservation = core::Observation(core::NotificationCenter::defaultCenter(), kDataCenterNotification, nullptr,
                                       [this](const core::Notification& n) { didReceiveDataFromSocket(n); });
  RoomRequests::send(RoomRequests::folio());
}

void BillViewController::buildScene() {
  ui::View& root = *view();
  // Behind everything but the room bar: the bill's panel.
  m_billBGImageView = ui::ImageView::create(gfx::Rect{10, 120, 1004, 560});
  m_billBGImageView->setBackgroundColor(ColorHexadecimal::colorWithHexString("0d111b"));
  m_billBGImageView->layer()->setCornerRadius(10);
  root.insertSubview(m_billBGImageView, 0);
  OrderScenery::caption(root, {520, 44, 480, 44}, "消费账单", 28, true);

  // The six figures in two rows of three: caption, then value.
  const auto figure = [&root](double x, double y, const char* text, std::shared_ptr<EffectLabel>& caption) {
    caption = OrderScenery::caption(root, {x, y, 104, 40}, text, 18, true);
    auto value = OrderScenery::caption(root, {x + 104, y, 200, 40}, "", 20, true);
    value->setTextColor(gfx::Color::whiteColor());
    return value;
  };
  m_lblReserveClerk = figure(30, 132, "订房人：", m_reserveClerkLbl);
  m_lblCheckInTime = figure(354, 132, "开房时间：", m_checkInTimeLbl);
  m_lblLowLimitMoney = figure(690, 132, "最低消费：", m_lowLimitMoneyLbl);
  m_lblFoodMoney = figure(30, 176, "消费金额：", m_foodMoneyLbl);
  m_lblZheHouJinE = figure(354, 176, "折后金额：", m_zheHouJinELbl);
  m_lblOverLowLimit = figure(690, 176, "超出低消：", m_overLowLimitLbl);
  for (EffectLabel* money : {m_lblFoodMoney.get(), m_lblZheHouJinE.get(), m_lblOverLowLimit.get()})
    money->setTextColor(gold());

  // The table's headings, on the columns of the rows.
  m_billHeader = ui::ImageView::create(gfx::Rect{20, 226, 984, 40});
  m_billHeader->setBackgroundColor(ColorHexadecimal::colorWithHexString("1c2333"));
  m_billHeader->layer()->setCornerRadius(6);
  root.addSubview(m_billHeader);
  const struct {
    Column column;
    const char* text;
    std::shared_ptr<EffectLabel>& label;
  } headings[] = {{kName, "品名", m_productName},     {kPrice, "单价 * 数量", m_unitPriceAndCount},
                  {kFlag, "状态", m_productState},    {kAmount, "金额", m_unitPrice},
                  {kClerk, "落单人", m_fillPerson},   {kDate, "落单时间", m_fillTime}};
  for (const auto& h : headings) {
    h.label = OrderScenery::caption(*m_billHeader, {h.column.x, 0, h.column.width, 40}, h.text, 17,
                                    h.column.x == kName.x);
    if (h.column.x == kAmount.x) h.label->setTextAlignment(gfx::TextAlignment::Right);
  }

  m_tvMain = ui::TableView::create(gfx::Rect{20, 268, 984, 404});
  m_tvMain->setBackgroundColor(gfx::Color::clear());
  m_tvMain->setRowHeight(BillTableViewCell::CellSize.height);
  m_tvMain->setSeparatorStyle(ui::TableViewCellSeparatorStyle::None);
  m_tvMain->setDataSource(this);
  m_tvMain->setDelegate(this);
  root.addSubview(m_tvMain);

  m_backBtn = OrderScenery::button(root, {860, 692, 144, 56}, "返回", "3a4660");
  m_backBtn->addTarget(this, [weak = weak_from_this()](ui::Control&, const ui::Event*) {
    if (auto alive = std::dynamic_pointer_cast<BillViewController>(weak.lock())) alive->backAction();
  }, ui::ControlEventTouchUpInside);
}

void BillViewController::viewDidAppear(bool animated) {
  ui::ViewController::viewDidAppear(animated);
  // Taken before asking, so that the answer refreshes this screen's bar.
  SocketDataHandle::sharedInstance().setDelegate(this);
  RoomRequests::send(RoomRequests::roomStateAndInfo());
}

void BillViewController::viewDidUnload() {
  m_lblReserveClerk.reset();
  m_lblCheckInTime.reset();
  m_lblLowLimitMoney.reset();
  m_lblFoodMoney.reset();
  m_lblZheHouJinE.reset();
  m_lblOverLowLimit.reset();
  if (m_tvMain) {
    m_tvMain->setDataSource(nullptr);
    m_tvMain->setDelegate(nullptr);
  }
  m_tvMain.reset();
  ui::ViewController::viewDidUnload();
}

void BillViewController::backAction() {
  if (ui::NavigationController* nav = navigationController()) nav->popViewControllerAnimated(true);
}

// ---- The bill reply ----

void BillViewController::didReceiveDataFromSocket(const core::Notification& notification) {
  if (notification.userInfo[kBusCodeKey].stringValue() != kBusCodeTcpMessage) return;
  readFolio(notification.userInfo[kBusDetailKey].stringValue());
}

void BillViewController::readFolio(const std::string& detail) {
  const ReplyParts parts = RoomReplies::split(detail);
  if (RoomReplies::code(parts) != MsgFolio) return;
  // Without its result and message the reply says nothing.
  if (parts.size() < 4) return;
  RoomReplies::FolioReply reply = RoomReplies::folio(parts);
  if (reply.failed) {
    ui::AlertView::create(FailureTitle, textOf(reply.message), nullptr, std::string(ConfirmTitle))->show();
    return;
  }
  // A short reply sets the figures it holds and leaves the others as they are.
  const auto show = [](const std::shared_ptr<EffectLabel>& label, const Text& value) {
    if (label && value) label->setText(*value);
  };
  show(m_lblReserveClerk, reply.bookingClerk);
  show(m_lblCheckInTime, reply.checkInTime);
  show(m_lblLowLimitMoney, reply.minimumCharge);
  show(m_lblFoodMoney, reply.foodAmount);
  show(m_lblZheHouJinE, reply.discountedAmount);
  show(m_lblOverLowLimit, reply.overMinimum);
  m_selectedFoods = std::make_shared<std::vector<std::shared_ptr<OKFolioObject>>>(std::move(reply.lines));
  if (m_tvMain) m_tvMain->reloadData();
}

// ---- The table ----

int BillViewController::numberOfRowsInSection(ui::TableView&, int) {
  return m_selectedFoods ? static_cast<int>(m_selectedFoods->size()) : 0;
}

std::shared_ptr<ui::TableViewCell> BillViewController::cellForRowAtIndexPath(ui::TableView& tableView,
                                                                             const ui::IndexPath& indexPath) {
  auto cell = std::dynamic_pointer_cast<BillTableViewCell>(
      tableView.dequeueReusableCellWithIdentifier(BillTableViewCell::ReuseIdentifier));
  if (!cell) {
    const ui::Nib::Objects objects = ui::Nib::load(BillTableViewCell::NibName, this);
    if (!objects.empty()) cell = std::dynamic_pointer_cast<BillTableViewCell>(objects.front());
    if (!cell) cell = std::make_shared<BillTableViewCell>();
  }
  if (m_selectedFoods && indexPath.row >= 0 && static_cast<size_t>(indexPath.row) < m_selectedFoods->size()) {
    if (const auto& line = (*m_selectedFoods)[static_cast<size_t>(indexPath.row)]) cell->showLine(*line);
  }
  return cell;
}

}  // namespace kt
