#include "db/SQLDatabase.h"

#include "db/SQLResultSet.h"
#include "db/SQLStatement.h"
#include "platform/core/Log.h"
#include "support/TempHome.h"

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using kt::SQLDatabase;

// Keeps every logged line for the length of a test.
class LogCapture {
 public:
  LogCapture() {
    m_previous = core::setLogSink([this](const std::string& line) { m_lines.push_back(line); });
  }
  ~LogCapture() { core::setLogSink(m_previous); }
  int count(const std::string& text) const {
    int n = 0;
    for (const auto& line : m_lines) n += line.find(text) != std::string::npos;
    return n;
  }

 private:
  core::LogSink m_previous;
  std::vector<std::string> m_lines;
};

class SQLDatabaseTest : public support::TempHomeTest {
 protected:
  std::string path() const { return homePath() + "/test.db"; }
  std::shared_ptr<SQLDatabase> openDatabase() {
    auto db = SQLDatabase::databaseWithPath(path());
    EXPECT_TRUE(db->open());
    return db;
  }
  int rowCount(SQLDatabase& db, const std::string& table) {
    auto rs = db.executeQuery("select count(*) from " + table);
    return rs && rs->next() ? rs->intForColumnIndex(0) : -1;
  }
  // A table t of the rows 1 to 5, and same(x), which runs m_hook and answers x.
  std::shared_ptr<SQLDatabase> openFiveRows() {
    auto db = openDatabase();
    EXPECT_TRUE(db->executeUpdate("create table t (a)"));
    EXPECT_TRUE(db->executeUpdate("insert into t values (1), (2), (3), (4), (5)"));
    db->makeFunctionNamed("same", 1, [this](sqlite3_context* context, int, sqlite3_value** argv) {
      if (m_hook) m_hook();
      sqlite3_result_value(context, argv[0]);
    });
    return db;
  }
  static std::string readAll(const std::unique_ptr<kt::SQLResultSet>& rs) {
    std::string read;
    while (rs && rs->next()) read += std::to_string(rs->intForColumnIndex(0));
    return read;
  }
  std::function<void()> m_hook;
  LogCapture m_log;
};

TEST_F(SQLDatabaseTest, OpenAndCloseStates) {
  auto db = SQLDatabase::databaseWithPath(path());
  EXPECT_FALSE(db->executeUpdate("create table t (a)"));
  EXPECT_EQ(m_log.count("is not open."), 1);
  ASSERT_TRUE(db->open());
  sqlite3* handle = db->sqliteHandle();
  EXPECT_TRUE(db->open());
  EXPECT_TRUE(db->openWithFlags(SQLITE_OPEN_READONLY));
  EXPECT_EQ(db->sqliteHandle(), handle);
  EXPECT_TRUE(db->goodConnection());
  EXPECT_FALSE(db->setKey("k"));
  EXPECT_FALSE(db->rekey("k"));
  EXPECT_TRUE(db->close());
  EXPECT_EQ(db->sqliteHandle(), nullptr);
  EXPECT_FALSE(db->goodConnection());

  auto memory = SQLDatabase::databaseWithPath(std::nullopt);
  ASSERT_TRUE(memory->open());
  EXPECT_TRUE(memory->executeUpdate("create table t (a)"));
}

TEST_F(SQLDatabaseTest, FailedOpenLeavesNoHandle) {
  auto db = SQLDatabase::databaseWithPath(homePath() + "/missing/folder/x.db");
  EXPECT_FALSE(db->open());
  EXPECT_EQ(m_log.count("error opening!: "), 1);
  EXPECT_EQ(db->sqliteHandle(), nullptr);
  EXPECT_FALSE(db->open());
  EXPECT_FALSE(db->executeUpdate("create table t (a)"));
  auto readOnly = SQLDatabase::databaseWithPath(path());
  EXPECT_FALSE(readOnly->openWithFlags(SQLITE_OPEN_READONLY));
  EXPECT_EQ(readOnly->sqliteHandle(), nullptr);
}

