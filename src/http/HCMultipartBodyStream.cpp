#include "http/HCMultipartBodyStream.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace kt {

HCMultipartBodyStream::HCMultipartBodyStream(uint64_t stringEncoding) : m_stringEncoding(stringEncoding) {}

void HCMultipartBodyStream::appendHTTPBodyPart(std::unique_ptr<HCHTTPBodyPart> part) {
  if (part) m_HTTPBodyParts.push_back(std::move(part));
}

void HCMultipartBodyStream::setInitialAndFinalBoundaries() {
  if (m_HTTPBodyParts.empty()) return;
  for (auto& part : m_HTTPBodyParts) {
    part->setHasInitialBoundary(false);
    part->setHasFinalBoundary(false);
  }
  m_HTTPBodyParts.front()->setHasInitialBoundary(true);
  m_HTTPBodyParts.back()->setHasFinalBoundary(true);
}

uint64_t HCMultipartBodyStream::contentLength() const {
  uint64_t length = 0;
  for (const auto& part : m_HTTPBodyParts) length += part->contentLength();
  return length;
}

HCMultipartBodyStream::Status HCMultipartBodyStream::streamStatus() const {
  std::lock_guard lock(m_mutex);
  return m_status;
}

std::optional<core::Error> HCMultipartBodyStream::streamError() const {
  std::lock_guard lock(m_mutex);
  return m_error;
}

bool HCMultipartBodyStream::open() {
  std::lock_guard lock(m_mutex);
  if (m_status == Status::Open) return true;
  m_status = Status::Open;
  setInitialAndFinalBoundaries();
  m_HTTPBodyPartEnumerator = 0;
  m_currentHTTPBodyPart = nullptr;
  return true;
}

void HCMultipartBodyStream::close() {
  std::lock_guard lock(m_mutex);
  if (m_status != Status::Error) m_status = Status::Closed;
}

long HCMultipartBodyStream::read(uint8_t* buffer, size_t length) {
  Status status = streamStatus();
  if (status == Status::Error) return -1;
  if (status != Status::Open) return 0;
  size_t limit = static_cast<size_t>(std::min<uint64_t>(length, m_numberOfBytesInPacket));
  size_t total = 0;
  while (total < limit) {
    if (!m_currentHTTPBodyPart || !m_currentHTTPBodyPart->hasBytesAvailable()) {
      if (m_HTTPBodyPartEnumerator >= m_HTTPBodyParts.size()) break;
      m_currentHTTPBodyPart = m_HTTPBodyParts[m_HTTPBodyPartEnumerator++].get();
      continue;
    }
    long n = m_currentHTTPBodyPart->read(buffer + total, limit - total);
    if (n < 0) {
      std::lock_guard lock(m_mutex);
      m_error = m_currentHTTPBodyPart->error();
      m_status = Status::Error;
      // Bytes already handed out in this call are returned; the next read reports the failure.
      return total > 0 ? static_cast<long>(total) : -1;
    }
    total += static_cast<size_t>(n);
    if (m_delay > 0) {
      if (m_sleepHandler) {
        m_sleepHandler(m_delay);
      } else {
        std::this_thread::sleep_for(std::chrono::duration<double>(m_delay));
      }
    }
  }
  return static_cast<long>(total);
}

std::shared_ptr<net::InputStream> HCMultipartBodyStream::copy() const {
  auto stream = std::make_shared<HCMultipartBodyStream>(m_stringEncoding);
  for (const auto& part : m_HTTPBodyParts) stream->appendHTTPBodyPart(part->copy());
  stream->setInitialAndFinalBoundaries();
  return stream;
}

}  // namespace kt
