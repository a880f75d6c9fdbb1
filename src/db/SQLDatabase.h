#pragma once

#include "platform/core/Error.h"
#include "platform/core/Value.h"

#include <array>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

struct sqlite3;
struct sqlite3_context;
struct sqlite3_stmt;
struct sqlite3_value;

namespace kt {

class SQLResultSet;
class SQLStatement;

// Arguments that can be bound to a statement's parameters.
template <typename... Args>
concept SQLArguments = (std::is_constructible_v<core::Value, Args> && ...);

// One connection to one SQLite database file: opens and closes the handle, prepares and caches
// statements, binds arguments, runs queries (answering a result set) and updates (answering
// success), retries while the database is busy or locked, and offers transactions, save points
// and SQL functions. Meant for one thread at a time; always held by a shared_ptr, since the
// result sets it answers keep it alive.
class SQLDatabase : public std::enable_shared_from_this<SQLDatabase> {
 public:
  // Error domain of lastError() and the update out-errors.
  static constexpr const char* ErrorDomain = "SQLDatabase";
  using Function = std::function<void(sqlite3_context* context, int argc, sqlite3_value** argv)>;
  // SQL text -> its prepared statement; looked up by any string view of the text.
  using StatementCache = std::map<std::string, std::shared_ptr<SQLStatement>, std::less<>>;

  // A closed connection to the file at the path; no path is an in-memory database.
  static std::shared_ptr<SQLDatabase> databaseWithPath(std::optional<std::string> path);
  static std::string sqliteLibVersion();
  static bool isSQLiteThreadSafe();

  ~SQLDatabase();
  SQLDatabase(const SQLDatabase&) = delete;
  SQLDatabase& operator=(const SQLDatabase&) = delete;

  const std::optional<std::string>& databasePath() const { return m_databasePath; }
  sqlite3* sqliteHandle() const { return m_db; }

  // True when open (at once when already open). A failed open leaves no handle.
  bool open();
  bool openWithFlags(int flags);
  // Closes every open result set, finalizes every statement and closes the handle; false when
  // the database stayed busy beyond the retry limit, or when a statement is stepping on it (called
  // from an SQL function): the handle is kept then.
  bool close();

  // Empties the cache, finalizing every statement in it that nothing uses; a statement an open
  // result set or a running update still uses is finalized when that user lets it go.
  void clearCachedStatements();
  bool hasOpenResultSets() const { return !m_openResultSets.empty(); }
  // Closes every open result set; one whose own step is running closes as that step ends.
  void closeOpenResultSets();
  // Called by a result set as it closes.
  void resultSetDidClose(SQLResultSet* resultSet);
  std::shared_ptr<SQLStatement> cachedStatementForQuery(std::string_view query) const;
  void setCachedStatement(const std::shared_ptr<SQLStatement>& statement, std::string_view query);

  // No encryption in this layer: both answer false.
  bool rekey(const std::string& key);
  bool setKey(const std::string& key);

  bool goodConnection();
  void warnInUse() const;
  // True when open; otherwise logs that it is not.
  bool databaseExists() const;

  std::string lastErrorMessage() const;
  bool hadError() const;
  int lastErrorCode() const;
  core::Error errorWithMessage(const std::string& message) const;
  core::Error lastError() const;

  long long lastInsertRowId();
  int changes();

  // Binds one value at a 1-based parameter index (text and blobs are copied by SQLite); answers
  // SQLite's result code.
  static int bindObject(const core::Value& obj, int idx, sqlite3_stmt* pStmt);

  // Turns a printf-like format into SQL with "?" placeholders and the arguments they stand for.
  // False (logged) when a conversion finds no argument left or one of the wrong kind.
  static bool extractSQL(std::string_view format, const std::vector<core::Value>& args, std::string& cleanedSQL,
                         std::vector<core::Value>& arguments);