TEST_F(SQLDatabaseTest, TypesInAndOut) {
  auto db = openDatabase();
  ASSERT_TRUE(db->executeUpdate("create table t (i, r, s, b, d, n, e, f)"));
  core::Date date(1400000000.5);
  ASSERT_TRUE(db->executeUpdate("insert into t values (?, ?, ?, ?, ?, ?, ?, ?)", int64_t{-1}, 2.5, "文字 text",
                                core::Value::data(std::string("\0\1\2", 3)), date, nullptr,
                                core::Value::data(std::string()), true));
  EXPECT_EQ(db->lastInsertRowId(), 1);
  EXPECT_EQ(db->changes(), 1);
  auto rs = db->executeQuery("select * from t");
  ASSERT_TRUE(rs);
  EXPECT_FALSE(rs->resultDictionary());
  EXPECT_EQ(m_log.count("There seem to be no columns in this set."), 1);
  ASSERT_TRUE(rs->next());
  EXPECT_EQ(rs->objectForColumnName("I"), core::Value(int64_t{-1}));
  EXPECT_EQ(rs->unsignedLongLongIntForColumn("i"), 18446744073709551615ull);
  EXPECT_EQ(rs->objectForColumnName("r"), core::Value(2.5));
  EXPECT_EQ(rs->stringForColumn("s"), "文字 text");
  EXPECT_EQ(rs->dataForColumn("b"), std::string("\0\1\2", 3));
  EXPECT_EQ(rs->dateForColumn("d")->timeIntervalSince1970(), 1400000000.5);
  EXPECT_TRUE(rs->columnIsNull("n"));
  EXPECT_FALSE(rs->stringForColumn("n"));
  EXPECT_TRUE(rs->objectForColumnName("n").isNull());
  EXPECT_EQ(rs->intForColumn("n"), 0);
  EXPECT_FALSE(rs->columnIsNull("e"));  // an empty blob, not NULL
  EXPECT_EQ(rs->dataForColumn("e"), std::string());
  EXPECT_EQ(rs->intForColumn("f"), 1);
  // A missing column: -1, empty answers, no reads outside the row.
  EXPECT_EQ(rs->columnIndexForName("nope"), -1);
  EXPECT_EQ(m_log.count("Warning: I could not find the column named 'nope'."), 1);
  EXPECT_EQ(rs->longLongIntForColumn("nope"), 0);
  EXPECT_EQ(rs->doubleForColumn("nope"), 0);
  EXPECT_FALSE(rs->dataForColumn("nope"));
  EXPECT_EQ(rs->utf8StringForColumnName("nope"), nullptr);
  auto dict = rs->resultDict();
  ASSERT_TRUE(dict);
  EXPECT_EQ(dict->size(), 8u);
  EXPECT_EQ((*dict)["s"], core::Value("文字 text"));
  EXPECT_FALSE(rs->next());
  EXPECT_FALSE(rs->next());  // closed
  EXPECT_FALSE(db->hasOpenResultSets());
}

TEST_F(SQLDatabaseTest, ColumnNamesDifferingInCase) {
  auto db = openDatabase();
  auto rs = db->executeQuery("select 1 as Name, 2 as name");
  ASSERT_TRUE(rs && rs->next());
  EXPECT_EQ(rs->intForColumn("NAME"), 2);
  EXPECT_EQ(rs->resultDict()->size(), 1u);
  EXPECT_EQ(rs->resultDictionary()->size(), 2u);
  std::vector<std::string> keys;
  rs->kvcMagic([&](const std::string& key, const std::string& text) { keys.push_back(key + "=" + text); });
  EXPECT_EQ(keys, (std::vector<std::string>{"Name=1", "name=2"}));
}

// The bound text is gone by the time the result set steps: SQLite must have copied it.
TEST_F(SQLDatabaseTest, BoundTextAndBlobOutliveTheirArguments) {
  auto db = openDatabase();
  auto rs = db->executeQuery("select ?, ?", std::string(200, 'x'), core::Value::data(std::string(300, 'y')));
  ASSERT_TRUE(rs && rs->next());
  EXPECT_EQ(rs->stringForColumnIndex(0), std::string(200, 'x'));
  EXPECT_EQ(rs->dataForColumnIndex(1), std::string(300, 'y'));
}

