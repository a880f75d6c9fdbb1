#pragma once

#include <memory>
#include <string>

#include "app/RecordField.h"
#include "link/SocketDataHandle.h"
#include "order/OrderPopoverSource.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TableViewCell.h"
#include "platform/ui/ViewController.h"
#include "widgets/controls/CustomDialogView.h"

namespace ui {
class Button;
class Control;
class ImageView;
class Label;
}  // namespace ui

namespace kt {

class EffectLabel;
class OKFolioObject;
class OKSelectFoodObject;
class RoomInfoBarView;

// One basket line of the basket screen: name, quantity, unit price, state, line total and the
// delete button (its tag is the row).
class OrderFoodCell : public ui::TableViewCell {
 public:
  static constexpr const char* Identifier = "OrderFoodCell";
  static constexpr double RowHeight = 56;
  // The state text of an ordinary line.
  static constexpr const char* DefaultStateText = "待下单";

  OrderFoodCell();

  EffectLabel* lblFoodName() const { return m_lblFoodName.get(); }
  EffectLabel* lblFoodNum() const { return m_lblFoodNum.get(); }
  EffectLabel* lblFoodUntiPrice() const { return m_lblFoodUntiPrice.get(); }
  EffectLabel* lblFoodState() const { return m_lblFoodState.get(); }
  EffectLabel* lblFoodTotalPrice() const { return m_lblFoodTotalPrice.get(); }
  ui::Button* btnDelete() const { return m_btnDelete.get(); }

