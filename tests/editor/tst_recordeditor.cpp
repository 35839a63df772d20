// The record editor and the main window's record commands (Add, Change, Delete, the list
// order and "Set as default") on a real database, driven through their widgets. The grid's
// model is checked throughout by Qt's model tester. A message box that only informs is
// closed by the modal watch; the tests read what it said.
#include "editor/EditorState.h"
#include "editor/frmChange.h"
#include "store/Schema.h"
#include "support/MainWindow.h"

using namespace qs;
using namespace qs::test;

class tst_RecordEditor : public QObject
{
    Q_OBJECT

    std::unique_ptr<MainWindowFixture> m_f;
    std::unique_ptr<QAbstractItemModelTester> m_modelTester;
    QList<qint64> m_keys;

    // Puts the focus into `box` and types over its whole text.
    static void typeInto(QLineEdit *box, const QString &text)
    {
        box->setFocus();
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Delete);
        QTest::keyClicks(box, text);
    }

    // The editor as the main window loads it on the record `key`, outside any modal loop, with
    // the list that it edits (which outlives it).
    static std::pair<std::unique_ptr<Recordset>, std::unique_ptr<frmChange>>
    loadedEditor(Database &db, qint64 key)
    {
        gAddMode = false;
        auto list = db.openDynaset(std::make_shared<SqlListSource>(schema::Documents, QString(),
                                                                   QVariantList(), "ID DESC"));
        if (!list->findFirst("RecordPtr", key))
            return {};
        auto e = std::make_unique<frmChange>(db, *list, nullptr, nullptr);
        return {std::move(list), e->Form_Load() ? std::move(e) : nullptr};
    }

    bool open(const QList<Doc> &docs, const QStringList &types = {})
    {
        return m_f->open([&](Database &db) {
            for (const QString &t : types)
                addType(db, t);
            for (const Doc &d : docs)
                m_keys << addDocument(db, d);
        }) && (m_modelTester = std::make_unique<QAbstractItemModelTester>(grid()->model()));
    }
    // Opens the editor on the record `key` (Change), or on a new one when `key` is 0 (Add),
    // and runs `action` in it.
    void edit(qint64 key, std::function<void(frmChange &)> action)
    {
        if (key != 0)
            QVERIFY(list()->findFirst("RecordPtr", key));
        // Whatever the action leaves open is closed afterwards without saving.
        answerModal<frmChange>([action = std::move(action)](frmChange &e) {
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
    template <typename T = QLineEdit> static T *child(QWidget *w, const char *name)
    {
        return w->findChild<T *>(QLatin1String(name));
    }
    static void click(QWidget *w, const char *button)
    {
        QTest::mouseClick(child<QAbstractButton>(w, button), Qt::LeftButton);
    }
    // Leaves the editor by Esc, by "Exit, no update" or by closing its frame.
    static void leave(frmChange &e, const QString &how)
    {
        how == "esc"     ? QTest::keyClick(e.focusWidget(), Qt::Key_Escape)
        : how == "click" ? click(&e, "cmdExit")
                         : void(e.close());
    }
    // The box's text with its selection after a bar.
    static QString shown(QLineEdit *box) { return box->text() + u'|' + box->selectedText(); }
    frmMain &w() { return m_f->w(); }
    Recordset *list() { return w().documents()->recordset(); }
    QVariant current(const char *field) { return list()->value(QLatin1String(field)); }
    QString detail(const char *label) { return child<QLabel>(&w(), label)->text(); }
    DataGrid *grid() { return child<DataGrid>(&w(), "grdInfo"); }
    // The first row that `sql` reads, with `arg` bound when given.
    QVariantList values(const QString &sql, const QVariantList &args = {})
    {
        auto rows = w().database()->query({sql, args});
        return rows && !rows->empty() ? rows->front().values : QVariantList();
    }
    // The second record as stored.
    auto second() { return values("SELECT * FROM Documents WHERE RecordPtr = ?", {m_keys[1]}); }
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
            auto *type = child<QComboBox>(&e, "cmbType");
            QCOMPARE((QVariantList{e.windowTitle(), shown(child(&e, "txtID")),
                                   shown(child(&e, "txtDate")), type->currentText(),
                                   QApplication::focusWidget()->objectName(), gNewID,
                                   int(list()->editMode()), e.changesMade()}),
                     (QVariantList{"Document Information", "11|", "12/4/2026|", "Bill", "txtDesc",
                                   0, int(EditMode::Add), false}));
            for (const char *name : {"cmbType", "txtDate", "txtWho", "txtNote", "cmdUpdate",
                                     "cmdExit", "txtID", "txtDesc"}) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                QCOMPARE(QApplication::focusWidget()->objectName(), name);
            }
            // Each key's outcome, then where the caret ends.
            QLineEdit *desc = child(&e, "txtDesc");
            QStringList seen;
            for (const Qt::Key key : {Qt::Key_I, Qt::Key_N, Qt::Key_V, Qt::Key_O, Qt::Key_Backspace,
                                      Qt::Key_Backspace, Qt::Key_I}) {
                QTest::keyClick(desc, key);
                seen << shown(desc);
            }
            QCOMPARE(seen << QString::number(desc->cursorPosition()),
                     (QStringList{"i|", "in|", "Invitation |itation ", "Invoice|ice", "Invo|",
                                  "Inv|", "Invitation |tation ", "4"}));
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
            QCOMPARE((QStringList{leaveDate("13/5/99 "), leaveDate(""), leaveDate("022924"),
                                  MessageBox::shownTexts().join(u'|')}),
                     (QStringList{"13/5/99 |13/5/99>txtDate", "|>txtWho", "2/29/2024|>txtWho",
                                  "Not a valid date."}));

            // The name completes only with the caret at the end.
            QLineEdit *who = child(&e, "txtWho");
            QTest::keyClicks(who, "mi");
            QTest::keyClick(who, Qt::Key_Home);
            QTest::keyClicks(who, "S");
            QCOMPARE(shown(who), QStringLiteral("Smi|"));
            QTest::keyClick(who, Qt::Key_End);
            QTest::keyClicks(who, "t");
            QCOMPARE(shown(who), QStringLiteral("Smith, Ann|h, Ann"));

            // The line breaks show in the note saved: neither key saved before "three".
            auto *note = child<QPlainTextEdit>(&e, "txtNote");
            note->setFocus();
            QTest::keyClicks(note, "one");
            QTest::keyClick(note, Qt::Key_Return, Qt::ControlModifier);
            QTest::keyClicks(note, "two");
            QTest::keyClick(note, Qt::Key_Enter, Qt::ShiftModifier | Qt::KeypadModifier);
            QTest::keyClicks(note, "three");
            QTest::keyClick(note, Qt::Key_Return);
            QCOMPARE(e.result(), int(QDialog::Accepted));
        });
        // Saved, and the list shows the new record as its current one.
        QCOMPARE(
            values("SELECT Description, DocumentType, Date, Who, Note, DateAdded FROM "
                   "Documents WHERE ID = 11")
                << gNewID << list()->rowCount() << detail("lblID") + detail("lblDesc")
                << int(list()->editMode()),
            (QVariantList{"Invitation ", 1, QDate(2024, 2, 29), "Smith, Ann", "one\ntwo\nthree",
                          QVariant(), 11, 4, " 11 Invitation ", int(EditMode::None)}));
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
        columns<bool, bool, int, QString, QString, QString, QString, QString>(
            "add", "types", "type", "choice", "note", "keys", "shown", "saved");
        // With types: Bill, Lease, Rent and "Rent  " (keys 1 to 4). In keys, \r is Ctrl+Enter.
        // Saved: the type key, a bar, the note.
        row("own type, untouched", false, true, 2, "", "a\r\nb\nc\rd", "", "Lease",
            "2|a\r\nb\nc\rd");
        row("same name twice, taken back", false, true, 4, "", "a\r\nb", "x\b", "Rent", "4|a\r\nb");
        row("key with no type, CR LF", false, true, 99, "", "a\r\nb", "\rc", "", "99|a\r\nb\r\nc");
        row("no types defined, CR note", false, false, 7, "", "a\rb", "\rc", "", "7|a\rb\rc");
        row("a choice is written", false, true, 99, "Bill", "", "", "", "1|");
        row("new record, first type", true, true, 0, "", "", "\rc", "Bill", "1|\nc");
        row("new record, no types defined", true, false, 0, "", "", "", "", "0|");
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
        const QVariantList saved = values("SELECT DocumentType, Note FROM Documents WHERE ID = 6");
        QTEST(MessageBox::shownTexts().join(u'|') + QString::number(saved.value(0).toInt()) + u'|' +
                  saved.value(1).toString(),
              "saved");
    }

    // A record shown and left as it was asks nothing, in any locale, though its description
    // and name begin longer stored ones. Any change asks, even one taken back; a bad date
    // typed on the way out is not checked.
    void leaving_data()
    {
        columns<QString, QString, QVariant, QString, QString, QString, QString>(
            "description", "who", "date", "shown", "box", "typed", "how");
        // shown: the date as the editor shows it; `typed` goes over the box named.
        const QVariant early(QDate(1905, 1, 2));
        row("Esc, no date", "Inv", "Ann", QVariant(), "", "", "", "esc");
        row("click", "Letter", "Smi", QVariant(QDate(2025, 12, 31)), "12/31/2025", "", "", "click");
        row("closed after a change", "Inv", "Smi", early, "1/2/1905", "txtWho", "Smi\b", "close");
        row("bad date, click", "Inv", "Smi", early, "1/2/1905", "txtDate", "13/5/99", "click");
        row("bad date, Esc", "Inv", "Smi", early, "1/2/1905", "txtDate", "13/5/99", "esc");
    }
    void leaving()
    {
        const auto [description, who, date, shown, box, typed, how] =
            fetch<QString, QString, QVariant, QString, QString, QString, QString>(
                "description", "who", "date", "shown", "box", "typed", "how");
        QLocale::setDefault(QLocale(QStringLiteral("de_DE")));
        QVERIFY(open({{1, "Invoice for the roof", 0, QDate(2020, 1, 1), "Smithers"},
                      {7, description, 0, date, who},
                      {9, "Invitation", 0, QDate(2021, 1, 1), "Smith, Ann"}}));
        const QVariantList before = second();
        edit(m_keys[1], [&](frmChange &e) {
            QLocale::setDefault(QLocale::c());
            QLineEdit *dateBox = child(&e, "txtDate");
            QCOMPARE(child(&e, "txtDesc")->text() + '|' + child(&e, "txtWho")->text() + '|' +
                         dateBox->text(),
                     description + '|' + who + '|' + shown);
            // Passing through the date box writes the same text again: no change.
            dateBox->setFocus();
            QTest::keyClick(dateBox, Qt::Key_Tab);
            QVERIFY(!e.changesMade());
            if (!box.isEmpty()) {
                typeInto(child(&e, qPrintable(box)), typed);
                answerMessage(QMessageBox::Cancel);
                leave(e, how);
                QVERIFY(e.isVisible() && list()->editMode() == EditMode::Edit);
                answerMessage(QMessageBox::Ok);
            }
            leave(e, how);
            QVERIFY(!e.isVisible());
        });
        QCOMPARE(MessageBox::shownTexts(),
                 QStringList(box.isEmpty() ? 0 : 2, "Changes made, still exit?"));
        QCOMPARE(second() << int(list()->editMode()), before + QVariantList{int(EditMode::None)});
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
        const auto [add, id, date, message, focus, newId] =
            fetch<bool, QString, QString, QString, QString, int>("add", "id", "date", "message",
                                                                 "focus", "newId");
        QVERIFY(open({{10, "ten"}, {20, "twenty", 0, QDate(2020, 2, 2)}}));
        const QVariantList before = second();
        edit(add ? 0 : m_keys[1], [&](frmChange &e) {
            child(&e, "txtID")->setText(id);
            child(&e, "txtDate")->setText(date);
            QTest::keyClicks(child(&e, "txtWho"), "typed");
            // Enter in the date box saves with the text as it stands.
            child(&e, "txtDate")->setFocus();
            QTest::keyClick(child(&e, "txtDate"), Qt::Key_Return);
            QCoreApplication::processEvents();
            if (!message.isEmpty())
                QCOMPARE((QVariantList{e.focusWidget()->objectName(), shown(child(&e, "txtID")),
                                       shown(child(&e, "txtWho")), int(list()->editMode())}),
                         (QVariantList{focus, id + '|', "typed|",
                                       int(add ? EditMode::Add : EditMode::Edit)}));
        });
        // Written in place or added: either way the list's current row.
        const int saved = message.isEmpty() ? id.trimmed().toInt() : 20;
        QCOMPARE((QVariantList{MessageBox::shownTexts().value(0), gNewID, count(), current("ID")}),
                 (QVariantList{message, newId, add && message.isEmpty() ? 3 : 2, saved}));
        if (!message.isEmpty())
            QCOMPARE(second(), before);
        else
            QTEST(values("SELECT Date FROM Documents WHERE ID = ?", {saved}).value(0), "savedDate");
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
        auto [rows, e] = loadedEditor(db, addDocument(db, {1, "before"}));
        QVERIFY(e);
        child(e.get(), "txtDesc")->setText("typed meanwhile");
        const auto reachable = [&](const char *on) {
            return server.admin({"ALTER DATABASE " + name + " ALLOW_CONNECTIONS " + on, {}});
        };
        QVERIFY(reachable("false"));
        QVERIFY(server.admin({"SELECT pg_terminate_backend(pid, 5000) FROM pg_stat_activity "
                              "WHERE datname = ?",
                              {name}}));
        e->cmdUpdate_Click();
        const QString lost = "connection to the database server was lost";
        QCOMPARE((QVariantList{e->result(), MessageBox::shownTexts().filter(lost).size(),
                               MessageBox::shownTexts().size(), child(e.get(), "txtDesc")->text()}),
                 (QVariantList{int(QDialog::Rejected), 1, 1, "typed meanwhile"}));
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
        QCOMPARE(values("SELECT Description FROM Documents WHERE ID = 4")
                     << list()->rowCount() << detail("lblID") + detail("lblDesc"),
                 (QVariantList{"gamma", 2, " 2 alpha two"}));

        edit(0, [](frmChange &e) { QTest::keyClick(child(&e, "txtDesc"), Qt::Key_Escape); });
        QCOMPARE((QVariantList{gNewID, MessageBox::shownTexts().size(), current("RecordPtr"),
                               w().focusWidget() == grid()}),
                 (QVariantList{0, 0, m_keys[1], true}));
    }

    // Another copy of the program on the same file: while its editor holds a row, Change and
    // Delete are refused; once it leaves, Change (Enter on the grid) works and the list shows
    // the change. A row it deleted is said to be gone. (A row gone while the editor is open
    // is a refused write, as a lost connection is.)
    void anotherCopy()
    {
        QVERIFY(open({{1, "doc 1"}, {2, "doc 2"}, {3, "doc 3"}, {4, "doc 4"}}));
        auto other = openSqliteDatabase(m_f->folder.file(schema::DatabaseFile));
        QVERIFY(other);
        auto [otherList, holder] = loadedEditor(*other.value(), m_keys[1]);
        QVERIFY(holder);
        QVERIFY(list()->findFirst("RecordPtr", m_keys[1]));
        changeRefused();
        answerMessage(); // the question; the refusals close by themselves
        w().cmdDelete_Click();
        const QString busy =
            "Someone else is editing this record.  Please wait and try again, later.";
        QCOMPARE(MessageBox::shownTexts(), (QStringList{busy, "Delete \"doc 2\" (2)",
                                                        "The record is locked by another user."}));
        QCOMPARE((QVariantList{list()->rowCount(), current("RecordPtr")}),
                 (QVariantList{4, m_keys[1]}));

        holder.reset(); // taken down without being left: its edit and lock end all the same
        const int at = list()->absolutePosition();
        answerModal<frmChange>([](frmChange &e) {
            QCOMPARE(child(&e, "txtDesc")->text(), QStringLiteral("doc 2"));
            typeInto(child(&e, "txtDesc"), "changed");
            QTest::keyClick(child(&e, "txtDesc"), Qt::Key_Return);
        });
        QTest::keyClick(grid(), Qt::Key_Return);
        QCOMPARE((QVariantList{list()->absolutePosition(), list()->valueAt(at, "Description"),
                               detail("lblDesc")}),
                 (QVariantList{at, "changed", " changed"}));

        QVERIFY(list()->findFirst("RecordPtr", m_keys[0]));
        QVERIFY(other.value()->exec({"DELETE FROM Documents WHERE RecordPtr = ?", {m_keys[0]}}));
        changeRefused();
        QCOMPARE(MessageBox::shownTexts().mid(3),
                 QStringList{"The record has been deleted by another user."});

        // Gone while our editor is open: the save is refused and the editor keeps what was typed.
        bool kept = false;
        edit(m_keys[2], [&](frmChange &e) {
            typeInto(child(&e, "txtWho"), "typed");
            QVERIFY(
                other.value()->exec({"DELETE FROM Documents WHERE RecordPtr = ?", {m_keys[2]}}));
            QTest::keyClick(child(&e, "txtWho"), Qt::Key_Return);
            kept = e.isVisible() && child(&e, "txtWho")->text() == "typed";
        });
        QVERIFY(kept);
        QCOMPARE(MessageBox::shownTexts().value(4), "The record has been deleted by another user.");
    }

    // The question names the record; cancelled, the row stays. Deleted, the next row becomes
    // the current one, or the first when it was the last.
    void deleteRecord_data()
    {
        columns<int, int, QString, QString, bool, QString>(
            "count", "row", "description", "question", "ok", "current"); // row: highest ID first
        row("cancelled, trailing blanks", 3, 1, "Lease   ", "Delete \"Lease\" (2)", false, " 2");
        row("middle row: next one", 5, 2, " a \"b\"", "Delete \" a \"b\"\" (3)", true, " 2");
        row("last row: list starts over", 5, 4, "x", "Delete \"x\" (1)", true, " 5");
        row("only row", 1, 0, "x", "Delete \"x\" (1)", true, ""); // no record shown
    }
    void deleteRecord()
    {
        const auto [count, at, description, ok] =
            fetch<int, int, QString, bool>("count", "row", "description", "ok");
        QList<Doc> docs;
        for (int id = 1; id <= count; ++id)
            docs.append({id, id == count - at ? description : "doc " + QString::number(id)});
        QVERIFY(open(docs));
        list()->setAbsolutePosition(at);
        answerMessage(ok ? QMessageBox::Ok : QMessageBox::Cancel);
        w().cmdDelete_Click();
        QCOMPARE((QList<int>{list()->rowCount(), this->count()}), QList<int>(2, count - ok));
        QTEST(child<QWidget>(&w(), "panView")->isVisible() ? detail("lblID") : QString(),
              "current");
        if (list()->rowCount() != 0) {
            QCOMPARE(w().focusWidget(), grid());
        } else { // the empty list: Change and Delete do nothing and say nothing
            changeRefused();
            w().cmdDelete_Click();
        }
        QTEST(MessageBox::shownTexts().join(u'|'), "question");
    }

    // "Set as default" keeps the order chosen for the next start, and says so for a moment.
    void setAsDefault()
    {
        QVERIFY(open({{1, "charlie"}, {2, "alpha"}, {3, "bravo"}}));
        click(&w(), "Order_1");
        QCOMPARE(list()->valueAt(0, "Description").toString(), QStringLiteral("alpha"));
        QCOMPARE(list()->valueAt(2, "Description").toString(), QStringLiteral("charlie"));
        click(&w(), "cmdSetAsDefault");
        QVERIFY(child<QLabel>(&w(), "lblSetAsDefaultOk")->isVisible());
        w().tmrSetAsDefault_Timer(); // what the timer does when its second has passed
        QVERIFY(!child<QLabel>(&w(), "lblSetAsDefaultOk")->isVisible());
        QCOMPARE(QSettings("Quillstack", "Quillstack").value("Default/Order").toString(),
                 "DESCRIPTION");
    }
};

QTEST_MAIN(tst_RecordEditor)
#include "tst_recordeditor.moc"
