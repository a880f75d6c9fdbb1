#pragma once

#include "db/SQLDatabase.h"
#include "db/SQLResultSet.h"
#include "platform/core/Date.h"
#include "platform/core/Error.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

// Conveniences over a connection: queries answering one value, existence tests for tables and
// columns, schema listings and a check that an SQL text compiles.
namespace kt::SQLDatabaseAdditions {

// The query's first row, or null when it failed or has no row (the result set is then closed).
std::unique_ptr<SQLResultSet> firstRowForQuery(SQLDatabase& db, const std::string& sql,
                                               const std::vector<core::Value>& arguments);

// Column 0 of the first row read with the getter, or the empty value when there is no row.
template <typename T>
T valueForQuery(SQLDatabase& db, const std::string& sql, const std::vector<core::Value>& arguments,
                T (SQLResultSet::*getter)(int) const) {
  auto resultSet = firstRowForQuery(db, sql, arguments);
  if (!resultSet) return T{};
  T value = ((*resultSet).*getter)(0);
  resultSet->close();
  return value;
}

// One-value queries: the arguments are bound to the query's parameters in order. No row, or a
// failed query, answers the empty value (nothing, 0 or false).
template <typename... Args>
  requires SQLArguments<Args...>
std::optional<std::string> stringForQuery(SQLDatabase& db, const std::string& sql, Args&&... args) {
  return valueForQuery(db, sql, {core::Value(std::forward<Args>(args))...}, &SQLResultSet::stringForColumnIndex);
}
template <typename... Args>
  requires SQLArguments<Args...>
int intForQuery(SQLDatabase& db, const std::string& sql, Args&&... args) {
  return valueForQuery(db, sql, {core::Value(std::forward<Args>(args))...}, &SQLResultSet::intForColumnIndex);
}
template <typename... Args>
  requires SQLArguments<Args...>
long longForQuery(SQLDatabase& db, const std::string& sql, Args&&... args) {
  return valueForQuery(db, sql, {core::Value(std::forward<Args>(args))...}, &SQLResultSet::longForColumnIndex);
}
template <typename... Args>
  requires SQLArguments<Args...>
bool boolForQuery(SQLDatabase& db, const std::string& sql, Args&&... args) {
  return valueForQuery(db, sql, {core::Value(std::forward<Args>(args))...}, &SQLResultSet::boolForColumnIndex);
}
template <typename... Args>
  requires SQLArguments<Args...>
double doubleForQuery(SQLDatabase& db, const std::string& sql, Args&&... args) {
  return valueForQuery(db, sql, {core::Value(std::forward<Args>(args))...}, &SQLResultSet::doubleForColumnIndex);
}
template <typename... Args>
  requires SQLArguments<Args...>
std::optional<std::string> dataForQuery(SQLDatabase& db, const std::string& sql, Args&&... args) {
  return valueForQuery(db, sql, {core::Value(std::forward<Args>(args))...}, &SQLResultSet::dataForColumnIndex);
}
template <typename... Args>
  requires SQLArguments<Args...>
std::optional<core::Date> dateForQuery(SQLDatabase& db, const std::string& sql, Args&&... args) {
  return valueForQuery(db, sql, {core::Value(std::forward<Args>(args))...}, &SQLResultSet::dateForColumnIndex);
}

// Whether a table of that name exists, case ignored.
bool tableExists(SQLDatabase& db, const std::string& tableName);
// Every table, index, view and trigger (temporary ones too), by table; the caller closes it.
std::unique_ptr<SQLResultSet> getSchema(SQLDatabase& db);
// The table's columns (PRAGMA table_info); null when the name makes invalid SQL.
std::unique_ptr<SQLResultSet> getTableSchema(SQLDatabase& db, const std::string& tableName);
// Whether the table has the column, case ignored in both names.
bool columnExists(SQLDatabase& db, const std::string& columnName, const std::string& tableName);
// The same test with the table first (named in full: the two would not tell apart otherwise).
bool columnExistsColumnName(SQLDatabase& db, const std::string& tableName, const std::string& columnName);
// Whether the SQL compiles on this connection, without running it; on failure the error (when
// given) holds SQLite's message. A closed connection answers false with an error too.
bool validateSQL(SQLDatabase& db, const std::string& sql, core::Error* error = nullptr);

}  // namespace kt::SQLDatabaseAdditions
