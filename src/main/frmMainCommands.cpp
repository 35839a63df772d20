// The record commands (Add, Change, Delete) and the list order.
#include "frmMain.h"

#include "editor/EditorState.h"
#include "editor/frmChange.h"
#include "store/DataControl.h"
#include "store/modRoutines.h"
#include "widgets/DataGrid.h"
#include "widgets/MessageBox.h"

#include <QLabel>
#include <QSettings>
#include <QTimer>

namespace qs {

namespace {

// The list has a current row that can be read, edited and deleted.
bool fnRecordOk(Recordset *rs)
{
    return rs && rs->hasCurrent();
}

// Opens the editor modally on the list's record set, as gAddMode says.
void showEditor(QWidget *owner, Database &db, Recordset &list, Recordset *descriptionSet,
                Recordset *whoSet, const std::function<QDate()> &today)
{
    frmChange editor(db, list, descriptionSet, whoSet, owner);
    editor.setToday(today);
    if (const Status s = editor.Form_Load(); !s) {
        MessageBox::show(owner, s.message(), MessageBox::defaultTitle());
        return;
    }
    editor.exec();
}

} // namespace

void frmMain::cmdAdd_Click()
{
    Recordset *rs = dtaDocuments->recordset();
    if (!rs || !gDatabase || refusedAsReadOnly())
        return;
    gAddMode = true;
    showEditor(this, *gDatabase, *rs, gDescriptionSet.get(), gWhoSet.get(), m_today);
    if (gNewID != 0) {
        // The new record joins the list only if the query selects it.
        if (const Status s = rs->requery(); !s)
            showEngineError(s);
        else if (rs->findFirst(QStringLiteral("ID"), gNewID))
            RefreshDocumentList(grdInfo);
    }
    DisplayCurrentRecordInformation();
    ListFocus();
}

void frmMain::cmdChange_Click()
{
    Recordset *rs = dtaDocuments->recordset();
    if (!fnRecordOk(rs) || !gDatabase || refusedAsReadOnly())
        return;
    // Lock test: a row that another copy holds in its editor (on this
    // computer or, with a server, on another) cannot be edited. The trial
    // edit is ended at once; the editor takes its own. Other refusals (the
    // row deleted meanwhile, an unusable lock, a lost connection) say what
    // they are.
    if (const Status s = rs->edit(); !s) {
        if (s.kind() != FailureKind::RecordLocked)
            showEngineError(s);
        else
            MessageBox::show(this,
                             QStringLiteral("Someone else is editing this record.  Please wait "
                                            "and try again, later."),
                             MessageBox::defaultTitle());
        return;
    }
    rs->cancel();
    gAddMode = false;
    showEditor(this, *gDatabase, *rs, gDescriptionSet.get(), gWhoSet.get(), m_today);
    DisplayCurrentRecordInformation();
    ListFocus();
}

void frmMain::cmdDelete_Click()
{
    Recordset *rs = dtaDocuments->recordset();
    if (!fnRecordOk(rs) || refusedAsReadOnly())
        return;
    const QString description = fnTrimTrailing(rs->value(QStringLiteral("Description")).toString());
    const QVariant id = rs->value(QStringLiteral("ID"));
    const QString number = id.isNull() ? QString() : QString::number(id.toLongLong());
    const QString question = QStringLiteral("Delete \"%1\" (%2)").arg(description, number);
    if (MessageBox::show(this, question, MessageBox::defaultTitle(),
                         QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Question,
                         QMessageBox::Ok) == QMessageBox::Ok) {
        // The row after the deleted one, taken beforehand: while the row
        // leaves the list, the grid moves its own highlight, and with it the
        // record set, so the set is placed by key afterwards.
        const QVariant following =
            rs->valueAt(rs->absolutePosition() + 1, QStringLiteral("RecordPtr"));
        if (const Status s = rs->deleteCurrent(); !s) {
            // Locked by another copy, or already gone: the list stays as it was.
            showEngineError(s);
        } else {
            // Off the deleted row: on to the next one, or past the end when
            // it was the last, so that the rebuilt list starts at its top.
            if (following.isNull() || !rs->findFirst(QStringLiteral("RecordPtr"), following)) {
                rs->moveLast();
                rs->moveNext();
            }
            RefreshDocumentList(grdInfo);
            rs = dtaDocuments->recordset();
            if (rs && rs->hasCurrent())
                DisplayCurrentRecordInformation();
        }
    }
    ListFocus();
}

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
