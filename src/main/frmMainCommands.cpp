// The record commands (Add, Change, Delete) and the list order.
#include "frmMain.h"

#include "store/DataControl.h"
#include "store/DataGrid.h"
#include "store/MessageBox.h"

#include <QLabel>
#include <QSettings>
#include <QTimer>

namespace qs {

void frmMain::cmdAdd_Click() {}

void frmMain::cmdChange_Click() {}

void frmMain::cmdDelete_Click() {}

void frmMain::Order_Click(int index)
{
    if (Initializing)
        return;
    switch (index) {
    case 0:
        OrderClause = QStringLiteral("ID DESC");
        break;
    case 1:
        OrderClause = QStringLiteral("DESCRIPTION");
        break;
    case 2:
        OrderClause = QStringLiteral("ID");
        break;
    default:
        break;
    }
    RefreshDocumentList(grdInfo);
    ListFocus();
}

void frmMain::cmdSetAsDefault_Click()
{
    lblSetAsDefaultOk->show();
    tmrSetAsDefault->start();
    QSettings settings(QStringLiteral("Quillstack"), QStringLiteral("Quillstack"));
    settings.setValue(QStringLiteral("Default/Order"), OrderClause);
    settings.sync();
}

void frmMain::tmrSetAsDefault_Timer()
{
    lblSetAsDefaultOk->hide();
    tmrSetAsDefault->stop();
}

} // namespace qs
