#include "SqliteDatabase.h"

#include "RecordLocks.h"
#include "Schema.h"

#include <QDate>
#include <QFile>
#include <QHash>

#include <sqlite3.h>

#include <cstdio>

namespace qs {

namespace {

struct ConnectionCloser
{
    void operator()(sqlite3 *db) const { sqlite3_close_v2(db); }
};
struct StatementFinalizer
{
    void operator()(sqlite3_stmt *st) const { sqlite3_finalize(st); }
};
using ConnectionPtr = std::unique_ptr<sqlite3, ConnectionCloser>;
using StatementPtr = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

// Resets a cached statement when a use of it ends, so that no statement
// keeps a read transaction open between user events.
class StatementUse
{
public:
    explicit StatementUse(sqlite3_stmt *st) : m_st(st) {}
    ~StatementUse()
    {
        if (m_st) {
            sqlite3_reset(m_st);
            sqlite3_clear_bindings(m_st);
        }
    }
    StatementUse(const StatementUse &) = delete;
    StatementUse &operator=(const StatementUse &) = delete;
    sqlite3_stmt *get() const { return m_st; }

private:
    sqlite3_stmt *m_st;
};

QString errorText(sqlite3 *db)
{
    return QString::fromUtf8(sqlite3_errmsg(db));
}

constexpr int kBusyTimeoutMs = 5000;

class Reader final : public FieldReader
{
public:
    explicit Reader(sqlite3_stmt *st) : m_st(st) {}
    Kind kind(int column) const override
    {
        switch (sqlite3_column_type(m_st, column)) {
        case SQLITE_NULL:
            return Kind::Null;
        case SQLITE_INTEGER:
            return Kind::Integer;
        case SQLITE_FLOAT:
            return Kind::Real;
        case SQLITE_BLOB:
            return Kind::Blob;
        default:
            return Kind::Text;
        }
    }
    qint64 integer(int column) const override { return sqlite3_column_int64(m_st, column); }
    std::string_view text(int column) const override
    {
        const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(m_st, column));
        return p ? std::string_view(p, size_t(sqlite3_column_bytes(m_st, column))) : std::string_view();
    }

private:
    sqlite3_stmt *m_st;
};

class SqliteDatabase final : public Database
{
public:
    SqliteDatabase(QString path, ConnectionPtr db, bool readOnly = false)
        : m_path(std::move(path)), m_db(std::move(db)), m_locks(m_path + QStringLiteral(".lock")),
          m_readOnly(readOnly)
    {
    }
    ~SqliteDatabase() override
    {
        // Statements must go before the connection.
        m_cache.clear();
    }

    QString path() const override { return m_path; }
    // Opened for reading, or opened by SQLite read-only because the file
    // cannot be written.
    bool isReadOnly() const override
    {
        return m_readOnly || sqlite3_db_readonly(m_db.get(), "main") == 1;
    }

    Status exec(const Statement &statement, qint64 *changes) override
    {
        auto prepared = prepare(statement);
        if (!prepared)
            return Status::failure(prepared.error());
        StatementUse use(prepared.value());
        int rc;
        while ((rc = sqlite3_step(use.get())) == SQLITE_ROW) {
        }
        if (rc != SQLITE_DONE)
            return Status::failure(errorText(m_db.get()));
        ++m_generation;
        if (changes)
            *changes = sqlite3_changes64(m_db.get());
        return Status::success();
    }

    Result<Rows> query(const Statement &statement) override
    {
        auto prepared = prepare(statement);
        if (!prepared)
            return Status::failure(prepared.error());
        StatementUse use(prepared.value());
        sqlite3_stmt *st = use.get();
        const int n = sqlite3_column_count(st);
        auto columns = std::make_shared<QStringList>();
        QVector<bool> isDate(n);
        for (int i = 0; i < n; ++i) {
            columns->append(QString::fromUtf8(sqlite3_column_name(st, i)));
            const char *decl = sqlite3_column_decltype(st, i);
            isDate[i] = decl && qstricmp(decl, "DATE") == 0;
        }
        Rows rows;
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            Row row;
            row.columns = columns;
            row.values.reserve(n);
            for (int i = 0; i < n; ++i)
                row.values.append(columnValue(st, i, isDate[i]));
            rows.push_back(std::move(row));
        }
        if (rc != SQLITE_DONE)
            return Status::failure(errorText(m_db.get()));
        return rows;
    }

