#pragma once

#include <QString>

namespace qs {

// The SQL spoken by a database engine. Statement builders ask for it, so
// that the windows never know which engine holds the data.
enum class SqlDialect { SQLite, PostgreSQL };

namespace sql {

// Text fields compare and sort as the file does: ASCII letters folded to
// small letters, every other character kept, then byte order.
bool isTextField(const QString &field);

// The expression that compares and sorts `field` that way (the field itself
// when it is no text field).
QString key(SqlDialect dialect, const QString &field);
// One bound value ("?") made comparable with key() of a text field.
QString textValue(SqlDialect dialect);
// "field <op> ?", text folded on both sides.
QString compare(SqlDialect dialect, const QString &field, const QString &op);
// One ORDER BY term: nulls first going up and last going down, as the file
// orders them.
QString orderTerm(SqlDialect dialect, const QString &field, bool descending = false);

} // namespace sql

} // namespace qs
