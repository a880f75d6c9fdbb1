#pragma once

#include <memory>
#include <string>
#include <vector>

#include "link/SocketDataHandle.h"
#include "platform/core/NotificationCenter.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TableViewCell.h"
#include "platform/ui/ViewController.h"

namespace ui {
class Button;
class ImageView;
class Label;
}  // namespace ui

namespace kt {

class EffectLabel;
class OKFolioObject;
class RoomInfoBarView;

// One row of the room bill: name (indented for a package's content), price and quantity, the
// ordered or free mark, the amount, who entered the line and when. The cell is the nib
// "BillTableViewCell" (built in code), reused under the same name.
class BillTableViewCell : public ui::TableViewCell {
 public:
  static constexpr const char* NibName = "BillTableViewCell";
  static constexpr const char* ReuseIdentifier = "BillTableViewCell";
  static constexpr gfx::Size CellSize{984, 46};
  static constexpr const char* OrderedText = "点单";
  static constexpr const char* FreeText = "赠送";

  BillTableViewCell();

  // Registers the nib (done by the ordering storyboard's registration).
  static void registerNib();

  // Shows one bill line.
  void showLine(const OKFolioObject& line);

  ui::Label* lblName() const { return m_lblName.get(); }
  ui::Label* lblFlag() const { return m_lblFlag.get(); }
  ui::Label* lblPrice() const { return m_lblPrice.get(); }
  ui::Label* lblAmount() const { return m_lblAmount.get(); }
  EffectLabel* lblLuoDanRwn() const { return m_lblLuoDanRwn.get(); }
  EffectLabel* lblDate() const { return m_lblDate.get(); }
  ui::ImageView* imgcellBg() const { return m_imgcellBg.get(); }

 private:
  std::shared_ptr<ui::Label> m_lblName;
  std::shared_ptr<ui::Label> m_lblFlag;
  std::shared_ptr<ui::Label> m_lblPrice;
  std::shared_ptr<ui::Label> m_lblAmount;
  std::shared_ptr<EffectLabel> m_lblLuoDanRwn;
  std::shared_ptr<EffectLabel> m_lblDate;
  std::shared_ptr<ui::ImageView> m_imgcellBg;
};

// The room's running bill: six header figures and one row per bill line, asked for once per
// load (109) and read from the link's event bus directly (the decoder leaves 109 alone). It takes
// the decoder when it appears, so that the room state it asks for then (119) refreshes its bar.
// A failure reply is shown and changes nothing; a reply too short to hold the result is ignored.
class BillViewController : public ui::ViewController,
                           public SocketDataHandleDelegate,
                           private ui::TableViewDataSource,
                           private ui::TableViewDelegate {
 public:
  static constexpr const char* FailureTitle = "提示信息";
  static constexpr const char* ConfirmTitle = "确定";
  // Where the bill lines start in the reply, and the parts of one line.
  static constexpr size_t LineStart = 27;
  static constexpr size_t LineParts = 16;

  BillViewController();
  ~BillViewController() override;

  void viewDidLoad() override;
  void viewDidAppear(bool animated) override;
  void viewDidUnload() override;

  void backAction();
  // One notification of the link's event bus: only a received 109 reply is read.
  void didReceiveDataFromSocket(const core::Notification& notification);

  // The bill lines of the last good reply, in reply order; null before the first.
  const std::shared_ptr<std::vector<std::shared_ptr<OKFolioObject>>>& selectedFoods() const { return m_selectedFoods; }

  RoomInfoBarView* roomInfobar() const { return m_roomInfobar.get(); }
  EffectLabel* lblReserveClerk() const { return m_lblReserveClerk.get(); }
  EffectLabel* lblCheckInTime() const { return m_lblCheckInTime.get(); }
  EffectLabel* lblLowLimitMoney() const { return m_lblLowLimitMoney.get(); }
  EffectLabel* lblFoodMoney() const { return m_lblFoodMoney.get(); }
  EffectLabel* lblZheHouJinE() const { return m_lblZheHouJinE.get(); }
  EffectLabel* lblOverLowLimit() const { return m_lblOverLowLimit.get(); }
  ui::TableView* tvMain() const { return m_tvMain.get(); }
  ui::Button* backBtn() const { return m_backBtn.get(); }
  ui::ImageView* billHeader() const { return m_billHeader.get(); }
  ui::ImageView* billBGImageView() const { return m_billBGImageView.get(); }
  // The captions of the six figures.
  EffectLabel* reserveClerkLbl() const { return m_reserveClerkLbl.get(); }
  EffectLabel* checkInTimeLbl() const { return m_checkInTimeLbl.get(); }
  EffectLabel* lowLimitMoneyLbl() const { return m_lowLimitMoneyLbl.get(); }
  EffectLabel* foodMoneyLbl() const { return m_foodMoneyLbl.get(); }
  EffectLabel* zheHouJinELbl() const { return m_zheHouJinELbl.get(); }
  EffectLabel* overLowLimitLbl() const { return m_overLowLimitLbl.get(); }
  // The column headings of the lines: name, price and quantity, amount, state, who entered the
  // line and when.
  EffectLabel* productName() const { return m_productName.get(); }
  EffectLabel* unitPriceAndCount() const { return m_unitPriceAndCount.get(); }
  EffectLabel* unitPrice() const { return m_unitPrice.get(); }
  EffectLabel* productState() const { return m_productState.get(); }
  EffectLabel* fillPerson() const { return m_fillPerson.get(); }
  EffectLabel* fillTime() const { return m_fillTime.get(); }

 private:
  int numberOfRowsInSection(ui::TableView& tableView, int section) override;
  std::shared_ptr<ui::TableViewCell> cellForRowAtIndexPath(ui::TableView& tableView,
                                                           const ui::IndexPath& indexPath) override;

  void buildScene();
  void readFolio(const std::string& detail);

  std::shared_ptr<std::vector<std::shared_ptr<OKFolioObject>>> m_selectedFoods;
  std::shared_ptr<RoomInfoBarView> m_roomInfobar;
  std::shared_ptr<EffectLabel> m_lblReserveClerk;
  std::shared_ptr<EffectLabel> m_lblCheckInTime;
  std::shared_ptr<EffectLabel> m_lblLowLimitMoney;
  std::shared_ptr<EffectLabel> m_lblFoodMoney;
  std::shared_ptr<EffectLabel> m_lblZheHouJinE;
  std::shared_ptr<EffectLabel> m_lblOverLowLimit;
  std::shared_ptr<ui::TableView> m_tvMain;
  std::shared_ptr<EffectLabel> m_reserveClerkLbl;
  std::shared_ptr<EffectLabel> m_checkInTimeLbl;
  std::shared_ptr<EffectLabel> m_lowLimitMoneyLbl;
  std::shared_ptr<EffectLabel> m_foodMoneyLbl;
  std::shared_ptr<EffectLabel> m_zheHouJinELbl;
  std::shared_ptr<EffectLabel> m_overLowLimitLbl;
  std::shared_ptr<EffectLabel> m_productName;
  std::shared_ptr<EffectLabel> m_unitPriceAndCount;
  std::shared_ptr<EffectLabel> m_unitPrice;
  std::shared_ptr<EffectLabel> m_productState;
  std::shared_ptr<EffectLabel> m_fillPerson;
  std::shared_ptr<EffectLabel> m_fillTime;
  std::shared_ptr<ui::ImageView> m_billHeader;
  std::shared_ptr<ui::ImageView> m_billBGImageView;
  std::shared_ptr<ui::Button> m_backBtn;
  core::Observation m_busObservation;
};

}  // namespace kt
