#pragma once

#include "store/Status.h"

#include <QString>

namespace qs {

class Database;

// Type keys travel as 16-bit signed integers (documents, type lists), so a
// type whose key is above this could never be chosen or stored.
constexpr qint64 kHighestTypeKey = 32767;

// What the add-type dialog makes of a name.
enum class NewTypeCheck { Accepted, Blank, AlreadyDefined, NoKeyLeft };

// Checks a new type's name in the order the dialog reports them: blank, an
// existing name (letter case ignored, blanks kept as typed), then whether
// the engine still has a key that fits.
Result<NewTypeCheck> fnCheckNewType(Database &db, const QString &pName);

// The refusal shown for a check; empty for Accepted.
QString fnNewTypeMessage(NewTypeCheck pCheck);

// True when a type with exactly this name exists, letter case ignored.
Result<bool> fnTypeDefined(Database &db, const QString &pName);

// True when a type added now would receive a key that still fits.
Result<bool> fnNextTypeKeyFits(Database &db);

// True when any document uses the type with this key.
Result<bool> fnTypeInUse(Database &db, qint64 pRecordPtr);

// The refusal for deleting a type in use, and the question before deleting
// one that is not (the name shown without its trailing blanks).
QString fnTypeInUseMessage();
QString fnDeleteTypeQuestion(const QString &pStoredName);

} // namespace qs
