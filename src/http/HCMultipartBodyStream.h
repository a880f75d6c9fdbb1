#pragma once

#include "http/HCHTTPBodyPart.h"
#include "platform/core/Error.h"
#include "platform/net/InputStream.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace kt {

// The body of a multipart request as a stream over its parts, read by the URL session on its
// own thread. A read gives at most numberOfBytesInPacket() bytes and pauses delay() seconds
// after each chunk taken from a part. When a part's stream fails, the read returns the bytes it
// already has and every later read returns -1, so a failed upload never looks complete.
class HCMultipartBodyStream : public net::InputStream {
 public:
  enum class Status { NotOpen = 0, Open = 2, Closed = 6, Error = 7 };

  explicit HCMultipartBodyStream(uint64_t stringEncoding);

  uint64_t stringEncoding() const { return m_stringEncoding; }
  uint64_t numberOfBytesInPacket() const { return m_numberOfBytesInPacket; }
  void setNumberOfBytesInPacket(uint64_t bytes) { m_numberOfBytesInPacket = bytes; }
  double delay() const { return m_delay; }
  void setDelay(double seconds) { m_delay = seconds; }
  // Tests: the pause after a chunk goes here instead of sleeping the thread.
  void setSleepHandlerForTesting(std::function<void(double)> handler) { m_sleepHandler = std::move(handler); }

  void appendHTTPBodyPart(std::unique_ptr<HCHTTPBodyPart> part);
  bool isEmpty() const { return m_HTTPBodyParts.empty(); }
  size_t partCount() const { return m_HTTPBodyParts.size(); }
  const HCHTTPBodyPart& part(size_t index) const { return *m_HTTPBodyParts.at(index); }
  // Marks the first part as opening the body and the last as closing it.
  void setInitialAndFinalBoundaries();
  uint64_t contentLength() const;

  Status streamStatus() const;
  std::optional<core::Error> streamError() const;
  bool hasBytesAvailable() const { return streamStatus() == Status::Open; }

  bool open() override;
  long read(uint8_t* buffer, size_t length) override;
  void close() override;
  // The same parts from their first byte (packet size, delay and status start afresh).
  std::shared_ptr<InputStream> copy() const override;

 private:
  uint64_t m_stringEncoding = 4;
  uint64_t m_numberOfBytesInPacket = static_cast<uint64_t>(INT64_MAX);
  double m_delay = 0;
  std::function<void(double)> m_sleepHandler;
  std::vector<std::unique_ptr<HCHTTPBodyPart>> m_HTTPBodyParts;
  size_t m_HTTPBodyPartEnumerator = 0;  // index of the next part to read; back to 0 at open
  HCHTTPBodyPart* m_currentHTTPBodyPart = nullptr;
  // Status and error may be asked from another thread than the reading one.
  mutable std::mutex m_mutex;
  Status m_status = Status::NotOpen;
  std::optional<core::Error> m_error;
};

}  // namespace kt
