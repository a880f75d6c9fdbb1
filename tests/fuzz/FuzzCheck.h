#pragma once

// What every fuzz target shares: its entry point and a check that holds in every build type
// (assert is compiled out of release builds), so that a broken invariant stops the run.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

#define KT_FUZZ_CHECK(condition)                                                              \
  do {                                                                                        \
    if (!(condition)) {                                                                       \
      std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                           \
    }                                                                                         \
  } while (false)

namespace fuzz {

inline std::string_view bytes(const uint8_t* data, size_t size) {
  return std::string_view(reinterpret_cast<const char*>(data), size);
}

}  // namespace fuzz
