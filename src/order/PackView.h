#pragma once

#include <memory>

#include "platform/ui/View.h"

namespace kt {

// An empty view that a package's contents can be laid out in; it adds nothing to a plain view.
class PackView : public ui::View {
 public:
  static std::shared_ptr<PackView> create(const gfx::Rect& frame = gfx::Rect()) {
    return std::make_shared<PackView>(frame);
  }
  using ui::View::View;
};

}  // namespace kt
