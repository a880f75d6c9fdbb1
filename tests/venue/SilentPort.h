#pragma once

// A loopback address whose TCP handshake never completes, for connect time-out tests.
//
// How: a listener on 127.0.0.1 with a backlog of 0 is never accepted from. Linux admits one
// connection into its accept queue and then drops every further SYN while the queue is full
// (the listen-overflow path: no SYN-ACK, no reset). The constructor fills the queue with
// throwaway connections until one stays pending, so from then on a connect to the port sits
// in SYN-SENT, retransmitting its SYN into the void, until the caller gives up. Nothing leaves
// the machine and no privileges or firewall rules are needed.

#include <cstdint>
#include <string>
#include <vector>

namespace venue {

class SilentPort {
 public:
  SilentPort();
  ~SilentPort();
  SilentPort(const SilentPort&) = delete;
  SilentPort& operator=(const SilentPort&) = delete;

  // Whether the queue was seen full (a throwaway connect stayed pending).
  bool isReady() const { return m_ready; }
  std::string host() const { return "127.0.0.1"; }
  std::uint16_t port() const { return m_port; }
  std::string address() const { return host() + ":" + std::to_string(m_port); }

 private:
  int m_listener = -1;
  std::vector<int> m_fillers;
  std::uint16_t m_port = 0;
  bool m_ready = false;
};

}  // namespace venue
