#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/gfx/Geometry.h"
#include "platform/media/MetadataObject.h"

namespace gfx {
class Image;
}

namespace media {

struct RecognizedCode {
  MetadataObjectType type;
  std::string text;
  bool operator==(const RecognizedCode&) const = default;
};

// Finds codes in a frame with zbar. One recognizer per thread (it keeps zbar's scanner).
class CodeRecognizer {
 public:
  CodeRecognizer();
  ~CodeRecognizer();
  CodeRecognizer(const CodeRecognizer&) = delete;
  CodeRecognizer& operator=(const CodeRecognizer&) = delete;

  // The codes of the given types inside `regionOfInterest` (fractions of the frame, clipped to
  // the unit square), each (type, text) once, in zbar's order. Unknown types are ignored.
  std::vector<RecognizedCode> recognize(const gfx::Image& frame, const std::vector<MetadataObjectType>& types,
                                        const gfx::Rect& regionOfInterest);

  // The four types this platform recognises.
  static const std::vector<MetadataObjectType>& supportedTypes();

 private:
  void configure(const std::vector<MetadataObjectType>& types);

  struct Scanner;
  std::unique_ptr<Scanner> m_scanner;
  std::vector<MetadataObjectType> m_configured;
  std::vector<unsigned char> m_gray;
};

}  // namespace media
