#include "platform/ui/Nib.h"

#include <map>

#include "platform/core/Log.h"

namespace ui {
namespace {
std::map<std::string, Nib::Factory>& registry() {
  static std::map<std::string, Nib::Factory> nibs;
  return nibs;
}
}  // namespace

void Nib::registerNib(const std::string& name, Factory factory) { registry()[name] = std::move(factory); }

void Nib::unregisterNib(const std::string& name) { registry().erase(name); }

bool Nib::exists(const std::string& name) { return registry().count(name) > 0; }

Nib::Objects Nib::load(const std::string& name, Responder* owner) {
  auto it = registry().find(name);
  if (it == registry().end() || !it->second) {
    KT_LOG("Could not load the nib named \"%s\"", name.c_str());
    return {};
  }
  // A copy, so that a factory that registers nibs itself does not pull the function from under us.
  Factory factory = it->second;
  return factory(owner);
}

void Nib::reset() { registry().clear(); }

}  // namespace ui
