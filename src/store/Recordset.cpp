#include "Recordset.h"
#include "Schema.h"

#include <QRegularExpression>

namespace qs {

int Row::indexOf(const QString &field) const
{
    if (!columns)
        return -1;
    for (int i = 0; i < columns->size(); ++i)
        if (columns->at(i).compare(field, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QVariant Row::value(const QString &field) const
{
    const int i = indexOf(field);
    return i >= 0 && i < values.size() ? values.at(i) : QVariant();
}

namespace {

// Field names reach SQL as identifiers, so only plain names are accepted.
bool isPlainName(const QString &name)
{
    static const QRegularExpression re(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    return re.match(name).hasMatch();
}

} // namespace

Recordset::~Recordset()
{
    releaseLock();
}

Status Recordset::setIndex(const QString &)
{
    return Status::failure(QStringLiteral("Only a table record set has an index."));
}

Status Recordset::seek(SeekOp, const QVariant &)
{
    return Status::failure(QStringLiteral("Only a table record set supports Seek."));
}

QVariant Recordset::valueAt(int, const QString &)
{
    return {};
}

qint64 Recordset::currentKey() const
{
    return currentRow().value(schema::RecordPtr).toLongLong();
}

Status Recordset::readOnlyError() const
{
    return Status::failure(QStringLiteral("This record set cannot be updated."));
}

QVariant Recordset::value(const QString &field) const
{
    if (m_editMode != EditMode::None) {
        const auto it = m_buffer.constFind(field.toLower());
        if (it != m_buffer.constEnd())
            return it->second;
        if (m_editMode == EditMode::Add)
            return {};
        return m_editRow.value(field);
    }
    return currentRow().value(field);
}

Status Recordset::setValue(const QString &field, const QVariant &value)
{
    if (m_editMode == EditMode::None)
        return Status::failure(QStringLiteral("Update without AddNew or Edit."));
    if (!isPlainName(field) || field.compare(schema::RecordPtr, Qt::CaseInsensitive) == 0)
        return Status::failure(QStringLiteral("Field '%1' cannot be written.").arg(field));
    m_buffer.insert(field.toLower(), {field, value});
    return Status::success();
}

Status Recordset::addNew()
{
    if (writableTable().isEmpty())
        return readOnlyError();
    cancelUpdate();
    m_editMode = EditMode::Add;
    return Status::success();
}

Status Recordset::edit()
{
    const QString table = writableTable();
    if (table.isEmpty())
        return readOnlyError();
    if (!hasCurrent())
        return Status::failure(QStringLiteral("No current record."));
    cancelUpdate();
    const qint64 key = currentKey();
    if (Status locked = m_db.lockRecord(table, key); !locked)
        return locked;
    m_lockedKey = key;
    m_lockedTable = table;
    // Read the row afresh once it is ours: another copy may have changed it
    // (read before the lock, its save would be written over) or deleted it.
    auto rows =
        m_db.query({QStringLiteral("SELECT * FROM %1 WHERE RecordPtr = ?").arg(table), {key}});
    if (!rows || rows->empty()) {
        releaseLock();
        return rows
                   ? Status::failure(QStringLiteral("The record has been deleted by another user."))
                   : Status::failure(rows.error());
    }
    m_editRow = rows->front();
    m_editMode = EditMode::Edit;
    return Status::success();
}

Status Recordset::update()
{
    const QString table = writableTable();
    if (m_editMode == EditMode::None)
        return Status::failure(QStringLiteral("Update without AddNew or Edit."));
    QStringList names;
    QVariantList values;
    for (const auto &entry : std::as_const(m_buffer)) {
        names << entry.first;
        values << entry.second;
    }
    if (m_editMode == EditMode::Add) {
        Statement insert;
        if (names.isEmpty()) {
            insert.sql = QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table);
        } else {
            QStringList marks(names.size(), QStringLiteral("?"));
            insert.sql =
                QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                    .arg(table, names.join(QLatin1Char(',')), marks.join(QLatin1Char(',')));
            insert.binds = values;
        }
        if (Status s = m_db.exec(insert); !s)
            return s;
        const qint64 key = m_db.lastInsertKey();
        cancelUpdate();
        m_db.notifyChanged(table, key);
        afterInsert(key);
        return Status::success();
    }
    const qint64 key = m_lockedKey;
    if (Status held = m_db.checkRecordLock(table, key); !held)
        return held;
    if (!names.isEmpty()) {
        QStringList sets;
        for (const QString &name : std::as_const(names))
            sets << name + QStringLiteral(" = ?");
        values << key;
        qint64 changes = 0;
        Status s = m_db.exec({QStringLiteral("UPDATE %1 SET %2 WHERE RecordPtr = ?")
                                  .arg(table, sets.join(QStringLiteral(", "))),
                              values},
                             &changes);
        if (!s)
            return s;
        if (changes == 0)
            return Status::failure(QStringLiteral("The record has been deleted by another user."));
    }
    cancelUpdate();
    m_db.notifyChanged(table, key);
    afterUpdate(key);
    return Status::success();
}

void Recordset::cancelUpdate()
{
    releaseLock();
    m_buffer.clear();
    m_editRow = {};
    m_editMode = EditMode::None;
}

void Recordset::releaseLock()
{
    if (m_lockedKey != 0) {
        m_db.unlockRecord(m_lockedTable, m_lockedKey);
        m_lockedKey = 0;
    }
}

Status Recordset::deleteCurrent()
{
    const QString table = writableTable();
    if (table.isEmpty())
        return readOnlyError();
    if (!hasCurrent())
        return Status::failure(QStringLiteral("No current record."));
    cancelUpdate();
    const qint64 key = currentKey();
    // A row that another copy holds in its editor must not vanish under it.
    if (Status locked = m_db.lockRecord(table, key); !locked)
        return locked;
    qint64 changes = 0;
    Status s = m_db.exec({QStringLiteral("DELETE FROM %1 WHERE RecordPtr = ?").arg(table), {key}},
                         &changes);
    m_db.unlockRecord(table, key);
    if (!s)
        return s;
    if (changes == 0)
        return Status::failure(
            QStringLiteral("The record has already been deleted by another user."));
    m_db.notifyChanged(table, key);
    afterDelete();
    return Status::success();
}

} // namespace qs
