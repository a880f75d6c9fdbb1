#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/gfx/Color.h"
#include "platform/gfx/Gradient.h"
#include "platform/gfx/Path.h"
#include "platform/ui/IndexPath.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TableViewCell.h"
#include "platform/ui/View.h"

namespace gfx {
class Layer;
}

namespace kt {

// Where a cell stands in its section.
enum StyledTableViewCellPosition : int32_t {
  StyledTableViewCellPositionTop = 0,
  StyledTableViewCellPositionMiddle = 1,
  StyledTableViewCellPositionBottom = 2,
  StyledTableViewCellPositionAlone = 3,
};

enum StyledTableViewCellBackgroundBehavior : int32_t {
  StyledTableViewCellBackgroundBehaviorNormal = 0,
  StyledTableViewCellBackgroundBehaviorSelected = 1,
};

class StyledTableViewCell;

// The drawn card behind a styled cell (normal or selected). It keeps no style of its own: every
// decision reads the cell at draw time. The cell is not owned; the cell clears it when it goes.
class StyledTableViewCellBackground : public ui::View {
 public:
  StyledTableViewCellBackground(const gfx::Rect& frame, int32_t behavior);
  ~StyledTableViewCellBackground() override;

  // The card outline: a plain rectangle when the cell has no corner radius, else the corners of
  // the cell's position rounded.
  gfx::Path createRoundedPath(const gfx::Rect& rect) const;
  // Type 1 is the selection gradient, any other the normal one; nullopt without colours.
  std::optional<gfx::Gradient> newGradientFromType(int type) const;
  void drawGradient(gfx::Context& ctx, const gfx::Rect& rect, int type) const;
  void drawBackground(gfx::Context& ctx, const gfx::Rect& rect) const;
  void drawLineSeparator(gfx::Context& ctx, const gfx::Rect& rect) const;
  // Covers the shadow the card above casts on the top edge of Middle and Bottom cells.
  void fixShadow(gfx::Context& ctx, const gfx::Rect& rect) const;
  void drawBorder(gfx::Context& ctx, const gfx::Rect& rect, bool shadow) const;
  gfx::Rect innerFrame(const gfx::Rect& rect) const;

  void drawRect(gfx::Context& ctx, const gfx::Rect& rect) override;
  bool drawsContent() const override { return true; }

  StyledTableViewCell* cell() const { return m_cell; }
  void setCell(StyledTableViewCell* cell) { m_cell = cell; }
  int32_t behavior() const { return m_behavior; }
  void setBehavior(int32_t behavior) { m_behavior = behavior; }

 private:
  int32_t m_behavior = StyledTableViewCellBackgroundBehaviorNormal;
  StyledTableViewCell* m_cell = nullptr;
};

// A table cell drawn as part of a rounded card per section in a grouped table: border, drop
// shadow, separator, optional gradient, and a gradient when selected. Hand it out with
// prepareForTableView for each row, and add neededHeightForIndexPath to each row's height.
class StyledTableViewCell : public ui::TableViewCell {
 public:
  static std::shared_ptr<StyledTableViewCell> create(ui::TableViewCellStyle style = ui::TableViewCellStyle::Default,
                                                     const std::string& reuseIdentifier = "") {
    return std::make_shared<StyledTableViewCell>(style, reuseIdentifier);
  }
  StyledTableViewCell(ui::TableViewCellStyle style, const std::string& reuseIdentifier);
  ~StyledTableViewCell() override;

  bool tableViewIsGrouped() const { return m_tableViewStyle == ui::TableViewStyle::Grouped; }
  float shadowMargin() const { return tableViewIsGrouped() ? 4.0f : 0.0f; }
  ui::TableViewStyle tableViewStyle() const { return m_tableViewStyle; }

  virtual void prepareForTableView(ui::TableView& tableView, const ui::IndexPath& indexPath);
  void prepareForReuse() override;
  void layoutSubviews() override;
  // Moves the content view onto the card (the platform puts it over the whole cell).
  void correctContentViewFrame();

  // The card in the cell's coordinates.
  gfx::Rect innerFrame() const;
  // A shape layer the size of the card, with the card's rounded corners.
  std::shared_ptr<gfx::Layer> mask() const;

  bool dropsShadow() const { return m_dropsShadow && tableViewIsGrouped(); }
  void setDropsShadow(bool drops) { m_dropsShadow = drops; }
  float cornerRadius() const { return tableViewIsGrouped() ? m_cornerRadius : 0.0f; }
  void setCornerRadius(float radius) { m_cornerRadius = radius; }
  float shadowOpacity() const { return m_shadowOpacity; }
  void setShadowOpacity(float opacity) { m_shadowOpacity = opacity; }
  int32_t position() const { return m_position; }
  void setPosition(int32_t position) { m_position = position; }
  bool showsCustomSeparator() const { return m_showsCustomSeparator; }
  void setShowsCustomSeparator(bool shows) { m_showsCustomSeparator = shows; }

