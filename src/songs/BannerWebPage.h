#pragma once

#include <memory>
#include <optional>
#include <string>

#include "app/BaseVC.h"
#include "platform/core/Value.h"
#include "platform/net/URL.h"
#include "platform/ui/WebView.h"

namespace kt {

// A page that a banner of the home screen's carousel opens: the banner item's "pic" address in a
// web view over the whole content area, loaded once when the view loads, under a clear bar with a
// white title and the back button. The page shows no message of its own; loads, links and
// failures are left to the web view. WebVC and MovieClipsVC are this page with their titles.
//
// The address is "%@" of "pic" with every space removed. Only an http or https address is loaded:
// the cloud reply is loaded as it comes, and a file or other address would open local files or
// other programs. An address that is no URL, or of another scheme, loads nothing.
class BannerWebPage : public BaseVC, private ui::WebViewDelegate {
 public:
  // `dict_params`: the banner item, kept whole; only its "pic" is read.
  BannerWebPage(std::string title, core::Value dict_params);
  ~BannerWebPage() override;

  void viewDidLoad() override;
  // Makes the web view and loads the address.
  void setupMyView();
  // The back button: pops the page, animated.
  void leftBarButtonClick() override;

  const core::Value& dict_params() const { return m_dict_params; }
  void setDict_params(core::Value params) { m_dict_params = std::move(params); }

  // The address a banner item's "pic" loads: nothing for text that makes no URL and for any
  // scheme but http and https.
  static std::optional<net::URL> addressOf(const core::Value& bannerItem);

 protected:
  const std::shared_ptr<ui::WebView>& webView() const { return m_webView; }

 private:
  std::string m_title;
  core::Value m_dict_params;
  std::shared_ptr<ui::WebView> m_webView;
};

}  // namespace kt
