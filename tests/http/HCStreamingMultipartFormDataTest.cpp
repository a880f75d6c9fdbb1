#include "http/HCHTTPRequestSerializer.h"
#include "http/HCMultipartBodyStream.h"
#include "http/HCStreamingMultipartFormData.h"
#include "support/RunUntil.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <thread>

namespace kt {
namespace {

using core::Value;

const std::string B = "Boundary+0123456789ABCDEF";

std::string readAll(net::InputStream& stream, size_t chunk, std::vector<long>* sizes = nullptr) {
  std::string out;
  std::vector<uint8_t> buffer(chunk);
  EXPECT_TRUE(stream.open());
  for (int guard = 0; guard < 100000; ++guard) {
    long n = stream.read(buffer.data(), buffer.size());
    if (sizes) sizes->push_back(n);
    if (n <= 0) break;
    out.append(reinterpret_cast<char*>(buffer.data()), static_cast<size_t>(n));
  }
  return out;
}

// A caller's stream that gives some bytes, then fails.
class FailingStream : public net::InputStream {
 public:
  explicit FailingStream(std::string head) : m_head(std::move(head)) {}
  long read(uint8_t* buffer, size_t length) override {
    if (m_head.empty()) return -1;
    size_t n = std::min(length, m_head.size());
    std::memcpy(buffer, m_head.data(), n);
    m_head.erase(0, n);
    return static_cast<long>(n);
  }

