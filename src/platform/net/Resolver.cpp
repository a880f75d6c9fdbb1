#include "platform/net/Resolver.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdio>
#include <thread>

namespace net {

int Resolver::lookup(const std::string& host, uint16_t port, bool numericOnly, std::vector<std::string>& out) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = AI_NUMERICSERV | (numericOnly ? AI_NUMERICHOST : 0);
  char service[8];
  std::snprintf(service, sizeof service, "%hu", port);
  addrinfo* result = nullptr;
  int rc = ::getaddrinfo(host.c_str(), service, &hints, &result);
  if (rc != 0) return rc;
  for (addrinfo* ai = result; ai; ai = ai->ai_next) {
    if (ai->ai_family != AF_INET && ai->ai_family != AF_INET6) continue;
    out.emplace_back(reinterpret_cast<const char*>(ai->ai_addr), ai->ai_addrlen);
  }
  ::freeaddrinfo(result);
  return out.empty() ? EAI_NONAME : 0;
}

std::shared_ptr<Resolver> Resolver::resolve(const std::string& host, uint16_t port, Completion completion,
                                            core::RunLoop& loop, const core::RunLoop::Modes& modes) {
  auto resolver = std::make_shared<Resolver>(Key{});
  resolver->m_completion = std::move(completion);
  auto target = loop.shared_from_this();

  // A numeric address needs no lookup: no thread, but still a later turn of the loop.
  std::vector<std::string> numeric;
  if (lookup(host, port, true, numeric) == 0) {
    target->performBlock([resolver, numeric] { resolver->deliver(numeric, 0); }, modes);
    return resolver;
  }
  std::thread([resolver, target, host, port, modes] {
    std::vector<std::string> addresses;
    int error = resolver->isCancelled() ? 0 : lookup(host, port, false, addresses);
    target->performBlock([resolver, addresses = std::move(addresses), error] { resolver->deliver(addresses, error); },
                         modes);
  }).detach();
  return resolver;
}

void Resolver::deliver(const std::vector<std::string>& addresses, int error) {
  if (m_cancelled.load()) return;
  Completion completion = std::move(m_completion);
  m_completion = nullptr;
  if (completion) completion(addresses, error);
}

void Resolver::cancel() {
  m_cancelled.store(true);
  // Released on the loop's thread; the captures may hold the caller.
  m_completion = nullptr;
}

}  // namespace net
