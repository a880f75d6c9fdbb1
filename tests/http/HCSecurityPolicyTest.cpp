#include "http/HCSecurityPolicy.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/core/Bundle.h"
#include "platform/core/Log.h"
#include "platform/security/CertificateFactory.h"
#include "support/TempHome.h"

namespace {

using kt::HCSecurityPolicy;
using kt::HCSSLPinningMode;
using testpki::pki;

std::shared_ptr<security::Trust> serverTrust(const std::vector<std::string>& chain) {
  return security::Trust::createWithCertificateData(chain, {security::Policy::basicX509()});
}

class HCSecurityPolicyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The machine's trusted roots are our test CA only.
    security::setSystemAnchorsOverride(std::vector<std::string>{pki().ca.der});
    m_previousSink = core::setLogSink([this](const std::string& line) { m_log.push_back(line); });
  }
  void TearDown() override {
    core::setLogSink(m_previousSink);
    security::setSystemAnchorsOverride(std::nullopt);
  }
  bool evaluate(const HCSecurityPolicy& policy, const std::vector<std::string>& chain,
                const std::optional<std::string>& host) {
    auto trust = serverTrust(chain);
    return trust && policy.evaluateServerTrust(*trust, host);
  }
  bool logged(const std::string& text) const {
    for (const auto& line : m_log) {
      if (line.find(text) != std::string::npos) return true;
    }
    return false;
  }

  std::vector<std::string> m_log;
  core::LogSink m_previousSink;
};

constexpr const char* kMustPin = "In order to validate a domain name for self signed certificates, you MUST use pinning.";

TEST_F(HCSecurityPolicyTest, DefaultPolicyTrustsValidChainsForTheirHostOnly) {
  auto policy = HCSecurityPolicy::defaultPolicy();
  EXPECT_EQ(policy->SSLPinningMode(), 0u);
  EXPECT_FALSE(policy->allowInvalidCertificates());
  EXPECT_TRUE(policy->validatesDomainName());
  EXPECT_FALSE(policy->pinnedCertificates());

  EXPECT_TRUE(evaluate(*policy, {pki().leaf.der}, "localhost"));
  EXPECT_TRUE(evaluate(*policy, {pki().leaf.der}, "127.0.0.1"));
  EXPECT_FALSE(evaluate(*policy, {pki().leaf.der}, "example.com"));
  EXPECT_FALSE(evaluate(*policy, {pki().selfSigned.der}, "localhost"));
  EXPECT_FALSE(evaluate(*policy, {pki().expired.der}, "localhost"));
  EXPECT_FALSE(evaluate(*policy, {pki().otherLeaf.der}, "localhost"));
  // No host: the SSL policy without a name.
  EXPECT_TRUE(evaluate(*policy, {pki().leaf.der}, std::nullopt));

  policy->setValidatesDomainName(false);
  EXPECT_TRUE(evaluate(*policy, {pki().leaf.der}, "example.com"));
  EXPECT_FALSE(evaluate(*policy, {pki().selfSigned.der}, "example.com"));
}

TEST_F(HCSecurityPolicyTest, AllowingInvalidCertificatesWithoutPinning) {
  auto policy = HCSecurityPolicy::defaultPolicy();
  policy->setAllowInvalidCertificates(true);
  policy->setValidatesDomainName(false);
  EXPECT_TRUE(evaluate(*policy, {pki().selfSigned.der}, "localhost"));
  EXPECT_TRUE(evaluate(*policy, {pki().expired.der}, "anything"));
  EXPECT_TRUE(m_log.empty());

  // Validating a domain name of an invalid chain needs pinning: refused with a console line.
  policy->setValidatesDomainName(true);
  EXPECT_FALSE(evaluate(*policy, {pki().leaf.der}, "localhost"));
  EXPECT_TRUE(logged(kMustPin));
  // ... but only when there is a host to validate.
  m_log.clear();
  EXPECT_TRUE(evaluate(*policy, {pki().selfSigned.der}, std::nullopt));
  EXPECT_FALSE(logged(kMustPin));

  // A pinning mode with nothing pinned counts as no pinning.
  auto empty = HCSecurityPolicy::policyWithPinningMode(HCSSLPinningMode::Certificate, HCSecurityPolicy::CertificateSet{});
  empty->setAllowInvalidCertificates(true);
  EXPECT_FALSE(evaluate(*empty, {pki().selfSigned.der}, "localhost"));
  EXPECT_TRUE(logged(kMustPin));
}

