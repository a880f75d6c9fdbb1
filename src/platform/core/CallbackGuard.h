#pragma once

// Code that a C library calls back (libcurl, OpenSSL, libxml2, libpng) must not let an exception
// unwind through the library's frames: that ends the program, or at best leaves the library's
// state half updated. guardCallback runs such a body and turns any exception into a logged line
// and the failure the library understands (an error return, a stopped parse).

#include <exception>
#include <type_traits>
#include <utility>

namespace core {

// Logs that an exception left the body of the callback `where`; never throws.
void logCallbackException(const char* where, const char* what) noexcept;

// Returns body(); when it throws, logs the exception and returns failed() instead. `failed`
// runs after the exception has been handled, so it may end the library's work in its own way.
template <typename Body, typename Failed>
std::invoke_result_t<Body&> guardCallback(const char* where, Body&& body, Failed&& failed) noexcept {
  try {
    return body();
  } catch (const std::exception& e) {
    logCallbackException(where, e.what());
  } catch (...) {
    logCallbackException(where, "an exception of unknown type");
  }
  return failed();
}

}  // namespace core
