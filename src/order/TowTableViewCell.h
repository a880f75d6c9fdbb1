#pragma once

#include <memory>

#include "platform/ui/TableViewCell.h"

namespace ui {
class Label;
}

namespace kt {

// A row of the menu's food table: the dish's Chinese name over its English name. The cell is the
// nib "TowTableViewCell" (built in code), reused as "ToCell".
class TowTableViewCell : public ui::TableViewCell {
 public:
  static constexpr const char* NibName = "TowTableViewCell";
  static constexpr const char* ReuseIdentifier = "ToCell";
  static constexpr gfx::Size CellSize{327, 60};

  TowTableViewCell();

  // Registers the nib (done by the ordering storyboard's registration).
  static void registerNib();

  const std::shared_ptr<ui::Label>& NameChs() const { return m_NameChs; }
  const std::shared_ptr<ui::Label>& NameEng() const { return m_NameEng; }

 private:
  std::shared_ptr<ui::Label> m_NameChs;
  std::shared_ptr<ui::Label> m_NameEng;
};

}  // namespace kt
