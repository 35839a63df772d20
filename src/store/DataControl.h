#pragma once

#include "ListSource.h"
#include "Recordset.h"
#include "Status.h"

#include <QObject>

#include <memory>

namespace qs {

// Binds a record set to a grid: it keeps the list's query (its record
// source), opens a dynaset over it on refresh, and reports every change of
// that record set as a signal.
class DataControl : public QObject
{
    Q_OBJECT
public:
    explicit DataControl(QObject *parent = nullptr);
    ~DataControl() override;

    void setDatabase(Database *db) { m_db = db; }
    Database *database() const { return m_db; }
    void setDatabaseName(const QString &name) { m_databaseName = name; }
    QString databaseName() const { return m_databaseName; }

    void setRecordSource(std::shared_ptr<const ListSource> source) { m_source = std::move(source); }
    std::shared_ptr<const ListSource> recordSource() const { return m_source; }

    // Re-runs the record source. On failure the previous record set stays.
    Status refresh();
    // Re-runs the same record source where the user stands: the current
    // record stays current (see KeysetRecordset::requeryInPlace).
    Status refreshInPlace(int *keptRow);
    Recordset *recordset() const { return m_recordset.get(); }

Q_SIGNALS:
    void reset();
    void rowChanged(int row);
    void rowInserted(int row);
    void rowRemoved(int row);
    // The current row moved (-1: none). Emitted once per move.
    void currentChanged(int row);

private:
    class Forwarder;
    std::unique_ptr<Forwarder> m_forwarder;
    Database *m_db = nullptr;
    QString m_databaseName;
    std::shared_ptr<const ListSource> m_source;
    std::unique_ptr<Recordset> m_recordset;
};

} // namespace qs
