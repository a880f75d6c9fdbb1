#pragma once

#include "platform/gfx/Geometry.h"

namespace ui {
class Label;
}

namespace kt {

// The size the label's text takes at the label's current width, in its font, line-break mode
// and alignment, with no limit on the height and the font's leading counted. Not rounded.
gfx::Size currentContentSize(const ui::Label& label);

}  // namespace kt
