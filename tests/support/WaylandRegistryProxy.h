#pragma once

// A Wayland compositor's connections passed through the test with its registry changed: the
// globals of an interface hidden, announced at a lower version, held back until release() (then
// announced to every registry made so far, and to those made after, as a compositor announces a
// seat whose device came late), announced several times over (copies of the proxy's own, bound as
// the real one), or removed as soon as they are announced; wl_shm's formats filtered; and, while
// the client runs, the globals of an interface removed as a compositor removes an unplugged
// output (removeNow) and announced again (addBack). Each connection's requests are read for
// wl_display.get_registry (the registry's object id), wl_registry.bind (what each object is, the
// proxy's names put back to the real ones), wl_compositor.create_surface and
// zxdg_output_manager_v1.get_xdg_output; the compositor's events to those objects are changed,
// everything else passes as it came, with the descriptors its messages carry. Messages are taken
// whole: what the proxy adds or drops never splits one, and none it drops carries a descriptor.

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/PassedDescriptors.h"

namespace support {

class WaylandRegistryProxy {
 public:
  struct Change {
    enum Kind { Hide, Lower, Hold, Repeat, RemoveAtOnce, Formats };
    std::string interface;
    Kind kind = Hide;
    uint32_t version = 1;           // Lower, Repeat: the version announced, when below the compositor's
    uint32_t count = 0;             // Repeat: the copies; RemoveAtOnce: the globals removed
    bool before = false;            // Repeat: the copies announced before the real one
    std::vector<uint32_t> formats;  // Formats: the wl_shm formats that reach the client

    Change() = default;
    // {interface, Hide | Hold}, {interface, Lower, version}, {interface, Repeat, version, count,
    // before}, {interface, RemoveAtOnce, count}.
    Change(std::string interface, Kind kind = Hide, uint32_t number = 1, uint32_t copies = 0, bool first = false)
        : interface(std::move(interface)), kind(kind), before(first) {
      if (kind == RemoveAtOnce) {
        count = number;
      } else {
        version = number;
        count = copies;
      }
    }
    // {"wl_shm", Formats, formats} ({} for none).
    Change(std::string interface, Kind kind, std::vector<uint32_t> kept)
        : interface(std::move(interface)), kind(kind), formats(std::move(kept)) {}
    Change(std::string interface, Kind kind, std::initializer_list<uint32_t> kept)
        : interface(std::move(interface)), kind(kind), formats(kept) {}
  };

  // For the compositor listening at `upstream` (a socket path), on the socket path `path` (for the
  // client's WAYLAND_DISPLAY, in its XDG_RUNTIME_DIR); null when it cannot listen there.
  static std::unique_ptr<WaylandRegistryProxy> start(const std::string& upstream, const std::string& path,
                                                     std::vector<Change> changes) {
    std::unique_ptr<WaylandRegistryProxy> p(new WaylandRegistryProxy(upstream, std::move(changes)));
    sockaddr_un addr{};
    if (path.size() >= sizeof addr.sun_path) return nullptr;
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.data(), path.size());
    p->m_listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (p->m_listener < 0 || bind(p->m_listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return nullptr;
    p->m_path = path;
    if (::listen(p->m_listener, 64) != 0) return nullptr;
    p->m_wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    p->m_thread = std::thread([raw = p.get()] { raw->run(); });
    return p;
  }

  ~WaylandRegistryProxy() {
    m_stopping = true;
    wake();
    if (m_thread.joinable()) m_thread.join();
    for (Pair& pair : m_pairs) pair.close();
    if (m_listener >= 0) close(m_listener);
    if (m_wake >= 0) close(m_wake);
    if (!m_path.empty()) unlink(m_path.c_str());
  }
  WaylandRegistryProxy(const WaylandRegistryProxy&) = delete;
  WaylandRegistryProxy& operator=(const WaylandRegistryProxy&) = delete;

  // The globals held back are announced, now to every registry that has had them held, and from
  // now on as they come.
  void release() {
    m_release = true;
    wake();
  }
  // Every global of `interface` announced so far is removed, as a compositor removes an output
  // that was unplugged: wl_surface.leave first for each of the client's surfaces that entered it,
  // then wl_registry.global_remove to every registry; no event naming it reaches the client after
  // that, nor is it announced to registries made later. With `count`, only the first `count` of
  // those still there go (one of two monitors switched off), and the rest stay announced to every
  // registry. Returns once that is on its way.
  void removeNow(const std::string& interface, size_t count = SIZE_MAX) {
    ask(Request{Request::Remove, interface, count});
  }
  // The globals removed are announced again, under new names, as a compositor announces an output
  // plugged back in; binding them binds the real one. Returns once that is on its way.
  void addBack(const std::string& interface) { ask(Request{Request::AddBack, interface}); }
  // Connections taken so far.
  int accepted() const { return m_accepted; }
  // Until `count` registries were asked for in all connections (true), or a minute.
  bool waitForRegistries(int count) const {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (m_registries < count && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return m_registries >= count;
  }
  // Until the clients bound `count` globals of `interface` in all connections (true), or a minute.
  bool waitForBinds(const std::string& interface, int count) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::seconds(60), [&] { return m_binds[interface] >= count; });
  }

