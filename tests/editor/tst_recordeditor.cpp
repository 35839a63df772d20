// The record editor and the main window's record commands (Add, Change, Delete, the list
// order and "Set as default") on a real database, driven through their widgets. The grid's
// model is checked throughout by Qt's model tester.
#include "editor/EditorState.h"
#include "editor/frmChange.h"
#include "store/DataControl.h"
#include "store/ListSource.h"
#include "store/Recordset.h"
#include "store/Schema.h"
#include "support/MainWindow.h"
#include "support/Modal.h"
#include "support/Rows.h"
#include "widgets/DataGrid.h"
#include "widgets/MessageBox.h"

#include <QAbstractButton>
#include <QAbstractItemModelTester>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSettings>

using namespace qs;
using namespace qs::test;

namespace {

// Documents numbered from, 2 * from, ... up to `to`.
QList<Doc> numbered(int from, int to)
{
    QList<Doc> docs;
    for (int id = from; id <= to; id += from)
        docs.append({id, QStringLiteral("doc %1").arg(id), 0, QDate(2024, 1, 1), "Ann", ""});
    return docs;
}

template <typename T = QLineEdit> T *child(QWidget *w, const char *name)
{
    return w->findChild<T *>(QLatin1String(name));
}

void click(QWidget *w, const char *button)
{
    QTest::mouseClick(child<QAbstractButton>(w, button), Qt::LeftButton);
}

// Puts the focus into `box` and types over its whole text.
void typeInto(QLineEdit *box, const QString &text)
{
    box->setFocus();
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    QTest::keyClicks(box, text);
}

// The box's text with its selection after a bar.
QString shown(QLineEdit *box)
{
    return box->text() + u'|' + box->selectedText();
}

// Leaves the editor by Esc, by "Exit, no update" or by closing its frame.
void leave(frmChange &e, const QString &how)
{
    if (how == "esc")
        QTest::keyClick(e.focusWidget(), Qt::Key_Escape);
    else if (how == "click")
        click(&e, "cmdExit");
    else
        e.close();
}

// Every document in the list's order, on the record `key`.
std::unique_ptr<Recordset> listAt(Database &db, qint64 key)
{
    auto list = db.openDynaset(
        std::make_shared<SqlListSource>(schema::Documents, QString(), QVariantList(), "ID DESC"));
    return list->findFirst("RecordPtr", key) ? std::move(list) : nullptr;
}

// The editor as the main window loads it, outside any modal loop.
std::unique_ptr<frmChange> loadedEditor(Database &db, Recordset &list, bool add)
{
    gAddMode = add;
    auto e = std::make_unique<frmChange>(db, list, nullptr, nullptr);
    return e->Form_Load() ? std::move(e) : nullptr;
}

} // namespace

class tst_RecordEditor : public QObject
{
    Q_OBJECT

    std::unique_ptr<MainWindowFixture> m_f;
    std::unique_ptr<QAbstractItemModelTester> m_modelTester;
    QList<qint64> m_keys;

