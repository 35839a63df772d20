#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

#include <memory>
#include <vector>

namespace qs {

// SQL written by the program itself, with every value bound as a parameter.
// User text only ever travels in `binds`.
struct Statement
{
    QString sql;
    QVariantList binds;
};

// One row read from the database: values in column order, null kept as a
// null QVariant, dates as QDate. Column names are shared between rows.
struct Row
{
    std::shared_ptr<const QStringList> columns;
    QVariantList values;

    bool isEmpty() const { return values.isEmpty(); }
    // Field lookup ignores letter case, as field names do everywhere here.
    int indexOf(const QString &field) const;
    QVariant value(const QString &field) const;
};

using Rows = std::vector<Row>;

} // namespace qs
