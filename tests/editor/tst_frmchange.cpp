// The record editor on a real database: loading, leaving, date entry,
// saving and completion, driven through its widgets.
#include "support/TestSupport.h"

#include "editor/EditorState.h"
#include "editor/frmChange.h"
#include "store/ListSource.h"
#include "store/Recordset.h"
#include "store/Schema.h"
#include "store/SqliteDatabase.h"
#include "widgets/MessageBox.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>

using namespace qs;
using namespace qs::test;

namespace {

const QDate kToday(2026, 12, 4);

// A database in a folder of its own, the list's record set over it and the
// editor, opened as the main window would open it.
class Editor
{
public:
    // On a database file of its own, or on `server` when given.
    explicit Editor(std::unique_ptr<Database> server = nullptr)
        : db(server ? std::move(server) : makeDatabase(folder.file(schema::DatabaseFile)))
    {
    }

    bool open(bool add, qint64 recordPtr = 0)
    {
        w.reset();
        list = db->openDynaset(std::make_shared<SqlListSource>(schema::Documents, QString(),
                                                               QVariantList(), "ID DESC"));
        if (!add && !list->findFirst("RecordPtr", recordPtr))
            return false;
        descriptions = db->openTable(schema::Documents);
        descriptions->setIndex(schema::IndexDescription);
        whos = db->openTable(schema::Documents);
        whos->setIndex(schema::IndexWho);
        gAddMode = add;
        w = std::make_unique<frmChange>(*db, *list, descriptions.get(), whos.get());
        w->setToday([] { return kToday; });
        if (!w->Form_Load())
            return false;
        w->show();
        return QTest::qWaitForWindowActive(w.get());
    }

    template <typename T = QLineEdit> T *box(const char *name) const
    {
        return w->findChild<T *>(QLatin1String(name));
    }
    QPlainTextEdit *note() const { return box<QPlainTextEdit>("txtNote"); }
    QComboBox *type() const { return box<QComboBox>("cmbType"); }
    QPushButton *button(const char *name) const { return box<QPushButton>(name); }

    Row stored(qint64 recordPtr) const
    {
        auto rows = db->query({"SELECT * FROM Documents WHERE RecordPtr = ?", {recordPtr}});
        return rows && !rows->empty() ? rows->front() : Row();
    }
    int count() const
    {
        auto rows = db->query({"SELECT COUNT(*) FROM Documents", {}});
        return rows->front().values.value(0).toInt();
    }

    // Puts the focus into `target` and types over its whole text.
    static void typeInto(QLineEdit *target, const QString &text)
    {
        target->setFocus();
        target->selectAll();
        if (text.isEmpty())
            QTest::keyClick(target, Qt::Key_Delete);
        else
            QTest::keyClicks(target, text);
    }

    TestFolder folder;
    std::unique_ptr<Database> db;
    std::unique_ptr<Recordset> list;
    std::unique_ptr<Recordset> descriptions;
    std::unique_ptr<Recordset> whos;
    std::unique_ptr<frmChange> w;
};

template <typename... Values> void row(const char *name, Values... values)
{
    (QTest::newRow(name) << ... << values);
}

void leave(Editor &e, const QString &how)
{
    if (how == "esc")
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    else if (how == "click")
        QTest::mouseClick(e.button("cmdExit"), Qt::LeftButton);
    else
        e.w->close();
}

} // namespace

