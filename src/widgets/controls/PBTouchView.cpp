#include "widgets/controls/PBTouchView.h"

#include <algorithm>

#include "platform/ui/Event.h"

namespace kt {

std::shared_ptr<ui::View> PBTouchView::hitTest(gfx::Point p, const ui::Event* event) {
  auto hit = ui::View::hitTest(p, event);
  if (!event || event->type() != ui::Event::Type::Touches) return hit;
  const auto& subs = subviews();
  const bool onLayer = hit.get() == this && std::none_of(subs.begin(), subs.end(), [&](const auto& sub) {
                         return sub == hit;
                       });
  // The block may dismiss the popover and drop the layer's last owner: keep it alive meanwhile.
  auto keep = shared();
  const Block block = onLayer ? m_outsideBlock : m_insideBlock;
  if (block) block();
  return hit;
}

}  // namespace kt
