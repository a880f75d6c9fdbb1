#include "order/DishCellParts.h"

#include "platform/gfx/Image.h"
#include "platform/ui/ImageView.h"

namespace kt::DishCellParts {

std::shared_ptr<ui::ImageView> addPhoto(ui::View& parent, const gfx::Rect& frame, const std::string& imageName) {
  auto view = ui::ImageView::create(frame);
  view->setImage(gfx::Image::named(imageName));
  view->setContentMode(ui::ContentMode::ScaleAspectFill);
  view->setClipsToBounds(true);
  parent.addSubview(view);
  return view;
}

}  // namespace kt::DishCellParts
