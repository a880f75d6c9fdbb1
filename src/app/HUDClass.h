#pragma once

#include <string>

namespace kt {

// The blocking progress overlay of the song screens, on the shared AOProgressHUD in the system's
// own look: a black 40 % box with white text and spinner, over a clear mask that swallows touches.
// The look is stored on the shared overlay and stays for every later show, whoever makes it.
class HUDClass {
 public:
  // The spinner without text.
  static void showHud();
  // The spinner with the status under it.
  static void showAOHudWithStatus(const std::string& status);
  static void dismissHud();
  // The error image with the status; it closes by itself.
  static void dismissHudWithErrorStatus(const std::string& status);

 private:
  static void applyStyle();
};

}  // namespace kt
