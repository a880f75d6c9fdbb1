#pragma once

#include "platform/core/Value.h"

#include <cstdint>
#include <memory>
#include <string>

namespace core {

// A failure as a value: a domain, a code and a dictionary of details, with an optional
// underlying error that caused it.
class Error {
 public:
  // User-info key of the text shown to the user.
  static constexpr const char* LocalizedDescriptionKey = "LocalizedDescription";
  // Reserved for the underlying error; the error itself is held by underlying(), since a
  // Value cannot hold an Error.
  static constexpr const char* UnderlyingErrorKey = "UnderlyingError";
  // User-info key of a file path the error is about.
  static constexpr const char* FilePathKey = "FilePath";

  // The domain of the core layer's own errors (files, property lists, JSON) and its codes.
  static constexpr const char* CoreDomain = "CoreErrorDomain";
  enum CoreCode : int64_t {
    FileNoSuchFile = 4,
    FileReadUnknown = 256,
    FileWriteUnknown = 512,
    ReadCorrupt = 3840,    // a property list or JSON text that cannot be read
    WriteInvalid = 3851,   // a value that cannot be written in the requested format
  };

  Error() = default;
  Error(std::string domain, int64_t code, Value userInfo = Value())
      : m_domain(std::move(domain)), m_code(code), m_userInfo(std::move(userInfo)) {}

  // An error whose user info holds just the text shown to the user.
  static Error withDescription(std::string domain, int64_t code, const std::string& description);

  const std::string& domain() const { return m_domain; }
  int64_t code() const { return m_code; }
  const Value& userInfo() const { return m_userInfo; }

  // The LocalizedDescriptionKey text, else "The operation couldn’t be completed. (<domain> error <code>.)".
  std::string localizedDescription() const;

  const Error* underlying() const { return m_underlying.get(); }
  void setUnderlying(const Error& error) { m_underlying = std::make_shared<Error>(error); }

  // Error Domain=<domain> Code=<code> "<localized description>"
  std::string description() const;

  bool operator==(const Error& other) const {
    return m_domain == other.m_domain && m_code == other.m_code;
  }

 private:
  std::string m_domain;
  int64_t m_code = 0;
  Value m_userInfo;
  std::shared_ptr<const Error> m_underlying;
};

// Stores an error in an out-parameter that may be null, as the reading and writing functions do.
inline void setError(Error* out, const Error& error) {
  if (out) *out = error;
}

}  // namespace core