TEST_F(HCSecurityPolicyTest, CertificatePinningAnchorsOnThePinnedCertificates) {
  security::setSystemAnchorsOverride(std::vector<std::string>{});  // nothing trusted by the system
  auto pinRoot = HCSecurityPolicy::policyWithPinningMode(HCSSLPinningMode::Certificate, HCSecurityPolicy::CertificateSet{pki().ca.der});
  pinRoot->setAllowInvalidCertificates(true);  // the system does not trust the chain: pinning does
  pinRoot->setValidatesDomainName(false);
  EXPECT_TRUE(evaluate(*pinRoot, {pki().leaf.der}, "localhost"));
  EXPECT_TRUE(evaluate(*pinRoot, {pki().leafViaIntermediate.der, pki().intermediate.der}, "localhost"));
  EXPECT_FALSE(evaluate(*pinRoot, {pki().otherLeaf.der}, "localhost"));
  EXPECT_FALSE(evaluate(*pinRoot, {pki().expired.der}, "localhost"));

  // Without invalid certificates allowed, the chain must first be trusted by the system.
  auto strict = HCSecurityPolicy::policyWithPinningMode(HCSSLPinningMode::Certificate, HCSecurityPolicy::CertificateSet{pki().ca.der});
  EXPECT_FALSE(evaluate(*strict, {pki().leaf.der}, "localhost"));
  security::setSystemAnchorsOverride(std::vector<std::string>{pki().ca.der});
  EXPECT_TRUE(evaluate(*strict, {pki().leaf.der}, "localhost"));
  EXPECT_FALSE(evaluate(*strict, {pki().leaf.der}, "example.com"));
  // Trusted by the system but not through the pinned certificate.
  security::setSystemAnchorsOverride(std::vector<std::string>{pki().ca.der, pki().otherCa.der});
  EXPECT_FALSE(evaluate(*strict, {pki().otherLeaf.der}, "localhost"));
}

TEST_F(HCSecurityPolicyTest, CertificatePinningOfALeafOrAnIntermediate) {
  auto pinLeaf = HCSecurityPolicy::policyWithPinningMode(HCSSLPinningMode::Certificate,
                                                         HCSecurityPolicy::CertificateSet{pki().selfSigned.der, "junk"});
  pinLeaf->setAllowInvalidCertificates(true);
  // With a pinned certificate, a domain name is validated against it.
  EXPECT_TRUE(evaluate(*pinLeaf, {pki().selfSigned.der}, "localhost"));
  EXPECT_FALSE(evaluate(*pinLeaf, {pki().selfSigned.der}, "example.com"));
  EXPECT_FALSE(logged(kMustPin));

  auto pinIntermediate = HCSecurityPolicy::policyWithPinningMode(HCSSLPinningMode::Certificate,
                                                                 HCSecurityPolicy::CertificateSet{pki().intermediate.der});
  EXPECT_TRUE(evaluate(*pinIntermediate, {pki().leafViaIntermediate.der, pki().intermediate.der}, "localhost"));
  EXPECT_FALSE(evaluate(*pinIntermediate, {pki().leaf.der}, "localhost"));
}

TEST_F(HCSecurityPolicyTest, PublicKeyPinningMatchesAnywhereInTheChain) {
  auto pinRootKey = HCSecurityPolicy::policyWithPinningMode(HCSSLPinningMode::PublicKey, HCSecurityPolicy::CertificateSet{pki().ca.der});
  EXPECT_TRUE(evaluate(*pinRootKey, {pki().leaf.der}, "localhost"));
  EXPECT_TRUE(evaluate(*pinRootKey, {pki().leafViaIntermediate.der, pki().intermediate.der}, "localhost"));
  EXPECT_FALSE(evaluate(*pinRootKey, {pki().leaf.der}, "example.com"));

  auto pinLeafKey = HCSecurityPolicy::policyWithPinningMode(HCSSLPinningMode::PublicKey, HCSecurityPolicy::CertificateSet{pki().leaf.der});
  EXPECT_TRUE(evaluate(*pinLeafKey, {pki().leaf.der}, "localhost"));

  auto pinOther = HCSecurityPolicy::policyWithPinningMode(HCSSLPinningMode::PublicKey, HCSecurityPolicy::CertificateSet{pki().otherCa.der});
  EXPECT_FALSE(evaluate(*pinOther, {pki().leaf.der}, "localhost"));

  // An untrusted chain passes on its pinned key when invalid certificates are allowed.
  auto pinSelfSigned = HCSecurityPolicy::policyWithPinningMode(HCSSLPinningMode::PublicKey,
                                                               HCSecurityPolicy::CertificateSet{pki().selfSigned.der});
  EXPECT_FALSE(evaluate(*pinSelfSigned, {pki().selfSigned.der}, "localhost"));
  pinSelfSigned->setAllowInvalidCertificates(true);
  EXPECT_TRUE(evaluate(*pinSelfSigned, {pki().selfSigned.der}, "localhost"));
  EXPECT_FALSE(evaluate(*pinSelfSigned, {pki().otherLeaf.der}, "localhost"));

  auto nothingUsable = HCSecurityPolicy::policyWithPinningMode(HCSSLPinningMode::PublicKey, HCSecurityPolicy::CertificateSet{"junk"});
  ASSERT_TRUE(nothingUsable->pinnedPublicKeys());
  EXPECT_TRUE(nothingUsable->pinnedPublicKeys()->empty());
  EXPECT_FALSE(evaluate(*nothingUsable, {pki().leaf.der}, "localhost"));
}

