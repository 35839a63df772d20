#pragma once

// Measures the legacy import on a generated table, for the benchmark program.

#include "store/Status.h"

#include <QString>

namespace qs {

struct ImportBenchResult
{
    int rows = 0;       // documents imported
    double seconds = 0; // the import alone, without writing the legacy files
    double rowsPerSecond = 0;
};

class Database;

// Writes a legacy table of `rows` rows, every one with a note, a type and dates, into a
// temporary folder, and imports it into a fresh copy of the template database, or into
// `server` (which must hold our empty tables) in a transaction that is rolled back after.
Result<ImportBenchResult> fnBenchLegacyImport(int rows, const QString &templatePath,
                                              Database *server = nullptr);

} // namespace qs
