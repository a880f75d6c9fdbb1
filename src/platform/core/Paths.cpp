#include "platform/core/Paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace core::paths {
namespace {

constexpr const char* kAppFolder = "ktv-room-client";

std::string home() {
  const char* h = std::getenv("HOME");
  return (h && *h) ? h : "/tmp";
}

std::string xdg(const char* var, const char* fallback) {
  const char* v = std::getenv(var);
  std::string base = (v && *v == '/') ? std::string(v) : home() + "/" + fallback;
  std::string dir = base + "/" + kAppFolder;
  makeDirectories(dir);
  return dir;
}

}  // namespace

std::string configDir() { return xdg("XDG_CONFIG_HOME", ".config"); }
std::string dataDir() { return xdg("XDG_DATA_HOME", ".local/share"); }
std::string cacheDir() { return xdg("XDG_CACHE_HOME", ".cache"); }

std::string documentsDir() {
  std::string dir = dataDir() + "/Documents";
  makeDirectories(dir);
  return dir;
}

std::string temporaryDir() {
  const char* t = std::getenv("TMPDIR");
  std::string dir = (t && *t) ? t : "/tmp";
  if (dir.back() != '/') dir += '/';
  return dir;
}

bool makeDirectories(const std::string& path) {
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  return std::filesystem::is_directory(path, ec);
}

bool writeFileAtomically(const std::string& path, const std::string& bytes, unsigned mode, bool sync) {
  std::random_device rd;
  std::ostringstream tmpName;
  tmpName << path << ".tmp." << ::getpid() << "." << rd();
  const std::string tmp = tmpName.str();
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) return false;
  ::fchmod(fd, mode);  // not narrowed by the umask
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      ::unlink(tmp.c_str());
      return false;
    }
    done += static_cast<size_t>(n);
  }
  if ((sync && ::fsync(fd) != 0) || ::close(fd) != 0) {
    ::unlink(tmp.c_str());
    return false;
  }
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
    ::unlink(tmp.c_str());
    return false;
  }
  return true;
}

bool readFile(const std::string& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream ss;
  ss << in.rdbuf();
  if (in.bad()) return false;
  bytes = ss.str();
  return true;
}

}  // namespace core::paths
