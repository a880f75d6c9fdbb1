#pragma once

namespace kt {

class NetworkHelper {
 public:
  // True when the reachability of the any-address can be read and it is reachable without a
  // connection that must first be set up.
  static bool networkAvailiable();
};

}  // namespace kt
