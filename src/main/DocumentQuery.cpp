#include "DocumentQuery.h"

#include "main/DocumentIndexService.h"
#include "main/FilterPattern.h"

namespace qs {

ListOrder orderFromClause(const QString &clause)
{
    const QString c = clause.trimmed();
    if (c.compare(QLatin1String("DESCRIPTION"), Qt::CaseInsensitive) == 0)
        return ListOrder::Description;
    if (c.compare(QLatin1String("ID"), Qt::CaseInsensitive) == 0)
        return ListOrder::Id;
    return ListOrder::IdDescending;
}

QString clauseFromOrder(ListOrder order)
{
    switch (order) {
    case ListOrder::Description:
        return QStringLiteral("DESCRIPTION");
    case ListOrder::Id:
        return QStringLiteral("ID");
    case ListOrder::IdDescending:
        break;
    }
    return QStringLiteral("ID DESC");
}

std::optional<QDate> dateThreshold(int dateEntry, const QDate &today)
{
    static const int days[] = {0, 30, 60, 90, 365};
    if (dateEntry < Last30 || dateEntry > LastYear)
        return std::nullopt;
    return today.addDays(-days[dateEntry]);
}

QString DocumentListSource::table() const
{
    return QStringLiteral("Documents");
}

Statement DocumentListSource::whereClause(SqlDialect dialect) const
{
    Statement where;
    if (!m_query.filterOn)
        return where;
    QStringList conditions;
    const auto addText = [&](const QString &field, const QString &typed) {
        const QString text = typed.trimmed();
        if (text.isEmpty())
            return;
        // The typed text is a pattern value, never part of the SQL text.
        const FilterPattern pattern = FilterPattern::compile(text);
        if (dialect == SqlDialect::SQLite) {
            conditions << QStringLiteral("lower(%1) GLOB ?").arg(field);
            where.binds << pattern.toGlob();
        } else if (pattern.needsRegex()) {
            conditions << sql::key(dialect, field) + QStringLiteral(" ~ ?");
            where.binds << pattern.toRegex();
        } else {
            conditions << sql::key(dialect, field) + QStringLiteral(" LIKE ?");
            where.binds << pattern.toLike();
        }
    };
    addText(QStringLiteral("Description"), m_query.description);
    addText(QStringLiteral("Who"), m_query.who);
    addText(QStringLiteral("Note"), m_query.note);
    if (const auto threshold = dateThreshold(m_query.dateEntry, m_query.today)) {
        conditions << QStringLiteral("Date > ?");
        where.binds << *threshold;
    } else if (m_query.dateEntry == NoDate) {
        conditions << QStringLiteral("Date IS NULL");
    }
    if (m_query.typeKey != 0) {
        conditions << QStringLiteral("DocumentType = ?");
        where.binds << m_query.typeKey;
    }
    where.sql = conditions.join(QStringLiteral(" AND "));
    return where;
}

QString DocumentListSource::orderBy(SqlDialect dialect) const
{
    // With a condition, a plain ID order would lead SQLite to walk the ID
    // index and test every row; "+ID" keeps the index for the unfiltered list.
    // The server's planner weighs that itself.
    const bool hint = dialect == SqlDialect::SQLite && !whereClause(dialect).sql.isEmpty();
    const QString id = hint ? QStringLiteral("+ID") : QStringLiteral("ID");
    const QString key = QStringLiteral(", ") + sql::orderTerm(dialect, QStringLiteral("RecordPtr"));
    switch (m_query.order) {
    case ListOrder::Description:
        return sql::orderTerm(dialect, QStringLiteral("Description")) + key;
    case ListOrder::Id:
        return sql::orderTerm(dialect, id) + key;
    case ListOrder::IdDescending:
        break;
    }
    return sql::orderTerm(dialect, id, true) + key;
}

Statement DocumentListSource::select(SqlDialect dialect, const QString &columns) const
{
    Statement where = whereClause(dialect);
    Statement st;
    st.sql = QStringLiteral("SELECT %1 FROM Documents").arg(columns);
    if (!where.sql.isEmpty())
        st.sql += QStringLiteral(" WHERE ") + where.sql;
    st.sql += QStringLiteral(" ORDER BY ") + orderBy(dialect);
    st.binds = where.binds;
    return st;
}

Statement DocumentListSource::keyStatement(SqlDialect dialect) const
{
    return select(dialect, QStringLiteral("RecordPtr"));
}

bool DocumentListSource::keysFromMemory(Database &db, std::vector<qint64> &keys) const
{
    const auto index = m_index.lock();
    return index && &index->database() == &db && index->select(m_query, keys);
}

Statement DocumentListSource::statement(SqlDialect dialect) const
{
    return select(dialect, QStringLiteral("*"));
}

} // namespace qs