TEST_F(SQLDatabaseTest, DataNoCopyFollowsTheCursor) {
  auto db = openDatabase();
  ASSERT_TRUE(db->executeUpdate("create table t (b)"));
  ASSERT_TRUE(db->executeUpdate("insert into t values (?)", core::Value::data("aaaa")));
  ASSERT_TRUE(db->executeUpdate("insert into t values (?)", core::Value::data("bbbb")));
  auto rs = db->executeQuery("select b from t order by rowid");
  ASSERT_TRUE(rs && rs->next());
  auto copy = rs->dataForColumnIndex(0);
  EXPECT_EQ(rs->dataNoCopyForColumnIndex(0), "aaaa");
  ASSERT_TRUE(rs->next());
  EXPECT_EQ(copy, "aaaa");
  EXPECT_EQ(rs->dataNoCopyForColumnIndex(0), "bbbb");
}

TEST_F(SQLDatabaseTest, BindCountChecks) {
  auto db = openDatabase();
  ASSERT_TRUE(db->executeUpdate("create table t (a, b)"));
  // Fewer positional arguments than parameters: refused.
  EXPECT_FALSE(db->executeUpdate("insert into t values (?, ?)", 1));
  EXPECT_EQ(m_log.count("Error: the bind count is not correct for the # of variables (insert into t values (?, ?)) "
                        "(executeUpdate)"),
            1);
  EXPECT_FALSE(db->executeQuery("select ?, ?", 1));
  EXPECT_EQ(m_log.count("Error: the bind count is not correct for the # of variables (executeQuery)"), 1);
  EXPECT_EQ(rowCount(*db, "t"), 0);
  // Extra ones are ignored.
  EXPECT_TRUE(db->executeUpdate("insert into t values (?, ?)", 1, 2, 3));
  // Named: an unknown key is logged; with a matching count the statement still runs.
  EXPECT_TRUE(db->executeUpdateWithParameterDictionary("insert into t values (:a, :b)", {{"a", 5}, {"c", 6}}));
  EXPECT_EQ(m_log.count("Could not find index for c"), 1);
  auto rs = db->executeQueryWithParameterDictionary("select b from t where a = :a", {{"a", 5}});
  ASSERT_TRUE(rs && rs->next());
  EXPECT_TRUE(rs->columnIndexIsNull(0));
  EXPECT_FALSE(db->executeQueryWithParameterDictionary("select :a", {{"a", 1}, {"b", 2}}));
}

TEST_F(SQLDatabaseTest, CachedStatementBindsNullForANameTheDictionaryLacks) {
  auto db = openDatabase();
  db->setShouldCacheStatements(true);
  ASSERT_TRUE(db->executeUpdate("create table t (a, b)"));
  const std::string insert = "insert into t values (:a, :b)";
  ASSERT_TRUE(db->executeUpdateWithParameterDictionary(insert, {{"a", 1}, {"b", "first"}}));
  // Same statement from the cache; "b" is missing (the count still matches, so it runs).
  ASSERT_TRUE(db->executeUpdateWithParameterDictionary(insert, {{"a", 2}, {"c", "other"}}));
  auto rs = db->executeQuery("select b from t where a = 2");
  ASSERT_TRUE(rs && rs->next());
  EXPECT_TRUE(rs->columnIndexIsNull(0)) << rs->stringForColumnIndex(0).value_or("");
}

