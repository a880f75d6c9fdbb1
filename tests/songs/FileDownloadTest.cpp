#include "songs/FileDownload.h"

#include "platform/net/URLSessionTask.h"
#include "support/RunUntil.h"
#include "venue/HttpServerThread.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <zlib.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

// A local HTTP peer serving the bodies the downloads ask for.
class FilePeer {
 public:
  static constexpr size_t kSize = 300000;

  FilePeer() {
    // Announces its length; the file name of the reply is not the address's.
    m_server.Get("/files/song.mp3", [](const httplib::Request&, httplib::Response& res) {
      res.set_header("Content-Disposition", "attachment; filename=\"other.bin\"");
      res.set_content(body(kSize), "audio/mpeg");
    });
    // No length: chunks as they come.
    m_server.Get("/stream/track one.ogg", [](const httplib::Request&, httplib::Response& res) {
      res.set_chunked_content_provider("audio/ogg", [](size_t offset, httplib::DataSink& sink) {
        if (offset >= kSize) {
          sink.done();
          return true;
        }
        const std::string part = body(kSize).substr(offset, 50000);
        return sink.write(part.data(), part.size());
      });
    });
    // Announces the whole length, sends half and hangs up.
    m_server.Get("/broken.bin", [](const httplib::Request&, httplib::Response& res) {
      res.set_content_provider(kSize, "application/octet-stream",
                               [](size_t offset, size_t, httplib::DataSink& sink) {
                                 const std::string half = body(kSize / 2);
                                 if (offset < half.size()) sink.write(half.data() + offset, half.size() - offset);
                                 return false;
                               });
    });
    // The announced length counts the compressed bytes: more arrive than announced.
    m_server.Get("/packed.txt", [](const httplib::Request&, httplib::Response& res) {
      std::string plain(kSize, 'a');
      uLongf size = compressBound(plain.size());
      std::string packed(size, '\0');
      compress(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(plain.data()),
               plain.size());
      packed.resize(size);
      res.set_header("Content-Encoding", "deflate");
      res.set_content(packed, "text/plain");
    });
    m_server.Get("/empty", [](const httplib::Request&, httplib::Response& res) { res.set_content("", "text/plain"); });
    m_port = m_server.bind_to_any_port("127.0.0.1");
    m_thread = venue::listenInBackground(m_server);
    while (!m_server.is_running()) std::this_thread::yield();
  }
  ~FilePeer() {
    m_server.stop();
    m_thread.join();
  }

  std::optional<net::URL> url(const std::string& path) const {
    return net::URL::fromString("http://127.0.0.1:" + std::to_string(m_port) + path);
  }
  // Bytes that tell their position.
  static std::string body(size_t size) {
    std::string out(size, '\0');
    for (size_t i = 0; i < size; ++i) out[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
    return out;
  }

 private:
  httplib::Server m_server;
  int m_port = 0;
  std::thread m_thread;
};

// Records what the downloader reports, and where.
class Recorder : public kt::FileDownloadDelegate {
 public:
  void downloadBarUpdated(kt::FileDownload& d) override {
    onMain &= std::this_thread::get_id() == m_main;
    ++updates;
    percents.push_back(d.percentComplete());
  }
  void downloadBar(kt::FileDownload& d, const std::string& bytes, const std::string& name) override {
    onMain &= std::this_thread::get_id() == m_main;
    ++ends;
    data = bytes;
    filename = name;
    connectionAtEnd = d.DownloadConnection() != nullptr;
  }
  void downloadBar(kt::FileDownload& d, const core::Error& e) override {
    onMain &= std::this_thread::get_id() == m_main;
    ++ends;
    error = e;
    data = d.receivedData();
  }
  bool ended() const { return ends > 0; }

  int updates = 0;
  int ends = 0;
  std::vector<float> percents;
  std::string data;
  std::string filename;
  std::optional<core::Error> error;
  bool onMain = true;
  bool connectionAtEnd = true;