    bool open(const QList<Doc> &docs, const QStringList &types = {})
    {
        return m_f->open([&](Database &db) {
            for (const QString &t : types)
                addType(db, t);
            for (const Doc &d : docs)
                m_keys << addDocument(db, d);
        }) && (watchModel(), true);
    }
    void watchModel()
    {
        m_modelTester = std::make_unique<QAbstractItemModelTester>(
            grid()->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    }
    // Opens the editor on the record `key` (Change), or on a new one when `key` is 0 (Add),
    // and runs `action` in it.
    void edit(qint64 key, std::function<void(frmChange &)> action = {})
    {
        if (key != 0)
            QVERIFY(list()->findFirst("RecordPtr", key));
        // Whatever the action leaves open is closed afterwards without saving.
        answerModal<frmChange>([action = std::move(action)](frmChange &e) {
            if (action)
                action(e);
            if (e.isVisible() && e.changesMade())
                answerMessage();
        });
        key != 0 ? w().cmdChange_Click() : w().cmdAdd_Click();
    }
    // Change must open no editor; one that opens anyway is closed at once.
    void changeRefused()
    {
        answerModal<frmChange>();
        w().cmdChange_Click();
        QCOMPARE(pendingModals(), 1);
        clearPendingModals();
    }
    frmMain &w() { return m_f->w(); }
    Recordset *list() { return w().documents()->recordset(); }
    QVariant current(const char *field) { return list()->value(QLatin1String(field)); }
    QString detail(const char *label) { return child<QLabel>(&w(), label)->text(); }
    DataGrid *grid() { return child<DataGrid>(&w(), "grdInfo"); }
    // The first row that `sql` reads, with `arg` bound when given.
    QVariantList values(const QString &sql, const QVariant &arg = {})
    {
        auto rows =
            w().database()->query({sql, arg.isValid() ? QVariantList{arg} : QVariantList{}});
        return rows && !rows->empty() ? rows->front().values : QVariantList();
    }
    int count() { return values("SELECT COUNT(*) FROM Documents").value(0).toInt(); }

private Q_SLOTS:
    void init()
    {
        MessageBox::clearShownTexts();
        clearPendingModals();
        m_f = std::make_unique<MainWindowFixture>();
        m_keys.clear();
    }
    void cleanup()
    {
        QCOMPARE(pendingModals(), 0);
        m_modelTester.reset();
        m_f.reset();
    }
    void cleanupTestCase() { TestServer::instance().dropAll(); }

    // A new record typed with the keyboard alone. It starts with the next number, today and
    // the first type by name; the description and the name complete from stored ones;
    // leaving the date box expands a short form and refuses a bad date; Enter in the note
    // saves, Ctrl+Enter and Shift+Enter break the line.
    void addWithTheKeyboard()
    {
        QVERIFY(open({{1, "Invoice", 0, QVariant(), "Smithers"},
                      {10, "Invitation ", 0, QVariant(), "Smith, Ann"},
                      {2, "c"}},
                     {"Lease   ", "Bill"}));
        gNewID = 77;
        edit(0, [this](frmChange &e) {
            QCOMPARE(e.windowTitle(), QStringLiteral("Document Information"));
            QCOMPARE(shown(child(&e, "txtID")) + shown(child(&e, "txtDate")), "11|12/4/2026|");
            QCOMPARE(child<QComboBox>(&e, "cmbType")->currentText(), QStringLiteral("Bill"));
            QCOMPARE(gNewID, 0);
            QCOMPARE(list()->editMode(), EditMode::Add);
            QVERIFY(!e.changesMade());
            QCOMPARE(QApplication::focusWidget(), child(&e, "txtDesc"));
            for (const char *name : {"cmbType", "txtDate", "txtWho", "txtNote", "cmdUpdate",
                                     "cmdExit", "txtID", "txtDesc"}) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                QCOMPARE(QApplication::focusWidget()->objectName(), name);
            }
            QLineEdit *desc = child(&e, "txtDesc");
            QStringList seen;
            for (const Qt::Key key : {Qt::Key_I, Qt::Key_N, Qt::Key_V, Qt::Key_O, Qt::Key_Backspace,
                                      Qt::Key_Backspace, Qt::Key_I}) {
                QTest::keyClick(desc, key);
                seen << shown(desc);
            }
            QCOMPARE(seen, (QStringList{"i|", "in|", "Invitation |itation ", "Invoice|ice", "Invo|",
                                        "Inv|", "Invitation |tation "}));
            QCOMPARE(desc->cursorPosition(), 4);
            auto *type = child<QComboBox>(&e, "cmbType");
            type->setCurrentIndex(type->findText("Lease"));

            QLineEdit *date = child(&e, "txtDate");
            const auto leaveDate = [&](const char *typed) {
                typeInto(date, typed);
                QTest::keyClick(date, Qt::Key_Tab);
                QCoreApplication::processEvents(); // a refusal comes once the focus has moved
                // The offscreen platform gives the keyboard back to no window by itself.
                e.activateWindow();
                return QTest::qWaitForWindowActive(&e)
                           ? shown(date) + u'>' + e.focusWidget()->objectName()
                           : QString();
            };
            answerMessage();
            QCOMPARE(leaveDate("13/5/99 "), "13/5/99 |13/5/99>txtDate");
            QCOMPARE(leaveDate(""), "|>txtWho");
            QCOMPARE(leaveDate("022924"), "2/29/2024|>txtWho");
            QCOMPARE(MessageBox::shownTexts(), QStringList{"Not a valid date."});

            // The name completes only with the caret at the end.
            QLineEdit *who = child(&e, "txtWho");
            QTest::keyClicks(who, "mi");
            QTest::keyClick(who, Qt::Key_Home);
            QTest::keyClicks(who, "S");
            QCOMPARE(shown(who), QStringLiteral("Smi|"));
            QTest::keyClick(who, Qt::Key_End);
            QTest::keyClicks(who, "t");
            QCOMPARE(shown(who), QStringLiteral("Smith, Ann|h, Ann"));

            auto *note = child<QPlainTextEdit>(&e, "txtNote");
            note->setFocus();
            QTest::keyClicks(note, "one");
            QTest::keyClick(note, Qt::Key_Return, Qt::ControlModifier);
            QTest::keyClicks(note, "two");
            QTest::keyClick(note, Qt::Key_Enter, Qt::ShiftModifier | Qt::KeypadModifier);
            QTest::keyClicks(note, "three");
            QVERIFY(e.isVisible());
            QTest::keyClick(note, Qt::Key_Return);
            QCOMPARE(e.result(), int(QDialog::Accepted));
        });
        QCOMPARE(gNewID, 11);
        QCOMPARE(values("SELECT Description, DocumentType, Date, Who, Note, DateAdded FROM "
                        "Documents WHERE ID = 11"),
                 (QVariantList{"Invitation ", 1, QDate(2024, 2, 29), "Smith, Ann",
                               "one\ntwo\nthree", QVariant()}));
        // The list shows the new record as its current one.
        QCOMPARE(list()->rowCount(), 4);
        QCOMPARE(detail("lblID") + detail("lblDesc"), " 11 Invitation ");
        QCOMPARE(list()->editMode(), EditMode::None);
    }

