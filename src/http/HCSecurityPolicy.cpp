#include "http/HCSecurityPolicy.h"

#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <vector>

#include "platform/core/Bundle.h"
#include "platform/core/Log.h"
#include "platform/core/Queue.h"

namespace kt {
namespace {

// Valid when the evaluation itself ran and found the chain good (proceed or unspecified).
bool serverTrustIsValid(security::Trust& trust) {
  security::TrustResult result = security::TrustResult::Invalid;
  if (trust.evaluate(result) != security::TrustSuccess) return false;
  return result == security::TrustResult::Proceed || result == security::TrustResult::Unspecified;
}

std::vector<std::string> certificateChain(security::Trust& trust) {
  std::vector<std::string> chain;
  const size_t count = trust.certificateCount();
  for (size_t i = 0; i < count; ++i) {
    if (auto certificate = trust.certificateAtIndex(i)) chain.push_back(certificate->data());
  }
  return chain;
}

// The public key of each chain certificate whose one-certificate trust evaluates.
std::vector<security::PublicKey> publicKeyChain(security::Trust& trust) {
  std::vector<security::PublicKey> keys;
  const size_t count = trust.certificateCount();
  for (size_t i = 0; i < count; ++i) {
    auto certificate = trust.certificateAtIndex(i);
    if (!certificate) continue;
    if (auto key = security::publicKeyForCertificateData(certificate->data())) keys.push_back(std::move(*key));
  }
  return keys;
}

std::optional<std::string> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream out;
  out << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return out.str();
}

}  // namespace

HCSecurityPolicy::CertificateSet HCSecurityPolicy::certificatesInBundle(const core::Bundle& bundle) {
  CertificateSet certificates;
  for (const std::string& path : bundle.pathsForResourcesOfType("cer", ".")) {
    if (auto data = readFile(path)) certificates.insert(std::move(*data));
  }
  return certificates;
}

const HCSecurityPolicy::CertificateSet& HCSecurityPolicy::defaultPinnedCertificates() {
  static core::OnceFlag once;
  static CertificateSet* certificates = nullptr;
  std::call_once(once, [] { certificates = new CertificateSet(certificatesInBundle(core::Bundle::main())); });
  return *certificates;
}

std::shared_ptr<HCSecurityPolicy> HCSecurityPolicy::defaultPolicy() {
  auto policy = std::make_shared<HCSecurityPolicy>();
  policy->setSSLPinningMode(HCSSLPinningMode::None);
  return policy;
}

std::shared_ptr<HCSecurityPolicy> HCSecurityPolicy::policyWithPinningMode(HCSSLPinningMode mode) {
  return policyWithPinningMode(mode, defaultPinnedCertificates());
}

std::shared_ptr<HCSecurityPolicy> HCSecurityPolicy::policyWithPinningMode(
    HCSSLPinningMode mode, std::optional<CertificateSet> pinnedCertificates) {
  auto policy = std::make_shared<HCSecurityPolicy>();
  policy->setSSLPinningMode(mode);
  policy->setPinnedCertificates(std::move(pinnedCertificates));
  return policy;
}

void HCSecurityPolicy::setPinnedCertificates(std::optional<CertificateSet> certificates) {
  m_pinnedCertificates = std::move(certificates);
  if (!m_pinnedCertificates) {
    m_pinnedPublicKeys.reset();
    return;
  }
  KeySet keys;
  for (const std::string& der : *m_pinnedCertificates) {
    if (auto key = security::publicKeyForCertificateData(der)) keys.insert(std::move(*key));
  }
  m_pinnedPublicKeys = std::move(keys);
}

