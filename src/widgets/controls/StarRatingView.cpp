#include "widgets/controls/StarRatingView.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "platform/gfx/Image.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Touch.h"

namespace kt {

namespace {

// The value as "%0.2f" writes it, read back.
float twoDecimals(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%0.2f", v);
  return std::strtof(text, nullptr);
}

}  // namespace

StarRatingView::StarRatingView(const gfx::Rect& frame, int32_t numberOfStar)
    : ui::View(frame), m_numberOfStar(numberOfStar) {
  commonInit();
}

void StarRatingView::awakeFromNib() {
  m_numberOfStar = 5;
  commonInit();
}

void StarRatingView::commonInit() {
  if (!m_stringBack) m_stringBack = "backgroundStar";
  if (!m_stringFore) m_stringFore = "foregroundStar";
  m_starBackgroundView = buidlStarViewWithImageName(m_stringBack);
  m_starForegroundView = buidlStarViewWithImageName2(m_stringFore);
  addSubview(m_starBackgroundView);
  addSubview(m_starForegroundView);

  const double h = bounds().size.height;
  m_imgVProgress = ui::ImageView::create(gfx::Rect(-0.6 * h, -0.25 * h, 1.5 * h, 1.5 * h));
  if (m_stringProgress) m_imgVProgress->setImage(gfx::Image::named(*m_stringProgress));
  addSubview(m_imgVProgress);
}

std::shared_ptr<ui::View> StarRatingView::buidlStarViewWithImageName(const std::optional<std::string>& name) const {
  const gfx::Rect b = bounds();
  auto row = ui::View::create(b);
  row->setClipsToBounds(true);
  const auto image = name ? gfx::Image::named(*name) : nullptr;
  const int32_t n = m_numberOfStar;
  for (int32_t i = 0; i < n; ++i) {
    auto star = ui::ImageView::create(gfx::Rect(b.size.width * i / n, 0, b.size.width / n, b.size.height));
    star->setImage(image);
    row->addSubview(star);
  }
  return row;
}

float StarRatingView::valueAt(double x) const {
  const double wf = frame().size.width;
  if (!(wf > 0)) return 0;
  return twoDecimals(x / wf);
}

void StarRatingView::changeStarForegroundViewWithPoint(gfx::Point point) {
  const gfx::Size bs = bounds().size;
  const gfx::Size fs = frame().size;
  double x = std::max(point.x, 0.0);
  if (x > fs.width) x = fs.width;

  const double h = bs.height;
  double t = x - 0.75 * h;
  t = std::min(t, bs.width - 1.2 * h);
  t = std::max(t, -0.3 * h);
  m_imgVProgress->setFrame(gfx::Rect(t, -0.25 * h, 1.5 * h, 1.5 * h));

  const float v = valueAt(x);
  m_starForegroundView->setFrame(gfx::Rect(0, 0, fs.width * v, fs.height));

  if (StarRatingViewDelegate* d = delegate(); d && d->starRatingView) d->starRatingView(*this, v);
}

void StarRatingView::touchesMoved(const ui::TouchSet& touches, const ui::Event* /*event*/) {
  if (touches.empty()) return;
  const gfx::Point p = touches.front()->locationInView(this);
  if (gfx::Rect(gfx::Point{}, frame().size).contains(p)) changeStarForegroundViewWithPoint(p);
}

void StarRatingView::touchesEnded(const ui::TouchSet& touches, const ui::Event* /*event*/) {
  if (touches.empty()) return;
  const gfx::Point p = touches.front()->locationInView(this);
  std::weak_ptr<StarRatingView> weak = std::static_pointer_cast<StarRatingView>(shared());
  ui::View::animate(0.2, [weak, p] {
    if (auto self = weak.lock()) self->changeStarForegroundViewWithPoint(p);
  });
  const float value = std::clamp(valueAt(p.x), 0.0f, 1.0f);
  if (StarRatingViewDelegate* d = delegate()) d->didEndSlideTheProgress(*this, value);
}

void StarRatingView::setScore(float score, bool animated, Completion completion) {
  // Not a number counts as none.
  const float s = std::isnan(score) ? 0.0f : std::clamp(score, 0.0f, 1.0f);
  const gfx::Point point{frame().size.width * s, 0};
  if (!animated) {
    changeStarForegroundViewWithPoint(point);
    return;
  }
  std::weak_ptr<StarRatingView> weak = std::static_pointer_cast<StarRatingView>(shared());
  ui::View::animate(
      0.2,
      [weak, point] {
        if (auto self = weak.lock()) self->changeStarForegroundViewWithPoint(point);
      },
      [completion = std::move(completion)](bool finished) {
        if (completion) completion(finished);
      });
}

}  // namespace kt
