#pragma once

#include "platform/core/Error.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace core {
class Queue;
}

namespace kt {

class SQLDatabase;

// One connection shared between threads: every piece of work runs, one at a time, on a serial
// queue of its own, and the caller waits for it. The block gets the connection, or null when it
// could not be reopened.
//
// A call made from inside one of the queue's own blocks would wait on itself: it is refused with
// a log line and the block is not run (no transaction inside a transaction either).
//
// Make it with databaseQueueWithPath (null when the file cannot be opened).
class SQLDatabaseQueue : public std::enable_shared_from_this<SQLDatabaseQueue> {
 public:
  using Block = std::function<void(SQLDatabase* db)>;
  using RollbackBlock = std::function<void(SQLDatabase* db, bool& rollback)>;

  static std::shared_ptr<SQLDatabaseQueue> databaseQueueWithPath(const std::string& path);

  ~SQLDatabaseQueue();
  SQLDatabaseQueue(const SQLDatabaseQueue&) = delete;
  SQLDatabaseQueue& operator=(const SQLDatabaseQueue&) = delete;

  // Closes the connection; the next piece of work opens the file again.
  void close();

  // Each answers false when the call was refused (made from inside this queue's own work).
  bool inDatabase(const Block& block);
  bool beginTransaction(bool deferred, const RollbackBlock& block);
  bool inDeferredTransaction(const RollbackBlock& block) { return beginTransaction(true, block); }
  bool inTransaction(const RollbackBlock& block) { return beginTransaction(false, block); }
  // The save point's error, if any (a refused call is an error too).
  std::optional<core::Error> inSavePoint(const RollbackBlock& block);

  std::string path() const;
  void setPath(const std::string& path);

 private:
  struct Key {};

 public:
  SQLDatabaseQueue(Key, std::string path, std::shared_ptr<SQLDatabase> db);

 private:
  // The connection, opened again after close(); runs on the queue only.
  SQLDatabase* database();
  // Runs the work on the queue and waits, unless called from the queue itself.
  bool run(const char* caller, const std::function<void()>& work);

  mutable std::mutex m_pathMutex;
  std::string m_path;
  std::shared_ptr<core::Queue> m_queue;
  std::shared_ptr<SQLDatabase> m_db;
};

}  // namespace kt
