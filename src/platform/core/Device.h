#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

// Facts about the device the program runs on.
namespace core {

class Device {
 public:
  // The vendor identifier: 36 upper-case hexadecimal characters in groups 8-4-4-4-12 joined by
  // "-". Stable for one machine and this program: derived from the machine id
  // (/etc/machine-id, then /var/lib/dbus/machine-id, then the host name) and the application name.
  static std::string vendorIdentifier();
  // Tests: simulate a reinstall with a new identifier; nullopt returns to the derived one.
  static void setVendorIdentifierForTesting(std::optional<std::string> id);

  // The operating-system version text: "17.0" unless KT_SYSTEM_VERSION is set in the
  // environment or setSystemVersion() was called (which wins over both).
  static std::string systemVersion();
  // The device's model name, as the system reports it in its User-Agent.
  static std::string model() { return "Tablet"; }
  static void setSystemVersion(std::string version);
  // Tests: forget a version set with setSystemVersion().
  static void resetSystemVersionForTesting();

  // The link-level (MAC) address of a network interface. On failure nullopt and *error (when
  // given) is one of: "if_nametoindex failure" (no such interface), "sysctl mgmtInfoBase failure"
  // (the address cannot be read), "buffer allocation failure" (no socket for the query),
  // "sysctl msgBuffer failure" (the address has not six bytes).
  static std::optional<std::array<uint8_t, 6>> hardwareAddress(const std::string& interfaceName,
                                                               std::string* error);
};

}  // namespace core
