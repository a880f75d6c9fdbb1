#include "support/TempHome.h"

#include <cstdlib>
#include <filesystem>

namespace support {
namespace {

const char* const kVars[5] = {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "TMPDIR"};

}  // namespace

TempHome::TempHome() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/kt-home-XXXXXX";
  char* made = ::mkdtemp(pattern.data());
  if (!made) throw std::runtime_error("mkdtemp failed");
  m_path = made;
  for (int i = 0; i < 5; ++i) {
    if (const char* v = std::getenv(kVars[i])) {
      m_saved[i] = v;
      m_had[i] = true;
    }
  }
  const std::string dirs[5] = {m_path, m_path + "/config", m_path + "/data", m_path + "/cache", m_path + "/tmp"};
  for (int i = 0; i < 5; ++i) {
    std::filesystem::create_directories(dirs[i]);
    // This user's alone, whatever the umask: the program uses no state folder others can write.
    std::filesystem::permissions(dirs[i], std::filesystem::perms::owner_all);
    ::setenv(kVars[i], dirs[i].c_str(), 1);
  }
  // Clips play without sound under test (see media::VideoPlayer): no sound device is needed.
  ::setenv("KT_AUDIO_OUTPUT", "none", 0);
}

TempHome::~TempHome() {
  for (int i = 0; i < 5; ++i) {
    if (m_had[i]) {
      ::setenv(kVars[i], m_saved[i].c_str(), 1);
    } else {
      ::unsetenv(kVars[i]);
    }
  }
  std::error_code ec;
  std::filesystem::remove_all(m_path, ec);
}

}  // namespace support
