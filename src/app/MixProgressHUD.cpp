#include "app/MixProgressHUD.h"

#include "platform/core/Error.h"
#include "platform/core/Queue.h"
#include "platform/net/URLError.h"
#include "widgets/feedback/AOProgressHUD.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace kt {

namespace {

// The delay as the main queue takes it: whole nanoseconds, the fraction dropped. Negative and
// not-a-number delays are none; a delay beyond the nanosecond range is the longest one there is.
double wholeNanoseconds(double delay) {
  if (!(delay > 0)) return 0;
  const double nanoseconds = delay * 1e9;
  if (nanoseconds >= static_cast<double>(std::numeric_limits<int64_t>::max())) {
    return static_cast<double>(std::numeric_limits<int64_t>::max()) / 1e9;
  }
  return static_cast<double>(static_cast<int64_t>(nanoseconds)) / 1e9;
}

}  // namespace

void MixProgressHUD::dismiss() { AOProgressHUD::dismiss(); }

void MixProgressHUD::show(const std::optional<std::string>& status) {
  AOProgressHUD::showWithStatus(status, AOProgressHUD::MaskTypeNone);
}

void MixProgressHUD::showSuccess(const std::optional<std::string>& status) {
  AOProgressHUD::showSuccessWithStatus(status);
}

void MixProgressHUD::showError(const std::optional<std::string>& status) { AOProgressHUD::showErrorWithStatus(status); }

void MixProgressHUD::showSuccess(const std::optional<std::string>& status, double delay) {
  core::Queue::main()->after(wholeNanoseconds(delay), [status] { showSuccess(status); });
}

void MixProgressHUD::showError(const std::optional<std::string>& status, double delay) {
  core::Queue::main()->after(wholeNanoseconds(delay), [status] { showError(status); });
}

void MixProgressHUD::showErrorWithError(const std::optional<core::Error>& error, double delay) {
  const int64_t code = error ? error->code() : 0;
  if (code == net::URLError::NotConnectedToInternet) {
    showError(std::string(NotConnectedText), delay);
  } else {
    showError(std::string(LoadFailedText), delay + 0.5);
  }
}

}  // namespace kt
