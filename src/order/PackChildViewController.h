#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/OKFoodObject.h"
#include "link/OKSelectFoodObject.h"
#include "link/SocketDataHandle.h"
#include "order/popViewControllerDelegate.h"
#include "platform/core/WeakPtr.h"
#include "platform/gfx/Geometry.h"
#include "platform/ui/TableView.h"
#include "platform/ui/ViewController.h"

namespace ui {
class Button;
class Control;
class ImageView;
}  // namespace ui

namespace kt {

class EffectLabel;
class OKPackChild;
class OKPackChildFood;
class PackChildViewObj;

// Lets the guest choose the contents of a package, or the free items a dish brings, group by
// group under each group's counting rules. OK, when every group meets its rules, puts the priced
// lines and the chosen lines into the room's basket in place of the dish's earlier lines; Cancel
// leaves the basket alone. Both tell the delegate, which closes the popover.
//
// The two modes follow the basket record's HasMultFreeItems: packages ("1" not set), where the
// multiplier F is the number of packages ordered and chosen lines are package contents, and free
// items ("1"), where F is MultFreeCount and chosen lines are free lines. A group's capacity is
// F x SetSumCount; a dish's fixed count is F x Count.
class PackChildViewController : public ui::ViewController,
                                public ui::TableViewDataSource,
                                public ui::TableViewDelegate {
 public:
  static constexpr gfx::Size ViewSize{500, 600};
  static constexpr double HeaderHeight = 50;
  // The smallest font the group header's title is measured in.
  static constexpr int SmallestTitleFontSize = 6;

  PackChildViewController();
  ~PackChildViewController() override;

  // Inputs, set before the view loads.
  const PackChildList& packArray() const { return m_packArray; }
  void setPackArray(PackChildList groups) { m_packArray = std::move(groups); }
  const PackChildFoodMap& dict() const { return m_dict; }
  void setDict(PackChildFoodMap dict) { m_dict = std::move(dict); }
  // The dish popover's priced lines; the chosen lines are added to this very array.
  const std::shared_ptr<FolioList>& selectedFoods() const { return m_selectedFoods; }
  void setSelectedFoods(std::shared_ptr<FolioList> lines);
  const Text& sGroupID() const { return m_sGroupID; }
  void setSGroupID(Text groupID) { m_sGroupID = std::move(groupID); }
  const std::shared_ptr<OKFoodObject>& food() const { return m_food; }
  void setFood(std::shared_ptr<OKFoodObject> food) { m_food = std::move(food); }
  // The four parameters of the popover's hand-over.
  void setParameters(const PackChildViewObj& parameters);
  popViewControllerDelegate* delegate() const { return m_delegate.get(); }
  void setDelegate(core::WeakPtr<popViewControllerDelegate> delegate) { m_delegate = std::move(delegate); }

  int64_t foodCount() const { return m_foodCount; }
  const std::shared_ptr<ui::TableView>& prckChildTableView() const { return m_prckChildTableView; }
  const std::shared_ptr<ui::Button>& backBtn() const { return m_backBtn; }
  const std::shared_ptr<ui::Button>& suerBtn() const { return m_suerBtn; }

  void loadView() override;
  void viewDidLoad() override;
  void viewDidUnload() override;

  void btnCancel();
  void btnOK();
  // Opens or closes the group of the header's section (the sender's tag).
  void headerClicked(ui::Control& sender);
  void switchAction(ui::Control& sender);
  void stepperAction(ui::Control& sender);

  // The first line of the basket record's oldChoiceArray for this dish that was chosen in the
  // chooser before (a package content or free line), or null.
  std::shared_ptr<OKFolioObject> inOldPack(const Text& foodNo) const;
  // The first chosen line of the selection for this dish, or null. The priced lines are not
  // chosen lines and are never taken for one.
  std::shared_ptr<OKFolioObject> getSelectedFood(const Text& foodNo) const;
  // A new line for a dish of a group, as the mode makes it.
  std::shared_ptr<OKFolioObject> createFolioObj(std::shared_ptr<OKFolioObject> line, const OKPackChildFood& dish) const;
  bool NotShareIsSelected() const;
  // The rows of a section: its dishes when the group is open, else none.
  int rowsInSection(int section) const;
  std::optional<ui::IndexPath> GetIndexPath(const ui::View& control) const;
  // The group's name (its header view shows it within the header title).
  std::optional<std::string> titleForHeader(int section) const;
  // The header title of a group, and the width its label gets.
  std::string headerTitle(const OKPackChild& group) const;
  static double headerTitleWidth(const std::string& name);

  int numberOfSectionsInTableView(ui::TableView& tableView) override;
  int numberOfRowsInSection(ui::TableView& tableView, int section) override;
  std::shared_ptr<ui::TableViewCell> cellForRowAtIndexPath(ui::TableView& tableView,
                                                           const ui::IndexPath& indexPath) override;
  std::shared_ptr<ui::View> viewForHeaderInSection(ui::TableView& tableView, int section) override;
  std::optional<double> heightForHeaderInSection(ui::TableView& tableView, int section) override;

 private:
  struct Row {
    std::shared_ptr<OKPackChild> group;
    std::shared_ptr<OKPackChildFood> dish;
  };
  bool freeItemMode() const;
  int64_t capacity(const OKPackChild& group) const;
  int64_t fixedCount(const OKPackChildFood& dish) const;
  const std::vector<std::shared_ptr<OKPackChildFood>>* dishesOf(const OKPackChild& group) const;
  std::optional<Row> rowAt(const ui::IndexPath& indexPath) const;
  void restore();
  void autoFill();
  // The dish's chosen line, or a new one entered into the selection.
  std::shared_ptr<OKFolioObject> chosenLine(const OKPackChildFood& dish);
  std::optional<Row> rowOf(const ui::View& control) const;
  void removeFromSelection(const std::shared_ptr<OKFolioObject>& line);
  std::shared_ptr<ui::Button> addButton(ui::View& parent, const gfx::Rect& frame, const std::string& title,
                                        void (PackChildViewController::*action)());

  std::shared_ptr<ui::ImageView> m_logo;
  std::shared_ptr<ui::ImageView> m_logo2;
  std::shared_ptr<ui::ImageView> m_tableViewBGImageView;
  std::shared_ptr<ui::Button> m_backBtn;
  std::shared_ptr<ui::Button> m_suerBtn;
  std::shared_ptr<EffectLabel> m_lblTitle;
  int64_t m_foodCount = 0;
  std::shared_ptr<ui::TableView> m_prckChildTableView;
  PackChildList m_packArray;
  PackChildFoodMap m_dict;
  std::shared_ptr<FolioList> m_selectedFoods = std::make_shared<FolioList>();
  // The priced lines the selection held when it was handed over.
  std::vector<const OKFolioObject*> m_pricedLines;
  Text m_sGroupID = "";
  std::shared_ptr<OKFoodObject> m_food;
  core::WeakPtr<popViewControllerDelegate> m_delegate;
};

}  // namespace kt
