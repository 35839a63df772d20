#include "SqliteDatabase.h"

#include "RecordLocks.h"
#include "Schema.h"
#include "SqliteSupport.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <cerrno>
#include <cstdio>
#include <optional>

namespace qs {

namespace {

using namespace sqlite;

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
        return p ? std::string_view(p, size_t(sqlite3_column_bytes(m_st, column)))
                 : std::string_view();
    }

private:
    sqlite3_stmt *m_st;
};

class SqliteDatabase final : public Database
{
public:
    SqliteDatabase(QString path, QString shownPath, ConnectionPtr db,
                   std::optional<FileProblem> readOnly)
        : m_path(std::move(path)), m_shownPath(std::move(shownPath)), m_db(std::move(db)),
          m_readOnly(readOnly), m_locks(m_path + QStringLiteral(".lock"))
    {
    }
    ~SqliteDatabase() override
    {
        // Statements must go before the connection.
        m_cache.clear();
    }

    QString path() const override { return m_path; }
    SqlDialect dialect() const override { return SqlDialect::SQLite; }
    DatabaseOpener opener() const override
    {
        return [path = m_path] { return openSqliteDatabase(path); };
    }
    bool isReadOnly() const override { return m_readOnly.has_value(); }
    sqlite3 *connection() const { return m_db.get(); }
    const QString &shownPath() const { return m_shownPath; }

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
            return failure();
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
            return failure();
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
            return failure();
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
            return failure();
        return Status::success();
    }

    qint64 lastInsertKey() const override { return sqlite3_last_insert_rowid(m_db.get()); }

    Result<qint64> nextKey(const QString &table) override
    {
        // Keys are never reused, so only the engine knows the next one: a
        // row is written and taken back (the transaction rolls back).
        Transaction trial(*this);
        if (!trial.status())
            return Status::failure(trial.status().message());
        if (Status s =
                exec({QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table), {}}, nullptr);
            !s)
            return s;
        return lastInsertKey();
    }

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

    // The file tells only that another connection committed, not what.
    void pollOtherWriters() override
    {
        // Inside a transaction of ours the file holds still; what others
        // wrote meanwhile shows once it has ended.
        if (!m_watching || sqlite3_get_autocommit(m_db.get()) == 0)
            return;
        const qint64 version = dataVersion();
        if (version == m_seenVersion)
            return;
        m_seenVersion = version;
        otherWritersFound({{}, true});
    }

    void setBulkRead(bool on) override
    {
        // A list order walks an index and fetches each row by key, all over the file: mapped
        // into memory, those pages cost no system call each (about half an export's time).
        // Only for the export: a mapped file that fails to read ends the program instead of
        // reporting an error.
        sqlite3_exec(m_db.get(), on ? "PRAGMA mmap_size=4294967296" : "PRAGMA mmap_size=0", nullptr,
                     nullptr, nullptr);
    }

private:
    void watchOtherWriters(bool on) override
    {
        m_watching = on;
        if (on)
            m_seenVersion = dataVersion();
    }

    // A failure of the file (disk, permissions, damage, other programs) is
    // explained; a statement's own refusal (a constraint, a trigger) keeps
    // the engine's words, which the caller puts in context.
    Status failure() const
    {
        const int rc = sqlite3_extended_errcode(m_db.get());
        if (problemOf(rc, sqlite3_system_errno(m_db.get())) == FileProblem::Other &&
            !isAboutTheFile(rc))
            return Status::failure(QString::fromUtf8(sqlite3_errmsg(m_db.get())));
        return Status::failure(explain(m_db.get(), rc, FileAction::Use, m_shownPath, m_readOnly));
    }

    static bool isAboutTheFile(int rc)
    {
        switch (rc & 0xff) {
        case SQLITE_IOERR:
        case SQLITE_CANTOPEN:
        case SQLITE_NOMEM:
        case SQLITE_PROTOCOL:
        case SQLITE_NOLFS:
            return true;
        default:
            return false;
        }
    }

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
                return failure();
            }
            if (m_cache.size() > 200)
                m_cache.clear();
            st = raw;
            m_cache.emplace(statement.sql, StatementPtr(raw));
        }
        if (sqlite3_bind_parameter_count(st) != statement.binds.size())
            return Status::failure(
                QStringLiteral("Wrong number of values for: %1").arg(statement.sql));
        for (int i = 0; i < statement.binds.size(); ++i) {
            if (!bind(st, i + 1, statement.binds.at(i))) {
                sqlite3_reset(st);
                return failure();
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
                rc = sqlite3_bind_text(st, index, text.constData(), int(text.size()),
                                       SQLITE_TRANSIENT);
            }
            }
        }
        return rc == SQLITE_OK;
    }

    QString m_path;
    QString m_shownPath;
    ConnectionPtr m_db;
    std::optional<FileProblem> m_readOnly;
    std::unordered_map<QString, StatementPtr> m_cache;
    RecordLocks m_locks;
    quint64 m_generation = 1;
    bool m_watching = false;
    qint64 m_seenVersion = 0;
};

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

