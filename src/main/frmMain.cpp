#include "frmMain.h"

#include "Version.h"

#include "main/DocumentIndexService.h"
#include "main/OtherWritersWatch.h"
#include "main/Session.h"
#include "store/DataControl.h"
#include "store/Schema.h"
#include "store/modRoutines.h"
#include "widgets/DataGrid.h"
#include "widgets/FillTypeList.h"
#include "widgets/MessageBox.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTimer>
#include <QVBoxLayout>

#include <utility>

namespace qs {

namespace {

#define ORDER_SETTINGS(name)                                                                       \
    QSettings name(QStringLiteral("Quillstack"), QStringLiteral("Quillstack"))

QString formatDate(const QVariant &v)
{
    if (v.typeId() != QMetaType::QDate)
        return {};
    const QDate d = v.toDate();
    return QStringLiteral("%1/%2/%3")
        .arg(d.month())
        .arg(d.day())
        .arg(d.year(), 4, 10, QLatin1Char('0'));
}

QString asText(const QVariant &v)
{
    return v.isNull() ? QString() : v.toString();
}

// A detail value cut to what a panel line can show: laying out a value of
// a megabyte would freeze the window for seconds.
QString lineText(const QVariant &v)
{
    constexpr qsizetype kMax = 400;
    const QString s = asText(v);
    return s.size() <= kMax ? s : s.left(kMax) + QChar(0x2026);
}

// A detail value: shown after a blank that keeps it off the border, and
// given to screen readers without it, under the label's own name.
void showValue(QLabel *label, const QString &value)
{
    label->setText(QLatin1Char(' ') + value);
    label->setAccessibleDescription(value);
}

// The note as the panel shows it: the start of a very long note, since
// wrapping a long unbroken text costs time that grows with its square.
QString noteText(const QVariant &v)
{
    constexpr qsizetype kMax = 10000;
    const QString s = asText(v);
    return s.size() <= kMax ? s : s.left(kMax) + QChar(0x2026);
}

} // namespace

frmMain::frmMain(Session &session, QWidget *parent)
    : QMainWindow(parent), m_session(session), m_today([] { return QDate::currentDate(); })
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Quillstack"));
    dtaDocuments = new DataControl(this);
    dtaDocuments->setObjectName(QStringLiteral("dtaDocuments"));
    buildUi();
    buildMenus();
}

frmMain::~frmMain()
{
    // The filter boxes outlive this part of the window while it is taken
    // down; their last focus events must not reach back into it.
    for (QWidget *w :
         {static_cast<QWidget *>(cmbType), static_cast<QWidget *>(cmbDate),
          static_cast<QWidget *>(txtFilterDesc), static_cast<QWidget *>(txtFilterWho),
          static_cast<QWidget *>(txtFilterNote), static_cast<QWidget *>(cmbType->lineEdit())})
        w->removeEventFilter(this);
}

DocumentIndexService *frmMain::documentIndex() const
{
    return m_session.index().get();
}

Status frmMain::Form_Initialize()
{
    OrderClause = QStringLiteral("ID DESC");
    ORDER_SETTINGS(settings);
    const QString saved = settings.value(QStringLiteral("Default/Order")).toString();
    if (!fnIsBlank(saved))
        OrderClause = saved;

    // The option follows the saved text only when it matches exactly; the
    // list order itself is read more leniently (orderFromClause).
    Initializing = true;
    if (OrderClause == QLatin1String("DESCRIPTION"))
        Order[1]->setChecked(true);
    else if (OrderClause == QLatin1String("ID"))
        Order[2]->setChecked(true);
    dtaDocuments->setRecordSource(std::make_shared<DocumentListSource>(currentQuery()));
    Initializing = false;

    if (!m_session.isOpen()) {
        if (Status s = m_session.open(); !s)
            return s;
    }
    gDatabase = m_session.database();

    dtaDocuments->setDatabaseName(gDatabase->path());
    dtaDocuments->setDatabase(gDatabase);
    if (Status s = dtaDocuments->refresh(); !s)
        return s;
    // The first screen comes from SQL; the index loads meanwhile.
    m_session.index()->start();
    connect(m_session.index().get(), &DocumentIndexService::changedElsewhere, this,
            &frmMain::followOtherWriters);
    new OtherWritersWatch(
        *gDatabase, [this] { return mayFollowOtherWriters(); }, this);

    DetailSet = gDatabase->openTable(schema::Documents);
    if (Status s = DetailSet->setIndex(schema::IndexRecordPtr); !s)
        return s;
    gDescriptionSet = gDatabase->openTable(schema::Documents);
    if (Status s = gDescriptionSet->setIndex(schema::IndexDescription); !s)
        return s;
    gWhoSet = gDatabase->openTable(schema::Documents);
    if (Status s = gWhoSet->setIndex(schema::IndexWho); !s)
        return s;

    FillTypeList(*cmbType, *gDatabase, true);
    SetDateList();
    // The first row change fills the detail panel.
    DisplayCurrentRecordInformation();
    return Status::success();
}

