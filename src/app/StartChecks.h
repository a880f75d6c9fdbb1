#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kt {

// What is checked once the arguments are read and before anything starts, so that the program does
// not run on without what it needs, nor on state another user could have planted:
// - the resources (artwork, settings form, strings) are there; where they are missing, the folders
//   they were looked for in are named;
// - the folders of the settings, keychain and cache are this user's and writable by nobody else
//   (core::paths::stateFolder). One that cannot be made (a read-only or missing home) does not
//   stop the program: the settings say so when they cannot be written. One that is unsafe ends it
//   with the status of a set-up that no wait mends (78), so that a supervisor does not start it
//   again every few seconds for ever; missing resources end it with 1 (an upgrade in progress
//   mends them).
class StartChecks {
 public:
  // What stops the program, one sentence each; empty when it may start.
  static std::vector<std::string> problems();
  // Says each problem on standard error (and in the log) and gives the status to end with
  // (UnsafeFolderStatus when a state folder is unsafe, whatever else is wrong), or nullopt when the
  // program may start.
  static std::optional<int> run();

  static constexpr int FailedStatus = 1;
  static constexpr int UnsafeFolderStatus = 78;
};

}  // namespace kt
