#pragma once

#include "Database.h"

#include <memory>

namespace qs {

// Opens a SQLite file for shared use (write-ahead log, short busy waits).
// `mustExist`: fail rather than create the file.
Result<std::unique_ptr<Database>> openSqliteDatabase(const QString &path, bool mustExist = true);

// Opens an existing SQLite file for reading only; nothing is ever written to it.
enum class SqliteAccess { ReadOnly };
Result<std::unique_ptr<Database>> openSqliteDatabase(const QString &path, SqliteAccess access);

// Checks, without writing anything, that `path` is a SQLite database holding
// the Documents and Types tables. Returns a failure that says what is wrong.
Status checkDocumentDatabase(const QString &path);

// Runs a script of SQL statements (the schema) on a new database file.
Status createDatabaseFromScript(const QString &path, const QString &script);

} // namespace qs
