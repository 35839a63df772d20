// The PostgreSQL engine: the only file that includes libpq.
#include "PostgresDatabase.h"

#include "Schema.h"

#include <QDate>
#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <libpq-fe.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace qs {

namespace {

struct ConnectionCloser
{
    void operator()(PGconn *c) const { PQfinish(c); }
};
struct ResultClearer
{
    void operator()(PGresult *r) const { PQclear(r); }
};
using ConnectionPtr = std::unique_ptr<PGconn, ConnectionCloser>;
using ResultPtr = std::unique_ptr<PGresult, ResultClearer>;

// Built-in type numbers, fixed by the server.
constexpr Oid kBool = 16, kBytea = 17, kInt8 = 20, kInt2 = 21, kInt4 = 23, kOid = 26, kFloat4 = 700,
              kFloat8 = 701, kDate = 1082, kNumeric = 1700;

const char *const kLost =
    "The connection to the database server was lost (the server may have been restarted, or "
    "the network may be down), so this could not be completed. Try again once the server can "
    "be reached; Quillstack connects again by itself.";

// Advisory lock spaces of the record locks, one per table (see also the
// schema's creation lock).
constexpr int kLockDocuments = 0x51534B01;
constexpr int kLockTypes = 0x51534B02;

// Beyond this many changed rows heard between two looks, the listener is
// told to read everything again (in the background) rather than each row.
constexpr size_t kMostKeysTold = 1000;

FieldReader::Kind kindOf(Oid type)
{
    switch (type) {
    case kInt2:
    case kInt4:
    case kInt8:
    case kOid:
        return FieldReader::Kind::Integer;
    case kFloat4:
    case kFloat8:
    case kNumeric:
        return FieldReader::Kind::Real;
    case kBytea:
        return FieldReader::Kind::Blob;
    default:
        return FieldReader::Kind::Text;
    }
}

// The server folds unquoted names to small letters; results give the
// program's own spelling back.
QString fieldName(const char *name)
{
    static const QStringList known = {"ID",          "Description", "DocumentType", "Date",
                                      "Who",         "Note",        "RecordPtr",    "DateAdded",
                                      "DateChanged", "Type",        "MaxID",        "Version"};
    const QString n = QString::fromUtf8(name);
    for (const QString &k : known)
        if (k.compare(n, Qt::CaseInsensitive) == 0)
            return k;
    return n;
}

QVariant fieldValue(const PGresult *r, int row, int column)
{
    if (PQgetisnull(r, row, column))
        return {};
    const char *text = PQgetvalue(r, row, column);
    const int length = PQgetlength(r, row, column);
    switch (PQftype(r, column)) {
    case kInt2:
    case kInt4:
    case kInt8:
    case kOid:
        return QVariant(qlonglong(std::strtoll(text, nullptr, 10)));
    case kFloat4:
    case kFloat8:
    case kNumeric:
        return std::strtod(text, nullptr);
    case kBool:
        return text[0] == 't';
    case kDate: {
        const QDate d = QDate::fromString(QString::fromLatin1(text, length), Qt::ISODate);
        return d.isValid() ? QVariant(d) : QVariant();
    }
    default:
        return QString::fromUtf8(text, length);
    }
}

// "?" marks become "$1", "$2", ... outside quoted text and names.
QByteArray numberedPlaceholders(const QString &sql, int *count)
{
    const QByteArray in = sql.toUtf8();
    QByteArray out;
    out.reserve(in.size() + 16);
    char quote = 0;
    int n = 0;
    for (const char c : in) {
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '?') {
            out += '$';
            out += QByteArray::number(++n);
            continue;
        }
        out += c;
    }
    *count = n;
    return out;
}

// A bound value as the server reads it in text form; false for a null.
bool valueText(const QVariant &v, QByteArray &out, QString *error)
{
    if (v.isNull())
        return false;
    switch (v.typeId()) {
    case QMetaType::Bool:
        out = v.toBool() ? "1" : "0";
        return true;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::LongLong:
        out = QByteArray::number(v.toLongLong());
        return true;
    case QMetaType::ULongLong:
        out = QByteArray::number(v.toULongLong());
        return true;
    case QMetaType::Double:
    case QMetaType::Float:
        out = QByteArray::number(v.toDouble(), 'g', 17);
        return true;
    case QMetaType::QDate: {
        // Stored as the file stores it: dates outside years 1 to 9999 as none.
        const QDate d = v.toDate();
        if (!d.isValid() || d.year() < 1 || d.year() > 9999)
            return false;
        char iso[11];
        std::snprintf(iso, sizeof iso, "%04d-%02d-%02d", d.year(), d.month(), d.day());
        out = QByteArray(iso, 10);
        return true;
    }
    default:
        out = v.toString().toUtf8();
        if (out.contains('\0') && error)
            *error = QStringLiteral("A text holds the character NUL, which the database server "
                                    "cannot store.");
        return true;
    }
}

