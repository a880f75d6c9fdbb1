#pragma once

#include <memory>

#include "link/OKSelectFoodObject.h"
#include "platform/core/WeakPtr.h"

namespace kt {

// What the shared order holder may tell its registered screen; nothing yet.
class TempOederCenterDelegate {
 public:
  TempOederCenterDelegate() = default;
  TempOederCenterDelegate(const TempOederCenterDelegate&) = delete;
  TempOederCenterDelegate& operator=(const TempOederCenterDelegate&) = delete;
  virtual ~TempOederCenterDelegate() = default;

  core::WeakPtr<TempOederCenterDelegate> tempOrderDelegateWeakPtr() const { return m_weakFactory.weakPtr(); }

 private:
  core::WeakPtrFactory<TempOederCenterDelegate> m_weakFactory{this};
};

// A process-wide holder of an order list and the screen that registered with it (the food menu,
// when it loads). Nothing reads either yet; the screen is held weakly.
class TempOederCenter {
 public:
  static TempOederCenter& sharedInstance();

  FolioList& orderFoodArray() { return m_orderFoodArray; }
  TempOederCenterDelegate* delegata() const { return m_delegata.get(); }
  void setDelegata(TempOederCenterDelegate* delegate) {
    m_delegata = delegate ? delegate->tempOrderDelegateWeakPtr() : nullptr;
  }

 private:
  FolioList m_orderFoodArray;
  core::WeakPtr<TempOederCenterDelegate> m_delegata;
};

}  // namespace kt
