#include "db/SQLDatabaseWork.h"

#include "db/SQLDatabase.h"

#include <sqlite3.h>

namespace kt {

void runTransaction(SQLDatabase* db, bool deferred, const SQLDatabaseRollbackBlock& block) {
  bool rollback = false;
  if (db) {
    if (deferred)
      db->beginDeferredTransaction();
    else
      db->beginTransaction();
  }
  block(db, rollback);
  if (!db) return;
  if (rollback)
    db->rollback();
  else
    db->commit();
}

std::optional<core::Error> runSavePoint(SQLDatabase* db, const std::string& name,
                                        const SQLDatabaseRollbackBlock& block) {
  if (!db) return core::Error::withDescription(SQLDatabase::ErrorDomain, SQLITE_CANTOPEN, "The database could not be opened.");
  core::Error error;
  if (!db->startSavePointWithName(name, &error)) return error;
  bool rollback = false;
  block(db, rollback);
  // Rolling back to a save point keeps it open (and with it the transaction it began): release
  // it in either case, or every later write on this connection is lost when it closes.
  if (rollback && !db->rollbackToSavePointWithName(name, &error)) return error;
  if (!db->releaseSavePointWithName(name, &error)) return error;
  return std::nullopt;
}

core::Error refusedError() {
  return core::Error::withDescription(SQLDatabase::ErrorDomain, SQLITE_MISUSE,
                                      "Refused: called from inside work already running on this database queue.");
}

}  // namespace kt
