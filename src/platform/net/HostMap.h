#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace net {

// Where requests for a host and port really connect: the URL keeps its host (the Host header
// and the TLS name stay those of the URL) while the connection goes to the mapped address.
// Filled by tests, and from the environment variable KT_HOST_MAP at first use:
// "host:port=127.0.0.1:8081,host2:80=127.0.0.1:8082". Safe from any thread.
class HostMap {
 public:
  static void set(const std::string& host, int port, const std::string& toHost, int toPort);
  static void remove(const std::string& host, int port);
  // Removes every entry, also those read from the environment.
  static void clear();

  // The mapped address of a host (compared without case) and port.
  static std::optional<std::pair<std::string, int>> lookup(const std::string& host, int port);
  // The entries in libcurl's connect-to form "host:port:toHost:toPort".
  static std::vector<std::string> connectToEntries();

  // Parses the environment variable's text; malformed entries are left out.
  struct Entry {
    std::string host;
    int port = 0;
    std::string toHost;
    int toPort = 0;
  };
  static std::vector<Entry> parse(const std::string& text);
};

}  // namespace net
