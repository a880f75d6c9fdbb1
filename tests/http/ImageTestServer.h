#pragma once

#include "platform/gfx/Image.h"
#include "venue/HttpServerThread.h"

#include <httplib.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kt::testing {

// A loopback HTTP server of small PNG images under /img/<name>, counting the requests per path
// and how many run at once. While held, image requests wait until released.
class ImageTestServer {
 public:
  ImageTestServer() {
    auto png = gfx::Image::fromPixels(4, 3, std::vector<uint32_t>(12, 0xFF3366CCu))->pngData();
    m_png = png.value_or("");
    m_server.Get(R"(/img/(.+))", [this](const httplib::Request& request, httplib::Response& response) {
      {
        std::unique_lock lock(m_mutex);
        m_hits[request.path]++;
        m_arrivals.push_back(request.path);
        m_accept = request.get_header_value("Accept");
        ++m_inFlight;
        if (m_inFlight > m_maxInFlight) m_maxInFlight = m_inFlight;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return !m_held; });
        --m_inFlight;
      }
      response.set_content(m_png, "image/png");
    });
    m_port = m_server.bind_to_any_port("127.0.0.1");
    m_thread = venue::listenInBackground(m_server);
    // A stop() before the listening loop has started would be lost and the join would hang.
    while (!m_server.is_running()) std::this_thread::yield();
  }
  ~ImageTestServer() {
    release();
    m_server.stop();
    m_thread.join();
  }
  ImageTestServer(const ImageTestServer&) = delete;
  ImageTestServer& operator=(const ImageTestServer&) = delete;

  std::string url(const std::string& name) const { return "http://127.0.0.1:" + std::to_string(m_port) + "/img/" + name; }
  const std::string& png() const { return m_png; }

  void hold() {
    std::lock_guard lock(m_mutex);
    m_held = true;
  }
  void release() {
    std::lock_guard lock(m_mutex);
    m_held = false;
    m_changed.notify_all();
  }
  int hits(const std::string& name) {
    std::lock_guard lock(m_mutex);
    return m_hits["/img/" + name];
  }
  int inFlight() {
    std::lock_guard lock(m_mutex);
    return m_inFlight;
  }
  int maxInFlight() {
    std::lock_guard lock(m_mutex);
    return m_maxInFlight;
  }
  std::vector<std::string> arrivals() {
    std::lock_guard lock(m_mutex);
    return m_arrivals;
  }
  std::string lastAccept() {
    std::lock_guard lock(m_mutex);
    return m_accept;
  }

 private:
  httplib::Server m_server;
  int m_port = 0;
  std::thread m_thread;
  std::string m_png;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_held = false;
  std::map<std::string, int> m_hits;
  std::vector<std::string> m_arrivals;
  std::string m_accept;
  int m_inFlight = 0;
  int m_maxInFlight = 0;
};

}  // namespace kt::testing