  template <typename... Args>
    requires SQLArguments<Args...>
  std::unique_ptr<SQLResultSet> executeQuery(std::string_view sql, Args&&... args) {
    // The arguments stay on the stack: a query per row costs no allocation for them.
    const std::array<core::Value, sizeof...(Args)> arguments{core::Value(std::forward<Args>(args))...};
    return runQuery(sql, arguments, nullptr);
  }
  std::unique_ptr<SQLResultSet> executeQueryWithArgumentsInArray(std::string_view sql,
                                                                 const std::vector<core::Value>& arguments);
  std::unique_ptr<SQLResultSet> executeQueryWithParameterDictionary(std::string_view sql,
                                                                    const core::Value::Dictionary& arguments);
  template <typename... Args>
    requires SQLArguments<Args...>
  std::unique_ptr<SQLResultSet> executeQueryWithFormat(std::string_view format, Args&&... args) {
    std::string sql;
    std::vector<core::Value> arguments;
    if (!extractSQL(format, {core::Value(std::forward<Args>(args))...}, sql, arguments)) return nullptr;
    return executeQueryWithArgumentsInArray(sql, arguments);
  }

  template <typename... Args>
    requires SQLArguments<Args...>
  bool executeUpdate(std::string_view sql, Args&&... args) {
    const std::array<core::Value, sizeof...(Args)> arguments{core::Value(std::forward<Args>(args))...};
    return runUpdate(sql, nullptr, arguments, nullptr);
  }
  bool executeUpdateWithArgumentsInArray(std::string_view sql, const std::vector<core::Value>& arguments);
  bool executeUpdateWithParameterDictionary(std::string_view sql, const core::Value::Dictionary& arguments);
  template <typename... Args>
    requires SQLArguments<Args...>
  bool executeUpdateWithFormat(std::string_view format, Args&&... args) {
    std::string sql;
    std::vector<core::Value> arguments;
    if (!extractSQL(format, {core::Value(std::forward<Args>(args))...}, sql, arguments)) return false;
    return executeUpdateWithArgumentsInArray(sql, arguments);
  }
  // An update whose failure also fills the error (when given).
  template <typename... Args>
    requires SQLArguments<Args...>
  bool update(std::string_view sql, core::Error* outErr, Args&&... args) {
    const std::array<core::Value, sizeof...(Args)> arguments{core::Value(std::forward<Args>(args))...};
    return runUpdate(sql, outErr, arguments, nullptr);
  }

  bool rollback();
  bool commit();
  bool beginDeferredTransaction();
  bool beginTransaction();
  bool inTransaction() const { return m_inTransaction; }

  bool startSavePointWithName(const std::string& name, core::Error* outErr = nullptr);
  bool releaseSavePointWithName(const std::string& name, core::Error* outErr = nullptr);
  bool rollbackToSavePointWithName(const std::string& name, core::Error* outErr = nullptr);
  // Runs the block inside a fresh save point; a block that sets its flag rolls everything back.
  // Answers the error of a save-point statement that failed.
  std::optional<core::Error> inSavePoint(const std::function<void(bool& rollback)>& block);

  bool shouldCacheStatements() const { return m_shouldCacheStatements; }
  void setShouldCacheStatements(bool value);

  // Registers a scalar SQL function; the block lives as long as the connection.
  void makeFunctionNamed(const std::string& name, int count, Function block);

  bool traceExecution() const { return m_traceExecution; }
  void setTraceExecution(bool value) { m_traceExecution = value; }
  bool checkedOut() const { return m_checkedOut; }
  void setCheckedOut(bool value) { m_checkedOut = value; }
  int busyRetryTimeout() const { return m_busyRetryTimeout; }
  void setBusyRetryTimeout(int value) { m_busyRetryTimeout = value; }
  bool crashOnErrors() const { return m_crashOnErrors; }
  void setCrashOnErrors(bool value) { m_crashOnErrors = value; }
  bool logsErrors() const { return m_logsErrors; }
  void setLogsErrors(bool value) { m_logsErrors = value; }
  const StatementCache* cachedStatements() const {
    return m_cachedStatements ? &*m_cachedStatements : nullptr;
  }