class tst_frmChange : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanupTestCase() { TestServer::instance().dropAll(); }
    void init()
    {
        MessageBox::clearAnswers();
        MessageBox::clearShownTexts();
    }

    void newRecordStartsBlankWithTodayAndFirstType()
    {
        Editor e;
        addType(*e.db, "Lease");
        addType(*e.db, "Bill");
        addDocument(*e.db, {1, "a"});
        addDocument(*e.db, {10, "b"});
        addDocument(*e.db, {2, "c"});
        gNewID = 77;
        QVERIFY(e.open(true));
        QCOMPARE(e.box("txtID")->text(), QStringLiteral("11"));
        QCOMPARE(e.box("txtDesc")->text(), QString());
        QCOMPARE(e.box("txtDate")->text(), QStringLiteral("12/4/2026"));
        QCOMPARE(e.box("txtWho")->text(), QString());
        QCOMPARE(e.note()->toPlainText(), QString());
        QCOMPARE(e.type()->currentText(), QStringLiteral("Bill"));
        QCOMPARE(e.type()->count(), 2);
        QCOMPARE(QApplication::focusWidget(), e.box("txtDesc"));
        QVERIFY(!e.w->changesMade());
        QCOMPARE(gNewID, 0);
        QCOMPARE(e.list->editMode(), EditMode::Add);
        QCOMPARE(e.w->windowTitle(), QStringLiteral("Document Information"));
    }

    void noNumberLeftLeavesTheBoxEmpty()
    {
        Editor e;
        addDocument(*e.db, {2147483647, "top"});
        QVERIFY(e.open(true));
        QCOMPARE(e.box("txtID")->text(), QString());
    }

    void tabOrder()
    {
        Editor e;
        addType(*e.db, "Bill");
        QVERIFY(e.open(true));
        const QStringList expected = {"cmbType",   "txtDate", "txtWho", "txtNote",
                                      "cmdUpdate", "cmdExit", "txtID",  "txtDesc"};
        for (const QString &name : expected) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget()->objectName(), name);
        }
    }

    // The type box shows the record's own type, or no choice when no entry has
    // its key; saving without a choice writes the stored key back unchanged.
    void typeKeptUnlessChosen_data()
    {
        QTest::addColumn<bool>("add");
        QTest::addColumn<QStringList>("types"); // keys 1, 2, ... in this order
        QTest::addColumn<int>("stored");
        QTest::addColumn<QString>("choice"); // empty: the box is left alone
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("saved");

        const QStringList billLease = {"Bill", "Lease"};
        row("its own type", false, billLease, 2, QString(), "Lease", 2);
        row("trailing blanks", false, QStringList{"Bill", "Rent   "}, 2, QString(), "Rent", 2);
        row("same name twice", false, QStringList{"Rent", "Rent  "}, 2, QString(), "Rent", 2);
        row("no type", false, billLease, 0, QString(), "", 0);
        row("key with no type", false, billLease, 99, QString(), "", 99);
        row("blank-named type", false, QStringList{"   ", "Bill"}, 0, QString(), "", 0);
        row("no types defined", false, QStringList(), 7, QString(), "", 7);
        row("a choice is written", false, billLease, 99, "Bill", "", 1);
        row("new record, first type", true, billLease, 0, QString(), "Bill", 1);
        row("new record, no types defined", true, QStringList(), 0, QString(), "", 0);
    }

    void typeKeptUnlessChosen()
    {
        QFETCH(bool, add);
        QFETCH(QStringList, types);
        QFETCH(int, stored);
        QFETCH(QString, choice);
        QFETCH(QString, shown);
        QFETCH(int, saved);
        Editor e;
        for (int i = 0; i < types.size(); ++i)
            QCOMPARE(addType(*e.db, types[i]), qint16(i + 1));
        Doc d{5, "doc", qint16(stored), QDate(2020, 1, 1)};
        const qint64 rp = addDocument(*e.db, d);
        QVERIFY(e.open(add, rp));
        QCOMPARE(e.type()->currentText(), shown);
        QVERIFY(!e.w->changesMade());
        if (!choice.isEmpty())
            e.type()->setCurrentIndex(e.type()->findText(choice));
        e.box("txtID")->setText("6");
        MessageBox::queueAnswer(QMessageBox::Ok);
        QTest::mouseClick(e.button("cmdUpdate"), Qt::LeftButton);
        QVERIFY(MessageBox::shownTexts().isEmpty());
        auto rows = e.db->query({"SELECT DocumentType FROM Documents WHERE ID = 6", {}});
        QCOMPARE(rows->size(), size_t(1));
        QCOMPARE(rows->front().values.value(0).toInt(), saved);
    }

    void exitWithoutTypingAsksNothing_data()
    {
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("who");
        QTest::addColumn<QVariant>("date");
        QTest::addColumn<QString>("shownDate");
        QTest::addColumn<QString>("how");

        // Descriptions and names that are prefixes of longer stored ones.
        const QVariant march(QDate(2024, 3, 1));
        row("description prefix, Esc", "Inv", "Ann", march, "3/1/2024", "esc");
        row("description prefix, click", "Inv", "Ann", march, "3/1/2024", "click");
        row("who prefix, frame close", "Letter", "Smi", march, "3/1/2024", "close");
        row("no date", "Inv", "Smi", QVariant(), "", "esc");
        for (int month = 1; month <= 12; ++month) {
            const QDate d(2025, month, QDate(2025, month, 1).daysInMonth());
            QTest::addRow("month %d", month)
                << "Invo"
                << "Smit" << QVariant(d) << QStringLiteral("%1/%2/2025").arg(month).arg(d.day())
                << "esc";
        }
        row("early year", "Inv", "Smi", QVariant(QDate(1905, 1, 2)), "1/2/1905", "esc");
    }

    void exitWithoutTypingAsksNothing()
    {
        QFETCH(QString, description);
        QFETCH(QString, who);
        QFETCH(QVariant, date);
        QFETCH(QString, shownDate);
        QFETCH(QString, how);

        Editor e;
        addDocument(*e.db, {1, "Invoice for the roof", 0, QDate(2020, 1, 1), "Smithers", ""});
        const qint64 rp =
            addDocument(*e.db, {7, description, 0, date, who, QStringLiteral("a note")});
        addDocument(*e.db, {9, "Invitation", 0, QDate(2021, 1, 1), "Smith, Ann", ""});
        const Row before = e.stored(rp);
        QVERIFY(e.open(false, rp));
        QCOMPARE(e.box("txtDesc")->text(), description);
        QCOMPARE(e.box("txtWho")->text(), who);
        QCOMPARE(e.box("txtDate")->text(), shownDate);
        QCOMPARE(e.box("txtID")->text(), QStringLiteral("7"));
        QCOMPARE(e.note()->toPlainText(), QStringLiteral("a note"));
        QVERIFY(!e.w->changesMade());

        leave(e, how);
        QVERIFY(MessageBox::shownTexts().isEmpty());
        QVERIFY(!e.w->isVisible());
        QCOMPARE(e.w->result(), int(QDialog::Rejected));
        QCOMPARE(e.list->editMode(), EditMode::None);
        QCOMPARE(e.stored(rp).values, before.values);
    }

    void dateShownAsMonthDayYearInEveryLocale_data()
    {
        QTest::addColumn<QString>("locale");
        for (const char *name : {"C", "en_US", "de_DE"})
            QTest::newRow(name) << name;
    }

    void dateShownAsMonthDayYearInEveryLocale()
    {
        QFETCH(QString, locale);
        const QLocale previous;
        QLocale::setDefault(QLocale(locale));
        Editor e;
        const qint64 rp = addDocument(*e.db, {3, "x", 0, QDate(2026, 12, 4)});
        const bool opened = e.open(false, rp);
        QLocale::setDefault(previous);
        QVERIFY(opened);
        QCOMPARE(e.box("txtDate")->text(), QStringLiteral("12/4/2026"));
        // Passing through the date box rewrites the same text: no change.
        e.box("txtDate")->setFocus();
        QTest::keyClick(e.box("txtDate"), Qt::Key_Tab);
        QCoreApplication::processEvents();
        QCOMPARE(e.box("txtDate")->text(), QStringLiteral("12/4/2026"));
        QVERIFY(!e.w->changesMade());
    }

    void changeThenRestoreStillAsks_data()
    {
        QTest::addColumn<QString>("how");
        for (const char *how : {"esc", "click", "close"})
            QTest::newRow(how) << how;
    }

    void changeThenRestoreStillAsks()
    {
        QFETCH(QString, how);
        Editor e;
        const qint64 rp = addDocument(*e.db, {3, "Lease", 0, QDate(2026, 1, 2), "Ann"});
        const Row before = e.stored(rp);
        QVERIFY(e.open(false, rp));
        QLineEdit *who = e.box("txtWho");
        who->setFocus();
        who->end(false);
        QTest::keyClick(who, Qt::Key_X);
        QTest::keyClick(who, Qt::Key_Backspace);
        QCOMPARE(who->text(), QStringLiteral("Ann"));
        QVERIFY(e.w->changesMade());

        MessageBox::queueAnswer(QMessageBox::Cancel);
        leave(e, how);
        QCOMPARE(MessageBox::shownTexts(), QStringList{"Changes made, still exit?"});
        QVERIFY(e.w->isVisible());
        QCOMPARE(e.list->editMode(), EditMode::Edit);
        QCOMPARE(who->text(), QStringLiteral("Ann"));

        MessageBox::queueAnswer(QMessageBox::Ok);
        leave(e, how);
        QCOMPARE(MessageBox::shownTexts().size(), 2);
        QVERIFY(!e.w->isVisible());
        QCOMPARE(e.list->editMode(), EditMode::None);
        QCOMPARE(e.stored(rp).values, before.values);
    }

    void closingTheWindowObjectEndsTheEdit()
    {
        Editor e;
        const qint64 rp = addDocument(*e.db, {1, "a"});
        QVERIFY(e.open(false, rp));
        QCOMPARE(e.list->editMode(), EditMode::Edit);
        e.w.reset();
        QCOMPARE(e.list->editMode(), EditMode::None);
    }

    void leavingTheDateBox_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("refused");

        row("six digits", "123199", "12/31/1999", false);
        row("keyword", "Yesterday", "12/3/2026", false);
        row("four digits", "1225", "12/25/2026", false);
        row("empty year", "1/5/", "1/5/2000", false);
        row("full form", "01/05/1999", "1/5/1999", false);
        row("empty is accepted here", "", "", false);
        row("month 13", "13/5/99", "13/5/99", true);
        row("30 February", "2/30/2024", "2/30/2024", true);
        row("keyword with blank", " now", " now", true);
    }

    void leavingTheDateBox()
    {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QFETCH(bool, refused);

        Editor e;
        QVERIFY(e.open(true));
        QLineEdit *date = e.box("txtDate");
        Editor::typeInto(date, typed);
        if (refused)
            MessageBox::queueAnswer(QMessageBox::Ok);
        QTest::keyClick(date, Qt::Key_Tab);
        // The refusal is reported once the focus has moved on.
        QCoreApplication::processEvents();
        QCOMPARE(date->text(), shown);
        if (refused) {
            QCOMPARE(MessageBox::shownTexts(), QStringList{"Not a valid date."});
            QCOMPARE(QApplication::focusWidget(), date);
            QCOMPARE(date->selectedText(), shown.trimmed().isEmpty() ? QString() : shown);
        } else {
            QVERIFY(MessageBox::shownTexts().isEmpty());
            QCOMPARE(QApplication::focusWidget(), e.box("txtWho"));
        }
    }

    void enteringTheDateBoxSelectsAllButTrailingBlanks()
    {
        Editor e;
        QVERIFY(e.open(true));
        QLineEdit *date = e.box("txtDate");
        date->setText("1/5/2020   ");
        e.type()->setFocus();
        QTest::keyClick(e.type(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), date);
        QCOMPARE(date->selectedText(), QStringLiteral("1/5/2020"));
        QCOMPARE(date->selectionStart(), 0);
    }

    void leavingTheDateBoxForExitChecksNothing_data()
    {
        QTest::addColumn<bool>("viaEsc");
        row("click", false);
        row("Esc", true);
    }

    void leavingTheDateBoxForExitChecksNothing()
    {
        QFETCH(bool, viaEsc);
        Editor e;
        QVERIFY(e.open(true));
        QLineEdit *date = e.box("txtDate");
        Editor::typeInto(date, "13/5/99");
        MessageBox::queueAnswer(QMessageBox::Ok);
        if (viaEsc)
            QTest::keyClick(date, Qt::Key_Escape);
        else
            QTest::mouseClick(e.button("cmdExit"), Qt::LeftButton);
        QCoreApplication::processEvents();
        QCOMPARE(MessageBox::shownTexts(), QStringList{"Changes made, still exit?"});
        QVERIFY(!e.w->isVisible());
        QCOMPARE(e.count(), 0);
    }

    void refusedSave_data()
    {
        QTest::addColumn<bool>("add");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focus");

        const char *taken =
            "ID already defined for another entry.  Please enter a different ID number.";
        const char *badId = "The ID must be a whole number from -2147483648 to 2147483647.";
        row("add, number taken", true, "10", "1/1/2020", taken, "txtID");
        row("change, another's number", false, "10", "1/1/2020", taken, "txtID");
        row("number taken and date bad", true, "10", "13/13/2020", taken, "txtID");
        row("empty number", true, "", "1/1/2020", badId, "txtID");
        row("letters", false, "abc", "1/1/2020", badId, "txtID");
        row("beyond 32 bits", true, "2147483648", "1/1/2020", badId, "txtID");
        row("SQL in the number", true, "11 OR 1=1", "", badId, "txtID");
    }

    void refusedSave()
    {
        QFETCH(bool, add);
        QFETCH(QString, id);
        QFETCH(QString, date);
        QFETCH(QString, message);
        QFETCH(QString, focus);

        Editor e;
        addDocument(*e.db, {10, "ten"});
        const qint64 rp = addDocument(*e.db, {20, "twenty", 0, QDate(2020, 2, 2)});
        const Row before = e.stored(rp);
        QVERIFY(e.open(add, rp));
        e.box("txtID")->setText(id);
        e.box("txtDate")->setText(date);
        QTest::keyClicks(e.box("txtDesc"), "typed");
        const QString desc = e.box("txtDesc")->text();

        // Enter in the date box saves with the text as it stands.
        e.box("txtDate")->setFocus();
        MessageBox::queueAnswer(QMessageBox::Ok);
        QTest::keyClick(e.box("txtDate"), Qt::Key_Return);
        QCoreApplication::processEvents();
        QCOMPARE(MessageBox::shownTexts(), QStringList{message});
        QCOMPARE(QApplication::focusWidget()->objectName(), focus);
        QVERIFY(e.w->isVisible());
        QVERIFY(e.w->changesMade());
        QCOMPARE(e.box("txtDesc")->text(), desc);
        QCOMPARE(e.box("txtID")->text(), id);
        QCOMPARE(e.list->editMode(), add ? EditMode::Add : EditMode::Edit);
        QCOMPARE(e.count(), 2);
        QCOMPARE(e.stored(rp).values, before.values);
        QCOMPARE(gNewID, 0);
    }

    // Update judges the date box as it stands: empty or blank means no date.
    void dateOnUpdate_data()
    {
        QTest::addColumn<bool>("add");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QVariant>("saved"); // null: no date; invalid: refused

        const QVariant none;
        const QVariant feb(QDate(2020, 2, 2));
        const QVariant refused(QDate(0, 0, 0));
        row("record without a date stays so", false, none, "", none);
        row("emptied box", false, feb, "", none);
        row("blanks only", false, feb, "   ", none);
        row("new record without a date", true, none, "", none);
        row("full date", false, none, " 1/5/2020 ", QVariant(QDate(2020, 1, 5)));
        row("short form not expanded", false, feb, "123199", refused);
        row("impossible day", true, none, "2/30/2024", refused);
        row("letters", false, feb, "soon", refused);
    }

    void dateOnUpdate()
    {
        QFETCH(bool, add);
        QFETCH(QVariant, stored);
        QFETCH(QString, typed);
        QFETCH(QVariant, saved);
        Editor e;
        const qint64 rp = addDocument(*e.db, {20, "twenty", 0, stored});
        QVERIFY(e.open(add, rp));
        e.box("txtID")->setText("21");
        e.box("txtDate")->setText(typed);
        // Enter in the date box saves with the text as it stands.
        e.box("txtDate")->setFocus();
        MessageBox::queueAnswer(QMessageBox::Ok);
        QTest::keyClick(e.box("txtDate"), Qt::Key_Return);
        QCoreApplication::processEvents();
        auto rows = e.db->query({"SELECT Date FROM Documents WHERE ID = 21", {}});
        if (saved.isValid() && !saved.toDate().isValid()) {
            QCOMPARE(MessageBox::shownTexts(), QStringList{"Not a valid date."});
            QCOMPARE(QApplication::focusWidget(), e.box("txtDate"));
            QVERIFY(e.w->isVisible());
            QVERIFY(rows->empty());
            return;
        }
        QVERIFY(MessageBox::shownTexts().isEmpty());
        QVERIFY(!e.w->isVisible());
        QCOMPARE(rows->size(), size_t(1));
        QCOMPARE(rows->front().values.value(0), saved);
    }

    // A note is written back as stored unless it was edited; an edited one
    // keeps the line ends it had.
    void noteLineEnds_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("keys"); // typed at the end; '|' is Ctrl+Enter, '<' Backspace
        QTest::addColumn<QString>("saved");

        row("CR LF untouched", "one\r\ntwo", "", "one\r\ntwo");
        row("mixed untouched", "a\r\nb\nc\rd\r\n", "", "a\r\nb\nc\rd\r\n");
        row("typed and taken back", "one\r\ntwo", "x<", "one\r\ntwo");
        row("CR LF edited", "one\r\ntwo", "|three", "one\r\ntwo\r\nthree");
        row("LF edited", "one\ntwo", "|three", "one\ntwo\nthree");
        row("CR edited", "one\rtwo", "|three", "one\rtwo\rthree");
    }

    void noteLineEnds()
    {
        QFETCH(QString, stored);
        QFETCH(QString, keys);
        Editor e;
        const qint64 rp = addDocument(*e.db, {3, "doc", 0, QDate(2020, 1, 1), "", stored});
        QVERIFY(e.open(false, rp));
        e.note()->setFocus();
        e.note()->moveCursor(QTextCursor::End);
        for (const QChar c : keys) {
            if (c == u'|')
                QTest::keyClick(e.note(), Qt::Key_Return, Qt::ControlModifier);
            else if (c == u'<')
                QTest::keyClick(e.note(), Qt::Key_Backspace);
            else
                QTest::keyClicks(e.note(), QString(c));
        }
        MessageBox::queueAnswer(QMessageBox::Ok);
        QTest::mouseClick(e.button("cmdUpdate"), Qt::LeftButton);
        QVERIFY(MessageBox::shownTexts().isEmpty());
        QTEST(e.stored(rp).value("Note").toString(), "saved");
    }

    void addWritesEveryField()
    {
        Editor e;
        addType(*e.db, "Bill");
        const qint16 lease = addType(*e.db, "Lease   ");
        addDocument(*e.db, {4, "four"});
        QVERIFY(e.open(true));
        QTest::keyClicks(e.box("txtDesc"), "Roof repair ");
        e.type()->setCurrentIndex(e.type()->findText("Lease"));
        Editor::typeInto(e.box("txtDate"), "2/29/2024");
        QTest::keyClicks(e.box("txtWho"), "Acme");
        e.note()->setPlainText("line one\nline two");
        QTest::mouseClick(e.button("cmdUpdate"), Qt::LeftButton);

        QVERIFY(!e.w->isVisible());
        QCOMPARE(e.w->result(), int(QDialog::Accepted));
        QCOMPARE(gNewID, 5);
        auto rows = e.db->query({"SELECT * FROM Documents WHERE ID = 5", {}});
        QCOMPARE(rows->size(), size_t(1));
        const Row &r = rows->front();
        QCOMPARE(r.value("Description").toString(), QStringLiteral("Roof repair "));
        QCOMPARE(r.value("DocumentType").toInt(), int(lease));
        QCOMPARE(r.value("Date").toDate(), QDate(2024, 2, 29));
        QCOMPARE(r.value("Who").toString(), QStringLiteral("Acme"));
        QCOMPARE(r.value("Note").toString(), QStringLiteral("line one\nline two"));
        QVERIFY(r.value("DateAdded").isNull());
        // The list shows the new row at once, and keeps its current row.
        QCOMPARE(e.list->rowCount(), 2);
        QCOMPARE(e.list->editMode(), EditMode::None);
    }

    void savedNumber_data()
    {
        QTest::addColumn<bool>("add");
        QTest::addColumn<QString>("id");
        QTest::addColumn<int>("newId");

        row("add", true, "12", 12);
        row("add with blanks", true, " 13 ", 13);
        row("add numbered 0", true, "0", 0);
        row("add negative", true, "-3", -3);
        row("change keeps own number", false, "20", 0);
        row("change to a free number", false, "21", 0);
    }

    void savedNumber()
    {
        QFETCH(bool, add);
        QFETCH(QString, id);
        QFETCH(int, newId);

        Editor e;
        addDocument(*e.db, {10, "ten"});
        const qint64 rp = addDocument(*e.db, {20, "twenty", 0, QDate(2020, 2, 2)});
        QVERIFY(e.open(add, rp));
        e.box("txtID")->setText(id);
        QTest::mouseClick(e.button("cmdUpdate"), Qt::LeftButton);
        QVERIFY(MessageBox::shownTexts().isEmpty());
        QVERIFY(!e.w->isVisible());
        QCOMPARE(gNewID, newId);
        auto rows =
            e.db->query({"SELECT COUNT(*) FROM Documents WHERE ID = ?", {id.trimmed().toInt()}});
        QCOMPARE(rows->front().values.value(0).toInt(), 1);
        QCOMPARE(e.count(), add ? 3 : 2);
        if (!add) {
            // Written in place, still the list's current row.
            QCOMPARE(e.list->value("RecordPtr").toLongLong(), rp);
            QCOMPARE(e.list->value("ID").toInt(), id.toInt());
        }
    }

    void enterInTheNoteSavesCtrlEnterBreaksTheLine()
    {
        Editor e;
        QVERIFY(e.open(true));
        e.note()->setFocus();
        QTest::keyClicks(e.note(), "one");
        QTest::keyClick(e.note(), Qt::Key_Return, Qt::ControlModifier);
        QTest::keyClicks(e.note(), "two");
        QTest::keyClick(e.note(), Qt::Key_Enter, Qt::ShiftModifier | Qt::KeypadModifier);
        QTest::keyClicks(e.note(), "three");
        QCOMPARE(e.note()->toPlainText(), QStringLiteral("one\ntwo\nthree"));
        QVERIFY(e.w->isVisible());
        QTest::keyClick(e.note(), Qt::Key_Return);
        QVERIFY(!e.w->isVisible());
        QCOMPARE(gNewID, 1);
        auto rows = e.db->query({"SELECT Note FROM Documents WHERE ID = 1", {}});
        QCOMPARE(rows->front().values.value(0).toString(), QStringLiteral("one\ntwo\nthree"));
    }

    void rowGoneBeforeUpdateKeepsTheEditorOpen()
    {
        Editor e;
        const qint64 rp = addDocument(*e.db, {20, "twenty", 0, QDate(2020, 2, 2)});
        QVERIFY(e.open(false, rp));
        QTest::keyClicks(e.box("txtWho"), "Someone");
        // Another copy of the program deletes the row meanwhile.
        auto other = openSqliteDatabase(e.db->path());
        QVERIFY(other);
        QVERIFY(other.value()->exec({"DELETE FROM Documents WHERE RecordPtr = ?", {rp}}));

        MessageBox::queueAnswer(QMessageBox::Ok);
        QTest::mouseClick(e.button("cmdUpdate"), Qt::LeftButton);
        QCOMPARE(MessageBox::shownTexts().size(), 1);
        QVERIFY(MessageBox::shownTexts().first().contains("deleted"));
        QVERIFY(e.w->isVisible());
        QCOMPARE(e.box("txtWho")->text(), QStringLiteral("Someone"));
        QCOMPARE(e.box("txtDesc")->text(), QStringLiteral("twenty"));
        QCOMPARE(gNewID, 0);

        MessageBox::queueAnswer(QMessageBox::Ok);
        QTest::keyClick(e.box("txtWho"), Qt::Key_Escape);
        QVERIFY(!e.w->isVisible());
        QCOMPARE(e.list->editMode(), EditMode::None);
    }

    void completionWhileTyping()
    {
        Editor e;
        addDocument(*e.db, {1, "Invoice", 0, QVariant(), "Smithers"});
        addDocument(*e.db, {2, "Invitation", 0, QVariant(), "Smith, Ann"});
        QVERIFY(e.open(true));
        QLineEdit *desc = e.box("txtDesc");

        QTest::keyClicks(desc, "in");
        QCOMPARE(desc->text(), QStringLiteral("in"));
        QTest::keyClick(desc, Qt::Key_V);
        QCOMPARE(desc->text(), QStringLiteral("Invitation"));
        QCOMPARE(desc->cursorPosition(), 3);
        QCOMPARE(desc->selectedText(), QStringLiteral("itation"));

        // Typing on replaces the offered tail and completes again.
        QTest::keyClick(desc, Qt::Key_O);
        QCOMPARE(desc->text(), QStringLiteral("Invoice"));
        QCOMPARE(desc->selectedText(), QStringLiteral("ice"));

        // Backspace removes the tail and completes nothing.
        QTest::keyClick(desc, Qt::Key_Backspace);
        QCOMPARE(desc->text(), QStringLiteral("Invo"));
        QVERIFY(!desc->hasSelectedText());
        QTest::keyClick(desc, Qt::Key_Backspace);
        QCOMPARE(desc->text(), QStringLiteral("Inv"));
        // The next ordinary key completes again.
        QTest::keyClick(desc, Qt::Key_I);
        QCOMPARE(desc->text(), QStringLiteral("Invitation"));
        QCOMPARE(desc->selectedText(), QStringLiteral("tation"));

        // "Who" completes from its own values.
        QTest::keyClicks(e.box("txtWho"), "SMI");
        QCOMPARE(e.box("txtWho")->text(), QStringLiteral("Smith, Ann"));
        QCOMPARE(e.box("txtWho")->selectedText(), QStringLiteral("th, Ann"));
        QCOMPARE(desc->text(), QStringLiteral("Invitation"));
    }

    void noCompletion_data()
    {
        QTest::addColumn<QString>("keys"); // '<' moves the caret one left
        QTest::addColumn<QString>("text");

        row("no candidate", "xyz", "xyz");
        row("caret not at the end", "nv<<I", "Inv");
        row("typed value equals a stored one", "Invitation", "Invitation");
    }

    void noCompletion()
    {
        QFETCH(QString, keys);
        QFETCH(QString, text);
        Editor e;
        addDocument(*e.db, {1, "Invoice"});
        addDocument(*e.db, {2, "Invitation"});
        QVERIFY(e.open(true));
        QLineEdit *desc = e.box("txtDesc");
        for (const QChar c : keys) {
            if (c == u'<')
                QTest::keyClick(desc, Qt::Key_Left);
            else
                QTest::keyClicks(desc, QString(c));
        }
        QCOMPARE(desc->text(), text);
        QVERIFY(!desc->hasSelectedText());
    }

    // The server goes away while the editor is open (here: it stops taking
    // connections and ends the one in use): Update says so and saves nothing,
    // the editor keeps what was typed, and Update works once it is back.
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
        Editor e(std::move(opened->db));
        const qint64 rp = addDocument(*e.db, {1, "before"});
        QVERIFY(e.open(false, rp));
        Editor::typeInto(e.box("txtDesc"), "typed meanwhile");
        const auto reachable = [&](bool on) {
            return server.admin({QStringLiteral("ALTER DATABASE %1 ALLOW_CONNECTIONS %2")
                                     .arg(name, on ? "true" : "false"),
                                 {}});
        };
        QVERIFY(reachable(false));
        QVERIFY(server.admin({"SELECT pg_terminate_backend(pid, 5000) FROM pg_stat_activity "
                              "WHERE datname = ?",
                              {name}}));
        MessageBox::queueAnswer(QMessageBox::Ok);
        QTest::mouseClick(e.button("cmdUpdate"), Qt::LeftButton);
        QVERIFY(e.w->isVisible());
        QCOMPARE(MessageBox::shownTexts().size(), 1);
        QVERIFY2(MessageBox::shownTexts().constFirst().contains("connection to the database "
                                                                "server was lost"),
                 qPrintable(MessageBox::shownTexts().constFirst()));
        QCOMPARE(e.box("txtDesc")->text(), QString("typed meanwhile"));

        QVERIFY(reachable(true));
        QTest::mouseClick(e.button("cmdUpdate"), Qt::LeftButton);
        QCOMPARE(e.w->result(), int(QDialog::Accepted));
        QCOMPARE(e.stored(rp).value("Description").toString(), QString("typed meanwhile"));
    }

    void descriptionSavedAMomentAgoIsOffered()
    {
        Editor e;
        addDocument(*e.db, {1, "Quarterly tax"});
        QVERIFY(e.open(true));
        QTest::keyClicks(e.box("txtDesc"), "Quarterly report");
        QTest::keyClick(e.box("txtDesc"), Qt::Key_Return);
        QVERIFY(!e.w->isVisible());
        QCOMPARE(gNewID, 2);

        QVERIFY(e.open(true));
        QTest::keyClicks(e.box("txtDesc"), "qua");
        QCOMPARE(e.box("txtDesc")->text(), QStringLiteral("Quarterly report"));
    }
};

QTEST_MAIN(tst_frmChange)
#include "tst_frmchange.moc"