    // With no number left above the highest, the user picks one.
    void noNumberLeftLeavesTheNumberEmpty()
    {
        QVERIFY(open({{2147483647, "top"}}));
        edit(0, [](frmChange &e) { QCOMPARE(shown(child(&e, "txtID")), QStringLiteral("|")); });
    }

    // What the user leaves alone is written back as stored: a type key that no entry has
    // (with no choice shown), a note byte for byte. An edited note keeps its line ends.
    void writtenBackUnlessChanged_data()
    {
        columns<bool, bool, int, QString, QString, QString, QString, int, QString>(
            "add", "types", "type", "choice", "note", "keys", "shown", "savedType", "saved");
        // With types: Bill, Lease, Rent and "Rent  " (keys 1 to 4). In keys, \r is Ctrl+Enter.
        row("own type, untouched", false, true, 2, "", "a\r\nb\nc\rd", "", "Lease", 2,
            "a\r\nb\nc\rd");
        row("same name twice, taken back", false, true, 4, "", "a\r\nb", "x\b", "Rent", 4,
            "a\r\nb");
        row("key with no type, CR LF", false, true, 99, "", "a\r\nb", "\rc", "", 99, "a\r\nb\r\nc");
        row("no types defined, CR note", false, false, 7, "", "a\rb", "\rc", "", 7, "a\rb\rc");
        row("a choice is written", false, true, 99, "Bill", "", "", "", 1, "");
        row("new record, first type", true, true, 0, "", "", "\rc", "Bill", 1, "\nc");
        row("new record, no types defined", true, false, 0, "", "", "", "", 0, "");
    }
    void writtenBackUnlessChanged()
    {
        const auto [add, types, type, choice, text, keys] =
            fetch<bool, bool, int, QString, QString, QString>("add", "types", "type", "choice",
                                                              "note", "keys");
        QVERIFY(open({{5, "doc", qint16(type), QDate(2020, 1, 1), "", text}},
                     types ? QStringList{"Bill", "Lease", "Rent", "Rent  "} : QStringList()));
        edit(add ? 0 : m_keys[0], [&](frmChange &e) {
            auto *box = child<QComboBox>(&e, "cmbType");
            QTEST(box->currentText(), "shown");
            QVERIFY(!e.changesMade());
            if (!choice.isEmpty())
                box->setCurrentIndex(box->findText(choice));
            auto *note = child<QPlainTextEdit>(&e, "txtNote");
            note->setFocus();
            note->moveCursor(QTextCursor::End);
            for (const QChar c : keys)
                QTest::keyClick(note, c.toLatin1(),
                                c == u'\r' ? Qt::ControlModifier : Qt::NoModifier);
            child(&e, "txtID")->setText("6");
            click(&e, "cmdUpdate");
        });
        QVERIFY(MessageBox::shownTexts().isEmpty());
        const QVariantList saved = values("SELECT DocumentType, Note FROM Documents WHERE ID = 6");
        QTEST(saved.value(0).toInt(), "savedType");
        QTEST(saved.value(1).toString(), "saved");
    }

