#pragma once

#include "http/HCImageDownloader.h"
#include "platform/net/URL.h"

#include <memory>
#include <optional>

namespace ui {
class Button;
}

// Loading a button's image or background image for one control state from a URL through the
// shared image downloader. The highlighted, disabled and selected states each have their own
// download slot; every other state shares the normal one. Main thread only.
namespace kt::HTTPClient {

// The downloader set with setSharedButtonImageDownloader, else HCImageDownloader::defaultInstance().
std::shared_ptr<HCImageDownloader> sharedButtonImageDownloader();
void setSharedButtonImageDownloader(std::shared_ptr<HCImageDownloader> downloader);

void setImageForState(const std::shared_ptr<ui::Button>& button, unsigned state, const net::URL& url,
                      std::shared_ptr<gfx::Image> placeholder = nullptr);
void setImageForState(const std::shared_ptr<ui::Button>& button, unsigned state, const net::URLRequest& request,
                      std::shared_ptr<gfx::Image> placeholder, HCImageDownloadSuccess success,
                      HCImageDownloadFailure failure);
void setBackgroundImageForState(const std::shared_ptr<ui::Button>& button, unsigned state, const net::URL& url,
                                std::shared_ptr<gfx::Image> placeholder = nullptr);
void setBackgroundImageForState(const std::shared_ptr<ui::Button>& button, unsigned state,
                                const net::URLRequest& request, std::shared_ptr<gfx::Image> placeholder,
                                HCImageDownloadSuccess success, HCImageDownloadFailure failure);
void cancelImageDownloadTaskForState(const std::shared_ptr<ui::Button>& button, unsigned state);
void cancelBackgroundImageDownloadTaskForState(const std::shared_ptr<ui::Button>& button, unsigned state);

std::optional<HCImageDownloadReceipt> imageDownloadReceiptForState(const ui::Button& button, unsigned state);
std::optional<HCImageDownloadReceipt> backgroundImageDownloadReceiptForState(const ui::Button& button, unsigned state);

}  // namespace kt::HTTPClient
