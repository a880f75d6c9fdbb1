#pragma once

#include <optional>
#include <string>
#include <string_view>

// The MIME type of encoded image bytes, told by their first byte.
namespace kt::ImageContentType {

// "image/jpeg", "image/png", "image/gif", "image/tiff" or "image/webp"; nothing for empty data
// or an unknown first byte (RIFF data counts as WebP only when its first 12 bytes read
// "RIFF....WEBP").
std::optional<std::string> ic_contentTypeForImageData(std::string_view data);
// The older name of the same.
std::optional<std::string> contentTypeForImageData(std::string_view data);

}  // namespace kt::ImageContentType
