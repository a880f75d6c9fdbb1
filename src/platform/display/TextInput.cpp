#include "platform/display/TextInput.h"

#include <algorithm>

#include "platform/ui/Keyboard.h"
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

std::optional<gfx::Rect> activeInputRect() {
  const auto* view = dynamic_cast<const ui::View*>(ui::Keyboard::shared().activeInput());
  const ui::Window* window = view ? view->window() : nullptr;
  if (!window) return std::nullopt;
  // Through the window's frame and transform, corner by corner (the interface may be turned).
  gfx::Rect r = view->convertRectTo(view->bounds(), nullptr);
  gfx::Point corners[] = {window->convertPointToScreen({r.minX(), r.minY()}),
                          window->convertPointToScreen({r.maxX(), r.minY()}),
                          window->convertPointToScreen({r.minX(), r.maxY()}),
                          window->convertPointToScreen({r.maxX(), r.maxY()})};
  double x0 = corners[0].x, x1 = x0, y0 = corners[0].y, y1 = y0;
  for (const auto& c : corners) {
    x0 = std::min(x0, c.x);
    x1 = std::max(x1, c.x);
    y0 = std::min(y0, c.y);
    y1 = std::max(y1, c.y);
  }
  return gfx::Rect(x0, y0, x1 - x0, y1 - y0);
}

}  // namespace display
