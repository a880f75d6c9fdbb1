#include "widgets/feedback/PlainStatusBarView.h"

#include <optional>
#include <string>

#include "platform/core/UserDefaults.h"
#include "platform/gfx/Font.h"
#include "platform/gfx/Image.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"

namespace kt {

PlainStatusBarView::PlainStatusBarView(const gfx::Rect& frame) : ui::View(frame) {
  const double W = frame.width();
  const double H = frame.height();
  // The icon side and the label height; the step between the pairs.
  const double e = H - 6;
  const double q = W * 0.25 - 500;
  auto font = gfx::Font::font("HelveticaNeue-Bold", 12);

  // Added in the order of the strip, each icon before its label.
  auto icon = [&](const char* image, double x) {
    auto view = ui::ImageView::create(gfx::Rect(x, 3, e, e));
    view->setImage(gfx::Image::named(image));
    addSubview(view);
    return view;
  };
  auto label = [&](double x) {
    auto view = ui::Label::create(gfx::Rect(x, 3, q - e, e));
    view->setTextColor(gfx::Color::whiteColor());
    view->setFont(font);
    view->setBackgroundColor(gfx::Color::clear());
    view->setShadowColor(std::nullopt);
    view->setShadowOffset(gfx::Size{0, 1});
    addSubview(view);
    return view;
  };

  m_offLineImageView = icon("Computer Off", 100);
  m_offLineLabel = label(100 + e);
  m_offLineLabel->setText("在线");

  m_serverImageView = icon("web_server", q + 200);
  m_serverLabel = label(q + 200 + e);
  const std::optional<std::string> server = core::UserDefaults::standard().stringForKey("Server_Ip");
  m_serverLabel->setText("服务器：" + (server ? *server : std::string("(null)")));

  m_clerkImageView = icon("tab_me", 2 * q + 300);
  m_clerkLabel = label(2 * q + 300 + e);

  m_wifiImageView = icon("Clock.png", 3 * q + 400);
  m_wifiLabel = label(3 * q + 400 + e);
}

PlainStatusBarView::~PlainStatusBarView() = default;

}  // namespace kt
