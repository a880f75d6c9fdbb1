#include "widgets/feedback/LabelPRRefresh.h"

#include <limits>

#include "platform/gfx/Font.h"
#include "platform/gfx/TextLayout.h"
#include "platform/ui/Label.h"

namespace kt {

std::shared_ptr<ui::Label> pr_label() {
  auto label = ui::Label::create();
  label->setFont(gfx::Font::boldSystemFont(14));
  label->setTextColor(gfx::Color(90 / 255.0, 90 / 255.0, 90 / 255.0, 1.0));
  label->setAutoresizingMask(ui::AutoresizingFlexibleWidth);
  label->setTextAlignment(gfx::TextAlignment::Center);
  label->setBackgroundColor(gfx::Color::clear());
  return label;
}

double pr_textWith(const ui::Label& label) {
  if (label.text().empty()) return 0;
  // Measured in an unbounded size, as large as single precision goes.
  const double unbounded = std::numeric_limits<float>::max();
  gfx::TextLayout layout(label.text(), gfx::TextStyle::withFont(label.font()));
  return layout.boundingSize({unbounded, unbounded}, gfx::TextUsesLineFragmentOrigin).width;
}

}  // namespace kt
