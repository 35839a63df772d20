#pragma once

#include "Statement.h"

#include <QString>

#include <vector>

namespace qs {

class Database;

// What a dynaset lists: rows of one table, chosen and ordered. A dynaset
// reads only the keys (RecordPtr) of its result; rows are fetched on demand.
class ListSource
{
public:
    virtual ~ListSource() = default;

    virtual QString table() const = 0;
    // SELECT RecordPtr FROM <table> ... ORDER BY ..., values bound.
    virtual Statement keyStatement() const = 0;
    // The same selection with every field, for reading it outside a dynaset.
    virtual Statement statement() const = 0;
    // A faster path may produce the same keys in the same order without SQL.
    // Returns false when it cannot, and the SQL path runs instead.
    virtual bool keysFromMemory(Database &, std::vector<qint64> &) const { return false; }
};

// A selection given as SQL fragments written by the program: an optional
// WHERE condition with bound values and an ORDER BY list.
class SqlListSource : public ListSource
{
public:
    SqlListSource(QString table, QString where, QVariantList binds, QString orderBy)
        : m_table(std::move(table)), m_where(std::move(where)), m_binds(std::move(binds)),
          m_orderBy(std::move(orderBy))
    {
    }

    QString table() const override { return m_table; }
    Statement keyStatement() const override { return build(QStringLiteral("RecordPtr")); }
    Statement statement() const override { return build(QStringLiteral("*")); }

private:
    Statement build(const QString &columns) const
    {
        QString sql = QStringLiteral("SELECT %1 FROM %2").arg(columns, m_table);
        if (!m_where.isEmpty())
            sql += QStringLiteral(" WHERE ") + m_where;
        if (!m_orderBy.isEmpty())
            sql += QStringLiteral(" ORDER BY ") + m_orderBy;
        return {sql, m_binds};
    }

    QString m_table;
    QString m_where;
    QVariantList m_binds;
    QString m_orderBy;
};

} // namespace qs
