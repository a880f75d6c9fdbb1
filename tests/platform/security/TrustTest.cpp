#include "platform/security/Trust.h"

#include <gtest/gtest.h>
#include <openssl/x509_vfy.h>

#include "platform/security/CertificateFactory.h"

namespace {

using security::Certificate;
using security::Policy;
using security::Trust;
using security::TrustResult;
using testpki::pki;

std::shared_ptr<Certificate> cert(const std::string& der) { return Certificate::createWithData(der); }

struct Evaluation {
  security::TrustStatus status = security::TrustInternal;
  TrustResult result = TrustResult::Invalid;
};

Evaluation evaluate(Trust& trust) {
  Evaluation e;
  e.status = trust.evaluate(e.result);
  return e;
}

class TrustTest : public ::testing::Test {
 protected:
  void TearDown() override { security::setSystemAnchorsOverride(std::nullopt); }
};

TEST(CertificateTest, ParsesDerAndGivesTheSameBytesBack) {
  auto c = cert(pki().leaf.der);
  ASSERT_TRUE(c);
  EXPECT_EQ(c->data(), pki().leaf.der);
}

TEST(CertificateTest, RefusesWhatIsNotExactlyOneCertificate) {
  EXPECT_FALSE(cert(""));
  EXPECT_FALSE(cert("not a certificate"));
  EXPECT_FALSE(cert(pki().leaf.der + "x"));                             // trailing bytes
  EXPECT_FALSE(cert(pki().leaf.der.substr(0, pki().leaf.der.size() - 1)));  // cut short
}

TEST_F(TrustTest, ChainUpToAGivenAnchorIsValidForItsHost) {
  auto trust = Trust::createWithCertificates({cert(pki().leaf.der)}, {Policy::ssl(true, "localhost")});
  ASSERT_TRUE(trust);
  trust->setAnchorCertificates({cert(pki().ca.der)});
  const Evaluation e = evaluate(*trust);
  EXPECT_EQ(e.status, security::TrustSuccess);
  EXPECT_EQ(e.result, TrustResult::Unspecified);
  // The built chain runs from the leaf to the anchor.
  ASSERT_EQ(trust->certificateCount(), 2u);
  EXPECT_EQ(trust->certificateAtIndex(0)->data(), pki().leaf.der);
  EXPECT_EQ(trust->certificateAtIndex(1)->data(), pki().ca.der);
  EXPECT_FALSE(trust->certificateAtIndex(2));
}

TEST_F(TrustTest, HostNamesAndAddressesAreChecked) {
  struct Case {
    std::optional<std::string> host;
    TrustResult expected;
  } cases[] = {
      {"localhost", TrustResult::Unspecified},    {"LOCALHOST", TrustResult::Unspecified},
      {"example.com", TrustResult::RecoverableTrustFailure}, {"127.0.0.1", TrustResult::Unspecified},
      {"127.0.0.2", TrustResult::RecoverableTrustFailure},   {std::nullopt, TrustResult::Unspecified},
      {std::string("local\0host", 10), TrustResult::RecoverableTrustFailure},
  };
  for (const Case& c : cases) {
    auto trust = Trust::createWithCertificates({cert(pki().leaf.der)}, {Policy::ssl(true, c.host)});
    trust->setAnchorCertificates({cert(pki().ca.der)});
    EXPECT_EQ(evaluate(*trust).result, c.expected) << c.host.value_or("(none)");
  }
  // A basic X.509 policy does not look at names at all.
  auto trust = Trust::createWithCertificates({cert(pki().leaf.der)}, {Policy::basicX509()});
  trust->setAnchorCertificates({cert(pki().ca.der)});
  EXPECT_EQ(evaluate(*trust).result, TrustResult::Unspecified);
}

TEST_F(TrustTest, FailuresAreRecoverableWithTheirReason) {
  auto expired = Trust::createWithCertificates({cert(pki().expired.der)}, {Policy::ssl(true, "localhost")});
  expired->setAnchorCertificates({cert(pki().ca.der)});
  EXPECT_EQ(evaluate(*expired).result, TrustResult::RecoverableTrustFailure);
  EXPECT_EQ(expired->lastVerifyError(), X509_V_ERR_CERT_HAS_EXPIRED);

  auto unrelated = Trust::createWithCertificates({cert(pki().otherLeaf.der)}, {Policy::ssl(true, "localhost")});
  unrelated->setAnchorCertificates({cert(pki().ca.der)});
  const Evaluation e = evaluate(*unrelated);
  EXPECT_EQ(e.status, security::TrustSuccess);
  EXPECT_EQ(e.result, TrustResult::RecoverableTrustFailure);
  // A failed evaluation keeps the chain as presented.
  ASSERT_EQ(unrelated->certificateCount(), 1u);
  EXPECT_EQ(unrelated->certificateAtIndex(0)->data(), pki().otherLeaf.der);

  auto noAnchors = Trust::createWithCertificates({cert(pki().leaf.der)}, {Policy::basicX509()});
  noAnchors->setAnchorCertificates({});
  EXPECT_EQ(evaluate(*noAnchors).result, TrustResult::RecoverableTrustFailure);
}

TEST_F(TrustTest, SystemAnchorsAreUsedWhenNoneAreGiven) {
  security::setSystemAnchorsOverride(std::vector<std::string>{pki().ca.der});
  auto trust = Trust::createWithCertificates({cert(pki().leaf.der)}, {Policy::ssl(true, "localhost")});
  EXPECT_EQ(evaluate(*trust).result, TrustResult::Unspecified);

  auto selfSigned = Trust::createWithCertificates({cert(pki().selfSigned.der)}, {Policy::ssl(true, "localhost")});
  EXPECT_EQ(evaluate(*selfSigned).result, TrustResult::RecoverableTrustFailure);

  // Given anchors replace the system's.
  trust->setAnchorCertificates({cert(pki().otherCa.der)});
  EXPECT_EQ(evaluate(*trust).result, TrustResult::RecoverableTrustFailure);
}

TEST_F(TrustTest, AnAnchorNeedNotBeARoot) {
  // A pinned self-signed leaf, or a pinned intermediate, ends the chain.
  auto selfSigned = Trust::createWithCertificates({cert(pki().selfSigned.der)}, {Policy::ssl(true, "localhost")});
  selfSigned->setAnchorCertificates({cert(pki().selfSigned.der)});
  EXPECT_EQ(evaluate(*selfSigned).result, TrustResult::Unspecified);

  auto viaIntermediate = Trust::createWithCertificates({cert(pki().leafViaIntermediate.der)}, {Policy::basicX509()});
  viaIntermediate->setAnchorCertificates({cert(pki().intermediate.der)});
  EXPECT_EQ(evaluate(*viaIntermediate).result, TrustResult::Unspecified);
  EXPECT_EQ(viaIntermediate->certificateCount(), 2u);
}

TEST_F(TrustTest, IntermediatesSentByThePeerCompleteTheChain) {
  auto trust = Trust::createWithCertificates({cert(pki().leafViaIntermediate.der), cert(pki().intermediate.der)},
                                             {Policy::ssl(true, "localhost")});
  trust->setAnchorCertificates({cert(pki().ca.der)});
  EXPECT_EQ(evaluate(*trust).result, TrustResult::Unspecified);
  ASSERT_EQ(trust->certificateCount(), 3u);
  EXPECT_EQ(trust->certificateAtIndex(2)->data(), pki().ca.der);

  // Without the intermediate there is no path to the root.
  auto alone = Trust::createWithCertificates({cert(pki().leafViaIntermediate.der)}, {Policy::basicX509()});
  alone->setAnchorCertificates({cert(pki().ca.der)});
  EXPECT_EQ(evaluate(*alone).result, TrustResult::RecoverableTrustFailure);
}

TEST_F(TrustTest, CreationNeedsAtLeastOneCertificate) {
  EXPECT_FALSE(Trust::createWithCertificates({}, {Policy::basicX509()}));
  EXPECT_FALSE(Trust::createWithCertificates({nullptr}, {Policy::basicX509()}));
  EXPECT_FALSE(Trust::createWithCertificateData({"junk", ""}, {}));
  auto trust = Trust::createWithCertificateData({"junk", pki().leaf.der}, {});
  ASSERT_TRUE(trust);
  EXPECT_EQ(trust->certificateAtIndex(0)->data(), pki().leaf.der);
}

TEST_F(TrustTest, PublicKeysCompareByKeyNotByCertificate) {
  auto leafKey = security::publicKeyForCertificateData(pki().leaf.der);
  auto caKey = security::publicKeyForCertificateData(pki().ca.der);
  ASSERT_TRUE(leafKey);
  ASSERT_TRUE(caKey);
  EXPECT_NE(*leafKey, *caKey);

  // A second certificate over the same key (re-issued with another serial and lifetime).
  testpki::Issued reissued;
  reissued.cert.reset(X509_dup(pki().leaf.cert.get()));
  ASN1_INTEGER_set(X509_get_serialNumber(reissued.cert.get()), 99);
  X509_sign(reissued.cert.get(), pki().ca.key.get(), EVP_sha256());
  const std::string reissuedDer = testpki::der(reissued.cert.get());
  ASSERT_NE(reissuedDer, pki().leaf.der);
  EXPECT_EQ(security::publicKeyForCertificateData(reissuedDer), leafKey);

  // An untrusted certificate still has its key; unparsable data has none.
  EXPECT_TRUE(security::publicKeyForCertificateData(pki().selfSigned.der));
  EXPECT_FALSE(security::publicKeyForCertificateData("junk"));
}

TEST_F(TrustTest, ChangingPoliciesOrAnchorsNeedsANewEvaluation) {
  auto trust = Trust::createWithCertificates({cert(pki().leaf.der)}, {Policy::ssl(true, "example.com")});
  trust->setAnchorCertificates({cert(pki().ca.der)});
  EXPECT_EQ(evaluate(*trust).result, TrustResult::RecoverableTrustFailure);
  EXPECT_EQ(trust->certificateCount(), 1u);
  trust->setPolicies({Policy::ssl(true, "localhost")});
  EXPECT_EQ(trust->certificateCount(), 2u);  // evaluated again on the way
}

}  // namespace
