// The client program's own command line, in a child process: --help and --version answer and end
// it with status 0, an argument it does not know ends it with status 2 before anything starts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ClientRun.h"
#include "support/TempHome.h"

namespace {

using clientrun::Launch;
using clientrun::Outcome;
using clientrun::runClient;
using clientrun::runClientWith;

class ClientArgumentsTest : public support::TempHomeTest {};

TEST_F(ClientArgumentsTest, HelpAndVersionAnswerWithStatusZeroWithoutStarting) {
  const Outcome help = runClient({"--help"});
  EXPECT_EQ(help.status, 0) << help.err;
  EXPECT_EQ(help.out.rfind("ktv_client " KT_PROJECT_VERSION, 0), 0u) << help.out;
  EXPECT_NE(help.out.find("-Server_Ip ADDRESS"), std::string::npos) << help.out;
  EXPECT_NE(help.out.find("KT_FULLSCREEN=1"), std::string::npos) << help.out;
  EXPECT_EQ(help.err, "");

  const Outcome version = runClient({"--version"});
  EXPECT_EQ(version.status, 0) << version.err;
  // "ktv_client 1.0.0", with the commit after it where it was built from a repository.
  EXPECT_EQ(version.out.rfind("ktv_client " KT_PROJECT_VERSION, 0), 0u) << version.out;
  EXPECT_EQ(version.out.find('\n'), version.out.size() - 1) << version.out;
  EXPECT_EQ(version.err, "");
}

TEST_F(ClientArgumentsTest, AnArgumentItDoesNotKnowEndsItWithStatusTwoBeforeItStarts) {
  // Pointed at loopback, should it start all the same.
  const Outcome run = runClient({"-Server_Ip", "127.0.0.1", "--no-such-option"});
  EXPECT_EQ(run.status, 2) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("\"--no-such-option\""), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("ktv_client --help"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("started:"), std::string::npos) << run.err;
}

}  // namespace

// Should the program start all the same, it ends at once: a Wayland display named relative to a
// runtime folder that is not given, which no wait can mend.
const std::vector<std::string> kEndsAtOnceIfStarted{"KT_OFFSCREEN", "DISPLAY", "XDG_RUNTIME_DIR",
                                                    "WAYLAND_DISPLAY=kt-no-display"};

// A setting the program does not have would be kept for the run and read by nothing: "-server_ip"
// left the tablet on its default server without a word.
TEST_F(ClientArgumentsTest, ASettingItDoesNotHaveEndsItWithStatusTwoAndItsName) {
  const struct {
    std::vector<std::string> args;
    std::string line;
  } cases[] = {
      {{"-Server_Ip", "127.0.0.1", "-Bogus", "1"}, "ktv_client: unknown setting \"-Bogus\"; see 'ktv_client --help'\n"},
      {{"-Server_Ip", "127.0.0.1", "-server_ip", "10.0.0.5"},
       "ktv_client: unknown setting \"-server_ip\" (did you mean \"-Server_Ip\"?); see 'ktv_client --help'\n"},
      {{"-Server_Ip", "127.0.0.1", "-uid", "1"}, "ktv_client: unknown setting \"-uid\"; see 'ktv_client --help'\n"},
  };
  for (const auto& c : cases) {
    const Outcome run = runClientWith(Launch{c.args, kEndsAtOnceIfStarted});
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, c.line);
  }
  // The settings the display reads are settings too, though the form does not show them.
  const Outcome known = runClientWith(Launch{{"-Display_Wait", "0", "-Draw_Scale", "1", "-Server_Ip", "127.0.0.1"},
                                             kEndsAtOnceIfStarted});
  EXPECT_NE(known.status, 2) << known.err;
  EXPECT_NE(known.err.find("started:"), std::string::npos) << known.err;
}

// A port that is not a number was taken as port 0 without a word, and the guest was told only that
// the server could not be reached. The kinds come from the installed settings form.
TEST_F(ClientArgumentsTest, AValueNotOfItsSettingsKindEndsItWithStatusTwo) {
  const Outcome run = runClientWith(Launch{{"-Server_Ip", "127.0.0.1", "-Server_Port", "notaport"}, kEndsAtOnceIfStarted});
  EXPECT_EQ(run.status, 2) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err,
            "ktv_client: the setting \"-Server_Port\" takes a whole number, not \"notaport\"; see 'ktv_client --help'\n");
}

// A port past 65535 was cut to 16 bits: "-Server_Port 70000" connected to port 4464 while the log
// said 70000. The ports take 1 to 65535; anything else ends the program before it starts.
TEST_F(ClientArgumentsTest, APortOutsideOneTo65535EndsItWithStatusTwo) {
  auto said = [](const std::string& setting, const std::string& value, const std::string& takes) {
    return "ktv_client: the setting \"-" + setting + "\" takes " + takes + ", not \"" + value +
           "\"; see 'ktv_client --help'\n";
  };
  const std::string port = "a port from 1 to 65535";
  const struct {
    std::vector<std::string> args;
    std::string line;
  } cases[] = {
      {{"-Server_Ip", "127.0.0.1", "-Server_Port", "70000"}, said("Server_Port", "70000", port)},
      {{"-Server_Ip", "127.0.0.1", "-Server_Port", "65536"}, said("Server_Port", "65536", port)},
      {{"-Server_Ip", "127.0.0.1", "-Server_Port", "0"}, said("Server_Port", "0", port)},
      {{"-Server_Ip", "127.0.0.1", "-Server_Port", "-1"}, said("Server_Port", "-1", "a whole number")},
      {{"-Server_Ip", "127.0.0.1", "-webService_Port", "70000"}, said("webService_Port", "70000", port)},
  };
  for (const auto& c : cases) {
    const Outcome run = runClientWith(Launch{c.args, kEndsAtOnceIfStarted});
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, c.line);
  }
  // The top of the range is a port.
  const Outcome top = runClientWith(
      Launch{{"-Server_Ip", "127.0.0.1", "-Server_Port", "65535", "-webService_Port", "65535"}, kEndsAtOnceIfStarted});
  EXPECT_NE(top.status, 2) << top.err;
  EXPECT_NE(top.err.find("started:"), std::string::npos) << top.err;
}

TEST_F(ClientArgumentsTest, DashHIsHelp) {
  const Outcome h = runClient({"-h"});
  EXPECT_EQ(h.status, 0) << h.err;
  EXPECT_EQ(h.out, runClient({"--help"}).out);
  EXPECT_NE(h.out.find("Exit status:"), std::string::npos) << h.out;
  EXPECT_EQ(h.err, "");
}

// As the standard tools do: an answer that did not reach its file is a failure, said on standard
// error, not status 0.
TEST_F(ClientArgumentsTest, AnAnswerThatCannotBeWrittenEndsWithStatusOne) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  for (const char* request : {"--version", "--help", "-h"}) {
    Launch launch{{request}};
    launch.stdoutPath = "/dev/full";
    const Outcome run = runClientWith(launch);
    EXPECT_EQ(run.status, 1) << request << ": " << run.err;
    EXPECT_EQ(run.err, "ktv_client: write error: No space left on device\n") << request;
  }
}
