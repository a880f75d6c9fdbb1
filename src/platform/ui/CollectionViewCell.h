#pragma once

#include <memory>

#include "platform/ui/CollectionReusableView.h"

namespace ui {

// One item of a collection view: its content goes into contentView, over the background view
// and, while selected or highlighted, the selected background view (when one is set).
class CollectionViewCell : public CollectionReusableView {
 public:
  static std::shared_ptr<CollectionViewCell> create(const gfx::Rect& frame = gfx::Rect()) {
    return std::make_shared<CollectionViewCell>(frame);
  }
  explicit CollectionViewCell(const gfx::Rect& frame = gfx::Rect());
  ~CollectionViewCell() override;

  const std::shared_ptr<View>& contentView() const { return m_contentView; }
  const std::shared_ptr<View>& backgroundView() const { return m_backgroundView; }
  void setBackgroundView(std::shared_ptr<View> view);
  const std::shared_ptr<View>& selectedBackgroundView() const { return m_selectedBackgroundView; }
  void setSelectedBackgroundView(std::shared_ptr<View> view);

  bool isSelected() const { return m_selected; }
  virtual void setSelected(bool selected);
  bool isHighlighted() const { return m_highlighted; }
  virtual void setHighlighted(bool highlighted);

  // Resets the selection and highlight.
  void prepareForReuse() override;
  void layoutSubviews() override;

 private:
  void updateSelectionLook();

  std::shared_ptr<View> m_contentView;
  std::shared_ptr<View> m_backgroundView;
  std::shared_ptr<View> m_selectedBackgroundView;
  bool m_selected = false;
  bool m_highlighted = false;
};

}  // namespace ui
