#include "platform/display/TextInput.h"

#include "platform/ui/Responder.h"
#include "platform/ui/Window.h"

namespace display {

bool insertText(ui::Window& window, const std::string& text) {
  ui::Responder* responder = window.firstResponder();
  return responder && responder->insertText(text);
}

bool deleteBackward(ui::Window& window) {
  ui::Responder* responder = window.firstResponder();
  return responder && responder->deleteBackward();
}

}  // namespace display
