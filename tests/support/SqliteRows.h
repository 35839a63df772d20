#pragma once

// Reads a database file with SQLite itself, without the program's own store.

#include <QStringList>

namespace qs::test {

// Every row of `sql`, its columns joined by "|" and a null shown as "NULL"; on failure a
// single line that says why.
QStringList sqliteRows(const QString &path, const char *sql);

} // namespace qs::test
