#include "frmChange.h"

#include "editor/DateRules.h"
#include "editor/EditorState.h"
#include "editor/RecordSave.h"
#include "store/Completion.h"
#include "store/Database.h"
#include "store/Recordset.h"
#include "store/modRoutines.h"
#include "widgets/DateBox.h"
#include "widgets/FillTypeList.h"
#include "widgets/MessageBox.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopedValueRollback>

namespace qs {

namespace {

QString asText(const QVariant &v)
{
    return v.isNull() ? QString() : v.toString();
}

QString dateText(const QVariant &v)
{
    if (v.typeId() == QMetaType::QDate)
        return fnFormatDate(v.toDate());
    return asText(v);
}

void tell(QWidget *parent, const QString &text)
{
    MessageBox::show(parent, text, MessageBox::defaultTitle());
}

} // namespace

frmChange::frmChange(Database &db, Recordset &documents, Recordset *descriptionSet,
                     Recordset *whoSet, QWidget *parent)
    : QDialog(parent), m_db(db), m_documents(documents), m_descriptionSet(descriptionSet),
      m_whoSet(whoSet)
{
    buildUi();

    // Every change of a box counts, the program's own placements included;
    // loading clears the flag at its end.
    connect(txtID, &QLineEdit::textChanged, this, &frmChange::markChanged);
    connect(txtDesc, &QLineEdit::textChanged, this, &frmChange::markChanged);
    connect(cmbType, &QComboBox::currentIndexChanged, this, &frmChange::markChanged);
    connect(txtDate, &QLineEdit::textChanged, this, &frmChange::markChanged);
    connect(txtWho, &QLineEdit::textChanged, this, &frmChange::markChanged);
    connect(txtNote, &QPlainTextEdit::textChanged, this, &frmChange::markChanged);

    // Completion follows the user's own typing only: text that the program
    // sets (a record placed on screen, a completion) never completes again.
    connect(txtDesc, &QLineEdit::textEdited, this,
            [this] { complete(txtDesc, m_descBackspace, m_descriptionSet, &CompleteDescription); });
    connect(txtWho, &QLineEdit::textEdited, this,
            [this] { complete(txtWho, m_whoBackspace, m_whoSet, &CompleteWho); });
    txtDesc->installEventFilter(this);
    txtWho->installEventFilter(this);
    txtNote->installEventFilter(this);

    txtDate->gotFocus = [this] { txtDate_GotFocus(); };
    txtDate->lostFocus = [this](Qt::FocusReason reason) { txtDate_LostFocus(reason); };

    connect(cmdUpdate, &QPushButton::clicked, this, &frmChange::cmdUpdate_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmChange::cmdExit_Click);
}

frmChange::~frmChange()
{
    // The boxes outlive this part of the window while it is taken down, and
    // losing the focus then must not reach back into it.
    txtDate->gotFocus = nullptr;
    txtDate->lostFocus = nullptr;
    for (QWidget *box : {static_cast<QWidget *>(txtDesc), static_cast<QWidget *>(txtWho),
                         static_cast<QWidget *>(txtNote)})
        box->removeEventFilter(this);
    // Never leave a pending row, or its lock, behind the window.
    endPending();
}

QDate frmChange::today() const
{
    return m_today ? m_today() : QDate::currentDate();
}

Status frmChange::Form_Load()
{
    gNewID = 0;
    m_addMode = gAddMode;
    FillTypeList(*cmbType, m_db, false);
    if (Status s = PlaceInformationOnScreen(); !s)
        return s;
    ChangesMade = false;
    txtDesc->setFocus();
    return Status::success();
}

Status frmChange::PlaceInformationOnScreen()
{
    if (m_addMode) {
        const auto proposed = fnProposedID(m_db);
        if (!proposed.ok())
            return Status::failure(proposed.error());
        // With no number left above the highest, the user picks one.
        txtID->setText(proposed.value() ? QString::number(*proposed.value()) : QString());
        txtDesc->setText(QString());
        txtDate->setText(fnFormatDate(today()));
        txtWho->setText(QString());
        txtNote->setPlainText(QString());
        if (Status s = m_documents.addNew(); !s)
            return s;
        m_pending = true;
        m_recordPtr = 0;
        return Status::success();
    }

    // Edit first: it takes the lock and reads the row afresh, so the boxes
    // show what is stored now, not what the list read earlier.
    if (Status s = m_documents.edit(); !s)
        return s;
    m_pending = true;
    m_recordPtr = m_documents.value(QStringLiteral("RecordPtr")).toLongLong();
    txtID->setText(asText(m_documents.value(QStringLiteral("ID"))));
    txtDesc->setText(asText(m_documents.value(QStringLiteral("Description"))));
    // Always "m/d/yyyy": a locale form would be read back as another date.
    txtDate->setText(dateText(m_documents.value(QStringLiteral("Date"))));
    m_storedType = m_documents.value(QStringLiteral("DocumentType"));
    placeType(m_storedType);
    txtWho->setText(asText(m_documents.value(QStringLiteral("Who"))));
    m_storedNote = m_documents.value(QStringLiteral("Note"));
    const QString note = asText(m_storedNote);
    m_noteLineEnd = note.contains(QStringLiteral("\r\n")) ? QStringLiteral("\r\n")
                    : note.contains(u'\r')                ? QStringLiteral("\r")
                                                          : QStringLiteral("\n");
    txtNote->setPlainText(note);
    m_placedNote = txtNote->toPlainText();
    return Status::success();
}

void frmChange::placeType(const QVariant &storedType)
{
    // The entry that carries the record's own key. Without one the box shows
    // no choice, rather than a type the record never had: a name lookup could
    // land on another type of the same name, or on a blank-named one.
    for (int i = 0; i < cmbType->count(); ++i) {
        if (cmbType->itemData(i).toLongLong() == storedType.toLongLong()) {
            cmbType->setCurrentIndex(i);
            return;
        }
    }
    cmbType->setCurrentIndex(-1);
}

QVariant frmChange::typeToSave() const
{
    if (cmbType->currentIndex() >= 0)
        return selectedTypeKey(*cmbType);
    // No choice made: a changed record keeps what it had; a new one has no type.
    return m_addMode ? QVariant(qint16(0)) : m_storedType;
}

QVariant frmChange::noteToSave() const
{
    const QString shown = txtNote->toPlainText();
    // The box gives every line end back as LF: a note the user left alone is
    // written back exactly as stored, an edited one in its own line-end style.
    if (!m_addMode && shown == m_placedNote)
        return m_storedNote;
    QString note = shown;
    note.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    if (m_noteLineEnd != QLatin1String("\n"))
        note.replace(QStringLiteral("\n"), m_noteLineEnd);
    return note;
}

void frmChange::endPending()
{
    if (m_pending) {
        m_documents.cancelUpdate();
        m_pending = false;
    }
}

// ------------------------------------------------------------ leaving

void frmChange::cmdExit_Click()
{
    if (ChangesMade &&
        MessageBox::show(this, QStringLiteral("Changes made, still exit?"),
                         MessageBox::defaultTitle(), QMessageBox::Ok | QMessageBox::Cancel,
                         QMessageBox::Question, QMessageBox::Ok) != QMessageBox::Ok)
        return;
    m_dateRefusalPending = false;
    endPending();
    QDialog::reject();
}

void frmChange::reject()
{
    cmdExit_Click();
}

// ------------------------------------------------------------ saving

void frmChange::cmdUpdate_Click()
{
    // The checks below judge the date box themselves, and moving the focus
    // to a refused box is no leaving of the date box by the user.
    m_dateRefusalPending = false;
    const QScopedValueRollback<bool> saving(m_saving, true);

    // The number first: it must be a whole number that no other record has.
    const auto id = fnParseID(txtID->text());
    if (!id) {
        tell(this, invalidIdMessage());
        txtID->setFocus();
        return;
    }
    const auto duplicate = fnDuplicateID(m_db, *id, m_addMode ? 0 : m_recordPtr);
    if (!duplicate.ok()) {
        tell(this, duplicate.error());
        return;
    }
    if (duplicate.value()) {
        tell(this, duplicateIdMessage());
        txtID->setFocus();
        return;
    }

    // The date as it stands; short forms are expanded only on leaving the box.
    // An empty box means the record has no date.
    QVariant date;
    if (!fnIsBlank(txtDate->text())) {
        const auto parsed = fnParseDate(txtDate->text());
        if (!parsed) {
            tell(this, invalidDateMessage());
            txtDate->setFocus();
            return;
        }
        date = *parsed;
    }

    // The selected entry's own key: looking its name up again could find
    // another type, or none when the stored name has trailing blanks.
    const QList<QPair<QString, QVariant>> fields = {
        {QStringLiteral("ID"), *id},
        {QStringLiteral("Description"), txtDesc->text()},
        {QStringLiteral("Date"), date},
        {QStringLiteral("DocumentType"), typeToSave()},
        {QStringLiteral("Who"), txtWho->text()},
        {QStringLiteral("Note"), noteToSave()},
    };
    for (const auto &[name, value] : fields) {
        if (Status s = m_documents.setValue(name, value); !s) {
            tell(this, s.message());
            return;
        }
    }
    // A refused write leaves the editor open with everything as typed.
    if (Status s = m_documents.update(); !s) {
        tell(this, s.message());
        return;
    }
    m_pending = false;
    if (m_addMode)
        gNewID = *id;
    accept();
}

// ------------------------------------------------------------ date box

void frmChange::txtDate_GotFocus()
{
    // Typing replaces the date; trailing blanks stay out of the selection.
    txtDate->setSelection(0, int(fnTrimTrailing(txtDate->text()).size()));
}

void frmChange::txtDate_LostFocus(Qt::FocusReason reason)
{
    // Switching windows or opening a menu does not leave the box.
    if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason || !isVisible() ||
        m_saving)
        return;
    // Leaving for "Exit, no update": nothing will be saved, so no check.
    if (QApplication::focusWidget() == cmdExit)
        return;
    const QString text = txtDate->text();
    if (fnTrimTrailing(text).isEmpty())
        return;
    if (const auto date = fnParseDate(fnExpandDate(text, today()))) {
        txtDate->setText(fnFormatDate(date));
        return;
    }
    refuseDateLater(text);
}

