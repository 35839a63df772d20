#pragma once

// The record set kinds. Internal to the store: callers open them through
// Database::openTable, openDynaset and openSnapshot.

#include "ListSource.h"
#include "Recordset.h"

#include <memory>
#include <unordered_map>
#include <vector>

namespace qs {

// Holds the keys of a result and fetches rows around the one asked for.
class KeysetRecordset final : public Recordset
{
public:
    KeysetRecordset(Database &db, std::shared_ptr<const ListSource> source, bool readOnly);

    RecordsetType type() const override { return RecordsetType::Dynaset; }
    bool eof() const override;
    bool bof() const override;
    void moveFirst() override;
    void moveLast() override;
    void moveNext() override;
    void movePrevious() override;
    int recordCount() override { return int(m_keys.size()); }
    bool findFirst(const QString &field, const QVariant &value) override;
    Status requery() override;
    // Reads the keys again but stays on the current record, or on the one
    // that took its place when it is gone; `keptRow`, a row the caller keeps
    // in view, follows its record too.
    Status requeryInPlace(int *keptRow);

    int rowCount() override { return int(m_keys.size()); }
    int absolutePosition() const override;
    void setAbsolutePosition(int row) override;
    QVariant valueAt(int row, const QString &field) override;

    const ListSource &source() const { return *m_source; }
    Status lastError() const { return m_lastError; }

protected:
    Row currentRow() const override;
    QString writableTable() const override { return m_readOnly ? QString() : m_source->table(); }
    void afterInsert(qint64 key) override;
    void afterUpdate(qint64 key) override;
    void afterDelete() override;

private:
    Status readKeys(std::vector<qint64> &keys) const;
    void setPosition(int pos, bool onDeleted = false);
    const Row &rowAt(int row) const;
    void fetchAround(int row) const;
    void dropStaleCache() const;

    std::shared_ptr<const ListSource> m_source;
    bool m_readOnly;
    std::vector<qint64> m_keys;
    // -1 before the first row, size() past the last; m_onDeleted marks a
    // deleted current row that stood just before m_pos.
    int m_pos = 0;
    bool m_onDeleted = false;
    Status m_lastError;

    mutable std::unordered_map<qint64, Row> m_cache;
    mutable quint64 m_cacheGeneration = 0;
};

// Positions by index; every move reads the table afresh.
class TableRecordset final : public Recordset
{
public:
    TableRecordset(Database &db, QString table);

    RecordsetType type() const override { return RecordsetType::Table; }
    bool eof() const override { return m_eof; }
    bool bof() const override { return m_bof; }
    void moveFirst() override;
    void moveLast() override;
    void moveNext() override;
    void movePrevious() override;
    int recordCount() override;
    bool findFirst(const QString &field, const QVariant &value) override;
    Status setIndex(const QString &name) override;
    Status seek(SeekOp op, const QVariant &key) override;
    Status requery() override;

protected:
    Row currentRow() const override { return m_row; }
    QString writableTable() const override { return m_table; }
    void afterUpdate(qint64 key) override;
    void afterDelete() override;

private:
    void step(bool forward);
    void place(Result<Rows> rows, bool forward);
    QString orderBy(bool forward) const;

    QString m_table;
    QString m_indexColumn = QStringLiteral("RecordPtr");
    Row m_row;
    bool m_eof = true;
    bool m_bof = true;
    // Rows read ahead in index order while moving forward; valid only while
    // nobody has written through this connection.
    std::vector<Row> m_ahead;
    quint64 m_aheadGeneration = 0;
};

// A read-only copy of a small result.
class SnapshotRecordset final : public Recordset
{
public:
    SnapshotRecordset(Database &db, Statement statement);

    RecordsetType type() const override { return RecordsetType::Snapshot; }
    bool eof() const override { return m_rows.empty() || m_pos >= int(m_rows.size()); }
    bool bof() const override { return m_rows.empty() || m_pos < 0; }
    void moveFirst() override { m_pos = 0; }
    void moveLast() override { m_pos = int(m_rows.size()) - 1; }
    void moveNext() override { m_pos = std::min(m_pos + 1, int(m_rows.size())); }
    void movePrevious() override { m_pos = std::max(m_pos - 1, -1); }
    int recordCount() override { return int(m_rows.size()); }
    bool findFirst(const QString &field, const QVariant &value) override;
    Status requery() override;
    QVariant valueAt(int row, const QString &field) override;
    int absolutePosition() const override { return hasCurrent() ? m_pos : -1; }
    void setAbsolutePosition(int row) override { m_pos = std::clamp(row, -1, int(m_rows.size())); }
    Status lastError() const { return m_lastError; }

protected:
    Row currentRow() const override { return hasCurrent() ? m_rows[size_t(m_pos)] : Row(); }

private:
    Statement m_statement;
    Rows m_rows;
    int m_pos = 0;
    Status m_lastError;
};

// Equality as the engine's "=" sees it: text without regard to letter case.
bool sameValue(const QVariant &a, const QVariant &b);

} // namespace qs
