#pragma once

#include "http/HCImageDownloader.h"
#include "platform/net/URL.h"

#include <memory>
#include <optional>

namespace ui {
class ImageView;
}

// Loading an image view's image from a URL through the shared image downloader. These live in
// their own namespace so that they never stand in for the image-cache library's loaders of the
// same names. Main thread only.
namespace kt::HTTPClient {

using ImagePtr = std::shared_ptr<gfx::Image>;

// The downloader set with setSharedImageDownloader, else HCImageDownloader::defaultInstance().
std::shared_ptr<HCImageDownloader> sharedImageDownloader();
void setSharedImageDownloader(std::shared_ptr<HCImageDownloader> downloader);

// A request for the URL with "Accept: image/*", without callbacks.
void setImageWithURL(const std::shared_ptr<ui::ImageView>& view, const net::URL& url, ImagePtr placeholder = nullptr);

// Shows the cached image at once, or the placeholder (when given) while the image downloads.
// A success callback takes the image instead of the view; either callback is called only while
// this request is still the view's latest one.
void setImageWithURLRequest(const std::shared_ptr<ui::ImageView>& view, const net::URLRequest& request,
                            ImagePtr placeholder, HCImageDownloadSuccess success = nullptr,
                            HCImageDownloadFailure failure = nullptr);

// Cancels the view's current download, if any.
void cancelImageDownloadTask(const std::shared_ptr<ui::ImageView>& view);

// The receipt of the view's current download.
std::optional<HCImageDownloadReceipt> hc_activeImageDownloadReceipt(const ui::ImageView& view);

}  // namespace kt::HTTPClient
