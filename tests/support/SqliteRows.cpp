#include "SqliteRows.h"

#include <QFile>

#include <sqlite3.h>

#include <memory>

namespace qs::test {

QStringList sqliteRows(const QString &path, const char *sql)
{
    sqlite3 *raw = nullptr;
    const int rc =
        sqlite3_open_v2(QFile::encodeName(path).constData(), &raw, SQLITE_OPEN_READONLY, nullptr);
    const std::unique_ptr<sqlite3, decltype(&sqlite3_close_v2)> db(raw, sqlite3_close_v2);
    sqlite3_stmt *rawStatement = nullptr;
    if (rc != SQLITE_OK || sqlite3_prepare_v2(raw, sql, -1, &rawStatement, nullptr) != SQLITE_OK)
        return {QStringLiteral("failed: ") + QString::fromUtf8(sqlite3_errmsg(raw))};
    const std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)> statement(rawStatement,
                                                                               sqlite3_finalize);
    QStringList rows;
    while (sqlite3_step(rawStatement) == SQLITE_ROW) {
        QStringList columns;
        for (int c = 0; c < sqlite3_column_count(rawStatement); ++c) {
            const auto *text = sqlite3_column_text(rawStatement, c);
            columns << (text ? QString::fromUtf8(reinterpret_cast<const char *>(text))
                             : QStringLiteral("NULL"));
        }
        rows << columns.join(u'|');
    }
    return rows;
}

} // namespace qs::test
