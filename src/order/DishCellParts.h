#pragma once

// The pieces the dish cells' nibs are built from, at fixed frames (the ordering screens keep one
// layout on every tablet), and the loading of a dish cell from its nib.

#include <memory>
#include <string>

#include "app/ColorHexadecimal.h"
#include "platform/gfx/TextLayout.h"
#include "platform/ui/Label.h"
#include "platform/ui/Nib.h"

namespace gfx {
class Font;
}
namespace ui {
class ImageView;
class View;
}  // namespace ui

namespace kt::DishCellParts {

// A one-line label of kind L (a ui::Label or one of its subclasses) with a clear background, in
// the colour of the hexadecimal text, added to `parent`.
template <class L>
std::shared_ptr<L> addLabel(ui::View& parent, const gfx::Rect& frame, const char* hexColor,
                            std::shared_ptr<const gfx::Font> font,
                            gfx::TextAlignment alignment = gfx::TextAlignment::Left) {
  auto label = std::make_shared<L>(frame);
  label->setBackgroundColor(gfx::Color::clear());
  label->setTextColor(ColorHexadecimal::colorWithHexString(hexColor).value_or(gfx::Color::whiteColor()));
  label->setFont(std::move(font));
  label->setTextAlignment(alignment);
  label->setNumberOfLines(1);
  parent.addSubview(label);
  return label;
}

// An image view filled with the named picture (cropped to its frame), added to `parent`.
std::shared_ptr<ui::ImageView> addPhoto(ui::View& parent, const gfx::Rect& frame, const std::string& imageName);

// The nib's last top-level object when it is a Cell; null when the nib has no objects, or its
// last one is something else.
template <class Cell>
std::shared_ptr<Cell> lastNibObject(const std::string& nibName) {
  const ui::Nib::Objects objects = ui::Nib::load(nibName, nullptr);
  return objects.empty() ? nullptr : std::dynamic_pointer_cast<Cell>(objects.back());
}

}  // namespace kt::DishCellParts
