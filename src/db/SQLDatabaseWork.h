#pragma once

#include "platform/core/Error.h"

#include <functional>
#include <optional>
#include <string>

namespace kt {

class SQLDatabase;

// The transaction and save-point steps the database queue and the pool share. The connection
// may be null (it could not be opened): the block then runs with null, as the callers promise.
using SQLDatabaseRollbackBlock = std::function<void(SQLDatabase* db, bool& rollback)>;

// Begins (deferred or exclusive), runs the block, then rolls back when it set its flag, else commits.
void runTransaction(SQLDatabase* db, bool deferred, const SQLDatabaseRollbackBlock& block);

// Starts the named save point; when that works runs the block, then rolls back to the save point
// when it set its flag, and releases it. Answers the error of the save-point statements, or of a
// missing connection.
std::optional<core::Error> runSavePoint(SQLDatabase* db, const std::string& name,
                                        const SQLDatabaseRollbackBlock& block);

// The error answered by a call that was refused because it came from inside work on the same queue.
core::Error refusedError();

}  // namespace kt