class Reader final : public FieldReader
{
public:
    Reader(const PGresult *r, const std::vector<Kind> &kinds) : m_r(r), m_kinds(kinds) {}
    Kind kind(int column) const override
    {
        return PQgetisnull(m_r, 0, column) ? Kind::Null : m_kinds[size_t(column)];
    }
    qint64 integer(int column) const override
    {
        return std::strtoll(PQgetvalue(m_r, 0, column), nullptr, 10);
    }
    std::string_view text(int column) const override
    {
        return {PQgetvalue(m_r, 0, column), size_t(PQgetlength(m_r, 0, column))};
    }

private:
    const PGresult *m_r;
    const std::vector<Kind> &m_kinds;
};

// Connection parameters: our defaults come before the user's string, which
// may override every one of them; the encoding comes after it.
struct Parameters
{
    explicit Parameters(const std::string &conninfo)
    {
        if (!qEnvironmentVariableIsSet("PGCONNECT_TIMEOUT"))
            add("connect_timeout", "10");
        // A vanished client or server is noticed within about a minute, so
        // that a pulled cable does not hold record locks for hours.
        add("keepalives", "1");
        add("keepalives_idle", "30");
        add("keepalives_interval", "10");
        add("keepalives_count", "3");
        add("tcp_user_timeout", "60000");
        add("fallback_application_name", "quillstack");
        add("dbname", conninfo.c_str());
        add("client_encoding", "UTF8");
        keywords.push_back(nullptr);
        values.push_back(nullptr);
    }
    void add(const char *k, const char *v)
    {
        keywords.push_back(k);
        values.push_back(v);
    }
    std::vector<const char *> keywords;
    std::vector<const char *> values;
};

QString firstLine(const char *message)
{
    return QString::fromUtf8(message).trimmed().section(QLatin1Char('\n'), 0, 0);
}

// libpq's and the server's texts may quote what the user gave: a database
// name that was meant as a URI ("postgres:/user:secret@host"), or a value of
// the string. Every password it holds is masked before the text is shown.
QString withoutPassword(QString text, const std::string &conninfo)
{
    const QString mask = QStringLiteral("********");
    QStringList secrets;
    char *error = nullptr;
    if (PQconninfoOption *options = PQconninfoParse(conninfo.c_str(), &error)) {
        for (const PQconninfoOption *o = options; o->keyword; ++o)
            if (o->val && std::strcmp(o->keyword, "password") == 0)
                secrets << QString::fromUtf8(o->val);
        PQconninfoFree(options);
    }
    PQfreemem(error);
    static const QRegularExpression userInfo(
        QStringLiteral("((?:^|[/\"=\\s])[^/@\\s:\"]*:)[^/@\\s\"]*@"));
    for (const QRegularExpressionMatch &m : userInfo.globalMatch(QString::fromStdString(conninfo)))
        secrets << m.captured().mid(m.capturedLength(1)).chopped(1);
    for (const QString &secret : std::as_const(secrets))
        if (!secret.isEmpty())
            text.replace(secret, mask);
    static const QRegularExpression keyword(
        QStringLiteral("(password\\s*=\\s*)('(?:[^'\\\\]|\\\\.)*'|\\S+)"),
        QRegularExpression::CaseInsensitiveOption);
    text.replace(keyword, QStringLiteral("\\1") + mask);
    return text.replace(userInfo, QStringLiteral("\\1") + mask + QLatin1Char('@'));
}

bool looksLikeConnectionString(const std::string &s)
{
    return s.find('=') != std::string::npos || s.rfind("postgresql://", 0) == 0 ||
           s.rfind("postgres://", 0) == 0;
}

