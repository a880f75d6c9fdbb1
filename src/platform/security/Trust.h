#pragma once

#include <compare>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct x509_st;

// Certificates, trust policies and trust evaluation over OpenSSL.
namespace security {

// A parsed X.509 certificate; immutable.
class Certificate {
 public:
  // nullptr when the bytes are not one DER certificate (trailing bytes are refused too).
  static std::shared_ptr<Certificate> createWithData(const std::string& der);
  ~Certificate();
  Certificate(const Certificate&) = delete;
  Certificate& operator=(const Certificate&) = delete;

  // The DER bytes the certificate was made from.
  const std::string& data() const { return m_der; }
  x509_st* x509() const { return m_cert; }

  struct Key {};
  Certificate(Key, x509_st* cert, std::string der) : m_cert(cert), m_der(std::move(der)) {}

 private:
  x509_st* m_cert = nullptr;  // owned
  std::string m_der;
};

// A public key as its DER SubjectPublicKeyInfo; two keys are equal when these bytes are.
struct PublicKey {
  std::string der;
  auto operator<=>(const PublicKey&) const = default;
};

// What a trust is evaluated for: a TLS server (optionally with the host name or IP address the
// certificate must name) or plain X.509 chain validity.
struct Policy {
  enum class Kind { BasicX509, SSL };
  Kind kind = Kind::BasicX509;
  bool server = true;
  std::optional<std::string> hostName;

  static Policy basicX509() { return Policy{}; }
  static Policy ssl(bool server, std::optional<std::string> hostName) {
    return Policy{Kind::SSL, server, std::move(hostName)};
  }
};

// Status codes of trust operations.
enum TrustStatus : int32_t {
  TrustSuccess = 0,
  TrustParam = -50,
  TrustAllocate = -108,
  TrustInternal = -26276,
};

// The outcome of an evaluation.
enum class TrustResult : uint32_t {
  Invalid = 0,
  Proceed = 1,
  Deny = 3,
  Unspecified = 4,  // the chain is valid and the user set nothing about it
  RecoverableTrustFailure = 5,
  FatalTrustFailure = 6,
  OtherError = 7,
};

// A certificate chain (the leaf first, then whatever else the peer sent) with the policies it is
// evaluated against and, optionally, its own anchor certificates in place of the system's.
// After an evaluation the chain is the one that was built: leaf to anchor where one was found.
// Not thread-safe: one thread at a time.
class Trust {
 public:
  // nullptr when there is no certificate.
  static std::shared_ptr<Trust> createWithCertificates(std::vector<std::shared_ptr<Certificate>> certificates,
                                                       std::vector<Policy> policies);
  // From DER bytes; certificates that cannot be parsed are left out (nullptr when none is left).
  static std::shared_ptr<Trust> createWithCertificateData(const std::vector<std::string>& ders,
                                                          std::vector<Policy> policies);

  void setPolicies(std::vector<Policy> policies);
  const std::vector<Policy>& policies() const { return m_policies; }

  // Only these certificates are trusted as anchors from now on (an empty list trusts none);
  // an anchor need not be self-signed: a pinned leaf or intermediate ends the chain.
  void setAnchorCertificates(std::vector<std::shared_ptr<Certificate>> anchors);

  // Evaluates the chain: TrustSuccess with Unspecified when it is valid for every policy, or with
  // RecoverableTrustFailure (untrusted, expired, wrong name, ...). Another status when the
  // evaluation itself cannot run; the result is then Invalid.
  TrustStatus evaluate(TrustResult& result);

  // The leaf's public key (evaluating first when that was not done); nullopt when it has none
  // readable.
  std::optional<PublicKey> copyPublicKey();

  // The chain (after evaluation, the built one).
  size_t certificateCount();
  std::shared_ptr<Certificate> certificateAtIndex(size_t index);

  // The OpenSSL verification error of the last evaluation (0 when it passed).
  int lastVerifyError() const { return m_lastError; }

  struct Key {};
  Trust(Key, std::vector<std::shared_ptr<Certificate>> certificates, std::vector<Policy> policies)
      : m_certificates(std::move(certificates)), m_policies(std::move(policies)) {}

 private:
  std::vector<std::shared_ptr<Certificate>> m_certificates;
  std::vector<Policy> m_policies;
  std::optional<std::vector<std::shared_ptr<Certificate>>> m_anchors;
  std::vector<std::shared_ptr<Certificate>> m_builtChain;
  bool m_evaluated = false;
  TrustStatus m_lastStatus = TrustSuccess;
  TrustResult m_lastResult = TrustResult::Invalid;
  int m_lastError = 0;
};

// The public key of a certificate, as a one-certificate trust with a basic X.509 policy gives it.
std::optional<PublicKey> publicKeyForCertificateData(const std::string& der);

// Tests: the system anchors become exactly these DER certificates; nullopt goes back to the
// system's CA store.
void setSystemAnchorsOverride(std::optional<std::vector<std::string>> ders);

}  // namespace security
