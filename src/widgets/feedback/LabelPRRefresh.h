#pragma once

#include <memory>

namespace ui {
class Label;
}

namespace kt {

// A state or time label of the refresh family: bold 14-point system font, grey text (90, 90, 90),
// centred, flexible width, clear background.
std::shared_ptr<ui::Label> pr_label();

// The width the label's text takes on one unbounded line in its font, unrounded; 0 for no text.
double pr_textWith(const ui::Label& label);

}  // namespace kt