    // A record shown and left as it was asks nothing, in any locale, though its description
    // and name begin longer stored ones. Any change asks, even one taken back; a bad date
    // typed on the way out is not checked.
    void leaving_data()
    {
        columns<QString, QString, QVariant, QString, QString, QString>("description", "who", "date",
                                                                       "shown", "change", "how");
        const QVariant early(QDate(1905, 1, 2));
        row("Esc, no date", "Inv", "Ann", QVariant(), "", "", "esc");
        row("click", "Letter", "Smi", QVariant(QDate(2025, 12, 31)), "12/31/2025", "", "click");
        row("frame closed after a change", "Inv", "Smi", early, "1/2/1905", "who", "close");
        row("bad date, click", "Inv", "Smi", early, "1/2/1905", "date", "click");
        row("bad date, Esc", "Inv", "Smi", early, "1/2/1905", "date", "esc");
    }
    void leaving()
    {
        const auto [description, who, date, change, how] =
            fetch<QString, QString, QVariant, QString, QString>("description", "who", "date",
                                                                "change", "how");
        QLocale::setDefault(QLocale(QStringLiteral("de_DE")));
        QVERIFY(open({{1, "Invoice for the roof", 0, QDate(2020, 1, 1), "Smithers"},
                      {7, description, 0, date, who},
                      {9, "Invitation", 0, QDate(2021, 1, 1), "Smith, Ann"}}));
        const QVariantList before =
            values("SELECT * FROM Documents WHERE RecordPtr = ?", m_keys[1]);
        edit(m_keys[1], [&](frmChange &e) {
            QLocale::setDefault(QLocale::c());
            QCOMPARE(child(&e, "txtDesc")->text() + '|' + child(&e, "txtWho")->text(),
                     description + '|' + who);
            QTEST(child(&e, "txtDate")->text(), "shown");
            // Passing through the date box writes the same text again: no change.
            child(&e, "txtDate")->setFocus();
            QTest::keyClick(child(&e, "txtDate"), Qt::Key_Tab);
            QVERIFY(!e.changesMade());
            if (change == "who") {
                child(&e, "txtWho")->end(false);
                QTest::keyClicks(child(&e, "txtWho"), "x\b");
            } else if (change == "date") {
                typeInto(child(&e, "txtDate"), "13/5/99");
            }
            if (!change.isEmpty()) {
                answerMessage(QMessageBox::Cancel);
                leave(e, how);
                QVERIFY(e.isVisible());
                QCOMPARE(list()->editMode(), EditMode::Edit);
                answerMessage(QMessageBox::Ok);
            }
            leave(e, how);
            QVERIFY(!e.isVisible());
        });
        QCOMPARE(MessageBox::shownTexts(),
                 QStringList(change.isEmpty() ? 0 : 2, "Changes made, still exit?"));
        QCOMPARE(list()->editMode(), EditMode::None);
        QCOMPARE(values("SELECT * FROM Documents WHERE RecordPtr = ?", m_keys[1]), before);
    }

