#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/gfx/Geometry.h"
#include "platform/ui/Application.h"

namespace ui {
class Button;
class ScrollView;
class ScrollViewDelegate;
class View;
}  // namespace ui

namespace kt {

class EffectLabel;
class GridView;
class GridViewDataSource;
class RoomInfoBarView;

// The parts of the ordering scenes that the screens draw for themselves, in the venue's dark look:
// light captions with a soft shadow and flat rounded buttons.
namespace OrderScenery {

// A light caption of `size` points (bold when asked), centred unless `left`, added to `parent`.
std::shared_ptr<EffectLabel> caption(ui::View& parent, const gfx::Rect& frame, const std::string& text,
                                     double size, bool left = false);
// A rounded button titled `title` on a background of the hexadecimal colour `hex`, added to
// `parent`; its title dims when it is disabled.
std::shared_ptr<ui::Button> button(ui::View& parent, const gfx::Rect& frame, const std::string& title,
                                   const char* hex);

// A black scene with the room bar made from its nib at (10, top), keeping its own size; null
// when the nib gives no bar.
std::shared_ptr<RoomInfoBarView> darkSceneWithRoomBar(ui::View& view, double top);

// The ordering screens turn with the two landscape orientations only.
bool landscapeOnly(ui::InterfaceOrientation orientation);

// The staff screens' grid over the whole of `area` (tag 0, resizing with it, clear): pages left
// to right, items `spacing` apart within 5-point edges, centred, no horizontal indicator.
std::shared_ptr<GridView> pagedGrid(ui::ScrollView& area, int64_t spacing, GridViewDataSource* dataSource,
                                    ui::ScrollViewDelegate* delegate);

}  // namespace OrderScenery

}  // namespace kt
