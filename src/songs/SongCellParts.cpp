#include "songs/SongCellParts.h"

#include "app/ColorHexadecimal.h"
#include "app/ScreenSize.h"
#include "imagecache/ImageViewWebCache.h"
#include "platform/gfx/Image.h"
#include "platform/net/URL.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"

namespace kt::SongCellParts {

gfx::Rect frameFor(const gfx::Rect& frame, const gfx::Rect& largeFrame) {
  return pick(frame, largeFrame);
}

std::shared_ptr<ui::Label> addLabel(ui::View& parent, const gfx::Rect& frame, const gfx::Rect& largeFrame,
                                    const char* hexColor, std::shared_ptr<const gfx::Font> font) {
  auto label = ui::Label::create(frameFor(frame, largeFrame));
  label->setTextColor(ColorHexadecimal::colorWithHexString(hexColor).value_or(gfx::Color::black()));
  label->setFont(std::move(font));
  label->setTextAlignment(gfx::TextAlignment::Left);
  label->setNumberOfLines(1);
  label->setBackgroundColor(gfx::Color::clear());
  parent.addSubview(label);
  return label;
}

std::shared_ptr<ui::ImageView> addPicture(ui::View& parent, const gfx::Rect& frame, const gfx::Rect& largeFrame,
                                          const char* imageName) {
  auto view = ui::ImageView::create(frameFor(frame, largeFrame));
  view->setImage(gfx::Image::named(imageName));
  parent.addSubview(view);
  return view;
}

std::shared_ptr<ui::Button> addButton(ui::TableViewCell& cell, const gfx::Rect& frame, const gfx::Rect& largeFrame,
                                      std::function<void(ui::TableViewCell&)> action) {
  auto button = ui::Button::create(ui::ButtonType::Custom, frameFor(frame, largeFrame));
  button->setBackgroundColor(gfx::Color::clear());
  std::weak_ptr<ui::Responder> weakCell = cell.weak_from_this();
  button->addTarget(
      &cell,
      [weakCell, action = std::move(action)](ui::Control&, const ui::Event*) {
        if (auto self = std::static_pointer_cast<ui::TableViewCell>(weakCell.lock())) action(*self);
      },
      ui::ControlEventTouchUpInside);
  cell.addSubview(button);
  return button;
}

void loadSingerPicture(const std::shared_ptr<ui::ImageView>& view, const std::string& address) {
  ImageViewWebCache::ic_setImageWithURL(view, net::URL::fromString(address), gfx::Image::named("SongsDefaultPic"));
}

}  // namespace kt::SongCellParts
