#include "platform/core/UserDefaults.h"

#include "platform/core/Log.h"
#include "platform/core/Paths.h"
#include "platform/core/PropertyList.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

namespace {

using core::UserDefaults;
using core::Value;

class UserDefaultsTest : public support::TempHomeTest {
 protected:
  std::string filePath() const { return core::paths::configDir() + "/defaults.plist"; }
  Value fileContents() const {
    auto v = core::PropertyList::readFile(filePath());
    return v ? *v : Value();
  }
};

TEST_F(UserDefaultsTest, RegisteredValuesAreDefaultsThatAreNeverWritten) {
  UserDefaults& d = UserDefaults::standard();
  d.registerDefaults(Value(Value::Dictionary{{"ServerIP", "192.168.1.10"}, {"Port", 8000}, {"Sound", true}}));
  d.registerDefaults(Value(Value::Dictionary{{"Port", 9000}}));  // merged over the first
  EXPECT_EQ(d.stringForKey("ServerIP"), "192.168.1.10");
  EXPECT_EQ(d.integerForKey("Port"), 9000);
  EXPECT_TRUE(d.boolForKey("Sound"));

  d.setString("RoomName", "A8");
  EXPECT_EQ(fileContents(), Value(Value::Dictionary{{"RoomName", "A8"}}));

  d.setInteger("Port", 7000);  // the persistent value hides the registered one
  EXPECT_EQ(d.integerForKey("Port"), 7000);
  d.removeObjectForKey("Port");
  EXPECT_EQ(d.integerForKey("Port"), 9000);
  EXPECT_FALSE(fileContents().contains("Port"));

  Value all = d.dictionaryRepresentation();
  EXPECT_EQ(all["RoomName"], Value("A8"));
  EXPECT_EQ(all["ServerIP"], Value("192.168.1.10"));
  EXPECT_EQ(all["Port"], Value(9000));
}

TEST_F(UserDefaultsTest, CommandLineArgumentsWinAndAreNeverWritten) {
  UserDefaults& d = UserDefaults::standard();
  d.registerDefaults(Value(Value::Dictionary{{"Server_Ip", "192.168.1.10"}, {"Server_Port", "9100"}}));
  d.setString("Server_Port", "9200");
  const char* argv[] = {"client", "-Server_Ip", "127.0.0.1", "--verbose", "-Server_Port", "4100", "-dangling"};
  UserDefaults::setArguments(7, argv);
  EXPECT_EQ(d.stringForKey("Server_Ip"), "127.0.0.1");
  EXPECT_EQ(d.integerForKey("Server_Port"), 4100);
  EXPECT_FALSE(d.objectForKey("-verbose").isString() || d.objectForKey("verbose").isString());
  EXPECT_TRUE(d.objectForKey("dangling").isNull());
  EXPECT_EQ(d.dictionaryRepresentation()["Server_Ip"], Value("127.0.0.1"));
  d.setString("Other", "x");
  EXPECT_EQ(fileContents(), Value(Value::Dictionary{{"Other", "x"}, {"Server_Port", "9200"}}));

  UserDefaults::setArguments(0, nullptr);
  EXPECT_EQ(d.stringForKey("Server_Ip"), "192.168.1.10");
  EXPECT_EQ(d.integerForKey("Server_Port"), 9200);
}

TEST_F(UserDefaultsTest, TypedReadsFollowTheValueRules) {
  UserDefaults& d = UserDefaults::standard();
  d.setString("count", " 12abc");
  d.setString("ratio", "2.5x");
  d.setString("flag", "YES");
  d.setDouble("real", 3.0);
  d.setBool("on", true);
  d.setObject("list", Value(Value::Array{1}));
  EXPECT_EQ(d.integerForKey("count"), 12);
  EXPECT_EQ(d.doubleForKey("ratio"), 2.5);
  EXPECT_TRUE(d.boolForKey("flag"));
  EXPECT_EQ(d.stringForKey("real"), "3");
  EXPECT_EQ(d.stringForKey("on"), "1");
  EXPECT_EQ(d.stringForKey("list"), std::nullopt);
  EXPECT_EQ(d.stringForKey("absent"), std::nullopt);
  EXPECT_EQ(d.integerForKey("absent"), 0);
  EXPECT_FALSE(d.boolForKey("absent"));
  EXPECT_TRUE(d.objectForKey("absent").isNull());
  EXPECT_TRUE(d.arrayForKey("list").isArray());
  EXPECT_TRUE(d.dictionaryForKey("list").isNull());

  // A value that holds null cannot be stored and changes nothing.
  d.setObject("list", Value(Value::Array{Value()}));
  EXPECT_EQ(d.objectForKey("list"), Value(Value::Array{1}));
}

TEST_F(UserDefaultsTest, PersistedValuesSurviveANewInstance) {
  UserDefaults& first = UserDefaults::standard();
  first.registerDefaults(Value(Value::Dictionary{{"Registered", 1}}));
  first.setObject("Saved", Value(Value::Dictionary{{"when", core::Date(1796626800)}, {"blob", Value::data("\x01\x02")}}));
  EXPECT_TRUE(first.synchronize());

  UserDefaults::resetStandard();
  UserDefaults& second = UserDefaults::standard();
  EXPECT_NE(&first, &second);
  EXPECT_EQ(second.objectForKey("Saved")["when"], Value(core::Date(1796626800)));
  EXPECT_EQ(second.objectForKey("Saved")["blob"], Value::data("\x01\x02"));
  EXPECT_TRUE(second.objectForKey("Registered").isNull());

  UserDefaults other(filePath());  // a second object over the same file
  EXPECT_EQ(other.objectForKey("Saved"), second.objectForKey("Saved"));
}

TEST_F(UserDefaultsTest, ACorruptFileGivesDefaultsAndIsReplaced) {
  ASSERT_TRUE(core::paths::writeFileAtomically(filePath(), "<plist><dict><key>broken"));
  UserDefaults d(filePath());
  d.registerDefaults(Value(Value::Dictionary{{"Port", 8000}}));
  EXPECT_EQ(d.integerForKey("Port"), 8000);
  EXPECT_EQ(d.dictionaryRepresentation(), Value(Value::Dictionary{{"Port", 8000}}));
  d.setInteger("Port", 8001);
  EXPECT_EQ(fileContents(), Value(Value::Dictionary{{"Port", 8001}}));

  // A well-formed file whose top level is not a dictionary is no better.
  ASSERT_TRUE(core::PropertyList::writeFile(filePath(), Value(Value::Array{1})));
  UserDefaults e(filePath());
  EXPECT_EQ(e.dictionaryRepresentation(), Value(Value::Dictionary{}));
}

TEST_F(UserDefaultsTest, AValueTheFileCannotHoldIsRefusedAndLaterChangesAreKept) {
  UserDefaults& d = UserDefaults::standard();
  d.setString("Before", "kept");
  const std::vector<Value> unwritable = {
      Value(core::Date(253402300800)),  // 10000-01-01T00:00:00Z
      Value(core::Date(-62167219201)),  // one second before the year 0000
      Value(Value::Dictionary{{"when", core::Date(1e300)}}),
      Value(std::string("bad \xff utf-8")),
  };
  for (const Value& value : unwritable) {
    d.setObject("Bad", value);
    EXPECT_TRUE(d.objectForKey("Bad").isNull());
  }
  // The refused values left nothing pending that would make this write, or any later one, fail.
  d.setString("After", "kept too");
  EXPECT_TRUE(d.synchronize());
  EXPECT_EQ(fileContents(), Value(Value::Dictionary{{"After", "kept too"}, {"Before", "kept"}}));

  UserDefaults::resetStandard();
  UserDefaults& next = UserDefaults::standard();
  EXPECT_EQ(next.stringForKey("Before"), "kept");
  EXPECT_EQ(next.stringForKey("After"), "kept too");
  next.setObject("When", Value(core::Date(253402300799)));  // the last second there is room for
  UserDefaults reopened(filePath());
  EXPECT_EQ(reopened.objectForKey("When"), Value(core::Date(253402300799)));
}

TEST_F(UserDefaultsTest, AMissingFileGivesEmptySettingsAndAFolderIsMadeOnWrite) {
  const std::string path = homePath() + "/not/yet/there/settings.plist";
  UserDefaults d(path);
  EXPECT_TRUE(d.dictionaryRepresentation().isDictionary());
  EXPECT_EQ(d.dictionaryRepresentation().size(), 0u);
  EXPECT_TRUE(d.synchronize());  // nothing pending
  d.setBool("x", true);
  EXPECT_EQ(*core::PropertyList::readFile(path), Value(Value::Dictionary{{"x", true}}));
}

TEST_F(UserDefaultsTest, ConcurrentWritersDoNotLoseTheFile) {
  UserDefaults& d = UserDefaults::standard();
  constexpr int kThreads = 4, kKeys = 25;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&d, t] {
      for (int k = 0; k < kKeys; ++k) {
        d.setInteger("t" + std::to_string(t) + "k" + std::to_string(k), k);
        (void)d.integerForKey("t0k0");
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_TRUE(d.synchronize());
  Value file = fileContents();
  ASSERT_TRUE(file.isDictionary());
  EXPECT_EQ(file.size(), static_cast<size_t>(kThreads * kKeys));
  EXPECT_EQ(file["t3k24"], Value(24));
}

// Settings that cannot be written (a read-only or missing home) were logged at every change, five
// to seven times for one binding, and never said to whoever runs the program, who learnt it only
// when the binding was gone at the next start.
TEST_F(UserDefaultsTest, WritesThatFailAreSaidOnceAndOnStandardErrorOnce) {
  namespace fs = std::filesystem;
  const fs::path blocker = fs::path(homePath()) / "home";
  std::ofstream(blocker) << "a file where the folder should be";
  UserDefaults d((blocker / "defaults.plist").string());

  std::vector<std::string> lines;
  core::LogSink previous = core::setLogSink([&](const std::string& line) { lines.push_back(line); });
  const bool logToStderr = core::logToStderr();
  core::setLogToStderr(false);
  const std::string errPath = homePath() + "/stderr";
  std::fflush(stderr);
  const int savedErr = dup(2);
  const int errFile = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  dup2(errFile, 2);
  auto said = [&](const std::string& what) {
    size_t n = 0;
    for (const std::string& line : lines) n += line.find(what) != std::string::npos;
    return n;
  };

  for (const char* key : {"uid", "Server_Ip", "Server_Port", "webService_Port", "VedioIP", "VedioName"}) {
    d.setString(key, "1");
  }
  EXPECT_FALSE(d.synchronize());
  EXPECT_EQ(said("Settings cannot be written to " + (blocker / "defaults.plist").string()), 1u);
  EXPECT_EQ(d.stringForKey("VedioName"), "1");  // kept for the run

  // Writable again: the pending changes are written, and a later failure is said in the log again,
  // but not on standard error a second time.
  fs::remove(blocker);
  EXPECT_TRUE(d.synchronize());
  EXPECT_EQ(core::PropertyList::readFile((blocker / "defaults.plist").string())->size(), 6u);
  fs::remove_all(blocker);
  std::ofstream(blocker) << "again";
  d.setString("uid", "2");
  d.setString("uid", "3");
  EXPECT_EQ(said("Settings cannot be written to"), 2u);

  std::fflush(stderr);
  dup2(savedErr, 2);
  ::close(savedErr);
  ::close(errFile);
  core::setLogSink(previous);
  core::setLogToStderr(logToStderr);
  std::string err;
  ASSERT_TRUE(core::paths::readFile(errPath, err));
  EXPECT_NE(err.find("Settings cannot be written to "), std::string::npos) << err;
  EXPECT_EQ(err.find('\n'), err.size() - 1) << "one line: " << err;
}

TEST(UserDefaultsStandardTest, EachFreshHomeGetsFreshSettings) {
  {
    support::TempHome home;
    UserDefaults::standard().setString("Leftover", "yes");
    EXPECT_EQ(UserDefaults::standard().stringForKey("Leftover"), "yes");
  }
  support::TempHome home;
  EXPECT_EQ(UserDefaults::standard().stringForKey("Leftover"), std::nullopt);
}

}  // namespace
