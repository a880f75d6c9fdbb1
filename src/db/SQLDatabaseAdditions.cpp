#include "db/SQLDatabaseAdditions.h"

#include "platform/core/Log.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>

namespace kt::SQLDatabaseAdditions {

namespace {

std::string lowercased(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

}  // namespace

std::unique_ptr<SQLResultSet> firstRowForQuery(SQLDatabase& db, const std::string& sql,
                                               const std::vector<core::Value>& arguments) {
  auto resultSet = db.executeQueryWithArgumentsInArray(sql, arguments);
  if (!resultSet || !resultSet->next()) return nullptr;
  return resultSet;
}

bool tableExists(SQLDatabase& db, const std::string& tableName) {
  auto resultSet = db.executeQuery("select [sql] from sqlite_master where [type] = 'table' and lower(name) = ?",
                                   lowercased(tableName));
  if (!resultSet) return false;
  bool found = resultSet->next();
  resultSet->close();
  return found;
}

std::unique_ptr<SQLResultSet> getSchema(SQLDatabase& db) {
  return db.executeQuery(
      "SELECT type, name, tbl_name, rootpage, sql FROM (SELECT * FROM sqlite_master UNION ALL SELECT * FROM "
      "sqlite_temp_master) WHERE type != 'meta' AND name NOT LIKE 'sqlite_%' ORDER BY tbl_name, type DESC, name");
}

std::unique_ptr<SQLResultSet> getTableSchema(SQLDatabase& db, const std::string& tableName) {
  // The name goes into the text as it is (a pragma takes no bound parameter here).
  return db.executeQuery("PRAGMA table_info('" + tableName + "')");
}

bool columnExists(SQLDatabase& db, const std::string& columnName, const std::string& tableName) {
  std::string column = lowercased(columnName);
  auto resultSet = getTableSchema(db, lowercased(tableName));
  if (!resultSet) return false;
  bool found = false;
  while (!found && resultSet->next()) found = lowercased(resultSet->stringForColumn("name").value_or("")) == column;
  resultSet->close();
  return found;
}

bool columnExistsColumnName(SQLDatabase& db, const std::string& tableName, const std::string& columnName) {
  return columnExists(db, columnName, tableName);
}

bool validateSQL(SQLDatabase& db, const std::string& sql, core::Error* error) {
  sqlite3* handle = db.sqliteHandle();
  if (!handle) {
    if (error)
      *error = core::Error::withDescription(core::Error::CoreDomain, SQLITE_MISUSE, "The database is not open.");
    return false;
  }
  sqlite3_stmt* statement = nullptr;
  int retries = 0;
  int rc = sqlite3_prepare_v2(handle, sql.c_str(), -1, &statement, nullptr);
  while (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
    if (!SQLDatabase::retryAfterBusy(retries, db.busyRetryTimeout())) {
      KT_LOG("%s:%d Database busy (%s)", __func__, __LINE__, db.databasePath().value_or(":memory:").c_str());
      KT_LOG("Database busy");
      break;
    }
    sqlite3_finalize(statement);
    statement = nullptr;
    rc = sqlite3_prepare_v2(handle, sql.c_str(), -1, &statement, nullptr);
  }
  if (rc != SQLITE_OK && error)
    *error = core::Error::withDescription(core::Error::CoreDomain, db.lastErrorCode(), db.lastErrorMessage());
  sqlite3_finalize(statement);
  return rc == SQLITE_OK;
}

}  // namespace kt::SQLDatabaseAdditions
