#pragma once

#include <QString>

namespace qs::bench {

// Copies the database file `file` to the server database `conninfo` (its
// tables dropped first) and measures the program there; the exit status.
int runServerBench(const QString &conninfo, const QString &file, int reps);

} // namespace qs::bench
