#pragma once

#include <chrono>
#include <deque>
#include <functional>

// The threads of URL sessions at the process's exit.
//
// A session's thread outlives main when the program ends soon after a session's last task (the
// thread is still releasing its connections) or while a session that was never invalidated is
// alive. libcurl's TLS goes through OpenSSL, which frees its global state from an exit handler
// of its own; a session thread still inside libcurl then would use freed state. So at exit every
// session thread is woken, leaves libcurl alone from then on, and is waited for (a few seconds
// at most) before OpenSSL's handler runs. A thread woken so lets go of what its session holds
// (tasks, libcurl's handles, the delegate) before it leaves, so nothing of it stays held in a cycle
// at the end; and the exit waits, within the same few seconds, for invalidated sessions still on
// their way to letting go (the delegate's last event, on the delegate queue).
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

// Held from a session's invalidation until the session has let go of its tasks, its libcurl
// handles and its delegate, and its thread no longer holds it: the last holder's release ends it.
class LettingGo {
 public:
  LettingGo();
  ~LettingGo();
  LettingGo(const LettingGo&) = delete;
  LettingGo& operator=(const LettingGo&) = delete;
};

// The invalidated sessions that have not let go yet.
int lettingGo();

// Waits until every invalidated session has let go, at most `bound`; false if some still had not
// then. A test waits on it before its process may end: a session ending its delegate's last event
// on another thread then would leave its whole graph held as the process ends.
bool waitUntilLetGo(std::chrono::milliseconds bound);

}  // namespace net::SessionThreads
