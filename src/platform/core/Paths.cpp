#include "platform/core/Paths.h"

#include "platform/core/Log.h"
#include "platform/core/SaidOnce.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>
#include <vector>

namespace core::paths {
namespace {

constexpr const char* kAppFolder = "ktv-room-client";
// Where an unsafe folder's state goes: nothing can be made, read or written under a device file,
// by root neither.
constexpr const char* kNowhere = "/dev/null/ktv-room-client";

std::string withoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string errorText(int error) { return std::strerror(error); }

// Whether this user may trust what is kept in a folder it finds there: its own or root's (root
// can write anywhere anyway), and writable by nobody else.
std::string untrustedBecause(const std::string& dir, const struct stat& st) {
  const uid_t me = ::geteuid();
  if (st.st_uid != me && st.st_uid != 0) {
    return dir + " belongs to another user (uid " + std::to_string(st.st_uid) + ")";
  }
  if (st.st_mode & (S_IWGRP | S_IWOTH)) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    return dir + " can be written by other users (mode " + mode + ")";
  }
  return "";
}

// Makes `dir` where it is missing (its missing parents too, each for this user alone), then checks
// that nobody else can have put anything in it.
StateFolder ensureFolder(const std::string& dir) {
  StateFolder folder;
  folder.path = dir;
  struct stat st {};
  if (::lstat(dir.c_str(), &st) != 0) {
    int error = errno;
    if (error == ENOENT) {
      for (size_t slash = dir.find('/', 1); slash != std::string::npos; slash = dir.find('/', slash + 1)) {
        ::mkdir(dir.substr(0, slash).c_str(), 0700);
      }
      error = ::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST ? 0 : errno;
      if (error == 0 && ::lstat(dir.c_str(), &st) != 0) error = errno;
    }
    if (error != 0) {
      folder.status = StateFolder::Status::Unavailable;
      folder.problem = "cannot make " + dir + ": " + errorText(error);
      return folder;
    }
  }
  if (S_ISLNK(st.st_mode)) {
    // A link is followed only when it is this user's (or root's) own: another user's link could be
    // turned to another folder at any time.
    if (st.st_uid != ::geteuid() && st.st_uid != 0) {
      folder.problem = "the link " + dir + " belongs to another user (uid " + std::to_string(st.st_uid) + ")";
      return folder;
    }
    if (::stat(dir.c_str(), &st) != 0) {
      folder.status = StateFolder::Status::Unavailable;
      folder.problem = "cannot use " + dir + ": " + errorText(errno);
      return folder;
    }
  }
  if (!S_ISDIR(st.st_mode)) {
    folder.problem = dir + " is not a folder";
    return folder;
  }
  folder.problem = untrustedBecause(dir, st);
  folder.status = folder.problem.empty() ? StateFolder::Status::Safe : StateFolder::Status::Unsafe;
  return folder;
}

// Says why a folder is not used, once for each reason.
void logOnce(const std::string& problem) {
  static SaidOnce* said = new SaidOnce;  // never destroyed: asked until the process ends
  if (said->first(problem)) logLine("state folder not used: " + problem);
}

std::string usablePath(StateKind kind) {
  StateFolder folder = stateFolder(kind);
  if (folder.status != StateFolder::Status::Unsafe) return folder.path;
  logOnce(folder.problem);
  return kNowhere;
}

}  // namespace

std::string homeDir() {
  if (const char* h = std::getenv("HOME"); h && *h == '/') return withoutTrailingSlashes(h);
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
  struct passwd entry {};
  struct passwd* found = nullptr;
  int error = 0;
  while ((error = ::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found)) == ERANGE &&
         buffer.size() < (1u << 20)) {
    buffer.resize(buffer.size() * 2);
  }
  if (error != 0 || !found || !found->pw_dir || found->pw_dir[0] != '/') return "";
  return withoutTrailingSlashes(found->pw_dir);
}

StateFolder stateFolder(StateKind kind) {
  const char* variable = "XDG_CONFIG_HOME";
  const char* fallback = ".config";
  if (kind == StateKind::Data) {
    variable = "XDG_DATA_HOME";
    fallback = ".local/share";
  } else if (kind == StateKind::Cache) {
    variable = "XDG_CACHE_HOME";
    fallback = ".cache";
  }
  std::string base;
  // A relative path in the XDG variable is ignored: only an absolute one names a folder.
  if (const char* v = std::getenv(variable); v && *v == '/') {
    base = withoutTrailingSlashes(v);
  } else {
    const std::string home = homeDir();
    if (home.empty()) {
      StateFolder none;
      none.problem = std::string("there is no home folder (HOME is not set and the password database has none for uid ") +
                     std::to_string(::geteuid()) + ")";
      return none;
    }
    base = (home == "/" ? "" : home) + "/" + fallback;
  }
  StateFolder folder = ensureFolder(base);
  if (folder.status != StateFolder::Status::Safe) {
    folder.path = base + "/" + kAppFolder;
    return folder;
  }
  return ensureFolder(base + "/" + kAppFolder);
}

std::string configDir() { return usablePath(StateKind::Config); }
std::string dataDir() { return usablePath(StateKind::Data); }
std::string cacheDir() { return usablePath(StateKind::Cache); }

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
