#pragma once

#include <array>
#include <memory>

namespace ui {
class ImageView;
class Label;
class View;
}  // namespace ui

namespace kt {

// The four icon and label pairs of the room status strip (connection, venue server address,
// clerk, clock), shared by the plain strip view and the status bar notification, which place
// them differently. The connection label reads "在线" and the server label the "Server_Ip"
// setting; the others start empty. Main thread only.
class StatusStrip {
 public:
  // Where one pair goes, along the strip: the icon's x, the label's x and width, and the label's
  // tag (0: left untagged).
  struct Pair {
    double iconX = 0;
    double labelX = 0;
    double labelWidth = 0;
    int labelTag = 0;
  };

  // Makes the views and adds them to `parent` in strip order, each icon before its label: icons
  // `side` points square and labels `side` high, all at y = 3.
  void build(ui::View& parent, double side, const std::array<Pair, 4>& pairs);

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
