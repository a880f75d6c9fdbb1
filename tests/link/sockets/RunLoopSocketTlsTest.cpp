#include <gtest/gtest.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "support/LoopbackPeer.h"
#include "link/sockets/RunLoopSocket.h"
#include "platform/net/SocketStream.h"
#include "support/RunUntil.h"
#include "support/TempHome.h"

using kt::RunLoopSocket;

namespace {

// A self-signed certificate for "localhost", written as PEM files into the test's home.
bool makeCertificate(const std::string& certPath, const std::string& keyPath) {
  EVP_PKEY* key = EVP_EC_gen("P-256");
  if (!key) return false;
  X509* cert = X509_new();
  ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
  X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert), 3600);
  X509_set_pubkey(cert, key);
  X509_NAME* name = X509_get_subject_name(cert);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
  X509_set_issuer_name(cert, name);
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
  if (X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, NID_subject_alt_name, "DNS:localhost")) {
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
  }
  bool ok = X509_sign(cert, key, EVP_sha256()) > 0;
  FILE* c = std::fopen(certPath.c_str(), "w");
  FILE* k = std::fopen(keyPath.c_str(), "w");
  ok = ok && c && k && PEM_write_X509(c, cert) && PEM_write_PrivateKey(k, key, nullptr, nullptr, 0, nullptr, nullptr);
  if (c) std::fclose(c);
  if (k) std::fclose(k);
  X509_free(cert);
  EVP_PKEY_free(key);
  return ok;
}

// A blocking TLS echo server for one connection: answers each line with "secure:" + line.
class TlsPeer {
 public:
  TlsPeer(const std::string& cert, const std::string& key) {
    m_thread = std::thread([this, cert, key] {
      SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
      SSL_CTX_use_certificate_file(ctx, cert.c_str(), SSL_FILETYPE_PEM);
      SSL_CTX_use_PrivateKey_file(ctx, key.c_str(), SSL_FILETYPE_PEM);
      int fd = m_listener.accept(10000);
      if (fd >= 0) {
        timeval tv{10, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        SSL* ssl = SSL_new(ctx);
        SSL_set_fd(ssl, fd);
        if (SSL_accept(ssl) == 1) {
          m_handshook = true;
          char buf[256];
          int n = SSL_read(ssl, buf, sizeof buf);
          if (n > 0) {
            std::string reply = "secure:" + std::string(buf, static_cast<size_t>(n));
            SSL_write(ssl, reply.data(), static_cast<int>(reply.size()));
          }
          SSL_shutdown(ssl);
        }
        SSL_free(ssl);
        ::close(fd);
      }
      SSL_CTX_free(ctx);
      ERR_clear_error();
    });
  }
  ~TlsPeer() { m_thread.join(); }
  uint16_t port() const { return m_listener.port(); }
  bool handshook() const { return m_handshook; }

 private:
  looptest::Listener m_listener;
  std::atomic<bool> m_handshook{false};
  std::thread m_thread;
};

struct TlsRecorder : kt::RunLoopSocketDelegate {
  std::vector<std::string> events;
  std::string data;
  std::optional<core::Error> error;
  bool connected = false, disconnected = false;
  void onSocketDidConnectToHost(RunLoopSocket&, const std::string&, uint16_t) override {
    events.push_back("connect");
    connected = true;
  }
  void onSocketDidSecure(RunLoopSocket&) override { events.push_back("secure"); }
  void onSocketDidWriteDataWithTag(RunLoopSocket&, long) override { events.push_back("write"); }
  void onSocketDidReadData(RunLoopSocket&, const std::string& d, long) override {
    events.push_back("read");
    data = d;
  }
  void onSocketWillDisconnectWithError(RunLoopSocket&, const core::Error* e) override {
    if (e) error = *e;
  }
  void onSocketDidDisconnect(RunLoopSocket&) override { disconnected = true; }
};

class RunLoopSocketTlsTest : public support::TempHomeTest {
 protected:
  void SetUp() override {
    m_cert = homePath() + "/cert.pem";
    m_key = homePath() + "/key.pem";
    ASSERT_TRUE(makeCertificate(m_cert, m_key));
  }
  std::string m_cert, m_key;
};

TEST_F(RunLoopSocketTlsTest, SecuresConnectionAndExchangesData) {
  TlsPeer peer(m_cert, m_key);
  auto rec = std::make_shared<TlsRecorder>();
  auto socket = RunLoopSocket::create(rec);
  ASSERT_TRUE(socket->connectToHost("127.0.0.1", peer.port(), 5.0));
  core::Value settings;
  settings.set(net::TLSSettingsKeys::TrustedCertificatesFile, m_cert);
  settings.set(net::TLSSettingsKeys::PeerName, "localhost");
  socket->startTLS(settings);
  // Queued behind the marker: goes out encrypted once the handshake is done.
  socket->writeData("hello\n", 5.0, 0);
  socket->readDataToData(RunLoopSocket::LFData(), 5.0, 0);
  ASSERT_TRUE(support::runUntil([&] { return !rec->data.empty() || rec->disconnected; }, 10));
  EXPECT_EQ(rec->data, "secure:hello\n") << (rec->error ? rec->error->description() : "no error");
  EXPECT_EQ(rec->events, (std::vector<std::string>{"connect", "secure", "write", "read"}));
  EXPECT_TRUE(socket->getReadStream()->isSecure());
  socket->disconnect();
}

TEST_F(RunLoopSocketTlsTest, UntrustedCertificateClosesWithTlsError) {
  TlsPeer peer(m_cert, m_key);
  auto rec = std::make_shared<TlsRecorder>();
  auto socket = RunLoopSocket::create(rec);
  ASSERT_TRUE(socket->connectToHost("127.0.0.1", peer.port(), 5.0));
  socket->startTLS();  // the system's trust store does not know the certificate
  socket->writeData("hello\n", 5.0, 0);
  ASSERT_TRUE(support::runUntil([&] { return rec->disconnected; }, 10));
  ASSERT_TRUE(rec->error);
  EXPECT_EQ(rec->error->domain(), RunLoopSocket::TLSErrorDomain);
  EXPECT_EQ(std::count(rec->events.begin(), rec->events.end(), "secure"), 0);
  EXPECT_EQ(std::count(rec->events.begin(), rec->events.end(), "write"), 0);
}

TEST_F(RunLoopSocketTlsTest, UnusableSettingsCloseWithSocketError) {
  looptest::Listener listener;
  auto rec = std::make_shared<TlsRecorder>();
  auto socket = RunLoopSocket::create(rec);
  ASSERT_TRUE(socket->connectToHost("127.0.0.1", listener.port(), 5.0));
  ASSERT_TRUE(support::runUntil([&] { return rec->connected; }));
  int fd = listener.accept();
  core::Value settings;
  settings.set(net::TLSSettingsKeys::TrustedCertificatesFile, homePath() + "/missing.pem");
  socket->startTLS(settings);
  ASSERT_TRUE(support::runUntil([&] { return rec->disconnected; }));
  ASSERT_TRUE(rec->error);
  EXPECT_EQ(rec->error->code(), RunLoopSocket::SocketError);
  ::close(fd);
}

}  // namespace
