#pragma once

#include <memory>

#include "platform/ui/View.h"

namespace kt {

// A sheet that slides a view up from the bottom edge of the key window over a darkening veil.
// A tap on the veil (or the sheet) slides it down again and takes it away.
class WGActionSheet : public ui::View {
 public:
  // A sheet with the view's frame, holding the view unchanged (at its own origin inside).
  static std::shared_ptr<WGActionSheet> create(const std::shared_ptr<ui::View>& subview);
  WGActionSheet();
  ~WGActionSheet() override;

  // Takes the view's frame as the sheet's own, clears the background and adds the view.
  void addTheSubview(const std::shared_ptr<ui::View>& subview);

  // Slides the sheet in (0.4 s) as wide as the window, its bottom on the window's; the veil
  // darkens in 0.3 s. Nothing when the sheet is already on screen.
  void show();
  // Slides the sheet below the window in 0.3 s, then removes it with its veil.
  void dismiss();

  // The view that show() put into the window (null while not shown).
  std::shared_ptr<ui::View> holder() const { return m_holder.lock(); }

 private:
  std::weak_ptr<ui::View> m_holder;
};

}  // namespace kt
