#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "link/SocketDataHandle.h"
#include "order/OrderPopoverSource.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/ViewController.h"
#include "widgets/controls/GridViewDelegates.h"

namespace ui {
class Button;
class Control;
class ImageView;
}  // namespace ui

namespace kt {

class EffectLabel;
class GongGuanList;
class GridView;

// The venue's hostesses and service staff as a horizontally paged grid, four to a page. From a
// member's action button the guest calls a free member, calls again, cancels the room's waiting
// call (after a confirmation) or opens a busy member's reservation popover; the head image opens
// the member's photographs. Each appearance takes the decoder and asks for the list; an accepted
// call or cancel asks again and returns the grid to the page the guest was on. While a cancel of a
// member's call is out (PendingStaffRequests), that member's cancel asks and sends nothing.
class MissViewController : public ui::ViewController,
                           public SocketDataHandleDelegate,
                           public GridViewDataSource,
                           public ui::ScrollViewDelegate,
                           public OrderPopoverSource,
                           public ui::AlertViewDelegate {
 public:
  // Segue identifiers.
  static constexpr const char* ShowGongGuanZhaoPian = "showGongGuanZhaoPian";
  static constexpr const char* ShowSangWuYuYue = "showSangWuYuYuePopViewController";
  static constexpr int ItemsPerPage = 4;
  // An action button's tag is its member's index plus this.
  static constexpr int ActionTagBase = 1000;
  static constexpr int CancelCallAlertTag = 12;
  static constexpr const char* CancelCallMessage = "确认取消呼叫？";

  MissViewController();
  ~MissViewController() override;

  void viewDidLoad() override;
  void viewDidAppear(bool animated) override;
  void viewDidUnload() override;

  // ---- Actions ----
  void goBackAction();
  void nextPageAction();
  void upPageAction();
  // A head image: opens that member's photographs.
  void showZhaoPian(const ui::Control& sender);
  // A member's action button.
  void btnhujiaoClicked(ui::Button& sender);
  void clickedButtonAtIndex(ui::AlertView& alertView, int buttonIndex) override;

  // ---- The grid ----
  int64_t numberOfItemsInGridView(GridView& grid) override;
  gfx::Size sizeForItemsInInterfaceOrientation(GridView& grid, ui::InterfaceOrientation orientation) override;
  std::shared_ptr<GridViewCell> cellForItemAtIndex(GridView& grid, int64_t index) override;
  void scrollViewDidScroll(ui::ScrollView& scrollView) override;

  void prepareForSegue(ui::StoryboardSegue& segue, ui::Responder* sender) override;

  // ---- OrderPopoverSource ----
  std::shared_ptr<ui::Button> currentBtn() const override { return m_currentBtn; }
  void setCurrentBtn(std::shared_ptr<ui::Button> button) { m_currentBtn = std::move(button); }

  // ---- State and views ----
  const GongGuanListArray& gongGuanListArray() const { return m_gongGuanListArray; }
  int32_t curPos() const { return m_curPos; }
  const std::shared_ptr<GongGuanList>& tmpGongGuan() const { return m_tmpGongGuan; }
  const std::shared_ptr<ui::ScrollView>& scrollView() const { return m_scrollView; }
  std::shared_ptr<GridView> gmGridView() const { return m_gmGridView.lock(); }
  EffectLabel* lblCurrentPage() const { return m_lblCurrentPage.get(); }
  EffectLabel* lblTotalPage() const { return m_lblTotalPage.get(); }
  const std::shared_ptr<ui::Button>& backButton() const { return m_backButton; }
  const std::shared_ptr<ui::Button>& nextButton() const { return m_nextButton; }
  const std::shared_ptr<ui::Button>& upButton() const { return m_upButton; }
  // The confirmation of a cancelled call, while it is up.
  std::shared_ptr<ui::AlertView> cancelAlert() const { return m_cancelAlert.lock(); }

 private:
  void buildScene();
  void takeReplies();
  void didGongGuanList(GongGuanListArray list);
  // After a call or cancel: "0" remembers the page and asks for the list again.
  void didCallOrCancel(const Text& errorCode);
  // The member at a button's index, checked against the current list; null outside it.
  std::shared_ptr<GongGuanList> memberAt(int64_t index) const;
  void page(int direction);
  // The current page from the grid's offset, into lblCurrentPage.
  void showCurrentPage(const ui::ScrollView& scrollView);

  std::shared_ptr<ui::ScrollView> m_scrollView;
  std::weak_ptr<GridView> m_gmGridView;
  GongGuanListArray m_gongGuanListArray;
  std::shared_ptr<EffectLabel> m_lblCurrentPage;
  std::shared_ptr<EffectLabel> m_lblTotalPage;
  std::shared_ptr<ui::ImageView> m_logo;
  std::shared_ptr<ui::ImageView> m_logo2;
  std::shared_ptr<ui::Button> m_backButton;
  std::shared_ptr<ui::Button> m_nextButton;
  std::shared_ptr<ui::Button> m_upButton;
  int32_t m_curPos = 0;
  std::shared_ptr<GongGuanList> m_tmpGongGuan;
  std::shared_ptr<ui::Button> m_currentBtn;
  std::weak_ptr<ui::AlertView> m_cancelAlert;
};

}  // namespace kt
