#pragma once

#include <memory>
#include <string>

#include "platform/ui/View.h"

namespace ui {

struct CollectionViewLayoutAttributes;

// A view a collection view hands out again once it has scrolled away: the base of cells and of
// supplementary views (section headers and footers).
class CollectionReusableView : public View {
 public:
  explicit CollectionReusableView(const gfx::Rect& frame = gfx::Rect());
  ~CollectionReusableView() override;

  const std::string& reuseIdentifier() const { return m_reuseIdentifier; }
  // Called before the view is handed out again; subclasses reset their content and call this.
  virtual void prepareForReuse();
  // The collection view places the view by its attributes (frame, alpha, hidden, z order).
  virtual void applyLayoutAttributes(const CollectionViewLayoutAttributes& attributes);

 private:
  friend class CollectionView;
  void setReuseIdentifier(const std::string& id) { m_reuseIdentifier = id; }

  std::string m_reuseIdentifier;
};

}  // namespace ui
