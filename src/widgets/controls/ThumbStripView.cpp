#include "widgets/controls/ThumbStripView.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "platform/core/Log.h"
#include "platform/core/Queue.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Application.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Touch.h"

namespace kt {

namespace {

constexpr double kPitch = ThumbStripView::ThumbnailWidth + ThumbStripView::ThumbnailSpacing;
// Tags are ints: more images than a tag can number are not shown.
constexpr int64_t kMaxImages = INT_MAX - 2 * ThumbStripView::BigThumbnailTagOffset;

int thumbnailTag(int64_t index) { return static_cast<int>(index) + ThumbStripView::ThumbnailTagBase; }

}  // namespace

ThumbStripView::ThumbStripView(const gfx::Rect& frame) : ui::Control(frame) {
  setSelectedIndex(NotFound);
  m_memoryWarning = core::Observation(core::NotificationCenter::defaultCenter(),
                                      ui::Application::DidReceiveMemoryWarningNotification, nullptr,
                                      [this](const core::Notification&) { m_reusable.clear(); });
}

ThumbStripView::~ThumbStripView() = default;

void ThumbStripView::setDataSource(std::weak_ptr<ThumbStripViewDataSource> dataSource) {
  bool changed = dataSource.owner_before(m_dataSource) || m_dataSource.owner_before(dataSource);
  m_dataSource = std::move(dataSource);
  if (changed) setNeedsLayout();
}

void ThumbStripView::setSelectedIndex(uint64_t index, bool animated) {
  if (index == m_selectedIndex.load()) return;
  m_selectedIndex.store(index);
  if (index != NotFound) updateBigThumbnailPositionVerbose(false, animated);
}

int64_t ThumbStripView::imageCount() {
  auto source = m_dataSource.lock();
  if (!source) return 0;
  uint64_t n = source->numberOfImagesForThumbStripView(*this);
  return static_cast<int64_t>(std::min<uint64_t>(n, kMaxImages));
}

std::vector<int64_t> ThumbStripView::sampledIndexes(int64_t count, int64_t slots) {
  std::vector<int64_t> out;
  if (count <= 0 || slots <= 0) return out;
  out.reserve(static_cast<size_t>(std::min(count, slots)));
  if (slots >= count) {
    for (int64_t k = 0; k < count; ++k) out.push_back(k);
  } else if (slots == 1) {
    out.push_back(0);  // one thumbnail: the first image (no span to spread over)
  } else {
    for (int64_t k = 0; k < slots; ++k) {
      float at = static_cast<float>(k) / static_cast<float>(slots - 1) * static_cast<float>(count - 1);
      out.push_back(std::clamp<int64_t>(static_cast<int64_t>(at), 0, count - 1));
    }
  }
  return out;
}

std::shared_ptr<ui::ImageView> ThumbStripView::createThumbnailImageViewWithSize(gfx::Size size) const {
  auto view = ui::ImageView::create(gfx::Rect(0, 0, size.width, size.height));
  view->setContentMode(ui::ContentMode::ScaleAspectFill);
  view->setBackgroundColor(gfx::Color::gray());
  view->layer()->setBorderColor(gfx::Color::whiteColor());
  view->layer()->setBorderWidth(1);
  view->setClipsToBounds(true);
  view->setUserInteractionEnabled(false);
  return view;
}

std::shared_ptr<ui::ImageView> ThumbStripView::dequeueReusableImageView() {
  if (m_reusable.empty()) return nullptr;
  auto view = std::move(m_reusable.back());
  m_reusable.pop_back();
  return view;
}

void ThumbStripView::prepareImageViewForReuse(const std::shared_ptr<ui::ImageView>& view) {
  if (view->tag() == 0) return;
  view->setImage(nullptr);
  view->setTag(0);
  m_reusable.push_back(view);
  view->removeFromSuperview();
}

std::shared_ptr<ui::ImageView> ThumbStripView::thumbnailWithTag(int tag) const {
  if (!m_contentView) return nullptr;
  for (const auto& v : m_contentView->subviews())
    if (v->tag() == tag) return std::dynamic_pointer_cast<ui::ImageView>(v);
  return nullptr;
}

void ThumbStripView::requestImage(uint64_t index, bool readSelected,
                                  std::function<void(std::shared_ptr<const gfx::Image>)> deliver) {
  // The picker and its views stay alive until the main-queue block has run; they are handed on
  // to it, so that they are let go on the main thread.
  auto self = std::static_pointer_cast<ThumbStripView>(shared());
  std::weak_ptr<ThumbStripViewDataSource> source = m_dataSource;
  auto queue = core::Queue::createSerial("image loading queue");
  queue->async([self, source, index, readSelected, deliver = std::move(deliver)]() mutable {
    std::shared_ptr<const gfx::Image> image;
    uint64_t asked = readSelected ? self->m_selectedIndex.load() : index;
    if (auto s = source.lock()) image = s->imageAtIndex(*self, asked);
    core::Queue::main()->async([self = std::move(self), deliver = std::move(deliver), image = std::move(image)] {
      deliver(image);
    });
  });
}

void ThumbStripView::reloadData() {
  const int64_t n = imageCount();
  if (n <= 0) return;

  const double boundsWidth = bounds().width();
  double stripWidth = static_cast<double>(n) * ThumbnailWidth + static_cast<double>(n - 1) * ThumbnailSpacing;
  int64_t count = n;
  if (stripWidth > boundsWidth) {
    // At least one thumbnail, however narrow the picker.
    double fit = std::floor((boundsWidth + ThumbnailSpacing) / kPitch);
    count = fit >= 1 ? std::min<int64_t>(static_cast<int64_t>(fit), n) : 1;
    KT_LOG("items count: %d, new items count: %d, width: %.0f", static_cast<int>(n), static_cast<int>(count),
           boundsWidth);
    stripWidth = static_cast<double>(count) * ThumbnailWidth + (static_cast<double>(count) * ThumbnailSpacing - ThumbnailSpacing);
  }
  m_visibleCount = static_cast<uint64_t>(count);
  const std::vector<int64_t> shown = sampledIndexes(n, count);

  if (m_contentView) {
    std::vector<std::shared_ptr<ui::ImageView>> stale;
    for (const auto& v : m_contentView->subviews()) {
      int64_t index = static_cast<int64_t>(v->tag()) - ThumbnailTagBase;
      if (std::find(shown.begin(), shown.end(), index) == shown.end())
        if (auto iv = std::dynamic_pointer_cast<ui::ImageView>(v)) stale.push_back(iv);
    }
    for (const auto& v : stale) prepareImageViewForReuse(v);
    gfx::Rect f = m_contentView->frame();
    m_contentView->setFrame(gfx::Rect(f.x(), f.y(), stripWidth, f.height()));
  } else {
    m_contentView = ui::View::create(gfx::Rect(0, 0, stripWidth, ThumbnailHeight));
    m_contentView->setUserInteractionEnabled(false);
    m_contentView->setBackgroundColor(gfx::Color::clear());
    addSubview(m_contentView);
  }

  for (size_t k = 0; k < shown.size(); ++k) {
    const int64_t index = shown[k];
    auto thumb = thumbnailWithTag(thumbnailTag(index));
    if (!thumb) {
      thumb = dequeueReusableImageView();
      if (!thumb) thumb = createThumbnailImageViewWithSize({ThumbnailWidth, ThumbnailHeight});
      thumb->setTag(thumbnailTag(index));
    }
    gfx::Rect f = thumb->frame();
    thumb->setFrame(gfx::Rect(static_cast<double>(k) * kPitch, f.y(), f.width(), f.height()));
    m_contentView->addSubview(thumb);
    requestImage(static_cast<uint64_t>(index), false, [thumb](std::shared_ptr<const gfx::Image> image) {
      thumb->setImage(std::move(image));
    });
  }
  updateBigThumbnailPositionVerbose(false, false);
}

void ThumbStripView::reloadThumbnailAtIndex(uint64_t index) {
  if (index > static_cast<uint64_t>(kMaxImages)) return;
  auto thumb = thumbnailWithTag(thumbnailTag(static_cast<int64_t>(index)));
  if (!thumb) return;
  auto self = std::static_pointer_cast<ThumbStripView>(shared());
  requestImage(index, false, [self, thumb, index](std::shared_ptr<const gfx::Image> image) {
    thumb->setImage(image);
    if (index == self->selectedIndex())
      if (auto big = self->bigThumbnailImageView()) big->setImage(image);
  });
}

void ThumbStripView::customForReload() {
  if (m_contentView) m_contentView->removeFromSuperview();
  m_contentView = nullptr;
  m_reusable = {};
}

void ThumbStripView::layoutSubviews() {
  reloadData();
  if (m_contentView) {
    gfx::Point c = superview() ? convertPointFrom(center(), superview()) : gfx::Point{bounds().midX(), bounds().midY()};
    m_contentView->setCenter(c);
  }
  if (auto big = bigThumbnailImageView()) {
    gfx::Rect f = big->frame();
    big->setFrame(gfx::Rect(f.x(), (bounds().height() - f.height()) / 2, f.width(), f.height()));
    if (auto target = thumbnailWithTag(big->tag() - BigThumbnailTagOffset))
      big->setCenter(convertPointFrom(target->center(), m_contentView.get()));
  }
}

bool ThumbStripView::beginTracking(const ui::Touch& touch, const ui::Event*) {
  updateSelectedIndexForTouch(touch, false);
  return true;
}

bool ThumbStripView::continueTracking(const ui::Touch& touch, const ui::Event*) {
  updateSelectedIndexForTouch(touch, true);
  return true;
}

void ThumbStripView::updateSelectedIndexForTouch(const ui::Touch& touch, bool fineGrained) {
  if (!m_contentView) return;
  const int64_t n = imageCount();
  if (n <= 0) return;  // nothing to select
  const double x = touch.locationInView(m_contentView.get()).x;
  const int64_t count = std::max<int64_t>(1, static_cast<int64_t>(m_visibleCount));
  double at = 0;
  if (fineGrained) {
    double width = m_contentView->bounds().width();
    at = width > 0 ? std::floor(x / width * static_cast<double>(n - 1)) : 0;
  } else if (count > 1) {
    at = std::floor(std::floor(x / kPitch) / static_cast<double>(count - 1) * static_cast<double>(n - 1));
  }
  // A single thumbnail spans no range: the coarse touch then selects the first image.
  int64_t index = std::isfinite(at) ? static_cast<int64_t>(std::clamp(at, 0.0, static_cast<double>(n - 1))) : 0;
  m_selectedIndex.store(static_cast<uint64_t>(index));
  updateBigThumbnailPositionVerbose(true, false);
}

void ThumbStripView::updateBigThumbnailPositionVerbose(bool verbose, bool animated) {
  const uint64_t selected = m_selectedIndex.load();
  if (selected == NotFound || !m_contentView || m_contentView->subviews().empty()) return;

  // The selected image's thumbnail, else the nearest shown one; a tie goes to the higher index.
  std::shared_ptr<ui::View> target;
  uint64_t best = UINT64_MAX;
  for (const auto& v : m_contentView->subviews()) {
    int64_t index = static_cast<int64_t>(v->tag()) - ThumbnailTagBase;
    if (index < 0) continue;
    uint64_t u = static_cast<uint64_t>(index);
    uint64_t d = u >= selected ? u - selected : selected - u;
    if (d < best || (d == best && target && u > static_cast<uint64_t>(target->tag() - ThumbnailTagBase))) {
      best = d;
      target = v;
    }
  }
  if (!target) return;

  auto big = bigThumbnailImageView();
  if (!big) {
    big = createThumbnailImageViewWithSize({BigThumbnailWidth, BigThumbnailHeight});
    m_bigThumbnail = big;
    addSubview(big);
  }
  auto position = [this, big, target] {
    big->setCenter(convertPointFrom(target->center(), m_contentView.get()));
    requestImage(0, true, [big](std::shared_ptr<const gfx::Image> image) { big->setImage(std::move(image)); });
  };
  if (animated)
    ui::View::animate(0.2, position);
  else
    position();
  big->setTag(target->tag() + BigThumbnailTagOffset);
  bringSubviewToFront(big.get());

  if (verbose)
    if (auto d = m_delegate.lock()) d->didSelectImageWithIndex(*this, m_selectedIndex.load());
}

}  // namespace kt
