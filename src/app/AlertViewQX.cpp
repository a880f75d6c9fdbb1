#include "app/AlertViewQX.h"

#include "platform/ui/AlertView.h"

namespace kt {

std::shared_ptr<ui::AlertView> setMsg(const std::string& message) {
  return ui::AlertView::create("提示", message, nullptr, std::string("确定"));
}

}  // namespace kt