TEST_F(SQLDatabaseTest, CachedStatementFailingTheBindCountStaysUsable) {
  auto db = openDatabase();
  db->setShouldCacheStatements(true);
  ASSERT_TRUE(db->executeUpdate("create table t (a)"));
  const std::string insert = "insert into t values (?)";
  ASSERT_TRUE(db->executeUpdate(insert, 1));
  auto cached = db->cachedStatementForQuery(insert);
  ASSERT_TRUE(cached && cached->statement());
  EXPECT_FALSE(db->executeUpdate(insert));
  EXPECT_EQ(db->cachedStatementForQuery(insert), cached);
  EXPECT_TRUE(db->executeUpdate(insert, 2));
  EXPECT_EQ(cached->useCount(), 2);
  EXPECT_EQ(rowCount(*db, "t"), 2);

  const std::string select = "select a from t where a = ?";
  ASSERT_TRUE(db->executeQuery(select, 1));
  EXPECT_FALSE(db->executeQuery(select));
  auto rs = db->executeQuery(select, 2);
  ASSERT_TRUE(rs && rs->next());
  EXPECT_EQ(rs->intForColumnIndex(0), 2);
  EXPECT_EQ(db->cachedStatementForQuery(select)->useCount(), 2);
  EXPECT_NE(db->cachedStatementForQuery(select)->description().find("2 hit(s) for query " + select),
            std::string::npos);
  rs.reset();
  db->setShouldCacheStatements(false);
  EXPECT_FALSE(db->cachedStatements());
  EXPECT_TRUE(db->executeUpdate(insert, 3));
}

TEST_F(SQLDatabaseTest, OverlappingResultSetsOfOneCachedQueryEachReadTheirOwnRows) {
  auto db = openDatabase();
  db->setShouldCacheStatements(true);
  ASSERT_TRUE(db->executeUpdate("create table t (a)"));
  for (int a = 1; a <= 5; ++a) ASSERT_TRUE(db->executeUpdate("insert into t values (?)", a));
  auto rows = [](kt::SQLResultSet& rs) {
    std::string read;
    while (rs.next()) read += std::to_string(rs.intForColumnIndex(0));
    return read;
  };
  const std::string select = "select a from t where a >= ? order by a";
  auto first = db->executeQuery(select, 1);
  ASSERT_TRUE(first && first->next());
  EXPECT_EQ(first->intForColumnIndex(0), 1);
  auto second = db->executeQuery(select, 4);
  ASSERT_TRUE(second);
  // An update of the same text while both step does not touch them either.
  EXPECT_FALSE(db->executeUpdate(select, 3));
  EXPECT_EQ(rows(*second), "45");
  EXPECT_EQ(rows(*first), "2345");
  // Both closed: the cached statement serves the next query.
  auto third = db->executeQuery(select, 2);
  ASSERT_TRUE(third);
  EXPECT_EQ(rows(*third), "2345");
  EXPECT_EQ(db->cachedStatementForQuery(select)->useCount(), 2);
  // Closing empties the cache; reopened, the text is prepared and cached afresh.
  ASSERT_TRUE(db->close());
  ASSERT_TRUE(db->open());
  auto fourth = db->executeQuery(select, 5);
  ASSERT_TRUE(fourth);
  EXPECT_EQ(rows(*fourth), "5");
  EXPECT_EQ(db->cachedStatementForQuery(select)->useCount(), 1);
}

// A value SQLite refuses to bind fails the update with SQLite's error and writes nothing.
TEST_F(SQLDatabaseTest, AFailedBindIsAnError) {
  auto db = openDatabase();
  ASSERT_TRUE(db->executeUpdate("create table t (a, b)"));
  sqlite3_limit(db->sqliteHandle(), SQLITE_LIMIT_LENGTH, 100);
  core::Error error;
  EXPECT_FALSE(db->update("insert into t values (?, ?)", &error, 1, std::string(200, 'x')));
  EXPECT_EQ(error.code(), SQLITE_TOOBIG);
  EXPECT_EQ(m_log.count("Could not bind the argument at 2 (18: "), 1);
  EXPECT_FALSE(db->executeQueryWithParameterDictionary("select :a", {{"a", std::string(200, 'x')}}));
  EXPECT_EQ(rowCount(*db, "t"), 0);
}

