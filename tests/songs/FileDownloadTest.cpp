#include "songs/FileDownload.h"

#include "support/RunUntil.h"
#include "support/SessionsLetGo.h"
#include "venue/HttpServerThread.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <zlib.h>

#include <thread>

namespace {

constexpr size_t kSize = 300000;

// Bytes that tell their position.
std::string body(size_t size) {
  std::string out(size, '\0');
  for (size_t i = 0; i < size; ++i) out[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
  return out;
}

// Records what the downloader reports, and checks it comes on the thread that made it.
struct Recorder : kt::FileDownloadDelegate {
  void downloadBarUpdated(kt::FileDownload& d) override {
    onMain &= std::this_thread::get_id() == main;
    percents.push_back(d.percentComplete());
  }
  void downloadBar(kt::FileDownload& d, const std::string& bytes, const std::string& name) override {
    ended(d, bytes);
    filename = name;
  }
  void downloadBar(kt::FileDownload& d, const core::Error& e) override {
    ended(d, d.receivedData());
    error = e;
  }
  void ended(kt::FileDownload& d, const std::string& bytes) {
    onMain &= std::this_thread::get_id() == main;
    ++ends;
    data = bytes;
    connectionAtEnd = d.DownloadConnection() != nullptr;
  }
  std::thread::id main = std::this_thread::get_id();
  int ends = 0;
  std::vector<float> percents;
  std::string data, filename = "(none)";
  std::optional<core::Error> error;
  bool onMain = true, connectionAtEnd = true;
};

class FileDownloadTest : public support::SessionsLetGoAtEnd, public ::testing::Test {
 protected:
  FileDownloadTest() {
    // A length and a file name of its own in the reply.
    m_server.Get("/files/song.mp3", [](const httplib::Request&, httplib::Response& res) {
      res.set_header("Content-Disposition", "attachment; filename=\"other.bin\"");
      res.set_content(body(kSize), "audio/mpeg");
    });
    // No length: chunks as they come.
    m_server.Get("/stream/track one.ogg", [](const httplib::Request&, httplib::Response& res) {
      res.set_chunked_content_provider("audio/ogg", [](size_t offset, httplib::DataSink& sink) {
        if (offset >= kSize) return sink.done(), true;
        return sink.write(body(kSize).data() + offset, 50000);
      });
    });
    // The whole length announced, half sent, then the connection drops.
    m_server.Get("/broken.bin", [](const httplib::Request&, httplib::Response& res) {
      res.set_content_provider(kSize, "application/octet-stream", [](size_t offset, size_t, httplib::DataSink& sink) {
        if (offset < kSize / 2) sink.write(body(kSize).data() + offset, kSize / 2 - offset);
        return false;
      });
    });
    // The length counts the compressed bytes: more arrive than announced.
    m_server.Get("/packed.txt", [](const httplib::Request&, httplib::Response& res) {
      const std::string plain(kSize, 'a');
      uLongf size = compressBound(plain.size());
      std::string packed(size, '\0');
      compress(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(plain.data()), kSize);
      res.set_header("Content-Encoding", "deflate");
      res.set_content(packed.substr(0, size), "text/plain");
    });
    m_port = m_server.bind_to_any_port("127.0.0.1");
    m_thread = venue::listenInBackground(m_server);
    while (!m_server.is_running()) std::this_thread::yield();
  }
  ~FileDownloadTest() override {
    m_server.stop();
    m_thread.join();
  }

  // Runs a download to its one report. The test keeps no reference: the transfer keeps it alive.
  void download(const std::string& path, Recorder& r) {
    std::weak_ptr<kt::FileDownload> weak =
        kt::FileDownload::create(net::URL::fromString("http://127.0.0.1:" + std::to_string(m_port) + path), 10, &r);
    ASSERT_TRUE(support::runUntil([&] { return r.ends > 0; }));
    support::drainMainLoop();
    EXPECT_EQ(r.ends, 1);
    EXPECT_TRUE(r.onMain);
    EXPECT_FALSE(r.connectionAtEnd);
    EXPECT_TRUE(weak.expired()) << "the downloader outlived its transfer";
  }

  httplib::Server m_server;
  int m_port = 0;
  std::thread m_thread;
};

TEST_F(FileDownloadTest, TheAddressNamesTheFileAndTheLengthGivesThePercentage) {
  Recorder known, unknown, packed;
  download("/files/song.mp3", known);
  EXPECT_EQ(known.data, body(kSize));
  EXPECT_EQ(known.filename, "song.mp3");
  ASSERT_FALSE(known.percents.empty());
  EXPECT_TRUE(std::is_sorted(known.percents.begin(), known.percents.end()));
  EXPECT_FLOAT_EQ(known.percents.back(), 100);

  // Without a length every chunk still reports, at 0 %.
  download("/stream/track%20one.ogg", unknown);
  EXPECT_EQ(unknown.data, body(kSize));
  EXPECT_EQ(unknown.filename, "track one.ogg");
  EXPECT_GT(unknown.percents.size(), 1u);
  EXPECT_EQ(std::count(unknown.percents.begin(), unknown.percents.end(), 0.0f), unknown.percents.size());

  // More bytes than announced stop at 100 %.
  download("/packed.txt", packed);
  EXPECT_EQ(packed.data, std::string(kSize, 'a'));
  EXPECT_LE(*std::max_element(packed.percents.begin(), packed.percents.end()), 100);
}

TEST_F(FileDownloadTest, AFailureKeepsWhatArrivedAndNoAddressFailsAtOnce) {
  Recorder broken;
  download("/broken.bin", broken);
  ASSERT_TRUE(broken.error);
  EXPECT_EQ(broken.filename, "(none)");
  EXPECT_LT(broken.data.size(), kSize);
  EXPECT_EQ(broken.data, body(kSize).substr(0, broken.data.size()));

  // Reported before the downloader is handed back.
  Recorder none;
  auto d = kt::FileDownload::create(std::nullopt, 10, &none);
  ASSERT_EQ(none.ends, 1);
  EXPECT_EQ(none.error->domain(), "UIDownloadBar Error");
  EXPECT_EQ(none.error->code(), 1);
  EXPECT_EQ(none.error->localizedDescription(), "NSURLConnection Failed");
  EXPECT_EQ(d->localFilename(), "");
  support::drainMainLoop();
  EXPECT_EQ(none.ends, 1);
}

}  // namespace
