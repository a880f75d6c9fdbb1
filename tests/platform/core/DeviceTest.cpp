#include "platform/core/Device.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

using core::Device;

// 8-4-4-4-12 upper-case hexadecimal groups joined by "-".
bool hasIdentifierForm(const std::string& id) {
  if (id.size() != 36) return false;
  for (size_t i = 0; i < id.size(); ++i) {
    const char c = id[i];
    const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
  }
  return true;
}

TEST(Device, VendorIdentifierFormAndStability) {
  const std::string id = Device::vendorIdentifier();
  EXPECT_TRUE(hasIdentifierForm(id)) << id;
  EXPECT_EQ(Device::vendorIdentifier(), id);
}

TEST(Device, VendorIdentifierOverrideSimulatesReinstall) {
  const std::string original = Device::vendorIdentifier();
  Device::setVendorIdentifierForTesting("11111111-2222-3333-4444-555555555555");
  EXPECT_EQ(Device::vendorIdentifier(), "11111111-2222-3333-4444-555555555555");
  Device::setVendorIdentifierForTesting(std::nullopt);
  EXPECT_EQ(Device::vendorIdentifier(), original);
}

TEST(Device, SystemVersionDefaultEnvironmentAndSetting) {
  const char* saved = std::getenv("KT_SYSTEM_VERSION");
  const std::string savedValue = saved ? saved : "";
  Device::resetSystemVersionForTesting();

  ::unsetenv("KT_SYSTEM_VERSION");
  EXPECT_EQ(Device::systemVersion(), "17.0");
  ::setenv("KT_SYSTEM_VERSION", "16.4.1", 1);
  EXPECT_EQ(Device::systemVersion(), "16.4.1");
  Device::setSystemVersion("12.1");  // an explicit setting wins over the environment
  EXPECT_EQ(Device::systemVersion(), "12.1");
  Device::resetSystemVersionForTesting();
  EXPECT_EQ(Device::systemVersion(), "16.4.1");

  if (saved) {
    ::setenv("KT_SYSTEM_VERSION", savedValue.c_str(), 1);
  } else {
    ::unsetenv("KT_SYSTEM_VERSION");
  }
}

TEST(Device, HardwareAddressOfLoopback) {
  std::string error = "untouched";
  auto address = Device::hardwareAddress("lo", &error);
  ASSERT_TRUE(address.has_value()) << error;
  EXPECT_EQ(error, "untouched");
  EXPECT_EQ(address->size(), 6u);
}

TEST(Device, HardwareAddressErrors) {
  std::string error;
  EXPECT_FALSE(Device::hardwareAddress("no-such-if0", &error).has_value());
  EXPECT_EQ(error, "if_nametoindex failure");
  error.clear();
  EXPECT_FALSE(Device::hardwareAddress("", &error).has_value());
  EXPECT_EQ(error, "if_nametoindex failure");
  error.clear();
  EXPECT_FALSE(Device::hardwareAddress("a-name-much-too-long-for-an-interface", &error).has_value());
  EXPECT_EQ(error, "if_nametoindex failure");
  EXPECT_FALSE(Device::hardwareAddress("no-such-if0", nullptr).has_value());  // no error slot is fine
}

}  // namespace
