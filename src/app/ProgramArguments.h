#pragma once

#include <iosfwd>
#include <optional>
#include <string>

namespace kt {

// The program's command line, read before anything starts. "-Key value" pairs are settings for
// this run (core::UserDefaults::setArguments reads them, and the value may be anything, even
// "--help"); "--help" and "--version" answer and end the program; anything else (a word without
// a dash, "--other", a "-Key" with no value after it, "-Key=value") is a mistake, ended with
// status 2 rather than ignored.
class ProgramArguments {
 public:
  enum class Request { Run, Help, Version, Mistake };

  // The first of --help, --version or a mistake decides; otherwise Run.
  ProgramArguments(int argc, const char* const* argv);

  Request request() const { return m_request; }
  // What is wrong, for the user, when request() is Mistake.
  const std::string& mistake() const { return m_mistake; }

  // What --help prints: what the program is, its settings arguments and the environment it reads.
  static std::string helpText(const std::string& version);
  // What --version prints: "ktv_client <version>".
  static std::string versionText(const std::string& version);

  // Help and version on `out` (status 0), a mistake on `err` in one line with a pointer to --help
  // (status 2); nullopt when the program should run.
  std::optional<int> answer(const std::string& version, std::ostream& out, std::ostream& err) const;
  // The same on standard output and standard error.
  std::optional<int> answer(const std::string& version) const;

  static constexpr const char* ProgramName = "ktv_client";
  static constexpr int MistakeStatus = 2;

 private:
  Request m_request = Request::Run;
  std::string m_mistake;
};

}  // namespace kt
