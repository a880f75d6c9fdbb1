#include "platform/security/Trust.h"

#include <arpa/inet.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <mutex>

namespace security {
namespace {

struct AnchorOverride {
  std::mutex mutex;
  std::optional<std::vector<std::string>> ders;
};

AnchorOverride& anchorOverride() {
  static AnchorOverride* o = new AnchorOverride;  // never destroyed: may be asked during exit
  return *o;
}

std::string derOf(X509* cert) {
  const int length = i2d_X509(cert, nullptr);
  if (length <= 0) return {};
  std::string der(static_cast<size_t>(length), '\0');
  auto* p = reinterpret_cast<unsigned char*>(der.data());
  i2d_X509(cert, &p);
  return der;
}

bool isIpAddress(const std::string& host) {
  unsigned char buffer[16];
  return ::inet_pton(AF_INET, host.c_str(), buffer) == 1 || ::inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

// Owners for the OpenSSL objects of one evaluation, so every path frees them.
struct StoreDeleter {
  void operator()(X509_STORE* s) const { X509_STORE_free(s); }
};
struct ContextDeleter {
  void operator()(X509_STORE_CTX* c) const { X509_STORE_CTX_free(c); }
};
struct StackDeleter {
  void operator()(STACK_OF(X509)* s) const { sk_X509_free(s); }  // the certificates are borrowed
};
struct OwningStackDeleter {
  void operator()(STACK_OF(X509)* s) const { sk_X509_pop_free(s, X509_free); }
};

}  // namespace

std::shared_ptr<Certificate> Certificate::createWithData(const std::string& der) {
  if (der.empty()) return nullptr;
  const auto* p = reinterpret_cast<const unsigned char*>(der.data());
  const auto* end = p + der.size();
  X509* cert = d2i_X509(nullptr, &p, static_cast<long>(der.size()));
  if (!cert) return nullptr;
  if (p != end) {
    X509_free(cert);
    return nullptr;
  }
  return std::make_shared<Certificate>(Key{}, cert, der);
}

Certificate::~Certificate() { X509_free(m_cert); }

std::shared_ptr<Trust> Trust::createWithCertificates(std::vector<std::shared_ptr<Certificate>> certificates,
                                                     std::vector<Policy> policies) {
  std::erase(certificates, nullptr);
  if (certificates.empty()) return nullptr;
  return std::make_shared<Trust>(Key{}, std::move(certificates), std::move(policies));
}

std::shared_ptr<Trust> Trust::createWithCertificateData(const std::vector<std::string>& ders,
                                                        std::vector<Policy> policies) {
  std::vector<std::shared_ptr<Certificate>> certificates;
  for (const std::string& der : ders) {
    if (auto c = Certificate::createWithData(der)) certificates.push_back(std::move(c));
  }
  return createWithCertificates(std::move(certificates), std::move(policies));
}

void Trust::setPolicies(std::vector<Policy> policies) {
  m_policies = std::move(policies);
  m_evaluated = false;
}

void Trust::setAnchorCertificates(std::vector<std::shared_ptr<Certificate>> anchors) {
  std::erase(anchors, nullptr);
  m_anchors = std::move(anchors);
  m_evaluated = false;
}

TrustStatus Trust::evaluate(TrustResult& result) {
  result = TrustResult::Invalid;
  m_evaluated = true;
  m_builtChain.clear();
  m_lastError = 0;
  m_lastStatus = TrustInternal;
  m_lastResult = TrustResult::Invalid;
  if (m_certificates.empty()) return m_lastStatus = TrustParam;

  std::unique_ptr<X509_STORE, StoreDeleter> store(X509_STORE_new());
  std::unique_ptr<X509_STORE_CTX, ContextDeleter> ctx(X509_STORE_CTX_new());
  std::unique_ptr<STACK_OF(X509), StackDeleter> untrusted(sk_X509_new_null());
  if (!store || !ctx || !untrusted) return m_lastStatus = TrustAllocate;

  unsigned long flags = 0;
  if (m_anchors) {
    for (const auto& anchor : *m_anchors) X509_STORE_add_cert(store.get(), anchor->x509());
    // A pinned certificate is an anchor in its own right, self-signed or not.
    flags |= X509_V_FLAG_PARTIAL_CHAIN;
  } else {
    std::optional<std::vector<std::string>> overrideDers;
    {
      AnchorOverride& o = anchorOverride();
      std::lock_guard lock(o.mutex);
      overrideDers = o.ders;
    }
    if (overrideDers) {
      for (const std::string& der : *overrideDers) {
        if (auto c = Certificate::createWithData(der)) X509_STORE_add_cert(store.get(), c->x509());
      }
    } else if (X509_STORE_set_default_paths(store.get()) != 1) {
      return m_lastStatus = TrustInternal;
    }
  }
  for (size_t i = 1; i < m_certificates.size(); ++i) sk_X509_push(untrusted.get(), m_certificates[i]->x509());

  if (X509_STORE_CTX_init(ctx.get(), store.get(), m_certificates.front()->x509(), untrusted.get()) != 1) {
    return m_lastStatus = TrustInternal;
  }
  X509_VERIFY_PARAM* param = X509_STORE_CTX_get0_param(ctx.get());
  if (flags) X509_VERIFY_PARAM_set_flags(param, flags);
  X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
  bool hostSet = false;
  for (const Policy& policy : m_policies) {
    if (policy.kind != Policy::Kind::SSL) continue;
    X509_STORE_CTX_set_purpose(ctx.get(), policy.server ? X509_PURPOSE_SSL_SERVER : X509_PURPOSE_SSL_CLIENT);
    if (!policy.hostName || policy.hostName->empty()) continue;
    const std::string& host = *policy.hostName;
    int ok = 0;
    if (isIpAddress(host)) {
      ok = X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str());
    } else {
      ok = hostSet ? X509_VERIFY_PARAM_add1_host(param, host.c_str(), host.size())
                   : X509_VERIFY_PARAM_set1_host(param, host.c_str(), host.size());
      hostSet = true;
    }
    // A name that cannot even be checked (an embedded NUL, say) matches nothing.
    if (ok != 1) {
      m_lastError = X509_V_ERR_HOSTNAME_MISMATCH;
      m_lastStatus = TrustSuccess;
      result = m_lastResult = TrustResult::RecoverableTrustFailure;
      return m_lastStatus;
    }
  }

