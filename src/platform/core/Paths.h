#pragma once

#include <string>

// File locations of the program's state, following the XDG base directories.
// Each folder is created on first use; the application's own folder is "ktv-room-client".
namespace core::paths {

std::string configDir();     // $XDG_CONFIG_HOME or ~/.config, then the application folder
std::string dataDir();       // $XDG_DATA_HOME or ~/.local/share, then the application folder
std::string cacheDir();      // $XDG_CACHE_HOME or ~/.cache, then the application folder
std::string documentsDir();  // "Documents" inside the data folder
std::string temporaryDir();  // $TMPDIR or /tmp, with a trailing "/"

// Creates a folder and its parents; true when it exists afterwards.
bool makeDirectories(const std::string& path);

// Writes a file atomically: a temporary file in the same folder, flushed, then renamed over the
// target, so a reader sees the old file or the new one, never half of one. `sync` false skips the
// flush to disk (for files whose loss in a crash costs nothing, such as cache entries).
bool writeFileAtomically(const std::string& path, const std::string& bytes, unsigned mode = 0644, bool sync = true);

// Reads a whole file; false when it cannot be read.
bool readFile(const std::string& path, std::string& bytes);

}  // namespace core::paths
