#pragma once

#include "platform/core/Error.h"
#include "platform/net/HTTPURLResponse.h"
#include "platform/net/URL.h"

#include <optional>
#include <string>

namespace net {

// Loads a URL with GET and waits for the whole reply on the calling thread (which may be the
// main thread: nothing of the load runs there). The time-out is an idle time-out in seconds.
// Gives the body whatever the status (an error page is a body too); nothing when the load
// failed, with the error in `error` and, when a reply header came, the reply in `response`.
std::optional<std::string> syncGet(const URL& url, double timeoutSeconds, HTTPURLResponse* response = nullptr,
                                   core::Error* error = nullptr);

}  // namespace net
