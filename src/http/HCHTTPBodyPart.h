#pragma once

#include "http/HCMultipartFormData.h"
#include "platform/core/Error.h"
#include "platform/net/URL.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>

namespace net {
class InputStream;
}

namespace kt {

// One part of a multipart body: its boundary line, its header block, its body and, for the
// last part, the closing line, read in that order in as many reads as the buffers need.
class HCHTTPBodyPart {
 public:
  enum Phase : int32_t { None = 0, EncapsulationBoundary = 1, Header = 2, Body = 3, FinalBoundary = 4 };
  // The body: bytes in memory, a file, or a caller's stream.
  using Content = std::variant<std::string, net::URL, std::shared_ptr<net::InputStream>>;

  HCHTTPBodyPart();
  ~HCHTTPBodyPart();
  HCHTTPBodyPart(const HCHTTPBodyPart&) = delete;
  HCHTTPBodyPart& operator=(const HCHTTPBodyPart&) = delete;

  // A new part with the same encoding, headers, declared length, body and boundary, read from
  // the start (a caller's stream is shared, not restarted).
  std::unique_ptr<HCHTTPBodyPart> copy() const;

  uint64_t stringEncoding() const { return m_stringEncoding; }
  void setStringEncoding(uint64_t encoding) { m_stringEncoding = encoding; }
  const HCPartHeaders& headers() const { return m_headers; }
  void setHeaders(HCPartHeaders headers) { m_headers = std::move(headers); }
  const std::string& boundary() const { return m_boundary; }
  void setBoundary(std::string boundary) { m_boundary = std::move(boundary); }
  const Content& body() const { return m_body; }
  void setBody(Content body) { m_body = std::move(body); }
  uint64_t bodyContentLength() const { return m_bodyContentLength; }
  void setBodyContentLength(uint64_t length) { m_bodyContentLength = length; }
  bool hasInitialBoundary() const { return m_hasInitialBoundary; }
  void setHasInitialBoundary(bool has) { m_hasInitialBoundary = has; }
  bool hasFinalBoundary() const { return m_hasFinalBoundary; }
  void setHasFinalBoundary(bool has) { m_hasFinalBoundary = has; }
  Phase phase() const { return m_phase; }

  // The header block: one "Name: value\r\n" line per header, then "\r\n".
  std::string stringForHeaders() const;
  // Bytes of the boundary line, header block, declared body and closing line.
  uint64_t contentLength() const;
  // Whether reading this part can still give bytes.
  bool hasBytesAvailable() const;
  // Bytes written into the buffer (0 when the buffer is full or the part is done), -1 when the
  // body's stream failed (error() then says why).
  long read(uint8_t* buffer, size_t length);
  const std::optional<core::Error>& error() const { return m_error; }

 private:
  enum class StreamStatus { NotOpen, Open, AtEnd, Closed, Error };

  net::InputStream* inputStream();
  std::string encoded(const std::string& text) const;
  std::string boundaryLine() const;
  std::string closingLine() const;
  size_t readData(const std::string& data, uint8_t* buffer, size_t length);
  void transitionToNextPhase();
  void failStream(const std::string& reason);

  uint64_t m_stringEncoding = 4;
  HCPartHeaders m_headers;
  std::string m_boundary;
  Content m_body;
  uint64_t m_bodyContentLength = 0;
  bool m_hasInitialBoundary = false;
  bool m_hasFinalBoundary = false;
  Phase m_phase = None;
  uint64_t m_phaseReadOffset = 0;
  std::shared_ptr<net::InputStream> m_inputStream;
  bool m_inputStreamMade = false;
  StreamStatus m_streamStatus = StreamStatus::NotOpen;
  std::optional<core::Error> m_error;
};

}  // namespace kt
