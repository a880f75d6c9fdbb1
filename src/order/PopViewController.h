#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/OKFoodObject.h"
#include "link/OKSelectFoodObject.h"
#include "link/SocketDataHandle.h"
#include "order/popViewControllerDelegate.h"
#include "platform/core/NotificationCenter.h"
#include "platform/core/WeakPtr.h"
#include "platform/gfx/Geometry.h"
#include "platform/ui/TableView.h"
#include "platform/ui/ViewController.h"

namespace ui {
class Button;
class Control;
class Label;
}  // namespace ui

namespace kt {

class EffectLabel;
class PackChildViewObj;

// The popover in which a guest orders one dish: the dish's name, a two-digit quantity pad and
// the dish's options. OK has the room server price the dish and puts the priced lines in the
// room's basket in place of the dish's earlier lines; a package, or a dish that brings free items,
// goes on to the package chooser through the delegate instead. It takes the reply decoder while
// it is open.
class PopViewController : public ui::ViewController,
                          public SocketDataHandleDelegate,
                          public ui::TableViewDataSource,
                          public ui::TableViewDelegate {
 public:
  static constexpr gfx::Size ViewSize{310, 522};
  // Pad keys other than the digits (a digit key's tag is its digit).
  static constexpr int BackspaceTag = 11;
  static constexpr int OkTag = 12;
  // Posted with a FolioList* as object: lines to put straight into the basket.
  static constexpr const char* ClerkListNotification = "getClerkListArray";

  PopViewController();
  ~PopViewController() override;

  // The dish, set by the opening screen before the view loads.
  const std::shared_ptr<OKFoodObject>& tempFoodObject() const { return m_tempFoodObject; }
  void setTempFoodObject(std::shared_ptr<OKFoodObject> food) { m_tempFoodObject = std::move(food); }
  popViewControllerDelegate* delegate() const { return m_delegate.get(); }
  void setDelegate(core::WeakPtr<popViewControllerDelegate> delegate) { m_delegate = std::move(delegate); }
  const std::shared_ptr<ui::Button>& currentBtn() const { return m_currentBtn; }
  void setCurrentBtn(std::shared_ptr<ui::Button> button) { m_currentBtn = std::move(button); }

  const std::shared_ptr<EffectLabel>& lblTitle() const { return m_lblTitle; }
  const std::shared_ptr<EffectLabel>& amountLabel() const { return m_amountLabel; }
  const std::shared_ptr<ui::TableView>& addInfoTableView() const { return m_addInfoTableView; }
  // The pad's key with this tag (digits 0 to 9, BackspaceTag, OkTag), or null.
  std::shared_ptr<ui::Button> padKey(int tag) const;
  bool defaultCount() const { return m_defaultCount; }
  const std::vector<std::string>& foodInfoArray() const { return m_foodInfoArray; }
  const Text& addInfo() const { return m_addInfo; }
  int32_t selectedIndex() const { return m_selectedIndex; }
  // The lines of the last pricing; the package chooser adds its chosen lines to this very array.
  const std::shared_ptr<FolioList>& tmpFoliosArray() const { return m_tmpFoliosArray; }
  const PackChildList& packChildArray() const { return m_packChildArray; }

  void loadView() override;
  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewDidUnload() override;

  // Every key of the pad; the key's tag decides.
  void onClickAction(ui::Control& sender);
  // The chooser's parameters for the groups of the last reply.
  std::shared_ptr<PackChildViewObj> initPackChildObj() const;
  // The second hand-over path: the groups' dishes and their count.
  void getWithDiandan(const std::optional<PackChildFoodMap>& dict, int64_t packCount);
  // Lines to put straight into the basket ("getClerkListArray").
  void songHuaOrDianHuaInfo(const FolioList& lines);

  int numberOfRowsInSection(ui::TableView& tableView, int section) override;
  std::shared_ptr<ui::TableViewCell> cellForRowAtIndexPath(ui::TableView& tableView,
                                                           const ui::IndexPath& indexPath) override;
  void didSelectRowAtIndexPath(ui::TableView& tableView, const ui::IndexPath& indexPath) override;

 private:
  void buildPad(ui::View& root);
  void ifDefaultCount();
  void confirm();
  void didAddInfoOfFood(std::vector<std::string> options);
  void didSelectFood(FolioLines lines);
  void didPackChild(std::optional<PackChildFoodMap> dict, int64_t packCount, std::optional<PackChildList> groups);
  void didConfirmInputAmount();
  // Puts the priced lines into the basket in place of the dish's earlier lines, tells the bus and
  // the delegate.
  void orderPricedLines();
  void appendToBasket(const FolioList& lines);
  static void postUpdateData(void* sender);

  std::shared_ptr<OKFoodObject> m_tempFoodObject;
  core::WeakPtr<popViewControllerDelegate> m_delegate;
  std::shared_ptr<ui::Button> m_currentBtn;
  std::shared_ptr<EffectLabel> m_lblTitle;
  std::shared_ptr<EffectLabel> m_amountLabel;
  std::shared_ptr<ui::TableView> m_addInfoTableView;
  std::vector<std::shared_ptr<ui::Button>> m_padKeys;
  bool m_defaultCount = true;
  std::vector<std::string> m_foodInfoArray;
  Text m_addInfo;
  int32_t m_selectedIndex = 0;
  std::shared_ptr<FolioList> m_tmpFoliosArray = std::make_shared<FolioList>();
  PackChildList m_packChildArray;
  core::Observation m_clerkListObservation;
};

}  // namespace kt
