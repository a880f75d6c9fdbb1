#pragma once

#include <memory>

#include "link/OKFoodObject.h"
#include "link/SocketDataHandle.h"
#include "platform/core/WeakPtr.h"

namespace kt {

class PackChildViewObj;

// What the dish popover and the package chooser tell the screen that opened them. Every
// operation has a body that does nothing, so a screen takes only what it offers (the
// recommended dishes, say, take the hand-overs themselves or not at all) and nothing is ever
// called that a screen lacks. Held weakly by the popover.
class popViewControllerDelegate {
 public:
  popViewControllerDelegate() = default;
  popViewControllerDelegate(const popViewControllerDelegate&) = delete;
  popViewControllerDelegate& operator=(const popViewControllerDelegate&) = delete;
  virtual ~popViewControllerDelegate() = default;

  // The basket was changed, or there is nothing more to choose: close the popover.
  virtual void popViewControllerDidConfirm() {}
  // A package's groups or a dish's free-item sets must be chosen next: open the package chooser
  // with the groups' dishes and the parameters.
  virtual void popViewControllerToPackChildView(const PackChildFoodMap& /*dict*/,
                                                std::shared_ptr<PackChildViewObj> /*packChlidVC*/) {}
  // The same hand-over from the popover's second path.
  virtual void popViewControllerToPackChildView2(const PackChildFoodMap& /*dict*/,
                                                 std::shared_ptr<PackChildViewObj> /*packChlidVC*/) {}
  // Declared for the opening screens; nothing sends it.
  virtual void popViewControllerDidConfirmWithFood(std::shared_ptr<OKFoodObject> /*food*/, const Text& /*name*/) {}

  core::WeakPtr<popViewControllerDelegate> popDelegateWeakPtr() const { return m_weakFactory.weakPtr(); }

 private:
  core::WeakPtrFactory<popViewControllerDelegate> m_weakFactory{this};
};

}  // namespace kt
