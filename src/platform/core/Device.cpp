#include "platform/core/Device.h"

#include <net/if.h>
#include <net/if_arp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/core/Md5.h"
#include "platform/core/Paths.h"

namespace core {
namespace {

constexpr const char* kApplicationName = "ktv-room-client";
constexpr const char* kDefaultSystemVersion = "17.0";

struct DeviceState {
  std::mutex mutex;
  std::optional<std::string> vendorOverride;
  std::optional<std::string> derivedVendor;
  std::optional<std::string> systemVersion;
};

DeviceState& state() {
  static DeviceState* s = new DeviceState;  // never destroyed: may be asked during exit
  return *s;
}

std::string trimmed(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ' || s.back() == '\t')) {
    s.pop_back();
  }
  size_t b = 0;
  while (b < s.size() && (s[b] == ' ' || s[b] == '\t')) ++b;
  return s.substr(b);
}

std::string machineIdentity() {
  for (const char* file : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
    std::string bytes;
    if (paths::readFile(file, bytes)) {
      bytes = trimmed(bytes);
      if (!bytes.empty()) return bytes;
    }
  }
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) == 0 && host[0]) return host;
  return "localhost";
}

std::string deriveVendorIdentifier() {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const auto digest = md5(machineIdentity() + "\n" + kApplicationName);
  std::string id;
  id.reserve(36);
  for (size_t i = 0; i < digest.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) id += '-';
    id += kHex[digest[i] >> 4];
    id += kHex[digest[i] & 0x0F];
  }
  return id;
}

void setError(std::string* error, const char* text) {
  if (error) *error = text;
}

// The kernel's address length for the interface, or -1 when it cannot be read.
int addressLength(const std::string& name) {
  std::string bytes;
  if (!paths::readFile("/sys/class/net/" + name + "/addr_len", bytes)) return -1;
  bytes = trimmed(bytes);
  if (bytes.empty()) return -1;
  char* end = nullptr;
  long n = std::strtol(bytes.c_str(), &end, 10);
  if (*end != '\0') return -1;
  return static_cast<int>(n);
}

}  // namespace

std::string Device::vendorIdentifier() {
  DeviceState& s = state();
  std::lock_guard lock(s.mutex);
  if (s.vendorOverride) return *s.vendorOverride;
  if (!s.derivedVendor) s.derivedVendor = deriveVendorIdentifier();
  return *s.derivedVendor;
}

void Device::setVendorIdentifierForTesting(std::optional<std::string> id) {
  DeviceState& s = state();
  std::lock_guard lock(s.mutex);
  s.vendorOverride = std::move(id);
}

std::string Device::systemVersion() {
  DeviceState& s = state();
  std::lock_guard lock(s.mutex);
  if (s.systemVersion) return *s.systemVersion;
  const char* env = std::getenv("KT_SYSTEM_VERSION");
  if (env && *env) return env;
  return kDefaultSystemVersion;
}

void Device::setSystemVersion(std::string version) {
  DeviceState& s = state();
  std::lock_guard lock(s.mutex);
  s.systemVersion = std::move(version);
}

void Device::resetSystemVersionForTesting() {
  DeviceState& s = state();
  std::lock_guard lock(s.mutex);
  s.systemVersion.reset();
}

std::optional<std::array<uint8_t, 6>> Device::hardwareAddress(const std::string& interfaceName,
                                                              std::string* error) {
  if (interfaceName.empty() || interfaceName.size() >= IFNAMSIZ ||
      interfaceName.find('/') != std::string::npos || ::if_nametoindex(interfaceName.c_str()) == 0) {
    setError(error, "if_nametoindex failure");
    return std::nullopt;
  }
  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    setError(error, "buffer allocation failure");
    return std::nullopt;
  }
  ifreq request{};
  std::memcpy(request.ifr_name, interfaceName.c_str(), interfaceName.size() + 1);
  const int rc = ::ioctl(fd, SIOCGIFHWADDR, &request);
  ::close(fd);
  if (rc != 0) {
    setError(error, "sysctl mgmtInfoBase failure");
    return std::nullopt;
  }
  int length = addressLength(interfaceName);
  if (length < 0) {
    // No sysfs: trust the hardware type for the common six-byte kinds.
    switch (request.ifr_hwaddr.sa_family) {
      case ARPHRD_ETHER:
      case ARPHRD_LOOPBACK:
      case ARPHRD_IEEE802:
      case ARPHRD_IEEE80211:
        length = 6;
        break;
      default:
        length = 0;
        break;
    }
  }
  if (length != 6) {
    setError(error, "sysctl msgBuffer failure");
    return std::nullopt;
  }
  std::array<uint8_t, 6> address{};
  std::memcpy(address.data(), request.ifr_hwaddr.sa_data, address.size());
  return address;
}

}  // namespace core
