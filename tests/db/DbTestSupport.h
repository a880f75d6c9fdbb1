#pragma once

#include "platform/core/Log.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

namespace dbtest {

// Collects every logged line (from any thread) while it lives.
class LogCapture {
 public:
  LogCapture() {
    m_previous = core::setLogSink([this](const std::string& line) {
      std::lock_guard lock(m_mutex);
      m_lines.push_back(line);
    });
  }
  ~LogCapture() { core::setLogSink(m_previous); }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  // How many lines contain the text.
  int count(const std::string& text) {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(std::count_if(m_lines.begin(), m_lines.end(),
                                          [&](const std::string& line) { return line.find(text) != std::string::npos; }));
  }

 private:
  std::mutex m_mutex;
  std::vector<std::string> m_lines;
  core::LogSink m_previous;
};

}  // namespace dbtest
