#include "app/UDIDTools.h"

#include <cstdio>

#include "platform/core/Device.h"
#include "platform/core/Log.h"
#include "platform/core/TextEncoding.h"
#include "platform/core/Value.h"
#include "platform/security/Keychain.h"

namespace kt {
namespace {

constexpr const char* kGenericPassword = "genp";
constexpr const char* kItemTag = "UUID";  // the item's description and generic attribute

struct MacResult {
  Text address;
  std::string error;
};

MacResult readMacAddress() {
  std::string error;
  auto bytes = core::Device::hardwareAddress("en0", &error);
  if (!bytes) return {std::nullopt, error};
  char text[18];
  std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", (*bytes)[0], (*bytes)[1], (*bytes)[2],
                (*bytes)[3], (*bytes)[4], (*bytes)[5]);
  core::logFormat("Mac Address: %s", text);
  return {std::string(text), {}};
}

}  // namespace

Text UDIDTools::UDID() {
  if (Text stored = getUDIDFromKeyChain()) return stored;

  // The system version read as a float, so "10.3.1" reads 10.3.
  const float version = static_cast<float>(core::parseDouble(core::Device::systemVersion()));
  Text identifier;
  if (version >= 7.0f) {
    identifier = UDID_iOS7();
  } else if (version >= 2.0f) {
    identifier = UDID_iOS6();
  }
  if (!identifier) return std::nullopt;
  settUDIDToKeyChain(*identifier);
  return identifier;
}

Text UDIDTools::getUDIDFromKeyChain() {
  security::Query query;
  query.match.itemClass = kGenericPassword;
  query.match.description = kItemTag;
  query.match.generic = kItemTag;
  query.match.accessGroup = kAccessGroup;
  query.caseInsensitive = true;
  query.limitOne = true;

  std::vector<security::Item> found;
  const security::Status status = security::Keychain::shared().copyMatching(query, &found);
  if (status == security::ItemNotFound) {
    core::logFormat("KeyChain Item: %s not found!!!", kItemTag);
    return std::nullopt;
  }
  if (status != security::Success) {
    core::logFormat("KeyChain Item query Error!!! Error code:%ld", static_cast<long>(status));
    return std::nullopt;
  }
  if (found.empty()) return std::nullopt;
  const std::string& data = found.front().data;
  // The item's value stays out of the log, as every keychain value does.
  core::logFormat("KeyChain Item: %s", core::kLogMask);
  if (!core::isValidUtf8(data)) return std::nullopt;
  return data;
}

bool UDIDTools::settUDIDToKeyChain(const std::string& identifier) {
  if (getUDIDFromKeyChain()) {
    updateUDIDInKeyChain(identifier);
    return true;
  }
  security::Item item;
  item.attributes.itemClass = kGenericPassword;
  item.attributes.description = kItemTag;
  item.attributes.generic = kItemTag;
  item.attributes.account = "";
  item.attributes.label = "";
  item.attributes.accessGroup = kAccessGroup;
  item.data = identifier;
  const security::Status status = security::Keychain::shared().add(item);
  if (status != security::Success) {
    core::logFormat("Add KeyChain Item Error!!! Error Code:%ld", static_cast<long>(status));
    return false;
  }
  core::logLine("Add KeyChain Item Success!!!");
  return true;
}

bool UDIDTools::updateUDIDInKeyChain(const std::string& identifier) {
  security::Query query;
  query.match.itemClass = kGenericPassword;
  query.match.generic = kItemTag;
  query.caseInsensitive = true;
  query.limitOne = true;

  security::Keychain& keychain = security::Keychain::shared();
  std::vector<security::Item> found;
  if (keychain.copyMatching(query, &found) != security::Success || found.empty()) return false;

  // Search by the found item's own attributes; change the tag attributes and the value.
  security::Query search;
  search.match = found.front().attributes;
  search.match.itemClass = kGenericPassword;
  security::Attributes changes;
  changes.description = kItemTag;
  changes.generic = kItemTag;
  const security::Status status = keychain.update(search, changes, identifier);
  if (status != security::Success) {
    core::logFormat("Update KeyChain Item Error!!! Error Code:%ld", static_cast<long>(status));
    return false;
  }
  core::logLine("Update KeyChain Item Success!!!");
  return true;
}

bool UDIDTools::removeUDIDFromKeyChain() {
  security::Query query;
  query.match.itemClass = kGenericPassword;
  query.match.generic = kItemTag;
  const security::Status status = security::Keychain::shared().remove(query);
  if (status != security::Success) {
    core::logFormat("delete UUID from KeyChain Error!!! Error code:%ld", static_cast<long>(status));
    return false;
  }
  core::logLine("delete success!!!");
  return true;
}

std::string UDIDTools::UDID_iOS7() { return core::Device::vendorIdentifier(); }

Text UDIDTools::UDID_iOS6() {
  // A failure to read the address gives no identifier: its error text must never be stored
  // as if it identified the device.
  MacResult result = readMacAddress();
  if (!result.address) core::logFormat("Error: %s", result.error.c_str());
  return result.address;
}

std::string UDIDTools::getMacAddress() {
  MacResult result = readMacAddress();
  if (result.address) return *result.address;
  core::logFormat("Error: %s", result.error.c_str());
  return result.error;
}

}  // namespace kt