 private:
  std::thread::id m_main = std::this_thread::get_id();
};

class FileDownloadTest : public ::testing::Test {
 protected:
  // Runs a download to its end; the test keeps no reference, the transfer keeps it alive.
  void download(const std::string& path, Recorder& recorder) {
    std::weak_ptr<kt::FileDownload> weak = kt::FileDownload::create(m_peer.url(path), 10, &recorder);
    ASSERT_TRUE(support::runUntil([&] { return recorder.ended(); }));
    support::drainMainLoop();
    EXPECT_EQ(recorder.ends, 1);
    EXPECT_TRUE(recorder.onMain);
    EXPECT_TRUE(weak.expired()) << "the downloader outlived its transfer";
  }

  FilePeer m_peer;
};

TEST_F(FileDownloadTest, ALengthGivesThePercentageAndTheAddressGivesTheName) {
  Recorder r;
  download("/files/song.mp3", r);
  EXPECT_FALSE(r.error);
  EXPECT_EQ(r.data, FilePeer::body(FilePeer::kSize));
  EXPECT_EQ(r.filename, "song.mp3");
  EXPECT_FALSE(r.connectionAtEnd);
  ASSERT_GT(r.updates, 0);
  EXPECT_FLOAT_EQ(r.percents.back(), 100.0f);
  EXPECT_TRUE(std::is_sorted(r.percents.begin(), r.percents.end()));
}

TEST_F(FileDownloadTest, WithoutALengthEveryChunkReportsAndThePercentageStaysAtZero) {
  Recorder r;
  auto d = kt::FileDownload::create(m_peer.url("/stream/track%20one.ogg"), 10, &r);
  ASSERT_TRUE(support::runUntil([&] { return r.ended(); }));
  EXPECT_FALSE(r.error);
  EXPECT_EQ(r.data.size(), FilePeer::kSize);
  EXPECT_EQ(r.filename, "track one.ogg");
  EXPECT_EQ(d->expectedBytes(), -1);
  EXPECT_EQ(d->bytesReceived(), static_cast<int64_t>(FilePeer::kSize));
  ASSERT_GT(r.updates, 1);
  for (float p : r.percents) EXPECT_EQ(p, 0.0f);
}

TEST_F(FileDownloadTest, MoreBytesThanAnnouncedStopAtAHundredAndNothingIsNoProgress) {
  Recorder packed;
  download("/packed.txt", packed);
  EXPECT_EQ(packed.data, std::string(FilePeer::kSize, 'a'));
  ASSERT_FALSE(packed.percents.empty());
  for (float p : packed.percents) {
    EXPECT_GE(p, 0.0f);
    EXPECT_LE(p, 100.0f);
  }
  EXPECT_FLOAT_EQ(packed.percents.back(), 100.0f);

  Recorder empty;
  download("/empty", empty);
  EXPECT_FALSE(empty.error);
  EXPECT_EQ(empty.updates, 0);
  EXPECT_EQ(empty.data, "");
}

TEST_F(FileDownloadTest, AHangUpMidBodyFailsAndKeepsWhatArrived) {
  Recorder r;
  download("/broken.bin", r);
  ASSERT_TRUE(r.error);
  EXPECT_TRUE(r.filename.empty());
  EXPECT_EQ(r.data, FilePeer::body(FilePeer::kSize / 2).substr(0, r.data.size()));
  EXPECT_LT(r.data.size(), FilePeer::kSize);
}

TEST_F(FileDownloadTest, NoAddressFailsBeforeTheDownloaderIsHandedBack) {
  Recorder r;
  auto d = kt::FileDownload::create(std::nullopt, 10, &r);
  ASSERT_TRUE(r.error);
  EXPECT_EQ(r.error->domain(), "UIDownloadBar Error");
  EXPECT_EQ(r.error->code(), 1);
  EXPECT_EQ(r.error->localizedDescription(), "NSURLConnection Failed");
  EXPECT_EQ(d->DownloadConnection(), nullptr);
  EXPECT_EQ(d->localFilename(), "");
  support::drainMainLoop();
  EXPECT_EQ(r.ends, 1);
}

}  // namespace