 private:
  static constexpr uint32_t Display = 1;
  // wl_display's delete_id, wl_registry's requests and events, and the other opcodes read.
  static constexpr uint32_t GetRegistry = 1, DeleteId = 1, Bind = 0, Global = 0, GlobalRemove = 1,
                            CreateSurface = 0, GetXdgOutput = 1, SurfaceEnter = 0, SurfaceLeave = 1, ShmFormat = 0;
  // The names the proxy gives copies and globals announced again: far above a compositor's.
  static constexpr uint32_t FirstOwnName = 0x40000000;

  // A global as one connection was told of it.
  struct Announced {
    uint32_t name = 0;  // as the client knows it
    uint32_t real = 0;  // the compositor's
    uint32_t copy = 0;  // 0: the real one, else which copy
    std::string interface;
    uint32_t version = 0;
    std::vector<uint32_t> registries;  // told of it
    bool removed = false;
    bool returned = false;  // announced again after its removal (under another name)
  };
  // An object of the client's that the proxy follows: bound to a global (by the client's name),
  // made from one (an xdg_output from an output), or a surface.
  struct Object {
    std::string interface;
    uint32_t global = 0;
    uint32_t from = 0;  // the object it was made from
  };
  // A global event the Hold change keeps back.
  struct Held {
    uint32_t registry, real, version;
    std::string interface;
  };
  struct Pair {
    int client = -1, server = -1;
    std::string fromClient, fromServer;  // bytes not yet a whole message
    std::string toClient, toServer;
    std::vector<int> descriptorsToClient, descriptorsToServer;
    std::vector<uint32_t> registries;
    std::vector<Held> held;  // kept back until release
    std::vector<Announced> globals;
    std::map<uint32_t, Object> objects;
    std::map<uint32_t, std::set<uint32_t>> entered;  // surface -> the outputs it is on
    std::set<uint32_t> silenced;                     // objects of removed globals: no events
    std::map<std::string, uint32_t> removedAtOnce;   // interface -> globals removed as announced
    void close() {
      if (client >= 0) ::close(client);
      if (server >= 0) ::close(server);
      client = server = -1;
      for (auto* list : {&descriptorsToClient, &descriptorsToServer}) {
        for (int fd : *list) ::close(fd);
        list->clear();
      }
    }
    Announced* global(uint32_t name) {
      for (Announced& a : globals)
        if (a.name == name) return &a;
      return nullptr;
    }
  };
  struct Request {
    enum Kind { Remove, AddBack } kind;
    std::string interface;
    size_t count = SIZE_MAX;  // Remove: how many of those still there
  };

  WaylandRegistryProxy(std::string upstream, std::vector<Change> changes)
      : m_upstream(std::move(upstream)), m_changes(std::move(changes)) {}