Result<ConnectionPtr> connectTo(const std::string &conninfo)
{
    const QString formsHint = QStringLiteral(
        " Give a connection string such as \"host=server dbname=quillstack\", a URI such as "
        "\"postgresql://server/quillstack\", or a database name.");
    if (looksLikeConnectionString(conninfo)) {
        // libpq's own text may quote part of the string, which may hold a password.
        char *error = nullptr;
        PQconninfoOption *options = PQconninfoParse(conninfo.c_str(), &error);
        PQfreemem(error);
        if (!options)
            return Status::failure(QStringLiteral("The database connection string is not valid.") +
                                   formsHint);
        PQconninfoFree(options);
    }
    const Parameters p(conninfo);
    ConnectionPtr conn(PQconnectdbParams(p.keywords.data(), p.values.data(), 1));
    if (!conn)
        return Status::failure(
            QStringLiteral("Out of memory while connecting to the database server."));
    if (PQstatus(conn.get()) == CONNECTION_OK)
        return conn;
    const QString reason = withoutPassword(firstLine(PQerrorMessage(conn.get())), conninfo);
    switch (PQpingParams(p.keywords.data(), p.values.data(), 1)) {
    case PQPING_NO_ATTEMPT:
        return Status::failure(
            QStringLiteral("The database connection string is not valid: %1.").arg(reason) +
            formsHint);
    case PQPING_NO_RESPONSE:
        return Status::failure(
            QStringLiteral("The database server could not be reached: %1. Check the server's "
                           "name and port, that it is running, and that it accepts connections "
                           "from this computer.")
                .arg(reason));
    default:
        return Status::failure(
            QStringLiteral("The database server refused the login: %1. Check the user name, "
                           "the password and the database name, and that the server's "
                           "pg_hba.conf lets this user in.")
                .arg(reason));
    }
}

class PostgresDatabase final : public Database
{
public:
    PostgresDatabase(std::string conninfo, ConnectionPtr conn)
        : m_conninfo(std::move(conninfo)), m_conn(std::move(conn))
    {
        // The server's notices ("already exists, skipping") are for a console.
        PQsetNoticeProcessor(
            m_conn.get(), [](void *, const char *) {}, nullptr);
        setUpSession();
        // A standby server, or a session the administrator made read-only.
        ResultPtr r(PQexec(m_conn.get(), "SELECT pg_is_in_recovery() OR "
                                         "current_setting('transaction_read_only') = 'on'"));
        m_readOnly = r && PQresultStatus(r.get()) == PGRES_TUPLES_OK && PQntuples(r.get()) == 1 &&
                     PQgetvalue(r.get(), 0, 0)[0] == 't';
    }

    QString path() const override
    {
        const QString host = QString::fromUtf8(PQhost(m_conn.get()));
        return QStringLiteral("database \"%1\" on %2 port %3")
            .arg(QString::fromUtf8(PQdb(m_conn.get())),
                 host.startsWith(QLatin1Char('/')) ? QStringLiteral("this computer") : host,
                 QString::fromUtf8(PQport(m_conn.get())));
    }
    SqlDialect dialect() const override { return SqlDialect::PostgreSQL; }
    bool isReadOnly() const override { return m_readOnly; }
    DatabaseOpener opener() const override
    {
        return [conninfo = m_conninfo] {
            return connectServerDatabase(QString::fromStdString(conninfo));
        };
    }

    Status exec(const Statement &statement, qint64 *changes) override
    {
        Statement st = statement;
        // Every table has RecordPtr; asking for it saves a second round trip.
        const bool insert =
            st.sql.trimmed().startsWith(QLatin1String("INSERT"), Qt::CaseInsensitive);
        if (insert && !st.sql.contains(QLatin1String("RETURNING"), Qt::CaseInsensitive))
            st.sql += QStringLiteral(" RETURNING RecordPtr");
        auto r = run(st, false);
        if (!r)
            return Status::failure(r.error());
        ++m_generation;
        const PGresult *res = r->get();
        if (insert && PQntuples(res) > 0)
            m_lastInsertKey = std::strtoll(PQgetvalue(res, PQntuples(res) - 1, 0), nullptr, 10);
        if (changes)
            *changes = std::strtoll(PQcmdTuples(r->get()), nullptr, 10);
        return Status::success();
    }

