#pragma once

#include <string>

// File locations of the program's state, following the XDG base directories.
// Each folder is created on first use; the application's own folder is "ktv-room-client".
//
// State is never kept where another user could have planted it: a base folder and the
// application's folder in it must belong to this user (or to root) and be writable by nobody else,
// else the folder is not used (see stateFolder()). A missing base folder is made for this user
// alone (mode 0700).
namespace core::paths {

std::string configDir();     // $XDG_CONFIG_HOME or ~/.config, then the application folder
std::string dataDir();       // $XDG_DATA_HOME or ~/.local/share, then the application folder
std::string cacheDir();      // $XDG_CACHE_HOME or ~/.cache, then the application folder
std::string documentsDir();  // "Documents" inside the data folder
std::string temporaryDir();  // $TMPDIR or /tmp, with a trailing "/"

// The home folder: $HOME when it is an absolute path, else this user's home in the password
// database (HOME is unset under some supervisors); empty when neither gives one.
std::string homeDir();

enum class StateKind { Config, Data, Cache };

struct StateFolder {
  enum class Status {
    Safe,         // there, this user's, writable by nobody else
    Unavailable,  // missing and cannot be made (a read-only or missing home): nothing is read
                  // from it, and what is written fails
    Unsafe,       // another user owns it or can write it, it is not a folder, or there is no
                  // home to put it in: not used at all
  };
  Status status = Status::Unsafe;
  std::string path;     // the application's folder
  std::string problem;  // what is wrong, for the user, unless Safe
};

// The application's folder of a kind, made where missing and checked. configDir() and the others
// return `path` unless the folder is unsafe; then they return a path under /dev/null, where nothing
// can be read or made, so nothing planted is ever read (the program ends at its start instead).
StateFolder stateFolder(StateKind kind);

// Creates a folder and its parents; true when it exists afterwards.
bool makeDirectories(const std::string& path);

// Writes a file atomically: a temporary file in the same folder, flushed, then renamed over the
// target, so a reader sees the old file or the new one, never half of one. `sync` false skips the
// flush to disk (for files whose loss in a crash costs nothing, such as cache entries).
bool writeFileAtomically(const std::string& path, const std::string& bytes, unsigned mode = 0644, bool sync = true);

// Reads a whole file; false when it cannot be read.
bool readFile(const std::string& path, std::string& bytes);

}  // namespace core::paths
