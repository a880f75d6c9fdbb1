#include "widgets/controls/SnapshotStackView.h"

#include <cmath>
#include <limits>

#include "imagecache/ICWebImageManager.h"
#include "imagecache/ICWebImageOperation.h"
#include "platform/core/ThreadCheck.h"
#include "platform/gfx/Context.h"
#include "platform/gfx/Image.h"
#include "platform/gfx/Path.h"
#include "platform/net/URL.h"

namespace kt {

namespace {

constexpr double Degrees = M_PI / 180;
// The image sits this far inside the white frame.
constexpr double Mat = 6.5;

// Rounded down in single precision, as the frame's edges are placed.
double floorf32(double v) { return std::floor(static_cast<float>(v)); }

gfx::Rect imageRectIn(const gfx::Rect& frame) {
  return gfx::Rect(frame.x() + Mat, frame.y() + Mat, frame.width() - 2 * Mat, frame.height() - 2 * Mat);
}

}  // namespace

SnapshotStackView::SnapshotStackView(const gfx::Rect& frame) : ui::View(frame) { commonInitialisation(); }

SnapshotStackView::~SnapshotStackView() {
  if (m_load) m_load->cancel();
}

void SnapshotStackView::awakeFromNib() { commonInitialisation(); }

void SnapshotStackView::commonInitialisation() {
  m_snapshotPositions[0].angleRotation = 2.5;
  m_snapshotPositions[1].angleRotation = -3.0;
  m_snapshotPositions[2].angleRotation = 0;
  setBackgroundColor(gfx::Color::clear());
  // Shadows fall downwards on every system this runs on.
  m_shadowDirSign = 1.0;
}

bool SnapshotStackView::hasDrawableImage() const {
  if (!m_image) return false;
  const gfx::Size size = m_image->size();
  return size.width > 0 && size.height > 0;
}

void SnapshotStackView::setImage(ImagePtr image) {
  m_image = std::move(image);
  if (hasDrawableImage()) {
    const gfx::Size size = m_image->size();
    m_imageAspect = size.width / size.height;
    if (m_displayStack) calculateScalingToFitStack();
  }
  setNeedsDisplay();
}

void SnapshotStackView::setDisplayAsStack(bool stack) {
  if (stack == m_displayStack) return;
  m_displayStack = stack;
  if (m_displayStack && hasDrawableImage()) calculateScalingToFitStack();
  setNeedsDisplay();
}

void SnapshotStackView::setImageWithURL(const std::optional<net::URL>& url) {
  KT_ASSERT_MAIN_THREAD();
  if (m_load) m_load->cancel();
  m_load.reset();
  if (!url) return;
  auto manager = ICWebImageManager::sharedManager();
  std::weak_ptr<ui::View> weakSelf = shared();
  // A cancelled load never completes, so only the latest load reaches the view.
  m_load = manager->downloadImageWithURL(
      url, 0, nullptr,
      [weakSelf, manager](ImagePtr image, std::optional<core::Error>, ICImageCacheSource, bool finished,
                          std::optional<net::URL>) {
        auto self = std::static_pointer_cast<SnapshotStackView>(weakSelf.lock());
        if (!self || !finished || !image) return;
        self->m_load.reset();
        self->webImageManager(*manager, std::move(image));
      });
}

void SnapshotStackView::webImageManager(ICWebImageManager&, ImagePtr image) {
  if (image && image->size().height > 0) setImage(std::move(image));
  else setImage(m_defaultImage);
  setNeedsLayout();
}

void SnapshotStackView::calculateScalingToFitStack() {
  const gfx::Size size = m_image->size();
  const gfx::Rect f = frame();
  // The tightest scale of any print wins, also when it enlarges: an image smaller than the view
  // fills it without spilling over its sides.
  double limit = std::numeric_limits<double>::infinity();
  for (size_t i = 0; i < m_snapshotPositions.size(); ++i) {
    auto& p = m_snapshotPositions[i];
    const double a = std::fabs(p.angleRotation) * Degrees;
    p.boundingRectSize = gfx::Size{size.width * std::cos(a) + size.height * std::sin(a),
                                   size.width * std::sin(a) + size.height * std::cos(a)};
    const double widthScale = f.width() / p.boundingRectSize.width;
    const double heightScale = f.height() / p.boundingRectSize.height;
    if (widthScale < limit) {
      m_minScaleShotIdx = static_cast<int64_t>(i);
      m_scaledUsingWidth = true;
      limit = widthScale;
    }
    if (heightScale < limit) {
      m_minScaleShotIdx = static_cast<int64_t>(i);
      m_scaledUsingWidth = false;
      limit = heightScale;
    }
  }
}

double SnapshotStackView::stackScale() const {
  const gfx::Size limiting = m_snapshotPositions[static_cast<size_t>(m_minScaleShotIdx)].boundingRectSize;
  return m_scaledUsingWidth ? (frame().width() - 11) / limiting.width : (frame().height() - 11) / limiting.height;
}

std::optional<gfx::Rect> SnapshotStackView::photoFrame() const {
  if (!hasDrawableImage()) return std::nullopt;
  const gfx::Rect b = bounds();
  const double mx = b.x() + b.width() / 2, my = b.y() + b.height() / 2;
  if (m_displayStack) {
    const double scale = stackScale();
    const double w = m_image->size().width * scale, h = m_image->size().height * scale;
    return gfx::Rect(floorf32(mx - w / 2) + 0.5, floorf32(my - h / 2) + 0.5, floorf32(w), floorf32(h));
  }
  double width, height;
  if (m_imageAspect > 1) {
    width = frame().width() - 14;
    height = width / m_imageAspect;
  } else {
    height = frame().height() - 24;
    width = height * m_imageAspect;
  }
  return gfx::Rect(floorf32(mx - (width / 2 + 7)) + 0.5, floorf32(my - (height / 2 + 7 + 5)) + 0.5,
                   floorf32(width + 14) - 1, floorf32(height + 14) - 1);
}

void SnapshotStackView::drawRect(gfx::Context& ctx, const gfx::Rect&) {
  const auto photo = photoFrame();
  if (!photo) return;
  ctx.setFillColor(gfx::Color::whiteColor());
  ctx.setStrokeColor(gfx::Color::gray());
  ctx.setLineWidth(1);

  if (m_displayStack) {
    const gfx::Rect b = bounds();
    const double mx = b.x() + b.width() / 2, my = b.y() + b.height() / 2;
    const double scale = stackScale();
    for (const auto& print : m_snapshotPositions) {
      gfx::Path outline;
      if (print.angleRotation == 0) {
        outline.addRect(*photo);
      } else {
        const double bw = scale * print.boundingRectSize.width, bh = scale * print.boundingRectSize.height;
        const double left = mx - bw / 2, top = my - bh / 2, right = left + bw, bottom = top + bh;
        const double s = std::sin(print.angleRotation * Degrees);
        if (print.angleRotation > 0) {
          outline.addLines({{left + bh * s, top}, {right, top + bw * s}, {right - bh * s, bottom}, {left, bottom - bw * s}});
        } else {
          outline.addLines({{left, top - bw * s}, {right + bh * s, top}, {right, bottom + bw * s}, {left - bh * s, bottom}});
        }
        outline.close();
      }
      ctx.save();
      ctx.save();
      ctx.setShadow(gfx::Size{0, 2 * m_shadowDirSign}, 6, gfx::Color(0, 0, 0, 0.4));
      ctx.fill(outline);
      ctx.restore();
      ctx.draw(outline, gfx::PathDrawingMode::FillStroke);
      ctx.restore();
    }
  } else {
    const double x = photo->x(), right = photo->x() + photo->width(), bottom = photo->y() + photo->height();
    gfx::Path curl;
    curl.moveTo({x + 5, bottom - 10});
    curl.lineTo({right - 5, bottom - 10});
    curl.lineTo({right - 5, bottom});
    curl.quadCurveTo({right * 0.5, bottom - 10}, {x + 5, bottom});
    curl.close();
    ctx.save();
    ctx.setShadow(gfx::Size{0, 5 * m_shadowDirSign}, 5, gfx::Color(0, 0, 0, 0.6));
    ctx.fill(curl);
    ctx.restore();
    ctx.draw(gfx::Path::rect(*photo), gfx::PathDrawingMode::FillStroke);
  }
  ctx.drawImage(*m_image, imageRectIn(*photo));
}

}  // namespace kt
