#pragma once

#include "songs/BannerWebPage.h"

namespace kt {

// The web page of a banner whose "pic" is an address without "mp4"; its title is empty.
class WebVC : public BannerWebPage {
 public:
  explicit WebVC(core::Value dict_params) : BannerWebPage("", std::move(dict_params)) {}

  const std::shared_ptr<ui::WebView>& htmlWebV() const { return webView(); }
};

}  // namespace kt
