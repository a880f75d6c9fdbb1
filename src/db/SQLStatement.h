#pragma once

#include <string>

struct sqlite3_stmt;

namespace kt {

// One prepared SQLite statement, as the connection caches it and counts its reuse. Destroying
// it finalizes the statement.
class SQLStatement {
 public:
  SQLStatement() = default;
  ~SQLStatement();
  SQLStatement(const SQLStatement&) = delete;
  SQLStatement& operator=(const SQLStatement&) = delete;

  // Finalizes the statement (once) and forgets it.
  void close();
  // Puts the statement back to its initial state, bindings kept.
  void reset();

  // "<address> <useCount> hit(s) for query <query>"
  std::string description() const;

  sqlite3_stmt* statement() const { return m_statement; }
  void setStatement(sqlite3_stmt* statement) { m_statement = statement; }
  const std::string& query() const { return m_query; }
  void setQuery(std::string query) { m_query = std::move(query); }
  long useCount() const { return m_useCount; }
  void setUseCount(long useCount) { m_useCount = useCount; }
  // True from the query that hands it to a result set until that result set closes, and while
  // an update steps it: a statement in use is not bound again for another query, and clearing
  // the cache drops it without finalizing it under its user.
  bool inUse() const { return m_inUse; }
  void setInUse(bool inUse) { m_inUse = inUse; }

 private:
  std::string m_query;
  sqlite3_stmt* m_statement = nullptr;
  long m_useCount = 0;
  bool m_inUse = false;
};

}  // namespace kt
