// Dependencies between the source folders point one way. This test reads every #include of
// src/ and fails on one that points sideways or upward, so the direction holds as the code grows.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using Folders = std::set<std::string>;

const Folders kPlatform = {"platform/core", "platform/security", "platform/net", "platform/gfx", "platform/video",
                           "platform/ui", "platform/display", "platform/media", "platform/gl"};

Folders operator+(Folders a, const Folders& b) {
  a.insert(b.begin(), b.end());
  return a;
}

// Each folder of src/ with the folders it may include besides itself. Bottom up: the platform
// layer (knowing nothing of the karaoke system); the bundled libraries over it; the application
// shell; the room-server link over the shell; the screens over everything.
const std::map<std::string, Folders>& allowed() {
  static const Folders libraries = {"db", "soap", "imagecache", "http", "widgets/feedback", "widgets/controls",
                                    "widgets/transitions", "widgets/gltransitions"};
  static const std::map<std::string, Folders> table = {
      {"platform/core", {}},
      {"platform/security", {"platform/core"}},
      {"platform/net", {"platform/core", "platform/security"}},
      {"platform/gfx", {"platform/core"}},
      {"platform/video", {"platform/core", "platform/gfx"}},
      {"platform/ui", {"platform/core", "platform/gfx", "platform/net", "platform/video"}},
      {"platform/display", {"platform/core", "platform/gfx", "platform/net", "platform/ui"}},
      {"platform/media", {"platform/core", "platform/gfx", "platform/ui"}},
      {"platform/gl", {"platform/core", "platform/gfx"}},
      {"db", kPlatform},
      {"soap", kPlatform},
      {"imagecache", kPlatform},
      {"http", kPlatform},
      {"widgets/feedback", kPlatform},
      {"widgets/controls", kPlatform + Folders{"imagecache"}},
      {"widgets/transitions", kPlatform},
      {"widgets/gltransitions", kPlatform},
      {"app", kPlatform + libraries},
      {"link/sockets", kPlatform},
      {"link", kPlatform + libraries + Folders{"app", "link/sockets"}},
      {"songs", kPlatform + libraries + Folders{"app", "link", "link/sockets"}},
      {"order", kPlatform + libraries + Folders{"app", "link", "link/sockets", "songs"}},
  };
  return table;
}

// The folder a path under src/ belongs to: the longest one named in the table ("" for files
// directly in src/, which is the program and may include anything).
std::string folderOf(const std::string& relative) {
  std::string best;
  for (const auto& [folder, _] : allowed()) {
    if (relative.rfind(folder + "/", 0) == 0 && folder.size() > best.size()) best = folder;
  }
  return best;
}

struct Include {
  std::string file;
  int line;
  std::string target;
};

std::vector<Include> quotedIncludes(const fs::path& root) {
  static const std::regex pattern(R"re(^\s*#\s*include\s*"([^"]+)")re");
  std::vector<Include> out;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const auto ext = entry.path().extension();
    if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp")) continue;
    std::ifstream in(entry.path());
    std::string text;
    int number = 0;
    while (std::getline(in, text)) {
      ++number;
      std::smatch m;
      if (std::regex_search(text, m, pattern))
        out.push_back({fs::relative(entry.path(), root).generic_string(), number, m[1]});
    }
  }
  return out;
}

TEST(IncludeDirectionTest, EveryIncludeOfTheSourcesPointsDownward) {
  const fs::path root = fs::path(KT_SOURCE_DIR) / "src";
  const auto includes = quotedIncludes(root);
  ASSERT_GT(includes.size(), 500u) << "the sources were not found under " << root;
  std::vector<std::string> faults;
  for (const auto& inc : includes) {
    const std::string from = folderOf(inc.file);
    if (from.empty() && inc.file.find('/') != std::string::npos) {
      faults.push_back(inc.file + ": a folder the direction table does not know; add it there");
      continue;
    }
    const std::string where = inc.file + ":" + std::to_string(inc.line) + " includes \"" + inc.target + "\"";
    if (inc.target.find("..") != std::string::npos) {
      faults.push_back(where + ": include from the root of src/, not relative to the file");
      continue;
    }
    const std::string to = folderOf(inc.target);
    if (to.empty()) {
      faults.push_back(where + ": not a header of a known folder of src/");
      continue;
    }
    if (from.empty() || to == from) continue;
    const auto& rights = allowed().at(from);
    if (!rights.count(to)) faults.push_back(where + ": " + from + " may not depend on " + to);
  }
  for (const auto& f : faults) ADD_FAILURE() << f;
}

TEST(IncludeDirectionTest, TheTableItselfHasNoCycle) {
  // A folder that may include another may not be included by it, directly or through others.
  std::map<std::string, Folders> reach;
  for (const auto& [folder, rights] : allowed()) reach[folder] = rights;
  for (bool grew = true; grew;) {
    grew = false;
    for (auto& [folder, set] : reach) {
      Folders more = set;
      for (const auto& dep : set) {
        auto it = reach.find(dep);
        if (it != reach.end()) more.insert(it->second.begin(), it->second.end());
      }
      if (more.size() != set.size()) {
        set = more;
        grew = true;
      }
    }
  }
  for (const auto& [folder, set] : reach) EXPECT_FALSE(set.count(folder)) << folder << " depends on itself";
}

}  // namespace
