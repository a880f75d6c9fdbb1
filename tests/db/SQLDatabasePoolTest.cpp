#include "db/SQLDatabasePool.h"

#include "DbTestSupport.h"
#include "db/SQLDatabase.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace kt {
namespace {

class SQLDatabasePoolTest : public support::TempHomeTest {
 protected:
  void SetUp() override {
    m_pool = SQLDatabasePool::databasePoolWithPath(homePath() + "/pool.db");
    m_pool->inDatabase(dbtest::createTables);
  }

  int count(const std::string& sql) { return dbtest::intForQuery(*m_pool, sql); }

  void expectCounts(std::size_t in, std::size_t out) {
    EXPECT_EQ(m_pool->countOfCheckedInDatabases(), in);
    EXPECT_EQ(m_pool->countOfCheckedOutDatabases(), out);
    EXPECT_EQ(m_pool->countOfOpenDatabases(), in + out);
  }

  std::shared_ptr<SQLDatabasePool> m_pool;
};

TEST_F(SQLDatabasePoolTest, NestedCallsGetTheirOwnConnectionsUpToTheMaximum) {
  m_pool->setMaximumNumberOfDatabasesToCreate(2);
  dbtest::LogCapture log;
  SQLDatabase* first = nullptr;
  SQLDatabase* second = nullptr;
  SQLDatabase* third = reinterpret_cast<SQLDatabase*>(1);
  m_pool->inDatabase([&](SQLDatabase* a) {
    first = a;
    m_pool->inDatabase([&](SQLDatabase* b) {
      second = b;
      m_pool->inDatabase([&](SQLDatabase* c) { third = c; });
      expectCounts(0, 2);
    });
  });
  EXPECT_TRUE(first);
  EXPECT_TRUE(second);
  EXPECT_NE(first, second);
  EXPECT_EQ(third, nullptr);
  EXPECT_EQ(log.count("Maximum number of databases (2) has already been reached!"), 1);
  expectCounts(2, 0);

  m_pool->releaseAllDatabases();
  expectCounts(0, 0);
  EXPECT_EQ(count("select Value from Counter"), 0);
}

TEST_F(SQLDatabasePoolTest, PuttingAConnectionBackTwiceThrows) {
  auto db = m_pool->db();
  ASSERT_TRUE(db);
  m_pool->pushDatabaseBackInPool(db);
  m_pool->pushDatabaseBackInPool(nullptr);
  try {
    m_pool->pushDatabaseBackInPool(db);
    FAIL() << "no exception";
  } catch (const SQLDatabasePoolException& e) {
    EXPECT_EQ(e.name(), "Database already in pool");
    EXPECT_STREQ(e.what(), "The SQLDatabase being put back into the pool is already present in the pool");
  }
  expectCounts(1, 0);
}

TEST_F(SQLDatabasePoolTest, AConnectionThatFailsItsChecksLeavesThePool) {
  m_pool->setMaximumNumberOfDatabasesToCreate(1);
  auto delegate = std::make_shared<SQLDatabasePoolDelegate>();
  bool allow = false;
  int asked = 0;
  delegate->shouldAddDatabaseToPool = [&](SQLDatabasePool& pool, SQLDatabase&) {
    EXPECT_EQ(&pool, m_pool.get());
    ++asked;
    return allow;
  };
  m_pool->setDelegate(delegate);

  // The connection left checked in by SetUp is asked about too, and is dropped when refused.
  expectCounts(1, 0);
  EXPECT_EQ(m_pool->db(), nullptr);
  expectCounts(0, 0);
  // A new one refused does not count either, so the limit of one is never used up.
  EXPECT_EQ(m_pool->db(), nullptr);
  expectCounts(0, 0);
  EXPECT_EQ(asked, 2);

  allow = true;
  EXPECT_EQ(count("select Value from Counter"), 0);
  expectCounts(1, 0);
}

TEST(SQLDatabasePool, AConnectionThatCannotOpenLeavesThePool) {
  support::TempHome home;
  dbtest::LogCapture log;
  std::string path = home.path() + "/missing/pool.db";
  auto pool = SQLDatabasePool::databasePoolWithPath(path);
  pool->setMaximumNumberOfDatabasesToCreate(1);
  for (int i = 0; i < 3; ++i) {
    bool ran = false;
    pool->inTransaction([&](SQLDatabase* db, bool&) {
      ran = true;
      EXPECT_EQ(db, nullptr);
    });
    EXPECT_TRUE(ran);
    EXPECT_EQ(pool->countOfOpenDatabases(), 0u);
  }
  EXPECT_EQ(log.count("Could not open up the database at path " + path), 3);
  EXPECT_EQ(log.count("Maximum number of databases"), 0);
  EXPECT_TRUE(pool->inSavePoint([](SQLDatabase*, bool&) { ADD_FAILURE() << "ran without a connection"; }));
}

TEST_F(SQLDatabasePoolTest, TransactionsAndSavePointsRollBackWhenAsked) {
  m_pool->inTransaction([](SQLDatabase* db, bool& rollback) {
    db->executeUpdate("update Counter set Value = 5");
    rollback = true;
  });
  EXPECT_EQ(count("select Value from Counter"), 0);
  EXPECT_EQ(m_pool->inSavePoint([](SQLDatabase* db, bool& rollback) {
    db->executeUpdate("update Counter set Value = 7");
    rollback = true;
  }), std::nullopt);
  EXPECT_EQ(count("select Value from Counter"), 0);
  m_pool->inDeferredTransaction([](SQLDatabase* db, bool&) { db->executeUpdate("update Counter set Value = 6"); });
  EXPECT_EQ(count("select Value from Counter"), 6);
}

TEST_F(SQLDatabasePoolTest, WritesAfterARolledBackSavePointAreSeenByAnotherConnection) {
  EXPECT_EQ(m_pool->inSavePoint([](SQLDatabase* db, bool& rollback) {
    db->executeUpdate("update Counter set Value = 7");
    rollback = true;
  }), std::nullopt);
  // The same connection comes back out of the pool for the next write.
  m_pool->inDatabase([](SQLDatabase* db) { EXPECT_TRUE(db->executeUpdate("insert into Rows values (1, 2)")); });
  auto other = SQLDatabase::databaseWithPath(homePath() + "/pool.db");
  ASSERT_TRUE(other->open());
  EXPECT_EQ(SQLDatabaseAdditions::intForQuery(*other, "select count(*) from Rows"), 1);
  EXPECT_EQ(SQLDatabaseAdditions::intForQuery(*other, "select Value from Counter"), 0);
}

TEST_F(SQLDatabasePoolTest, EightThreadsLoseNoWriteAndKeepTheLimit) {
  constexpr int kThreads = 8, kSteps = 24;
  constexpr std::size_t kMaximum = 3;
  m_pool->setMaximumNumberOfDatabasesToCreate(kMaximum);
  std::atomic<std::size_t> mostOpen{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int step = 0; step < kSteps;) {
        bool done = false;
        auto note = [&] {
          std::size_t open = m_pool->countOfOpenDatabases();
          std::size_t seen = mostOpen.load();
          while (open > seen && !mostOpen.compare_exchange_weak(seen, open)) {}
        };
        if (step % 2) {
          m_pool->inDatabase([&](SQLDatabase* db) {
            if (!db) return;  // every connection is in use: try again
            note();
            done = db->executeUpdate("insert into Rows values (?, ?)", t, step);
          });
        } else {
          // Read, then write back, in an exclusive transaction: no increment may be lost.
          m_pool->inTransaction([&](SQLDatabase* db, bool&) {
            if (!db) return;
            note();
            int value = SQLDatabaseAdditions::intForQuery(*db, "select Value from Counter");
            done = db->executeUpdate("update Counter set Value = ?", value + 1) &&
                   db->executeUpdate("insert into Rows values (?, ?)", t, step);
          });
        }
        if (done) ++step;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(count("select Value from Counter"), kThreads * kSteps / 2);
  EXPECT_EQ(count("select count(distinct Thread * 1000 + Step) from Rows"), kThreads * kSteps);
  EXPECT_LE(mostOpen.load(), kMaximum);
  EXPECT_LE(m_pool->countOfOpenDatabases(), kMaximum);
  EXPECT_EQ(m_pool->countOfCheckedOutDatabases(), 0u);
}

}  // namespace
}  // namespace kt
