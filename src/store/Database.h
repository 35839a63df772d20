#pragma once

#include "SqlDialect.h"
#include "Statement.h"
#include "Status.h"

#include <QString>

#include <functional>
#include <memory>
#include <string_view>
#include <vector>

namespace qs {

class Recordset;
class ListSource;

enum class RecordsetType { Table = 1, Dynaset = 2, Snapshot = 4 };

// One row of a streamed query, read in place without copying.
class FieldReader
{
public:
    enum class Kind { Null, Integer, Real, Text, Blob };
    virtual ~FieldReader() = default;
    virtual Kind kind(int column) const = 0;
    virtual qint64 integer(int column) const = 0;
    // UTF-8 bytes, valid until the next row.
    virtual std::string_view text(int column) const = 0;
};

class Database;
using DatabaseOpener = std::function<Result<std::unique_ptr<Database>>()>;

// The database engine beneath the windows: the SQLite file or a PostgreSQL
// server. The record sets above are written against this interface only;
// where the two speak different SQL, the statement builders ask dialect().
class Database
{
public:
    virtual ~Database() = default;

    // What the user may be shown about where the data lives (never a password).
    virtual QString path() const = 0;
    virtual SqlDialect dialect() const = 0;
    // Opens another connection to the same database, for use on another
    // thread; the function itself may be called on any thread.
    virtual DatabaseOpener opener() const = 0;
    // True when the user may only read the file (the file itself, or its
    // folder, cannot be written): every write would be refused.
    virtual bool isReadOnly() const = 0;

    // Runs a statement that returns no rows; `changes` receives the number of
    // rows it touched.
    virtual Status exec(const Statement &statement, qint64 *changes = nullptr) = 0;
    // Runs a query and returns all its rows (for small results).
    virtual Result<Rows> query(const Statement &statement) = 0;
    // Runs a query whose first column is a whole number and appends those
    // numbers to `keys`: the cheap way to read the keys of a large result.
    virtual Status queryKeys(const Statement &statement, std::vector<qint64> &keys) = 0;
    // Streams the rows of a (large) query to `row`, which returns false to stop.
    virtual Status scan(const Statement &statement,
                        const std::function<bool(const FieldReader &row)> &row) = 0;
    // Key assigned to the row most recently inserted through this connection.
    virtual qint64 lastInsertKey() const = 0;
    // The key the table would give the next row added, without adding one.
    virtual Result<qint64> nextKey(const QString &table) = 0;
    // Adds many rows at once (the fastest way each engine has). On failure
    // `failedRow`, when given, receives the index of the refused row, or -1
    // when the engine cannot tell.
    virtual Status insertRows(const QString &table, const QStringList &columns,
                              const std::vector<QVariantList> &rows,
                              qsizetype *failedRow = nullptr);

    // A transaction begun inside another one commits or rolls back into it
    // on a server; the file engine refuses to nest.
    virtual Status begin() = 0;
    virtual Status commit() = 0;
    virtual void rollback() = 0;

    // Record locks shared with other processes that use the same database.
    // `table` names the table the key belongs to.
    virtual Status lockRecord(const QString &table, qint64 key) = 0;
    virtual void unlockRecord(const QString &table, qint64 key) = 0;
    // Whether a lock taken earlier is still held; a server connection that
    // was lost and taken up again may have lost it to another user.
    virtual Status checkRecordLock(const QString &table, qint64 key)
    {
        Q_UNUSED(table);
        Q_UNUSED(key);
        return Status::success();
    }

    // Counts writes made through this connection, so record sets can tell
    // that what they hold may be stale.
    virtual quint64 writeGeneration() const = 0;
    // Changes whenever another connection may have written to the database.
    virtual qint64 dataVersion() = 0;

    // Says that a read of much of the database in an order of its own (an export) begins
    // or has ended, so the engine may read the file in a way that suits it.
    virtual void setBulkRead(bool on) { Q_UNUSED(on); }

    // Told of every row that a record set of this connection has added,
    // changed or deleted, so that caches of the table can follow at once.
    using ChangeListener = std::function<void(const QString &table, qint64 key)>;
    void setChangeListener(ChangeListener listener) { m_changeListener = std::move(listener); }
    void notifyChanged(const QString &table, qint64 key)
    {
        if (m_changeListener)
            m_changeListener(table, key);
    }

    // Changes made by other connections: other copies of the program, other
    // users. The engine looks for them only when asked (pollOtherWriters),
    // so that the caller picks the moment (the user interface's idle time);
    // it holds back what it found while a transaction of its own is under
    // way. The listener hears the keys of the documents that changed, or
    // `unknown` when the engine cannot tell which rows of which table did.
    // None is missed from the moment a listener is set.
    struct OtherWrites
    {
        std::vector<qint64> documents;
        bool unknown = false;
    };
    using OtherWriterListener = std::function<void(const OtherWrites &)>;
    void setOtherWriterListener(OtherWriterListener listener)
    {
        m_otherWriterListener = std::move(listener);
        watchOtherWriters(m_otherWriterListener != nullptr);
    }
    virtual void pollOtherWriters() = 0;
    // A socket that turns readable when other connections' changes may be
    // waiting, so that the caller need not wait for its next poll; -1 when
    // there is none. It changes when a lost connection is made again.
    virtual int otherWriterSocket() const { return -1; }

    // Record sets (the only way the windows read and write rows).
    std::unique_ptr<Recordset> openTable(const QString &table);
    std::unique_ptr<Recordset> openSnapshot(const Statement &statement);
    std::unique_ptr<Recordset> openDynaset(std::shared_ptr<const ListSource> source,
                                           bool readOnly = false);

protected:
    virtual void watchOtherWriters(bool on) = 0;
    void otherWritersFound(const OtherWrites &writes)
    {
        if (m_otherWriterListener)
            m_otherWriterListener(writes);
    }

private:
    ChangeListener m_changeListener;
    OtherWriterListener m_otherWriterListener;
};

// Rolls back unless committed.
class Transaction
{
public:
    explicit Transaction(Database &db) : m_db(db) { m_status = m_db.begin(); }
    ~Transaction()
    {
        if (m_status.ok() && !m_done)
            m_db.rollback();
    }
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    const Status &status() const { return m_status; }
    Status commit()
    {
        m_done = true;
        return m_status.ok() ? m_db.commit() : m_status;
    }

private:
    Database &m_db;
    Status m_status;
    bool m_done = false;
};

} // namespace qs
