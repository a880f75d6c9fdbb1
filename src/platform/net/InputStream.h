#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace net {

// A body stream a request reads its upload from: opened once, read until it reports the end,
// then closed. Reads may block the reading thread (the session's own thread).
class InputStream {
 public:
  virtual ~InputStream() = default;

  virtual bool open() { return true; }
  // Bytes read (> 0), 0 at the end, -1 on an error.
  virtual long read(uint8_t* buffer, size_t length) = 0;
  virtual void close() {}
  // A fresh stream over the same bytes from the start, for sending the body again; null when
  // the stream cannot be read again.
  virtual std::shared_ptr<InputStream> copy() const { return nullptr; }

  // A stream over bytes in memory.
  static std::shared_ptr<InputStream> withData(std::string bytes);
  // A stream over a file; null when it cannot be opened.
  static std::shared_ptr<InputStream> withFile(const std::string& path);
};

}  // namespace net
