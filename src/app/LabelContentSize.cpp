#include "app/LabelContentSize.h"

#include "platform/gfx/Font.h"
#include "platform/gfx/TextLayout.h"
#include "platform/ui/Label.h"

#include <limits>

namespace kt {

gfx::Size currentContentSize(const ui::Label& label) {
  gfx::TextStyle style;
  style.font = label.font();
  style.lineBreak = label.lineBreakMode();
  style.alignment = label.textAlignment();
  gfx::TextLayout layout(label.text(), style);
  const gfx::Size box{label.frame().size.width, std::numeric_limits<float>::max()};
  return layout.boundingSize(box, gfx::TextUsesLineFragmentOrigin | gfx::TextUsesFontLeading);
}

}  // namespace kt
