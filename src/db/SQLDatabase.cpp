#include "db/SQLDatabase.h"

#include "db/SQLResultSet.h"
#include "db/SQLStatement.h"
#include "platform/core/CallbackGuard.h"
#include "platform/core/Log.h"

#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace kt {

std::atomic<long> SQLDatabase::s_savePointIdx{0};

namespace {

// Sets the in-use flag for the length of one operation.
class ExecutingScope {
 public:
  explicit ExecutingScope(bool& flag) : m_flag(flag) { m_flag = true; }
  ~ExecutingScope() { m_flag = false; }
  ExecutingScope(const ExecutingScope&) = delete;
  ExecutingScope& operator=(const ExecutingScope&) = delete;

 private:
  bool& m_flag;
};

void callFunction(sqlite3_context* context, int argc, sqlite3_value** argv) {
  auto* block = static_cast<SQLDatabase::Function*>(sqlite3_user_data(context));
  core::guardCallback(
      "SQL function", [&] { (*block)(context, argc, argv); },
      [&] { sqlite3_result_error(context, "the function failed", -1); });
}

}  // namespace

std::shared_ptr<SQLDatabase> SQLDatabase::databaseWithPath(std::optional<std::string> path) {
  return std::shared_ptr<SQLDatabase>(new SQLDatabase(std::move(path)));
}

SQLDatabase::SQLDatabase(std::optional<std::string> path) : m_databasePath(std::move(path)) {
  if (!sqlite3_threadsafe()) {
    KT_LOG("Assertion failed: sqlite3_threadsafe()");
    std::abort();
  }
}

SQLDatabase::~SQLDatabase() { close(); }

std::string SQLDatabase::sqliteLibVersion() { return sqlite3_libversion(); }

bool SQLDatabase::isSQLiteThreadSafe() { return sqlite3_threadsafe() != 0; }

std::string SQLDatabase::description() const {
  char text[64];
  std::snprintf(text, sizeof text, "<SQLDatabase: %p>", static_cast<const void*>(this));
  return text;
}

bool SQLDatabase::open() { return openWithFlags(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE); }

bool SQLDatabase::openWithFlags(int flags) {
  if (m_db) return true;
  int err = sqlite3_open_v2(m_databasePath ? m_databasePath->c_str() : ":memory:", &m_db, flags, nullptr);
  if (err != SQLITE_OK) {
    KT_LOG("error opening!: %d", err);
    // SQLite hands out a handle even when opening fails; keeping it would make the connection
    // look open.
    sqlite3_close(m_db);
    m_db = nullptr;
    return false;
  }
  return true;
}

bool SQLDatabase::close() {
  // Called from an SQL function: the statement stepping on the handle can be neither reset nor
  // finalized under its step, so the handle cannot close. The database is busy: answer as when
  // SQLite stays busy, keeping everything.
  if (m_activeSteps > 0) {
    warnInUse();
    return false;
  }
  clearCachedStatements();
  closeOpenResultSets();
  if (!m_db) return true;
  bool triedFinalizingOpenStatements = false;
  int retries = 0;
  for (;;) {
    int rc = sqlite3_close(m_db);
    if (rc != SQLITE_BUSY && rc != SQLITE_LOCKED) {
      if (rc != SQLITE_OK) KT_LOG("error closing!: %d", rc);
      break;
    }
    if (!retryAfterBusy(retries, m_busyRetryTimeout)) {
      core::logFormat("%s:%d", __func__, __LINE__);
      KT_LOG("Database busy, unable to close");
      return false;
    }
    if (!triedFinalizingOpenStatements) {
      triedFinalizingOpenStatements = true;
      while (sqlite3_stmt* statement = sqlite3_next_stmt(m_db, nullptr)) {
        KT_LOG("Closing leaked statement");
        sqlite3_finalize(statement);
      }
    }
  }
  m_db = nullptr;
  return true;
}

void SQLDatabase::clearCachedStatements() {
  if (!m_cachedStatements) return;
  // A statement in use (an open result set's, or a running update's) is only dropped: its user
  // holds a reference of its own, which finalizes it when the user lets go, so the result set
  // reads every row and the step runs on. Refusing the clear while a statement steps would keep
  // the statements nobody uses too, and a clear asked for from an SQL function would have no
  // later moment to be asked again; letting go later frees the rest at once and the used ones
  // as soon as they can go, and treats an open result set between steps the same way.
  for (auto& [query, statement] : *m_cachedStatements)
    if (!statement->inUse()) statement->close();
  m_lastCacheHit = nullptr;
  m_cachedStatements->clear();
}

