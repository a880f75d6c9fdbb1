#pragma once

// The environment a test starts a child program with, built before the fork so that the child
// only calls what is safe after a fork in a program with threads.

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

extern char** environ;

namespace support {

// The environment a child is started with: this process's, less the names in `cleared` and those
// that `changes` names, then each of `defaults` ("NAME=value") whose name `changes` does not name,
// then the settings among `changes` ("NAME=value" sets the name, "NAME" alone leaves it unset).
class ChildEnvironment {
 public:
  ChildEnvironment(const std::vector<std::string>& changes, std::initializer_list<std::string_view> cleared,
                   std::initializer_list<std::string_view> defaults) {
    auto nameOf = [](std::string_view var) { return var.substr(0, var.find('=')); };
    auto changed = [&](std::string_view name) {
      for (const auto& c : changes) {
        if (nameOf(c) == name) return true;
      }
      return false;
    };
    for (char** e = environ; *e; ++e) {
      const std::string_view name = nameOf(*e);
      bool drop = changed(name);
      for (std::string_view c : cleared) drop = drop || c == name;
      if (!drop) m_vars.emplace_back(*e);
    }
    for (std::string_view d : defaults) {
      if (!changed(nameOf(d))) m_vars.emplace_back(d);
    }
    for (const auto& c : changes) {
      if (c.find('=') != std::string::npos) m_vars.push_back(c);
    }
    for (auto& v : m_vars) m_envp.push_back(v.data());
    m_envp.push_back(nullptr);
  }
  ChildEnvironment(const ChildEnvironment&) = delete;
  ChildEnvironment& operator=(const ChildEnvironment&) = delete;

  // The variables as execve and posix_spawn take them, valid while this lives.
  char* const* envp() { return m_envp.data(); }

 private:
  std::vector<std::string> m_vars;
  std::vector<char*> m_envp;
};

}  // namespace support
