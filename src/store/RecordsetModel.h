#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QPointer>

namespace qs {

class DataControl;

// The rows of a data control's record set as a table for a view. Rows are
// read only when the view asks for them, so a million-row list is cheap.
class RecordsetModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    struct Column
    {
        QString caption;
        QString field;
    };

    RecordsetModel(DataControl *control, QList<Column> columns, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // True while rows are being inserted or removed: the view then moves its
    // current row on its own, which must not move the record set.
    bool changingRows() const { return m_changingRows; }

private:
    void onReset();
    bool m_changingRows = false;

    // The control may go first when a window is taken down.
    QPointer<DataControl> m_control;
    QList<Column> m_columns;
    int m_rows = 0;
};

} // namespace qs
