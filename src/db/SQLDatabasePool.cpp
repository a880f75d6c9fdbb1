#include "db/SQLDatabasePool.h"

#include "db/SQLDatabase.h"
#include "db/SQLDatabaseWork.h"
#include "platform/core/Log.h"

#include <algorithm>
#include <atomic>

namespace kt {

namespace {

std::atomic<long> g_savePointCounter{0};

bool contains(const std::vector<std::shared_ptr<SQLDatabase>>& list, const std::shared_ptr<SQLDatabase>& db) {
  return std::find(list.begin(), list.end(), db) != list.end();
}

void erase(std::vector<std::shared_ptr<SQLDatabase>>& list, const std::shared_ptr<SQLDatabase>& db) {
  list.erase(std::remove(list.begin(), list.end(), db), list.end());
}

}  // namespace

std::shared_ptr<SQLDatabasePool> SQLDatabasePool::databasePoolWithPath(const std::string& path) {
  return std::make_shared<SQLDatabasePool>(path);
}

SQLDatabasePool::SQLDatabasePool(std::string path) : m_path(std::move(path)) {}

SQLDatabasePool::~SQLDatabasePool() = default;

void SQLDatabasePool::executeLocked(const std::function<void()>& block) {
  std::lock_guard lock(m_lockQueue);
  block();
}

std::shared_ptr<SQLDatabase> SQLDatabasePool::db() {
  // The connection is checked out under the lock (so the limit holds across threads), then
  // opened and offered to the delegate outside it.
  std::shared_ptr<SQLDatabase> db;
  std::weak_ptr<SQLDatabasePoolDelegate> weakDelegate;
  {
    std::lock_guard lock(m_lockQueue);
    if (!m_databaseInPool.empty()) {
      db = m_databaseInPool.back();
      m_databaseInPool.pop_back();
    } else {
      std::size_t open = m_databaseInPool.size() + m_databaseOutPool.size();
      if (m_maximumNumberOfDatabasesToCreate && open >= m_maximumNumberOfDatabasesToCreate) {
        KT_LOG("Maximum number of databases (%ld) has already been reached!", static_cast<long>(open));
        return nullptr;
      }
      db = SQLDatabase::databaseWithPath(m_path);
    }
    m_databaseOutPool.push_back(db);
    weakDelegate = m_delegate;
  }

  if (!db->open()) {
    KT_LOG("Could not open up the database at path %s", path().c_str());
    dropCheckedOut(db);
    return nullptr;
  }
  auto delegate = weakDelegate.lock();
  if (delegate && delegate->shouldAddDatabaseToPool && !delegate->shouldAddDatabaseToPool(*this, *db)) {
    db->close();
    dropCheckedOut(db);
    return nullptr;
  }
  return db;
}

void SQLDatabasePool::dropCheckedOut(const std::shared_ptr<SQLDatabase>& db) {
  std::lock_guard lock(m_lockQueue);
  erase(m_databaseOutPool, db);
}

void SQLDatabasePool::pushDatabaseBackInPool(const std::shared_ptr<SQLDatabase>& db) {
  if (!db) return;
  std::lock_guard lock(m_lockQueue);
  if (contains(m_databaseInPool, db))
    throw SQLDatabasePoolException("Database already in pool",
                                   "The SQLDatabase being put back into the pool is already present in the pool");
  m_databaseInPool.push_back(db);
  erase(m_databaseOutPool, db);
}

std::size_t SQLDatabasePool::countOfCheckedInDatabases() {
  std::lock_guard lock(m_lockQueue);
  return m_databaseInPool.size();
}

std::size_t SQLDatabasePool::countOfCheckedOutDatabases() {
  std::lock_guard lock(m_lockQueue);
  return m_databaseOutPool.size();
}

std::size_t SQLDatabasePool::countOfOpenDatabases() {
  std::lock_guard lock(m_lockQueue);
  return m_databaseInPool.size() + m_databaseOutPool.size();
}

void SQLDatabasePool::releaseAllDatabases() {
  std::vector<std::shared_ptr<SQLDatabase>> out, in;
  {
    std::lock_guard lock(m_lockQueue);
    out.swap(m_databaseOutPool);
    in.swap(m_databaseInPool);
  }
  // The connections close here, outside the lock, as the last references go.
}

void SQLDatabasePool::inDatabase(const Block& block) {
  auto db = this->db();
  block(db.get());
  pushDatabaseBackInPool(db);
}

void SQLDatabasePool::beginTransaction(bool deferred, const RollbackBlock& block) {
  auto db = this->db();
  runTransaction(db.get(), deferred, block);
  pushDatabaseBackInPool(db);
}

std::optional<core::Error> SQLDatabasePool::inSavePoint(const RollbackBlock& block) {
  std::string name = "savePoint" + std::to_string(g_savePointCounter++);
  auto db = this->db();
  auto error = runSavePoint(db.get(), name, block);
  pushDatabaseBackInPool(db);
  return error;
}

std::string SQLDatabasePool::path() const {
  std::lock_guard lock(m_lockQueue);
  return m_path;
}

void SQLDatabasePool::setPath(const std::string& path) {
  std::lock_guard lock(m_lockQueue);
  m_path = path;
}

std::weak_ptr<SQLDatabasePoolDelegate> SQLDatabasePool::delegate() const {
  std::lock_guard lock(m_lockQueue);
  return m_delegate;
}

void SQLDatabasePool::setDelegate(std::weak_ptr<SQLDatabasePoolDelegate> delegate) {
  std::lock_guard lock(m_lockQueue);
  m_delegate = std::move(delegate);
}

std::size_t SQLDatabasePool::maximumNumberOfDatabasesToCreate() const {
  std::lock_guard lock(m_lockQueue);
  return m_maximumNumberOfDatabasesToCreate;
}

void SQLDatabasePool::setMaximumNumberOfDatabasesToCreate(std::size_t maximum) {
  std::lock_guard lock(m_lockQueue);
  m_maximumNumberOfDatabasesToCreate = maximum;
}

}  // namespace kt
