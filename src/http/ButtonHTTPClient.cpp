#include "http/ButtonHTTPClient.h"

#include "http/HCAutoPurgingImageCache.h"
#include "http/HCURLSessionTask.h"
#include "platform/ui/ViewAssociation.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Button.h"

#include <map>

namespace kt::HTTPClient {

namespace {

enum class Kind { Image, Background };

struct Receipts {
  std::map<unsigned, std::optional<HCImageDownloadReceipt>> image;
  std::map<unsigned, std::optional<HCImageDownloadReceipt>> background;
};

std::shared_ptr<HCImageDownloader>& downloaderSlot() {
  // Never destroyed: its sessions' threads use it while the process exits.
  static auto* downloader = new std::shared_ptr<HCImageDownloader>;
  return *downloader;
}

ui::ViewAssociation<ui::Button, Receipts>& table() {
  // Never destroyed: it holds tasks that session and pool threads use while the process exits.
  static auto* receipts = new ui::ViewAssociation<ui::Button, Receipts>;
  return *receipts;
}

// Highlighted, disabled and selected have their own slot; every other state uses normal's.
unsigned slotForState(unsigned state) {
  switch (state) {
    case ui::ControlStateHighlighted:
    case ui::ControlStateDisabled:
    case ui::ControlStateSelected:
      return state;
    default:
      return ui::ControlStateNormal;
  }
}

std::optional<HCImageDownloadReceipt>& slot(const std::shared_ptr<ui::Button>& button, Kind kind, unsigned state) {
  auto& receipts = table().valueFor(button);
  return (kind == Kind::Image ? receipts.image : receipts.background)[slotForState(state)];
}

std::optional<HCImageDownloadReceipt> findSlot(const ui::Button& button, Kind kind, unsigned state) {
  auto* receipts = table().find(&button);
  if (!receipts) return std::nullopt;
  auto& map = kind == Kind::Image ? receipts->image : receipts->background;
  auto found = map.find(slotForState(state));
  return found == map.end() ? std::nullopt : found->second;
}

void apply(ui::Button& button, Kind kind, unsigned state, std::shared_ptr<gfx::Image> image) {
  if (kind == Kind::Image) {
    button.setImage(std::move(image), state);
  } else {
    button.setBackgroundImage(std::move(image), state);
  }
}

void cancel(const std::shared_ptr<ui::Button>& button, Kind kind, unsigned state) {
  if (!button || !table().find(button.get())) return;
  auto& receipt = slot(button, kind, state);
  if (!receipt) return;
  sharedButtonImageDownloader()->cancelTaskForImageDownloadReceipt(*receipt);
  receipt.reset();
}

void load(const std::shared_ptr<ui::Button>& button, Kind kind, unsigned state, const net::URLRequest& request,
          std::shared_ptr<gfx::Image> placeholder, HCImageDownloadSuccess success, HCImageDownloadFailure failure) {
  if (!button) return;
  if (auto& active = slot(button, kind, state); active && active->task && request.url()) {
    const auto& original = active->task->originalRequest();
    if (original && original->url() && original->url()->absoluteString() == request.url()->absoluteString()) return;
  }
  cancel(button, kind, state);

  auto downloader = sharedButtonImageDownloader();
  if (auto cache = downloader->imageCache()) {
    if (auto cached = cache->imageforRequest(request, std::nullopt)) {
      if (success) {
        success(request, nullptr, cached);
      } else {
        apply(*button, kind, state, cached);
      }
      slot(button, kind, state).reset();
      return;
    }
  }
  if (placeholder) apply(*button, kind, state, placeholder);

  const std::string receiptID = makeUUIDString();
  std::weak_ptr<ui::Button> weakButton = button;
  auto isCurrent = [weakButton, kind, state, receiptID]() -> std::shared_ptr<ui::Button> {
    auto strong = weakButton.lock();
    if (!strong) return nullptr;
    auto receipt = findSlot(*strong, kind, state);
    if (!receipt || receipt->receiptID != receiptID) return nullptr;
    return strong;
  };
  auto receipt = downloader->downloadImageForURLRequest(
      request, receiptID,
      [isCurrent, success, kind, state](const net::URLRequest& req, std::shared_ptr<const net::HTTPURLResponse> response,
                                        std::shared_ptr<gfx::Image> image) {
        auto strong = isCurrent();
        if (!strong) return;
        if (success) {
          success(req, response, image);
        } else if (image) {
          apply(*strong, kind, state, image);
        }
        slot(strong, kind, state).reset();
      },
      [isCurrent, failure, kind, state](const net::URLRequest& req, std::shared_ptr<const net::HTTPURLResponse> response,
                                        const core::Error& error) {
        auto strong = isCurrent();
        if (!strong) return;
        if (failure) failure(req, response, error);
        slot(strong, kind, state).reset();
      });
  slot(button, kind, state) = receipt;
}

net::URLRequest imageRequest(const net::URL& url) {
  net::URLRequest request(url);
  request.addValue("image/*", "Accept");
  return request;
}

}  // namespace

std::shared_ptr<HCImageDownloader> sharedButtonImageDownloader() {
  if (downloaderSlot()) return downloaderSlot();
  return HCImageDownloader::defaultInstance();
}

void setSharedButtonImageDownloader(std::shared_ptr<HCImageDownloader> downloader) {
  downloaderSlot() = std::move(downloader);
}

void setImageForState(const std::shared_ptr<ui::Button>& button, unsigned state, const net::URL& url,
                      std::shared_ptr<gfx::Image> placeholder) {
  load(button, Kind::Image, state, imageRequest(url), std::move(placeholder), nullptr, nullptr);
}

void setImageForState(const std::shared_ptr<ui::Button>& button, unsigned state, const net::URLRequest& request,
                      std::shared_ptr<gfx::Image> placeholder, HCImageDownloadSuccess success,
                      HCImageDownloadFailure failure) {
  load(button, Kind::Image, state, request, std::move(placeholder), std::move(success), std::move(failure));
}

void setBackgroundImageForState(const std::shared_ptr<ui::Button>& button, unsigned state, const net::URL& url,
                                std::shared_ptr<gfx::Image> placeholder) {
  load(button, Kind::Background, state, imageRequest(url), std::move(placeholder), nullptr, nullptr);
}

void setBackgroundImageForState(const std::shared_ptr<ui::Button>& button, unsigned state,
                                const net::URLRequest& request, std::shared_ptr<gfx::Image> placeholder,
                                HCImageDownloadSuccess success, HCImageDownloadFailure failure) {
  load(button, Kind::Background, state, request, std::move(placeholder), std::move(success), std::move(failure));
}

void cancelImageDownloadTaskForState(const std::shared_ptr<ui::Button>& button, unsigned state) {
  cancel(button, Kind::Image, state);
}

void cancelBackgroundImageDownloadTaskForState(const std::shared_ptr<ui::Button>& button, unsigned state) {
  cancel(button, Kind::Background, state);
}

std::optional<HCImageDownloadReceipt> imageDownloadReceiptForState(const ui::Button& button, unsigned state) {
  return findSlot(button, Kind::Image, state);
}

std::optional<HCImageDownloadReceipt> backgroundImageDownloadReceiptForState(const ui::Button& button, unsigned state) {
  return findSlot(button, Kind::Background, state);
}

}  // namespace kt::HTTPClient
