#pragma once

#include <gtest/gtest.h>

#include <string>

namespace support {

// Gives each test a fresh, empty home: HOME, XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_CACHE_HOME and
// TMPDIR point into a new temporary folder that is removed when the test ends. Settings,
// keychain and caches therefore never leak between tests or into the user's own home. It also
// turns the sound of clips off for the process (KT_AUDIO_OUTPUT=none).
class TempHome {
 public:
  TempHome();
  ~TempHome();
  TempHome(const TempHome&) = delete;
  TempHome& operator=(const TempHome&) = delete;

  const std::string& path() const { return m_path; }

 private:
  std::string m_path;
  std::string m_saved[5];
  bool m_had[5] = {};
};

// Fixture base for tests that touch persistent state.
class TempHomeTest : public ::testing::Test {
 protected:
  const std::string& homePath() const { return m_home.path(); }

 private:
  TempHome m_home;
};

}  // namespace support
