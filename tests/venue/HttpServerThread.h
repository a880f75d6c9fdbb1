#pragma once

// Starting a bound HTTP server's accept loop on a thread of its own, for every test server that
// is built on the server library (the stand-in peers and the tests' own loopback servers).

#include <thread>

namespace httplib {
class Server;
}  // namespace httplib

namespace venue {

// Runs server.listen_after_bind() on a new thread and returns that thread. Before the first
// server of the process starts, one request held in memory is parsed on the calling thread:
// the library fills its request-parsing tables on first use, and it is not built with the
// thread checker, so server threads that find the tables already filled could not be seen to
// come after the thread that filled them. Filling them here, before any server thread exists,
// orders the fill before every reader.
std::thread listenInBackground(httplib::Server& server);

}  // namespace venue