  // The busy rule, after a busy or locked answer: sleeps 20 µs and answers whether to try
  // again; 0 as the limit retries without end. retries starts at 0 for each operation.
  static bool retryAfterBusy(int& retries, int busyRetryTimeout);

  // Names given to inSavePoint()'s save points so far, across every connection.
  static long savePointCount() { return s_savePointIdx.load(); }

 private:
  explicit SQLDatabase(std::optional<std::string> path);
  // The one query path and the one update path: the dictionary when given, else the array.
  std::unique_ptr<SQLResultSet> runQuery(std::string_view sql, std::span<const core::Value> arguments,
                                         const core::Value::Dictionary* dictionary);
  bool runUpdate(std::string_view sql, core::Error* outErr, std::span<const core::Value> arguments,
                 const core::Value::Dictionary* dictionary);
  friend class SQLResultSet;
  // Open and not running another statement; logs why not.
  bool mayExecute() const;
  // The cached statement (in statement), unless a result set still steps it, or a fresh one (statement
  // null), with the arguments bound; null (logged, and in outErr when a bind failed) on failure.
  sqlite3_stmt* boundStatement(std::string_view sql, bool update, core::Error* outErr,
                               std::span<const core::Value> arguments, const core::Value::Dictionary* dictionary,
                               std::shared_ptr<SQLStatement>& statement);
  // The cache's entry for the SQL text, without taking a reference: valid only until the cache
  // next changes, so never held across a step (an SQL function may clear or drop the cache).
  const std::shared_ptr<SQLStatement>* findCachedStatement(std::string_view query) const;
  // Steps under the busy rule; gaveUp tells a give-up (logged) from SQLite's answer.
  int step(sqlite3_stmt* pStmt, const char* caller, bool& gaveUp);
  // Prepares under the busy rule; null (logged, and in outErr for an SQL error) on failure.
  sqlite3_stmt* prepare(std::string_view sql, core::Error* outErr);
  enum class BindResult { Bound, CountMismatch, Failed };
  // Binds the dictionary's values by name or the arguments by position; a failed bind is logged.
  // reused: the statement may still hold the values of its last use.
  BindResult bindArguments(sqlite3_stmt* pStmt, bool reused, std::span<const core::Value> arguments,
                           const core::Value::Dictionary* dictionary) const;
  // Whether a statement made for this SQL should go into the cache (caching on, none there yet).
  bool shouldCache(std::string_view sql) const;
  void logBusy(const char* function, int line) const;
  bool transactionStatement(const char* sql, bool inTransactionAfter);
  bool savePointStatement(const std::string& sql, core::Error* outErr);
  std::string description() const;

  sqlite3* m_db = nullptr;
  std::optional<std::string> m_databasePath;
  bool m_logsErrors = false;
  bool m_crashOnErrors = false;
  bool m_traceExecution = false;
  bool m_checkedOut = false;
  bool m_shouldCacheStatements = false;
  bool m_isExecutingStatement = false;
  bool m_inTransaction = false;
  // Steps running on the handle: more than one when an SQL function steps another statement.
  int m_activeSteps = 0;
  int m_busyRetryTimeout = 0;
  std::optional<StatementCache> m_cachedStatements;
  // The entry the last lookup found, tried first by the next (rows are mostly written or read
  // by one SQL text over and over); null whenever the cache is emptied or dropped.
  mutable const StatementCache::value_type* m_lastCacheHit = nullptr;
  std::set<SQLResultSet*> m_openResultSets;
  std::vector<std::unique_ptr<Function>> m_openFunctions;

  static std::atomic<long> s_savePointIdx;
};

}  // namespace kt
