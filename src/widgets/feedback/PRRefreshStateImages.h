#pragma once

#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "widgets/feedback/PRRefreshComponent.h"

namespace gfx {
class Image;
}
namespace ui {
class ImageView;
}

namespace kt {

// The pictures of an animated-image refresh control: images and a duration per state, and the
// image view that plays them, made on first use and added to the control.
class PRRefreshStateImages {
 public:
  using Images = std::vector<std::shared_ptr<const gfx::Image>>;

  ui::ImageView& view(ui::View& owner);
  const std::map<PRRefreshState, Images>& stateImages() const { return m_images; }
  const std::map<PRRefreshState, double>& stateDurations() const { return m_durations; }
  const Images* imagesFor(PRRefreshState state) const;

  // A missing list is ignored. Otherwise the images and duration are stored for the state, and
  // when the first image is taller than the control, the control takes its height.
  void setImages(const std::optional<Images>& images, double duration, PRRefreshState state, ui::View& owner);
  // 0.1 s per image.
  void setImages(const std::optional<Images>& images, PRRefreshState state, ui::View& owner);

  // Shows the state's images, if it has any: one still, several as an animation of the stored
  // duration. Returns whether there were any.
  bool play(PRRefreshState state, ui::View& owner);
  // While the state has images: stops the animation and shows the image at `percent` of the list
  // (clamped to the list).
  void showFraction(PRRefreshState state, double percent, ui::View& owner);
  // Fills the control; the content centred when there is no text, else aligned right in the part
  // left of the text (`textWidth` wide, `gap` away).
  void place(ui::View& owner, bool hasText, double textWidth, double gap);

 private:
  std::map<PRRefreshState, Images> m_images;
  std::map<PRRefreshState, double> m_durations;
  std::shared_ptr<ui::ImageView> m_view;
};

// A refresh control of class Base that shows pictures for its states.
template <class Base>
class PRRefreshWithImages : public Base {
 public:
  using Images = PRRefreshStateImages::Images;
  using Base::Base;

  ui::ImageView& gifView() { return m_images.view(*this); }
  const std::map<PRRefreshState, Images>& stateImages() const { return m_images.stateImages(); }
  const std::map<PRRefreshState, double>& stateDurations() const { return m_images.stateDurations(); }
  void setImages(const std::optional<Images>& images, double duration, PRRefreshState state) {
    m_images.setImages(images, duration, state, *this);
  }
  void setImages(const std::optional<Images>& images, PRRefreshState state) { m_images.setImages(images, state, *this); }

  void prepare() override {
    Base::prepare();
    this->setLabelLeftInset(20);
  }

 protected:
  PRRefreshStateImages m_images;
};

}  // namespace kt
