#pragma once

// Certificates made at test time with OpenSSL: a CA, an intermediate under it, leaves for
// "localhost"/127.0.0.1, an expired leaf, a self-signed leaf and a second, unrelated CA.

#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>
#include <string>
#include <vector>

namespace testpki {

struct KeyDeleter {
  void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct CertDeleter {
  void operator()(X509* c) const { X509_free(c); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, KeyDeleter>;
using CertPtr = std::unique_ptr<X509, CertDeleter>;

inline KeyPtr makeKey() { return KeyPtr(EVP_EC_gen("P-256")); }

inline std::string der(X509* cert) {
  const int length = i2d_X509(cert, nullptr);
  std::string out(static_cast<size_t>(length), '\0');
  auto* p = reinterpret_cast<unsigned char*>(out.data());
  i2d_X509(cert, &p);
  return out;
}

inline void addExtension(X509* cert, X509* issuer, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  X509_add_ext(cert, ext, -1);
  X509_EXTENSION_free(ext);
}

struct Issued {
  KeyPtr key;
  CertPtr cert;
  std::string der;
};

// Signed by `issuer` (self-signed when null). Validity in seconds from now.
inline Issued issue(const char* commonName, const Issued* issuer, bool isCA, const char* subjectAltName,
                    long notBefore = -3600, long notAfter = 86400, long serial = 1) {
  Issued out;
  out.key = makeKey();
  out.cert.reset(X509_new());
  X509* cert = out.cert.get();
  X509_set_version(cert, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert), serial);
  X509_gmtime_adj(X509_getm_notBefore(cert), notBefore);
  X509_gmtime_adj(X509_getm_notAfter(cert), notAfter);
  X509_set_pubkey(cert, out.key.get());
  X509_NAME* name = X509_get_subject_name(cert);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0);
  X509* issuerCert = issuer ? issuer->cert.get() : cert;
  X509_set_issuer_name(cert, X509_get_subject_name(issuerCert));
  addExtension(cert, issuerCert, NID_basic_constraints, isCA ? "critical,CA:TRUE" : "critical,CA:FALSE");
  if (isCA) addExtension(cert, issuerCert, NID_key_usage, "critical,keyCertSign,cRLSign");
  if (subjectAltName) addExtension(cert, issuerCert, NID_subject_alt_name, subjectAltName);
  X509_sign(cert, issuer ? issuer->key.get() : out.key.get(), EVP_sha256());
  out.der = der(cert);
  return out;
}

struct Pki {
  Issued ca = issue("Test Root CA", nullptr, true, nullptr, -3600, 86400, 1);
  Issued intermediate = issue("Test Intermediate CA", &ca, true, nullptr, -3600, 86400, 2);
  Issued leaf = issue("localhost", &ca, false, "DNS:localhost,IP:127.0.0.1", -3600, 86400, 3);
  Issued leafViaIntermediate = issue("localhost", &intermediate, false, "DNS:localhost", -3600, 86400, 4);
  Issued expired = issue("localhost", &ca, false, "DNS:localhost", -7200, -3600, 5);
  Issued selfSigned = issue("localhost", nullptr, false, "DNS:localhost,IP:127.0.0.1", -3600, 86400, 6);
  Issued otherCa = issue("Other Root CA", nullptr, true, nullptr, -3600, 86400, 7);
  Issued otherLeaf = issue("localhost", &otherCa, false, "DNS:localhost", -3600, 86400, 8);
};

// Made once per test program: key generation is the slow part.
inline const Pki& pki() {
  static const Pki* instance = new Pki;
  return *instance;
}

}  // namespace testpki