 private:
  std::shared_ptr<EffectLabel> m_lblFoodName;
  std::shared_ptr<EffectLabel> m_lblFoodNum;
  std::shared_ptr<EffectLabel> m_lblFoodUntiPrice;
  std::shared_ptr<EffectLabel> m_lblFoodState;
  std::shared_ptr<EffectLabel> m_lblFoodTotalPrice;
  std::shared_ptr<ui::Button> m_btnDelete;
};

// The basket screen: the room's basket lines (the shared basket of SocketDataHandle, edited in
// place) with their totals, deleting a line with the lines that belong to it or the whole basket,
// and placing the order (114) under the password typed on the pad. Only an accepted order pops
// back to the menu; a refusal is shown and the basket stays. The order out belongs to the basket,
// not to this screen: while it awaits its reply, every visit shows it on its way and keeps the
// confirm button off, so the basket never goes out twice; the button comes back with the reply,
// when the pad is left without a password, and when the link goes down (the guest is then told
// to look at the bill, now or at the next visit). Holds the decoder from its load on, connection
// changes included; a lost link is opened again as the decoder would.
class OrderedFoodViewController : public ui::ViewController,
                                  public SocketDataHandleDelegate,
                                  public CustomDialogViewDelegate,
                                  public OrderPopoverSource,
                                  private ui::TableViewDataSource,
                                  private ui::TableViewDelegate {
 public:
  static constexpr const char* NotConnectedMessage = "当前网络未链接！请检查网络链接后再试。";
  static constexpr const char* EmptyBasketMessage = "您还没有点选菜品！";
  static constexpr const char* PasswordTitle = "请输入落单密码";
  static constexpr const char* PackageContentText = "套餐内项目";
  static constexpr const char* FreeLineText = " 赠送";
  // Beside the spinner while the basket's order awaits its reply.
  static constexpr const char* OrderOutText = "订单已发出，正在等待确认…";

  OrderedFoodViewController();
  ~OrderedFoodViewController() override;

  void viewDidLoad() override;
  void viewDidAppear(bool animated) override;
  void viewDidUnload() override;

  // Scene actions.
  void DeleteAllFoodAction();
  void confirmOrderAction(ui::Control& sender);
  void backAction();
  // A row's delete button; its tag is the row. A tag outside the basket does nothing.
  void deleteSelect(const ui::Control& sender);
  // Recomputes and shows the totals (free lines count in neither).
  void calcAmount();

  // The pad's answer: OK with a password sends the order; anything else gives the button back.
  void customAlertViewClick(int dialogTag, bool isOk, const std::string& sInput) override;
  void customIOS7dialogButtonTouchUpInside(CustomDialogView& dialog, int buttonIndex) override;

  bool popoverControllerShouldDismissPopover(ui::PopoverController& popover) override;
  std::shared_ptr<ui::Button> currentBtn() const override { return m_currentBtn; }
  void setCurrentBtn(std::shared_ptr<ui::Button> button) { m_currentBtn = std::move(button); }

  // Scene decoration: the panel behind the basket and the strip of its column captions.
  ui::ImageView* selectedBG() const { return m_selectedBG.get(); }
  ui::ImageView* BGLan() const { return m_BGLan.get(); }
  // The column captions and the captions of the two totals.
  EffectLabel* productName() const { return m_productName.get(); }
  EffectLabel* productCount() const { return m_productCount.get(); }
  EffectLabel* unitPrice() const { return m_unitPrice.get(); }
  EffectLabel* productState() const { return m_productState.get(); }
  EffectLabel* totalPrice() const { return m_totalPrice.get(); }
  EffectLabel* totalAmount() const { return m_totalAmount.get(); }
  EffectLabel* totalQuantity() const { return m_totalQuantity.get(); }
  ui::TableView* tblView() const { return m_tblView.get(); }
  ui::Button* btnConfirm() const { return m_btnConfirm.get(); }
  ui::Button* btnDelete() const { return m_btnDelete.get(); }
  ui::Button* btnBack() const { return m_btnBack.get(); }
  EffectLabel* lblAmount() const { return m_lblAmount.get(); }
  ui::Label* lblQuantity() const { return m_lblQuantity.get(); }
  RoomInfoBarView* roomInfobar() const { return m_roomInfobar.get(); }
  // The password pad last opened, while it is on screen.
  std::shared_ptr<CustomDialogView> passwordPad() const { return m_pad.lock(); }
  // Shown while the basket's order is out: the spinner (in the view only then) and its text.
  ui::View* orderOutSpinner() const { return m_orderOutSpinner.get(); }
  ui::Label* orderOutLabel() const { return m_orderOutLabel.get(); }

 private:
  int numberOfRowsInSection(ui::TableView& tableView, int section) override;
  std::shared_ptr<ui::TableViewCell> cellForRowAtIndexPath(ui::TableView& tableView,
                                                           const ui::IndexPath& indexPath) override;

  void buildScene();
  // The room's basket lines; null while no room is bound.
  std::shared_ptr<OKSelectFoodObject> basket() const;
  void orderAnswered(const Text& message);
  void linkChanged(bool connected);
  // Shows whether the basket's order is out: the spinner and its text, and the confirm button
  // off while it is (or while the pad is open).
  void showOrderState();
  // Shows the basket's order notice, once, while this screen is on show.
  void showOrderNotice();

  std::shared_ptr<ui::ImageView> m_selectedBG;
  std::shared_ptr<ui::ImageView> m_BGLan;
  std::shared_ptr<EffectLabel> m_productName;
  std::shared_ptr<EffectLabel> m_productCount;
  std::shared_ptr<EffectLabel> m_unitPrice;
  std::shared_ptr<EffectLabel> m_productState;
  std::shared_ptr<EffectLabel> m_totalPrice;
  std::shared_ptr<ui::TableView> m_tblView;
  std::shared_ptr<ui::Button> m_btnDelete;
  std::shared_ptr<ui::Button> m_btnBack;
  std::shared_ptr<ui::Button> m_btnConfirm;
  std::shared_ptr<EffectLabel> m_lblAmount;
  std::shared_ptr<EffectLabel> m_totalAmount;
  std::shared_ptr<ui::Label> m_lblQuantity;
  std::shared_ptr<EffectLabel> m_totalQuantity;
  std::shared_ptr<RoomInfoBarView> m_roomInfobar;
  std::shared_ptr<ui::Button> m_currentBtn;
  std::weak_ptr<CustomDialogView> m_pad;
  std::shared_ptr<ui::View> m_orderOutSpinner;
  std::shared_ptr<ui::Label> m_orderOutLabel;
  // Whether the link was up before the last change: a lost connection is opened again at once,
  // a failed attempt after a pause.
  bool m_linkWasUp = false;
};

}  // namespace kt
