#include "platform/net/HostMap.h"

#include "platform/core/Log.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <mutex>

namespace net {

namespace {

std::string lowercase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// "host:port", with an IPv6 host in brackets; the port must be 1-65535.
bool splitHostPort(const std::string& text, std::string& host, int& port) {
  size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 >= text.size() || text.size() - colon > 6) return false;
  host = text.substr(0, colon);
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  port = 0;
  for (size_t i = colon + 1; i < text.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    port = port * 10 + (text[i] - '0');
  }
  return port > 0 && port <= 65535 && !host.empty();
}

std::string trim(const std::string& text) {
  size_t b = text.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  size_t e = text.find_last_not_of(" \t");
  return text.substr(b, e - b + 1);
}

struct Table {
  std::mutex mutex;
  std::vector<HostMap::Entry> entries;
  bool loaded = false;

  void loadLocked() {
    if (loaded) return;
    loaded = true;
    if (const char* env = std::getenv("KT_HOST_MAP")) entries = HostMap::parse(env);
  }
};

// Never destroyed: session threads look hosts up while the process exits.
Table& table() {
  static Table* t = new Table;
  return *t;
}

std::string bracketed(const std::string& host) {
  return host.find(':') != std::string::npos ? "[" + host + "]" : host;
}

}  // namespace

std::vector<HostMap::Entry> HostMap::parse(const std::string& text) {
  std::vector<Entry> out;
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    std::string item = trim(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    start = comma == std::string::npos ? text.size() + 1 : comma + 1;
    if (item.empty()) continue;
    size_t eq = item.find('=');
    Entry entry;
    if (eq == std::string::npos || !splitHostPort(trim(item.substr(0, eq)), entry.host, entry.port) ||
        !splitHostPort(trim(item.substr(eq + 1)), entry.toHost, entry.toPort)) {
      KT_LOG("ignoring host map entry \"%s\"", item.c_str());
      continue;
    }
    entry.host = lowercase(entry.host);
    out.push_back(std::move(entry));
  }
  return out;
}

void HostMap::set(const std::string& host, int port, const std::string& toHost, int toPort) {
  Table& t = table();
  std::lock_guard lock(t.mutex);
  t.loadLocked();
  std::string key = lowercase(host);
  for (Entry& e : t.entries) {
    if (e.host == key && e.port == port) {
      e.toHost = toHost;
      e.toPort = toPort;
      return;
    }
  }
  t.entries.push_back(Entry{key, port, toHost, toPort});
}

void HostMap::remove(const std::string& host, int port) {
  Table& t = table();
  std::lock_guard lock(t.mutex);
  t.loadLocked();
  std::string key = lowercase(host);
  std::erase_if(t.entries, [&](const Entry& e) { return e.host == key && e.port == port; });
}

void HostMap::clear() {
  Table& t = table();
  std::lock_guard lock(t.mutex);
  t.loaded = true;
  t.entries.clear();
}

std::optional<std::pair<std::string, int>> HostMap::lookup(const std::string& host, int port) {
  Table& t = table();
  std::lock_guard lock(t.mutex);
  t.loadLocked();
  std::string key = lowercase(host);
  for (const Entry& e : t.entries) {
    if (e.host == key && e.port == port) return std::make_pair(e.toHost, e.toPort);
  }
  return std::nullopt;
}

std::vector<std::string> HostMap::connectToEntries() {
  Table& t = table();
  std::lock_guard lock(t.mutex);
  t.loadLocked();
  std::vector<std::string> out;
  for (const Entry& e : t.entries) {
    out.push_back(bracketed(e.host) + ":" + std::to_string(e.port) + ":" + bracketed(e.toHost) + ":" +
                  std::to_string(e.toPort));
  }
  return out;
}

}  // namespace net
