#pragma once

#include <memory>

#include "platform/ui/View.h"

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

  const std::shared_ptr<ui::ImageView>& offLineImageView() const { return m_offLineImageView; }
  const std::shared_ptr<ui::Label>& offLineLabel() const { return m_offLineLabel; }
  const std::shared_ptr<ui::ImageView>& serverImageView() const { return m_serverImageView; }
  const std::shared_ptr<ui::Label>& serverLabel() const { return m_serverLabel; }
  const std::shared_ptr<ui::ImageView>& clerkImageView() const { return m_clerkImageView; }
  const std::shared_ptr<ui::Label>& clerkLabel() const { return m_clerkLabel; }
  const std::shared_ptr<ui::ImageView>& wifiImageView() const { return m_wifiImageView; }
  const std::shared_ptr<ui::Label>& wifiLabel() const { return m_wifiLabel; }

 private:
  std::shared_ptr<ui::ImageView> m_offLineImageView;
  std::shared_ptr<ui::Label> m_offLineLabel;
  std::shared_ptr<ui::ImageView> m_serverImageView;
  std::shared_ptr<ui::Label> m_serverLabel;
  std::shared_ptr<ui::ImageView> m_clerkImageView;
  std::shared_ptr<ui::Label> m_clerkLabel;
  std::shared_ptr<ui::ImageView> m_wifiImageView;
  std::shared_ptr<ui::Label> m_wifiLabel;
};

}  // namespace kt