  const gfx::Color& borderColor() const { return m_borderColor; }
  void setBorderColor(const gfx::Color& color) { m_borderColor = color; }
  const gfx::Color& tableViewBackgroundColor() const { return m_tableViewBackgroundColor; }
  void setTableViewBackgroundColor(const gfx::Color& color);
  const gfx::Color& customSeparatorColor() const { return m_customSeparatorColor; }
  void setCustomSeparatorColor(const gfx::Color& color) { m_customSeparatorColor = color; }
  const gfx::Color& selectionGradientStartColor() const { return m_selectionStart; }
  void setSelectionGradientStartColor(const gfx::Color& color) { m_selectionStart = color; }
  const gfx::Color& selectionGradientEndColor() const { return m_selectionEnd; }
  void setSelectionGradientEndColor(const gfx::Color& color) { m_selectionEnd = color; }
  const std::optional<gfx::Color>& customBackgroundColor() const { return m_customBackgroundColor; }
  virtual void setCustomBackgroundColor(std::optional<gfx::Color> color) { m_customBackgroundColor = std::move(color); }
  const std::optional<gfx::Color>& gradientStartColor() const { return m_gradientStart; }
  void setGradientStartColor(std::optional<gfx::Color> color) { m_gradientStart = std::move(color); }
  const std::optional<gfx::Color>& gradientEndColor() const { return m_gradientEnd; }
  void setGradientEndColor(std::optional<gfx::Color> color) { m_gradientEnd = std::move(color); }

  // The card's fill: the custom background colour when set, else the view's own.
  std::optional<gfx::Color> backgroundColor() const;
  gfx::Gradient newSelectionGradient() const;
  gfx::Gradient createSelectionGradient() const { return newSelectionGradient(); }
  // nullopt unless both normal gradient colours are set.
  std::optional<gfx::Gradient> newNormalGradient() const;
  std::optional<gfx::Gradient> createNormalGradient() const { return newNormalGradient(); }

  StyledTableViewCellBackground* styledBackground() const { return m_normalBackground.get(); }
  StyledTableViewCellBackground* styledSelectedBackground() const { return m_selectedBackground.get(); }

  static int32_t positionForTableView(ui::TableView& tableView, const ui::IndexPath& indexPath);
  static double neededHeightForPosition(int32_t position, ui::TableViewStyle tableStyle);
  static double neededHeightForIndexPath(ui::TableView& tableView, const ui::IndexPath& indexPath);

 private:
  void initializeVars();

  ui::TableViewStyle m_tableViewStyle = ui::TableViewStyle::Plain;
  bool m_dropsShadow = true;
  bool m_showsCustomSeparator = true;
  int32_t m_position = StyledTableViewCellPositionMiddle;
  float m_cornerRadius = 10;
  float m_shadowOpacity = 0.7f;
  gfx::Color m_borderColor;
  gfx::Color m_tableViewBackgroundColor;
  gfx::Color m_customSeparatorColor;
  gfx::Color m_selectionStart;
  gfx::Color m_selectionEnd;
  std::optional<gfx::Color> m_customBackgroundColor;
  std::optional<gfx::Color> m_gradientStart;
  std::optional<gfx::Color> m_gradientEnd;
  std::shared_ptr<StyledTableViewCellBackground> m_normalBackground;
  std::shared_ptr<StyledTableViewCellBackground> m_selectedBackground;
  bool m_correcting = false;
};

// A 25-point strip above or below a plain table whose soft shadow shows when the table is pulled
// past its ends.
class StyledShadowPlainTableview : public ui::View {
 public:
  static constexpr float Height = 25;
  explicit StyledShadowPlainTableview(const gfx::Rect& frame = gfx::Rect());
  // 0: the strip over the table (header); anything else: under it (footer).
  static std::shared_ptr<StyledShadowPlainTableview> shadowForPosition(int32_t position);
  static void setUpTableView(ui::TableView& tableView);
  static float height() { return Height; }
  int32_t position() const { return m_position; }

  void drawRect(gfx::Context& ctx, const gfx::Rect& rect) override;
  bool drawsContent() const override { return true; }

 private:
  int32_t m_position = 0;
};

// Gives a plain table the edge shadows; a grouped table is left as it is.
void dropShadows(ui::TableView& tableView);

}  // namespace kt
