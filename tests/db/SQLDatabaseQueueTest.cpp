#include "db/SQLDatabaseQueue.h"

#include "DbTestSupport.h"
#include "db/SQLDatabase.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <thread>
#include <vector>

namespace kt {
namespace {

class SQLDatabaseQueueTest : public support::TempHomeTest {
 protected:
  void SetUp() override {
    m_queue = SQLDatabaseQueue::databaseQueueWithPath(homePath() + "/queue.db");
    ASSERT_TRUE(m_queue);
    m_queue->inDatabase(dbtest::createTables);
  }

  int count(const std::string& sql) { return dbtest::intForQuery(*m_queue, sql); }

  std::shared_ptr<SQLDatabaseQueue> m_queue;
};

TEST_F(SQLDatabaseQueueTest, EightThreadsLoseNoWrite) {
  constexpr int kThreads = 8, kSteps = 40;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t] {
      for (int step = 0; step < kSteps; ++step) {
        if (step % 2) {
          m_queue->inDatabase([&](SQLDatabase* db) { db->executeUpdate("insert into Rows values (?, ?)", t, step); });
        } else {
          // Read, then write back: only serialised work keeps every increment.
          m_queue->inTransaction([&](SQLDatabase* db, bool&) {
            int value = SQLDatabaseAdditions::intForQuery(*db, "select Value from Counter");
            db->executeUpdate("update Counter set Value = ?", value + 1);
            db->executeUpdate("insert into Rows values (?, ?)", t, step);
          });
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(count("select Value from Counter"), kThreads * kSteps / 2);
  EXPECT_EQ(count("select count(*) from Rows"), kThreads * kSteps);
  EXPECT_EQ(count("select count(distinct Thread * 1000 + Step) from Rows"), kThreads * kSteps);
}

TEST_F(SQLDatabaseQueueTest, ACallFromInsideItsOwnWorkIsRefused) {
  dbtest::LogCapture log;
  bool innerRan = false;
  bool innerAccepted = true;
  bool outerAccepted = m_queue->inTransaction([&](SQLDatabase* db, bool&) {
    db->executeUpdate("update Counter set Value = 1");
    innerAccepted = m_queue->inTransaction([&](SQLDatabase*, bool&) { innerRan = true; });
    EXPECT_FALSE(m_queue->inDatabase([&](SQLDatabase*) { innerRan = true; }));
    auto error = m_queue->inSavePoint([&](SQLDatabase*, bool&) { innerRan = true; });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), SQLITE_MISUSE);
    EXPECT_TRUE(db->inTransaction());
  });
  EXPECT_TRUE(outerAccepted);
  EXPECT_FALSE(innerAccepted);
  EXPECT_FALSE(innerRan);
  EXPECT_EQ(log.count("refused"), 3);
  // The outer transaction still committed its work, and the queue goes on working.
  EXPECT_EQ(count("select Value from Counter"), 1);
}

TEST_F(SQLDatabaseQueueTest, TransactionsAndSavePointsRollBackWhenAsked) {
  m_queue->inTransaction([](SQLDatabase* db, bool& rollback) {
    db->executeUpdate("update Counter set Value = 5");
    rollback = true;
  });
  EXPECT_EQ(count("select Value from Counter"), 0);
  m_queue->inDeferredTransaction([](SQLDatabase* db, bool&) { db->executeUpdate("update Counter set Value = 6"); });
  EXPECT_EQ(count("select Value from Counter"), 6);

  EXPECT_EQ(m_queue->inSavePoint([](SQLDatabase* db, bool& rollback) {
    db->executeUpdate("update Counter set Value = 7");
    rollback = true;
  }), std::nullopt);
  EXPECT_EQ(count("select Value from Counter"), 6);
  EXPECT_EQ(m_queue->inSavePoint([](SQLDatabase* db, bool&) { db->executeUpdate("update Counter set Value = 8"); }),
            std::nullopt);
  EXPECT_EQ(count("select Value from Counter"), 8);
}

TEST_F(SQLDatabaseQueueTest, WritesAfterARolledBackSavePointReachTheFile) {
  EXPECT_EQ(m_queue->inSavePoint([](SQLDatabase* db, bool& rollback) {
    db->executeUpdate("update Counter set Value = 7");
    rollback = true;
  }), std::nullopt);
  m_queue->inDatabase([](SQLDatabase* db) { EXPECT_TRUE(db->executeUpdate("insert into Rows values (1, 2)")); });
  m_queue->close();
  auto reopened = SQLDatabase::databaseWithPath(homePath() + "/queue.db");
  ASSERT_TRUE(reopened->open());
  EXPECT_EQ(SQLDatabaseAdditions::intForQuery(*reopened, "select count(*) from Rows"), 1);
  EXPECT_EQ(SQLDatabaseAdditions::intForQuery(*reopened, "select Value from Counter"), 0);
}

TEST_F(SQLDatabaseQueueTest, CloseThenUseReopensTheFile) {
  m_queue->inDatabase([](SQLDatabase* db) { db->executeUpdate("update Counter set Value = 3"); });
  m_queue->close();
  EXPECT_EQ(count("select Value from Counter"), 3);
}

TEST_F(SQLDatabaseQueueTest, WarnsOfAResultSetLeftOpen) {
  dbtest::LogCapture log;
  std::unique_ptr<SQLResultSet> leftOpen;
  m_queue->inDatabase([&](SQLDatabase* db) { leftOpen = db->executeQuery("select Value from Counter"); });
  EXPECT_EQ(log.count("Warning: there is at least one open result set around after performing"), 1);
  m_queue->inDatabase([&](SQLDatabase*) { leftOpen.reset(); });
  EXPECT_EQ(log.count("Warning: there is at least one open result set"), 1);
}

TEST(SQLDatabaseQueue, AFileThatCannotBeOpenedGivesNoQueue) {
  support::TempHome home;
  dbtest::LogCapture log;
  std::string path = home.path() + "/missing/folder/queue.db";
  EXPECT_EQ(SQLDatabaseQueue::databaseQueueWithPath(path), nullptr);
  EXPECT_EQ(log.count("Could not create database queue for path " + path), 1);
}

}  // namespace
}  // namespace kt