TEST_F(SQLDatabaseTest, CloseClosesOpenResultSets) {
  auto db = openDatabase();
  db->setShouldCacheStatements(true);
  auto rs = db->executeQuery("select 1 union select 2");
  ASSERT_TRUE(rs && rs->next());
  EXPECT_TRUE(db->hasOpenResultSets());
  EXPECT_TRUE(db->close());
  EXPECT_FALSE(db->hasOpenResultSets());
  EXPECT_FALSE(rs->next());
  EXPECT_FALSE(rs->hasAnotherRow());
  // A result set keeps its connection alive.
  auto other = openDatabase();
  auto kept = other->executeQuery("select 1");
  other.reset();
  ASSERT_TRUE(kept && kept->next());
  EXPECT_EQ(kept->intForColumnIndex(0), 1);
}

TEST_F(SQLDatabaseTest, StepErrorsAndSQLErrors) {
  auto db = openDatabase();
  db->setLogsErrors(true);
  core::Error error;
  EXPECT_FALSE(db->update("create tabel t (a)", &error));
  EXPECT_EQ(error.domain(), SQLDatabase::ErrorDomain);
  EXPECT_EQ(error.code(), SQLITE_ERROR);
  EXPECT_EQ(m_log.count("DB Query: create tabel t (a)"), 1);
  EXPECT_TRUE(db->hadError());
  EXPECT_FALSE(db->executeUpdate("select 1"));
  EXPECT_EQ(m_log.count("Unknown error calling sqlite3_step (100: "), 1);
  EXPECT_FALSE(db->executeQuery("select * from nowhere"));
  EXPECT_EQ(db->lastError().code(), SQLITE_ERROR);
}

TEST_F(SQLDatabaseTest, ReentryIsRefused) {
  auto db = openDatabase();
  bool inner = true;
  db->makeFunctionNamed("reenter", 0, [&](sqlite3_context* context, int, sqlite3_value**) {
    inner = db->executeUpdate("create table x (a)");
    sqlite3_result_int(context, 7);
  });
  ASSERT_TRUE(db->executeUpdate("create table t (a)"));
  ASSERT_TRUE(db->executeUpdate("insert into t values (reenter())"));
  EXPECT_FALSE(inner);
  EXPECT_EQ(rowCount(*db, "t"), 1);
  EXPECT_EQ(m_log.count("is currently in use."), 1);
}

// A cleared or switched-off cache lets go of a statement in use only when its user does: an open
// result set reads every row, and an SQL function's clear or switch leaves its step the statement.
TEST_F(SQLDatabaseTest, TheCacheLetsGoOfAStatementInUseWhenItsUserDoes) {
  auto db = openFiveRows();
  db->setShouldCacheStatements(true);
  const std::string select = "select same(a) from t", insert = "insert into t values (same(6))";
  auto rs = db->executeQuery(select);
  ASSERT_TRUE(rs && rs->next());
  db->clearCachedStatements();
  EXPECT_EQ("1" + readAll(rs), "12345");

  m_hook = [&] { db->clearCachedStatements(); };
  EXPECT_EQ(readAll(db->executeQuery(select)), "12345");
  ASSERT_TRUE(db->executeUpdate(insert));
  EXPECT_TRUE(db->executeUpdate(insert));
  EXPECT_FALSE(db->cachedStatementForQuery(insert));
  m_hook = nullptr;
  ASSERT_TRUE(db->executeUpdate(insert));
  m_hook = [&] { db->setShouldCacheStatements(false); };
  EXPECT_TRUE(db->executeUpdate(insert));
  EXPECT_EQ(rowCount(*db, "t"), 9);
}

// From an SQL function: the connection does not close under the step that called it, and a result
// set closed from its own step closes as that step ends.
TEST_F(SQLDatabaseTest, ClosingFromInsideAStep) {
  auto db = openFiveRows();
  int refused = 0;
  m_hook = [&] { refused += !db->close(); };
  EXPECT_EQ(readAll(db->executeQuery("select same(a) from t")), "12345");
  EXPECT_TRUE(db->executeUpdate("insert into t values (same(6))"));
  EXPECT_EQ(refused, 6);

  auto other = db->executeQuery("select a from t");
  auto rs = db->executeQuery("select same(a) from t");
  m_hook = [&] { rs->close(); };
  EXPECT_FALSE(rs->next());
  rs = db->executeQuery("select same(a) from t");
  SQLDatabase* connection = db.get();
  db.reset();  // the result sets alone hold it now
  m_hook = [&] {
    EXPECT_FALSE(rs->next());
    connection->closeOpenResultSets();
  };
  EXPECT_FALSE(rs->next());
  EXPECT_FALSE(other->next());
}

