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

// Writes a legacy table of `rows` rows, every one with a note, a type and dates, into a
// temporary folder, and imports it into a fresh copy of the template database.
Result<ImportBenchResult> fnBenchLegacyImport(int rows, const QString &templatePath);

} // namespace qs
