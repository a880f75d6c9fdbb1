#include "songs/BannerWebPage.h"

#include "app/APPFont.h"
#include "app/ScreenSize.h"
#include "platform/core/Log.h"
#include "platform/net/URLRequest.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/Screen.h"
#include "songs/CloudReply.h"

namespace kt {

BannerWebPage::BannerWebPage(std::string title, core::Value dict_params)
    : m_title(std::move(title)), m_dict_params(std::move(dict_params)) {}

BannerWebPage::~BannerWebPage() {
  if (m_webView) m_webView->setDelegate(nullptr);
}

void BannerWebPage::viewDidLoad() {
  BaseVC::viewDidLoad();
  // The bar's picture stays; only its own colour goes.
  navBarView()->setBackgroundColor(gfx::Color::clear());
  hideRightBarButton();
  setNavTitle(m_title, gfx::Color::whiteColor(), APPFont::getSysFont_size34());
  bgView()->setBackgroundColor(gfx::Color::black());
  setupMyView();
}

std::optional<net::URL> BannerWebPage::addressOf(const core::Value& bannerItem) {
  std::string text = CloudReply::text(bannerItem, "pic");
  std::erase(text, ' ');
  std::optional<net::URL> url = net::URL::fromString(text);
  if (!url || (url->scheme() != "http" && url->scheme() != "https")) return std::nullopt;
  return url;
}

void BannerWebPage::setupMyView() {
  const gfx::Rect screen = ui::Screen::main().bounds();
  m_webView = ui::WebView::create(gfx::Rect(0, 0, screen.width(), screen.height() - pick(79, 105)));
  m_webView->setBackgroundColor(gfx::Color::clear());
  bgView()->addSubview(m_webView);
  KT_LOG("%s", CloudReply::text(m_dict_params, "pic").c_str());
  m_webView->setDelegate(this);
  if (std::optional<net::URL> url = addressOf(m_dict_params)) m_webView->loadRequest(net::URLRequest(*url));
}

void BannerWebPage::leftBarButtonClick() {
  if (ui::NavigationController* nav = navigationController()) nav->popViewControllerAnimated(true);
}

}  // namespace kt