    Result<Rows> query(const Statement &statement) override
    {
        auto r = run(statement, true);
        if (!r)
            return Status::failure(r.error());
        const PGresult *res = r->get();
        const int columns = PQnfields(res);
        auto names = std::make_shared<QStringList>();
        for (int c = 0; c < columns; ++c)
            names->append(fieldName(PQfname(res, c)));
        Rows rows;
        rows.reserve(size_t(PQntuples(res)));
        for (int i = 0; i < PQntuples(res); ++i) {
            Row row;
            row.columns = names;
            row.values.reserve(columns);
            for (int c = 0; c < columns; ++c)
                row.values.append(fieldValue(res, i, c));
            rows.push_back(std::move(row));
        }
        return rows;
    }

    Status queryKeys(const Statement &statement, std::vector<qint64> &keys) override
    {
        auto r = run(statement, true);
        if (!r)
            return Status::failure(r.error());
        const PGresult *res = r->get();
        const int n = PQntuples(res);
        keys.reserve(keys.size() + size_t(n));
        for (int i = 0; i < n; ++i)
            keys.push_back(std::strtoll(PQgetvalue(res, i, 0), nullptr, 10));
        return Status::success();
    }

    Status scan(const Statement &statement,
                const std::function<bool(const FieldReader &row)> &row) override
    {
        // Rows arrive one at a time, so a large table is never held whole.
        for (int attempt = 0;; ++attempt) {
            if (Status s = ensureConnected(); !s)
                return s;
            Bound bound;
            if (Status s = bind(statement, bound); !s)
                return s;
            if (!PQsendQueryParams(m_conn.get(), bound.sql.constData(), bound.count(), nullptr,
                                   bound.values.data(), bound.lengths.data(), nullptr, 0) ||
                !PQsetSingleRowMode(m_conn.get())) {
                drain();
                if (lostConnection() && attempt == 0 && m_depth == 0)
                    continue;
                return failure(nullptr);
            }
            bool delivered = false;
            const Status streamed = streamRows(row, delivered);
            // Nothing was read yet, so the whole read can be made again.
            if (!streamed && !delivered && lostConnection() && attempt == 0 && m_depth == 0)
                continue;
            return streamed;
        }
    }

    qint64 lastInsertKey() const override { return m_lastInsertKey; }

    Result<qint64> nextKey(const QString &table) override
    {
        // The identity sequence is read, not advanced: a trial row would use
        // up a key even when rolled back.
        auto rows =
            query({QStringLiteral("SELECT pg_sequence_last_value(CAST(pg_get_serial_sequence(?, "
                                  "'recordptr') AS regclass))"),
                   {table.toLower()}});
        if (!rows)
            return Status::failure(rows.error());
        const QVariant last = rows->empty() ? QVariant() : rows->front().values.value(0);
        return last.isNull() ? qint64(1) : last.toLongLong() + 1;
    }

    Status insertRows(const QString &table, const QStringList &columns,
                      const std::vector<QVariantList> &rows, qsizetype *failedRow) override;

    Status begin() override
    {
        // Inner transactions are savepoints of the outer one.
        const QByteArray sql =
            m_depth == 0 ? QByteArray("BEGIN") : "SAVEPOINT qs_" + QByteArray::number(m_depth);
        if (m_depth == 0)
            if (Status s = ensureConnected(); !s)
                return s;
        if (Status s = command(sql); !s)
            return s;
        ++m_depth;
        return Status::success();
    }
    Status commit() override
    {
        if (m_depth == 0)
            return Status::failure(QStringLiteral("Commit without a transaction."));
        --m_depth;
        if (m_depth > 0)
            return command("RELEASE SAVEPOINT qs_" + QByteArray::number(m_depth));
        ResultPtr r(PQexec(m_conn.get(), "COMMIT"));
        ++m_generation;
        if (!r || PQresultStatus(r.get()) != PGRES_COMMAND_OK)
            return failure(r.get());
        // A transaction that had failed ends in a rollback, reported as such.
        if (std::strcmp(PQcmdStatus(r.get()), "ROLLBACK") == 0)
            return Status::failure(QStringLiteral("The database server rolled the changes back."));
        return Status::success();
    }
    void rollback() override
    {
        if (m_depth == 0)
            return;
        --m_depth;
        if (m_depth > 0) {
            const QByteArray name = "qs_" + QByteArray::number(m_depth);
            command("ROLLBACK TO SAVEPOINT " + name + "; RELEASE SAVEPOINT " + name);
        } else if (PQstatus(m_conn.get()) == CONNECTION_OK) {
            command("ROLLBACK");
        }
    }