    // Update judges the number, then the date as it stands: an empty or blank date box
    // means no date. Refused, the editor stays open with everything as typed.
    void update_data()
    {
        columns<bool, QString, QString, QString, QString, QVariant, int>(
            "add", "id", "date", "message", "focus", "savedDate", "newId");
        const QVariant none;
        const char *taken =
            "ID already defined for another entry.  Please enter a different ID number.";
        const char *bad = "The ID must be a whole number from -2147483648 to 2147483647.";
        row("number taken, before the bad date", true, "10", "13/13/2020", taken, "txtID", none, 0);
        row("letters", false, "abc", "1/1/2020", bad, "txtID", none, 0);
        row("short form", false, "21", "123199", "Not a valid date.", "txtDate", none, 0);
        row("emptied date, a free number", false, "21", "", "", "", none, 0);
        row("blank date, own number", false, " 20 ", "   ", "", "", none, 0);
        row("new, blanks around", true, " 13 ", " 1/5/2020 ", "", "", QVariant(QDate(2020, 1, 5)),
            13);
    }
    void update()
    {
        const auto [add, id, date, message] =
            fetch<bool, QString, QString, QString>("add", "id", "date", "message");
        QVERIFY(open({{10, "ten"}, {20, "twenty", 0, QDate(2020, 2, 2)}}));
        const QVariantList before =
            values("SELECT * FROM Documents WHERE RecordPtr = ?", m_keys[1]);
        edit(add ? 0 : m_keys[1], [&](frmChange &e) {
            child(&e, "txtID")->setText(id);
            child(&e, "txtDate")->setText(date);
            QTest::keyClicks(child(&e, "txtWho"), "typed");
            // Enter in the date box saves with the text as it stands.
            child(&e, "txtDate")->setFocus();
            if (!message.isEmpty())
                answerMessage();
            QTest::keyClick(child(&e, "txtDate"), Qt::Key_Return);
            QCoreApplication::processEvents();
            if (!message.isEmpty()) {
                QTEST(e.focusWidget()->objectName(), "focus");
                QCOMPARE(shown(child(&e, "txtID")) + shown(child(&e, "txtWho")), id + "|typed|");
                QCOMPARE(list()->editMode(), add ? EditMode::Add : EditMode::Edit);
            }
        });
        QCOMPARE(MessageBox::shownTexts().value(0), message);
        QTEST(gNewID, "newId");
        QCOMPARE(count(), add && message.isEmpty() ? 3 : 2);
        // Written in place or added: either way the list's current row.
        QCOMPARE(current("ID").toInt(), message.isEmpty() ? id.trimmed().toInt() : 20);
        if (!message.isEmpty())
            QCOMPARE(values("SELECT * FROM Documents WHERE RecordPtr = ?", m_keys[1]), before);
        else
            QTEST(values("SELECT Date FROM Documents WHERE ID = ?", id.trimmed().toInt()).value(0),
                  "savedDate");
    }