    Status queryKeys(const Statement &statement, std::vector<qint64> &keys) override
    {
        auto prepared = prepare(statement);
        if (!prepared)
            return Status::failure(prepared.error());
        StatementUse use(prepared.value());
        int rc;
        while ((rc = sqlite3_step(use.get())) == SQLITE_ROW)
            keys.push_back(sqlite3_column_int64(use.get(), 0));
        if (rc != SQLITE_DONE)
            return Status::failure(errorText(m_db.get()));
        return Status::success();
    }

    Status scan(const Statement &statement,
                const std::function<bool(const FieldReader &row)> &row) override
    {
        auto prepared = prepare(statement);
        if (!prepared)
            return Status::failure(prepared.error());
        StatementUse use(prepared.value());
        const Reader reader(use.get());
        int rc;
        while ((rc = sqlite3_step(use.get())) == SQLITE_ROW)
            if (!row(reader))
                return Status::success();
        if (rc != SQLITE_DONE)
            return Status::failure(errorText(m_db.get()));
        return Status::success();
    }

    qint64 lastInsertKey() const override { return sqlite3_last_insert_rowid(m_db.get()); }

    Status begin() override { return exec({QStringLiteral("BEGIN IMMEDIATE"), {}}, nullptr); }
    Status commit() override { return exec({QStringLiteral("COMMIT"), {}}, nullptr); }
    void rollback() override { exec({QStringLiteral("ROLLBACK"), {}}, nullptr); }

    Status lockRecord(const QString &table, qint64 key) override
    {
        return m_locks.lock(lockSpace(table), key);
    }
    void unlockRecord(const QString &table, qint64 key) override
    {
        m_locks.unlock(lockSpace(table), key);
    }

    quint64 writeGeneration() const override { return m_generation; }

    qint64 dataVersion() override
    {
        auto rows = query({QStringLiteral("PRAGMA data_version"), {}});
        return rows && !rows->empty() ? rows->front().values.value(0).toLongLong() : 0;
    }

private:
    static int lockSpace(const QString &table)
    {
        return table.compare(schema::Types, Qt::CaseInsensitive) == 0 ? 1 : 0;
    }

    static QVariant columnValue(sqlite3_stmt *st, int i, bool isDate)
    {
        switch (sqlite3_column_type(st, i)) {
        case SQLITE_NULL:
            return {};
        case SQLITE_INTEGER:
            return QVariant(qlonglong(sqlite3_column_int64(st, i)));
        case SQLITE_FLOAT:
            return sqlite3_column_double(st, i);
        default: {
            const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(st, i));
            const QString s = QString::fromUtf8(text, sqlite3_column_bytes(st, i));
            if (isDate) {
                const QDate d = QDate::fromString(s, Qt::ISODate);
                return d.isValid() ? QVariant(d) : QVariant();
            }
            return s;
        }
        }
    }

    Result<sqlite3_stmt *> prepare(const Statement &statement)
    {
        sqlite3_stmt *st = nullptr;
        auto it = m_cache.find(statement.sql);
        if (it != m_cache.end()) {
            st = it->second.get();
        } else {
            const QByteArray sql = statement.sql.toUtf8();
            sqlite3_stmt *raw = nullptr;
            if (sqlite3_prepare_v3(m_db.get(), sql.constData(), int(sql.size()),
                                   SQLITE_PREPARE_PERSISTENT, &raw, nullptr) != SQLITE_OK) {
                sqlite3_finalize(raw);
                return Status::failure(errorText(m_db.get()));
            }
            if (m_cache.size() > 200)
                m_cache.clear();
            st = raw;
            m_cache.emplace(statement.sql, StatementPtr(raw));
        }
        if (sqlite3_bind_parameter_count(st) != statement.binds.size())
            return Status::failure(QStringLiteral("Wrong number of values for: %1").arg(statement.sql));
        for (int i = 0; i < statement.binds.size(); ++i) {
            if (!bind(st, i + 1, statement.binds.at(i))) {
                sqlite3_reset(st);
                return Status::failure(errorText(m_db.get()));
            }
        }
        return st;
    }

    static bool bind(sqlite3_stmt *st, int index, const QVariant &v)
    {
        int rc;
        if (v.isNull()) {
            rc = sqlite3_bind_null(st, index);
        } else {
            switch (v.typeId()) {
            case QMetaType::Bool:
            case QMetaType::Int:
            case QMetaType::UInt:
            case QMetaType::Short:
            case QMetaType::UShort:
            case QMetaType::Long:
            case QMetaType::LongLong:
            case QMetaType::ULongLong:
                rc = sqlite3_bind_int64(st, index, v.toLongLong());
                break;
            case QMetaType::Double:
            case QMetaType::Float:
                rc = sqlite3_bind_double(st, index, v.toDouble());
                break;
            case QMetaType::QDate: {
                // Formatted by hand: QDate::toString is slow for bulk writes.
                const QDate d = v.toDate();
                if (!d.isValid() || d.year() < 1 || d.year() > 9999) {
                    rc = sqlite3_bind_null(st, index);
                    break;
                }
                char iso[11];
                std::snprintf(iso, sizeof iso, "%04d-%02d-%02d", d.year(), d.month(), d.day());
                rc = sqlite3_bind_text(st, index, iso, 10, SQLITE_TRANSIENT);
                break;
            }
            default: {
                const QByteArray text = v.toString().toUtf8();
                rc = sqlite3_bind_text(st, index, text.constData(), int(text.size()), SQLITE_TRANSIENT);
            }
            }
        }
        return rc == SQLITE_OK;
    }

    QString m_path;
    ConnectionPtr m_db;
    std::unordered_map<QString, StatementPtr> m_cache;
    RecordLocks m_locks;
    quint64 m_generation = 1;
    bool m_readOnly;
};

