#include "app/StartChecks.h"

#include <cstdlib>
#include <filesystem>

#include "platform/core/Bundle.h"
#include "platform/core/Log.h"
#include "platform/core/Paths.h"
#include "platform/display/Display.h"

namespace kt {
namespace {

namespace fs = std::filesystem;

// What a folder of resources must hold: without them the program runs and draws a white screen.
const char* const kResources[] = {"Info.plist", "Settings.bundle/Root.plist", "images"};

// Why a folder does not hold the resources, or empty when it does.
std::string missingIn(const std::string& folder) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return "no such folder";
  std::string missing;
  for (const char* entry : kResources) {
    if (!fs::exists(fs::path(folder) / entry, ec)) missing += (missing.empty() ? "no " : ", ") + std::string(entry);
  }
  return missing;
}

std::string resourcesProblem() {
  const std::string used = core::Bundle::main().resourcePath();
  if (missingIn(used).empty()) return "";
  const bool fromVariable = [] {
    const char* v = std::getenv("KT_RESOURCES");
    return v && *v;
  }();
  std::string looked;
  for (const std::string& folder : core::Bundle::mainResourceFolders()) {
    looked += (looked.empty() ? "" : ", ") + folder + " (" + (fromVariable ? "KT_RESOURCES: " : "") + missingIn(folder) + ")";
  }
  return "The program's resources are missing: looked for them in " + looked +
         ". Install them with the program (share/ktv-client beside its bin folder), or set KT_RESOURCES to "
         "their folder.";
}

std::string folderProblem(core::paths::StateKind kind) {
  const core::paths::StateFolder folder = core::paths::stateFolder(kind);
  if (folder.status != core::paths::StateFolder::Status::Unsafe) return "";
  const char* what = "settings";
  const char* variable = "XDG_CONFIG_HOME";
  if (kind == core::paths::StateKind::Data) {
    what = "keychain";
    variable = "XDG_DATA_HOME";
  } else if (kind == core::paths::StateKind::Cache) {
    what = "cache";
    variable = "XDG_CACHE_HOME";
  }
  return std::string("No safe folder for the ") + what + ": " + folder.problem +
         ". Give it a folder of this user's own that nobody else can write (HOME, or " + variable + ").";
}

std::vector<std::string> folderProblems() {
  std::vector<std::string> found;
  for (core::paths::StateKind kind :
       {core::paths::StateKind::Config, core::paths::StateKind::Data, core::paths::StateKind::Cache}) {
    if (std::string problem = folderProblem(kind); !problem.empty()) found.push_back(problem);
  }
  return found;
}

}  // namespace

static_assert(StartChecks::UnsafeFolderStatus == display::ConfigurationErrorStatus,
              "an unsafe folder ends the program as a display set-up that no wait mends does");

std::vector<std::string> StartChecks::problems() {
  std::vector<std::string> found;
  if (std::string problem = resourcesProblem(); !problem.empty()) found.push_back(problem);
  for (std::string& problem : folderProblems()) found.push_back(std::move(problem));
  return found;
}

std::optional<int> StartChecks::run() {
  const std::string resources = resourcesProblem();
  const std::vector<std::string> folders = folderProblems();
  if (resources.empty() && folders.empty()) return std::nullopt;
  if (!resources.empty()) core::logNotice(resources + " Stopping.");
  for (const std::string& problem : folders) core::logNotice(problem + " Stopping.");
  return folders.empty() ? FailedStatus : UnsafeFolderStatus;
}

}  // namespace kt