    Status lockRecord(const QString &table, qint64 key) override
    {
        const auto id = lockId(table, key);
        if (auto it = m_held.find(id); it != m_held.end() && !m_lost.contains(id)) {
            ++it.value();
            return Status::success();
        }
        auto taken = tryLock(id);
        if (!taken)
            return Status::failure(taken.error());
        if (!taken.value())
            return Status::failure(QStringLiteral("The record is locked by another user."),
                                   FailureKind::RecordLocked);
        m_lost.remove(id);
        m_held[id] += 1;
        return Status::success();
    }
    void unlockRecord(const QString &table, qint64 key) override
    {
        const auto id = lockId(table, key);
        auto it = m_held.find(id);
        if (it == m_held.end() || --it.value() > 0)
            return;
        m_held.erase(it);
        if (m_lost.remove(id) || PQstatus(m_conn.get()) != CONNECTION_OK)
            return;
        run({QStringLiteral("SELECT pg_advisory_unlock(CAST(? AS integer), CAST(? AS integer))"),
             {id.first, id.second}},
            false);
    }
    Status checkRecordLock(const QString &table, qint64 key) override
    {
        if (Status s = ensureConnected(); !s)
            return s;
        if (m_lost.contains(lockId(table, key)))
            return Status::failure(
                QStringLiteral("The connection to the database server was lost while this "
                               "record was open, and another user has begun to change it since. "
                               "Your changes have not been saved."));
        return Status::success();
    }

    quint64 writeGeneration() const override { return m_generation; }
    // Bumped when changes by others may have been missed (a new connection).
    qint64 dataVersion() override { return m_dataVersion; }

    void pollOtherWriters() override
    {
        if (!m_watching || lostConnection())
            return;
        // All that has arrived, which may take more than one read. A lost
        // connection shows at the next command, which connects again.
        for (int reads = 0; reads < 256 && PQconsumeInput(m_conn.get()) && collectNotices() > 0;
             ++reads) {
        }
        // Told only between transactions of ours, as the server sends them.
        if (m_depth > 0 || (!m_missedWrites && m_otherKeys.empty()))
            return;
        OtherWrites writes;
        writes.unknown = std::exchange(m_missedWrites, false);
        if (!writes.unknown) {
            std::sort(m_otherKeys.begin(), m_otherKeys.end());
            m_otherKeys.erase(std::unique(m_otherKeys.begin(), m_otherKeys.end()),
                              m_otherKeys.end());
            writes.documents = std::move(m_otherKeys);
        }
        m_otherKeys.clear();
        otherWritersFound(writes);
    }
    int otherWriterSocket() const override
    {
        return m_watching && !lostConnection() ? PQsocket(m_conn.get()) : -1;
    }

private:
    struct Bound
    {
        QByteArray sql;
        std::vector<QByteArray> texts;
        std::vector<const char *> values;
        std::vector<int> lengths;
        int count() const { return int(values.size()); }
    };
    using LockId = QPair<int, int>;

    static LockId lockId(const QString &table, qint64 key)
    {
        const int space =
            table.compare(schema::Types, Qt::CaseInsensitive) == 0 ? kLockTypes : kLockDocuments;
        // Keys beyond 32 bits share a lock with a key 2^32 below them.
        return {space, int(quint32(quint64(key) & 0xffffffffu))};
    }

    Status bind(const Statement &statement, Bound &b) const
    {
        int marks = 0;
        b.sql = numberedPlaceholders(statement.sql, &marks);
        if (marks != statement.binds.size())
            return Status::failure(
                QStringLiteral("Wrong number of values for: %1").arg(statement.sql));
        b.texts.resize(size_t(marks));
        QString error;
        for (int i = 0; i < marks; ++i) {
            const bool present = valueText(statement.binds.at(i), b.texts[size_t(i)], &error);
            b.values.push_back(present ? b.texts[size_t(i)].constData() : nullptr);
            b.lengths.push_back(int(b.texts[size_t(i)].size()));
        }
        if (!error.isEmpty())
            return Status::failure(error);
        return Status::success();
    }

