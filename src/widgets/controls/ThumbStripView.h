#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/core/NotificationCenter.h"
#include "platform/ui/Control.h"

namespace gfx {
class Image;
}
namespace ui {
class ImageView;
}

namespace kt {

class ThumbStripView;

// Supplies the images of a thumbnail strip. The count is asked on the main thread; the images
// are asked on background queues of the strip's own, so imageAtIndex must be safe there and must
// not touch the picker. Held weakly (a request in progress holds it until it has answered).
class ThumbStripViewDataSource {
 public:
  virtual ~ThumbStripViewDataSource() = default;
  virtual uint64_t numberOfImagesForThumbStripView(ThumbStripView& picker) = 0;
  // Any thread; null leaves the thumbnail empty.
  virtual std::shared_ptr<const gfx::Image> imageAtIndex(ThumbStripView& picker, uint64_t index) = 0;
};

// Hears selections made by touch, on the main thread. Held weakly.
class ThumbStripViewDelegate {
 public:
  virtual ~ThumbStripViewDelegate() = default;
  virtual void didSelectImageWithIndex(ThumbStripView& picker, uint64_t index) {
    (void)picker;
    (void)index;
  }
};

// A horizontal strip of small thumbnails with an enlarged one over the selected image. When more
// images exist than thumbnails fit, the strip samples them evenly (the first and the last always
// shown) and a drag scrubs through every image. Touching selects; the delegate hears every touch
// event. Each thumbnail's image is asked on a serial queue made for that request and set on the
// main queue.
class ThumbStripView : public ui::Control {
 public:
  static constexpr uint64_t NotFound = static_cast<uint64_t>(INT64_MAX);
  static constexpr double ThumbnailWidth = 100;
  static constexpr double ThumbnailHeight = 60;
  static constexpr double ThumbnailSpacing = 10;
  static constexpr double BigThumbnailWidth = 120;
  static constexpr double BigThumbnailHeight = 70;
  // A thumbnail carries its image index plus this; the enlarged one its thumbnail's tag plus 900.
  static constexpr int ThumbnailTagBase = 100;
  static constexpr int BigThumbnailTagOffset = 900;

  explicit ThumbStripView(const gfx::Rect& frame = gfx::Rect());
  ~ThumbStripView() override;

  uint64_t selectedIndex() const { return m_selectedIndex.load(); }
  // Stored and shown when it differs from the current index; the delegate is not told.
  void setSelectedIndex(uint64_t index, bool animated = false);

  std::shared_ptr<ThumbStripViewDataSource> dataSource() const { return m_dataSource.lock(); }
  void setDataSource(std::weak_ptr<ThumbStripViewDataSource> dataSource);
  std::shared_ptr<ThumbStripViewDelegate> delegate() const { return m_delegate.lock(); }
  void setDelegate(std::weak_ptr<ThumbStripViewDelegate> delegate) { m_delegate = std::move(delegate); }

  // Thumbnails in the strip after the last reload.
  uint64_t visibleThumbnailsCount() const { return m_visibleCount; }
  // The strip holding the thumbnails; null before the first reload with images.
  const std::shared_ptr<ui::View>& contentView() const { return m_contentView; }
  std::shared_ptr<ui::ImageView> bigThumbnailImageView() const { return m_bigThumbnail.lock(); }
  const std::vector<std::shared_ptr<ui::ImageView>>& reusableThumbnailImageViews() const { return m_reusable; }

  // Rebuilds the strip and asks every shown image again.
  void reloadData();
  void reloadThumbnailAtIndex(uint64_t index);
  // Forgets the strip and the recycled thumbnails; the next reload starts empty.
  void customForReload();

  void layoutSubviews() override;
  bool beginTracking(const ui::Touch& touch, const ui::Event* event) override;
  bool continueTracking(const ui::Touch& touch, const ui::Event* event) override;
  bool drawsContent() const override { return false; }

  // The image index shown in each slot of a strip of `slots` thumbnails for `count` images.
  static std::vector<int64_t> sampledIndexes(int64_t count, int64_t slots);

 private:
  std::shared_ptr<ui::ImageView> createThumbnailImageViewWithSize(gfx::Size size) const;
  std::shared_ptr<ui::ImageView> dequeueReusableImageView();
  void prepareImageViewForReuse(const std::shared_ptr<ui::ImageView>& view);
  std::shared_ptr<ui::ImageView> thumbnailWithTag(int tag) const;
  void updateSelectedIndexForTouch(const ui::Touch& touch, bool fineGrained);
  void updateBigThumbnailPositionVerbose(bool verbose, bool animated);
  // Asks the image on a queue of its own; `deliver` gets it on the main queue.
  void requestImage(uint64_t index, bool readSelected, std::function<void(std::shared_ptr<const gfx::Image>)> deliver);
  int64_t imageCount();

  std::atomic<uint64_t> m_selectedIndex{NotFound};
  std::weak_ptr<ThumbStripViewDataSource> m_dataSource;
  std::weak_ptr<ThumbStripViewDelegate> m_delegate;
  uint64_t m_visibleCount = 0;
  std::shared_ptr<ui::View> m_contentView;
  std::weak_ptr<ui::ImageView> m_bigThumbnail;
  std::vector<std::shared_ptr<ui::ImageView>> m_reusable;
  core::Observation m_memoryWarning;
};

}  // namespace kt