Result<ConnectionPtr> openConnection(const QString &path, int flags)
{
    sqlite3 *raw = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &raw, flags, nullptr);
    ConnectionPtr db(raw);
    if (rc != SQLITE_OK)
        return Status::failure(raw ? errorText(raw) : QStringLiteral("out of memory"));
    sqlite3_busy_timeout(db.get(), kBusyTimeoutMs);
    sqlite3_extended_result_codes(db.get(), 1);
    return db;
}

Status run(sqlite3 *db, const char *sql)
{
    char *message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        const QString text = QString::fromUtf8(message ? message : sqlite3_errmsg(db));
        sqlite3_free(message);
        return Status::failure(text);
    }
    return Status::success();
}

} // namespace

Status checkDocumentDatabase(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Status::failure(QStringLiteral("cannot be read: %1").arg(file.errorString()));
    // SQLite opens an empty or foreign file as an empty database; look at
    // the header first so such a file is never touched.
    const QByteArray header = file.read(16);
    file.close();
    if (header != QByteArray("SQLite format 3\0", 16))
        return Status::failure(QStringLiteral("is not a Quillstack database"));
    auto db = openConnection(path, SQLITE_OPEN_READWRITE);
    if (!db)
        return Status::failure(db.error());
    for (const char *table : {"Documents", "Types"}) {
        sqlite3_stmt *raw = nullptr;
        const QByteArray sql = QByteArray("SELECT RecordPtr FROM ") + table + " LIMIT 0";
        const int rc = sqlite3_prepare_v2(db->get(), sql.constData(), -1, &raw, nullptr);
        StatementPtr st(raw);
        if (rc != SQLITE_OK)
            return Status::failure(QStringLiteral("is not a Quillstack database (no table %1)")
                                       .arg(QLatin1String(table)));
    }
    return Status::success();
}

Result<std::unique_ptr<Database>> openSqliteDatabase(const QString &path, bool mustExist)
{
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
    if (!mustExist)
        flags |= SQLITE_OPEN_CREATE;
    auto db = openConnection(path, flags);
    if (!db)
        return Status::failure(db.error());
    // Shared use by several copies of the program.
    if (Status s = run(db->get(), "PRAGMA journal_mode=WAL"); !s)
        return s;
    std::unique_ptr<Database> result = std::make_unique<SqliteDatabase>(path, std::move(*db));
    return result;
}

Result<std::unique_ptr<Database>> openSqliteDatabase(const QString &path, SqliteAccess)
{
    auto db = openConnection(path, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX);
    if (!db)
        return Status::failure(db.error());
    std::unique_ptr<Database> result = std::make_unique<SqliteDatabase>(path, std::move(*db), true);
    return result;
}

Status createDatabaseFromScript(const QString &path, const QString &script)
{
    auto db = openConnection(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    if (!db)
        return Status::failure(db.error());
    return run(db->get(), script.toUtf8().constData());
}

} // namespace qs
