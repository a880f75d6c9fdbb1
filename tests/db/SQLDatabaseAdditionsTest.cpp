#include "db/SQLDatabaseAdditions.h"

#include "DbTestSupport.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

namespace kt {
namespace {

using namespace SQLDatabaseAdditions;

class SQLDatabaseAdditionsTest : public support::TempHomeTest {
 protected:
  void SetUp() override {
    m_db = SQLDatabase::databaseWithPath(homePath() + "/additions.db");
    ASSERT_TRUE(m_db->open());
    ASSERT_TRUE(m_db->executeUpdate(
        "create table MyTable (Name text, Count integer, Ratio real, Flag integer, Blob blob, Stamp real)"));
    ASSERT_TRUE(m_db->executeUpdate("insert into MyTable values (?, ?, ?, ?, ?, ?)", "first", 7, 2.5, true,
                                    core::Value::data(std::string_view("\x01\x00\x02", 3)),
                                    core::Date(1500000000.25)));
  }

  std::shared_ptr<SQLDatabase> m_db;
};

TEST_F(SQLDatabaseAdditionsTest, OneValueQueriesReadColumnZeroOfTheFirstRow) {
  SQLDatabase& db = *m_db;
  EXPECT_EQ(stringForQuery(db, "select Name from MyTable where Count = ?", 7), "first");
  EXPECT_EQ(intForQuery(db, "select Count from MyTable"), 7);
  EXPECT_EQ(longForQuery(db, "select Count * 1000000000 from MyTable"), 7000000000L);
  EXPECT_TRUE(boolForQuery(db, "select Flag from MyTable where Name = ?", "first"));
  EXPECT_DOUBLE_EQ(doubleForQuery(db, "select Ratio from MyTable"), 2.5);
  EXPECT_EQ(dataForQuery(db, "select Blob from MyTable"), std::string("\x01\x00\x02", 3));
  auto stamp = dateForQuery(db, "select Stamp from MyTable");
  ASSERT_TRUE(stamp);
  EXPECT_DOUBLE_EQ(stamp->timeIntervalSince1970(), 1500000000.25);
  EXPECT_FALSE(db.hasOpenResultSets());
}

TEST_F(SQLDatabaseAdditionsTest, OneValueQueriesAnswerTheEmptyValueWithoutARowOrOnFailure) {
  SQLDatabase& db = *m_db;
  const char* none = "select Count from MyTable where Name = ?";
  EXPECT_EQ(intForQuery(db, none, "missing"), 0);
  EXPECT_FALSE(db.hasOpenResultSets());
  EXPECT_EQ(stringForQuery(db, none, "missing"), std::nullopt);
  EXPECT_EQ(longForQuery(db, none, "missing"), 0);
  EXPECT_FALSE(boolForQuery(db, none, "missing"));
  EXPECT_EQ(doubleForQuery(db, none, "missing"), 0.0);
  EXPECT_EQ(dataForQuery(db, none, "missing"), std::nullopt);
  EXPECT_EQ(dateForQuery(db, none, "missing"), std::nullopt);
  // A NULL column reads as nothing, a broken query as the empty value.
  EXPECT_EQ(stringForQuery(db, "select null"), std::nullopt);
  EXPECT_EQ(intForQuery(db, "select Count from NoSuchTable"), 0);
  EXPECT_FALSE(db.hasOpenResultSets());
}

TEST_F(SQLDatabaseAdditionsTest, TablesAndColumnsAreFoundWhateverTheirCase) {
  SQLDatabase& db = *m_db;
  EXPECT_TRUE(tableExists(db, "MyTable"));
  EXPECT_TRUE(tableExists(db, "mytable"));
  EXPECT_TRUE(tableExists(db, "MYTABLE"));
  EXPECT_FALSE(tableExists(db, "OtherTable"));

  EXPECT_TRUE(columnExists(db, "count", "MYTABLE"));
  EXPECT_TRUE(columnExists(db, "COUNT", "mytable"));
  EXPECT_FALSE(columnExists(db, "Missing", "MyTable"));
  EXPECT_FALSE(columnExists(db, "Count", "OtherTable"));
  EXPECT_TRUE(columnExistsColumnName(db, "mytable", "Stamp"));
  EXPECT_FALSE(columnExistsColumnName(db, "Stamp", "mytable"));
  EXPECT_FALSE(db.hasOpenResultSets());
}

TEST_F(SQLDatabaseAdditionsTest, SchemaListingsNameEveryObjectAndColumn) {
  SQLDatabase& db = *m_db;
  ASSERT_TRUE(db.executeUpdate("create index ByName on MyTable (Name)"));
  ASSERT_TRUE(db.executeUpdate("create temp table Scratch (Id integer)"));

  auto schema = getSchema(db);
  ASSERT_TRUE(schema);
  std::vector<std::string> rows;
  while (schema->next())
    rows.push_back(schema->stringForColumn("type").value_or("") + ":" + schema->stringForColumn("name").value_or(""));
  EXPECT_EQ(rows, (std::vector<std::string>{"table:MyTable", "index:ByName", "table:Scratch"}));

  auto columns = getTableSchema(db, "MyTable");
  ASSERT_TRUE(columns);
  std::vector<std::string> names;
  while (columns->next()) names.push_back(columns->stringForColumn("name").value_or(""));
  EXPECT_EQ(names, (std::vector<std::string>{"Name", "Count", "Ratio", "Flag", "Blob", "Stamp"}));

  // The name goes into the text as it is: a quote breaks the SQL.
  EXPECT_EQ(getTableSchema(db, "My'Table"), nullptr);
  EXPECT_FALSE(columnExists(db, "Name", "My'Table"));
}

TEST_F(SQLDatabaseAdditionsTest, ValidateSQLCompilesWithoutRunning) {
  SQLDatabase& db = *m_db;
  core::Error error;
  EXPECT_TRUE(validateSQL(db, "delete from MyTable", &error));
  EXPECT_EQ(intForQuery(db, "select count(*) from MyTable"), 1);

  EXPECT_FALSE(validateSQL(db, "selec Name from MyTable", &error));
  EXPECT_EQ(error.domain(), core::Error::CoreDomain);
  EXPECT_EQ(error.code(), SQLITE_ERROR);
  EXPECT_NE(error.localizedDescription().find("syntax error"), std::string::npos) << error.localizedDescription();

  EXPECT_FALSE(validateSQL(db, "select Nope from MyTable"));

  // A closed connection answers an error rather than preparing on no handle.
  ASSERT_TRUE(db.close());
  core::Error closed;
  EXPECT_FALSE(validateSQL(db, "select 1", &closed));
  EXPECT_EQ(closed.code(), SQLITE_MISUSE);
}

TEST_F(SQLDatabaseAdditionsTest, ValidateSQLGivesUpOnABusyDatabaseAfterItsRetries) {
  auto locker = SQLDatabase::databaseWithPath(homePath() + "/additions.db");
  ASSERT_TRUE(locker->open());
  ASSERT_TRUE(locker->beginTransaction());  // exclusive: no other connection may read the schema

  auto db = SQLDatabase::databaseWithPath(homePath() + "/additions.db");
  ASSERT_TRUE(db->open());
  db->setBusyRetryTimeout(1);
  dbtest::LogCapture log;
  core::Error error;
  EXPECT_FALSE(validateSQL(*db, "select * from MyTable", &error));
  EXPECT_EQ(error.code(), SQLITE_BUSY);
  EXPECT_EQ(log.count("Database busy ("), 1);

  ASSERT_TRUE(locker->commit());
  EXPECT_TRUE(validateSQL(*db, "select * from MyTable"));
}

}  // namespace
}  // namespace kt