  static uint32_t word(const std::string& s, size_t at) {
    uint32_t v;
    std::memcpy(&v, s.data() + at, sizeof v);
    return v;
  }
  static void put(std::string& s, uint32_t v) { s.append(reinterpret_cast<const char*>(&v), sizeof v); }
  // A message to `object` with `opcode`, its arguments already laid out.
  static std::string message(uint32_t object, uint32_t opcode, const std::string& arguments) {
    std::string m;
    put(m, object);
    put(m, static_cast<uint32_t>((8 + arguments.size()) << 16 | opcode));
    return m + arguments;
  }
  static std::string globalEvent(uint32_t registry, uint32_t name, const std::string& interface, uint32_t version) {
    std::string a;
    put(a, name);
    put(a, static_cast<uint32_t>(interface.size() + 1));
    a += interface;
    a.append(4 - interface.size() % 4, '\0');  // the terminating zero and the padding
    put(a, version);
    return message(registry, Global, a);
  }
  static std::string oneWord(uint32_t object, uint32_t opcode, uint32_t value) {
    std::string a;
    put(a, value);
    return message(object, opcode, a);
  }
  // A string argument at `at` of `m` (length, bytes, padding): its text and the offset after it,
  // or an offset of 0 when it does not fit in the message.
  static std::pair<std::string, size_t> stringAt(const std::string& m, size_t at) {
    if (at + 4 > m.size()) return {"", 0};
    const size_t length = word(m, at);
    const size_t end = at + 4 + ((length + 3) & ~size_t{3});
    if (length == 0 || end > m.size()) return {"", 0};
    return {std::string(m.data() + at + 4, strnlen(m.data() + at + 4, length)), end};
  }

  void wake() {
    const uint64_t one = 1;
    ssize_t written = write(m_wake, &one, sizeof one);
    (void)written;
  }

  void ask(Request request) {
    std::unique_lock<std::mutex> lock(m_mutex);
    const uint64_t ticket = ++m_asked;
    m_requests.push_back(std::move(request));
    lock.unlock();
    wake();
    lock.lock();
    m_changed.wait_for(lock, std::chrono::seconds(60), [&] { return m_answered >= ticket; });
  }

  int connectUpstream() const {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, m_upstream.c_str(), sizeof addr.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
      ::close(fd);
      return -1;
    }
    fcntl(fd, F_SETFL, O_NONBLOCK);
    return fd;
  }

  // The client's requests pass as they are, but for the proxy's names in binds, which become the
  // real ones; the requests that make objects the proxy follows are noted.
  void fromClient(Pair& pair) {
    size_t at = 0;
    while (pair.fromClient.size() - at >= 8) {
      const uint32_t object = word(pair.fromClient, at), header = word(pair.fromClient, at + 4);
      const size_t length = header >> 16;
      if (length < 8) {
        // Not Wayland: passed on, the compositor says so.
        pair.toServer.append(pair.fromClient, at, std::string::npos);
        at = pair.fromClient.size();
        break;
      }
      if (pair.fromClient.size() - at < length) break;
      std::string m = pair.fromClient.substr(at, length);
      at += length;
      request(pair, object, header & 0xffff, m);
      pair.toServer += m;
    }
    pair.fromClient.erase(0, at);
  }

  void request(Pair& pair, uint32_t object, uint32_t opcode, std::string& m) {
    if (object == Display && opcode == GetRegistry && m.size() >= 12) {
      pair.registries.push_back(word(m, 8));
      ++m_registries;
      return;
    }
    if (opcode == Bind && isRegistry(pair, object) && m.size() >= 16) {
      // name, then the new object: interface, version, id.
      const uint32_t name = word(m, 8);
      const auto [interface, next] = stringAt(m, 12);
      if (next == 0 || next + 8 > m.size()) return;
      const uint32_t id = word(m, next + 4);
      const Announced* global = pair.global(name);
      if (global && global->real != name) std::memcpy(m.data() + 8, &global->real, sizeof global->real);
      pair.objects[id] = Object{interface, name, 0};
      if (global && global->removed) pair.silenced.insert(id);
      std::lock_guard<std::mutex> lock(m_mutex);
      ++m_binds[interface];
      m_changed.notify_all();
      return;
    }
    const auto it = pair.objects.find(object);
    if (it == pair.objects.end() || m.size() < 12) return;
    if (it->second.interface == "wl_compositor" && opcode == CreateSurface) {
      pair.objects[word(m, 8)] = Object{"wl_surface", 0, 0};
    } else if (it->second.interface == "zxdg_output_manager_v1" && opcode == GetXdgOutput && m.size() >= 16) {
      const uint32_t id = word(m, 8), output = word(m, 12);
      pair.objects[id] = Object{"zxdg_output_v1", 0, output};
      if (pair.silenced.count(output)) pair.silenced.insert(id);
    }
  }

