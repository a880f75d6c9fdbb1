#pragma once

#include "songs/BannerWebPage.h"

namespace kt {

// "电影片花": the page of a banner whose "pic" holds "mp4", a video address shown by the web view.
class MovieClipsVC : public BannerWebPage {
 public:
  explicit MovieClipsVC(core::Value dict_params) : BannerWebPage("电影片花", std::move(dict_params)) {}

  const std::shared_ptr<ui::WebView>& clipsWebV() const { return webView(); }
};

}  // namespace kt
