#pragma once

#include "store/Status.h"

#include <QString>

#include <optional>

namespace qs {

class Database;

// The document number typed into the ID box: a whole number in the 32-bit
// range, optionally signed, with blanks around it allowed. Nothing for any
// other text (empty, letters, fractions, too large).
std::optional<qint32> fnParseID(const QString &text);

// True when a record other than the one with `pRecordPtr` already has the
// number `pID`. A new record passes 0, which no record has.
Result<bool> fnDuplicateID(Database &db, qint32 pID, qint64 pRecordPtr);

// The number offered to a new record: the highest stored ID plus one, or 1
// for an empty table. Nothing when the highest ID leaves no room above it.
Result<std::optional<qint32>> fnProposedID(Database &db);

// Refusal texts of a save.
QString duplicateIdMessage();
QString invalidIdMessage();
QString invalidDateMessage();

} // namespace qs
