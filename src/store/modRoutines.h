#pragma once

#include <QList>
#include <QString>

namespace qs {

class Database;

// One entry of a type list: the name as listed (trailing blanks removed)
// and the type's key. Lists keep these keys with their own entries.
struct TypeEntry
{
    QString name;
    qint16 key = 0;
};

// True when the text holds nothing but blanks.
bool fnIsBlank(const QString &text);

// The stored name of the type with this key (trailing blanks kept); empty
// when no type has it.
QString fnTypeName(Database &db, qint16 key);

// The key of the first type whose name equals `name`, ignoring letter case;
// 0 when none does.
qint16 fnTypePtr(Database &db, const QString &name);

// All types in name order, for filling a list.
QList<TypeEntry> fnTypeEntries(Database &db);

// `text` without its trailing blanks.
QString fnTrimTrailing(const QString &text);

} // namespace qs
