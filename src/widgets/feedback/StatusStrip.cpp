#include "widgets/feedback/StatusStrip.h"

#include <optional>
#include <string>

#include "platform/core/UserDefaults.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Image.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"

namespace kt {

void StatusStrip::build(ui::View& parent, double side, const std::array<Pair, 4>& pairs) {
  auto font = gfx::Font::font("HelveticaNeue-Bold", 12);
  auto icon = [&](const char* image, const Pair& pair) {
    auto view = ui::ImageView::create(gfx::Rect(pair.iconX, 3, side, side));
    view->setImage(gfx::Image::named(image));
    parent.addSubview(view);
    return view;
  };
  auto label = [&](const Pair& pair) {
    auto view = ui::Label::create(gfx::Rect(pair.labelX, 3, pair.labelWidth, side));
    if (pair.labelTag) view->setTag(pair.labelTag);
    view->setTextColor(gfx::Color::whiteColor());
    view->setFont(font);
    view->setBackgroundColor(gfx::Color::clear());
    view->setShadowColor(std::nullopt);
    view->setShadowOffset(gfx::Size{0, 1});
    parent.addSubview(view);
    return view;
  };

  m_offLineImageView = icon("Computer Off", pairs[0]);
  m_offLineLabel = label(pairs[0]);
  m_offLineLabel->setText("在线");

  m_serverImageView = icon("web_server", pairs[1]);
  m_serverLabel = label(pairs[1]);
  const std::optional<std::string> server = core::UserDefaults::standard().stringForKey("Server_Ip");
  m_serverLabel->setText("服务器：" + (server ? *server : std::string("(null)")));

  m_clerkImageView = icon("tab_me", pairs[2]);
  m_clerkLabel = label(pairs[2]);

  m_wifiImageView = icon("Clock.png", pairs[3]);
  m_wifiLabel = label(pairs[3]);
}

}  // namespace kt
