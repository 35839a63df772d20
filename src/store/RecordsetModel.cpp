#include "RecordsetModel.h"

#include "DataControl.h"

#include <QDate>

namespace qs {

RecordsetModel::RecordsetModel(DataControl *control, QList<Column> columns, QObject *parent)
    : QAbstractTableModel(parent), m_control(control), m_columns(std::move(columns))
{
    connect(control, &DataControl::reset, this, &RecordsetModel::onReset);
    connect(control, &DataControl::rowChanged, this, [this](int row) {
        Q_EMIT dataChanged(index(row, 0), index(row, int(m_columns.size()) - 1));
    });
    // The record set has already changed when it reports; the row count this
    // model reports follows only inside the begin/end pair.
    // While the change is announced, rows are read as they were before it (see sourceRow).
    connect(control, &DataControl::rowInserted, this, [this](int row) {
        m_changingRows = true;
        m_announcedRow = row;
        m_announcedShift = 1;
        beginInsertRows({}, row, row);
        m_announcedRow = -1;
        ++m_rows;
        endInsertRows();
        m_changingRows = false;
    });
    connect(control, &DataControl::rowRemoved, this, [this](int row) {
        m_changingRows = true;
        m_announcedRow = row;
        m_announcedShift = -1;
        beginRemoveRows({}, row, row);
        m_announcedRow = -1;
        --m_rows;
        endRemoveRows();
        m_changingRows = false;
    });
    onReset();
}

void RecordsetModel::onReset()
{
    beginResetModel();
    m_rows = m_control && m_control->recordset() ? m_control->recordset()->rowCount() : 0;
    endResetModel();
}

int RecordsetModel::sourceRow(int row) const
{
    if (m_announcedRow < 0 || row < m_announcedRow)
        return row;
    // An inserted row moved the later ones down; the removed row itself is gone.
    if (m_announcedShift < 0 && row == m_announcedRow)
        return -1;
    return row + (m_announcedShift > 0 ? 1 : -1);
}

int RecordsetModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || !m_control ? 0 : m_rows;
}

int RecordsetModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant RecordsetModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || !m_control || !m_control->recordset())
        return {};
    const int row = sourceRow(index.row());
    if (row < 0)
        return {};
    const QVariant v = m_control->recordset()->valueAt(row, m_columns.at(index.column()).field);
    if (v.typeId() == QMetaType::QDate) {
        const QDate d = v.toDate();
        // Four-digit years, as everywhere else dates are shown.
        return QStringLiteral("%1/%2/%3")
            .arg(d.month())
            .arg(d.day())
            .arg(d.year(), 4, 10, QLatin1Char('0'));
    }
    // A cell shows one line's worth: eliding a value of a megabyte on every
    // paint would freeze the grid.
    constexpr qsizetype kMaxShown = 400;
    if (v.typeId() == QMetaType::QString && v.toString().size() > kMaxShown)
        return QString(v.toString().left(kMaxShown) + QChar(0x2026));
    return v;
}

QVariant RecordsetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role == Qt::DisplayRole && orientation == Qt::Horizontal && section >= 0 &&
        section < m_columns.size())
        return m_columns.at(section).caption;
    return QAbstractTableModel::headerData(section, orientation, role);
}

} // namespace qs
