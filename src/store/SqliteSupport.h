#pragma once

// Shared by the files that talk to SQLite itself (the connection, and the
// checks of whole files); nothing above the engine layer includes sqlite3.h.

#include "Database.h"
#include "StoreFiles.h"

#include <QString>

#include <sqlite3.h>

#include <memory>

namespace qs::sqlite {

struct ConnectionCloser
{
    void operator()(sqlite3 *db) const { sqlite3_close_v2(db); }
};
struct StatementFinalizer
{
    void operator()(sqlite3_stmt *st) const { sqlite3_finalize(st); }
};
using ConnectionPtr = std::unique_ptr<sqlite3, ConnectionCloser>;
using StatementPtr = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

constexpr int kBusyTimeoutMs = 5000;

// Opens a connection with extended result codes and the usual busy wait.
// `uriQuery` (such as "mode=ro") opens the file through a URI with those
// parameters. Returns SQLite's result code; `db` is set even on failure, so
// that its message can be read.
int openConnection(const QString &path, int flags, const char *uriQuery, ConnectionPtr &db);

// Whether the user may write to `path` (a file or a folder), asked of the
// engine's file layer so that it answers as SQLite itself will.
bool mayWrite(const QString &path);

// The problem behind a result code of SQLite and the system error beneath it.
FileProblem problemOf(int rc, int systemError);

// A message for a failure of `db` (or of the code `rc` when `db` is null),
// about the database `dbPath`. `readOnly` says why the file can only be read
// when that is known; otherwise it is found out.
QString explain(sqlite3 *db, int rc, FileAction action, const QString &dbPath,
                std::optional<FileProblem> readOnly = {});

// The connection beneath a database that openSqliteDatabase opened.
sqlite3 *connectionOf(Database &db);
// The name that messages give that database.
QString shownPathOf(Database &db);

} // namespace qs::sqlite