void frmMain::SetDateList()
{
    cmbDate->addItems({QStringLiteral("ALL"), QStringLiteral("Last 30 days"),
                       QStringLiteral("Last 60 days"), QStringLiteral("Last 90 days"),
                       QStringLiteral("Last Year"), QStringLiteral("No Date")});
    if (cmbDate->currentIndex() < 0)
        cmbDate->setCurrentIndex(0);
}

DocumentQuery frmMain::currentQuery() const
{
    DocumentQuery q;
    q.filterOn = FilterOn;
    q.order = orderFromClause(OrderClause);
    if (!FilterOn)
        return q;
    q.description = txtFilterDesc->text();
    q.who = txtFilterWho->text();
    q.note = txtFilterNote->text();
    q.dateEntry = cmbDate->currentIndex();
    q.typeKey = selectedTypeKey(*cmbType);
    q.today = m_today();
    return q;
}

// ------------------------------------------------------------ list and panel

void frmMain::RefreshDocumentList(QWidget *pFocusControl)
{
    Recordset *rs = dtaDocuments->recordset();
    qint64 remembered = 0;
    if (rs && rs->hasCurrent())
        remembered = rs->value(QStringLiteral("recordptr")).toLongLong();

    const auto source = std::make_shared<DocumentListSource>(currentQuery(), m_session.index());
    const auto previous = dtaDocuments->recordSource();
    dtaDocuments->setRecordSource(source);
    if (Status s = dtaDocuments->refresh(); !s) {
        // Keep the list the user had.
        dtaDocuments->setRecordSource(previous);
        showEngineError(s);
        return;
    }
    rs = dtaDocuments->recordset();
    if (remembered == 0 || !rs->findFirst(QStringLiteral("RecordPtr"), remembered)) {
        if (pFocusControl)
            pFocusControl->setFocus();
        return;
    }
    // Scroll back for context: up to five rows above the found one in view.
    int moves = 0;
    for (int i = 0; i < 5; ++i) {
        if (rs->absolutePosition() > 0) {
            rs->movePrevious();
            ++moves;
        }
    }
    for (int i = 0; i < moves; ++i)
        rs->moveNext();
    grdInfo->showWithContext(rs->absolutePosition(), moves);
    if (pFocusControl)
        pFocusControl->setFocus();
}

void frmMain::DisplayCurrentRecordInformation()
{
    Recordset *rs = dtaDocuments->recordset();
    bool found = false;
    if (rs && rs->hasCurrent() && DetailSet) {
        DetailSet->seek(SeekOp::Equal, rs->value(QStringLiteral("recordptr")));
        found = !DetailSet->noMatch();
    }
    if (!found) {
        panView->hide();
    } else {
        panView->show();
        showValue(lblID, asText(DetailSet->value(QStringLiteral("ID"))));
        showValue(lblDesc, lineText(DetailSet->value(QStringLiteral("Description"))));
        showValue(lblType,
                  fnTypeName(*gDatabase,
                             qint16(DetailSet->value(QStringLiteral("DocumentType")).toInt())));
        showValue(lblDate, formatDate(DetailSet->value(QStringLiteral("Date"))));
        showValue(lblWho, lineText(DetailSet->value(QStringLiteral("Who"))));
        lblNote->setPlainText(noteText(DetailSet->value(QStringLiteral("Note"))));
    }
    if (QWidget *w = focusedFilterControl())
        w->setFocus();
}