void SQLDatabase::closeOpenResultSets() {
  // A result set may hold the last reference to this connection.
  auto keepAlive = weak_from_this().lock();
  auto openSets = m_openResultSets;
  for (SQLResultSet* rs : openSets) {
    // Called from an SQL function of this set's own query: the set closes, keeping its parent
    // to step with, when its step ends, and leaves the registry then.
    if (rs->isStepping()) {
      rs->close();
      continue;
    }
    rs->setParentDB(nullptr);
    rs->close();
    m_openResultSets.erase(rs);
  }
}

void SQLDatabase::resultSetDidClose(SQLResultSet* resultSet) { m_openResultSets.erase(resultSet); }

const std::shared_ptr<SQLStatement>* SQLDatabase::findCachedStatement(std::string_view query) const {
  if (!m_cachedStatements) return nullptr;
  if (m_lastCacheHit && m_lastCacheHit->first == query) return &m_lastCacheHit->second;
  auto it = m_cachedStatements->find(query);
  if (it == m_cachedStatements->end()) return nullptr;
  m_lastCacheHit = &*it;
  return &it->second;
}

std::shared_ptr<SQLStatement> SQLDatabase::cachedStatementForQuery(std::string_view query) const {
  const std::shared_ptr<SQLStatement>* found = findCachedStatement(query);
  return found ? *found : nullptr;
}

void SQLDatabase::setCachedStatement(const std::shared_ptr<SQLStatement>& statement, std::string_view query) {
  if (!m_cachedStatements) return;
  statement->setQuery(std::string(query));
  (*m_cachedStatements)[statement->query()] = statement;
}

bool SQLDatabase::rekey(const std::string&) { return false; }

bool SQLDatabase::setKey(const std::string&) { return false; }

bool SQLDatabase::goodConnection() {
  if (!m_db) return false;
  auto rs = executeQuery("select name from sqlite_master where type='table'");
  if (!rs) return false;
  rs->close();
  return true;
}

void SQLDatabase::warnInUse() const { KT_LOG("The SQLDatabase %s is currently in use.", description().c_str()); }

bool SQLDatabase::databaseExists() const {
  if (m_db) return true;
  KT_LOG("The SQLDatabase %s is not open.", description().c_str());
  return false;
}

std::string SQLDatabase::lastErrorMessage() const { return sqlite3_errmsg(m_db); }

bool SQLDatabase::hadError() const {
  int code = lastErrorCode();
  return code > SQLITE_OK && code < SQLITE_ROW;
}

int SQLDatabase::lastErrorCode() const { return sqlite3_errcode(m_db); }

core::Error SQLDatabase::errorWithMessage(const std::string& message) const {
  return core::Error::withDescription(ErrorDomain, sqlite3_errcode(m_db), message);
}

core::Error SQLDatabase::lastError() const { return errorWithMessage(lastErrorMessage()); }

long long SQLDatabase::lastInsertRowId() {
  if (m_isExecutingStatement) {
    warnInUse();
    return 0;
  }
  ExecutingScope scope(m_isExecutingStatement);
  return m_db ? sqlite3_last_insert_rowid(m_db) : 0;
}

int SQLDatabase::changes() {
  if (m_isExecutingStatement) {
    warnInUse();
    return 0;
  }
  ExecutingScope scope(m_isExecutingStatement);
  return m_db ? sqlite3_changes(m_db) : 0;
}

