#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/SocketDataHandle.h"
#include "order/OrderPopoverSource.h"
#include "order/popViewControllerDelegate.h"
#include "order/RecommendViewController.h"
#include "order/TempOederCenter.h"
#include "platform/core/WeakPtr.h"
#include "platform/net/URL.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/TableView.h"
#include "platform/ui/ViewController.h"

namespace ui {
class Button;
class ImageView;
}  // namespace ui

namespace kt {

class EffectLabel;
class FoodTypeObject;
class OKFoodObject;
class PackChildViewObj;
class RoomInfoBarView;

// A screen that could be told the menu closed; nothing tells it yet.
class OrderDismissDelegate {
 public:
  OrderDismissDelegate() = default;
  OrderDismissDelegate(const OrderDismissDelegate&) = delete;
  OrderDismissDelegate& operator=(const OrderDismissDelegate&) = delete;
  virtual ~OrderDismissDelegate() = default;

  core::WeakPtr<OrderDismissDelegate> orderDismissDelegateWeakPtr() const { return m_weakFactory.weakPtr(); }

 private:
  core::WeakPtrFactory<OrderDismissDelegate> m_weakFactory{this};
};

// The food menu, the hub of ordering: the two-level category table on the left (top categories
// are sections that open and close, sub-categories are rows), the dishes of the chosen
// sub-category in the middle, the chosen dish's detail pane with its order button on the right,
// and the room bar, the basket count and the buttons to the basket, the recommended dishes, the
// staff screens and back to the songs along the top. It hears the room server's replies whenever
// it is in front, and is the delegate of the popovers and the recommend screen it opens.
class OrderMainViewController : public ui::ViewController,
                                public SocketDataHandleDelegate,
                                public ui::TableViewDataSource,
                                public ui::TableViewDelegate,
                                public OrderPopoverSource,
                                public popViewControllerDelegate,
                                public recommendViewControllerDelegate,
                                public TempOederCenterDelegate,
                                public ui::AlertViewDelegate {
 public:
  // Segue identifiers.
  static constexpr const char* ShowPopView = "showPopView";
  static constexpr const char* ShowPackChildView = "showPackChildView";
  static constexpr const char* ShowRecommendView = "showRecommendView";
  static constexpr const char* ShowOrderedFood = "showOrderedFood";
  static constexpr const char* ShowBill = "showBill";
  static constexpr const char* ShowGongGuanZhaoPian = "showGongGuanZhaoPian";
  // Tags of the two tables.
  static constexpr int CategoryTableTag = 1000;
  static constexpr int FoodTableTag = 1001;
  static constexpr const char* NoRecommendedText = "当前没有推荐菜品！";
  // The face the dish texts and sub-categories ask for (a bold stand-in where it is missing).
  static constexpr const char* MenuFontName = "AmericanTypewriter-Bold";

  OrderMainViewController();
  ~OrderMainViewController() override;

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewDidAppear(bool animated) override;
  void viewDidUnload() override;

  // Makes the category table and adds it to the view.
  void getTableView();
  // The dish photograph at a size, as of its modification time. Logged.
  static std::optional<net::URL> GetServerUrl(const std::string& foodNo, double width, double height,
                                              const std::string& modifyTime);

  // ---- Tables (told apart by their tags) ----
  int numberOfSectionsInTableView(ui::TableView& tableView) override;
  int numberOfRowsInSection(ui::TableView& tableView, int section) override;
  std::shared_ptr<ui::TableViewCell> cellForRowAtIndexPath(ui::TableView& tableView,
                                                           const ui::IndexPath& indexPath) override;
  void didSelectRowAtIndexPath(ui::TableView& tableView, const ui::IndexPath& indexPath) override;
  std::optional<double> heightForRowAtIndexPath(ui::TableView& tableView, const ui::IndexPath& indexPath) override;
  std::shared_ptr<ui::View> viewForHeaderInSection(ui::TableView& tableView, int section) override;
  std::optional<double> heightForHeaderInSection(ui::TableView& tableView, int section) override;

  // ---- Actions ----
  // The order button: the dish popover for the selected dish; nothing without one.
  void showInputView(ui::Button& button);
  // A category header: opens or closes that top category.
  void buttonClick(int section);
  void recommendAction();
  void backToSong();
  void clickJiaLi();

  void prepareForSegue(ui::StoryboardSegue& segue, ui::Responder* sender) override;

  // ---- What the opened screens tell it ----
  void popViewControllerDidConfirm() override;
  void popViewControllerToPackChildView(const PackChildFoodMap& dict,
                                        std::shared_ptr<PackChildViewObj> packChlidVC) override;
  void popViewControllerToPackChildView2(const PackChildFoodMap& dict,
                                         std::shared_ptr<PackChildViewObj> packChlidVC) override;
  void popoverControllerDidDismissPopover(ui::PopoverController& popover) override;
  void dismiss(RecommendViewController& recommend) override;

  // ---- OrderPopoverSource ----
  std::shared_ptr<ui::Button> currentBtn() const override { return m_currentBtn; }

  // ---- State and views ----
  const FoodTypeList& level1TypeAry() const { return m_level1TypeAry; }
  const std::map<std::string, FoodTypeList>& level2TypeDict() const { return m_level2TypeDict; }
  const FoodList& foodListArray() const { return m_foodListArray; }
  bool isRecommend() const { return m_isRecommend; }
  // The dish the detail pane shows (null when the pane is empty).
  const std::shared_ptr<OKFoodObject>& selectedFood() const { return m_selectedFood; }
  const std::shared_ptr<ui::TableView>& MyTableview() const { return m_MyTableview; }
  const std::shared_ptr<ui::TableView>& TowTableView() const { return m_TowTableView; }
  EffectLabel* PicName() const { return m_PicName.get(); }
  EffectLabel* Foodlable() const { return m_Foodlable.get(); }
  EffectLabel* FoodEngName() const { return m_FoodEngName.get(); }
  const std::shared_ptr<ui::ImageView>& FootImage() const { return m_FootImage; }
  const std::shared_ptr<ui::Button>& DianXuanBut() const { return m_DianXuanBut; }
  EffectLabel* lblOrderNum() const { return m_lblOrderNum.get(); }
  const std::shared_ptr<RoomInfoBarView>& roomInfobar() const { return m_roomInfobar; }
  const std::shared_ptr<ui::Button>& basketButton() const { return m_basketButton; }
  const std::shared_ptr<ui::Button>& billButton() const { return m_billButton; }
  const std::shared_ptr<ui::Button>& recommendButton() const { return m_recommendButton; }
  const std::shared_ptr<ui::Button>& staffButton() const { return m_staffButton; }
  const std::shared_ptr<ui::Button>& backButton() const { return m_backButton; }
  // Held weakly; nothing of the menu sets or reads it.
  OrderDismissDelegate* dismissDelegate() const { return m_dismissDelegate.get(); }
  void setDismissDelegate(OrderDismissDelegate* delegate) {
    m_dismissDelegate = delegate ? delegate->orderDismissDelegateWeakPtr() : core::WeakPtr<OrderDismissDelegate>();
  }

 private:
  void buildScreen();
  void takeReplies();
  void refreshOrderCount();
  void clearDetailPane();
  void didCategory(FoodTypeList categories);
  void didFoodList(FoodList foods);
  // The sub-categories shown under a top category (none while it is closed).
  const FoodTypeList* subCategories(int section) const;
  // Row `row` of those; null past the end.
  const FoodTypeObject* subCategory(int section, int row) const;
  void selectSubCategory(int section, int row);
  void selectFood(int row);
  std::shared_ptr<ui::Button> addButton(const gfx::Rect& frame, const std::string& title,
                                        void (OrderMainViewController::*action)());

  std::shared_ptr<ui::TableView> m_MyTableview;
  std::shared_ptr<ui::TableView> m_TowTableView;
  FoodTypeList m_level1TypeAry;
  std::map<std::string, FoodTypeList> m_level2TypeDict;
  FoodList m_foodAry;
  FoodList m_foodListArray;
  bool m_isRecommend = false;
  std::shared_ptr<OKFoodObject> m_selectedFood;

  std::shared_ptr<EffectLabel> m_PicName;
  std::shared_ptr<EffectLabel> m_Foodlable;
  std::shared_ptr<EffectLabel> m_FoodEngName;
  std::shared_ptr<ui::ImageView> m_FootImage;
  std::shared_ptr<ui::Button> m_DianXuanBut;
  std::shared_ptr<ui::Button> m_currentBtn;
  std::shared_ptr<EffectLabel> m_lblOrderNum;
  std::shared_ptr<RoomInfoBarView> m_roomInfobar;
  std::shared_ptr<ui::Button> m_basketButton;
  std::shared_ptr<ui::Button> m_billButton;
  std::shared_ptr<ui::Button> m_recommendButton;
  std::shared_ptr<ui::Button> m_staffButton;
  std::shared_ptr<ui::Button> m_backButton;
  std::weak_ptr<PackChildViewObj> m_packChlidVC;
  std::weak_ptr<ui::AlertView> m_noRecommendAlert;
  core::WeakPtr<OrderDismissDelegate> m_dismissDelegate;

  // What the next segue hands over, kept just before it is performed and cleared once read.
  std::shared_ptr<OKFoodObject> m_handOverFood;
  FoodList m_handOverFoods;
  std::optional<PackChildFoodMap> m_handOverDict;
};

}  // namespace kt
