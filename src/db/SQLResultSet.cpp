#include "db/SQLResultSet.h"

#include "db/SQLDatabase.h"
#include "db/SQLStatement.h"
#include "platform/core/Log.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>

namespace kt {

namespace {

std::string lowercased(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

}  // namespace

std::unique_ptr<SQLResultSet> SQLResultSet::resultSetWithStatement(std::shared_ptr<SQLStatement> statement,
                                                                   std::shared_ptr<SQLDatabase> parentDB) {
  std::unique_ptr<SQLResultSet> rs(new SQLResultSet());
  rs->m_statement = std::move(statement);
  rs->m_parentDB = std::move(parentDB);
  return rs;
}

// Filled by the destructor when an SQL function destroys the set under its step. The connection is
// released after the statement: the last reference to either may be here.
struct SQLResultSet::Step {
  bool destroyed = false;
  std::shared_ptr<SQLDatabase> parentDB;
  std::shared_ptr<SQLStatement> statement;
};

SQLResultSet::~SQLResultSet() {
  if (!m_step) {
    close();
    return;
  }
  // Destroyed from inside its own step: the statement cannot be reset or let go under the step,
  // so next() takes it over, with the connection that steps it; the connection forgets the set now.
  m_step->destroyed = true;
  m_step->statement = std::move(m_statement);
  if (m_parentDB) m_parentDB->resultSetDidClose(this);
  m_step->parentDB = std::move(m_parentDB);
}

void SQLResultSet::close() {
  // The statement cannot be reset or let go under its own step.
  if (m_step) {
    m_closeAfterStep = true;
    return;
  }
  if (m_statement) {
    m_statement->reset();
    m_statement->setInUse(false);
    m_statement.reset();
  }
  // The parent may hold its last reference here: let it go only after telling it.
  if (auto parent = std::move(m_parentDB)) parent->resultSetDidClose(this);
}

int SQLResultSet::columnCount() const {
  return m_statement ? sqlite3_column_count(m_statement->statement()) : 0;
}

void SQLResultSet::setupColumnNames() {
  int count = columnCount();
  for (int i = 0; i < count; ++i)
    m_columnNameToIndexMap[lowercased(sqlite3_column_name(m_statement->statement(), i))] = i;
  m_columnNamesSetup = true;
}

void SQLResultSet::kvcMagic(const std::function<void(const std::string&, const std::string&)>& setValue) const {
  if (!m_statement) return;
  sqlite3_stmt* st = m_statement->statement();
  int count = sqlite3_data_count(st);
  for (int i = 0; i < count; ++i) {
    if (const unsigned char* text = sqlite3_column_text(st, i))
      setValue(sqlite3_column_name(st, i), reinterpret_cast<const char*>(text));
  }
}

std::optional<core::Value::Dictionary> SQLResultSet::resultDict() {
  if (!m_statement || sqlite3_data_count(m_statement->statement()) == 0) {
    KT_LOG("Warning: There seem to be no columns in this set.");
    return std::nullopt;
  }
  if (!m_columnNamesSetup) setupColumnNames();
  core::Value::Dictionary dict;
  for (const auto& [name, idx] : m_columnNameToIndexMap) dict[name] = objectForColumnIndex(idx);
  return dict;
}

std::optional<core::Value::Dictionary> SQLResultSet::resultDictionary() const {
  if (!m_statement || sqlite3_data_count(m_statement->statement()) == 0) {
    KT_LOG("Warning: There seem to be no columns in this set.");
    return std::nullopt;
  }
  core::Value::Dictionary dict;
  int count = columnCount();
  for (int i = 0; i < count; ++i) dict[columnNameForIndex(i)] = objectForColumnIndex(i);
  return dict;
}

bool SQLResultSet::next() {
  if (!m_statement || !m_parentDB) return false;
  if (m_step) {
    KT_LOG("Warning: next() called from inside the result set's own step (%s); refused.", m_query.c_str());
    return false;
  }
  sqlite3_stmt* st = m_statement->statement();
  // Alive until this call ends: held by the set, or by running when the step destroys the set.
  SQLDatabase* db = m_parentDB.get();
  bool gaveUp = false;
  Step running;
  m_step = &running;
  int rc = db->step(st, "rs", gaveUp);
  if (!gaveUp && rc != SQLITE_ROW && rc != SQLITE_DONE) {
    const char* message = sqlite3_errmsg(db->sqliteHandle());
    if (rc == SQLITE_ERROR || rc == SQLITE_MISUSE)
      KT_LOG("Error calling sqlite3_step (%d: %s) rs", rc, message);
    else
      KT_LOG("Unknown error calling sqlite3_step (%d: %s) rs", rc, message);
  }
  // The set is gone: nothing of it is touched; the statement is put back for its next user.
  if (running.destroyed) {
    running.statement->reset();
    running.statement->setInUse(false);
    return false;
  }
  m_step = nullptr;
  // A close asked for during the step ends the set now, the row it stepped to unread.
  if (rc == SQLITE_ROW && !m_closeAfterStep) return true;
  close();
  return false;
}

bool SQLResultSet::hasAnotherRow() const {
  return m_parentDB && m_parentDB->sqliteHandle() && sqlite3_errcode(m_parentDB->sqliteHandle()) == SQLITE_ROW;
}

int SQLResultSet::columnIndexForName(const std::string& columnName) {
  if (!m_columnNamesSetup) setupColumnNames();
  std::string key = lowercased(columnName);
  auto it = m_columnNameToIndexMap.find(key);
  if (it != m_columnNameToIndexMap.end()) return it->second;
  KT_LOG("Warning: I could not find the column named '%s'.", key.c_str());
  return -1;
}

std::string SQLResultSet::columnNameForIndex(int columnIdx) const {
  if (!m_statement || columnIdx < 0 || columnIdx >= columnCount()) return {};
  const char* name = sqlite3_column_name(m_statement->statement(), columnIdx);
  return name ? name : "";
}

bool SQLResultSet::validColumn(int columnIdx) const {
  return m_statement && columnIdx >= 0 && columnIdx < sqlite3_data_count(m_statement->statement());
}

int SQLResultSet::intForColumnIndex(int columnIdx) const {
  return validColumn(columnIdx) ? sqlite3_column_int(m_statement->statement(), columnIdx) : 0;
}

long SQLResultSet::longForColumnIndex(int columnIdx) const {
  return static_cast<long>(longLongIntForColumnIndex(columnIdx));
}

long long SQLResultSet::longLongIntForColumnIndex(int columnIdx) const {
  return validColumn(columnIdx) ? sqlite3_column_int64(m_statement->statement(), columnIdx) : 0;
}

unsigned long long SQLResultSet::unsignedLongLongIntForColumnIndex(int columnIdx) const {
  return static_cast<unsigned long long>(longLongIntForColumnIndex(columnIdx));
}

bool SQLResultSet::boolForColumnIndex(int columnIdx) const { return intForColumnIndex(columnIdx) != 0; }

double SQLResultSet::doubleForColumnIndex(int columnIdx) const {
  return validColumn(columnIdx) ? sqlite3_column_double(m_statement->statement(), columnIdx) : 0;
}

std::optional<std::string> SQLResultSet::stringForColumnIndex(int columnIdx) const {
  const char* text = utf8StringForColumnIndex(columnIdx);
  if (!text) return std::nullopt;
  return std::string(text, static_cast<size_t>(sqlite3_column_bytes(m_statement->statement(), columnIdx)));
}

std::optional<core::Date> SQLResultSet::dateForColumnIndex(int columnIdx) const {
  if (columnIndexIsNull(columnIdx)) return std::nullopt;
  return core::Date::fromTimeIntervalSince1970(doubleForColumnIndex(columnIdx));
}

std::optional<std::string> SQLResultSet::dataForColumnIndex(int columnIdx) const {
  auto bytes = dataNoCopyForColumnIndex(columnIdx);
  if (!bytes) return std::nullopt;
  return std::string(*bytes);
}

std::optional<std::string_view> SQLResultSet::dataNoCopyForColumnIndex(int columnIdx) const {
  if (columnIndexIsNull(columnIdx)) return std::nullopt;
  sqlite3_stmt* st = m_statement->statement();
  const void* blob = sqlite3_column_blob(st, columnIdx);
  int size = sqlite3_column_bytes(st, columnIdx);
  if (!blob || size <= 0) return std::string_view();
  return std::string_view(static_cast<const char*>(blob), static_cast<size_t>(size));
}

bool SQLResultSet::columnIndexIsNull(int columnIdx) const {
  // An index outside the row reads as NULL, so that every getter answers its empty value.
  return !validColumn(columnIdx) || sqlite3_column_type(m_statement->statement(), columnIdx) == SQLITE_NULL;
}

const char* SQLResultSet::utf8StringForColumnIndex(int columnIdx) const {
  if (columnIndexIsNull(columnIdx)) return nullptr;
  return reinterpret_cast<const char*>(sqlite3_column_text(m_statement->statement(), columnIdx));
}

core::Value SQLResultSet::objectForColumnIndex(int columnIdx) const {
  if (!validColumn(columnIdx)) return core::Value();
  switch (sqlite3_column_type(m_statement->statement(), columnIdx)) {
    case SQLITE_BLOB: {
      auto bytes = dataNoCopyForColumnIndex(columnIdx);
      return bytes ? core::Value::data(*bytes) : core::Value();
    }
    case SQLITE_FLOAT:
      return core::Value(doubleForColumnIndex(columnIdx));
    case SQLITE_INTEGER:
      return core::Value(longLongIntForColumnIndex(columnIdx));
    default: {
      auto text = stringForColumnIndex(columnIdx);
      return text ? core::Value(std::move(*text)) : core::Value();
    }
  }
}

}  // namespace kt