void frmChange::refuseDateLater(const QString &refused)
{
    // Not inside the focus change itself: a message box there would fight
    // the focus that is on its way to the next control.
    m_dateRefusalPending = true;
    QMetaObject::invokeMethod(
        this,
        [this, refused] {
            if (!m_dateRefusalPending)
                return;
            m_dateRefusalPending = false;
            if (!isVisible() || txtDate->hasFocus() || txtDate->text() != refused)
                return;
            tell(this, invalidDateMessage());
            txtDate->setFocus(Qt::OtherFocusReason);
        },
        Qt::QueuedConnection);
}

// ------------------------------------------------------------ keys and completion

bool frmChange::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && watched == txtNote) {
        // Enter saves from the note as from every other box; Ctrl+Enter or
        // Shift+Enter starts a new line.
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (key->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier))
                txtNote->insertPlainText(QStringLiteral("\n"));
            else
                cmdUpdate->click();
            return true;
        }
    }
    if (event->type() == QEvent::KeyPress && (watched == txtDesc || watched == txtWho)) {
        auto *key = static_cast<QKeyEvent *>(event);
        bool &flag = watched == txtDesc ? m_descBackspace : m_whoBackspace;
        // Only keys that type a character count; arrows and the like do not.
        if (key->key() == Qt::Key_Backspace)
            flag = true;
        else if (!key->text().isEmpty())
            flag = false;
    }
    return QDialog::eventFilter(watched, event);
}

void frmChange::complete(QLineEdit *box, bool backspace, Recordset *set,
                         Completion (*routine)(Recordset &, const QString &, int, int))
{
    if (backspace || !set)
        return;
    const int selStart = box->hasSelectedText() ? box->selectionStart() : box->cursorPosition();
    const Completion c = routine(*set, box->text(), selStart, int(box->selectedText().size()));
    if (!c.completed)
        return;
    box->setText(c.text);
    // The caret stays after the typed text and the added tail is selected,
    // so typing on replaces it and Backspace removes it.
    box->setSelection(c.selStart + c.selLength, -c.selLength);
}

} // namespace qs
