#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "link/SocketDataHandle.h"
#include "order/OrderPopoverSource.h"
#include "order/popViewControllerDelegate.h"
#include "platform/core/WeakPtr.h"
#include "platform/net/URL.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/ViewController.h"
#include "widgets/controls/FlowPagerView.h"

namespace ui {
class Button;
class ImageView;
class PageControl;
}  // namespace ui

namespace kt {

class EffectLabel;
class OKFoodObject;
class PackChildViewObj;
class RecommendViewController;
class RoomInfoBarView;

// The screen that opened the recommended dishes and closes them.
class recommendViewControllerDelegate {
 public:
  recommendViewControllerDelegate() = default;
  recommendViewControllerDelegate(const recommendViewControllerDelegate&) = delete;
  recommendViewControllerDelegate& operator=(const recommendViewControllerDelegate&) = delete;
  virtual ~recommendViewControllerDelegate() = default;

  virtual void dismiss(RecommendViewController& screen) = 0;

  core::WeakPtr<recommendViewControllerDelegate> recommendDelegateWeakPtr() const { return m_weakFactory.weakPtr(); }

 private:
  core::WeakPtrFactory<recommendViewControllerDelegate> m_weakFactory{this};
};

// The venue's recommended dishes, one large photograph a page in a flow pager, with the dish's
// name, price, unit and the quantity the basket already holds. A dish not yet in the basket can
// be ordered from here in the dish popover; a package or a dish with free items goes on to the
// package chooser, which this screen opens itself. It sends no request and never takes the
// decoder.
class RecommendViewController : public ui::ViewController,
                                public FlowPagerViewDataSource,
                                public FlowPagerViewDelegate,
                                public popViewControllerDelegate,
                                public OrderPopoverSource,
                                public ui::ScrollViewDelegate,
                                public SocketDataHandleDelegate {
 public:
  static constexpr const char* PopoverSegue = "recommendToInputView";
  static constexpr const char* PackChooserSegue = "showPackChildView";
  static constexpr gfx::Size PageSize{800, 550};
  // The size the photographs are asked at.
  static constexpr double PhotoWidth = 1024;
  static constexpr double PhotoHeight = 768;

  RecommendViewController();
  ~RecommendViewController() override;

  const FoodList& tempFoodList() const { return m_tempFoodList; }
  void setTempFoodList(FoodList list) { m_tempFoodList = std::move(list); }
  recommendViewControllerDelegate* delegate() const { return m_delegate.get(); }
  void setDelegate(recommendViewControllerDelegate* delegate) {
    m_delegate = delegate ? delegate->recommendDelegateWeakPtr() : core::WeakPtr<recommendViewControllerDelegate>();
  }
  int32_t index() const { return m_index; }

  void viewDidLoad() override;
  void viewDidAppear(bool animated) override;
  void viewDidUnload() override;

  // Back: asks the delegate to close this screen.
  void goBackAction();
  // The order button: the dish popover for the page's dish.
  void btnDianXuanAction();
  void pageControlValueDidChange();
  // Fills the labels for the page's dish; hides the order button when the basket holds the dish.
  void updateInterface();
  // The photograph of a dish, without the time.
  static std::optional<net::URL> GetServerUrl(const std::string& foodNo, double width, double height);

  void prepareForSegue(ui::StoryboardSegue& segue, ui::Responder* sender) override;

  // The dish popover and the package chooser.
  void popViewControllerDidConfirm() override;
  void popViewControllerToPackChildView(const PackChildFoodMap& dict,
                                        std::shared_ptr<PackChildViewObj> packChlidVC) override;
  void popViewControllerToPackChildView2(const PackChildFoodMap& dict,
                                         std::shared_ptr<PackChildViewObj> packChlidVC) override;

  // Pager.
  int64_t numberOfPagesInFlowView(FlowPagerView& flowView) override;
  std::shared_ptr<ui::View> cellForPageAtIndex(FlowPagerView& flowView, int64_t index) override;
  gfx::Size sizeForPageInFlowView(FlowPagerView& flowView) override;
  void didScrollToPage(FlowPagerView& flowView, int64_t page) override;
  // A scroll view's page: floor((x - w / 2) / w) + 1, kept within the list.
  void scrollViewDidScroll(ui::ScrollView& scrollView) override;
  // The pager's own scroll view, whose every move the screen follows: the labels change as a
  // flip passes half a page, before it comes to rest.
  std::shared_ptr<ui::ScrollView> scrollView() const { return m_scrollView.lock(); }

  // The package chooser points at the order button too.
  std::shared_ptr<ui::Button> currentBtn() const override { return m_btnDianXuan; }
  std::shared_ptr<ui::Button> btnDianXuan() const override { return m_btnDianXuan; }

  FlowPagerView* hFlowView() const { return m_hFlowView.get(); }
  ui::PageControl* hPageControl() const { return m_hPageControl.get(); }
  EffectLabel* lblPinMing() const { return m_lblPinMing.get(); }
  EffectLabel* lblDanJia() const { return m_lblDanJia.get(); }
  EffectLabel* lblDanWei() const { return m_lblDanWei.get(); }
  EffectLabel* lblYiXuan() const { return m_lblYiXuan.get(); }
  ui::Button* btnBack() const { return m_btnBack.get(); }
  RoomInfoBarView* roomInfobar() const { return m_roomInfobar.get(); }

 private:
  void buildScene();
  // Sets the page, kept within the list, and fills the labels; nothing for an empty list.
  void showPage(int64_t page);
  void handOverToPackChooser(const PackChildFoodMap& dict, std::shared_ptr<PackChildViewObj> packChlidVC);

  FoodList m_tempFoodList;
  int32_t m_index = 0;
  core::WeakPtr<recommendViewControllerDelegate> m_delegate;
  std::shared_ptr<FlowPagerView> m_hFlowView;
  std::shared_ptr<ui::PageControl> m_hPageControl;
  std::shared_ptr<EffectLabel> m_lblPinMing;
  std::shared_ptr<EffectLabel> m_lblDanJia;
  std::shared_ptr<EffectLabel> m_lblDanWei;
  std::shared_ptr<EffectLabel> m_lblYiXuan;
  std::shared_ptr<ui::Button> m_btnDianXuan;
  std::shared_ptr<ui::Button> m_btnBack;
  std::shared_ptr<RoomInfoBarView> m_roomInfobar;
  std::weak_ptr<ui::ScrollView> m_scrollView;
  // Kept for the segue being performed: the dish for the popover, the groups and parameters for
  // the package chooser.
  std::shared_ptr<OKFoodObject> m_segueFood;
  std::optional<PackChildFoodMap> m_segueDict;
  std::shared_ptr<PackChildViewObj> m_seguePack;
};

}  // namespace kt