    // The server goes away while the editor is open (it stops taking connections and ends
    // the one in use): Update says so and saves nothing, the editor keeps what was typed,
    // and Update works once the server is back.
    void lostConnectionKeepsTheEditorOpen()
    {
        TestServer &server = TestServer::instance();
        if (!TestServer::configured())
            QSKIP("No test server (PGHOST, PGPORT, ...).");
        QVERIFY(server.start());
        const QString target = server.createDatabase();
        const QString name = target.section('=', 1);
        auto opened = openServerDatabase(target);
        QVERIFY(opened);
        Database &db = *opened->db;
        const qint64 rp = addDocument(db, {1, "before"});
        auto list = listAt(db, rp);
        auto e = list ? loadedEditor(db, *list, false) : nullptr;
        QVERIFY(e);
        child(e.get(), "txtDesc")->setText("typed meanwhile");
        const auto reachable = [&](const char *on) {
            return server.admin({"ALTER DATABASE " + name + " ALLOW_CONNECTIONS " + on, {}});
        };
        QVERIFY(reachable("false"));
        QVERIFY(server.admin({"SELECT pg_terminate_backend(pid, 5000) FROM pg_stat_activity "
                              "WHERE datname = ?",
                              {name}}));
        answerMessage();
        e->cmdUpdate_Click();
        QCOMPARE(e->result(), int(QDialog::Rejected));
        QCOMPARE(MessageBox::shownTexts().size(), 1);
        QVERIFY(MessageBox::shownTexts()[0].contains("connection to the database server was lost"));
        QCOMPARE(child(e.get(), "txtDesc")->text(), QString("typed meanwhile"));
        QVERIFY(reachable("true"));
        e->cmdUpdate_Click();
        QCOMPARE(e->result(), int(QDialog::Accepted));
        QCOMPARE(db.query({"SELECT Description FROM Documents WHERE ID = 1", {}})->front().values,
                 QVariantList{"typed meanwhile"});
    }

    // A new record the filter leaves out is saved, and the list stays where it was; so does
    // an Add abandoned with Esc.
    void addOutsideTheFilterOrAbandoned()
    {
        QVERIFY(open({{1, "alpha one"}, {2, "alpha two"}, {3, "beta"}}));
        child<QAbstractButton>(&w(), "chkFilterOn")->click();
        QTest::keyClicks(child(&w(), "txtFilterDesc"), "alpha");
        QVERIFY(list()->findFirst("RecordPtr", m_keys[1]));
        edit(0, [](frmChange &e) {
            QTest::keyClicks(child(&e, "txtDesc"), "gamma");
            click(&e, "cmdUpdate");
        });
        QCOMPARE(values("SELECT Description FROM Documents WHERE ID = 4"), QVariantList{"gamma"});
        QCOMPARE(list()->rowCount(), 2);
        QCOMPARE(detail("lblID") + detail("lblDesc"), " 2 alpha two");

        edit(0, [](frmChange &e) { QTest::keyClick(child(&e, "txtDesc"), Qt::Key_Escape); });
        QCOMPARE(gNewID, 0);
        QVERIFY(MessageBox::shownTexts().isEmpty());
        QCOMPARE(current("RecordPtr").toLongLong(), m_keys[1]);
        QCOMPARE(w().focusWidget(), grid());
    }

    // Another copy of the program on the same file: while its editor holds a row, Change and
    // Delete are refused; once it leaves, Change (Enter on the grid) works and the list shows
    // the change. A row it deleted is said to be gone. (A row gone while the editor is open
    // is a refused write, as a lost connection is.)
    void anotherCopy()
    {
        QVERIFY(open(numbered(1, 4)));
        auto other = openSqliteDatabase(m_f->folder.file(schema::DatabaseFile));
        QVERIFY(other);
        auto otherList = listAt(*other.value(), m_keys[1]);
        auto holder = otherList ? loadedEditor(*other.value(), *otherList, false) : nullptr;
        QVERIFY(holder);
        QVERIFY(list()->findFirst("RecordPtr", m_keys[1]));
        answerMessage();
        changeRefused();
        answerMessage();
        answerMessage();
        w().cmdDelete_Click();
        QCOMPARE(MessageBox::shownTexts().value(0),
                 "Someone else is editing this record.  Please wait and try again, later.");
        QCOMPARE(MessageBox::shownTexts().size(), 3);
        QCOMPARE(list()->rowCount(), 4);
        QCOMPARE(current("RecordPtr").toLongLong(), m_keys[1]);

        holder.reset(); // taken down without being left: its edit and lock end all the same
        const int at = list()->absolutePosition();
        answerModal<frmChange>([](frmChange &e) {
            QCOMPARE(child(&e, "txtDesc")->text(), QStringLiteral("doc 2"));
            typeInto(child(&e, "txtDesc"), "changed");
            QTest::keyClick(child(&e, "txtDesc"), Qt::Key_Return);
        });
        QTest::keyClick(grid(), Qt::Key_Return);
        QCOMPARE(list()->absolutePosition(), at);
        QCOMPARE(list()->valueAt(at, "Description").toString(), QStringLiteral("changed"));
        QCOMPARE(detail("lblDesc"), QStringLiteral(" changed"));

        QVERIFY(list()->findFirst("RecordPtr", m_keys[0]));
        QVERIFY(other.value()->exec({"DELETE FROM Documents WHERE RecordPtr = ?", {m_keys[0]}}));
        answerMessage();
        changeRefused();
        QCOMPARE(MessageBox::shownTexts().mid(3),
                 QStringList{"The record has been deleted by another user."});
    }

