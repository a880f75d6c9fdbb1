#include "platform/core/Paths.h"

#include "platform/core/UserDefaults.h"
#include "support/ScopedEnv.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <vector>

namespace {

namespace fs = std::filesystem;
using core::paths::StateFolder;
using core::paths::StateKind;

class PathsTest : public support::TempHomeTest {
 protected:
  fs::path home() const { return fs::path(homePath()); }
};

unsigned modeOf(const fs::path& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// HOME unset (as under some supervisors) gave /tmp, where anyone may make .config first.
TEST_F(PathsTest, WithoutHomeTheHomeIsThePasswordDatabases) {
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  ASSERT_EQ(getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found), 0);
  ASSERT_NE(found, nullptr);
  std::string expected = found->pw_dir;
  while (expected.size() > 1 && expected.back() == '/') expected.pop_back();
  for (const char* value : {static_cast<const char*>(nullptr), "", "relative/home"}) {
    support::ScopedEnv unset("HOME", value);
    EXPECT_EQ(core::paths::homeDir(), expected) << (value ? value : "unset");
  }
  support::ScopedEnv set("HOME", "/somewhere/else/");
  EXPECT_EQ(core::paths::homeDir(), "/somewhere/else");
}

TEST_F(PathsTest, AMissingBaseFolderIsMadeForThisUserAlone) {
  support::ScopedEnv config("XDG_CONFIG_HOME", (home() / "new/config").c_str());
  const StateFolder folder = core::paths::stateFolder(StateKind::Config);
  EXPECT_EQ(folder.status, StateFolder::Status::Safe) << folder.problem;
  EXPECT_EQ(folder.path, (home() / "new/config/ktv-room-client").string());
  EXPECT_EQ(core::paths::configDir(), folder.path);
  EXPECT_EQ(modeOf(home() / "new/config"), 0700u);
  EXPECT_EQ(modeOf(home() / "new/config/ktv-room-client"), 0700u);
  // Without XDG_CONFIG_HOME, in the home's .config; the other kinds likewise.
  support::ScopedEnv unset("XDG_CONFIG_HOME", nullptr);
  EXPECT_EQ(core::paths::configDir(), home().string() + "/.config/ktv-room-client");
  support::ScopedEnv data("XDG_DATA_HOME", nullptr);
  EXPECT_EQ(core::paths::dataDir(), home().string() + "/.local/share/ktv-room-client");
  EXPECT_EQ(modeOf(home() / ".local"), 0700u);
}

// A folder another user owns or can write is never used: what was planted there is not read, and
// nothing is written there.
TEST_F(PathsTest, AFolderAnotherUserOwnsOrCanWriteIsNotUsed) {
  struct Case {
    fs::path base;
    std::string problem;
  };
  std::vector<Case> cases;
  auto plant = [&](const fs::path& base) {
    fs::create_directories(base / "ktv-room-client");
    std::ofstream(base / "ktv-room-client/defaults.plist")
        << "<plist version=\"1.0\"><dict><key>Server_Ip</key><string>10.9.9.9</string></dict></plist>\n";
  };
  for (unsigned mode : {0777u, 0770u, 01777u, 0720u, 0702u}) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", mode);
    const fs::path base = home() / (std::string("mode") + text);
    plant(base);
    fs::permissions(base, fs::perms(mode));
    cases.push_back({base, base.string() + " can be written by other users (mode " + text + ")"});
  }
  // The program's own folder planted writable in a base of this user's.
  plant(home() / "inner");
  fs::permissions(home() / "inner", fs::perms(0700));
  fs::permissions(home() / "inner/ktv-room-client", fs::perms(0757));
  cases.push_back({home() / "inner", (home() / "inner/ktv-room-client").string() +
                                         " can be written by other users (mode 0757)"});
  // Not a folder at all.
  std::ofstream(home() / "file") << "x";
  cases.push_back({home() / "file", (home() / "file").string() + " is not a folder"});
  if (geteuid() == 0) {
    plant(home() / "theirs");
    fs::permissions(home() / "theirs", fs::perms(0755));
    ASSERT_EQ(chown((home() / "theirs").c_str(), 65534, 65534), 0);
    cases.push_back({home() / "theirs", (home() / "theirs").string() + " belongs to another user (uid 65534)"});
    // Another user's link, even to a folder of this user's: it could be turned elsewhere.
    fs::create_directories(home() / "mine");
    fs::create_directory_symlink(home() / "mine", home() / "their-link");
    ASSERT_EQ(lchown((home() / "their-link").c_str(), 65534, 65534), 0);
    cases.push_back({home() / "their-link", "the link " + (home() / "their-link").string() +
                                                " belongs to another user (uid 65534)"});
  }
  for (const Case& c : cases) {
    support::ScopedEnv config("XDG_CONFIG_HOME", c.base.c_str());
    core::UserDefaults::resetStandard();
    const StateFolder folder = core::paths::stateFolder(StateKind::Config);
    EXPECT_EQ(folder.status, StateFolder::Status::Unsafe) << c.base;
    EXPECT_EQ(folder.problem, c.problem);
    EXPECT_EQ(core::paths::configDir().rfind("/dev/null/", 0), 0u) << core::paths::configDir();
    core::UserDefaults& settings = core::UserDefaults::standard();
    EXPECT_EQ(settings.stringForKey("Server_Ip"), std::nullopt) << c.base;
    settings.setString("Server_Ip", "127.0.0.1");
    EXPECT_FALSE(settings.synchronize());
  }
  // What was planted stays as it was.
  std::ifstream planted(home() / "mode0777/ktv-room-client/defaults.plist");
  const std::string text((std::istreambuf_iterator<char>(planted)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("10.9.9.9"), std::string::npos);
}

// A ~/.config linked elsewhere is common: a link of this user's own to a folder of its own is used.
TEST_F(PathsTest, ALinkOfThisUsersOwnToAFolderOfItsOwnIsUsed) {
  fs::create_directories(home() / "elsewhere");
  fs::permissions(home() / "elsewhere", fs::perms(0700));
  fs::create_directory_symlink(home() / "elsewhere", home() / "link");
  support::ScopedEnv config("XDG_CONFIG_HOME", (home() / "link").c_str());
  const StateFolder folder = core::paths::stateFolder(StateKind::Config);
  EXPECT_EQ(folder.status, StateFolder::Status::Safe) << folder.problem;
  EXPECT_TRUE(fs::is_directory(home() / "elsewhere/ktv-room-client"));
}

// A home that is missing and cannot be made is no danger: nothing can be planted there. The
// program runs, and its settings say that they cannot be written.
TEST_F(PathsTest, AFolderThatCannotBeMadeIsUnavailableNotUnsafe) {
  std::ofstream(home() / "file") << "x";
  support::ScopedEnv config("XDG_CONFIG_HOME", (home() / "file/config").c_str());
  const StateFolder folder = core::paths::stateFolder(StateKind::Config);
  EXPECT_EQ(folder.status, StateFolder::Status::Unavailable);
  EXPECT_EQ(folder.problem, "cannot make " + (home() / "file/config").string() + ": Not a directory");
  EXPECT_EQ(core::paths::configDir(), (home() / "file/config/ktv-room-client").string());
}

}  // namespace
