#include "platform/core/Log.h"

int main() {
  KT_LOG("starting");
  return 0;
}
