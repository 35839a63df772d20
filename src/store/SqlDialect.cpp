#include "SqlDialect.h"

namespace qs::sql {

namespace {

// translate() folds only the letters it is given, whatever the server's
// locale; "C" compares the bytes. The same text builds the indexes, so the
// planner recognises it.
QString folded(const QString &what)
{
    return QStringLiteral("translate(%1, 'ABCDEFGHIJKLMNOPQRSTUVWXYZ', "
                          "'abcdefghijklmnopqrstuvwxyz') COLLATE \"C\"")
        .arg(what);
}

} // namespace

bool isTextField(const QString &field)
{
    for (const char *name : {"Description", "Who", "Note", "Type"})
        if (field.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

QString key(SqlDialect dialect, const QString &field)
{
    if (dialect == SqlDialect::PostgreSQL && isTextField(field))
        return folded(field);
    return field; // the file's text columns are declared NOCASE
}

QString textValue(SqlDialect dialect)
{
    return dialect == SqlDialect::PostgreSQL ? folded(QStringLiteral("?")) : QStringLiteral("?");
}

QString compare(SqlDialect dialect, const QString &field, const QString &op)
{
    const QString value = isTextField(field) ? textValue(dialect) : QStringLiteral("?");
    return QStringLiteral("%1 %2 %3").arg(key(dialect, field), op, value);
}

QString orderTerm(SqlDialect dialect, const QString &field, bool descending)
{
    QString term = key(dialect, field);
    if (descending)
        term += QStringLiteral(" DESC");
    // The key is never null; leaving it plain lets the server use the
    // indexes, which end in RecordPtr in its default order.
    if (dialect == SqlDialect::PostgreSQL &&
        field.compare(QLatin1String("RecordPtr"), Qt::CaseInsensitive) != 0)
        term += descending ? QStringLiteral(" NULLS LAST") : QStringLiteral(" NULLS FIRST");
    return term;
}

} // namespace qs::sql
