// The client program's checks at start, in a child process: without its resources it says why and
// ends with status 1, with its state in a folder another user owns or can write it says why and
// ends with status 78 (no wait mends it), before anything starts; without HOME it keeps its state
// in the home the password database gives.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ClientRun.h"
#include "support/DisplayServers.h"
#include "support/TempHome.h"

namespace {

namespace fs = std::filesystem;
using clientrun::Launch;
using clientrun::Outcome;
using clientrun::runClientWith;

// Should the program start, it ends at once: a Wayland display named relative to a runtime folder
// that is not given, which no wait can mend. The setting Display_Wait is read all the same.
const std::vector<std::string> kEndsAtOnceIfStarted{"KT_OFFSCREEN", "DISPLAY", "XDG_RUNTIME_DIR",
                                                    "WAYLAND_DISPLAY=kt-no-display"};

// Settings someone else put there: a value the program says on standard error when it reads it.
const char* const kPlanted =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<plist version=\"1.0\"><dict><key>Display_Wait</key><string>planted</string></dict></plist>\n";
const char* const kPlantedRead = "The setting Display_Wait (planted)";

void write(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << text;
}

Launch withEnv(std::vector<std::string> env) {
  Launch launch;
  launch.env = kEndsAtOnceIfStarted;
  launch.env.insert(launch.env.end(), env.begin(), env.end());
  return launch;
}

class ClientStartTest : public support::TempHomeTest {};

TEST_F(ClientStartTest, MissingResourcesEndItWithStatusOneAndTheFoldersLookedIn) {
  const Outcome unset = runClientWith(withEnv({"KT_RESOURCES=/nonexistent"}));
  EXPECT_EQ(unset.status, 1) << unset.err;
  EXPECT_NE(unset.err.find("looked for them in /nonexistent (KT_RESOURCES: no such folder)"), std::string::npos)
      << unset.err;
  EXPECT_EQ(unset.err.find("started:"), std::string::npos) << unset.err;

  // A folder, but not of the resources (the source tree's, without the generated artwork, is one).
  const fs::path empty = fs::path(homePath()) / "resources";
  write(empty / "Info.plist", "<plist version=\"1.0\"><dict/></plist>\n");
  const Outcome partial = runClientWith(withEnv({"KT_RESOURCES=" + empty.string()}));
  EXPECT_EQ(partial.status, 1) << partial.err;
  EXPECT_NE(partial.err.find(empty.string() + " (KT_RESOURCES: no Settings.bundle/Root.plist, images)"),
            std::string::npos)
      << partial.err;

  // The program copied without its share/ktv-client folder: a link to it in a folder of its own,
  // beside the built one so that it is on the same file system.
  const fs::path built(KT_CLIENT_PATH);
  std::string pattern = (built.parent_path() / "kt-copy-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const fs::path copy = fs::canonical(pattern);
  fs::create_directories(copy / "bin");
  std::error_code ec;
  fs::create_hard_link(built, copy / "bin/ktv_client", ec);
  if (ec) fs::copy_file(built, copy / "bin/ktv_client", ec);
  ASSERT_FALSE(ec) << ec.message();
  Launch launch = withEnv({"KT_RESOURCES"});
  launch.program = (copy / "bin/ktv_client").string();
  const Outcome copied = runClientWith(launch);
  fs::remove_all(copy, ec);
  EXPECT_EQ(copied.status, 1) << copied.err;
  for (const char* folder : {"bin/resources", "share/ktv-client", "resources"}) {
    EXPECT_NE(copied.err.find((copy / folder).string() + " (no such folder)"), std::string::npos)
        << folder << ": " << copied.err;
  }
  EXPECT_EQ(copied.err.find("started:"), std::string::npos) << copied.err;
}

// Another user who can write the folder of the settings chooses the tablet's server: such a folder
// is not read, and the program ends, saying which folder and why, with the status a supervisor
// does not start it again for (status 1 had the unit start it every few seconds for ever).
TEST_F(ClientStartTest, AStateFolderAnotherUserOwnsOrCanWriteIsNotReadAndEndsItWithStatus78) {
  const fs::path home(homePath());
  // What is planted in a folder of this user's own is read: the test sees a planted file read.
  write(home / "own/ktv-room-client/defaults.plist", kPlanted);
  fs::permissions(home / "own", fs::perms(0700));
  const Outcome own = runClientWith(withEnv({"XDG_CONFIG_HOME=" + (home / "own").string()}));
  EXPECT_NE(own.err.find(kPlantedRead), std::string::npos) << own.err;
  EXPECT_NE(own.err.find("started:"), std::string::npos) << own.err;

  struct Case {
    std::string variable;
    fs::path base;
    std::string said;
  };
  std::vector<Case> cases;
  // A base folder anyone can write.
  write(home / "shared/ktv-room-client/defaults.plist", kPlanted);
  fs::permissions(home / "shared", fs::perms(0777));
  cases.push_back({"XDG_CONFIG_HOME", home / "shared",
                   "No safe folder for the settings: " + (home / "shared").string() +
                       " can be written by other users (mode 0777)."});
  // The program's own folder, in a base of this user's, that its group can write.
  write(home / "group/ktv-room-client/defaults.plist", kPlanted);
  fs::permissions(home / "group", fs::perms(0700));
  fs::permissions(home / "group/ktv-room-client", fs::perms(0775));
  cases.push_back({"XDG_CONFIG_HOME", home / "group",
                   "No safe folder for the settings: " + (home / "group/ktv-room-client").string() +
                       " can be written by other users (mode 0775)."});
  // The keychain's folder, which a folder under /tmp left with the usual mode would have been.
  fs::create_directories(home / "data");
  fs::permissions(home / "data", fs::perms(01777));
  cases.push_back({"XDG_DATA_HOME", home / "data",
                   "No safe folder for the keychain: " + (home / "data").string() +
                       " can be written by other users (mode 1777)."});
  if (geteuid() == 0) {
    // Another user's folder, with the mode a folder gets (0755), as one made first under /tmp.
    write(home / "theirs/ktv-room-client/defaults.plist", kPlanted);
    for (const fs::path& p : {home / "theirs", home / "theirs/ktv-room-client", home / "theirs/ktv-room-client/defaults.plist"}) {
      ASSERT_EQ(chown(p.c_str(), 65534, 65534), 0);
    }
    fs::permissions(home / "theirs", fs::perms(0755));
    cases.push_back({"XDG_CONFIG_HOME", home / "theirs",
                     "No safe folder for the settings: " + (home / "theirs").string() +
                         " belongs to another user (uid 65534)."});
  }
  for (const Case& c : cases) {
    const Outcome run = runClientWith(withEnv({c.variable + "=" + c.base.string()}));
    EXPECT_EQ(run.status, 78) << c.base << ": " << run.err;
    EXPECT_NE(run.err.find(c.said), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find(kPlantedRead), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("started:"), std::string::npos) << run.err;
  }
}

// Without HOME (as under some supervisors) the state went to /tmp/.config, /tmp/.local/share and
// /tmp/.cache, where another user could have put the settings first. Run in a mount namespace of
// its own, with /tmp a fresh file system holding the planted settings of another user and the
// password database's home a folder of the test's, so that nothing outside is touched.
TEST_F(ClientStartTest, WithoutHomeItKeepsItsStateInThePasswordHomeAndNothingUnderTmp) {
  if (geteuid() != 0) GTEST_SKIP() << "a mount namespace of its own needs root";
  if (support::findProgram("unshare").empty()) GTEST_SKIP() << "unshare is not installed";
  if (std::string(KT_CLIENT_PATH).rfind("/tmp/", 0) == 0) GTEST_SKIP() << "the program is under /tmp";
  if (std::system("unshare --mount --propagation private -- mount -t tmpfs tmpfs /tmp >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "no mount namespace of its own can be made here";
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  ASSERT_EQ(getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found), 0);
  ASSERT_NE(found, nullptr);
  const std::string passwordHome = found->pw_dir;
  if (passwordHome.empty() || passwordHome == "/" || !fs::is_directory(passwordHome))
    GTEST_SKIP() << "no home folder in the password database to stand in for";

  const fs::path home(homePath());
  fs::create_directories(home / "password-home");
  fs::permissions(home / "password-home", fs::perms(0700));
  write(home / "planted.plist", kPlanted);
  const std::string script = R"sh(
    set -e
    standIn=$1 passwordHome=$2 planted=$(cat "$3")
    shift 3
    mount --bind "$standIn" "$passwordHome"
    mount -t tmpfs -o mode=1777 tmpfs /tmp
    mkdir -p /tmp/t /tmp/.config/ktv-room-client
    chmod 0700 /tmp/t
    printf '%s\n' "$planted" > /tmp/.config/ktv-room-client/defaults.plist
    chown -R 65534:65534 /tmp/.config
    chmod 0755 /tmp/.config /tmp/.config/ktv-room-client
    set +e
    TMPDIR=/tmp/t "$@"
    echo "status $?"
    cd /tmp && find . -path ./t -prune -o -print | sort
  )sh";
  Launch launch = withEnv({"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "TMPDIR"});
  launch.wrapper = {"unshare", "--mount", "--propagation", "private", "--", "sh", "-c", script, "sh",
                    (home / "password-home").string(), passwordHome, (home / "planted.plist").string()};
  const Outcome run = runClientWith(launch);
  ASSERT_NE(run.out.find("status "), std::string::npos) << run.out << run.err;
  EXPECT_EQ(run.err.find(kPlantedRead), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("started:"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(", settings " + passwordHome + "/.config/ktv-room-client\n"), std::string::npos) << run.err;
  // Under /tmp only what was planted; the program's folders were made in the password home.
  EXPECT_EQ(run.out.substr(run.out.find('\n') + 1),
            ".\n./.config\n./.config/ktv-room-client\n./.config/ktv-room-client/defaults.plist\n")
      << run.out;
  for (const char* folder : {".config/ktv-room-client", ".local/share/ktv-room-client", ".cache/ktv-room-client"}) {
    EXPECT_TRUE(fs::is_directory(home / "password-home" / folder)) << folder;
  }
}

}  // namespace
