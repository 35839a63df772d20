#include "modRoutines.h"

#include "Database.h"
#include "Recordset.h"

namespace qs {

bool fnIsBlank(const QString &text)
{
    for (const QChar c : text)
        if (c != QLatin1Char(' '))
            return false;
    return true;
}

QString fnTrimTrailing(const QString &text)
{
    qsizetype n = text.size();
    while (n > 0 && text.at(n - 1) == QLatin1Char(' '))
        --n;
    return text.left(n);
}

QString fnTypeName(Database &db, qint16 key)
{
    // Read afresh each time, so types added or deleted elsewhere are seen.
    auto rows = db.query({QStringLiteral("SELECT Type FROM Types WHERE RecordPtr = ?"), {key}});
    if (!rows || rows->empty())
        return {};
    return rows->front().values.value(0).toString();
}

qint16 fnTypePtr(Database &db, const QString &name)
{
    auto rows =
        db.query({QStringLiteral("SELECT RecordPtr FROM Types WHERE %1 ORDER BY RecordPtr LIMIT 1")
                      .arg(sql::compare(db.dialect(), QStringLiteral("Type"), QStringLiteral("="))),
                  {name}});
    if (!rows || rows->empty())
        return 0;
    return qint16(rows->front().values.value(0).toLongLong());
}

QList<TypeEntry> fnTypeEntries(Database &db)
{
    QList<TypeEntry> entries;
    auto rows = db.query({QStringLiteral("SELECT Type, RecordPtr FROM Types ORDER BY %1, RecordPtr")
                              .arg(sql::orderTerm(db.dialect(), QStringLiteral("Type"))),
                          {}});
    if (!rows)
        return entries;
    for (const Row &row : *rows)
        entries.append({fnTrimTrailing(row.values.value(0).toString()),
                        qint16(row.values.value(1).toLongLong())});
    return entries;
}

} // namespace qs
