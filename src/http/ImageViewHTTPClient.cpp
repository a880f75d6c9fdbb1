#include "http/ImageViewHTTPClient.h"

#include "http/HCAutoPurgingImageCache.h"
#include "http/HCURLSessionTask.h"
#include "platform/ui/ViewAssociation.h"
#include "platform/gfx/Image.h"
#include "platform/ui/ImageView.h"

namespace kt::HTTPClient {

namespace {

std::shared_ptr<HCImageDownloader>& downloaderSlot() {
  // Never destroyed: its sessions' threads use it while the process exits.
  static auto* downloader = new std::shared_ptr<HCImageDownloader>;
  return *downloader;
}

ui::ViewAssociation<ui::ImageView, std::optional<HCImageDownloadReceipt>>& receipts() {
  // Never destroyed: it holds tasks that session and pool threads use while the process exits.
  static auto* table = new ui::ViewAssociation<ui::ImageView, std::optional<HCImageDownloadReceipt>>;
  return *table;
}

bool isActiveTaskURLEqualToURLRequest(const std::optional<HCImageDownloadReceipt>& receipt,
                                      const net::URLRequest& request) {
  if (!receipt || !receipt->task || !request.url()) return false;
  const auto& original = receipt->task->originalRequest();
  return original && original->url() && original->url()->absoluteString() == request.url()->absoluteString();
}

}  // namespace

std::shared_ptr<HCImageDownloader> sharedImageDownloader() {
  if (downloaderSlot()) return downloaderSlot();
  return HCImageDownloader::defaultInstance();
}

void setSharedImageDownloader(std::shared_ptr<HCImageDownloader> downloader) { downloaderSlot() = std::move(downloader); }

void setImageWithURL(const std::shared_ptr<ui::ImageView>& view, const net::URL& url, ImagePtr placeholder) {
  net::URLRequest request(url);
  request.addValue("image/*", "Accept");
  setImageWithURLRequest(view, request, std::move(placeholder));
}

void cancelImageDownloadTask(const std::shared_ptr<ui::ImageView>& view) {
  if (!view) return;
  auto* receipt = receipts().find(view.get());
  if (!receipt || !*receipt) return;
  sharedImageDownloader()->cancelTaskForImageDownloadReceipt(**receipt);
  receipt->reset();
}

std::optional<HCImageDownloadReceipt> hc_activeImageDownloadReceipt(const ui::ImageView& view) {
  auto* receipt = receipts().find(&view);
  return receipt ? *receipt : std::nullopt;
}

void setImageWithURLRequest(const std::shared_ptr<ui::ImageView>& view, const net::URLRequest& request,
                            ImagePtr placeholder, HCImageDownloadSuccess success, HCImageDownloadFailure failure) {
  if (!view) return;
  if (!request.url() || request.url()->isEmpty()) {
    cancelImageDownloadTask(view);
    view->setImage(placeholder);
    return;
  }
  if (isActiveTaskURLEqualToURLRequest(receipts().valueFor(view), request)) return;

  cancelImageDownloadTask(view);

  auto downloader = sharedImageDownloader();
  if (auto cache = downloader->imageCache()) {
    if (auto cached = cache->imageforRequest(request, std::nullopt)) {
      if (success) {
        success(request, nullptr, cached);
      } else {
        view->setImage(cached);
      }
      receipts().valueFor(view).reset();
      return;
    }
  }

  if (placeholder) view->setImage(placeholder);

  const std::string receiptID = makeUUIDString();
  std::weak_ptr<ui::ImageView> weakView = view;
  // The callbacks act only while this download is still the view's latest one.
  auto isCurrent = [weakView, receiptID]() -> std::shared_ptr<ui::ImageView> {
    auto strong = weakView.lock();
    if (!strong) return nullptr;
    auto* receipt = receipts().find(strong.get());
    if (!receipt || !*receipt || (*receipt)->receiptID != receiptID) return nullptr;
    return strong;
  };
  auto receipt = downloader->downloadImageForURLRequest(
      request, receiptID,
      [isCurrent, success](const net::URLRequest& req, std::shared_ptr<const net::HTTPURLResponse> response,
                           std::shared_ptr<gfx::Image> image) {
        auto strong = isCurrent();
        if (!strong) return;
        if (success) {
          success(req, response, image);
        } else if (image) {
          strong->setImage(image);
        }
        receipts().valueFor(strong).reset();
      },
      [isCurrent, failure](const net::URLRequest& req, std::shared_ptr<const net::HTTPURLResponse> response,
                           const core::Error& error) {
        auto strong = isCurrent();
        if (!strong) return;
        if (failure) failure(req, response, error);
        receipts().valueFor(strong).reset();
      });
  receipts().valueFor(view) = receipt;
}

}  // namespace kt::HTTPClient