    // Runs one statement with its values bound. A read that fails because
    // the connection was gone is tried once more on a new connection.
    Result<ResultPtr> run(const Statement &statement, bool readOnly)
    {
        Bound bound;
        if (Status s = bind(statement, bound); !s)
            return s;
        for (int attempt = 0;; ++attempt) {
            if (Status s = ensureConnected(); !s)
                return s;
            ResultPtr r(PQexecParams(m_conn.get(), bound.sql.constData(), bound.count(), nullptr,
                                     bound.values.data(), bound.lengths.data(), nullptr, 0));
            const ExecStatusType st = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
            if (st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK)
                return r;
            if (lostConnection() && readOnly && attempt == 0 && m_depth == 0)
                continue;
            return failure(r.get());
        }
    }

    Status command(const QByteArray &sql)
    {
        ResultPtr r(PQexec(m_conn.get(), sql.constData()));
        ++m_generation;
        if (r && PQresultStatus(r.get()) == PGRES_COMMAND_OK)
            return Status::success();
        return failure(r.get());
    }

    Result<bool> tryLock(const LockId &id)
    {
        auto rows = query({QStringLiteral("SELECT pg_try_advisory_lock(CAST(? AS integer), "
                                          "CAST(? AS integer))"),
                           {id.first, id.second}});
        if (!rows)
            return Status::failure(rows.error());
        return !rows->empty() && rows->front().values.value(0).toBool();
    }

    Status streamRows(const std::function<bool(const FieldReader &row)> &row, bool &delivered)
    {
        std::vector<FieldReader::Kind> kinds;
        Status outcome;
        bool stopped = false;
        while (PGresult *raw = PQgetResult(m_conn.get())) {
            ResultPtr r(raw);
            const ExecStatusType st = PQresultStatus(raw);
            if (st == PGRES_SINGLE_TUPLE && !stopped) {
                if (kinds.empty())
                    for (int c = 0; c < PQnfields(raw); ++c)
                        kinds.push_back(kindOf(PQftype(raw, c)));
                // Rows not wanted are read and dropped: cancelling the query
                // could reach the server after the next one had begun.
                delivered = true;
                stopped = !row(Reader(raw, kinds));
            } else if (st != PGRES_SINGLE_TUPLE && st != PGRES_TUPLES_OK && !stopped &&
                       outcome.ok()) {
                outcome = failure(raw);
            }
        }
        return outcome;
    }

    void drain()
    {
        while (PGresult *r = PQgetResult(m_conn.get()))
            PQclear(r);
    }

    bool lostConnection() const { return PQstatus(m_conn.get()) == CONNECTION_BAD; }

    // The trigger on Documents announces each changed row's key on this
    // channel, or nothing in particular after a large change.
    void watchOtherWriters(bool on) override
    {
        m_watching = on;
        m_otherKeys.clear();
        m_missedWrites = false;
        if (!lostConnection())
            listen(on);
    }
    void listen(bool on)
    {
        ResultPtr r(PQexec(m_conn.get(), on ? "LISTEN qsk_documents" : "UNLISTEN qsk_documents"));
    }
    // Returns how many notices it read.
    int collectNotices()
    {
        // Our own writes are announced to us too; record sets told of them.
        const int self = PQbackendPID(m_conn.get());
        int read = 0;
        while (PGnotify *raw = PQnotifies(m_conn.get())) {
            const std::unique_ptr<PGnotify, decltype(&PQfreemem)> notice(raw, &PQfreemem);
            ++read;
            if (notice->be_pid == self)
                continue;
            char *end = nullptr;
            const long long key = std::strtoll(notice->extra, &end, 10);
            if (key <= 0 || end == notice->extra || *end != '\0' ||
                m_otherKeys.size() >= kMostKeysTold)
                m_missedWrites = true;
            else
                m_otherKeys.push_back(key);
        }
        return read;
    }

    Status failure(const PGresult *r)
    {
        if (lostConnection())
            return Status::failure(QString::fromLatin1(kLost));
        const char *primary = r ? PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
        const QString text =
            primary ? QString::fromUtf8(primary) : firstLine(PQerrorMessage(m_conn.get()));
        return Status::failure(QStringLiteral("The database server reported: %1").arg(text));
    }

