#pragma once

#include "platform/core/Error.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace kt {

class SQLDatabase;
class SQLDatabasePool;

// What a pool asks its delegate. Optional: a slot left empty is not implemented.
class SQLDatabasePoolDelegate {
 public:
  virtual ~SQLDatabasePoolDelegate() = default;

  // False keeps the connection (new or reused) from being handed out.
  std::function<bool(SQLDatabasePool&, SQLDatabase&)> shouldAddDatabaseToPool;
};

// Raised for misuse of a pool: putting a connection back that is already in it.
class SQLDatabasePoolException : public std::logic_error {
 public:
  SQLDatabasePoolException(std::string name, const std::string& reason)
      : std::logic_error(reason), m_name(std::move(name)) {}
  const std::string& name() const { return m_name; }

 private:
  std::string m_name;
};

// Connections to one database file, handed out one per piece of work and taken back afterwards,
// so that several threads work at once, each on its own connection. The work runs on the
// calling thread; only the pool's two lists are guarded.
//
// A connection that fails to open or that the delegate refuses is dropped from the pool, so it
// never counts against maximumNumberOfDatabasesToCreate.
class SQLDatabasePool {
 public:
  using Block = std::function<void(SQLDatabase* db)>;
  using RollbackBlock = std::function<void(SQLDatabase* db, bool& rollback)>;

  static std::shared_ptr<SQLDatabasePool> databasePoolWithPath(const std::string& path);
  explicit SQLDatabasePool(std::string path);
  ~SQLDatabasePool();
  SQLDatabasePool(const SQLDatabasePool&) = delete;
  SQLDatabasePool& operator=(const SQLDatabasePool&) = delete;

  // Runs the block while holding the pool's lock (it must not call back into the pool).
  void executeLocked(const std::function<void()>& block);

  // Checks a connection out: the last one checked in, else a new one while the limit allows.
  // Null when the limit is reached, the file cannot be opened or the delegate refuses.
  std::shared_ptr<SQLDatabase> db();
  // Checks a connection back in; null does nothing. Throws SQLDatabasePoolException named
  // "Database already in pool" when it is already checked in.
  void pushDatabaseBackInPool(const std::shared_ptr<SQLDatabase>& db);

  std::size_t countOfCheckedInDatabases();
  std::size_t countOfCheckedOutDatabases();
  std::size_t countOfOpenDatabases();
  // Forgets every connection; each closes once the last user lets it go.
  void releaseAllDatabases();

  // Each runs the block with a checked-out connection (null when none could be had) and puts
  // it back afterwards.
  void inDatabase(const Block& block);
  void beginTransaction(bool deferred, const RollbackBlock& block);
  void inDeferredTransaction(const RollbackBlock& block) { beginTransaction(true, block); }
  void inTransaction(const RollbackBlock& block) { beginTransaction(false, block); }
  std::optional<core::Error> inSavePoint(const RollbackBlock& block);

  std::string path() const;
  void setPath(const std::string& path);
  std::weak_ptr<SQLDatabasePoolDelegate> delegate() const;
  void setDelegate(std::weak_ptr<SQLDatabasePoolDelegate> delegate);
  std::size_t maximumNumberOfDatabasesToCreate() const;
  void setMaximumNumberOfDatabasesToCreate(std::size_t maximum);

 private:
  // Removes a connection from the checked-out list (under the lock).
  void dropCheckedOut(const std::shared_ptr<SQLDatabase>& db);

  // Held wherever the two lists and the properties are touched: the pool's lock, taken for a
  // few instructions at a time, so a plain mutex rather than a queue of its own.
  mutable std::mutex m_lockQueue;
  std::string m_path;
  std::vector<std::shared_ptr<SQLDatabase>> m_databaseInPool;
  std::vector<std::shared_ptr<SQLDatabase>> m_databaseOutPool;
  std::weak_ptr<SQLDatabasePoolDelegate> m_delegate;
  std::size_t m_maximumNumberOfDatabasesToCreate = 0;
};

}  // namespace kt
