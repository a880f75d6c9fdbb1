#include "order/TempOederCenter.h"

namespace kt {

TempOederCenter& TempOederCenter::sharedInstance() {
  static TempOederCenter center;
  return center;
}

}  // namespace kt
