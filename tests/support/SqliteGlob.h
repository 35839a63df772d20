#pragma once

// What SQLite itself answers for `lower(text) GLOB glob`, the condition the list's SQL uses:
// the reference that the in-memory filter is checked against. Header only, so that the fuzz
// targets use it without the rest of the support library.

#include <QString>

#include <sqlite3.h>

#include <memory>
#include <optional>

namespace qs::test {

// A null text is SQL's NULL. Text is bound as the store binds it: its UTF-8 bytes, NULs
// included. No answer when SQLite refuses the pattern.
inline std::optional<bool> sqliteGlob(const QString &text, const QString &glob)
{
    struct Connection
    {
        std::unique_ptr<sqlite3, decltype(&sqlite3_close)> db{nullptr, sqlite3_close};
        std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)> st{nullptr, sqlite3_finalize};
        Connection()
        {
            sqlite3 *handle = nullptr;
            sqlite3_stmt *statement = nullptr;
            sqlite3_open(":memory:", &handle);
            db.reset(handle);
            sqlite3_prepare_v2(handle, "SELECT lower(?1) GLOB ?2", -1, &statement, nullptr);
            st.reset(statement);
        }
    };
    static const Connection connection;
    sqlite3_stmt *st = connection.st.get();
    if (!st)
        return std::nullopt;
    const QByteArray t = text.toUtf8(), g = glob.toUtf8();
    sqlite3_bind_text(st, 1, text.isNull() ? nullptr : t.constData(), int(t.size()), SQLITE_STATIC);
    sqlite3_bind_text(st, 2, g.constData(), int(g.size()), SQLITE_STATIC);
    std::optional<bool> answer;
    if (sqlite3_step(st) == SQLITE_ROW)
        answer = sqlite3_column_int(st, 0) != 0;
    sqlite3_reset(st);
    return answer;
}

} // namespace qs::test
