#pragma once

#include "Database.h"

#include <memory>

namespace qs {

// Opens an existing SQLite file for shared use (write-ahead log, short busy
// waits). A file that the user may not write, or that lies in a folder the
// user may not write, is opened for reading only (Database::isReadOnly).
// Messages call the database `shownPath` (the file's own path when empty).
Result<std::unique_ptr<Database>> openSqliteDatabase(const QString &path,
                                                     const QString &shownPath = {});

// Checks, on a read-only connection that writes nothing, that `path` is a
// SQLite database holding the tables Documents and Types, as tables, with all
// their fields. The failure is a message that names the file and says what
// to do.
Status checkDocumentDatabase(const QString &path);

// The same check for `copyPath`, a fresh copy of the template `templatePath`
// from which the database `dbPath` is to be made.
Status checkTemplateCopy(const QString &copyPath, const QString &templatePath,
                         const QString &dbPath);

// Before a new database takes its name: moves everything from the
// write-ahead log into the file itself, and checks the file (its structure
// and its tables). `db` comes from openSqliteDatabase.
Status sealNewDatabase(Database &db);

// Runs a script of SQL statements (the schema) on a new database file.
Status createDatabaseFromScript(const QString &path, const QString &script);

} // namespace qs
