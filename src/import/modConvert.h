#pragma once

// Copies the legacy document table into the database.

#include "import/ImportReport.h"
#include "store/Database.h"
#include "store/Status.h"

#include <QString>

#include <functional>

namespace qs {

// Rows read so far (deleted ones included) of the count that the table's header states.
using ImportProgress = std::function<void(int rowsDone, int rowCount)>;

// How often the progress is told, in rows read.
inline constexpr int kProgressEveryRows = 1024;

// Type keys travel as 16-bit signed numbers, so a type with a higher key cannot be used.
inline constexpr qint64 kHighestTypeKey = 32767;

// Imports every live row of the legacy table into Documents, in file order, adding a Types
// row for each type name not known yet (ASCII letter case and trailing blanks do not count).
// Everything happens in one transaction: a failure leaves the database as it was.
// Rows with a fault are imported as well as they can be and listed in the report; only a
// table that cannot be read, or a refusal of the engine, fails the import, with a text
// that names the file and the reason.
Result<ImportReport> ConvertDbfDatabase(Database &db, const QString &tablePath,
                                        const QString &memoPath,
                                        const ImportProgress &progress = {});

// The legacy file `name` in `folder`: the file of exactly that name, or else the only one
// whose name differs from it in letter case alone (legacy files often come in capitals).
// Empty when there is none; a failure naming them when several differ in case alone.
Result<QString> fnFindLegacyFile(const QString &folder, const QString &name);

} // namespace qs
