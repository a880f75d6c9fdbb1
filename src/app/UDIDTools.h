#pragma once

#include "app/RecordField.h"

namespace kt {

// The device identifier the room server knows the tablet by. Made once, kept in a keychain
// item (the only state) and given back on every later call, also after a reinstall.
class UDIDTools {
 public:
  // The stored identifier; else a new one (vendor identifier from system version 7.0, the
  // "en0" hardware address from 2.0), stored and returned; none when none can be made.
  static Text UDID();

  static Text getUDIDFromKeyChain();
  static bool settUDIDToKeyChain(const std::string& identifier);
  static bool updateUDIDInKeyChain(const std::string& identifier);
  static bool removeUDIDFromKeyChain();

  // The vendor identifier: 36 upper-case characters in groups 8-4-4-4-12.
  static std::string UDID_iOS7();
  // The hardware address as "%02X:%02X:%02X:%02X:%02X:%02X"; none when it cannot be read.
  static Text UDID_iOS6();
  // The hardware address text, or the text of the error that prevented reading it.
  static std::string getMacAddress();

  // The access group of the item: a fixed name of 32 characters.
  static constexpr const char* kAccessGroup = "KTV0000000.net.ktvroom.tabletapp";
};

}  // namespace kt
