#pragma once

#include <iosfwd>
#include <optional>
#include <set>
#include <string>

namespace core {
class Bundle;
}

namespace kt {

// The program's command line, read before anything starts. "-Key value" pairs are settings for
// this run (core::UserDefaults::setArguments reads them, and the value may be anything, even
// "--help"); "--help" (or "-h") and "--version" answer and end the program; anything else (a word
// without a dash, "--other", a setting the program does not have, a "-Key" with no value after it,
// "-Key=value", a value that is not of its setting's kind) is a mistake, ended with status 2 rather
// than ignored.
class ProgramArguments {
 public:
  enum class Request { Run, Help, Version, Mistake };

  // The first of --help, --version or a mistake decides; otherwise Run. Setting keys are checked
  // against settingKeys() of the program's resources, and the values of wholeNumberKeys() must be
  // whole numbers, those of the ports among them (Server_Port, webService_Port) from 1 to 65535;
  // when the form cannot be read, any key and value is taken (the start checks end the program for
  // its missing resources).
  ProgramArguments(int argc, const char* const* argv);
  // The same with the setting keys given (nullopt takes any key), and the keys whose values must
  // be whole numbers.
  ProgramArguments(int argc, const char* const* argv, const std::optional<std::set<std::string>>& settingKeys,
                   const std::set<std::string>& wholeNumberKeys = {});

  // The keys a "-Key value" argument may set: those of the settings form (Settings.bundle/Root.plist
  // in the resources) and the settings read by the display ("Display_Wait", "Draw_Scale"); nullopt
  // when the form cannot be read.
  static std::optional<std::set<std::string>> settingKeys(const core::Bundle& resources);
  // The keys of the form whose field takes digits alone (KeyboardType NumberPad: the ports, the
  // video state), which the program reads as whole numbers; empty when the form cannot be read.
  static std::set<std::string> wholeNumberKeys(const core::Bundle& resources);

  Request request() const { return m_request; }
  // What is wrong, for the user, when request() is Mistake.
  const std::string& mistake() const { return m_mistake; }

  // What --help prints: what the program is, its settings arguments and the environment it reads.
  static std::string helpText(const std::string& version);
  // What --version prints: "ktv_client <version>".
  static std::string versionText(const std::string& version);

  // Help and version on `out` (status 0, or WriteFailedStatus with a line on `err` when `out`
  // fails), a mistake on `err` in one line with a pointer to --help (status 2); nullopt when the
  // program should run.
  std::optional<int> answer(const std::string& version, std::ostream& out, std::ostream& err) const;
  // The same on standard output and standard error; standard output is flushed and closed, so a
  // write that fails (a full disk, a closed pipe) is a failure, not status 0.
  std::optional<int> answer(const std::string& version) const;

  static constexpr const char* ProgramName = "ktv_client";
  static constexpr int MistakeStatus = 2;
  static constexpr int WriteFailedStatus = 1;

 private:
  Request m_request = Request::Run;
  std::string m_mistake;
};

}  // namespace kt