  const int verified = X509_verify_cert(ctx.get());
  m_lastError = X509_STORE_CTX_get_error(ctx.get());
  if (verified == 1) {
    std::unique_ptr<STACK_OF(X509), OwningStackDeleter> chain(X509_STORE_CTX_get1_chain(ctx.get()));
    for (int i = 0; chain && i < sk_X509_num(chain.get()); ++i) {
      if (auto c = Certificate::createWithData(derOf(sk_X509_value(chain.get(), i)))) m_builtChain.push_back(std::move(c));
    }
    result = TrustResult::Unspecified;
  } else {
    if (m_lastError == X509_V_OK) m_lastError = X509_V_ERR_UNSPECIFIED;
    result = TrustResult::RecoverableTrustFailure;
  }
  m_lastResult = result;
  return m_lastStatus = TrustSuccess;
}

std::optional<PublicKey> Trust::copyPublicKey() {
  if (!m_evaluated) {
    TrustResult ignored;
    evaluate(ignored);
  }
  if (m_certificates.empty()) return std::nullopt;
  EVP_PKEY* key = X509_get0_pubkey(m_certificates.front()->x509());
  if (!key) return std::nullopt;
  const int length = i2d_PUBKEY(key, nullptr);
  if (length <= 0) return std::nullopt;
  PublicKey out;
  out.der.resize(static_cast<size_t>(length));
  auto* p = reinterpret_cast<unsigned char*>(out.der.data());
  if (i2d_PUBKEY(key, &p) != length) return std::nullopt;
  return out;
}

size_t Trust::certificateCount() {
  if (!m_evaluated) {
    TrustResult ignored;
    evaluate(ignored);
  }
  return m_builtChain.empty() ? m_certificates.size() : m_builtChain.size();
}

std::shared_ptr<Certificate> Trust::certificateAtIndex(size_t index) {
  const size_t count = certificateCount();
  if (index >= count) return nullptr;
  return m_builtChain.empty() ? m_certificates[index] : m_builtChain[index];
}

std::optional<PublicKey> publicKeyForCertificateData(const std::string& der) {
  auto certificate = Certificate::createWithData(der);
  if (!certificate) return std::nullopt;
  auto trust = Trust::createWithCertificates({certificate}, {Policy::basicX509()});
  if (!trust) return std::nullopt;
  TrustResult result = TrustResult::Invalid;
  if (trust->evaluate(result) != TrustSuccess) return std::nullopt;
  return trust->copyPublicKey();
}

void setSystemAnchorsOverride(std::optional<std::vector<std::string>> ders) {
  AnchorOverride& o = anchorOverride();
  std::lock_guard lock(o.mutex);
  o.ders = std::move(ders);
}

}  // namespace security
