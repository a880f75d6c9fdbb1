#pragma once

#include "platform/gfx/Color.h"

namespace ui {
class TextField;
}

namespace kt {

// Draws the field's placeholder text in `color` from now on (also a placeholder set later).
void setPlaceholderColorWith(ui::TextField& field, const gfx::Color& color);

}  // namespace kt
