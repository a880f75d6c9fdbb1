#pragma once

// A minimal HTTP/1.1 client for the stand-in's own tests: sends the request target exactly as
// given (no encoding of its own), with "Connection: close", and reads the whole answer. Reads
// are bounded by the loopback client's receive time-out.

#include "venue/selftest/LoopbackClient.h"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <strings.h>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace venue::selftest {

struct HttpAnswer {
  bool connected = false;
  bool answered = false;  // a status line arrived
  int status = 0;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;

  std::string header(const std::string& name) const {
    for (const auto& [key, value] : headers) {
      if (::strcasecmp(key.c_str(), name.c_str()) == 0) return value;
    }
    return "";
  }
  nlohmann::json json() const { return nlohmann::json::parse(body, nullptr, false); }
};

inline HttpAnswer httpGet(std::uint16_t port, const std::string& target, const std::string& host = "127.0.0.1",
                          const std::vector<std::string>& extraHeaders = {}) {
  HttpAnswer answer;
  LoopbackClient client;
  if (client.connect(port) != 0) return answer;
  answer.connected = true;
  std::string request = "GET " + target + " HTTP/1.1\r\nHost: " + host + "\r\n";
  for (const std::string& h : extraHeaders) request += h + "\r\n";
  request += "Connection: close\r\n\r\n";
  if (!client.write(request)) return answer;
  std::string raw;
  while (std::optional<std::string> chunk = client.readSome()) raw += *chunk;

  std::size_t headEnd = raw.find("\r\n\r\n");
  if (raw.rfind("HTTP/1.1 ", 0) != 0 || headEnd == std::string::npos) return answer;
  answer.answered = true;
  answer.status = std::atoi(raw.c_str() + 9);
  std::size_t at = raw.find("\r\n") + 2;
  while (at < headEnd) {
    std::size_t end = raw.find("\r\n", at);
    std::string line = raw.substr(at, end - at);
    std::size_t colon = line.find(':');
    if (colon != std::string::npos) {
      std::size_t start = line.find_first_not_of(' ', colon + 1);
      answer.headers.emplace_back(line.substr(0, colon), start == std::string::npos ? "" : line.substr(start));
    }
    at = end + 2;
  }
  answer.body = raw.substr(headEnd + 4);
  return answer;
}

}  // namespace venue::selftest
