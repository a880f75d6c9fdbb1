#pragma once

#include <optional>
#include <string>

#include "platform/gfx/Geometry.h"

namespace ui {
class Window;
}

// Typed text for the window's first responder, from the keyboard of a real window or from tests.
namespace display {

// Inserts the text (UTF-8) into the window's first responder. Return is the text "\n". False
// when there is no first responder or it takes no text.
bool insertText(ui::Window& window, const std::string& text);
// Deletes backwards in the first responder (the backspace key). False as above.
bool deleteBackward(ui::Window& window);

// Where the text input that edits now (ui::Keyboard::activeInput) lies on the screen, in screen
// points: the rectangle the system's input method places its candidates by. None while nothing
// edits.
std::optional<gfx::Rect> activeInputRect();

}  // namespace display
