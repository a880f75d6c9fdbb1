#include "widgets/feedback/PlainStatusBarView.h"

#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"

namespace kt {

PlainStatusBarView::PlainStatusBarView(const gfx::Rect& frame) : ui::View(frame) {
  const double W = frame.width();
  const double H = frame.height();
  // The icon side and the label height; the step between the pairs.
  const double e = H - 6;
  const double q = W * 0.25 - 500;
  // Added in the order of the strip, each icon before its label.
  m_strip.build(*this, e, {{{100, 100 + e, q - e},
                            {q + 200, q + 200 + e, q - e},
                            {2 * q + 300, 2 * q + 300 + e, q - e},
                            {3 * q + 400, 3 * q + 400 + e, q - e}}});
}

PlainStatusBarView::~PlainStatusBarView() = default;

}  // namespace kt
