#pragma once

// A cpp-httplib server on 127.0.0.1 (plain or TLS) for the session manager tests: scripted
// routes, the requests it received, and a gate that holds stalled replies until the test ends.

#include <httplib.h>

// The resolver header under httplib defines DELETE as a macro, which hides the manager's method.
#ifdef DELETE
#undef DELETE
#endif

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "venue/HttpServerThread.h"

namespace testhttp {

struct Received {
  std::string method;
  std::string path;
  std::string query;  // raw, as sent
  std::string body;
  std::string contentType;
};

class LoopbackServer {
 public:
  // Takes a server made by the caller (for TLS) or makes a plain one.
  explicit LoopbackServer(std::unique_ptr<httplib::Server> server = nullptr)
      : m_server(server ? std::move(server) : std::make_unique<httplib::Server>()) {
    auto& s = *m_server;
    // Recorded before the response goes out, so a client that has its answer finds its request here.
    s.set_post_routing_handler([this](const httplib::Request& req, httplib::Response&) { record(req); });
    s.Get("/hello", [](const httplib::Request&, httplib::Response& res) { res.set_content("hello world", "text/plain"); });
    s.Get("/json", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(R"({"code":1,"name":"song"})", "application/json");
    });
    s.Get("/big", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(std::string(256 * 1024, 'b'), "application/octet-stream");
    });
    s.Get("/status500", [](const httplib::Request&, httplib::Response& res) {
      res.status = 500;
      res.set_content("broken", "text/plain");
    });
    s.Get("/redirect", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/hello", 302); });
    // Sends some bytes, then drops the connection in the middle of the declared body.
    s.Get("/drop", [](const httplib::Request&, httplib::Response& res) {
      res.set_content_provider(1000, "text/plain", [](size_t offset, size_t, httplib::DataSink& sink) {
        if (offset > 0) return false;
        sink.write("partial", 7);
        return true;
      });
    });
    // Holds the reply until the test ends.
    s.Get("/stall", [this](const httplib::Request&, httplib::Response& res) {
      waitForRelease();
      res.set_content("late", "text/plain");
    });
    auto echo = [](const httplib::Request& req, httplib::Response& res) {
      res.set_content(req.method + " " + std::to_string(req.body.size()), "text/plain");
    };
    for (const char* path : {"/echo", "/interface/getrankinfo", "/getrankinfo"}) {
      s.Get(path, echo);
      s.Post(path, echo);
      s.Put(path, echo);
      s.Patch(path, echo);
      s.Delete(path, echo);
      s.Options(path, echo);
    }
    // Lists the multipart form's fields: name=value, or name=size for long ones.
    s.Post("/form", [](const httplib::Request& req, httplib::Response& res) {
      std::string out;
      for (const auto& [name, part] : req.files) {
        out += name + "=" + (part.content.size() > 64 ? std::to_string(part.content.size()) : part.content) + ";";
      }
      res.set_content(out, "text/plain");
    });
    s.set_default_headers({});
    m_port = s.bind_to_any_port("127.0.0.1");
    m_thread = venue::listenInBackground(*m_server);
    // stop() does nothing before the server runs: a test that ends at once would hang on join.
    while (!m_server->is_running()) std::this_thread::yield();
  }

  ~LoopbackServer() {
    release();
    m_server->stop();
    if (m_thread.joinable()) m_thread.join();
  }

  httplib::Server& server() { return *m_server; }
  int port() const { return m_port; }
  std::string url(const std::string& path, const char* scheme = "http") const {
    return std::string(scheme) + "://127.0.0.1:" + std::to_string(m_port) + path;
  }

  std::vector<Received> received() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_received;
  }

  // Waits until `count` requests have reached the held reply (false after 15 s).
  bool waitForStalled(int count) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_cv.wait_for(lock, std::chrono::seconds(15), [&] { return m_stalled >= count; });
  }

  void release() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_released = true;
    }
    m_cv.notify_all();
  }

 private:
  void record(const httplib::Request& req) {
    Received r;
    r.method = req.method;
    r.path = req.path;
    auto question = req.target.find('?');
    if (question != std::string::npos) r.query = req.target.substr(question + 1);
    r.body = req.body;
    r.contentType = req.get_header_value("Content-Type");
    std::lock_guard<std::mutex> lock(m_mutex);
    m_received.push_back(std::move(r));
  }

  void waitForRelease() {
    std::unique_lock<std::mutex> lock(m_mutex);
    ++m_stalled;
    m_cv.notify_all();
    m_cv.wait_for(lock, std::chrono::seconds(20), [this] { return m_released; });
  }

  std::unique_ptr<httplib::Server> m_server;
  int m_port = 0;
  std::thread m_thread;
  std::mutex m_mutex;
  std::condition_variable m_cv;
  bool m_released = false;
  int m_stalled = 0;
  std::vector<Received> m_received;
};

}  // namespace testhttp