// Reads the schema, which is the first read that needs the log and its index.
int probe(sqlite3 *db)
{
    return sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
}

} // namespace

namespace sqlite {

int openConnection(const QString &path, int flags, const char *uriQuery, ConnectionPtr &db)
{
    QByteArray name = QFile::encodeName(path);
    if (uriQuery) {
        name = "file:" + name.toPercentEncoding("/") + '?' + uriQuery;
        flags |= SQLITE_OPEN_URI;
    }
    sqlite3 *raw = nullptr;
    const int rc = sqlite3_open_v2(name.constData(), &raw, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    db.reset(raw);
    if (!raw)
        return SQLITE_NOMEM;
    sqlite3_extended_result_codes(raw, 1);
    sqlite3_busy_timeout(raw, kBusyTimeoutMs);
    return rc;
}

bool mayWrite(const QString &path)
{
    sqlite3_vfs *vfs = sqlite3_vfs_find(nullptr);
    int writable = 0;
    const QByteArray name = QFile::encodeName(QFileInfo(path).absoluteFilePath());
    return vfs &&
           vfs->xAccess(vfs, name.constData(), SQLITE_ACCESS_READWRITE, &writable) == SQLITE_OK &&
           writable != 0;
}

FileProblem problemOf(int rc, int systemError)
{
    if (systemError == ENOSPC || systemError == EDQUOT)
        return FileProblem::DiskFull;
    switch (rc & 0xff) {
    case SQLITE_FULL:
        return FileProblem::DiskFull;
    case SQLITE_READONLY:
        return FileProblem::ReadOnlyFile; // which one is decided by the caller
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_IOERR:
        if (systemError == EACCES || systemError == EPERM || systemError == EROFS)
            return FileProblem::ReadOnlyFile;
        return FileProblem::Other;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return FileProblem::Damaged;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return FileProblem::Locked;
    default:
        return FileProblem::Other;
    }
}

QString explain(sqlite3 *db, int rc, FileAction action, const QString &dbPath,
                std::optional<FileProblem> readOnly)
{
    const int systemError = db ? sqlite3_system_errno(db) : 0;
    FileProblem problem = problemOf(rc, systemError);
    if (problem == FileProblem::ReadOnlyFile) {
        if (readOnly)
            problem = *readOnly;
        else if (mayWrite(dbPath))
            problem = FileProblem::ReadOnlyFolder;
    }
    QString detail;
    if (problem == FileProblem::Damaged || problem == FileProblem::Other)
        detail = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
    return explainFileProblem(problem, action, dbPath, detail);
}

sqlite3 *connectionOf(Database &db)
{
    auto *own = dynamic_cast<SqliteDatabase *>(&db);
    return own ? own->connection() : nullptr;
}

QString shownPathOf(Database &db)
{
    auto *own = dynamic_cast<SqliteDatabase *>(&db);
    return own ? own->shownPath() : db.path();
}

} // namespace sqlite

Result<std::unique_ptr<Database>> openSqliteDatabase(const QString &path, const QString &shownPath)
{
    const QString shown = shownPath.isEmpty() ? path : shownPath;
    std::optional<FileProblem> readOnly;
    if (!mayWrite(path))
        readOnly = FileProblem::ReadOnlyFile;
    else if (!mayWrite(QFileInfo(path).absolutePath()))
        readOnly = FileProblem::ReadOnlyFolder;

    ConnectionPtr db;
    int rc;
    if (!readOnly) {
        rc = openConnection(path, SQLITE_OPEN_READWRITE, nullptr, db);
        // SQLite falls back to reading when it may not write the file.
        if (rc == SQLITE_OK && sqlite3_db_readonly(db.get(), "main") == 1)
            readOnly = FileProblem::ReadOnlyFile;
        // Shared use by several copies of the program.
        else if (rc == SQLITE_OK)
            rc = sqlite3_exec(db.get(), "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    } else {
        rc = openConnection(path, SQLITE_OPEN_READONLY, "mode=ro", db);
        if (rc == SQLITE_OK)
            rc = probe(db.get());
        // A log that nobody may create means that nobody can be writing:
        // the file is read as it stands.
        if ((rc & 0xff) == SQLITE_READONLY || (rc & 0xff) == SQLITE_CANTOPEN) {
            rc = openConnection(path, SQLITE_OPEN_READONLY, "mode=ro&immutable=1", db);
            if (rc == SQLITE_OK)
                rc = probe(db.get());
        }
    }
    if (rc != SQLITE_OK)
        return Status::failure(explain(db.get(), rc, FileAction::Open, shown, readOnly));
    std::unique_ptr<Database> result =
        std::make_unique<SqliteDatabase>(path, shown, std::move(db), readOnly);
    return result;
}

Status createDatabaseFromScript(const QString &path, const QString &script)
{
    ConnectionPtr db;
    if (openConnection(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr, db) != SQLITE_OK)
        return Status::failure(QString::fromUtf8(sqlite3_errmsg(db.get())));
    return run(db.get(), script.toUtf8().constData());
}

} // namespace qs
