#include "widgets/feedback/PRRefreshStateImages.h"

#include <algorithm>
#include <cmath>

#include "platform/gfx/Image.h"
#include "platform/ui/ImageView.h"
#include "widgets/feedback/ViewPRExtension.h"

namespace kt {

ui::ImageView& PRRefreshStateImages::view(ui::View& owner) {
  if (!m_view) {
    m_view = ui::ImageView::create();
    owner.addSubview(m_view);
  }
  return *m_view;
}

const PRRefreshStateImages::Images* PRRefreshStateImages::imagesFor(PRRefreshState state) const {
  auto it = m_images.find(state);
  return it == m_images.end() || it->second.empty() ? nullptr : &it->second;
}

void PRRefreshStateImages::setImages(const std::optional<Images>& images, double duration, PRRefreshState state,
                                     ui::View& owner) {
  if (!images) return;
  m_images[state] = *images;
  m_durations[state] = duration;
  if (!images->empty() && images->front() && images->front()->size().height > pr_h(owner)) {
    setPr_h(owner, images->front()->size().height);
  }
}

void PRRefreshStateImages::setImages(const std::optional<Images>& images, PRRefreshState state, ui::View& owner) {
  setImages(images, images ? double(images->size()) * 0.1 : 0.0, state, owner);
}

bool PRRefreshStateImages::play(PRRefreshState state, ui::View& owner) {
  const Images* images = imagesFor(state);
  if (!images) return false;
  ui::ImageView& gif = view(owner);
  gif.stopAnimating();
  if (images->size() == 1) {
    gif.setImage(images->front());
  } else {
    gif.setAnimationImages(*images);
    gif.setAnimationDuration(m_durations[state]);
    gif.startAnimating();
  }
  return true;
}

void PRRefreshStateImages::showFraction(PRRefreshState state, double percent, ui::View& owner) {
  const Images* images = imagesFor(state);
  if (!images) return;
  ui::ImageView& gif = view(owner);
  gif.stopAnimating();
  const double count = double(images->size());
  double index = std::floor(count * percent);
  if (!(index >= 0)) index = 0;
  index = std::min(index, count - 1);
  gif.setImage((*images)[size_t(index)]);
}

void PRRefreshStateImages::place(ui::View& owner, bool hasText, double textWidth, double gap) {
  ui::ImageView& gif = view(owner);
  gif.setFrame(owner.bounds());
  if (!hasText) {
    gif.setContentMode(ui::ContentMode::Center);
    return;
  }
  gif.setContentMode(ui::ContentMode::Right);
  setPr_w(gif, pr_w(owner) * 0.5 - textWidth * 0.5 - gap);
}

}  // namespace kt
