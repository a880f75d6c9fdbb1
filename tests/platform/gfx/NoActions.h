#pragma once

#include "platform/gfx/Transaction.h"

namespace gfx {

// Changes made inside take effect at once, without implicit animations.
struct NoActions {
  NoActions() {
    Transaction::begin();
    Transaction::setDisableActions(true);
  }
  ~NoActions() { Transaction::commit(); }
  NoActions(const NoActions&) = delete;
  NoActions& operator=(const NoActions&) = delete;
};

}  // namespace gfx
