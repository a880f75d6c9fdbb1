#pragma once

// The common part of the stand-in HTTP peers (the cloud song service and the venue web
// server): an HTTP/1.1 server on 127.0.0.1 with a thread pool of its own, a record of every
// request exactly as it arrived, and faults that tests switch on per endpoint. It stops by
// itself when destroyed; a reply held back by a delay is cut short by stop().
//
// A subclass answers requests in handle() and names the endpoint a request belongs to in
// endpointOf(); faults are looked up by the request's exact path, then by that name, then "*".

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Gate.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace venue {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

// One request as received.
struct RecordedRequest {
  std::string method;      // "GET"
  std::string target;      // the request target as sent: path and query, not decoded
  std::string rawPath;     // the target before the first "?", not decoded
  std::string query;       // the target after the first "?", not decoded; "" when there is none
  bool hasQuery = false;   // whether the target held a "?"
  std::string version;     // "HTTP/1.1"
  std::string path;        // rawPath percent-decoded
  HeaderList headers;      // names and values as sent, sorted by name (ignoring case)
  HeaderList params;       // the query decoded, in the order sent
  std::string body;
  std::string endpoint;    // the peer's name for what was asked ("addsong.php", "getrankinfo", "Flag=11")

  // "GET /interface/addsong.php?appid=arr&... HTTP/1.1"
  std::string line() const { return method + " " + target + " " + version; }
  // The first header or parameter of that name (header names ignore case).
  std::optional<std::string> header(const std::string& name) const;
  std::optional<std::string> param(const std::string& name) const;
  // The parameter names in the order sent.
  std::vector<std::string> paramNames() const;
};

// A misbehaviour for the requests of one endpoint.
struct Fault {
  enum class Kind {
    None,          // answer normally (after the delay)
    Html,          // 200 with an HTML error page instead of the reply; the request has no effect
    EmptyBody,     // 200 with an empty body; no effect
    Status,        // the normal reply (and its effect) with another status code
    JsonNull,      // 200 with the body "null"; no effect
    MissingKeys,   // the normal reply without the named top-level keys (all keys when none are named)
    NullValues,    // the normal reply with the named top-level keys set to null (all when none are named)
    NonUtf8,       // the normal reply with bytes that are not UTF-8 put in front of it
    Body,          // this status, content type and body instead of the reply; no effect
    Close,         // the connection is closed without any reply; no effect
    Truncated,     // the normal reply's status, headers and full Content-Length, but the connection
                   // closes after the first half of the body (as when a server dies mid-transfer)
    Redirect,      // 302 with this Location instead of the reply; no effect
    Stalled,       // the normal reply's status, headers and full Content-Length, then the first half
                   // of the body; the rest never comes (the connection stays open until the peer stops)
  };

  Kind kind = Kind::None;
  std::chrono::milliseconds delay{0};   // held back this long before the answer (any kind)
  int statusCode = 200;                 // Status, Body
  std::string body;                     // Body
  std::string contentType = "text/plain; charset=utf-8";  // Body
  std::vector<std::string> keys;        // MissingKeys, NullValues
  std::string location;                 // Redirect: a URL, or a path on this peer ("/images/a.png")
  int times = -1;                       // how many requests it applies to; -1: until cleared
  std::shared_ptr<Gate> gate;           // held at this gate (after the delay) until the test opens it

  static Fault html() { return make(Kind::Html); }
  static Fault emptyBody() { return make(Kind::EmptyBody); }
  static Fault status(int code) {
    Fault f = make(Kind::Status);
    f.statusCode = code;
    return f;
  }
  static Fault jsonNull() { return make(Kind::JsonNull); }
  static Fault missingKeys(std::vector<std::string> keys = {}) {
    Fault f = make(Kind::MissingKeys);
    f.keys = std::move(keys);
    return f;
  }
  static Fault nullValues(std::vector<std::string> keys = {}) {
    Fault f = make(Kind::NullValues);
    f.keys = std::move(keys);
    return f;
  }
  static Fault nonUtf8() { return make(Kind::NonUtf8); }
  static Fault withBody(int status, std::string body,
                        std::string contentType = "application/json; charset=utf-8") {
    Fault f = make(Kind::Body);
    f.statusCode = status;
    f.body = std::move(body);
    f.contentType = std::move(contentType);
    return f;
  }
  // A reply that takes this long, or one that never comes within a test. A reply that must come
  // after something else is held at a gate instead: on a busy machine a delay orders nothing.
  static Fault slow(std::chrono::milliseconds delay) {
    Fault f = make(Kind::None);
    f.delay = delay;
    return f;
  }
  // The normal answer, held until the test opens the gate.
  static Fault heldBy(std::shared_ptr<Gate> gate) {
    Fault f = make(Kind::None);
    f.gate = std::move(gate);
    return f;
  }
  static Fault close() { return make(Kind::Close); }
  static Fault truncated() { return make(Kind::Truncated); }
  static Fault stalled() { return make(Kind::Stalled); }
  static Fault redirect(std::string location) {
    Fault f = make(Kind::Redirect);
    f.location = std::move(location);
    return f;
  }

  Fault& after(std::chrono::milliseconds d) {
    delay = d;
    return *this;
  }
  // Any fault, held at the gate first.
  Fault& at(std::shared_ptr<Gate> g) {
    gate = std::move(g);
    return *this;
  }
  Fault& only(int count) {
    times = count;
    return *this;
  }

 private:
  static Fault make(Kind kind) {
    Fault f;
    f.kind = kind;
    return f;
  }
};

// What a peer answers.
struct HttpReply {
  int status = 200;
  std::string contentType = "application/json; charset=utf-8";
  std::string body;
  HeaderList headers = {};  // further header lines ("ETag", "Cache-Control")
  std::size_t chunkSize = 0;  // > 0: the body goes out chunked, this many bytes per chunk
};

class HttpPeer {
 public:
  HttpPeer();
  virtual ~HttpPeer();
  HttpPeer(const HttpPeer&) = delete;
  HttpPeer& operator=(const HttpPeer&) = delete;

  // Binds 127.0.0.1 (0: any free port) and starts serving. False when the port cannot be
  // bound or the peer is already running.
  bool start(std::uint16_t port = 0);
  // Stops serving, cuts short replies held back by a delay and joins every thread. Safe to
  // call twice. A subclass's destructor calls it before its own members go away.
  void stop();
  bool isRunning() const;
  std::uint16_t port() const { return m_port; }
  std::string address() const { return "127.0.0.1:" + std::to_string(m_port); }
  std::string baseUrl() const { return "http://" + address(); }

  // --- faults -------------------------------------------------------------------------------
  // key: an exact decoded path ("/interface/addsong.php"), an endpoint name ("addsong.php",
  // "getrankinfo", "Flag=11") or "*" for every request.
  void setFault(const std::string& key, Fault fault);
  void clearFault(const std::string& key);
  void clearFaults();

  // --- record -------------------------------------------------------------------------------
  std::vector<RecordedRequest> requests() const;
  std::size_t requestCount() const;
  // The request with this index; an empty record when out of range.
  RecordedRequest request(std::size_t index) const;
  RecordedRequest lastRequest() const;
  // Every request of this endpoint name, in order.
  std::vector<RecordedRequest> requestsTo(const std::string& endpoint) const;
  void clearRequests();
  // Waits until this many requests in all have arrived (real time).
  bool waitForRequests(std::size_t count, double timeoutSeconds) const;
  // Waits until this many answers (or closes) have been handed back to the server.
  bool waitForAnswers(std::size_t count, double timeoutSeconds) const;

 protected:
  // The normal answer to a request; runs on a server thread, concurrently with other requests.
  virtual HttpReply handle(const RecordedRequest& request) = 0;
  // The endpoint name of a request, recorded and used to find its fault.
  virtual std::string endpointOf(const RecordedRequest& request) const = 0;

 private:
  void serve(const httplib::Request& req, httplib::Response& res);
  std::optional<Fault> takeFault(const RecordedRequest& request);
  // Waits for the fault's delay, then at its gate; false when the peer is stopping.
  bool hold(const Fault& fault);
  // Shuts down the connection the request came on; the client sees it closed without an answer.
  void closeConnectionOf(const httplib::Request& req);

  std::unique_ptr<httplib::Server> m_server;
  std::thread m_thread;
  std::uint16_t m_port = 0;

  mutable std::mutex m_mutex;
  mutable std::condition_variable m_changed;
  bool m_stopping = false;
  std::vector<RecordedRequest> m_requests;
  std::size_t m_answers = 0;
  std::map<std::string, Fault> m_faults;
};

// --- generated pictures ------------------------------------------------------------------
// A deterministic picture for a seed text: a colour from the text, a diagonal band and a
// border. Width and height are clamped to 1..4096.
struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
};
Rgb colourFor(const std::string& seed);
// An RGB PNG (8 bits per channel, no interlace) of the picture.
std::string makePng(int width, int height, const std::string& seed);
// A baseline JPEG (quality 85) of the picture; empty when the encoder fails.
std::string makeJpeg(int width, int height, const std::string& seed);
// The picture's RGB pixels, row after row (width and height already within 1..4096).
std::vector<std::uint8_t> drawPicture(int width, int height, const std::string& seed);
// A PNG of rows of pixels with 3 (RGB) or 4 (RGBA, straight alpha) channels.
std::string encodePng(const std::vector<std::uint8_t>& pixels, int width, int height, int channels);
// A JPEG (quality 85) of RGB rows, baseline or progressive, with an APP1 segment after the JFIF
// one when `app1` is not empty (its payload, from the "Exif" name on); empty when the encoder fails.
std::string encodeJpeg(const std::vector<std::uint8_t>& pixels, int width, int height, const std::string& app1 = "",
                       bool progressive = false);

// Percent-decoding of a URL part ("%41" → "A"; a "%" without two hex digits stays).
std::string percentDecode(const std::string& text, bool plusIsSpace);

}  // namespace venue
