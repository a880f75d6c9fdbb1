#pragma once

#include <memory>
#include <string>

#include "platform/ui/TableViewCell.h"

namespace ui {
class Label;
class Stepper;
class Switch;
}  // namespace ui

namespace kt {

class EffectLabel;

// One dish row of the package chooser: the dish's number and name, how many are chosen, a
// stepper and a switch.
class PackChildCell : public ui::TableViewCell {
 public:
  static constexpr const char* Identifier = "PackChildCell";
  static constexpr double RowHeight = 56;

  explicit PackChildCell(const std::string& reuseIdentifier = Identifier);

  const std::shared_ptr<ui::Label>& lblFoodNo() const { return m_lblFoodNo; }
  const std::shared_ptr<EffectLabel>& lblFoodName() const { return m_lblFoodName; }
  const std::shared_ptr<EffectLabel>& lblSelectCount() const { return m_lblSelectCount; }
  const std::shared_ptr<ui::Switch>& switch_all() const { return m_switch_all; }
  const std::shared_ptr<ui::Stepper>& stepper() const { return m_stepper; }

 private:
  std::shared_ptr<ui::Label> m_lblFoodNo;
  std::shared_ptr<EffectLabel> m_lblFoodName;
  std::shared_ptr<EffectLabel> m_lblSelectCount;
  std::shared_ptr<ui::Switch> m_switch_all;
  std::shared_ptr<ui::Stepper> m_stepper;
};

}  // namespace kt
