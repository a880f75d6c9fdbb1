#include "app/ProgramArguments.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <streambuf>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/core/Bundle.h"
#include "platform/core/PropertyList.h"

namespace kt {
namespace {

// The setting keys of the source tree's settings form.
const std::optional<std::set<std::string>>& formKeys() {
  static const std::optional<std::set<std::string>> keys =
      ProgramArguments::settingKeys(core::Bundle(std::string(KT_SOURCE_DIR) + "/resources"));
  return keys;
}

// The keys of the source tree's form whose values are whole numbers.
const std::set<std::string>& formWholeNumberKeys() {
  static const std::set<std::string> keys =
      ProgramArguments::wholeNumberKeys(core::Bundle(std::string(KT_SOURCE_DIR) + "/resources"));
  return keys;
}

struct Answer {
  std::optional<int> status;
  std::string out, err;
};

Answer answerTo(std::vector<std::string> args) {
  args.insert(args.begin(), "/usr/bin/ktv_client");
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  argv.push_back(nullptr);
  std::ostringstream out, err;
  Answer a;
  a.status = ProgramArguments(static_cast<int>(args.size()), argv.data(), formKeys(), formWholeNumberKeys())
                 .answer("9.8.7+test", out, err);
  a.out = out.str();
  a.err = err.str();
  return a;
}

TEST(ProgramArgumentsTest, SettingsPairsRunTheProgramSilently) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {},
           {"-Server_Ip", "127.0.0.1", "-Server_Port", "9100", "-Display_Wait", "0"},
           // A value is a value whatever it looks like, as the settings read it.
           {"-Server_Ip", "--help"},
           {"-VedioName", "--version"},
           {"-Display_Wait", "-1"},
           {"-Server_Ip", ""},
       }) {
    const Answer a = answerTo(args);
    EXPECT_FALSE(a.status) << ::testing::PrintToString(args);
    EXPECT_EQ(a.out + a.err, "") << ::testing::PrintToString(args);
  }
}

