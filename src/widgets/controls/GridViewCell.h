#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/ui/View.h"

namespace gfx {
class Image;
}
namespace ui {
class Button;
}

namespace kt {

// One item of a grid: a content view, an optional full-size view shown while the cell is
// transformed, a delete button shown in edit mode (pressing it runs the delete block the grid
// installs) and the identifier under which the grid keeps it for reuse. Subclasses lay out their
// own subviews (often from a nib). Cells are held by std::shared_ptr.
class GridViewCell : public ui::View {
 public:
  using ImagePtr = std::shared_ptr<const gfx::Image>;
  using DeleteBlock = std::function<void(GridViewCell& cell)>;

  static std::shared_ptr<GridViewCell> create(const gfx::Rect& frame = gfx::Rect()) {
    return std::make_shared<GridViewCell>(frame);
  }
  // The cell does not resize its subviews when its own size changes. The delete button starts
  // hidden (alpha 0), 35 x 35 at (-5, -5), titled "X" on light grey.
  explicit GridViewCell(const gfx::Rect& frame = gfx::Rect());
  ~GridViewCell() override;

  void layoutSubviews() override;

  // A touch highlights the cell until it ends; touches stop here.
  void touchesBegan(const ui::TouchSet& touches, const ui::Event* event) override;
  void touchesEnded(const ui::TouchSet& touches, const ui::Event* event) override;
  void touchesCancelled(const ui::TouchSet& touches, const ui::Event* event) override;

  const std::shared_ptr<ui::View>& contentView() const { return m_contentView; }
  // Takes the place of the old content view (and its frame; the cell's bounds when there was
  // none), with no autoresizing, under the delete button. Stops shaking first.
  void setContentView(std::shared_ptr<ui::View> view);

  // The view shown instead of the content while the cell is transformed to full size.
  const std::shared_ptr<ui::View>& fullSizeView() const { return m_fullSizeView; }
  void setFullSizeView(std::shared_ptr<ui::View> view);
  gfx::Size fullSize() const { return m_fullSize; }
  void setFullSize(gfx::Size size);
  bool isInFullSizeMode() const { return m_inFullSizeMode; }
  // The autoresizing mask the full-size view takes in full-size mode: its own with the four
  // flexible margins.
  unsigned defaultFullsizeViewResizingMask() const { return m_defaultFullsizeViewResizingMask; }
  // Shows the full-size view at its full size (fading the content out), or back at the cell's
  // bounds (fading the content in), over 0.3 s.
  void switchToFullSizeMode(bool fullSizeEnabled);
  // A step of a transformation in progress; cells that fade their views override it.
  virtual void stepToFullsizeWithAlpha(double alpha) { (void)alpha; }

  bool isEditing() const { return m_editing; }
  void setEditing(bool editing) { setEditing(editing, false); }
  // Shows (editing) or hides the delete button, over 0.2 s when animated, shakes the cell while
  // editing and keeps touches from the content meanwhile. Nothing happens when unchanged.
  void setEditing(bool editing, bool animated);

  bool isHighlighted() const { return m_highlighted; }
  // Also (un)highlights every label, image view and control inside the content view, at any depth.
  virtual void setHighlighted(bool highlighted);

  bool isInShakingMode() const { return m_inShakingMode; }
  // Starts or stops the content view's shake.
  void shake(bool on);

  const std::shared_ptr<ui::Button>& deleteButton() const { return m_deleteButton; }
  gfx::Point deleteButtonOffset() const;
  void setDeleteButtonOffset(gfx::Point offset);
  ImagePtr deleteButtonIcon() const;
  // With an image the button takes its size, without a title on clear; without one it is
  // 35 x 35, titled "X" on light grey. It keeps its origin.
  void setDeleteButtonIcon(ImagePtr image);
  const DeleteBlock& deleteBlock() const { return m_deleteBlock; }
  void setDeleteBlock(DeleteBlock block) { m_deleteBlock = std::move(block); }
  // Runs the delete block (the delete button's action).
  void actionDelete();

  const std::string& reuseIdentifier() const { return m_reuseIdentifier; }
  void setReuseIdentifier(std::string identifier) { m_reuseIdentifier = std::move(identifier); }
  // Before the grid keeps the cell for reuse: no full size, no full-size view, not editing, no
  // delete block.
  virtual void prepareForReuse();

 private:
  std::shared_ptr<ui::View> m_contentView;
  std::shared_ptr<ui::View> m_fullSizeView;
  gfx::Size m_fullSize;
  bool m_editing = false;
  bool m_highlighted = false;
  bool m_inShakingMode = false;
  bool m_inFullSizeMode = false;
  unsigned m_defaultFullsizeViewResizingMask = 0;
  std::shared_ptr<ui::Button> m_deleteButton;
  DeleteBlock m_deleteBlock;
  std::string m_reuseIdentifier;
};

}  // namespace kt
