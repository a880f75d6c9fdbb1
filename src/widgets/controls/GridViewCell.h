#pragma once

#include <memory>
#include <string>

#include "platform/ui/View.h"

namespace kt {

// One item of a paged grid: a view with an optional content view and the identifier under which
// the grid keeps it for reuse. Subclasses lay out their own subviews (often from a nib).
class GridViewCell : public ui::View {
 public:
  static std::shared_ptr<GridViewCell> create(const gfx::Rect& frame = gfx::Rect()) {
    return std::make_shared<GridViewCell>(frame);
  }
  // The cell does not resize its subviews when its own size changes.
  explicit GridViewCell(const gfx::Rect& frame = gfx::Rect());
  ~GridViewCell() override;

  const std::shared_ptr<ui::View>& contentView() const { return m_contentView; }
  // Takes the place of the old content view (and its frame; the cell's bounds when there was
  // none), with no autoresizing.
  void setContentView(std::shared_ptr<ui::View> view);

  const std::string& reuseIdentifier() const { return m_reuseIdentifier; }
  void setReuseIdentifier(std::string identifier) { m_reuseIdentifier = std::move(identifier); }

 private:
  std::shared_ptr<ui::View> m_contentView;
  std::string m_reuseIdentifier;
};

}  // namespace kt
