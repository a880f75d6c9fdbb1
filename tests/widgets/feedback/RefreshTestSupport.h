#pragma once

#include <memory>
#include <string>

#include "platform/ui/Label.h"
#include "platform/ui/PanGestureRecognizer.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TableViewCell.h"
#include "platform/ui/Window.h"

namespace refresh_test {

// A table of `rows` rows of 44 points, one section.
class Rows : public ui::TableViewDataSource {
 public:
  explicit Rows(int rows = 0) : count(rows) {}
  int numberOfRowsInSection(ui::TableView&, int) override { return count; }
  std::shared_ptr<ui::TableViewCell> cellForRowAtIndexPath(ui::TableView& table, const ui::IndexPath& ip) override {
    auto cell = table.dequeueReusableCellWithIdentifier("row");
    if (!cell) cell = ui::TableViewCell::create(ui::TableViewCellStyle::Default, "row");
    cell->textLabel()->setText("Song " + std::to_string(ip.row + 1));
    return cell;
  }
  int count = 0;
};

// Drives the scroll view's own pan as a finger would: down, moved by a total travel (positive y
// pulls the content down), up. The finger's travel past an edge moves the content half as far.
class PanFinger {
 public:
  explicit PanFinger(ui::ScrollView& scroll) : m_pan(*scroll.panGestureRecognizer()) {
    m_pan.setTranslation({0, 0}, nullptr);
    m_pan.setState(ui::GestureRecognizerState::Began);
  }
  void moveTo(double travelY) {
    m_pan.setTranslation({0, travelY}, nullptr);
    m_pan.setState(ui::GestureRecognizerState::Changed);
  }
  void lift() { m_pan.setState(ui::GestureRecognizerState::Ended); }

 private:
  ui::PanGestureRecognizer& m_pan;
};

}  // namespace refresh_test
