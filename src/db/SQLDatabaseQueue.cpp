#include "db/SQLDatabaseQueue.h"

#include "db/SQLDatabase.h"
#include "db/SQLDatabaseWork.h"
#include "platform/core/Log.h"
#include "platform/core/Queue.h"

#include <atomic>
#include <cstdio>

namespace kt {

namespace {

std::atomic<long> g_savePointCounter{0};

std::shared_ptr<SQLDatabase> openDatabase(const std::string& path) {
  auto db = SQLDatabase::databaseWithPath(path);
  if (!db || !db->open()) return nullptr;
  return db;
}

}  // namespace

std::shared_ptr<SQLDatabaseQueue> SQLDatabaseQueue::databaseQueueWithPath(const std::string& path) {
  auto db = openDatabase(path);
  if (!db) {
    KT_LOG("Could not create database queue for path %s", path.c_str());
    return nullptr;
  }
  return std::make_shared<SQLDatabaseQueue>(Key{}, path, std::move(db));
}

SQLDatabaseQueue::SQLDatabaseQueue(Key, std::string path, std::shared_ptr<SQLDatabase> db)
    : m_path(std::move(path)), m_db(std::move(db)) {
  char label[64];
  std::snprintf(label, sizeof label, "db.queue.%p", static_cast<void*>(this));
  m_queue = core::Queue::createSerial(label);
}

SQLDatabaseQueue::~SQLDatabaseQueue() = default;

std::string SQLDatabaseQueue::path() const {
  std::lock_guard lock(m_pathMutex);
  return m_path;
}

void SQLDatabaseQueue::setPath(const std::string& path) {
  std::lock_guard lock(m_pathMutex);
  m_path = path;
}

bool SQLDatabaseQueue::run(const char* caller, const std::function<void()>& work) {
  if (m_queue->isCurrent()) {
    KT_LOG("%s refused: called from inside work already running on this database queue", caller);
    return false;
  }
  auto self = shared_from_this();  // alive until the work is done
  m_queue->sync(work);
  return true;
}

SQLDatabase* SQLDatabaseQueue::database() {
  if (!m_db) {
    m_db = openDatabase(path());
    if (!m_db) KT_LOG("SQLDatabaseQueue could not reopen database for path %s", path().c_str());
  }
  return m_db.get();
}

void SQLDatabaseQueue::close() {
  run(__func__, [this] {
    if (m_db) m_db->close();
    m_db.reset();
  });
}

bool SQLDatabaseQueue::inDatabase(const Block& block) {
  return run(__func__, [&] {
    SQLDatabase* db = database();
    block(db);
    if (db && db->hasOpenResultSets())
      KT_LOG("Warning: there is at least one open result set around after performing [SQLDatabaseQueue inDatabase:]");
  });
}

bool SQLDatabaseQueue::beginTransaction(bool deferred, const RollbackBlock& block) {
  return run(__func__, [&] { runTransaction(database(), deferred, block); });
}

std::optional<core::Error> SQLDatabaseQueue::inSavePoint(const RollbackBlock& block) {
  std::optional<core::Error> error;
  bool ran = run(__func__, [&] {
    error = runSavePoint(database(), "savePoint" + std::to_string(g_savePointCounter++), block);
  });
  if (!ran) error = refusedError();
  return error;
}

}  // namespace kt