    // Connects again when the connection was lost, unless a transaction was
    // under way: its work is gone, which the caller learns from the failure.
    Status ensureConnected()
    {
        if (!lostConnection())
            return Status::success();
        if (m_depth > 0)
            return Status::failure(QString::fromLatin1(kLost));
        PQreset(m_conn.get());
        if (lostConnection())
            return Status::failure(QString::fromLatin1(kLost));
        setUpSession();
        ++m_dataVersion;
        // What others wrote while the connection was gone was not heard.
        if (m_watching) {
            listen(true);
            m_missedWrites = true;
        }
        // The server released our record locks with the old connection.
        const auto held = m_held.keys();
        for (const LockId &id : held) {
            auto taken = tryLock(id);
            if (!taken || !taken.value())
                m_lost.insert(id);
        }
        return Status::success();
    }

    void setUpSession()
    {
        // Dates travel as ISO text. The keepalive settings make the server
        // notice a client that vanished, and release its record locks.
        ResultPtr r(PQexec(m_conn.get(),
                           "SET DateStyle = 'ISO, MDY'; SET tcp_keepalives_idle = 30; "
                           "SET tcp_keepalives_interval = 10; "
                           "SET tcp_keepalives_count = 3"));
        ResultPtr check(PQexec(m_conn.get(), "SET client_connection_check_interval = 10000"));
    }

    std::string m_conninfo; // never shown: it may hold a password
    ConnectionPtr m_conn;
    int m_depth = 0;
    bool m_readOnly = false;
    quint64 m_generation = 1;
    qint64 m_dataVersion = 1;
    qint64 m_lastInsertKey = 0;
    QHash<LockId, int> m_held;
    QSet<LockId> m_lost;
    bool m_watching = false;
    bool m_missedWrites = false;
    std::vector<qint64> m_otherKeys;
};

// COPY text form: backslash, tab, newline and return escaped; \N for null.
void appendCopyField(QByteArray &out, const QByteArray &text)
{
    for (const char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
}

Status PostgresDatabase::insertRows(const QString &table, const QStringList &columns,
                                    const std::vector<QVariantList> &rows, qsizetype *failedRow)
{
    if (failedRow)
        *failedRow = -1;
    if (rows.empty())
        return Status::success();
    if (Status s = ensureConnected(); !s)
        return s;
    const QByteArray sql = QStringLiteral("COPY %1 (%2) FROM STDIN")
                               .arg(table, columns.join(QLatin1Char(',')))
                               .toUtf8();
    ResultPtr start(PQexec(m_conn.get(), sql.constData()));
    if (!start || PQresultStatus(start.get()) != PGRES_COPY_IN)
        return failure(start.get());
    ++m_generation;
    QByteArray buffer;
    QByteArray text;
    QString refusal;
    for (size_t i = 0; i < rows.size() && refusal.isEmpty(); ++i) {
        const QVariantList &row = rows[i];
        for (int c = 0; c < row.size(); ++c) {
            if (c > 0)
                buffer += '\t';
            QString error;
            if (!valueText(row.at(c), text, &error))
                buffer += "\\N";
            else
                appendCopyField(buffer, text);
            if (!error.isEmpty()) {
                refusal = error;
                if (failedRow)
                    *failedRow = qsizetype(i);
            }
        }
        buffer += '\n';
        if (buffer.size() > (1 << 16) || i + 1 == rows.size()) {
            if (PQputCopyData(m_conn.get(), buffer.constData(), int(buffer.size())) != 1)
                break;
            buffer.clear();
        }
    }
    PQputCopyEnd(m_conn.get(), refusal.isEmpty() ? nullptr : "refused");
    Status outcome;
    while (PGresult *raw = PQgetResult(m_conn.get())) {
        ResultPtr r(raw);
        if (PQresultStatus(raw) != PGRES_COMMAND_OK && outcome.ok())
            outcome = refusal.isEmpty() ? failure(raw) : Status::failure(refusal);
    }
    if (outcome.ok() && lostConnection())
        return Status::failure(QString::fromLatin1(kLost));
    return outcome;
}

} // namespace

Result<std::unique_ptr<Database>> connectServerDatabase(const QString &conninfo)
{
    const std::string info = conninfo.toStdString();
    auto conn = connectTo(info);
    if (!conn)
        return Status::failure(conn.error());
    std::unique_ptr<Database> db =
        std::make_unique<PostgresDatabase>(info, std::move(conn.value()));
    return db;
}

} // namespace qs