 private:
  std::string m_head;
};

HCStreamingMultipartFormData makeForm() {
  HCStreamingMultipartFormData form(net::URLRequest(net::URL::fromString("http://h/up")), HCStringEncodingUTF8);
  form.setBoundary(B);
  return form;
}

TEST(MultipartBody, ExactBytesOfOneAndTwoParts) {
  auto form = makeForm();
  ASSERT_TRUE(form.appendPartWithFormData("1", "a"));
  auto request = form.requestByFinalizingMultipartFormData();
  std::string expected = "--" + B + "\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n--" + B + "--\r\n";
  EXPECT_EQ(readAll(*request.HTTPBodyStream(), 4096), expected);
  EXPECT_EQ(request.valueForHTTPHeaderField("Content-Type"), "multipart/form-data; boundary=" + B);
  EXPECT_EQ(request.valueForHTTPHeaderField("Content-Length"), std::to_string(expected.size()));

  auto two = makeForm();
  two.appendPartWithFormData("x", "f");
  two.appendPartWithFileData("PNGDATA", "pic", "a.png", "image/png");
  auto second = two.requestByFinalizingMultipartFormData();
  std::string body = "--" + B + "\r\nContent-Disposition: form-data; name=\"f\"\r\n\r\nx" + "\r\n--" + B +
                     "\r\nContent-Disposition: form-data; name=\"pic\"; filename=\"a.png\"\r\nContent-Type: image/png"
                     "\r\n\r\nPNGDATA\r\n--" + B + "--\r\n";
  EXPECT_EQ(readAll(*second.HTTPBodyStream(), 4096), body);
  EXPECT_EQ(second.valueForHTTPHeaderField("Content-Length"), std::to_string(body.size()));
  // Five-byte reads lose nothing at phase borders; a copy starts again from the first byte.
  auto copy = second.HTTPBodyStream()->copy();
  ASSERT_TRUE(copy);
  EXPECT_EQ(readAll(*copy, 5), body);
}

TEST(MultipartBody, FilePartsAndTypes) {
  support::TempHome home;
  std::string path = home.path() + "/song.lrc";
  std::ofstream(path) << "lyrics";
  auto form = makeForm();
  core::Error error;
  ASSERT_TRUE(form.appendPartWithFileURL(net::URL::fileURLWithPath(path), "file", &error));
  auto request = form.requestByFinalizingMultipartFormData();
  std::string body = readAll(*request.HTTPBodyStream(), 7);
  EXPECT_NE(body.find("filename=\"song.lrc\"\r\nContent-Type: application/octet-stream\r\n\r\nlyrics\r\n"),
            std::string::npos) << body;
  EXPECT_EQ(request.valueForHTTPHeaderField("Content-Length"), std::to_string(body.size()));
  EXPECT_EQ(mimeTypeForPathExtension("JPG"), "image/jpeg");

  EXPECT_FALSE(form.appendPartWithFileURL(*net::URL::fromString("http://h/a.png"), "f", &error));
  EXPECT_EQ(error.code(), -1000);
  EXPECT_EQ(error.userInfo()[HCLocalizedFailureReasonErrorKey].stringValue(), "Expected URL to be a file URL");
  EXPECT_FALSE(form.appendPartWithFileURL(net::URL::fileURLWithPath(home.path() + "/none"), "f", &error));
  EXPECT_EQ(error.userInfo()[HCLocalizedFailureReasonErrorKey].stringValue(), "File URL not reachable.");
}

TEST(MultipartBody, LineBreaksInNamesAreRefused) {
  auto form = makeForm();
  core::Error error;
  EXPECT_FALSE(form.appendPartWithFormData("1", "a\r\nX: y", &error));
  EXPECT_EQ(error.domain(), HCRequestSerializationErrorDomain);
  EXPECT_FALSE(form.appendPartWithFileData("d", "n", "a\n.png", "image/png"));
  EXPECT_FALSE(form.appendPartWithHeaders({{"X", "a\rb"}}, "d"));
  EXPECT_TRUE(form.bodyStream()->isEmpty());
}

TEST(MultipartBody, ThrottledPackets) {
  auto form = makeForm();
  form.appendPartWithFileData(std::string(100, 'x'), "f", "f.bin", "application/octet-stream");
  form.appendPartWithFormData("y", "g");
  form.throttleBandwidthWithPacketSize(16, 0.2);
  std::vector<double> pauses;
  form.bodyStream()->setSleepHandlerForTesting([&](double seconds) { pauses.push_back(seconds); });
  auto request = form.requestByFinalizingMultipartFormData();
  std::vector<long> sizes;
  std::string body = readAll(*request.HTTPBodyStream(), 4096, &sizes);
  EXPECT_EQ(std::to_string(body.size()), request.valueForHTTPHeaderField("Content-Length"));
  for (long n : sizes) EXPECT_LE(n, 16);
  EXPECT_FALSE(pauses.empty());
  for (double p : pauses) EXPECT_EQ(p, 0.2);
}

TEST(MultipartBody, FailingPartFailsTheBody) {
  auto form = makeForm();
  form.appendPartWithInputStream(std::make_shared<FailingStream>("abc"), "f", "f.bin", 100, "application/octet-stream");
  form.appendPartWithFormData("later", "g");
  auto request = form.requestByFinalizingMultipartFormData();
  auto* stream = dynamic_cast<HCMultipartBodyStream*>(request.HTTPBodyStream().get());
  ASSERT_TRUE(stream);
  std::vector<long> sizes;
  std::string body = readAll(*stream, 4096, &sizes);
  // The bytes before the failure come out, then -1: never a 0 that would end the upload as complete.
  EXPECT_EQ(sizes.back(), -1);
  EXPECT_EQ(body.find("later"), std::string::npos);
  EXPECT_NE(body.find("abc"), std::string::npos);
  EXPECT_TRUE(stream->streamError());
  EXPECT_EQ(stream->streamStatus(), HCMultipartBodyStream::Status::Error);
}

TEST(MultipartRequest, ParametersBecomeFormParts) {
  HCHTTPRequestSerializer serializer;
  Value parameters(Value::Dictionary{{"a", Value(Value::Dictionary{{"x", Value(Value::Array{1})}})},
                                     {"n", nullptr},
                                     {"d", Value::data("\x01\x02")}});
  auto request = serializer.multipartFormRequestWithMethod(
      "POST", "http://h/up", parameters,
      [](HCMultipartFormData& form) { form.appendPartWithFileData("img", "pic", "p.jpg", "image/jpeg"); }, nullptr);
  ASSERT_TRUE(request);
  std::string body = readAll(*request->HTTPBodyStream(), 3);
  EXPECT_NE(body.find("name=\"a[x][]\"\r\n\r\n1\r\n"), std::string::npos) << body;
  EXPECT_NE(body.find("name=\"n\"\r\n\r\n\r\n"), std::string::npos);
  EXPECT_NE(body.find(std::string("name=\"d\"\r\n\r\n\x01\x02\r\n")), std::string::npos);
  EXPECT_NE(body.find("filename=\"p.jpg\""), std::string::npos);

  // No parameters and no parts: the form request as built, without a body stream.
  auto plain = serializer.multipartFormRequestWithMethod("POST", "http://h/up", Value(), nullptr, nullptr);
  EXPECT_FALSE(plain->HTTPBodyStream());
  EXPECT_EQ(plain->valueForHTTPHeaderField("Content-Type"), "application/x-www-form-urlencoded");
}

TEST(MultipartRequest, WritesBodyToFile) {
  support::TempHome home;
  HCHTTPRequestSerializer serializer;
  auto request = serializer.multipartFormRequestWithMethod(
      "POST", "http://h/up", Value(),
      [](HCMultipartFormData& form) { form.appendPartWithFileData(std::string(5000, 'z'), "f", "f", "a/b"); }, nullptr);
  ASSERT_TRUE(request);
  auto expectedStream = request->HTTPBodyStream()->copy();
  std::string expected = readAll(*expectedStream, 4096);
  std::string path = home.path() + "/body";
  bool done = false;
  std::optional<core::Error> result;
  auto stripped = serializer.requestWithMultipartFormRequest(*request, path, [&](const std::optional<core::Error>& e) {
    result = e;
    done = true;
  });
  EXPECT_FALSE(stripped.HTTPBodyStream());
  EXPECT_EQ(stripped.valueForHTTPHeaderField("Content-Length"), std::to_string(expected.size()));
  ASSERT_TRUE(support::runUntil([&] { return done; }, 10));
  EXPECT_FALSE(result);
  std::ifstream file(path, std::ios::binary);
  std::string written((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_EQ(written, expected);
}

TEST(MultipartRequest, FileCopyReportsAFailingPart) {
  support::TempHome home;
  auto form = makeForm();
  form.appendPartWithInputStream(std::make_shared<FailingStream>(""), "f", "f", 10, "a/b");
  auto request = form.requestByFinalizingMultipartFormData();
  HCHTTPRequestSerializer serializer;
  bool done = false;
  std::optional<core::Error> result;
  serializer.requestWithMultipartFormRequest(request, home.path() + "/body", [&](const std::optional<core::Error>& e) {
    result = e;
    done = true;
  });
  ASSERT_TRUE(support::runUntil([&] { return done; }, 10));
  EXPECT_TRUE(result);
}

}  // namespace
}  // namespace kt
