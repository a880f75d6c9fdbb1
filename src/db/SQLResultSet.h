#pragma once

#include "platform/core/Date.h"
#include "platform/core/Value.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace kt {

class SQLDatabase;
class SQLStatement;

// The cursor every query answers: steps through the rows, finds columns by name without regard
// to case and converts column values. It keeps its statement and its connection alive until it
// closes; it closes at the end of its rows, on a step failure, when its connection closes and
// when it is destroyed. Destroyed from inside its own step (by an SQL function of its query), it
// leaves the connection at once and hands its statement to that step, which lets it go as it ends.
class SQLResultSet {
 public:
  static std::unique_ptr<SQLResultSet> resultSetWithStatement(std::shared_ptr<SQLStatement> statement,
                                                              std::shared_ptr<SQLDatabase> parentDB);
  ~SQLResultSet();
  SQLResultSet(const SQLResultSet&) = delete;
  SQLResultSet& operator=(const SQLResultSet&) = delete;

  // Resets the statement, lets it go and tells the connection; later next() answers false. Called
  // from inside this set's own step (an SQL function of its query), it closes as the step ends.
  void close();

  int columnCount() const;
  void setupColumnNames();
  // Called with each non-NULL column's name (case kept) and its text.
  void kvcMagic(const std::function<void(const std::string& key, const std::string& text)>& setValue) const;
  // Lower-cased column name -> value; nothing (with a warning) before the first row.
  std::optional<core::Value::Dictionary> resultDict();
  // Column name as SQLite reports it -> value; nothing (with a warning) before the first row.
  std::optional<core::Value::Dictionary> resultDictionary() const;

  // Steps to the next row; false at the end or on a failure, which also closes the set. False
  // (logged, the set left open) when called from inside its own step.
  bool next();
  // True while next() steps (and so runs the query's SQL functions).
  bool isStepping() const { return m_step != nullptr; }
  bool hasAnotherRow() const;

  // 0-based index of a column by name, case ignored; -1 (with a warning) when there is none.
  int columnIndexForName(const std::string& columnName);
  std::string columnNameForIndex(int columnIdx) const;

  // Numeric getters answer 0 for a NULL column and for an index outside the columns.
  int intForColumnIndex(int columnIdx) const;
  long longForColumnIndex(int columnIdx) const;
  long long longLongIntForColumnIndex(int columnIdx) const;
  unsigned long long unsignedLongLongIntForColumnIndex(int columnIdx) const;
  bool boolForColumnIndex(int columnIdx) const;
  double doubleForColumnIndex(int columnIdx) const;
  std::optional<std::string> stringForColumnIndex(int columnIdx) const;
  std::optional<core::Date> dateForColumnIndex(int columnIdx) const;
  // The bytes, copied.
  std::optional<std::string> dataForColumnIndex(int columnIdx) const;
  // SQLite's own bytes, valid only until the cursor moves or closes.
  std::optional<std::string_view> dataNoCopyForColumnIndex(int columnIdx) const;
  bool columnIndexIsNull(int columnIdx) const;
  const char* utf8StringForColumnIndex(int columnIdx) const;
  // Data, real, integer or string by the column's type; null for a NULL column.
  core::Value objectForColumnIndex(int columnIdx) const;

  int intForColumn(const std::string& columnName) { return intForColumnIndex(columnIndexForName(columnName)); }
  long longForColumn(const std::string& columnName) { return longForColumnIndex(columnIndexForName(columnName)); }
  long long longLongIntForColumn(const std::string& columnName) {
    return longLongIntForColumnIndex(columnIndexForName(columnName));
  }
  unsigned long long unsignedLongLongIntForColumn(const std::string& columnName) {
    return unsignedLongLongIntForColumnIndex(columnIndexForName(columnName));
  }
  bool boolForColumn(const std::string& columnName) { return boolForColumnIndex(columnIndexForName(columnName)); }
  double doubleForColumn(const std::string& columnName) {
    return doubleForColumnIndex(columnIndexForName(columnName));
  }
  std::optional<std::string> stringForColumn(const std::string& columnName) {
    return stringForColumnIndex(columnIndexForName(columnName));
  }
  std::optional<core::Date> dateForColumn(const std::string& columnName) {
    return dateForColumnIndex(columnIndexForName(columnName));
  }
  std::optional<std::string> dataForColumn(const std::string& columnName) {
    return dataForColumnIndex(columnIndexForName(columnName));
  }
  std::optional<std::string_view> dataNoCopyForColumn(const std::string& columnName) {
    return dataNoCopyForColumnIndex(columnIndexForName(columnName));
  }
  bool columnIsNull(const std::string& columnName) { return columnIndexIsNull(columnIndexForName(columnName)); }
  const char* utf8StringForColumnName(const std::string& columnName) {
    return utf8StringForColumnIndex(columnIndexForName(columnName));
  }
  core::Value objectForColumnName(const std::string& columnName) {
    return objectForColumnIndex(columnIndexForName(columnName));
  }

  void setParentDB(std::shared_ptr<SQLDatabase> parentDB) { m_parentDB = std::move(parentDB); }
  const std::shared_ptr<SQLStatement>& statement() const { return m_statement; }
  void setStatement(std::shared_ptr<SQLStatement> statement) { m_statement = std::move(statement); }
  const std::string& query() const { return m_query; }
  void setQuery(std::string query) { m_query = std::move(query); }
  const std::map<std::string, int>& columnNameToIndexMap() const { return m_columnNameToIndexMap; }

 private:
  // What a running next() keeps on its stack; the set points to it while it steps.
  struct Step;

  SQLResultSet() = default;
  // True when a row is current and the index names one of its columns.
  bool validColumn(int columnIdx) const;

  std::shared_ptr<SQLDatabase> m_parentDB;
  std::shared_ptr<SQLStatement> m_statement;
  std::string m_query;
  std::map<std::string, int> m_columnNameToIndexMap;
  bool m_columnNamesSetup = false;
  Step* m_step = nullptr;
  bool m_closeAfterStep = false;
};

}  // namespace kt