TEST_F(HCSecurityPolicyTest, PinnedPublicKeysFollowPinnedCertificates) {
  HCSecurityPolicy policy;
  EXPECT_FALSE(policy.pinnedPublicKeys());
  policy.setPinnedCertificates(HCSecurityPolicy::CertificateSet{pki().ca.der, pki().leaf.der, "junk"});
  ASSERT_TRUE(policy.pinnedPublicKeys());
  EXPECT_EQ(policy.pinnedPublicKeys()->size(), 2u);
  EXPECT_EQ(policy.pinnedCertificates()->size(), 3u);
  policy.setPinnedCertificates(std::nullopt);
  EXPECT_FALSE(policy.pinnedPublicKeys());
}

TEST_F(HCSecurityPolicyTest, UnknownPinningModeRefuses) {
  auto policy = HCSecurityPolicy::policyWithPinningMode(HCSSLPinningMode::None, HCSecurityPolicy::CertificateSet{pki().ca.der});
  policy->setSSLPinningMode(7ul);
  EXPECT_FALSE(evaluate(*policy, {pki().leaf.der}, "localhost"));
}

TEST_F(HCSecurityPolicyTest, EvaluationSetsTheTrustPolicy) {
  auto policy = HCSecurityPolicy::defaultPolicy();
  auto trust = serverTrust({pki().leaf.der});
  policy->evaluateServerTrust(*trust, "localhost");
  ASSERT_EQ(trust->policies().size(), 1u);
  EXPECT_EQ(trust->policies()[0].kind, security::Policy::Kind::SSL);
  EXPECT_EQ(trust->policies()[0].hostName, std::optional<std::string>("localhost"));
  policy->setValidatesDomainName(false);
  policy->evaluateServerTrust(*trust, "localhost");
  EXPECT_EQ(trust->policies()[0].kind, security::Policy::Kind::BasicX509);
}

TEST_F(HCSecurityPolicyTest, ArchivingAndCopyingKeepEverySetting) {
  auto policy = HCSecurityPolicy::policyWithPinningMode(HCSSLPinningMode::PublicKey, HCSecurityPolicy::CertificateSet{pki().ca.der});
  policy->setAllowInvalidCertificates(true);
  policy->setValidatesDomainName(false);

  const core::Value archive = policy->encodeWithCoder();
  EXPECT_EQ(archive["SSLPinningMode"].integerValue(), 1);
  EXPECT_TRUE(archive["allowInvalidCertificates"].isBool());
  ASSERT_TRUE(archive["pinnedCertificates"].isArray());
  EXPECT_EQ(*archive["pinnedCertificates"][0].asData(), pki().ca.der);

  for (const auto& other : {HCSecurityPolicy::initWithCoder(archive), policy->copy()}) {
    EXPECT_EQ(other->SSLPinningMode(), 1u);
    EXPECT_TRUE(other->allowInvalidCertificates());
    EXPECT_FALSE(other->validatesDomainName());
    EXPECT_EQ(other->pinnedCertificates(), policy->pinnedCertificates());
    EXPECT_EQ(other->pinnedPublicKeys(), policy->pinnedPublicKeys());
  }
  // A copy is independent of its original.
  auto copy = policy->copy();
  copy->setPinnedCertificates(std::nullopt);
  EXPECT_TRUE(policy->pinnedCertificates());

  // Entries of the wrong type are ignored: decoding starts from init.
  core::Value bad;
  bad.set("SSLPinningMode", "two");
  bad.set("validatesDomainName", "no");
  core::Value::Array mixed{core::Value("text"), core::Value::data(pki().leaf.der)};
  bad.set("pinnedCertificates", core::Value(mixed));
  auto decoded = HCSecurityPolicy::initWithCoder(bad);
  EXPECT_EQ(decoded->SSLPinningMode(), 0u);
  EXPECT_TRUE(decoded->validatesDomainName());
  EXPECT_EQ(decoded->pinnedCertificates(), HCSecurityPolicy::CertificateSet{pki().leaf.der});
}

TEST_F(HCSecurityPolicyTest, CertificatesInABundleAreItsTopLevelCerFiles) {
  support::TempHome home;
  const std::filesystem::path dir = std::filesystem::path(home.path()) / "Pins.bundle";
  std::filesystem::create_directories(dir / "sub");
  auto write = [](const std::filesystem::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; };
  write(dir / "root.cer", pki().ca.der);
  write(dir / "leaf.cer", pki().leaf.der);
  write(dir / "notes.txt", "not a certificate");
  write(dir / "sub" / "other.cer", pki().otherCa.der);

  const auto certificates = HCSecurityPolicy::certificatesInBundle(core::Bundle(dir.string()));
  EXPECT_EQ(certificates, (HCSecurityPolicy::CertificateSet{pki().ca.der, pki().leaf.der}));
  // The same set, every time, from any caller.
  EXPECT_EQ(&HCSecurityPolicy::defaultPinnedCertificates(), &HCSecurityPolicy::defaultPinnedCertificates());
}

}  // namespace
