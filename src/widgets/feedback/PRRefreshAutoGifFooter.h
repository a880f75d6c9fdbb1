#pragma once

#include "widgets/feedback/PRRefreshAutoStateFooter.h"
#include "widgets/feedback/PRRefreshStateImages.h"

namespace kt {

// An automatic footer that plays pictures beside its text while loading.
class PRRefreshAutoGifFooter : public PRRefreshAutoStateFooter {
 public:
  using Images = PRRefreshStateImages::Images;
  using PRRefreshAutoStateFooter::PRRefreshAutoStateFooter;

  ui::ImageView& gifView() { return m_images.view(*this); }
  const std::map<PRRefreshState, Images>& stateImages() const { return m_images.stateImages(); }
  const std::map<PRRefreshState, double>& stateDurations() const { return m_images.stateDurations(); }
  void setImages(const std::optional<Images>& images, double duration, PRRefreshState state) {
    m_images.setImages(images, duration, state, *this);
  }
  void setImages(const std::optional<Images>& images, PRRefreshState state) { m_images.setImages(images, state, *this); }

  void prepare() override;
  void placeSubviews() override;
  void setState(PRRefreshState state) override;

 private:
  PRRefreshStateImages m_images;
};

}  // namespace kt
