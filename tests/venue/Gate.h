#pragma once

// A gate a test holds replies at: the stand-in keeps a reply whose fault names the gate until
// the test opens it (or the peer stops). The test decides the order of events, not the clock.
//
//   auto gate = std::make_shared<venue::Gate>();
//   service.setFault("songlisttop.php", venue::Fault::heldBy(gate));
//   ... tap; gate->waitForArrived(1, 10);   // the request has arrived and waits
//   ... whatever must happen first ...
//   gate->open();                           // the reply goes now

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace venue {

class Gate {
 public:
  // Lets every reply held now, and every later one, go.
  void open() {
    {
      std::lock_guard lock(m_mutex);
      m_open = true;
    }
    m_changed.notify_all();
  }
  bool isOpen() const {
    std::lock_guard lock(m_mutex);
    return m_open;
  }
  // Replies waiting at the gate now.
  std::size_t held() const {
    std::lock_guard lock(m_mutex);
    return m_held;
  }
  // Replies that have reached the gate so far (waiting or let through).
  std::size_t arrived() const {
    std::lock_guard lock(m_mutex);
    return m_arrived;
  }
  // Waits (real time) until this many replies have reached the gate; false on the time-out.
  bool waitForArrived(std::size_t count, double timeoutSeconds) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::duration<double>(timeoutSeconds),
                              [&] { return m_arrived >= count; });
  }

  // The peer's side: waits until the gate opens or stopping() turns true. True when the gate
  // opened. stopping() is asked every few milliseconds, so a peer that stops is never held up.
  template <typename Stopping>
  bool pass(Stopping stopping) {
    std::unique_lock lock(m_mutex);
    ++m_arrived;
    ++m_held;
    m_changed.notify_all();
    while (!m_open) {
      if (stopping()) break;
      m_changed.wait_for(lock, std::chrono::milliseconds(5));
    }
    --m_held;
    return m_open;
  }

 private:
  mutable std::mutex m_mutex;
  mutable std::condition_variable m_changed;
  bool m_open = false;
  std::size_t m_held = 0;
  std::size_t m_arrived = 0;
};

}  // namespace venue
