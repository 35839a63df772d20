#pragma once

#include "SqlDialect.h"
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
    // SELECT RecordPtr FROM <table> ... ORDER BY ..., values bound, in the
    // dialect of the engine that runs it.
    virtual Statement keyStatement(SqlDialect dialect) const = 0;
    // The same selection with every field, for reading it outside a dynaset.
    virtual Statement statement(SqlDialect dialect) const = 0;
    // A faster path may produce the same keys in the same order without SQL.
    // Returns false when it cannot, and the SQL path runs instead.
    virtual bool keysFromMemory(Database &, std::vector<qint64> &) const { return false; }
};

// A selection given as SQL fragments written by the program: an optional
// WHERE condition with bound values, and the order as a list of field names,
// each perhaps followed by DESC ("Type, RecordPtr"), which every engine
// orders as the file does.
class SqlListSource : public ListSource
{
public:
    SqlListSource(QString table, QString where, QVariantList binds, QString orderBy)
        : m_table(std::move(table)), m_where(std::move(where)), m_binds(std::move(binds)),
          m_orderBy(std::move(orderBy))
    {
    }

    QString table() const override { return m_table; }
    Statement keyStatement(SqlDialect dialect) const override
    {
        return build(dialect, QStringLiteral("RecordPtr"));
    }
    Statement statement(SqlDialect dialect) const override
    {
        return build(dialect, QStringLiteral("*"));
    }

private:
    Statement build(SqlDialect dialect, const QString &columns) const;

    QString m_table;
    QString m_where;
    QVariantList m_binds;
    QString m_orderBy;
};

} // namespace qs