bool frmMain::mayFollowOtherWriters() const
{
    // Not while one of our windows is open over this one (the editor works
    // on the list's record set), a list drops down, or a row is edited.
    if (QApplication::activeModalWidget() || QApplication::activePopupWidget())
        return false;
    const Recordset *rs = dtaDocuments->recordset();
    return !rs || rs->editMode() == EditMode::None;
}

void frmMain::followOtherWriters()
{
    // The same query again, where the user stands: the current record, the
    // row at the top of the grid and the focus stay; the panel shows the
    // current record as it now is. A failure keeps the list as it was.
    int top = grdInfo->topRow();
    if (!dtaDocuments->recordset() || !dtaDocuments->refreshInPlace(&top))
        return;
    grdInfo->showAtTop(top);
}

QWidget *frmMain::focusedFilterControl() const
{
    switch (FocusedFilter) {
    case 1:
        return cmbType;
    case 2:
        return cmbDate;
    case 3:
        return txtFilterDesc;
    case 4:
        return txtFilterWho;
    case 5:
        return txtFilterNote;
    default:
        return nullptr;
    }
}

void frmMain::ListFocus()
{
    Recordset *rs = dtaDocuments->recordset();
    if (rs && rs->hasCurrent())
        grdInfo->setFocus();
}

void frmMain::showEngineError(const Status &status)
{
    MessageBox::show(this, status.message(), MessageBox::defaultTitle());
}

bool frmMain::refusedAsReadOnly()
{
    if (!gDatabase || !gDatabase->isReadOnly())
        return false;
    MessageBox::show(this, MessageBox::readOnlyText(gDatabase->path()), MessageBox::defaultTitle());
    return true;
}

void frmMain::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (std::exchange(m_shownOnce, true) || !gDatabase || !gDatabase->isReadOnly())
        return;
    // Said at once, over the window, before the user types anything.
    QMetaObject::invokeMethod(
        this,
        [this] {
            MessageBox::show(this, MessageBox::readOnlyText(gDatabase->path()),
                             MessageBox::defaultTitle());
        },
        Qt::QueuedConnection);
}

// ------------------------------------------------------------ filter handlers

void frmMain::chkFilterOn_Click()
{
    FilterOn = chkFilterOn->isChecked();
    RefreshDocumentList(grdInfo);
    ListFocus();
}

void frmMain::cmbType_Click()
{
    if (chkFilterOn->isChecked())
        RefreshDocumentList(cmbType);
}

void frmMain::cmbDate_Click()
{
    if (chkFilterOn->isChecked())
        RefreshDocumentList(cmbDate);
}

void frmMain::txtFilterDesc_Change()
{
    if (chkFilterOn->isChecked())
        RefreshDocumentList(txtFilterDesc);
}

void frmMain::txtFilterWho_Change()
{
    if (chkFilterOn->isChecked())
        RefreshDocumentList(txtFilterWho);
}

void frmMain::txtFilterNote_Change()
{
    if (chkFilterOn->isChecked())
        RefreshDocumentList(txtFilterNote);
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    const QList<QObject *> filters = {cmbType, cmbDate, txtFilterDesc, txtFilterWho, txtFilterNote};
    const int which = int(filters.indexOf(watched));
    if (which >= 0) {
        if (event->type() == QEvent::FocusIn)
            FocusedFilter = which + 1;
        else if (event->type() == QEvent::FocusOut)
            FocusedFilter = 0;
        else if (event->type() == QEvent::KeyPress && which >= 2) {
            // Small letters are typed as capitals.
            auto *key = static_cast<QKeyEvent *>(event);
            const QString text = key->text();
            if (text.size() == 1 && text.at(0) >= QLatin1Char('a') &&
                text.at(0) <= QLatin1Char('z')) {
                QKeyEvent capital(QEvent::KeyPress, key->key(), key->modifiers(), text.toUpper(),
                                  key->isAutoRepeat(), ushort(key->count()));
                QCoreApplication::sendEvent(watched, &capital);
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmMain::mnuFileExit_Click()
{
    close();
}

void frmMain::mnuHelpAbout_Click()
{
    MessageBox::show(this,
                     QStringLiteral("Quillstack - version %1").arg(QLatin1String(ProgramVersion)),
                     QStringLiteral("Quillstack"));
}

} // namespace qs
