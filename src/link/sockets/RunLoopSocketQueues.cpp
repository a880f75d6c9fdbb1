// The read and write queues of RunLoopSocket: requests, the read algorithms with read-ahead,
// writes in chunks, time-outs the delegate may extend, progress and the switch to TLS.

#include <algorithm>
#include <cmath>
#include <cstring>

#include "link/sockets/RunLoopSocket.h"
#include "link/sockets/SocketPackets.h"
#include "platform/core/Timer.h"
#include "platform/net/SocketStream.h"

namespace kt {

namespace {
constexpr uint64_t kReadChunk = 256;
constexpr uint64_t kWriteChunk = 4096;
}  // namespace

std::shared_ptr<SocketReadPacket> RunLoopSocket::currentReadPacket() const {
  return std::dynamic_pointer_cast<SocketReadPacket>(m_currentRead);
}

std::shared_ptr<SocketWritePacket> RunLoopSocket::currentWritePacket() const {
  return std::dynamic_pointer_cast<SocketWritePacket>(m_currentWrite);
}

// ---- requests -----------------------------------------------------------------------------

void RunLoopSocket::addRead(const std::shared_ptr<SocketReadPacket>& packet) {
  m_readQueue.push_back(packet);
  scheduleDequeueRead();
}

void RunLoopSocket::readDataWithTimeout(double timeout, long tag) {
  readDataWithTimeout(timeout, nullptr, 0, 0, tag);
}

void RunLoopSocket::readDataWithTimeout(double timeout, Buffer buffer, uint64_t offset, long tag) {
  readDataWithTimeout(timeout, std::move(buffer), offset, 0, tag);
}

void RunLoopSocket::readDataWithTimeout(double timeout, Buffer buffer, uint64_t offset, uint64_t maxLength, long tag) {
  if (offset > (buffer ? buffer->size() : 0)) return;
  if (m_flags & NoNewIO) return;
  addRead(std::make_shared<SocketReadPacket>(std::move(buffer), offset, maxLength, timeout, 0, std::nullopt, tag));
}

void RunLoopSocket::readDataToLength(uint64_t length, double timeout, long tag) {
  readDataToLength(length, timeout, nullptr, 0, tag);
}

void RunLoopSocket::readDataToLength(uint64_t length, double timeout, Buffer buffer, uint64_t offset, long tag) {
  if (length == 0) return;
  if (offset > (buffer ? buffer->size() : 0)) return;
  if (m_flags & NoNewIO) return;
  addRead(std::make_shared<SocketReadPacket>(std::move(buffer), offset, 0, timeout, length, std::nullopt, tag));
}

void RunLoopSocket::readDataToData(const std::string& data, double timeout, long tag) {
  readDataToData(data, timeout, nullptr, 0, 0, tag);
}

void RunLoopSocket::readDataToData(const std::string& data, double timeout, Buffer buffer, uint64_t offset, long tag) {
  readDataToData(data, timeout, std::move(buffer), offset, 0, tag);
}

void RunLoopSocket::readDataToData(const std::string& data, double timeout, uint64_t maxLength, long tag) {
  readDataToData(data, timeout, nullptr, 0, maxLength, tag);
}

void RunLoopSocket::readDataToData(const std::string& data, double timeout, Buffer buffer, uint64_t offset,
                                   uint64_t maxLength, long tag) {
  if (data.empty()) return;
  if (offset > (buffer ? buffer->size() : 0)) return;
  if (maxLength > 0 && maxLength < data.size()) return;
  if (m_flags & NoNewIO) return;
  addRead(std::make_shared<SocketReadPacket>(std::move(buffer), offset, maxLength, timeout, 0, data, tag));
}

void RunLoopSocket::writeData(const std::string& data, double timeout, long tag) {
  if (data.empty()) return;
  if (m_flags & NoNewIO) return;
  m_writeQueue.push_back(std::make_shared<SocketWritePacket>(data, timeout, tag));
  scheduleDequeueWrite();
}

void RunLoopSocket::startTLS(const core::Value& tlsSettings) {
  auto marker = std::make_shared<SocketSpecialPacket>(tlsSettings.isNull() ? core::Value(core::Value::Dictionary{})
                                                                           : tlsSettings);
  m_readQueue.push_back(marker);
  scheduleDequeueRead();
  m_writeQueue.push_back(marker);
  scheduleDequeueWrite();
}

namespace {

// The progress of a packet that has `length` bytes to move (0: no set length, reported as done);
// NAN, with zeros given back, when there is no packet.
float reportProgress(const SocketIOPacket* packet, uint64_t length, long* tag, uint64_t* bytesDone, uint64_t* total) {
  if (tag) *tag = packet ? packet->tag : 0;
  if (bytesDone) *bytesDone = packet ? packet->bytesDone : 0;
  if (total) *total = packet ? length : 0;
  if (!packet) return NAN;
  if (length == 0) return 1.0f;
  return static_cast<float>(static_cast<double>(packet->bytesDone) / static_cast<double>(length));
}

}  // namespace

float RunLoopSocket::progressOfReadReturningTag(long* tag, uint64_t* bytesDone, uint64_t* total) const {
  auto packet = currentReadPacket();
  return reportProgress(packet.get(), packet ? packet->readLength : 0, tag, bytesDone, total);
}

// Write packets are never empty: writeData refuses empty data.
float RunLoopSocket::progressOfWriteReturningTag(long* tag, uint64_t* bytesDone, uint64_t* total) const {
  auto packet = currentWritePacket();
  return reportProgress(packet.get(), packet ? packet->buffer.size() : 0, tag, bytesDone, total);
}

// ---- both sides ---------------------------------------------------------------------------

RunLoopSocket::IoSide RunLoopSocket::ioSide(Side side) {
  if (side == Side::Read)
    return {m_readQueue, m_currentRead, m_readTimer, m_readStream, net::SocketStream::ReadSide,
            net::StreamHasBytesAvailable, ReadOpened, HasBytesAvailableFlag, ReadTLS, CloseAfterReads,
            ReadDequeueScheduled, &RunLoopSocket::maybeDequeueRead, &RunLoopSocket::doBytesAvailable,
            &RunLoopSocket::doReadTimeout, &RunLoopSocketDelegate::onSocketShouldTimeoutReadWithTag,
            &RunLoopSocket::getReadTimeoutError};
  return {m_writeQueue, m_currentWrite, m_writeTimer, m_writeStream, net::SocketStream::WriteSide,
          net::StreamCanAcceptBytes, WriteOpened, CanAcceptBytesFlag, WriteTLS, CloseAfterWrites,
          WriteDequeueScheduled, &RunLoopSocket::maybeDequeueWrite, &RunLoopSocket::doSendBytes,
          &RunLoopSocket::doWriteTimeout, &RunLoopSocketDelegate::onSocketShouldTimeoutWriteWithTag,
          &RunLoopSocket::getWriteTimeoutError};
}

void RunLoopSocket::scheduleDequeue(Side side) {
  IoSide s = ioSide(side);
  if (m_flags & s.dequeueScheduled) return;
  m_flags |= s.dequeueScheduled;
  core::RunLoop::current().performAfterDelay(target(&s.queue), 0, guardedCall(s.dequeue), m_runLoopModes);
}

void RunLoopSocket::maybeDequeue(Side side) {
  IoSide s = ioSide(side);
  m_flags &= static_cast<uint16_t>(~s.dequeueScheduled);
  if (s.current || !s.stream) return;
  if (!s.queue.empty()) {
    s.current = s.queue.front();
    s.queue.pop_front();
    if (std::dynamic_pointer_cast<SocketSpecialPacket>(s.current)) {
      m_flags |= s.tls;
      maybeStartTLS();
      return;
    }
    auto packet = std::dynamic_pointer_cast<SocketIOPacket>(s.current);
    if (packet->timeout >= 0) s.timer = startTimer(packet->timeout, s.onTimeout);
    (this->*s.transfer)();
  } else if (m_flags & s.closeAfter) {
    // With both close-after flags set, the socket closes once the other side is idle too.
    IoSide other = ioSide(side == Side::Read ? Side::Write : Side::Read);
    if (m_flags & other.closeAfter) {
      if (other.queue.empty() && !other.current) disconnect();
    } else {
      disconnect();
    }
  }
}

void RunLoopSocket::endCurrent(Side side) {
  IoSide s = ioSide(side);
  if (s.timer) s.timer->invalidate();
  s.timer.reset();
  s.current.reset();
}

void RunLoopSocket::doTimeout(Side side) {
  IoSide s = ioSide(side);
  auto packet = std::dynamic_pointer_cast<SocketIOPacket>(s.current);
  if (!packet) return;
  double extension = 0;
  if (auto delegate = delegateForCall())
    extension = (delegate.get()->*s.shouldTimeout)(*this, packet->tag, packet->timeout,
                                                   static_cast<size_t>(packet->bytesDone));
  if (s.current != packet) return;
  if (extension > 0) {
    packet->timeout += extension;
    if (s.timer) s.timer->invalidate();
    s.timer = startTimer(extension, s.onTimeout);
  } else {
    // A timed-out read is not ended first: its bytes become unread data.
    core::Error error = s.timeoutError();
    closeWithError(&error);
  }
}

// ---- read side ----------------------------------------------------------------------------

void RunLoopSocket::scheduleDequeueRead() { scheduleDequeue(Side::Read); }

void RunLoopSocket::maybeDequeueRead() { maybeDequeue(Side::Read); }

bool RunLoopSocket::hasBytesAvailable() {
  if ((m_flags & HasBytesAvailableFlag) || !m_partialReadBuffer.empty()) return true;
  return m_readStream && m_readStream->hasBytesAvailable();
}

long RunLoopSocket::readIntoBuffer(char* buffer, size_t length) {
  if (!m_partialReadBuffer.empty()) {
    size_t n = std::min(length, m_partialReadBuffer.size());
    std::memcpy(buffer, m_partialReadBuffer.data(), n);
    m_partialReadBuffer.erase(0, n);
    return static_cast<long>(n);
  }
  m_flags &= static_cast<uint16_t>(~HasBytesAvailableFlag);
  return m_readStream ? m_readStream->read(buffer, length) : -1;
}

namespace {

// The caller's buffer limits a read to its room while it still has the length it had.
uint64_t limitToCallerRoom(const SocketReadPacket& p, uint64_t count) {
  if (!p.bufferOwner && p.buffer->size() == p.originalBufferLength) {
    uint64_t used = p.startOffset + p.bytesDone;
    if (p.buffer->size() > used) count = std::min(count, p.buffer->size() - used);
  }
  return count;
}

}  // namespace

uint64_t RunLoopSocket::readLengthForNonTerm(const SocketReadPacket& p) const {
  if (p.readLength > 0) return p.readLength - p.bytesDone;
  uint64_t count = kReadChunk;
  if (p.maxLength > 0) count = std::min(kReadChunk, p.maxLength - p.bytesDone);
  return limitToCallerRoom(p, count);
}

uint64_t RunLoopSocket::readLengthForTerm(const SocketReadPacket& p) const {
  const std::string& term = *p.term;
  const uint64_t termLength = term.size();
  if (p.bytesDone == 0 || termLength == 1) return termLength;

  // Is the end of what was read the start of a terminator? Then only its rest can follow.
  uint64_t result = termLength;
  const char* done = p.buffer->data() + p.startOffset;
  uint64_t i, j;
  if (p.bytesDone >= termLength) {
    i = p.bytesDone - termLength + 1;
    j = termLength - 1;
  } else {
    i = 0;
    j = p.bytesDone;
  }
  while (i < p.bytesDone) {
    if (std::memcmp(done + i, term.data(), j) == 0) {
      result = termLength - j;
      break;
    }
    ++i;
    --j;
  }
  if (p.maxLength > 0) result = std::min(result, p.maxLength - p.bytesDone);
  return limitToCallerRoom(p, result);
}

uint64_t RunLoopSocket::prebufferReadLengthForTerm(const SocketReadPacket& p) const {
  uint64_t count = kReadChunk;
  if (p.maxLength > 0) count = std::min(kReadChunk, p.maxLength - p.bytesDone);
  return limitToCallerRoom(p, count);
}

uint64_t RunLoopSocket::readLengthForTermWithPreBuffer(const SocketReadPacket& p, bool* found) const {
  const std::string& term = *p.term;
  const uint64_t termLength = term.size();
  const uint64_t preLength = m_partialReadBuffer.size();
  *found = false;
  if (p.bytesDone + preLength < termLength) return preLength;

  uint64_t usable = preLength;
  if (p.maxLength > 0 && preLength >= p.maxLength - p.bytesDone) usable = p.maxLength - p.bytesDone;

  uint64_t b = std::min<uint64_t>(p.bytesDone, termLength - 1);
  uint64_t q = termLength - b;
  const char* done = p.buffer->data() + p.startOffset + p.bytesDone;  // one past the last byte read
  const char* pre = m_partialReadBuffer.data();
  const int64_t windows = static_cast<int64_t>(b + usable) - static_cast<int64_t>(termLength) + 1;
  uint64_t k = 0;
  for (int64_t w = 0; w < windows; ++w) {
    if (b > 0) {
      // The last b bytes read followed by the first q read-ahead bytes.
      if (std::memcmp(done - b, term.data(), b) == 0 && std::memcmp(pre, term.data() + b, q) == 0) {
        *found = true;
        return q;
      }
      --b;
      ++q;
    } else {
      if (std::memcmp(pre + k, term.data(), termLength) == 0) {
        *found = true;
        return k + termLength;
      }
      ++k;
    }
  }
  return preLength;
}

long RunLoopSocket::searchForTermAfterPreBuffering(const SocketReadPacket& p, uint64_t numBytes) const {
  const std::string& term = *p.term;
  const uint64_t termLength = term.size();
  const char* done = p.buffer->data() + p.startOffset;
  const uint64_t previous = p.bytesDone - numBytes;
  uint64_t i = previous >= termLength ? previous - termLength + 1 : 0;
  while (i + termLength <= p.bytesDone) {
    if (std::memcmp(done + i, term.data(), termLength) == 0) return static_cast<long>(p.bytesDone - (i + termLength));
    ++i;
  }
  return -1;
}

void RunLoopSocket::doBytesAvailable() {
  auto packet = currentReadPacket();
  if (!packet || !m_readStream) return;
  auto keep = keepAlive();

  uint64_t totalBytesRead = 0;
  bool done = false;
  bool socketError = false;
  bool maxoutError = false;
  while (!done && !socketError && !maxoutError && hasBytesAvailable()) {
    enum class Mode { Plain, ReadingAhead, FromReadAhead } mode = Mode::Plain;
    bool found = false;
    uint64_t bytesToRead;
    if (packet->term) {
      if (!m_partialReadBuffer.empty()) {
        bytesToRead = readLengthForTermWithPreBuffer(*packet, &found);
        mode = Mode::FromReadAhead;
      } else if (m_flags & PreBuffer) {
        bytesToRead = prebufferReadLengthForTerm(*packet);
        mode = Mode::ReadingAhead;
      } else {
        bytesToRead = readLengthForTerm(*packet);
      }
    } else {
      bytesToRead = readLengthForNonTerm(*packet);
    }

    std::string& buffer = *packet->buffer;
    const uint64_t used = packet->startOffset + packet->bytesDone;
    const uint64_t room = buffer.size() > used ? buffer.size() - used : 0;
    if (bytesToRead > room) buffer.resize(buffer.size() + (bytesToRead - room));

    long n = readIntoBuffer(buffer.data() + used, bytesToRead);
    if (n < 0) {
      socketError = true;
      break;
    }
    packet->bytesDone += static_cast<uint64_t>(n);
    totalBytesRead += static_cast<uint64_t>(n);

    if (packet->term) {
      const std::string& term = *packet->term;
      if (mode == Mode::ReadingAhead) {
        long overflow = searchForTermAfterPreBuffering(*packet, static_cast<uint64_t>(n));
        if (overflow > 0) {
          const char* end = buffer.data() + packet->startOffset + packet->bytesDone;
          m_partialReadBuffer.append(end - overflow, static_cast<size_t>(overflow));
          packet->bytesDone -= static_cast<uint64_t>(overflow);
        }
        done = overflow >= 0;
      } else if (mode == Mode::FromReadAhead) {
        done = found;
      } else if (packet->bytesDone >= term.size()) {
        done = std::memcmp(buffer.data() + packet->startOffset + packet->bytesDone - term.size(), term.data(),
                           term.size()) == 0;
      }
      if (!done && packet->maxLength > 0 && packet->bytesDone >= packet->maxLength) maxoutError = true;
    } else if (packet->readLength > 0) {
      done = packet->bytesDone == packet->readLength;
    } else if (packet->maxLength > 0) {
      done = packet->bytesDone >= packet->maxLength;
    }
  }

  if (!packet->term && packet->readLength == 0 && packet->bytesDone > 0) done = true;

  if (done) {
    completeCurrentRead();
    if (!socketError && m_readStream) scheduleDequeueRead();
  } else if (totalBytesRead > 0) {
    if (auto delegate = delegateForCall())
      delegate->onSocketDidReadPartialDataOfLength(*this, static_cast<size_t>(totalBytesRead), packet->tag);
  }

  if (socketError) {
    std::optional<core::Error> error;
    if (m_readStream) error = errorFromStreamError(m_readStream->error(net::SocketStream::ReadSide));
    closeWithError(error ? &*error : nullptr);
  } else if (maxoutError && m_currentRead == packet) {
    core::Error error = getReadMaxedOutError();
    closeWithError(&error);
  }
}

void RunLoopSocket::completeCurrentRead() {
  auto packet = currentReadPacket();
  if (!packet) return;
  auto keep = keepAlive();
  std::string copy;
  const std::string* result;
  if (packet->bufferOwner) {
    packet->buffer->resize(packet->bytesDone);
    result = packet->buffer.get();
  } else {
    const uint64_t keepLength = std::max(packet->startOffset + packet->bytesDone, packet->originalBufferLength);
    if (packet->buffer->size() > keepLength) packet->buffer->resize(keepLength);
    // The caller's buffer holds the bytes as well; the delegate gets them as a string of their own.
    copy.assign(*packet->buffer, packet->startOffset, packet->bytesDone);
    result = &copy;
  }
  if (auto delegate = delegateForCall()) delegate->onSocketDidReadData(*this, *result, packet->tag);
  if (m_currentRead == packet) endCurrentRead();
}

void RunLoopSocket::endCurrentRead() { endCurrent(Side::Read); }

void RunLoopSocket::doReadTimeout() { doTimeout(Side::Read); }

// ---- write side ---------------------------------------------------------------------------

void RunLoopSocket::scheduleDequeueWrite() { scheduleDequeue(Side::Write); }

void RunLoopSocket::maybeDequeueWrite() { maybeDequeue(Side::Write); }

bool RunLoopSocket::canAcceptBytes() {
  if (m_flags & CanAcceptBytesFlag) return true;
  return m_writeStream && m_writeStream->canAcceptBytes();
}

void RunLoopSocket::doSendBytes() {
  auto packet = currentWritePacket();
  if (!packet || !m_writeStream) return;
  auto keep = keepAlive();

  uint64_t totalBytesWritten = 0;
  bool done = false;
  while (!done && canAcceptBytes()) {
    const uint64_t remaining = packet->buffer.size() - packet->bytesDone;
    const uint64_t count = std::min(remaining, kWriteChunk);
    long n = m_writeStream->write(packet->buffer.data() + packet->bytesDone, count);
    m_flags &= static_cast<uint16_t>(~CanAcceptBytesFlag);
    if (n < 0) {
      std::optional<core::Error> error = errorFromStreamError(m_writeStream->error(net::SocketStream::WriteSide));
      closeWithError(error ? &*error : nullptr);
      return;
    }
    packet->bytesDone += static_cast<uint64_t>(n);
    totalBytesWritten += static_cast<uint64_t>(n);
    done = packet->bytesDone == packet->buffer.size();
  }
  if (done) {
    completeCurrentWrite();
    if (m_writeStream) scheduleDequeueWrite();
    return;
  }
  if (totalBytesWritten > 0) {
    if (auto delegate = delegateForCall())
      delegate->onSocketDidWritePartialDataOfLength(*this, static_cast<size_t>(totalBytesWritten), packet->tag);
  }
}

void RunLoopSocket::completeCurrentWrite() {
  auto packet = currentWritePacket();
  if (!packet) return;
  auto keep = keepAlive();
  if (auto delegate = delegateForCall()) delegate->onSocketDidWriteDataWithTag(*this, packet->tag);
  if (m_currentWrite == packet) endCurrentWrite();
}

void RunLoopSocket::endCurrentWrite() { endCurrent(Side::Write); }

void RunLoopSocket::doWriteTimeout() { doTimeout(Side::Write); }

// ---- TLS ----------------------------------------------------------------------------------

void RunLoopSocket::maybeStartTLS() {
  if (!(m_flags & ReadTLS) || !(m_flags & WriteTLS)) return;
  auto marker = std::dynamic_pointer_cast<SocketSpecialPacket>(m_currentRead);
  if (!marker || !m_readStream || !m_writeStream) return;
  bool ok = m_readStream->setTLSSettings(marker->tlsSettings);
  // The two sides share one connection: the settings are given to it once.
  if (ok && m_writeStream != m_readStream) ok = m_writeStream->setTLSSettings(marker->tlsSettings);
  if (!ok) {
    core::Error error = getSocketError();
    closeWithError(&error);
  }
}

void RunLoopSocket::onTLSHandshakeSuccessful() {
  if (!(m_flags & ReadTLS) || !(m_flags & WriteTLS)) return;
  auto keep = keepAlive();
  m_flags &= static_cast<uint16_t>(~(ReadTLS | WriteTLS));
  if (auto delegate = delegateForCall()) delegate->onSocketDidSecure(*this);
  endCurrentRead();
  endCurrentWrite();
  if (m_readStream) scheduleDequeueRead();
  if (m_writeStream) scheduleDequeueWrite();
}

}  // namespace kt
