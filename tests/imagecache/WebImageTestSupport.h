#pragma once

// What the downloader, manager and prefetcher tests share: the stand-in venue web server, a
// downloader of their own (keyed by the URL text) and the record of what a load reported.

#include "imagecache/ICWebImageDownloader.h"
#include "platform/core/Queue.h"
#include "platform/gfx/Image.h"
#include "support/RunUntil.h"
#include "support/SessionsLetGo.h"
#include "support/TempHome.h"
#include "venue/WebServer.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace kt::testing {

// One call of a completion.
struct Delivery {
  ImagePtr image;
  std::optional<core::Error> error;
  bool finished = false;
  bool onMainThread = false;
};

// Deliveries as they come, from whatever thread delivers them.
class Deliveries {
 public:
  void add(Delivery delivery) {
    std::lock_guard lock(m_mutex);
    m_list.push_back(std::move(delivery));
  }
  size_t size() const {
    std::lock_guard lock(m_mutex);
    return m_list.size();
  }
  bool empty() const { return size() == 0; }
  bool lastFinished() const {
    std::lock_guard lock(m_mutex);
    return !m_list.empty() && m_list.back().finished;
  }
  std::vector<Delivery> list() const {
    std::lock_guard lock(m_mutex);
    return m_list;
  }

 private:
  mutable std::mutex m_mutex;
  std::vector<Delivery> m_list;
};

class WebImageTest : public support::SessionsLetGoAtEnd, public support::TempHomeTest {
 protected:
  WebImageTest() {
    EXPECT_TRUE(m_server.start());
    m_downloader = std::make_shared<ICWebImageDownloader>();
    m_downloader->setCacheKeyFunction([](const std::optional<net::URL>& url) {
      return url ? url->absoluteString() : std::string();
    });
  }

  ~WebImageTest() override {
    m_downloader->cancelAllDownloads();
    m_downloader->setSuspended(false);  // so that the queue retires what was cancelled
    support::runUntil([this] { return m_downloader->currentDownloadCount() == 0; }, 5);
    m_server.stop();
    support::drainMainLoop();
  }

  // A dish photo of the stand-in, told apart by its id.
  std::optional<net::URL> dishURL(const std::string& id, int side = 64) const {
    return net::URL::fromString(m_server.baseUrl() + "/GetPhoto.aspx?Flag=00&id=" + id +
                                "&width=" + std::to_string(side) + "&height=" + std::to_string(side));
  }
  // A singer picture: each has a path of its own, so faults can pick one.
  std::optional<net::URL> singerURL(const std::string& name) const {
    return net::URL::fromString(m_server.baseUrl() + "/singer/" + name + ".png");
  }
  // The ids of the dish photos asked for, in the order the requests arrived.
  std::vector<std::string> requestedIds() const {
    std::vector<std::string> ids;
    for (const auto& request : m_server.requestsTo("Flag=00")) ids.push_back(request.param("id").value_or(""));
    return ids;
  }

  static bool onMainThread() { return core::Queue::main()->isCurrent(); }

  venue::WebServer m_server;
  std::shared_ptr<ICWebImageDownloader> m_downloader;
};

}  // namespace kt::testing
