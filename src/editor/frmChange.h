#pragma once

#include "store/Status.h"

#include <QDate>
#include <QDialog>
#include <QVariant>

#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace qs {

class Database;
class Recordset;
class DateBox;
struct Completion;

// The record editor, "Document Information": adds a record to the main
// list's record set or changes that set's current row. It opens no record
// set of its own for the record; it adopts the list's, so the list shows the
// result at once. gAddMode says which of the two it does; gNewID tells the
// caller afterwards which number a new record got.
class frmChange : public QDialog
{
    Q_OBJECT
public:
    // `documents` is the main list's record set; `descriptionSet` and
    // `whoSet` are the table record sets that completion reads (either may
    // be null: that box then does not complete).
    frmChange(Database &db, Recordset &documents, Recordset *descriptionSet, Recordset *whoSet,
              QWidget *parent = nullptr);
    ~frmChange() override;

    // The clock's date, replaceable so that tests never depend on the day.
    void setToday(std::function<QDate()> today) { m_today = std::move(today); }

    // Fills the type list, places the record and begins the add or edit on
    // the adopted record set (Edit takes the record's lock). On failure
    // nothing is pending and the window must not be shown.
    Status Form_Load();

    bool changesMade() const { return ChangesMade; }

public Q_SLOTS:
    void cmdUpdate_Click();
    void cmdExit_Click();
    // Esc and the frame's close button leave as "Exit, no update" does.
    void reject() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildUi();
    Status PlaceInformationOnScreen();
    void placeType(const QVariant &storedType);
    QVariant typeToSave() const;
    QVariant noteToSave() const;
    void txtDate_GotFocus();
    void txtDate_LostFocus(Qt::FocusReason reason);
    void refuseDateLater(const QString &refused);
    void complete(QLineEdit *box, bool backspace, Recordset *set,
                  Completion (*routine)(Recordset &, const QString &, int, int));
    void markChanged() { ChangesMade = true; }
    void endPending();
    QDate today() const;

    Database &m_db;
    Recordset &m_documents;
    Recordset *m_descriptionSet;
    Recordset *m_whoSet;
    std::function<QDate()> m_today;

    bool ChangesMade = false;
    // The last key typed in the box was Backspace: no completion then.
    bool m_descBackspace = false;
    bool m_whoBackspace = false;
    // gAddMode as it was when the window loaded.
    bool m_addMode = false;
    // An add or edit is pending on the adopted record set.
    bool m_pending = false;
    // The record under change (0 for a new one), kept out of the duplicate test.
    qint64 m_recordPtr = 0;
    // The record's type and note as stored: a type box left without a choice
    // and a note left untouched are written back exactly as they were.
    QVariant m_storedType;
    QVariant m_storedNote;
    QString m_placedNote;
    QString m_noteLineEnd = QStringLiteral("\n");
    // A refused date waits to be reported once the focus has moved on.
    bool m_dateRefusalPending = false;
    // Update is checking: the focus moves it makes are not the user's.
    bool m_saving = false;

    // Controls (owned through Qt's parent chain).
    QLineEdit *txtID = nullptr;
    QLineEdit *txtDesc = nullptr;
    QComboBox *cmbType = nullptr;
    DateBox *txtDate = nullptr;
    QLineEdit *txtWho = nullptr;
    QPlainTextEdit *txtNote = nullptr;
    QPushButton *cmdUpdate = nullptr;
    QPushButton *cmdExit = nullptr;
};

} // namespace qs