    // The question names the record; cancelled, the row stays. Deleted, the next row becomes
    // the current one, or the first when it was the last.
    void deleteRecord_data()
    {
        columns<int, int, QString, QString, bool, int>("count", "row", "description", "question",
                                                       "ok", "currentId"); // row: highest ID first
        row("cancelled, trailing blanks", 3, 1, "Lease   ", "Delete \"Lease\" (2)", false, 2);
        row("middle row: next one", 5, 2, " a \"b\"", "Delete \" a \"b\"\" (3)", true, 2);
        row("last row: list starts over", 5, 4, "x", "Delete \"x\" (1)", true, 5);
        row("only row", 1, 0, "x", "Delete \"x\" (1)", true, 0);
    }
    void deleteRecord()
    {
        const auto [count, at, description, ok] =
            fetch<int, int, QString, bool>("count", "row", "description", "ok");
        QList<Doc> docs = numbered(1, count);
        docs[count - 1 - at].description = description;
        QVERIFY(open(docs));
        list()->setAbsolutePosition(at);
        answerMessage(ok ? QMessageBox::Ok : QMessageBox::Cancel);
        w().cmdDelete_Click();
        QTEST(MessageBox::shownTexts().value(0), "question");
        QCOMPARE(list()->rowCount(), ok ? count - 1 : count);
        QCOMPARE(this->count(), list()->rowCount());
        QFETCH(int, currentId);
        QCOMPARE(child<QWidget>(&w(), "panView")->isVisible(), currentId != 0);
        if (currentId != 0) {
            QCOMPARE(detail("lblID"), QStringLiteral(" %1").arg(currentId));
            QCOMPARE(w().focusWidget(), grid());
            return;
        }
        // The empty list: Change and Delete do nothing and say nothing.
        changeRefused();
        w().cmdDelete_Click();
        QCOMPARE(MessageBox::shownTexts().size(), 1);
    }

    // "Set as default" keeps the order chosen for the next start, and says so for a moment.
    void setAsDefault()
    {
        QVERIFY(open({{1, "charlie"}, {2, "alpha"}, {3, "bravo"}}));
        click(&w(), "Order_1");
        QCOMPARE(list()->valueAt(0, "Description").toString() +
                     list()->valueAt(2, "Description").toString(),
                 "alphacharlie");
        auto *set = child<QLabel>(&w(), "lblSetAsDefaultOk");
        click(&w(), "cmdSetAsDefault");
        QVERIFY(set->isVisible());
        w().tmrSetAsDefault_Timer(); // what the timer does when its second has passed
        QVERIFY(!set->isVisible());
        QCOMPARE(QSettings("Quillstack", "Quillstack").value("Default/Order").toString(),
                 "DESCRIPTION");
    }
};

QTEST_MAIN(tst_RecordEditor)
#include "tst_recordeditor.moc"
