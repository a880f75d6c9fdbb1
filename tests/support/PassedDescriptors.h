#pragma once

// The bytes of a Wayland connection and the descriptors its messages carry (SCM_RIGHTS), passed on
// by the tests' proxies between a client and its compositor.

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

namespace support::descriptors {

// At most this many descriptors go with one message (as many as a Wayland peer reads at once).
constexpr size_t MaxDescriptors = 28;

// Sends what `pending` holds as far as `fd` takes it now, the descriptors with its first bytes
// (closed here once sent); false when the connection is over.
inline bool flush(int fd, std::string& pending, std::vector<int>& descriptors) {
  while (!pending.empty()) {
    iovec io{pending.data(), pending.size()};
    msghdr message{};
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * MaxDescriptors)];
    const size_t count = std::min(descriptors.size(), MaxDescriptors);
    if (count > 0) {
      message.msg_control = control;
      message.msg_controllen = CMSG_SPACE(sizeof(int) * count);
      cmsghdr* header = CMSG_FIRSTHDR(&message);
      header->cmsg_level = SOL_SOCKET;
      header->cmsg_type = SCM_RIGHTS;
      header->cmsg_len = CMSG_LEN(sizeof(int) * count);
      std::memcpy(CMSG_DATA(header), descriptors.data(), sizeof(int) * count);
    }
    const ssize_t n = sendmsg(fd, &message, MSG_NOSIGNAL);
    if (n > 0) {
      pending.erase(0, static_cast<size_t>(n));
      for (size_t i = 0; i < count; ++i) ::close(descriptors[i]);
      descriptors.erase(descriptors.begin(), descriptors.begin() + static_cast<std::ptrdiff_t>(count));
      continue;
    }
    return n < 0 && (errno == EAGAIN || errno == EINTR);
  }
  return true;
}

// Reads what `fd` has into `buffer`, and the descriptors that came with it onto `descriptors`.
inline ssize_t receive(int fd, char* buffer, size_t size, std::vector<int>& descriptors) {
  iovec io{buffer, size};
  msghdr message{};
  message.msg_iov = &io;
  message.msg_iovlen = 1;
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * MaxDescriptors)];
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  const ssize_t n = recvmsg(fd, &message, MSG_CMSG_CLOEXEC);
  if (n < 0) return n;
  for (cmsghdr* header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header)) {
    if (header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_RIGHTS) continue;
    const size_t count = (header->cmsg_len - CMSG_LEN(0)) / sizeof(int);
    for (size_t i = 0; i < count; ++i) {
      int received;
      std::memcpy(&received, CMSG_DATA(header) + i * sizeof(int), sizeof received);
      descriptors.push_back(received);
    }
  }
  return n;
}

}  // namespace support::descriptors
