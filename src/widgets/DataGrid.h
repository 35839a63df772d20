#pragma once

#include "store/RecordsetModel.h"

#include <QPointer>
#include <QTableView>

namespace qs {

class DataControl;

// A read-only grid bound to a data control. Its highlighted row and the
// record set's current row follow each other both ways; every move is
// reported once, by the data control's currentChanged signal.
class DataGrid : public QTableView
{
    Q_OBJECT
public:
    DataGrid(DataControl *control, QList<RecordsetModel::Column> columns,
             QWidget *parent = nullptr);

    // Scrolls so that `row` shows with up to `above` rows above it in view.
    void showWithContext(int row, int above);
    // The first row in view (-1 when none), and putting a row there.
    int topRow() const { return rowAt(0); }
    void showAtTop(int row);

Q_SIGNALS:
    // Double-click on a row, or Enter: the owner's "change" command.
    void activatedRow();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    void followRecordset(int row);
    void followView(const QModelIndex &current);

    QPointer<DataControl> m_control; // may go first when a window is taken down
    RecordsetModel *m_model;
    bool m_syncing = false;
};

} // namespace qs
