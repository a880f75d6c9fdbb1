#include "platform/ui/SegmentedControl.h"

#include <gtest/gtest.h>

#include "UiTestSupport.h"

using gfx::Rect;
using ui::SegmentedControl;

using SegmentedInWindow = uitest::WindowTest;

TEST_F(SegmentedInWindow, ATapSelectsAndSendsValueChangedOnce) {
  auto sc = SegmentedControl::withTitles({"A", "B", "C"});
  sc->setFrame(Rect(0, 0, 300, 29));
  window->addSubview(sc);
  int changes = 0;
  sc->addTarget(nullptr, [&](ui::Control&, const ui::Event*) { ++changes; }, ui::ControlEventValueChanged);
  EXPECT_EQ(sc->selectedSegmentIndex(), SegmentedControl::NoSegment);
  window->tap({150, 14});
  EXPECT_EQ(sc->selectedSegmentIndex(), 1);
  EXPECT_EQ(changes, 1);
  window->tap({160, 14});  // the selected one again
  EXPECT_EQ(changes, 1);
  sc->setEnabled(false, 2);
  window->tap({250, 14});
  EXPECT_EQ(sc->selectedSegmentIndex(), 1);
  EXPECT_EQ(changes, 1);
  // Momentary: every tap counts.
  sc->setMomentary(true);
  window->tap({50, 14});
  window->tap({50, 14});
  EXPECT_EQ(changes, 3);
  EXPECT_EQ(sc->selectedSegmentIndex(), 0);
}

TEST(SegmentedLayout, WidthsAndEditing) {
  auto sc = SegmentedControl::withTitles({"A", "B", "C"});
  sc->setFrame(Rect(0, 0, 300, 29));
  sc->setWidth(100, 0);
  sc->setWidth(0, 1);
  EXPECT_EQ(sc->segmentRect(0), Rect(0, 0, 100, 29));
  EXPECT_EQ(sc->segmentRect(1), Rect(100, 0, 100, 29));
  sc->setWidth(150, 2);
  EXPECT_EQ(sc->segmentRect(1), Rect(100, 0, 50, 29));
  EXPECT_EQ(sc->segmentAt({120, 5}), 1);
  EXPECT_EQ(sc->segmentAt({500, 5}), SegmentedControl::NoSegment);

  sc->setSelectedSegmentIndex(1);
  sc->insertSegment("Z", 0);
  EXPECT_EQ(sc->numberOfSegments(), 4);
  EXPECT_EQ(sc->titleForSegment(0), "Z");
  EXPECT_EQ(sc->selectedSegmentIndex(), 2);  // follows its segment
  sc->insertSegment(uitest::solidImage(8, 8, 0xFF000000), 99);
  EXPECT_TRUE(sc->imageForSegment(4));
  EXPECT_FALSE(sc->titleForSegment(4));
  sc->removeSegment(2);
  EXPECT_EQ(sc->selectedSegmentIndex(), SegmentedControl::NoSegment);
  sc->setSelectedSegmentIndex(7);
  EXPECT_EQ(sc->selectedSegmentIndex(), SegmentedControl::NoSegment);
  sc->removeAllSegments();
  EXPECT_EQ(sc->numberOfSegments(), 0);
}

TEST_F(SegmentedInWindow, SelectedSegmentIsFilledWithTheTint) {
  auto sc = SegmentedControl::withTitles({"", ""});
  sc->setFrame(Rect(0, 0, 100, 29));
  sc->setTintColor(gfx::Color::red());
  sc->setSelectedSegmentIndex(1);
  window->addSubview(sc);
  auto image = uitest::render(*sc);
  EXPECT_EQ(image->pixelAt(75, 14), 0xFFFF0000u);
  EXPECT_EQ(image->pixelAt(25, 14) >> 24, 0u);
}