  static bool isRegistry(const Pair& pair, uint32_t object) {
    return std::find(pair.registries.begin(), pair.registries.end(), object) != pair.registries.end();
  }

  // The changes of globals of `interface`.
  std::vector<const Change*> changesFor(const std::string& interface) const {
    std::vector<const Change*> found;
    for (const Change& c : m_changes)
      if (c.interface == interface) found.push_back(&c);
    return found;
  }
  const Change* changeFor(const std::string& interface, Change::Kind kind) const {
    for (const Change* c : changesFor(interface))
      if (c->kind == kind) return c;
    return nullptr;
  }

  // The compositor's events, whole messages at a time: the registries' globals changed, the
  // events of removed globals' objects dropped.
  void fromServer(Pair& pair) {
    size_t at = 0;
    while (pair.fromServer.size() - at >= 8) {
      const uint32_t object = word(pair.fromServer, at), header = word(pair.fromServer, at + 4);
      const size_t length = header >> 16;
      if (length < 8) {
        pair.toClient.append(pair.fromServer, at, std::string::npos);
        at = pair.fromServer.size();
        break;
      }
      if (pair.fromServer.size() - at < length) break;
      std::string m = pair.fromServer.substr(at, length);
      at += length;
      if (event(pair, object, header & 0xffff, m)) pair.toClient += m;
    }
    pair.fromServer.erase(0, at);
  }

  // Whether the event passes (announcements are added by the proxy itself).
  bool event(Pair& pair, uint32_t object, uint32_t opcode, const std::string& m) {
    if (object == Display && opcode == DeleteId && m.size() >= 12) {
      // The id is free: what the proxy knew of it is over.
      const uint32_t id = word(m, 8);
      pair.objects.erase(id);
      pair.entered.erase(id);
      pair.silenced.erase(id);
      for (auto& [surface, outputs] : pair.entered) outputs.erase(id);
      return true;
    }
    if (isRegistry(pair, object)) {
      if (opcode == Global && m.size() >= 20) {
        const auto [interface, next] = stringAt(m, 12);
        if (next == 0 || next + 4 > m.size()) return true;
        if (m_gone.count(word(m, 8))) return false;  // removed: not there for a new registry either
        if (changeFor(interface, Change::Hold) && !m_released) {
          pair.held.push_back(Held{object, word(m, 8), word(m, next), interface});
          return false;
        }
        announce(pair, object, word(m, 8), interface, word(m, next));
        return false;
      }
      if (opcode == GlobalRemove && m.size() >= 12) {
        // The compositor's own removal, from this registry: its copies go with it.
        const uint32_t real = word(m, 8);
        bool passes = false;
        for (Announced& a : pair.globals) {
          const auto told = std::find(a.registries.begin(), a.registries.end(), object);
          if (a.real != real || told == a.registries.end()) continue;
          a.registries.erase(told);
          if (a.removed) continue;
          if (a.name == real) passes = true;
          else pair.toClient += oneWord(object, GlobalRemove, a.name);
          if (a.registries.empty()) a.removed = true;
        }
        return passes;
      }
      return true;
    }
    if (pair.silenced.count(object)) return false;
    const auto it = pair.objects.find(object);
    if (it == pair.objects.end()) return true;
    const std::string& interface = it->second.interface;
    if (interface == "wl_surface" && (opcode == SurfaceEnter || opcode == SurfaceLeave) && m.size() >= 12) {
      const uint32_t output = word(m, 8);
      if (pair.silenced.count(output)) return false;
      if (opcode == SurfaceEnter) pair.entered[object].insert(output);
      else pair.entered[object].erase(output);
      return true;
    }
    if (interface == "wl_shm" && opcode == ShmFormat && m.size() >= 12) {
      const Change* formats = changeFor("wl_shm", Change::Formats);
      return !formats || std::find(formats->formats.begin(), formats->formats.end(), word(m, 8)) != formats->formats.end();
    }
    return true;
  }