bool HCSecurityPolicy::evaluateServerTrust(security::Trust& serverTrust, const std::optional<std::string>& domain) const {
  const bool noPins = !m_pinnedCertificates || m_pinnedCertificates->empty();
  if (domain && m_allowInvalidCertificates && m_validatesDomainName &&
      (m_SSLPinningMode == static_cast<unsigned long>(HCSSLPinningMode::None) || noPins)) {
    KT_LOG("In order to validate a domain name for self signed certificates, you MUST use pinning.");
    return false;
  }

  if (m_validatesDomainName) {
    serverTrust.setPolicies({security::Policy::ssl(true, domain)});
  } else {
    serverTrust.setPolicies({security::Policy::basicX509()});
  }

  switch (m_SSLPinningMode) {
    case static_cast<unsigned long>(HCSSLPinningMode::None):
      return m_allowInvalidCertificates || serverTrustIsValid(serverTrust);

    case static_cast<unsigned long>(HCSSLPinningMode::Certificate): {
      if (!serverTrustIsValid(serverTrust) && !m_allowInvalidCertificates) return false;
      std::vector<std::shared_ptr<security::Certificate>> anchors;
      if (m_pinnedCertificates) {
        for (const std::string& der : *m_pinnedCertificates) {
          // Pinned data that is not a certificate cannot be an anchor: it is left out.
          if (auto certificate = security::Certificate::createWithData(der)) anchors.push_back(std::move(certificate));
        }
      }
      serverTrust.setAnchorCertificates(std::move(anchors));
      if (!serverTrustIsValid(serverTrust)) return false;
      const std::vector<std::string> chain = certificateChain(serverTrust);
      for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (m_pinnedCertificates->count(*it)) return true;
      }
      return false;
    }

    case static_cast<unsigned long>(HCSSLPinningMode::PublicKey): {
      if (!serverTrustIsValid(serverTrust) && !m_allowInvalidCertificates) return false;
      if (!m_pinnedPublicKeys) return false;
      size_t trustedPublicKeyCount = 0;
      for (const security::PublicKey& key : publicKeyChain(serverTrust)) {
        trustedPublicKeyCount += m_pinnedPublicKeys->count(key);
      }
      return trustedPublicKeyCount > 0;
    }

    default:
      return false;
  }
}

core::Value HCSecurityPolicy::encodeWithCoder() const {
  core::Value coder;
  coder.set("SSLPinningMode", static_cast<int64_t>(m_SSLPinningMode));
  coder.set("allowInvalidCertificates", m_allowInvalidCertificates);
  coder.set("validatesDomainName", m_validatesDomainName);
  if (m_pinnedCertificates) {
    core::Value::Array certificates;
    for (const std::string& der : *m_pinnedCertificates) certificates.push_back(core::Value::data(der));
    coder.set("pinnedCertificates", core::Value(std::move(certificates)));
  }
  return coder;
}

std::shared_ptr<HCSecurityPolicy> HCSecurityPolicy::initWithCoder(const core::Value& coder) {
  auto policy = std::make_shared<HCSecurityPolicy>();
  if (!coder.isDictionary()) return policy;
  if (auto mode = coder["SSLPinningMode"].asInteger(); mode && *mode >= 0) {
    policy->m_SSLPinningMode = static_cast<unsigned long>(*mode);
  }
  if (auto allow = coder["allowInvalidCertificates"].asBool()) policy->m_allowInvalidCertificates = *allow;
  if (auto validates = coder["validatesDomainName"].asBool()) policy->m_validatesDomainName = *validates;
  const core::Value& pinned = coder["pinnedCertificates"];
  if (const auto* array = pinned.asArray()) {
    CertificateSet certificates;
    for (const core::Value& item : *array) {
      // Only data belongs in the set: anything else in an archive is refused.
      if (const std::string* bytes = item.asData()) certificates.insert(*bytes);
    }
    policy->setPinnedCertificates(std::move(certificates));
  } else {
    policy->setPinnedCertificates(std::nullopt);
  }
  return policy;
}

std::shared_ptr<HCSecurityPolicy> HCSecurityPolicy::copy() const {
  auto policy = makeEmpty();
  policy->m_SSLPinningMode = m_SSLPinningMode;
  policy->m_allowInvalidCertificates = m_allowInvalidCertificates;
  policy->m_validatesDomainName = m_validatesDomainName;
  policy->setPinnedCertificates(m_pinnedCertificates);
  return policy;
}

}  // namespace kt
