#pragma once

#include <memory>

#include "link/OKFoodObject.h"
#include "link/OKSelectFoodObject.h"
#include "link/SocketDataHandle.h"
#include "order/PopViewControllerDelegate.h"
#include "platform/core/WeakPtr.h"

namespace ui {
class ViewController;
}

namespace kt {

// What the recommended dishes' screen tells the screen that opened it. Held weakly.
class RecommendViewControllerDelegate {
 public:
  RecommendViewControllerDelegate() = default;
  RecommendViewControllerDelegate(const RecommendViewControllerDelegate&) = delete;
  RecommendViewControllerDelegate& operator=(const RecommendViewControllerDelegate&) = delete;
  virtual ~RecommendViewControllerDelegate() = default;

  // The recommend screen asks to be closed.
  virtual void dismiss(ui::ViewController& /*recommend*/) {}

  core::WeakPtr<RecommendViewControllerDelegate> recommendDelegateWeakPtr() const { return m_weakFactory.weakPtr(); }

 private:
  core::WeakPtrFactory<RecommendViewControllerDelegate> m_weakFactory{this};
};

// What the scenes opened from the food menu take before they are shown (prepareForSegue). Each
// destination scene implements the one of its kind.

// The dish popover: its delegate and the dish to order.
class DishPopoverHandOver {
 public:
  virtual ~DishPopoverHandOver() = default;
  virtual void setDelegate(core::WeakPtr<PopViewControllerDelegate> delegate) = 0;
  virtual void setTempFoodObject(std::shared_ptr<OKFoodObject> food) = 0;
};

// The package chooser: its delegate, the parameters the dish popover gathered and the groups'
// dishes.
class PackChooserHandOver {
 public:
  virtual ~PackChooserHandOver() = default;
  virtual void setDelegate(core::WeakPtr<PopViewControllerDelegate> delegate) = 0;
  virtual void setFood(std::shared_ptr<OKFoodObject> food) = 0;
  virtual void setSelectedFoods(std::shared_ptr<FolioList> selectedFoods) = 0;
  virtual void setSGroupID(Text groupID) = 0;
  virtual void setPackArray(PackChildList packArray) = 0;
  virtual void setDict(PackChildFoodMap dict) = 0;
};

// The recommended dishes: its delegate and the list.
class RecommendHandOver {
 public:
  virtual ~RecommendHandOver() = default;
  virtual void setDelegate(core::WeakPtr<RecommendViewControllerDelegate> delegate) = 0;
  virtual void setTempFoodList(FoodList foods) = 0;
};

}  // namespace kt
