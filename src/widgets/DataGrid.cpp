#include "DataGrid.h"

#include "store/DataControl.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>

namespace qs {

DataGrid::DataGrid(DataControl *control, QList<RecordsetModel::Column> columns, QWidget *parent)
    : QTableView(parent), m_control(control),
      m_model(new RecordsetModel(control, std::move(columns), this))
{
    setModel(m_model);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWordWrap(false);
    setTabKeyNavigation(false);
    verticalHeader()->hide();
    // Fixed row heights keep a million-row list as cheap as a short one.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setSectionsMovable(false);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setHighlightSections(false);

    connect(control, &DataControl::currentChanged, this, &DataGrid::followRecordset);
    connect(control, &DataControl::reset, this, [this] {
        if (m_control && m_control->recordset())
            followRecordset(m_control->recordset()->absolutePosition());
    });
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) { followView(current); });
    // While rows come and go the view picks a new current row of its own;
    // the record set decides where it stands, so the view follows it after.
    const auto settle = [this] {
        if (m_control && m_control->recordset())
            followRecordset(m_control->recordset()->absolutePosition());
    };
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, settle);
    connect(m_model, &QAbstractItemModel::rowsInserted, this, settle);
    followRecordset(control->recordset() ? control->recordset()->absolutePosition() : -1);
}

void DataGrid::followRecordset(int row)
{
    if (m_syncing)
        return;
    m_syncing = true;
    if (row >= 0 && row < m_model->rowCount()) {
        const QModelIndex index = m_model->index(row, 0);
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                     QItemSelectionModel::Rows);
        scrollTo(index, QAbstractItemView::EnsureVisible);
    } else {
        selectionModel()->clearSelection();
        selectionModel()->setCurrentIndex({}, QItemSelectionModel::NoUpdate);
    }
    m_syncing = false;
}

void DataGrid::followView(const QModelIndex &current)
{
    if (m_syncing || m_model->changingRows() || !current.isValid() || !m_control ||
        !m_control->recordset())
        return;
    m_syncing = true;
    m_control->recordset()->setAbsolutePosition(current.row());
    m_syncing = false;
}

void DataGrid::showWithContext(int row, int above)
{
    if (row < 0 || row >= m_model->rowCount())
        return;
    scrollTo(m_model->index(std::max(0, row - above), 0), QAbstractItemView::PositionAtTop);
    scrollTo(m_model->index(row, 0), QAbstractItemView::EnsureVisible);
}

void DataGrid::showAtTop(int row)
{
    if (row >= 0 && row < m_model->rowCount())
        scrollTo(m_model->index(row, 0), QAbstractItemView::PositionAtTop);
}

void DataGrid::keyPressEvent(QKeyEvent *event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        event->modifiers() == Qt::NoModifier) {
        Q_EMIT activatedRow();
        return;
    }
    QTableView::keyPressEvent(event);
}

void DataGrid::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (indexAt(event->position().toPoint()).isValid())
        Q_EMIT activatedRow();
    else
        QTableView::mouseDoubleClickEvent(event);
}

} // namespace qs