// An SQL function of a set's own query may destroy the set: the step ends without touching it,
// the connection forgets it, and the connection then closes and opens again as usual.
TEST_F(SQLDatabaseTest, DestroyingFromInsideAStep) {
  for (bool caching : {false, true}) {
    SCOPED_TRACE(caching ? "caching" : "no caching");
    auto db = openFiveRows();
    db->setShouldCacheStatements(caching);
    auto rs = db->executeQuery("select same(a) from t");
    ASSERT_TRUE(rs && rs->next());
    kt::SQLResultSet* stepping = rs.get();
    m_hook = [&] { rs.reset(); };
    EXPECT_FALSE(stepping->next());
    m_hook = nullptr;
    EXPECT_FALSE(db->hasOpenResultSets());
    EXPECT_TRUE(db->close());
    ASSERT_TRUE(db->open());
    EXPECT_EQ(readAll(db->executeQuery("select a from t")), "12345");
    EXPECT_TRUE(db->executeUpdate("drop table t"));
    EXPECT_TRUE(db->close());
  }
}

TEST_F(SQLDatabaseTest, CustomFunctions) {
  auto db = openDatabase();
  db->makeFunctionNamed("twice", 1, [](sqlite3_context* context, int argc, sqlite3_value** argv) {
    ASSERT_EQ(argc, 1);
    sqlite3_result_int64(context, 2 * sqlite3_value_int64(argv[0]));
  });
  db->makeFunctionNamed("fails", 0, [](sqlite3_context*, int, sqlite3_value**) { throw std::runtime_error("x"); });
  auto rs = db->executeQuery("select twice(?)", 21);
  ASSERT_TRUE(rs && rs->next());
  EXPECT_EQ(rs->longForColumnIndex(0), 42);
  auto failing = db->executeQuery("select fails()");
  ASSERT_TRUE(failing);
  EXPECT_FALSE(failing->next());
  EXPECT_EQ(m_log.count("Error calling sqlite3_step (1: the function failed) rs"), 1);
}

TEST_F(SQLDatabaseTest, Transactions) {
  auto db = openDatabase();
  ASSERT_TRUE(db->executeUpdate("create table t (a)"));
  ASSERT_TRUE(db->beginTransaction());
  EXPECT_TRUE(db->inTransaction());
  ASSERT_TRUE(db->executeUpdate("insert into t values (1)"));
  ASSERT_TRUE(db->rollback());
  EXPECT_FALSE(db->inTransaction());
  EXPECT_EQ(rowCount(*db, "t"), 0);
  ASSERT_TRUE(db->beginDeferredTransaction());
  ASSERT_TRUE(db->executeUpdate("insert into t values (1)"));
  ASSERT_TRUE(db->commit());
  EXPECT_FALSE(db->commit());
  EXPECT_EQ(rowCount(*db, "t"), 1);
}

