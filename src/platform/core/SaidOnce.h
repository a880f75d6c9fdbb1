#pragma once

#include <mutex>
#include <set>
#include <string>

namespace core {

// What has been said of one kind of trouble (a folder not used, a settings file that cannot be
// written, a bad drawing scale, a missing sound element), so that each is said once while it
// holds instead of at every use, and again should it come back after it was mended. Safe from
// any thread. Kept in a static that is never destroyed, as it may be asked until the process ends:
//   static core::SaidOnce* said = new core::SaidOnce;
class SaidOnce {
 public:
  // True the first time `what` is asked until it is forgotten: the moment to say it.
  bool first(const std::string& what);
  // `what` no longer holds: it is said again should it come back.
  void forget(const std::string& what);
  // Nothing of this kind holds any more.
  void forgetAll();

 private:
  std::mutex m_mutex;
  std::set<std::string> m_said;
};

}  // namespace core
