#include "Database.h"

#include "ListSource.h"

namespace qs {

Status Database::insertRows(const QString &table, const QStringList &columns,
                            const std::vector<QVariantList> &rows, qsizetype *failedRow)
{
    const QStringList marks(columns.size(), QStringLiteral("?"));
    Statement insert{QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                         .arg(table, columns.join(QLatin1Char(',')), marks.join(QLatin1Char(','))),
                     {}};
    for (size_t i = 0; i < rows.size(); ++i) {
        insert.binds = rows[i];
        if (Status s = exec(insert); !s) {
            if (failedRow)
                *failedRow = qsizetype(i);
            return s;
        }
    }
    return Status::success();
}

Statement SqlListSource::build(SqlDialect dialect, const QString &columns) const
{
    QString sql = QStringLiteral("SELECT %1 FROM %2").arg(columns, m_table);
    if (!m_where.isEmpty())
        sql += QStringLiteral(" WHERE ") + m_where;
    QStringList terms;
    for (const QString &part : m_orderBy.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QStringList words = part.simplified().split(QLatin1Char(' '));
        const bool descending = words.size() > 1 && words.at(1).compare(QLatin1String("DESC"),
                                                                        Qt::CaseInsensitive) == 0;
        terms << sql::orderTerm(dialect, words.at(0), descending);
    }
    if (!terms.isEmpty())
        sql += QStringLiteral(" ORDER BY ") + terms.join(QStringLiteral(", "));
    return {sql, m_binds};
}

} // namespace qs
