#include "order/OrderScenery.h"

#include "app/ColorHexadecimal.h"
#include "order/RoomInfoBarView.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Layer.h"
#include "platform/ui/Button.h"
#include "widgets/controls/EffectLabel.h"
#include "widgets/controls/GridView.h"
#include "widgets/controls/GridViewLayoutStrategyFactory.h"

namespace kt::OrderScenery {

std::shared_ptr<EffectLabel> caption(ui::View& parent, const gfx::Rect& frame, const std::string& text, double size,
                                     bool left) {
  auto label = EffectLabel::create(frame);
  label->setText(text);
  label->setFont(gfx::Font::boldSystemFont(size));
  label->setTextColor(ColorHexadecimal::colorWithHexString("dfebff").value_or(gfx::Color::whiteColor()));
  label->setTextAlignment(left ? gfx::TextAlignment::Left : gfx::TextAlignment::Center);
  label->setShadowBlur(3);
  parent.addSubview(label);
  return label;
}

std::shared_ptr<ui::Button> button(ui::View& parent, const gfx::Rect& frame, const std::string& title,
                                   const char* hex) {
  auto button = ui::Button::create(ui::ButtonType::Custom, frame);
  button->setTitle(title);
  button->setTitleColor(gfx::Color::whiteColor());
  button->setTitleColor(gfx::Color::rgba(1, 1, 1, 0.35), ui::ControlStateDisabled);
  button->setBackgroundColor(ColorHexadecimal::colorWithHexString(hex).value_or(gfx::Color::darkGray()));
  button->layer()->setCornerRadius(8);
  parent.addSubview(button);
  return button;
}

std::shared_ptr<RoomInfoBarView> darkSceneWithRoomBar(ui::View& view, double top) {
  view.setBackgroundColor(gfx::Color::black());
  auto bar = RoomInfoBarView::initWithXib();
  if (bar) {
    bar->setFrame({{10, top}, bar->frame().size});
    view.addSubview(bar);
  }
  return bar;
}

bool landscapeOnly(ui::InterfaceOrientation orientation) {
  return orientation == ui::InterfaceOrientation::LandscapeRight ||
         orientation == ui::InterfaceOrientation::LandscapeLeft;
}

std::shared_ptr<GridView> pagedGrid(ui::ScrollView& area, int64_t spacing, GridViewDataSource* dataSource,
                                    ui::ScrollViewDelegate* delegate) {
  auto grid = GridView::create(area.bounds());
  grid->setAutoresizingMask(ui::AutoresizingFlexibleWidth | ui::AutoresizingFlexibleHeight);
  grid->setBackgroundColor(gfx::Color::clear());
  grid->setTag(0);
  area.addSubview(grid);
  grid->setLayoutStrategy(GridViewLayoutStrategyFactory::strategyFromType(2));
  grid->setStyle(1);
  grid->setShowFullSizeViewWithAlphaWhenTransforming(false);
  grid->setItemSpacing(spacing);
  grid->setMinEdgeInsets({5, 5, 5, 5});
  grid->setCenterGrid(true);
  grid->setDataSource(dataSource);
  grid->setDelegate(delegate);
  grid->setShowsHorizontalScrollIndicator(false);
  return grid;
}

}  // namespace kt::OrderScenery