  // The compositor's global `real` of `interface` at `version`, to `registry`, as the changes make
  // it: hidden, lowered, with its copies, removed at once.
  void announce(Pair& pair, uint32_t registry, uint32_t real, const std::string& interface, uint32_t version) {
    if (changeFor(interface, Change::Hide)) return;
    if (const Change* lower = changeFor(interface, Change::Lower)) version = std::min(version, lower->version);
    std::vector<std::pair<uint32_t, uint32_t>> order{{0, version}};  // copy, version
    if (const Change* repeat = changeFor(interface, Change::Repeat)) {
      for (uint32_t k = 1; k <= repeat->count; ++k) {
        const std::pair<uint32_t, uint32_t> copy{k, std::min(version, repeat->version)};
        if (repeat->before) order.insert(order.end() - 1, copy);
        else order.push_back(copy);
      }
    }
    const Change* atOnce = changeFor(interface, Change::RemoveAtOnce);
    for (const auto& [copy, v] : order) {
      Announced* a = nullptr;
      for (Announced& g : pair.globals)
        if (g.real == real && g.copy == copy && !g.returned) a = &g;
      if (!a) {
        Announced fresh;
        fresh.name = copy == 0 ? real : m_nextName++;
        fresh.real = real;
        fresh.copy = copy;
        fresh.interface = interface;
        fresh.version = v;
        pair.globals.push_back(std::move(fresh));
        a = &pair.globals.back();
        if (atOnce && pair.removedAtOnce[interface] < atOnce->count) {
          ++pair.removedAtOnce[interface];
          a->registries.push_back(registry);
          pair.toClient += globalEvent(registry, a->name, interface, v);
          pair.toClient += oneWord(registry, GlobalRemove, a->name);
          a->removed = true;
          continue;
        }
      }
      if (a->removed) continue;
      a->registries.push_back(registry);
      pair.toClient += globalEvent(registry, a->name, interface, a->version);
    }
  }

  void removeNow(Pair& pair, const std::string& interface, size_t count) {
    std::vector<Announced*> removed;
    for (Announced& a : pair.globals)
      if (a.interface == interface && !a.removed && removed.size() < count) removed.push_back(&a);
    // The client's objects of those globals, and what was made from them.
    std::set<uint32_t> gone;
    for (const auto& [id, o] : pair.objects)
      for (const Announced* a : removed)
        if (o.global == a->name && !o.interface.empty() && o.from == 0) gone.insert(id);
    for (const auto& [id, o] : pair.objects)
      if (o.from && gone.count(o.from)) gone.insert(id);
    for (auto& [surface, outputs] : pair.entered) {
      for (uint32_t output : gone) {
        if (!outputs.erase(output)) continue;
        pair.toClient += oneWord(surface, SurfaceLeave, output);
      }
    }
    for (Announced* a : removed) {
      a->removed = true;
      for (uint32_t registry : a->registries) pair.toClient += oneWord(registry, GlobalRemove, a->name);
    }
    pair.silenced.insert(gone.begin(), gone.end());
  }

  void addBack(Pair& pair, const std::string& interface) {
    const size_t count = pair.globals.size();
    for (size_t i = 0; i < count; ++i) {
      if (pair.globals[i].interface != interface || !pair.globals[i].removed || pair.globals[i].returned) continue;
      pair.globals[i].returned = true;
      Announced again = pair.globals[i];
      again.name = m_nextName++;
      again.removed = again.returned = false;
      again.registries = pair.registries;
      for (uint32_t registry : again.registries)
        pair.toClient += globalEvent(registry, again.name, interface, again.version);
      pair.globals.push_back(std::move(again));
    }
  }

  // removeNow() and addBack() asked by the test, done in every connection.
  void answerRequests() {
    std::unique_lock<std::mutex> lock(m_mutex);
    std::vector<Request> requests = std::move(m_requests);
    m_requests.clear();
    lock.unlock();
    for (const Request& r : requests) {
      for (Pair& pair : m_pairs) {
        if (pair.client < 0) continue;
        if (r.kind == Request::Remove) {
          // Copies share their real global: it is hidden from later connections only when all go.
          if (r.count == SIZE_MAX)
            for (const Announced& a : pair.globals)
              if (a.interface == r.interface && !a.removed) m_gone.insert(a.real);
          removeNow(pair, r.interface, r.count);
        } else {
          addBack(pair, r.interface);
        }
      }
      if (r.kind == Request::AddBack) {
        // Announced to new connections as they come again.
        for (Pair& pair : m_pairs)
          for (const Announced& a : pair.globals)
            if (a.interface == r.interface) m_gone.erase(a.real);
      }
    }
    for (Pair& p : m_pairs)
      if (p.client >= 0 && !descriptors::flush(p.client, p.toClient, p.descriptorsToClient)) p.close();
    lock.lock();
    m_answered += requests.size();
    m_changed.notify_all();
  }