TEST(ProgramArgumentsTest, HelpAndVersionAnswerOnStandardOutputWithStatusZero) {
  Answer help = answerTo({"-Server_Ip", "127.0.0.1", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out, ProgramArguments::helpText("9.8.7+test"));
  EXPECT_EQ(help.out.rfind("ktv_client 9.8.7+test - ", 0), 0u) << help.out;
  EXPECT_EQ(help.err, "");

  Answer version = answerTo({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "ktv_client 9.8.7+test\n");
  EXPECT_EQ(version.err, "");
}

// Anything outside "-Key value" is refused with status 2, the argument named and --help pointed
// at, never ignored.
TEST(ProgramArgumentsTest, AnArgumentItDoesNotKnowIsAMistakeNamedOnStandardError) {
  const struct {
    std::vector<std::string> args;
    std::string named;
  } cases[] = {
      {{"room"}, "\"room\""},
      {{"-Server_Ip", "127.0.0.1", "extra"}, "\"extra\""},
      {{"--verbose"}, "\"--verbose\""},
      {{"--"}, "\"--\""},
      {{"-"}, "\"-\""},
      {{""}, "\"\""},
      {{"-Display_Wait"}, "\"-Display_Wait\" needs a value"},
      {{"-Server_Port", "9100", "-Server_Ip"}, "\"-Server_Ip\" needs a value"},
      {{"-Server_Ip=127.0.0.1", "-Server_Port", "1"}, "\"-Server_Ip=127.0.0.1\""},
      // The first that decides wins: a mistake before --help is still a mistake.
      {{"--bogus", "--help"}, "\"--bogus\""},
  };
  for (const auto& c : cases) {
    const Answer a = answerTo(c.args);
    EXPECT_EQ(a.status, ProgramArguments::MistakeStatus) << ::testing::PrintToString(c.args);
    EXPECT_EQ(a.out, "") << ::testing::PrintToString(c.args);
    EXPECT_EQ(a.err.rfind("ktv_client: ", 0), 0u) << a.err;
    EXPECT_NE(a.err.find(c.named), std::string::npos) << a.err;
    EXPECT_NE(a.err.find("; see 'ktv_client --help'\n"), std::string::npos) << a.err;
    EXPECT_EQ(a.err.find('\n'), a.err.size() - 1) << "one line: " << a.err;
  }
  EXPECT_EQ(answerTo({"--version", "--bogus"}).status, 0);
}

// A key that is not a setting of the program would be kept for the run and read by nothing.
TEST(ProgramArgumentsTest, ASettingThatIsNotInTheFormIsAMistakeWithTheKeyItMayMean) {
  const struct {
    std::vector<std::string> args;
    std::string line;
  } cases[] = {
      {{"-Bogus", "1"}, "ktv_client: unknown setting \"-Bogus\"; see 'ktv_client --help'\n"},
      {{"-Server_Ip", "127.0.0.1", "-server_ip", "10.0.0.5"},
       "ktv_client: unknown setting \"-server_ip\" (did you mean \"-Server_Ip\"?); see 'ktv_client --help'\n"},
      {{"-DRAW_SCALE", "1"}, "ktv_client: unknown setting \"-DRAW_SCALE\" (did you mean \"-Draw_Scale\"?); see 'ktv_client --help'\n"},
      // Unknown before it lacks a value: the name is what is wrong.
      {{"-Bogus"}, "ktv_client: unknown setting \"-Bogus\"; see 'ktv_client --help'\n"},
      // The mistake before --help decides, as for any other.
      {{"-Bogus", "1", "--help"}, "ktv_client: unknown setting \"-Bogus\"; see 'ktv_client --help'\n"},
  };
  for (const auto& c : cases) {
    const Answer a = answerTo(c.args);
    EXPECT_EQ(a.status, ProgramArguments::MistakeStatus) << ::testing::PrintToString(c.args);
    EXPECT_EQ(a.out, "");
    EXPECT_EQ(a.err, c.line);
  }
  // Every key of the form and the two the display reads are taken.
  ASSERT_TRUE(formKeys());
  for (const std::string& key : *formKeys()) EXPECT_FALSE(answerTo({"-" + key, "1"}).status) << key;
  EXPECT_TRUE(formKeys()->count("Display_Wait") && formKeys()->count("Draw_Scale") && formKeys()->count("Server_Ip"));
  EXPECT_FALSE(formKeys()->count("uid"));
}

// A value the program reads as a number that is not one was taken as 0 without a word (a port of
// 0, and a guest told only that the server cannot be reached): the form's number fields take
// digits alone, and anything else is a mistake with the setting and the value named.
TEST(ProgramArgumentsTest, AValueThatIsNotOfItsSettingsKindIsAMistake) {
  EXPECT_EQ(formWholeNumberKeys(), (std::set<std::string>{"Server_Port", "webService_Port", "vedio_State"}));
  for (const char* value : {"notaport", "", "9100x", " 9100", "9100 ", "-1", "+80", "0x50", "1e3", "80.0", "2147483648",
                            "99999999999999999999"}) {
    const Answer a = answerTo({"-Server_Ip", "127.0.0.1", "-Server_Port", value});
    EXPECT_EQ(a.status, ProgramArguments::MistakeStatus) << value;
    EXPECT_EQ(a.out, "");
    EXPECT_EQ(a.err, "ktv_client: the setting \"-Server_Port\" takes a whole number, not \"" + std::string(value) +
                         "\"; see 'ktv_client --help'\n");
  }
  EXPECT_EQ(answerTo({"-webService_Port", "http"}).status, ProgramArguments::MistakeStatus);
  EXPECT_EQ(answerTo({"-vedio_State", "on"}).status, ProgramArguments::MistakeStatus);
  for (const char* value : {"9100", "08080", "000000000000009100"}) {
    EXPECT_FALSE(answerTo({"-Server_Port", value, "-webService_Port", value, "-vedio_State", value}).status) << value;
  }
  for (const char* value : {"0", "2147483647"}) EXPECT_FALSE(answerTo({"-vedio_State", value}).status) << value;
  // Text settings take any text; the display's settings say their own faults as they read them.
  EXPECT_FALSE(answerTo({"-Server_Ip", "notanaddress", "-VedioName", "9100", "-Display_Wait", "soon"}).status);
}

// A port past 65535 was cut to 16 bits on the way to the socket (70000 reached 4464, 65536 port 0)
// while the log named the one given, and port 0 names no server: the ports take 1 to 65535 alone.
TEST(ProgramArgumentsTest, APortOutsideOneTo65535IsAMistake) {
  for (const char* key : {"-Server_Port", "-webService_Port"}) {
    for (const char* value : {"0", "65536", "70000", "2147483647", "00000"}) {
      const Answer a = answerTo({"-Server_Ip", "127.0.0.1", key, value});
      EXPECT_EQ(a.status, ProgramArguments::MistakeStatus) << key << " " << value;
      EXPECT_EQ(a.out, "");
      EXPECT_EQ(a.err, "ktv_client: the setting \"" + std::string(key) + "\" takes a port from 1 to 65535, not \"" +
                           value + "\"; see 'ktv_client --help'\n");
    }
    for (const char* value : {"1", "65535", "065535"}) {
      EXPECT_FALSE(answerTo({key, value}).status) << key << " " << value;
    }
  }
}

// Without the settings form (resources missing, which the start checks end the program for) the
// keys cannot be known, and none is refused for it.
TEST(ProgramArgumentsTest, WithoutTheFormAnyKeyIsTaken) {
  EXPECT_FALSE(ProgramArguments::settingKeys(core::Bundle("/nonexistent")));
  const char* argv[] = {"ktv_client", "-Bogus", "1", nullptr};
  EXPECT_EQ(ProgramArguments(3, argv, std::nullopt).request(), ProgramArguments::Request::Run);
  EXPECT_EQ(ProgramArguments(3, argv, std::set<std::string>{"Server_Ip"}).request(), ProgramArguments::Request::Mistake);
}

TEST(ProgramArgumentsTest, DashHIsHelp) {
  const Answer h = answerTo({"-Server_Ip", "127.0.0.1", "-h"});
  EXPECT_EQ(h.status, 0);
  EXPECT_EQ(h.out, ProgramArguments::helpText("9.8.7+test"));
  EXPECT_EQ(h.err, "");
  // As the value of a setting it is a value.
  EXPECT_FALSE(answerTo({"-VedioName", "-h"}).status);
}

// An answer that does not reach its file ends with status 1 and says so, as the standard tools do.
TEST(ProgramArgumentsTest, AnAnswerThatCannotBeWrittenIsAFailure) {
  struct Full : std::streambuf {
    int overflow(int) override { return traits_type::eof(); }
  } full;
  for (const char* request : {"--help", "--version"}) {
    std::ostream out(&full);
    std::ostringstream err;
    const char* argv[] = {"ktv_client", request, nullptr};
    EXPECT_EQ(ProgramArguments(2, argv, formKeys()).answer("1", out, err), ProgramArguments::WriteFailedStatus);
    EXPECT_EQ(err.str().rfind("ktv_client: write error", 0), 0u) << err.str();
    EXPECT_EQ(err.str().find('\n'), err.str().size() - 1) << err.str();
  }
}

// A supervisor's unit and a technician read the statuses here.
TEST(ProgramArgumentsTest, HelpSaysEveryExitStatus) {
  const std::string help = ProgramArguments::helpText("1");
  ASSERT_NE(help.find("\nExit status:\n"), std::string::npos) << help;
  const std::string statuses = help.substr(help.find("\nExit status:\n"));
  for (const char* status : {"\n  0   ", "\n  1   ", "\n  2   ", "\n  78  "}) {
    EXPECT_NE(statuses.find(status), std::string::npos) << status;
  }
  EXPECT_NE(help.find("--help | -h | --version"), std::string::npos);
}

// The help keeps up with the program: every key of the settings form and every KT_ variable the
// sources read is listed, so a new one cannot be left out unnoticed.
TEST(ProgramArgumentsTest, HelpListsEverySettingOfTheFormAndEveryVariableTheSourcesRead) {
  namespace fs = std::filesystem;
  const std::string help = ProgramArguments::helpText("1");
  const fs::path source(KT_SOURCE_DIR);

  auto root = core::PropertyList::readFile((source / "resources/Settings.bundle/Root.plist").string());
  ASSERT_TRUE(root);
  std::set<std::string> keys{"Display_Wait"};  // read by the display, not shown in the form
  const core::Value::Array* items = (*root)["PreferenceSpecifiers"].asArray();
  ASSERT_TRUE(items);
  for (const core::Value& item : *items) {
    if (const std::string* key = item["Key"].asString()) keys.insert(*key);
  }
  EXPECT_GE(keys.size(), 7u);
  for (const std::string& key : keys) EXPECT_NE(help.find("\n  -" + key + " "), std::string::npos) << key;

  // The operating-system version the requests report stands in for a device fact: no user sets it;
  // the first screen's hold is for the signal tests alone.
  const std::set<std::string> unlisted{"KT_SYSTEM_VERSION", "KT_TEST_LAUNCH_HOLD"};
  const std::regex read(R"re(getenv\("(KT_[A-Z0-9_]+)"\))re");
  std::set<std::string> variables;
  for (const auto& entry : fs::recursive_directory_iterator(source / "src")) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path());
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (std::sregex_iterator it(text.begin(), text.end(), read), end; it != end; ++it) variables.insert((*it)[1]);
  }
  EXPECT_GE(variables.size(), 8u);
  for (const std::string& name : variables) {
    if (!unlisted.count(name)) {
      EXPECT_NE(help.find("\n  " + name + "="), std::string::npos) << name;
    }
  }
}

}  // namespace
}  // namespace kt
