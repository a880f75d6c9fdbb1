#pragma once

// The pieces the song and singer cells are built from, each placed at the frame for the
// current screen: the second frame on the 12.9-inch tablet, the first elsewhere, decided anew
// for every piece.

#include <functional>
#include <memory>
#include <string>

#include "platform/ui/TableView.h"
#include "platform/ui/TableViewCell.h"

namespace gfx {
class Font;
}
namespace ui {
class Button;
class ImageView;
class Label;
class View;
}  // namespace ui

namespace kt::SongCellParts {

// A cell of the given kind with its subviews built (its setupMyCell run).
template <class Cell>
std::shared_ptr<Cell> makeCell(ui::TableViewCellStyle style, const std::string& reuseIdentifier) {
  auto cell = std::make_shared<Cell>(style, reuseIdentifier);
  cell->setupMyCell();
  return cell;
}

// A free cell of that kind from the table under "cellIdentify", else a new one of the default
// style with that identifier and no selection highlight.
template <class Cell>
std::shared_ptr<Cell> reusableCell(ui::TableView& tableView) {
  auto cell = std::dynamic_pointer_cast<Cell>(tableView.dequeueReusableCellWithIdentifier("cellIdentify"));
  if (!cell) {
    cell = Cell::create(ui::TableViewCellStyle::Default, "cellIdentify");
    cell->setSelectionStyle(ui::TableViewCellSelectionStyle::None);
  }
  return cell;
}

gfx::Rect frameFor(const gfx::Rect& frame, const gfx::Rect& largeFrame);
// A left-aligned, one-line label with a clear background in the colour of the hexadecimal
// text, added to `parent`.
std::shared_ptr<ui::Label> addLabel(ui::View& parent, const gfx::Rect& frame, const gfx::Rect& largeFrame,
                                    const char* hexColor, std::shared_ptr<const gfx::Font> font);
// An image view showing the named picture, added to `parent`.
std::shared_ptr<ui::ImageView> addPicture(ui::View& parent, const gfx::Rect& frame, const gfx::Rect& largeFrame,
                                          const char* imageName);

// A clear custom button added to `cell`, whose touch-up-inside calls `action` with the cell while
// the cell lives (held across the call: the action may reload the table that shows the cell).
std::shared_ptr<ui::Button> addButton(ui::TableViewCell& cell, const gfx::Rect& frame, const gfx::Rect& largeFrame,
                                      std::function<void(ui::TableViewCell&)> action);

// Loads the singer picture at `address` into the view through the image cache, with the
// placeholder "SongsDefaultPic" shown at once; an address the URL parser refuses (or a failed
// load) leaves the placeholder.
void loadSingerPicture(const std::shared_ptr<ui::ImageView>& view, const std::string& address);

}  // namespace kt::SongCellParts
