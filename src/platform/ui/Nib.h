#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/Responder.h"

namespace ui {

// Nibs are registered factories: each builds its top-level objects (views or other responders) in
// code and may set outlets on the owner it is given.
class Nib {
 public:
  using Objects = std::vector<std::shared_ptr<Responder>>;
  // `owner` may be null; the factory must not keep it.
  using Factory = std::function<Objects(Responder* owner)>;

  // Registers (or replaces) the factory of a nib name.
  static void registerNib(const std::string& name, Factory factory);
  static void unregisterNib(const std::string& name);
  static bool exists(const std::string& name);
  // The nib's top-level objects; empty, with a log line, when no nib has that name.
  static Objects load(const std::string& name, Responder* owner);
  // Forgets every registration (tests).
  static void reset();
};

}  // namespace ui
