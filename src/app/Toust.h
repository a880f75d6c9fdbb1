#pragma once

#include <string>

namespace kt {

// A brief confirmation over the key window: a half-white label with the message, gone 0.2 s
// later. Each call adds its own label and removes only that one; there is no queue.
class Toust {
 public:
  // Seconds from the call to the label's removal.
  static constexpr double Life = 0.2;

  static void showToustWithMessage(const std::string& message);
};

}  // namespace kt