TEST_F(SQLDatabaseTest, SavePoints) {
  auto db = openDatabase();
  ASSERT_TRUE(db->executeUpdate("create table t (a)"));
  long first = SQLDatabase::savePointCount();
  auto error = db->inSavePoint([&](bool& rollback) {
    EXPECT_TRUE(db->executeUpdate("insert into t values (1)"));
    rollback = true;
  });
  EXPECT_FALSE(error);
  EXPECT_EQ(rowCount(*db, "t"), 0);
  EXPECT_EQ(SQLDatabase::savePointCount(), first + 1);
  // No transaction is left open: another connection sees what is written next.
  ASSERT_TRUE(db->executeUpdate("insert into t values (2)"));
  auto other = openDatabase();
  EXPECT_EQ(rowCount(*other, "t"), 1);

  EXPECT_FALSE(db->inSavePoint([&](bool&) { EXPECT_TRUE(db->executeUpdate("insert into t values (3)")); }));
  EXPECT_EQ(rowCount(*other, "t"), 2);
  core::Error saveError;
  EXPECT_FALSE(db->releaseSavePointWithName("nothing", &saveError));
  EXPECT_EQ(saveError.code(), SQLITE_ERROR);
  EXPECT_TRUE(db->startSavePointWithName("a"));
  EXPECT_TRUE(db->executeUpdate("insert into t values (4)"));
  EXPECT_TRUE(db->rollbackToSavePointWithName("a"));
  EXPECT_TRUE(db->releaseSavePointWithName("a"));
  EXPECT_EQ(rowCount(*other, "t"), 2);
}

TEST_F(SQLDatabaseTest, BusyRetryAgainstAnotherConnectionsLock) {
  auto db = openDatabase();
  ASSERT_TRUE(db->executeUpdate("create table t (a)"));
  auto holder = openDatabase();
  ASSERT_TRUE(holder->beginTransaction());
  db->setBusyRetryTimeout(1);
  EXPECT_FALSE(db->executeUpdate("insert into t values (1)"));
  EXPECT_EQ(m_log.count("Database busy ("), 1);
  EXPECT_EQ(m_log.count("Database busy"), 2);
  auto rs = db->executeQuery("select * from t");
  ASSERT_TRUE(rs);
  EXPECT_FALSE(rs->next());
  EXPECT_EQ(m_log.count("Database busy ("), 2);
  ASSERT_TRUE(holder->commit());
  EXPECT_TRUE(db->executeUpdate("insert into t values (1)"));
  EXPECT_EQ(rowCount(*db, "t"), 1);
}

TEST_F(SQLDatabaseTest, FormatExtraction) {
  std::string sql;
  std::vector<core::Value> args;
  ASSERT_TRUE(SQLDatabase::extractSQL("insert into t values (%d, %@, %s)", {7, 2.5, "x"}, sql, args));
  EXPECT_EQ(sql, "insert into t values (?, ?, ?)");
  EXPECT_EQ(args, (std::vector<core::Value>{7, 2.5, "x"}));

  sql.clear();
  args.clear();
  // "%%" writes one '%' and the letter after it is still a conversion; unknown letters are
  // written without their '%'; h, q and l take their followers.
  ASSERT_TRUE(SQLDatabase::extractSQL("a %%d %x %hi %qu %lld %llx %u %c %g", {1, 2, -1, 4, -1, 65, 0.1}, sql, args));
  EXPECT_EQ(sql, "a %? x ? ? ? llx ? ? ?");
  EXPECT_EQ(args, (std::vector<core::Value>{1, 2, -1, 4, int64_t{4294967295}, "A", double(0.1f)}));

  // Running out of arguments or a wrong kind fails the call.
  EXPECT_FALSE(SQLDatabase::extractSQL("%%d", {}, sql, args));
  EXPECT_FALSE(SQLDatabase::extractSQL("%d", {"text"}, sql, args));
  EXPECT_FALSE(SQLDatabase::extractSQL("%s", {1}, sql, args));

  auto db = openDatabase();
  ASSERT_TRUE(db->executeUpdate("create table t (a, b, c)"));
  EXPECT_TRUE(db->executeUpdateWithFormat("insert into t values (%d, %@, %s)", 1, 2.5, "z"));
  EXPECT_FALSE(db->executeUpdateWithFormat("insert into t values (%d, %d, %d)", 1, 2));
  auto rs = db->executeQueryWithFormat("select b, c from t where a = %d", 1);
  ASSERT_TRUE(rs && rs->next());
  EXPECT_EQ(rs->doubleForColumn("b"), 2.5);
  EXPECT_EQ(rs->stringForColumn("c"), "z");
}

}  // namespace
