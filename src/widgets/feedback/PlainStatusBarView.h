#pragma once

#include <memory>

#include "platform/ui/View.h"
#include "widgets/feedback/StatusStrip.h"

namespace ui {
class ImageView;
class Label;
}  // namespace ui

namespace kt {

// The four icon and label pairs of the room status strip (connection, venue server address,
// clerk, clock) as a plain view, laid out once from the view's own frame. Nothing updates the
// texts after creation; the owner reaches the views through the accessors. The frames are used
// as computed, with no size check.
class PlainStatusBarView : public ui::View {
 public:
  explicit PlainStatusBarView(const gfx::Rect& frame = gfx::Rect());
  ~PlainStatusBarView() override;

  const std::shared_ptr<ui::ImageView>& offLineImageView() const { return m_strip.offLineImageView(); }
  const std::shared_ptr<ui::Label>& offLineLabel() const { return m_strip.offLineLabel(); }
  const std::shared_ptr<ui::ImageView>& serverImageView() const { return m_strip.serverImageView(); }
  const std::shared_ptr<ui::Label>& serverLabel() const { return m_strip.serverLabel(); }
  const std::shared_ptr<ui::ImageView>& clerkImageView() const { return m_strip.clerkImageView(); }
  const std::shared_ptr<ui::Label>& clerkLabel() const { return m_strip.clerkLabel(); }
  const std::shared_ptr<ui::ImageView>& wifiImageView() const { return m_strip.wifiImageView(); }
  const std::shared_ptr<ui::Label>& wifiLabel() const { return m_strip.wifiLabel(); }

 private:
  StatusStrip m_strip;
};

}  // namespace kt
