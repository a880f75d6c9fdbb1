#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "platform/ui/View.h"

namespace gfx {
class Image;
}
namespace net {
class URL;
}

namespace kt {

class ICWebImageManager;
class ICWebImageOperation;

// Draws one image as a photograph in a white frame with a grey hairline: a single print with a
// curled-paper shadow beneath it, or a small stack of three prints, two of them slightly turned,
// each with a soft shadow. Draws nothing while it has no image. Main thread only.
class SnapshotStackView : public ui::View {
 public:
  using ImagePtr = std::shared_ptr<const gfx::Image>;

  // One print of the stack: its turn in degrees and the box that holds the turned image.
  struct SnapshotPosition {
    double angleRotation = 0;
    gfx::Size boundingRectSize;
  };

  static std::shared_ptr<SnapshotStackView> create(const gfx::Rect& frame = gfx::Rect()) {
    return std::make_shared<SnapshotStackView>(frame);
  }
  explicit SnapshotStackView(const gfx::Rect& frame = gfx::Rect());
  ~SnapshotStackView() override;
  // The set-up of a view loaded from a nib.
  void awakeFromNib();

  const ImagePtr& image() const { return m_image; }
  void setImage(ImagePtr image);
  bool displayAsStack() const { return m_displayStack; }
  void setDisplayAsStack(bool stack);
  // Shown instead when a download yields an image with no height.
  const ImagePtr& DefaultImage() const { return m_defaultImage; }
  void setDefaultImage(ImagePtr image) { m_defaultImage = std::move(image); }

  // Loads the image at the URL through the shared image manager; a later call (or a null URL)
  // drops the load before it.
  void setImageWithURL(const std::optional<net::URL>& url);
  // A finished download: its image when it has a height, else the default image.
  void webImageManager(ICWebImageManager& manager, ImagePtr image);

  const std::array<SnapshotPosition, 3>& snapshotPositions() const { return m_snapshotPositions; }
  bool scaledUsingWidth() const { return m_scaledUsingWidth; }
  int64_t minScaleShotIdx() const { return m_minScaleShotIdx; }
  // The white frame the image is drawn in (the flat print of the stack); nothing without an image.
  std::optional<gfx::Rect> photoFrame() const;

  void drawRect(gfx::Context& ctx, const gfx::Rect& rect) override;
  bool drawsContent() const override { return true; }

 private:
  void commonInitialisation();
  void calculateScalingToFitStack();
  // Whether there is an image with an area to draw.
  bool hasDrawableImage() const;
  double stackScale() const;

  ImagePtr m_image;
  double m_imageAspect = 0;
  bool m_displayStack = false;
  std::array<SnapshotPosition, 3> m_snapshotPositions{};
  double m_shadowDirSign = 1.0;
  bool m_scaledUsingWidth = false;
  int64_t m_minScaleShotIdx = 0;
  ImagePtr m_defaultImage;
  std::shared_ptr<ICWebImageOperation> m_load;
};

}  // namespace kt
