#pragma once

#include <vector>

#include "platform/media/CodeRecognizer.h"

namespace media {

// Tells which codes of a stream of frames just came into view: a code is new when it was not in
// the previous frames; it stays known while it keeps appearing and is forgotten once it has been
// missing from `forgetAfterFrames` frames in a row.
class CodeTracker {
 public:
  explicit CodeTracker(int forgetAfterFrames) : m_forgetAfter(forgetAfterFrames) {}

  // The codes of one frame; answers those that are new, in the order given.
  std::vector<RecognizedCode> frame(const std::vector<RecognizedCode>& seen);
  void reset() { m_known.clear(); }

 private:
  struct Known {
    RecognizedCode code;
    int missing = 0;
  };
  int m_forgetAfter = 1;
  std::vector<Known> m_known;
};

}  // namespace media
