#pragma once

#include <QString>

namespace qs::bench {

// Copies the database file `file` to the server database `conninfo` (its
// tables dropped first) and measures the program there (only the copy with
// `copyOnly`); the exit status.
int runServerBench(const QString &conninfo, const QString &file, int reps, bool copyOnly);

} // namespace qs::bench
