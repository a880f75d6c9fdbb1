#pragma once

#include "db/SQLDatabase.h"
#include "db/SQLDatabaseAdditions.h"
#include "platform/core/Log.h"

#include <gtest/gtest.h>

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

// The tables the queue and pool tests write to: a one-row counter and rows by thread and step.
inline void createTables(kt::SQLDatabase* db) {
  ASSERT_TRUE(db);
  ASSERT_TRUE(db->executeUpdate("create table Counter (Value integer)"));
  ASSERT_TRUE(db->executeUpdate("insert into Counter values (0)"));
  ASSERT_TRUE(db->executeUpdate("create table Rows (Thread integer, Step integer)"));
}

// A one-value query run through a queue or a pool; -1 when no connection could be had.
template <typename Sharer>
int intForQuery(Sharer& sharer, const std::string& sql) {
  int value = -1;
  sharer.inDatabase([&](kt::SQLDatabase* db) {
    if (db) value = kt::SQLDatabaseAdditions::intForQuery(*db, sql);
  });
  return value;
}

}  // namespace dbtest
