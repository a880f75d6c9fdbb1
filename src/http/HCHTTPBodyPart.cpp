#include "http/HCHTTPBodyPart.h"

#include "http/HCStringEncoding.h"
#include "platform/net/InputStream.h"

#include <algorithm>
#include <cstring>

namespace kt {

namespace {
constexpr const char* kCRLF = "\r\n";
}

HCHTTPBodyPart::HCHTTPBodyPart() { transitionToNextPhase(); }

HCHTTPBodyPart::~HCHTTPBodyPart() {
  if (m_inputStream && m_streamStatus == StreamStatus::Open) m_inputStream->close();
}

std::unique_ptr<HCHTTPBodyPart> HCHTTPBodyPart::copy() const {
  auto part = std::make_unique<HCHTTPBodyPart>();
  part->m_stringEncoding = m_stringEncoding;
  part->m_headers = m_headers;
  part->m_bodyContentLength = m_bodyContentLength;
  part->m_body = m_body;
  part->m_boundary = m_boundary;
  return part;
}

std::string HCHTTPBodyPart::encoded(const std::string& text) const {
  // Names and values were checked when the part was added; text the encoding cannot hold is
  // sent as UTF-8 rather than dropped, so the declared length stays right.
  return encodeString(text, m_stringEncoding).value_or(text);
}

std::string HCHTTPBodyPart::boundaryLine() const {
  return m_hasInitialBoundary ? "--" + m_boundary + kCRLF : std::string(kCRLF) + "--" + m_boundary + kCRLF;
}

std::string HCHTTPBodyPart::closingLine() const {
  return m_hasFinalBoundary ? std::string(kCRLF) + "--" + m_boundary + "--" + kCRLF : std::string();
}

std::string HCHTTPBodyPart::stringForHeaders() const {
  std::string block;
  for (const auto& [name, value] : m_headers) block += name + ": " + value + kCRLF;
  block += kCRLF;
  return block;
}

uint64_t HCHTTPBodyPart::contentLength() const {
  return encoded(boundaryLine()).size() + encoded(stringForHeaders()).size() + m_bodyContentLength +
         encoded(closingLine()).size();
}

bool HCHTTPBodyPart::hasBytesAvailable() const {
  if (m_phase == FinalBoundary) return true;
  return m_streamStatus == StreamStatus::NotOpen || m_streamStatus == StreamStatus::Open;
}

net::InputStream* HCHTTPBodyPart::inputStream() {
  if (!m_inputStreamMade) {
    m_inputStreamMade = true;
    if (const auto* data = std::get_if<std::string>(&m_body)) {
      m_inputStream = net::InputStream::withData(*data);
    } else if (const auto* url = std::get_if<net::URL>(&m_body)) {
      m_inputStream = net::InputStream::withFile(url->path());
    } else {
      m_inputStream = std::get<std::shared_ptr<net::InputStream>>(m_body);
    }
  }
  return m_inputStream.get();
}

void HCHTTPBodyPart::failStream(const std::string& reason) {
  m_streamStatus = StreamStatus::Error;
  m_error = core::Error::withDescription(core::Error::CoreDomain, core::Error::FileReadUnknown, reason);
}

long HCHTTPBodyPart::read(uint8_t* buffer, size_t length) {
  size_t total = 0;
  if (m_phase == EncapsulationBoundary) total += readData(encoded(boundaryLine()), buffer + total, length - total);
  if (m_phase == Header) total += readData(encoded(stringForHeaders()), buffer + total, length - total);
  if (m_phase == Body && total < length) {
    long n = -1;
    if (m_streamStatus == StreamStatus::Open) n = m_inputStream->read(buffer + total, length - total);
    if (n < 0) {
      if (m_streamStatus != StreamStatus::Error) failStream("The body of a multipart part could not be read.");
      return -1;
    }
    total += static_cast<size_t>(n);
    // Our streams say they are at the end by giving 0 bytes.
    if (n == 0) {
      m_streamStatus = StreamStatus::AtEnd;
      transitionToNextPhase();
    }
  }
  if (m_phase == FinalBoundary) total += readData(encoded(closingLine()), buffer + total, length - total);
  return static_cast<long>(total);
}

size_t HCHTTPBodyPart::readData(const std::string& data, uint8_t* buffer, size_t length) {
  size_t offset = std::min<uint64_t>(m_phaseReadOffset, data.size());
  size_t count = std::min(data.size() - offset, length);
  if (count > 0) std::memcpy(buffer, data.data() + offset, count);
  m_phaseReadOffset += count;
  if (m_phaseReadOffset >= data.size()) transitionToNextPhase();
  return count;
}

void HCHTTPBodyPart::transitionToNextPhase() {
  // Our streams need no run loop, so the phase changes run on the reading thread.
  switch (m_phase) {
    case EncapsulationBoundary:
      m_phase = Header;
      break;
    case Header: {
      net::InputStream* stream = inputStream();
      if (stream && stream->open()) {
        m_streamStatus = StreamStatus::Open;
      } else {
        failStream("The body of a multipart part could not be opened.");
      }
      m_phase = Body;
      break;
    }
    case Body:
      if (m_inputStream && m_streamStatus != StreamStatus::Error) m_inputStream->close();
      if (m_streamStatus != StreamStatus::Error) m_streamStatus = StreamStatus::Closed;
      m_phase = FinalBoundary;
      break;
    case FinalBoundary:
    case None:
      m_phase = EncapsulationBoundary;
      break;
  }
  m_phaseReadOffset = 0;
}

}  // namespace kt
