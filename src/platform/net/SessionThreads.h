#pragma once

#include <deque>
#include <functional>

// The threads of URL sessions at the process's exit.
//
// A session's thread outlives main when the program ends soon after a session's last task (the
// thread is still releasing its connections) or while a session that was never invalidated is
// alive. libcurl's TLS goes through OpenSSL, which frees its global state from an exit handler
// of its own; a session thread still inside libcurl then would use freed state. So at exit every
// session thread is woken, leaves libcurl alone from then on, and is waited for (a few seconds
// at most) before OpenSSL's handler runs.
namespace net::SessionThreads {

// Registers the exit handler, once. Call right after libcurl (and with it OpenSSL) has been set
// up: exit handlers run in the reverse order of their registration, so this one comes first.
void waitForThemAtExit();

// Whether the process has begun to exit; a session thread then stops using libcurl.
bool exiting();

// Runs a session thread's queued commands in order, each only while the process is not exiting:
// a command queued before the exit began may use what the exit has already freed. False when
// the exit stopped them (the rest are dropped unrun).
bool runCommands(std::deque<std::function<void()>>& commands);

// Held by a session thread for as long as it may use libcurl. wake() must make the thread check
// exiting() soon; it is called once, from the exit handler.
class Registration {
 public:
  explicit Registration(std::function<void()> wake);
  ~Registration();
  Registration(const Registration&) = delete;
  Registration& operator=(const Registration&) = delete;

 private:
  int m_id;
};

}  // namespace net::SessionThreads
