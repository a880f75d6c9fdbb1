#include "platform/net/InputStream.h"

#include <cstdio>
#include <cstring>

namespace net {

namespace {

class DataStream : public InputStream {
 public:
  explicit DataStream(std::string bytes) : m_bytes(std::move(bytes)) {}

  long read(uint8_t* buffer, size_t length) override {
    size_t n = std::min(length, m_bytes.size() - m_offset);
    std::memcpy(buffer, m_bytes.data() + m_offset, n);
    m_offset += n;
    return static_cast<long>(n);
  }
  std::shared_ptr<InputStream> copy() const override { return std::make_shared<DataStream>(m_bytes); }

 private:
  std::string m_bytes;
  size_t m_offset = 0;
};

class FileStream : public InputStream {
 public:
  explicit FileStream(std::string path) : m_path(std::move(path)) {}
  ~FileStream() override { close(); }

  bool open() override {
    if (!m_file) m_file = std::fopen(m_path.c_str(), "rb");
    return m_file != nullptr;
  }
  long read(uint8_t* buffer, size_t length) override {
    if (!m_file && !open()) return -1;
    size_t n = std::fread(buffer, 1, length, m_file);
    if (n == 0 && std::ferror(m_file)) return -1;
    return static_cast<long>(n);
  }
  void close() override {
    if (m_file) std::fclose(m_file);
    m_file = nullptr;
  }
  std::shared_ptr<InputStream> copy() const override { return std::make_shared<FileStream>(m_path); }

 private:
  std::string m_path;
  FILE* m_file = nullptr;
};

}  // namespace

std::shared_ptr<InputStream> InputStream::withData(std::string bytes) {
  return std::make_shared<DataStream>(std::move(bytes));
}

std::shared_ptr<InputStream> InputStream::withFile(const std::string& path) {
  auto stream = std::make_shared<FileStream>(path);
  if (!stream->open()) return nullptr;
  stream->close();
  return stream;
}

}  // namespace net
