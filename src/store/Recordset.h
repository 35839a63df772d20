#pragma once

#include "Database.h"
#include "Statement.h"
#include "Status.h"

#include <QHash>
#include <QString>
#include <QVariant>

namespace qs {

enum class SeekOp { Equal, Greater };
enum class EditMode { None, Add, Edit };

// Told about every change of a record set, so that a grid can follow it.
class RecordsetObserver
{
public:
    virtual ~RecordsetObserver() = default;
    virtual void currentChanged(int row) = 0;
    virtual void rowChanged(int row) = 0;
    virtual void rowInserted(int row) = 0;
    virtual void rowRemoved(int row) = 0;
    virtual void reset() = 0;
};

// A cursor over a table or a query. Table record sets position by index and
// always show the current table; dynasets hold the keys of a query result and
// are updatable; snapshots are read-only copies of a (small) result.
class Recordset
{
public:
    explicit Recordset(Database &db) : m_db(db) {}
    virtual ~Recordset();
    Recordset(const Recordset &) = delete;
    Recordset &operator=(const Recordset &) = delete;

    virtual RecordsetType type() const = 0;
    Database &database() const { return m_db; }

    virtual bool eof() const = 0;
    virtual bool bof() const = 0;
    // True when there is a current row that can be read.
    bool hasCurrent() const { return !eof() && !bof(); }
    virtual void moveFirst() = 0;
    virtual void moveLast() = 0;
    virtual void moveNext() = 0;
    virtual void movePrevious() = 0;
    virtual int recordCount() = 0;

    // FindFirst: criterion is a field and a value, compared as the engine's
    // "=" does (letter case ignored for text). The position stays put when
    // nothing matches.
    virtual bool findFirst(const QString &field, const QVariant &value) = 0;
    bool noMatch() const { return m_noMatch; }

    virtual Status setIndex(const QString &name);
    virtual Status seek(SeekOp op, const QVariant &key);

    // Field of the current row (or of the pending row while editing).
    QVariant value(const QString &field) const;
    Status setValue(const QString &field, const QVariant &value);

    virtual Status addNew();
    virtual Status edit();
    virtual Status update();
    void cancelUpdate();
    // Ends a trial edit; the same as cancelUpdate.
    void cancel() { cancelUpdate(); }
    virtual Status deleteCurrent();
    virtual Status requery() = 0;
    virtual void close() {}
    EditMode editMode() const { return m_editMode; }

    // Rows by position, for a grid that shows the whole result.
    virtual int rowCount() { return recordCount(); }
    virtual int absolutePosition() const { return -1; }
    virtual void setAbsolutePosition(int) {}
    virtual QVariant valueAt(int row, const QString &field);

    void setObserver(RecordsetObserver *observer) { m_observer = observer; }

protected:
    virtual Row currentRow() const = 0;
    // Table written by addNew/edit; empty when the record set is read-only.
    virtual QString writableTable() const { return {}; }
    // Called after an add, edit or delete has been written.
    virtual void afterInsert(qint64 key) { Q_UNUSED(key); }
    virtual void afterUpdate(qint64 key) { Q_UNUSED(key); }
    virtual void afterDelete() {}

    qint64 currentKey() const;
    Status readOnlyError() const;

    Database &m_db;
    bool m_noMatch = false;
    RecordsetObserver *m_observer = nullptr;

private:
    void releaseLock();

    EditMode m_editMode = EditMode::None;
    // Pending values by field name (letter case folded), plus names as given.
    QHash<QString, QPair<QString, QVariant>> m_buffer;
    Row m_editRow;
    qint64 m_lockedKey = 0;
    QString m_lockedTable;
};

} // namespace qs