int SQLDatabase::bindObject(const core::Value& obj, int idx, sqlite3_stmt* pStmt) {
  // Text and blobs are copied: a result set steps long after the arguments are gone.
  switch (obj.type()) {
    case core::Value::Type::Null:
      return sqlite3_bind_null(pStmt, idx);
    case core::Value::Type::Data: {
      const std::string* bytes = obj.asData();
      // An empty buffer still binds a zero-length blob, not NULL.
      return sqlite3_bind_blob64(pStmt, idx, bytes->data(), bytes->size(), SQLITE_TRANSIENT);
    }
    case core::Value::Type::Date:
      return sqlite3_bind_double(pStmt, idx, obj.asDate()->timeIntervalSince1970());
    case core::Value::Type::Bool:
      return sqlite3_bind_int(pStmt, idx, *obj.asBool() ? 1 : 0);
    case core::Value::Type::Integer:
      return sqlite3_bind_int64(pStmt, idx, *obj.asInteger());
    case core::Value::Type::Real:
      return sqlite3_bind_double(pStmt, idx, *obj.asReal());
    case core::Value::Type::String: {
      const std::string* text = obj.asString();
      return sqlite3_bind_text64(pStmt, idx, text->data(), text->size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    }
    default: {
      std::string text = obj.description();
      return sqlite3_bind_text64(pStmt, idx, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    }
  }
}

bool SQLDatabase::retryAfterBusy(int& retries, int busyRetryTimeout) {
  usleep(20);
  if (busyRetryTimeout != 0) {
    if (retries > busyRetryTimeout) return false;
    ++retries;
  }
  return true;
}

void SQLDatabase::logBusy(const char* function, int line) const {
  core::logFormat("%s:%d Database busy (%s)", function, line, m_databasePath ? m_databasePath->c_str() : "(null)");
  KT_LOG("Database busy");
}

sqlite3_stmt* SQLDatabase::prepare(std::string_view sql, core::Error* outErr) {
  sqlite3_stmt* pStmt = nullptr;
  int retries = 0;
  int rc = SQLITE_OK;
  for (;;) {
    rc = sqlite3_prepare_v2(m_db, sql.data(), static_cast<int>(sql.size()), &pStmt, nullptr);
    if (rc != SQLITE_BUSY && rc != SQLITE_LOCKED) break;
    if (!retryAfterBusy(retries, m_busyRetryTimeout)) {
      logBusy(__func__, __LINE__);
      sqlite3_finalize(pStmt);
      return nullptr;
    }
  }
  if (rc != SQLITE_OK) {
    if (m_logsErrors) {
      KT_LOG("DB Error: %d \"%s\"", lastErrorCode(), lastErrorMessage().c_str());
      KT_LOG("DB Query: %.*s", static_cast<int>(sql.size()), sql.data());
      KT_LOG("DB Path: %s", m_databasePath ? m_databasePath->c_str() : "(null)");
    }
    std::string message = lastErrorMessage();
    sqlite3_finalize(pStmt);
    if (outErr) *outErr = errorWithMessage(message);
    return nullptr;
  }
  return pStmt;
}

SQLDatabase::BindResult SQLDatabase::bindArguments(sqlite3_stmt* pStmt, bool reused,
                                                   std::span<const core::Value> arguments,
                                                   const core::Value::Dictionary* dictionary) const {
  int count = sqlite3_bind_parameter_count(pStmt);
  auto bind = [&](const core::Value& value, int idx) {
    int rc = bindObject(value, idx, pStmt);
    if (rc != SQLITE_OK) KT_LOG("Could not bind the argument at %d (%d: %s)", idx, rc, sqlite3_errmsg(m_db));
    return rc == SQLITE_OK;
  };
  if (dictionary) {
    // A reused statement keeps the values of its last use: a parameter no key names binds NULL.
    if (reused) sqlite3_clear_bindings(pStmt);
    for (const auto& [key, value] : *dictionary) {
      int idx = sqlite3_bind_parameter_index(pStmt, (":" + key).c_str());
      if (idx <= 0)
        KT_LOG("Could not find index for %s", key.c_str());
      else if (!bind(value, idx))
        return BindResult::Failed;
    }
    return static_cast<int>(dictionary->size()) == count ? BindResult::Bound : BindResult::CountMismatch;
  }
  // Fewer arguments than parameters is refused rather than run with some left unbound. Every
  // parameter is bound by position, so nothing of a last use is left to clear.
  if (static_cast<int>(arguments.size()) < count) return BindResult::CountMismatch;
  for (int i = 0; i < count; ++i) {
    if (m_traceExecution) KT_LOG("obj: %s", arguments[static_cast<size_t>(i)].description().c_str());
    if (!bind(arguments[static_cast<size_t>(i)], i + 1)) return BindResult::Failed;
  }
  return BindResult::Bound;
}

bool SQLDatabase::shouldCache(std::string_view sql) const {
  return m_shouldCacheStatements && !findCachedStatement(sql);
}

bool SQLDatabase::mayExecute() const {
  if (!databaseExists()) return false;
  if (!m_isExecutingStatement) return true;
  warnInUse();
  return false;
}

sqlite3_stmt* SQLDatabase::boundStatement(std::string_view sql, bool update, core::Error* outErr,
                                          std::span<const core::Value> arguments,
                                          const core::Value::Dictionary* dictionary,
                                          std::shared_ptr<SQLStatement>& statement) {
  const std::shared_ptr<SQLStatement>* cached = m_shouldCacheStatements ? findCachedStatement(sql) : nullptr;
  // A result set still steps the cached statement: binding it again would move that result set's
  // cursor. This use prepares a statement of its own.
  if (cached && !(*cached)->inUse()) statement = *cached;
  sqlite3_stmt* pStmt = statement ? statement->statement() : prepare(sql, outErr);
  if (!pStmt) return nullptr;
  BindResult bound = bindArguments(pStmt, statement != nullptr, arguments, dictionary);
  if (bound == BindResult::Bound) return pStmt;
  if (bound == BindResult::Failed) {
    if (outErr) *outErr = lastError();
    KT_LOG("DB Query: %.*s", static_cast<int>(sql.size()), sql.data());
  } else if (update) {
    KT_LOG("Error: the bind count is not correct for the # of variables (%.*s) (executeUpdate)",
           static_cast<int>(sql.size()), sql.data());
  } else {
    KT_LOG("Error: the bind count is not correct for the # of variables (executeQuery)");
  }
  // A cached statement stays usable in the cache; a fresh one is dropped.
  if (statement)
    sqlite3_reset(pStmt);
  else
    sqlite3_finalize(pStmt);
  statement.reset();
  return nullptr;
}

int SQLDatabase::step(sqlite3_stmt* pStmt, const char* caller, bool& gaveUp) {
  ++m_activeSteps;
  int rc = sqlite3_step(pStmt);
  int retries = 0;
  gaveUp = false;
  while (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
    if (rc == SQLITE_LOCKED) {
      int resetRc = sqlite3_reset(pStmt);
      if (resetRc != SQLITE_LOCKED) {
        KT_LOG("Unexpected result from sqlite3_reset (%d) %s", resetRc, caller);
        rc = resetRc;
      }
    }
    // The limit is read afresh on every retry.
    if (!retryAfterBusy(retries, m_busyRetryTimeout)) {
      logBusy(__func__, __LINE__);
      gaveUp = true;
      break;
    }
    rc = sqlite3_step(pStmt);
  }
  --m_activeSteps;
  return rc;
}

std::unique_ptr<SQLResultSet> SQLDatabase::executeQueryWithArgumentsInArray(std::string_view sql,
                                                                            const std::vector<core::Value>& arguments) {
  return runQuery(sql, arguments, nullptr);
}

std::unique_ptr<SQLResultSet> SQLDatabase::executeQueryWithParameterDictionary(
    std::string_view sql, const core::Value::Dictionary& arguments) {
  return runQuery(sql, {}, &arguments);
}

bool SQLDatabase::executeUpdateWithArgumentsInArray(std::string_view sql, const std::vector<core::Value>& arguments) {
  return runUpdate(sql, nullptr, arguments, nullptr);
}

bool SQLDatabase::executeUpdateWithParameterDictionary(std::string_view sql,
                                                       const core::Value::Dictionary& arguments) {
  return runUpdate(sql, nullptr, {}, &arguments);
}

std::unique_ptr<SQLResultSet> SQLDatabase::runQuery(std::string_view sql, std::span<const core::Value> arguments,
                                                    const core::Value::Dictionary* dictionary) {
  if (!mayExecute()) return nullptr;
  ExecutingScope scope(m_isExecutingStatement);
  if (m_traceExecution)
    KT_LOG("%s executeQuery: %.*s", description().c_str(), static_cast<int>(sql.size()), sql.data());

  std::shared_ptr<SQLStatement> statement;
  sqlite3_stmt* pStmt = boundStatement(sql, false, nullptr, arguments, dictionary, statement);
  if (!pStmt) return nullptr;
  if (!statement) {
    statement = std::make_shared<SQLStatement>();
    statement->setStatement(pStmt);
    if (shouldCache(sql)) setCachedStatement(statement, sql);
  }
  statement->setInUse(true);
  auto rs = SQLResultSet::resultSetWithStatement(statement, shared_from_this());
  rs->setQuery(std::string(sql));
  m_openResultSets.insert(rs.get());
  statement->setUseCount(statement->useCount() + 1);
  return rs;
}

bool SQLDatabase::runUpdate(std::string_view sql, core::Error* outErr, std::span<const core::Value> arguments,
                            const core::Value::Dictionary* dictionary) {
  if (!mayExecute()) return false;
  ExecutingScope scope(m_isExecutingStatement);
  if (m_traceExecution)
    KT_LOG("%s executeUpdate: %.*s", description().c_str(), static_cast<int>(sql.size()), sql.data());

  // A reference of the update's own: an SQL function run by the step may clear the cache or
  // switch it off, and the statement must outlive its step.
  std::shared_ptr<SQLStatement> statement;
  sqlite3_stmt* pStmt = boundStatement(sql, true, outErr, arguments, dictionary, statement);
  if (!pStmt) return false;

  bool gaveUp = false;
  if (statement) statement->setInUse(true);
  int rc = step(pStmt, "eu", gaveUp);
  if (statement) statement->setInUse(false);
  if (!gaveUp && rc != SQLITE_DONE) {
    const char* message = sqlite3_errmsg(m_db);
    if (rc == SQLITE_ERROR)
      KT_LOG("Error calling sqlite3_step (%d: %s) SQLITE_ERROR", rc, message);
    else if (rc == SQLITE_MISUSE)
      KT_LOG("Error calling sqlite3_step (%d: %s) SQLITE_MISUSE", rc, message);
    else
      KT_LOG("Unknown error calling sqlite3_step (%d: %s) eu", rc, message);
    KT_LOG("DB Query: %.*s", static_cast<int>(sql.size()), sql.data());
  }

  if (!statement && shouldCache(sql)) {
    statement = std::make_shared<SQLStatement>();
    statement->setStatement(pStmt);
    setCachedStatement(statement, sql);
  }
  int closeRc;
  // A statement the step's SQL function dropped from the cache is reset too, then finalized as
  // its last reference goes below.
  if (statement) {
    statement->setUseCount(statement->useCount() + 1);
    closeRc = sqlite3_reset(pStmt);
  } else {
    closeRc = sqlite3_finalize(pStmt);
  }
  if (closeRc != SQLITE_OK) {
    KT_LOG("Unknown error finalizing or resetting statement (%d: %s)", closeRc, sqlite3_errmsg(m_db));
    KT_LOG("DB Query: %.*s", static_cast<int>(sql.size()), sql.data());
  }
  return rc == SQLITE_DONE || rc == SQLITE_OK;
}

bool SQLDatabase::extractSQL(std::string_view format, const std::vector<core::Value>& args, std::string& cleanedSQL,
                             std::vector<core::Value>& arguments) {
  size_t nextArg = 0;
  bool failed = false;
  // The next argument, which must be of one of the accepted kinds.
  auto take = [&](std::initializer_list<core::Value::Type> kinds, char conversion) -> const core::Value* {
    if (nextArg >= args.size()) {
      KT_LOG("No argument left for the conversion %%%c", conversion);
      failed = true;
      return nullptr;
    }
    const core::Value& arg = args[nextArg++];
    if (kinds.size() && std::find(kinds.begin(), kinds.end(), arg.type()) == kinds.end()) {
      KT_LOG("The argument %zu does not fit the conversion %%%c", nextArg, conversion);
      failed = true;
      return nullptr;
    }
    return &arg;
  };
  using T = core::Value::Type;
  const std::initializer_list<T> integers = {T::Integer, T::Bool};
  const std::initializer_list<T> numbers = {T::Integer, T::Bool, T::Real};
  auto integer = [&](char conversion) -> std::optional<int64_t> {
    const core::Value* arg = take(integers, conversion);
    if (!arg) return std::nullopt;
    return arg->integerValue();
  };

  cleanedSQL.reserve(format.size());
  char last = '\0';
  for (size_t i = 0; i < format.size() && !failed; ++i) {
    char current = format[i];
    if (last != '%') {
      if (current != '%' && current != '\0') cleanedSQL += current;
      last = current;
      continue;
    }
    char follower = i + 1 < format.size() ? format[i + 1] : '\0';
    std::optional<core::Value> obj;
    switch (current) {
      case '@':
        if (const core::Value* arg = take({}, current); arg && !arg->isNull()) obj = *arg;
        break;
      case 'c':
        if (auto n = integer(current)) obj = core::Value(std::string(1, static_cast<char>(*n)));
        break;
      case 's':
        if (const core::Value* arg = take({T::String, T::Null}, current); arg && arg->isString()) obj = *arg;
        break;
      case 'd':
      case 'D':
      case 'i':
        if (auto n = integer(current)) obj = core::Value(static_cast<int32_t>(*n));
        break;
      case 'u':
      case 'U':
        if (auto n = integer(current)) obj = core::Value(static_cast<uint32_t>(*n));
        break;
      case 'f':
      case 'g':
        if (const core::Value* arg = take(numbers, current)) {
          double d = arg->doubleValue();
          obj = core::Value(current == 'g' ? static_cast<double>(static_cast<float>(d)) : d);
        }
        break;
      case 'h':
        if (follower == 'i' || follower == 'u') {
          ++i;
          if (auto n = integer(current))
            obj = follower == 'i' ? core::Value(static_cast<int16_t>(*n)) : core::Value(static_cast<uint16_t>(*n));
        }
        break;
      case 'q':
      case 'l': {
        size_t width = 1;
        if (current == 'l' && follower == 'l') width = 2;
        char kind = i + width < format.size() ? format[i + width] : '\0';
        bool valid = current == 'q' ? (follower == 'i' || follower == 'u') : (kind == 'd' || kind == 'u');
        if (valid) {
          i += width;
          // Unsigned 64-bit values keep their bits, as they are bound.
          if (auto n = integer(current)) obj = core::Value(*n);
        }
        break;
      }
      default:
        break;
    }
    if (failed) break;
    if (obj) {
      cleanedSQL += '?';
      arguments.push_back(std::move(*obj));
    } else {
      cleanedSQL += current;
    }
    last = current;
  }
  return !failed;
}

bool SQLDatabase::transactionStatement(const char* sql, bool inTransactionAfter) {
  bool ok = executeUpdate(sql);
  if (ok) m_inTransaction = inTransactionAfter;
  return ok;
}

bool SQLDatabase::rollback() { return transactionStatement("rollback transaction", false); }

bool SQLDatabase::commit() { return transactionStatement("commit transaction", false); }

bool SQLDatabase::beginDeferredTransaction() { return transactionStatement("begin deferred transaction", true); }

bool SQLDatabase::beginTransaction() { return transactionStatement("begin exclusive transaction", true); }

bool SQLDatabase::savePointStatement(const std::string& sql, core::Error* outErr) {
  if (executeUpdate(sql)) return true;
  if (outErr) *outErr = lastError();
  return false;
}

bool SQLDatabase::startSavePointWithName(const std::string& name, core::Error* outErr) {
  return savePointStatement("savepoint '" + name + "';", outErr);
}

bool SQLDatabase::releaseSavePointWithName(const std::string& name, core::Error* outErr) {
  return savePointStatement("release savepoint '" + name + "';", outErr);
}

bool SQLDatabase::rollbackToSavePointWithName(const std::string& name, core::Error* outErr) {
  return savePointStatement("rollback transaction to savepoint '" + name + "';", outErr);
}

std::optional<core::Error> SQLDatabase::inSavePoint(const std::function<void(bool& rollback)>& block) {
  std::string name = "dbSavePoint" + std::to_string(s_savePointIdx.fetch_add(1));
  core::Error error;
  if (!startSavePointWithName(name, &error)) return error;
  bool shouldRollback = false;
  block(shouldRollback);
  // Rolling back leaves the save point open (and with it a transaction); it is released as well,
  // so that later changes are not held in a transaction nobody ends.
  if (shouldRollback && !rollbackToSavePointWithName(name, &error)) return error;
  if (!releaseSavePointWithName(name, &error)) return error;
  return std::nullopt;
}

void SQLDatabase::setShouldCacheStatements(bool value) {
  m_shouldCacheStatements = value;
  if (value && !m_cachedStatements) m_cachedStatements.emplace();
  if (!value) {
    m_lastCacheHit = nullptr;
    m_cachedStatements.reset();
  }
}

void SQLDatabase::makeFunctionNamed(const std::string& name, int count, Function block) {
  if (!databaseExists()) return;
  m_openFunctions.push_back(std::make_unique<Function>(std::move(block)));
  sqlite3_create_function(m_db, name.c_str(), count, SQLITE_UTF8, m_openFunctions.back().get(), &callFunction,
                          nullptr, nullptr);
}

}  // namespace kt