  // Reads what `fd` has onto `into`, and the descriptors that came with it onto `descriptors`.
  static ssize_t receive(int fd, std::string& into, std::vector<int>& descriptors) {
    char buffer[65536];
    const ssize_t n = descriptors::receive(fd, buffer, sizeof buffer, descriptors);
    if (n > 0) into.append(buffer, static_cast<size_t>(n));
    return n;
  }

  void run() {
    std::vector<pollfd> fds;
    while (!m_stopping) {
      if (m_release.exchange(false) && !m_released) {
        m_released = true;
        for (Pair& p : m_pairs) {
          for (const Held& h : p.held) announce(p, h.registry, h.real, h.interface, h.version);
          p.held.clear();
        }
      }
      answerRequests();
      std::erase_if(m_pairs, [](const Pair& p) { return p.client < 0; });
      fds.clear();
      fds.push_back(pollfd{m_wake, POLLIN, 0});
      fds.push_back(pollfd{m_listener, POLLIN, 0});
      for (Pair& p : m_pairs) {
        fds.push_back(pollfd{p.client, static_cast<short>(POLLIN | (p.toClient.empty() ? 0 : POLLOUT)), 0});
        fds.push_back(pollfd{p.server, static_cast<short>(POLLIN | (p.toServer.empty() ? 0 : POLLOUT)), 0});
      }
      if (poll(fds.data(), fds.size(), -1) < 0) continue;
      if (fds[0].revents) {
        uint64_t count;
        ssize_t n = read(m_wake, &count, sizeof count);
        (void)n;
      }
      if (fds[1].revents & POLLIN) {
        const int c = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (c >= 0) {
          const int s = connectUpstream();
          if (s < 0) {
            ::close(c);
          } else {
            Pair& pair = m_pairs.emplace_back();
            pair.client = c;
            pair.server = s;
            ++m_accepted;
          }
        }
      }
      const size_t polled = (fds.size() - 2) / 2;
      for (size_t i = 0; i < polled; ++i) {
        Pair& p = m_pairs[i];
        if (p.client < 0) continue;
        const pollfd& c = fds[2 + 2 * i];
        const pollfd& s = fds[3 + 2 * i];
        bool over = false;
        if (c.revents & (POLLIN | POLLHUP | POLLERR)) {
          const ssize_t n = receive(p.client, p.fromClient, p.descriptorsToServer);
          if (n > 0) fromClient(p);
          else over = !(n < 0 && (errno == EAGAIN || errno == EINTR));
        }
        if (!over && (s.revents & (POLLIN | POLLHUP | POLLERR))) {
          const ssize_t n = receive(p.server, p.fromServer, p.descriptorsToClient);
          if (n > 0) fromServer(p);
          else over = !(n < 0 && (errno == EAGAIN || errno == EINTR));
        }
        if (!over)
          over = !descriptors::flush(p.client, p.toClient, p.descriptorsToClient) ||
                 !descriptors::flush(p.server, p.toServer, p.descriptorsToServer);
        if (over) p.close();
      }
    }
  }

  std::string m_upstream, m_path;
  std::vector<Change> m_changes;
  int m_listener = -1;
  int m_wake = -1;
  std::vector<Pair> m_pairs;  // the thread's
  bool m_released = false;    // the thread's
  uint32_t m_nextName = FirstOwnName;  // the thread's
  std::set<uint32_t> m_gone;  // the thread's: the compositor's globals removed, not yet back
  std::atomic<int> m_accepted{0}, m_registries{0};
  std::atomic<bool> m_release{false}, m_stopping{false};
  // The test's requests and the binds seen, shared with the test's thread.
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::vector<Request> m_requests;
  uint64_t m_asked = 0, m_answered = 0;
  std::map<std::string, int> m_binds;
  std::thread m_thread;
};

}  // namespace support
