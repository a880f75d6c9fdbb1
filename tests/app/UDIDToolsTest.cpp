#include "app/UDIDTools.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <vector>

#include "platform/core/Device.h"
#include "platform/core/Log.h"
#include "platform/core/Paths.h"
#include "platform/security/Keychain.h"
#include "support/TempHome.h"

namespace kt {
namespace {

class UDIDToolsTest : public support::TempHomeTest {
 protected:
  void SetUp() override {
    m_previousSink = core::setLogSink([this](const std::string& line) { m_log.push_back(line); });
    core::Device::setSystemVersion("17.0");
    core::Device::setVendorIdentifierForTesting("11111111-2222-3333-4444-555555555555");
  }
  void TearDown() override {
    core::setLogSink(m_previousSink);
    core::Device::setVendorIdentifierForTesting(std::nullopt);
    core::Device::setSystemVersion("17.0");
  }

  bool logged(const std::string& line) const {
    for (const auto& l : m_log) {
      if (l == line) return true;
    }
    return false;
  }

  std::vector<security::Item> storedItems() {
    security::Query all;
    all.match.itemClass = "genp";
    all.limitOne = false;
    std::vector<security::Item> items;
    security::Keychain::shared().copyMatching(all, &items);
    return items;
  }

  std::vector<std::string> m_log;
  core::LogSink m_previousSink;
};

TEST_F(UDIDToolsTest, FirstRunStoresTheVendorIdentifierAndLaterRunsReadIt) {
  auto first = UDIDTools::UDID();
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(*first, "11111111-2222-3333-4444-555555555555");
  EXPECT_TRUE(logged("KeyChain Item: UUID not found!!!"));
  EXPECT_TRUE(logged("Add KeyChain Item Success!!!"));

  auto items = storedItems();
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].data, *first);
  EXPECT_EQ(items[0].attributes.description, "UUID");
  EXPECT_EQ(items[0].attributes.generic, "UUID");
  EXPECT_EQ(items[0].attributes.account, "");
  EXPECT_EQ(items[0].attributes.label, "");
  ASSERT_TRUE(items[0].attributes.accessGroup.has_value());
  EXPECT_EQ(items[0].attributes.accessGroup->size(), 32u);

  // A reinstall brings a new vendor identifier; the stored one still wins.
  core::Device::setVendorIdentifierForTesting("AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE");
  EXPECT_EQ(UDIDTools::UDID(), first);
  EXPECT_EQ(storedItems().size(), 1u);
}

TEST_F(UDIDToolsTest, RealVendorIdentifierHasTheStandardForm) {
  core::Device::setVendorIdentifierForTesting(std::nullopt);
  auto id = UDIDTools::UDID();
  ASSERT_TRUE(id.has_value());
  EXPECT_TRUE(std::regex_match(*id, std::regex("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}"))) << *id;
  EXPECT_EQ(UDIDTools::UDID(), id);
}

TEST_F(UDIDToolsTest, StoredHardwareAddressTextIsReturnedUnchanged) {
  ASSERT_TRUE(UDIDTools::settUDIDToKeyChain("00:1A:2B:3C:4D:5E"));
  EXPECT_EQ(UDIDTools::UDID(), "00:1A:2B:3C:4D:5E");
}

TEST_F(UDIDToolsTest, SettingAgainUpdatesTheOneItem) {
  ASSERT_TRUE(UDIDTools::settUDIDToKeyChain("first"));
  ASSERT_TRUE(UDIDTools::settUDIDToKeyChain("second"));
  EXPECT_TRUE(logged("Update KeyChain Item Success!!!"));
  auto items = storedItems();
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].data, "second");
  EXPECT_EQ(UDIDTools::getUDIDFromKeyChain(), "second");
}

TEST_F(UDIDToolsTest, TheKeychainValueStaysOutOfTheLog) {
  ASSERT_TRUE(UDIDTools::settUDIDToKeyChain("secret-identifier"));
  EXPECT_EQ(UDIDTools::getUDIDFromKeyChain(), "secret-identifier");
  EXPECT_TRUE(logged("KeyChain Item: ****"));
  for (const auto& line : m_log) EXPECT_EQ(line.find("secret-identifier"), std::string::npos) << line;
}

TEST_F(UDIDToolsTest, UpdateWithoutAnItemFailsAndRemoveClearsEveryItem) {
  EXPECT_FALSE(UDIDTools::updateUDIDInKeyChain("x"));
  EXPECT_FALSE(UDIDTools::removeUDIDFromKeyChain());
  EXPECT_TRUE(logged("delete UUID from KeyChain Error!!! Error code:-25300"));

  ASSERT_TRUE(UDIDTools::UDID().has_value());
  EXPECT_TRUE(UDIDTools::removeUDIDFromKeyChain());
  EXPECT_TRUE(logged("delete success!!!"));
  EXPECT_FALSE(UDIDTools::getUDIDFromKeyChain().has_value());
}

TEST_F(UDIDToolsTest, VersionIsReadAsAFloat) {
  core::Device::setSystemVersion("10.3.1");
  EXPECT_EQ(UDIDTools::UDID(), "11111111-2222-3333-4444-555555555555");
}

TEST_F(UDIDToolsTest, OldSystemsWithoutAddressGiveNoIdentifierAndStoreNothing) {
  core::Device::setSystemVersion("6.1");
  // This machine has no "en0": the address cannot be read, and its error text must not become the identifier.
  EXPECT_EQ(UDIDTools::getMacAddress(), "if_nametoindex failure");
  EXPECT_FALSE(UDIDTools::UDID().has_value());
  EXPECT_TRUE(storedItems().empty());

  core::Device::setSystemVersion("1.9");
  EXPECT_FALSE(UDIDTools::UDID().has_value());
  EXPECT_TRUE(storedItems().empty());
}

TEST_F(UDIDToolsTest, BrokenKeychainStillGivesTheStableVendorIdentifier) {
  const std::string path = security::Keychain::shared().path();
  {
    std::ofstream out(path, std::ios::binary);
    out << "this is not a keychain";
  }
  EXPECT_EQ(UDIDTools::UDID(), "11111111-2222-3333-4444-555555555555");
  EXPECT_EQ(UDIDTools::UDID(), "11111111-2222-3333-4444-555555555555");
  std::string bytes;
  ASSERT_TRUE(core::paths::readFile(path, bytes));
  EXPECT_EQ(bytes, "this is not a keychain");
}

}  // namespace
}  // namespace kt
