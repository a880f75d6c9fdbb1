#pragma once

#include <memory>
#include <optional>
#include <set>
#include <string>

#include "platform/core/Value.h"
#include "platform/security/Trust.h"

namespace core {
class Bundle;
}

namespace kt {

enum class HCSSLPinningMode : unsigned long {
  None = 0,
  PublicKey = 1,
  Certificate = 2,
};

// Decides whether the certificate chain of a TLS server is trusted, with optional pinning of
// certificates or of their public keys.
class HCSecurityPolicy : public std::enable_shared_from_this<HCSecurityPolicy> {
 public:
  using CertificateSet = std::set<std::string>;  // DER bytes
  using KeySet = std::set<security::PublicKey>;

  // init: no pinning, domain names validated, invalid certificates refused.
  HCSecurityPolicy() = default;
  virtual ~HCSecurityPolicy() = default;

  // The contents of every ".cer" file in the bundle's top folder.
  static CertificateSet certificatesInBundle(const core::Bundle& bundle);
  // certificatesInBundle of the main bundle, read once per process.
  static const CertificateSet& defaultPinnedCertificates();
  static std::shared_ptr<HCSecurityPolicy> defaultPolicy();
  static std::shared_ptr<HCSecurityPolicy> policyWithPinningMode(HCSSLPinningMode mode);
  static std::shared_ptr<HCSecurityPolicy> policyWithPinningMode(HCSSLPinningMode mode,
                                                                 std::optional<CertificateSet> pinnedCertificates);

  // The raw mode value is kept: a value outside the three modes evaluates to NO.
  unsigned long SSLPinningMode() const { return m_SSLPinningMode; }
  void setSSLPinningMode(HCSSLPinningMode mode) { m_SSLPinningMode = static_cast<unsigned long>(mode); }
  void setSSLPinningMode(unsigned long mode) { m_SSLPinningMode = mode; }

  const std::optional<CertificateSet>& pinnedCertificates() const { return m_pinnedCertificates; }
  // Stores the set and recomputes pinnedPublicKeys from it (certificates without a key are left out).
  void setPinnedCertificates(std::optional<CertificateSet> certificates);
  const std::optional<KeySet>& pinnedPublicKeys() const { return m_pinnedPublicKeys; }

  bool allowInvalidCertificates() const { return m_allowInvalidCertificates; }
  void setAllowInvalidCertificates(bool allow) { m_allowInvalidCertificates = allow; }
  bool validatesDomainName() const { return m_validatesDomainName; }
  void setValidatesDomainName(bool validates) { m_validatesDomainName = validates; }

  // Whether a connection whose server presented this trust may go on. Sets the trust's policy
  // (and, when pinning certificates, its anchors).
  bool evaluateServerTrust(security::Trust& serverTrust, const std::optional<std::string>& domain) const;

  // Archiving: a dictionary with "SSLPinningMode", "allowInvalidCertificates",
  // "validatesDomainName" and "pinnedCertificates" (an array of data); decoding starts from
  // init and ignores entries of the wrong type.
  static bool supportsSecureCoding() { return true; }
  core::Value encodeWithCoder() const;
  static std::shared_ptr<HCSecurityPolicy> initWithCoder(const core::Value& coder);

  // A new policy with the same mode, flags and pinned certificates.
  virtual std::shared_ptr<HCSecurityPolicy> copy() const;

 protected:
  // The object copy() fills: a subclass answers a new instance of itself.
  virtual std::shared_ptr<HCSecurityPolicy> makeEmpty() const { return std::make_shared<HCSecurityPolicy>(); }

 private:
  unsigned long m_SSLPinningMode = 0;
  std::optional<CertificateSet> m_pinnedCertificates;
  std::optional<KeySet> m_pinnedPublicKeys;
  bool m_allowInvalidCertificates = false;
  bool m_validatesDomainName = true;
};

}  // namespace kt
