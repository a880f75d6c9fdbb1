#pragma once

#include <memory>
#include <string>

namespace ui {
class AlertView;
}

namespace kt {

// The room-server screens' one-line alert: a system alert titled "提示" with the message, no
// delegate and the one button "确定". Returned unshown; the caller shows it.
std::shared_ptr<ui::AlertView> setMsg(const std::string& message);

}  // namespace kt
