#pragma once

#include <optional>
#include <string>

namespace core {
class Error;
}

namespace kt {

// Shorthand for the shared overlay's result messages, in whatever look the overlay has at the
// time (the HUDClass look once a HUDClass show has run). Success and error overlays close by
// themselves. The delayed forms run on the main queue after the delay and cannot be cancelled.
class MixProgressHUD {
 public:
  // Shown when a request failed because the device has no network connection (code -1009).
  static constexpr const char* NotConnectedText = "哎呀,网速不给力呀!";
  // Shown for any other failed request, half a second later than asked.
  static constexpr const char* LoadFailedText = "加载数据失败!";

  static void dismiss();
  // The spinner with the status, letting touches through for this show only.
  static void show(const std::optional<std::string>& status);
  static void showSuccess(const std::optional<std::string>& status);
  static void showError(const std::optional<std::string>& status);
  // The same after `delay` seconds, in whole nanoseconds. A negative or not-a-number delay is
  // none; one beyond the nanosecond range is the longest there is.
  static void showSuccess(const std::optional<std::string>& status, double delay);
  static void showError(const std::optional<std::string>& status, double delay);
  // The error text for a failed request: NotConnectedText after `delay` for the code of a device
  // without a network connection (-1009, whatever the domain), else LoadFailedText after `delay` + 0.5 s (also when there is no error object).
  static void showErrorWithError(const std::optional<core::Error>& error, double delay = 0);
};

}  // namespace kt
