#pragma once

#include "platform/core/Value.h"

#include <cstdint>
#include <optional>
#include <string>

namespace net {
class URLSessionConfiguration;
}

namespace kt {

// The library's archives are dictionary values, one entry per setting under the setting's name.
// Archives of classes with subclasses also name their class, so that decoding gives back an
// object of the class that was archived.
inline constexpr const char* HCCoderClassKey = "$class";

// The class an archive names (nothing when it names none).
std::optional<std::string> archivedClassName(const core::Value& coder);

// Settings read back from an archive: nothing when the entry is absent or of the wrong type, so
// that the decoded object keeps its default.
std::optional<uint64_t> decodeUnsignedInteger(const core::Value& coder, const std::string& key);
std::optional<double> decodeDouble(const core::Value& coder, const std::string& key);
std::optional<bool> decodeBool(const core::Value& coder, const std::string& key);

// A session configuration's settings as an archive and back (its URL cache, an object of the
// running process, is not archived: a decoded configuration has none). A configuration with an
// identifier comes back as a background configuration with that identifier. Nothing for a value
// that is not a dictionary.
core::Value encodeSessionConfiguration(const net::URLSessionConfiguration& configuration);
std::optional<net::URLSessionConfiguration> decodeSessionConfiguration(const core::Value& coder);

}  // namespace kt
