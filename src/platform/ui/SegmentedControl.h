#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Control.h"

namespace gfx {
class Font;
class Image;
}  // namespace gfx

namespace ui {

// A row of segments, each with a title or an image; at most one is selected. A tap on an enabled
// segment selects it and sends value-changed (a momentary control sends it on every tap and does
// not show the selection after the touch).
class SegmentedControl : public Control {
 public:
  using ImagePtr = std::shared_ptr<const gfx::Image>;
  static constexpr int NoSegment = -1;
  static constexpr double DefaultHeight = 29;

  struct Item {
    std::optional<std::string> title;
    ImagePtr image;
  };

  static std::shared_ptr<SegmentedControl> create(std::vector<Item> items = {}) {
    return std::make_shared<SegmentedControl>(std::move(items));
  }
  static std::shared_ptr<SegmentedControl> withTitles(const std::vector<std::string>& titles);
  explicit SegmentedControl(std::vector<Item> items = {});

  int numberOfSegments() const { return static_cast<int>(m_segments.size()); }
  // Indexes are clamped to 0..numberOfSegments.
  void insertSegment(const std::string& title, int index, bool animated = false);
  void insertSegment(ImagePtr image, int index, bool animated = false);
  void removeSegment(int index, bool animated = false);
  void removeAllSegments();

  void setTitle(std::optional<std::string> title, int segment);
  std::optional<std::string> titleForSegment(int segment) const;
  void setImage(ImagePtr image, int segment);
  ImagePtr imageForSegment(int segment) const;
  void setEnabled(bool enabled, int segment);
  bool isEnabledForSegment(int segment) const;
  using Control::setEnabled;
  // 0: an equal share of the width left by the segments with a width.
  void setWidth(double width, int segment);
  double widthForSegment(int segment) const;

  int selectedSegmentIndex() const { return m_selected; }
  // NoSegment or a segment index; sends no event.
  void setSelectedSegmentIndex(int index);
  bool isMomentary() const { return m_momentary; }
  void setMomentary(bool momentary) { m_momentary = momentary; }
  gfx::Color segmentTintColor() const { return tintColor(); }

  // The frame of a segment in bounds coordinates; the segment under a point (NoSegment outside).
  gfx::Rect segmentRect(int segment) const;
  int segmentAt(gfx::Point p) const;

  gfx::Size sizeThatFits(gfx::Size size) const override;
  void drawRect(gfx::Context& ctx, const gfx::Rect& rect) override;
  bool beginTracking(const Touch& touch, const Event* event) override;
  bool continueTracking(const Touch& touch, const Event* event) override;
  void endTracking(const Touch* touch, const Event* event) override;
  void cancelTracking(const Event* event) override;

 private:
  struct Segment {
    Item item;
    bool enabled = true;
    double width = 0;
  };
  void insert(Item item, int index);
  bool valid(int segment) const { return segment >= 0 && segment < numberOfSegments(); }

  std::vector<Segment> m_segments;
  int m_selected = NoSegment;
  int m_pressed = NoSegment;
  bool m_momentary = false;
  std::shared_ptr<const gfx::Font> m_font;
};

}  // namespace ui
