// The main window's record commands with the real editor: Add, Change,
// Delete, the list order and "Set as default".
#include "support/TestSupport.h"

#include "editor/EditorState.h"
#include "editor/frmChange.h"
#include "main/frmMain.h"
#include "store/DataControl.h"
#include "store/DataGrid.h"
#include "store/MessageBox.h"
#include "store/Recordset.h"
#include "store/Schema.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <functional>

using namespace qs;
using namespace qs::test;

namespace {

const QString kLocked =
    QStringLiteral("Someone else is editing this record.  Please wait and try again, later.");

// Long enough for a slow machine: these waits end when the other process
// answers, never on their own in a passing run.
constexpr int kProcessWaitMs = 120000;

// Seeds the database file of the current folder; the window opens it later.
QList<qint64> seed(const QList<Doc> &docs)
{
    auto db = makeDatabase(schema::DatabaseFile);
    QList<qint64> keys;
    for (const Doc &d : docs)
        keys << addDocument(*db, d);
    return keys;
}

QList<Doc> numbered(int from, int to, int step)
{
    QList<Doc> docs;
    for (int id = from; id <= to; id += step)
        docs.append({id, QStringLiteral("doc %1").arg(id), 0, QDate(2024, 1, 1), "Ann", ""});
    return docs;
}

Recordset *listOf(frmMain &w)
{
    return w.documents()->recordset();
}

QVariant current(frmMain &w, const char *field)
{
    return listOf(w)->value(QLatin1String(field));
}

QString detail(frmMain &w, const char *label)
{
    return w.findChild<QLabel *>(QLatin1String(label))->text();
}

bool select(frmMain &w, qint64 recordPtr)
{
    return listOf(w)->findFirst("RecordPtr", recordPtr);
}

// Drives the editor once a command has opened it modally: the action runs
// as soon as the editor shows, and whatever it leaves open is closed, so a
// failing check never blocks the test. `opened` tells whether it showed.
class EditorDriver : public QObject
{
public:
    explicit EditorDriver(std::function<void(frmChange *)> action = {})
        : m_action(std::move(action))
    {
        qApp->installEventFilter(this);
    }
    ~EditorDriver() override { qApp->removeEventFilter(this); }

    bool opened = false;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *editor = qobject_cast<frmChange *>(watched);
        if (editor && event->type() == QEvent::Show) {
            opened = true;
            QPointer<frmChange> e(editor);
            QTimer::singleShot(0, this, [this, e] {
                if (e && isActive(e) && m_action)
                    m_action(e);
                if (e && e->isVisible())
                    e->done(QDialog::Rejected);
            });
        }
        return false;
    }

private:
    // The dialog's own window counts as active as soon as its owner is, so
    // wait for the application to hand it the keyboard.
    static bool isActive(QWidget *editor)
    {
        return QTest::qWaitFor([editor] { return QApplication::activeWindow() == editor; },
                               kProcessWaitMs);
    }

    std::function<void(frmChange *)> m_action;
};

// Presses a button's Alt shortcut and waits until its click has run (a
// mnemonic animates the click, which then comes from the event loop).
void pressMnemonic(QWidget *window, QPushButton *button, Qt::Key key)
{
    QEventLoop loop;
    QObject::connect(button, &QPushButton::clicked, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    QTest::keyClick(window, key, Qt::AltModifier);
    loop.exec();
}

template <typename T = QLineEdit> T *child(QWidget *w, const char *name)
{
    return w->findChild<T *>(QLatin1String(name));
}

// The window over the folder's database, shown and active.
struct Window
{
    Window()
    {
        w.setToday([] { return QDate(2026, 12, 4); });
        ok = w.Form_Initialize() && (w.show(), QTest::qWaitForWindowActive(&w));
    }
    frmMain w;
    bool ok = false;
};

} // namespace

class tst_RecordCommands : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        MessageBox::clearAnswers();
        MessageBox::clearShownTexts();
    }

    // ------------------------------------------------------------ Add

    void addIntoTheMiddleOfTheList()
    {
        TestFolder folder;
        seed(numbered(10, 400, 10));
        Window win;
        QVERIFY(win.ok);
        frmMain &w = win.w;
        EditorDriver driver([](frmChange *e) {
            child(e, "txtID")->setText("205");
            QTest::keyClicks(child(e, "txtDesc"), "Middle");
            QTest::mouseClick(child<QPushButton>(e, "cmdUpdate"), Qt::LeftButton);
        });
        w.cmdAdd_Click();

        QCOMPARE(gNewID, 205);
        QCOMPARE(current(w, "ID").toInt(), 205);
        // 400 down to 210 come first: twenty rows above the new one.
        const int row = listOf(w)->absolutePosition();
        QCOMPARE(row, 20);
        QCOMPARE(listOf(w)->rowCount(), 41);
        auto *grid = child<DataGrid>(&w, "grdInfo");
        QCOMPARE(grid->rowAt(0), row - 5);
        QCOMPARE(grid->currentIndex().row(), row);
        QCOMPARE(detail(w, "lblID"), QStringLiteral(" 205"));
        QCOMPARE(detail(w, "lblDesc"), QStringLiteral(" Middle"));
        QCOMPARE(w.focusWidget(), grid);
    }

    void addWithTheKeyboardAlone()
    {
        TestFolder folder;
        seed(numbered(1, 3, 1));
        Window win;
        QVERIFY(win.ok);
        frmMain &w = win.w;
        EditorDriver driver([](frmChange *) {
            const auto type = [](const QString &text) {
                QTest::keyClicks(QApplication::focusWidget(), text);
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            };
            type("Keyboard entry"); // description
            type(QString());        // type list
            type("0704");           // date
            type("Typist");         // who
            // Enter saves from the note too.
            QTest::keyClicks(QApplication::focusWidget(), "A note");
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        });
        pressMnemonic(&w, child<QPushButton>(&w, "cmdAdd"), Qt::Key_A);

        QCOMPARE(gNewID, 4);
        QCOMPARE(current(w, "Description").toString(), QStringLiteral("Keyboard entry"));
        QCOMPARE(current(w, "Date").toDate(), QDate(2026, 7, 4));
        QCOMPARE(current(w, "Who").toString(), QStringLiteral("Typist"));
        QCOMPARE(current(w, "Note").toString(), QStringLiteral("A note"));
    }

    void addOutsideTheFilter()
    {
        TestFolder folder;
        seed({{1, "alpha one"}, {2, "alpha two"}, {3, "beta"}});
        Window win;
        QVERIFY(win.ok);
        frmMain &w = win.w;
        child<QCheckBox>(&w, "chkFilterOn")->click();
        QTest::keyClicks(child(&w, "txtFilterDesc"), "alpha");
        QCOMPARE(listOf(w)->rowCount(), 2);

        EditorDriver driver([](frmChange *e) {
            QTest::keyClicks(child(e, "txtDesc"), "gamma");
            QTest::mouseClick(child<QPushButton>(e, "cmdUpdate"), Qt::LeftButton);
        });
        w.cmdAdd_Click();

        QCOMPARE(gNewID, 4);
        QCOMPARE(listOf(w)->rowCount(), 2);
        QVERIFY(current(w, "Description").toString().startsWith("alpha"));
        QCOMPARE(detail(w, "lblDesc"), " " + current(w, "Description").toString());
        auto rows = w.database()->query({"SELECT Description FROM Documents WHERE ID = 4", {}});
        QCOMPARE(rows->front().values.value(0).toString(), QStringLiteral("gamma"));
    }

    void addAbandoned()
    {
        TestFolder folder;
        const auto keys = seed(numbered(1, 5, 1));
        Window win;
        QVERIFY(win.ok);
        frmMain &w = win.w;
        QVERIFY(select(w, keys[2]));
        EditorDriver driver(
            [](frmChange *e) { QTest::keyClick(child(e, "txtDesc"), Qt::Key_Escape); });
        w.cmdAdd_Click();

        QCOMPARE(gNewID, 0);
        QVERIFY(MessageBox::shownTexts().isEmpty());
        QCOMPARE(listOf(w)->rowCount(), 5);
        QCOMPARE(current(w, "RecordPtr").toLongLong(), keys[2]);
        QCOMPARE(detail(w, "lblID"), QStringLiteral(" 3"));
        QCOMPARE(w.focusWidget(), child<DataGrid>(&w, "grdInfo"));
    }

    // ------------------------------------------------------------ Change

    void changeWritesThroughTheList()
    {
        TestFolder folder;
        const auto keys = seed(numbered(1, 5, 1));
        Window win;
        QVERIFY(win.ok);
        frmMain &w = win.w;
        QVERIFY(select(w, keys[1]));
        const int row = listOf(w)->absolutePosition();
        EditorDriver driver([](frmChange *e) {
            QCOMPARE(child(e, "txtDesc")->text(), QStringLiteral("doc 2"));
            child(e, "txtDesc")->setText("changed");
            QTest::keyClick(child(e, "txtDesc"), Qt::Key_Return);
        });
        // Enter on the grid is the Change command.
        QTest::keyClick(child<DataGrid>(&w, "grdInfo"), Qt::Key_Return);

        QCOMPARE(gNewID, 0);
        QCOMPARE(listOf(w)->absolutePosition(), row);
        QCOMPARE(listOf(w)->valueAt(row, "Description").toString(), QStringLiteral("changed"));
        QCOMPARE(detail(w, "lblDesc"), QStringLiteral(" changed"));
    }

    void changeOnAnEmptyListDoesNothing()
    {
        TestFolder folder;
        seed({});
        Window win;
        QVERIFY(win.ok);
        EditorDriver driver;
        win.w.cmdChange_Click();
        win.w.cmdDelete_Click();
        QVERIFY(!driver.opened);
        QVERIFY(MessageBox::shownTexts().isEmpty());
    }

    void changeWhileAnotherCopyEdits()
    {
        TestFolder folder;
        const auto keys = seed(numbered(1, 3, 1));
        Window win;
        QVERIFY(win.ok);
        frmMain &w = win.w;
        QVERIFY(select(w, keys[1]));

        const auto tryChange = [&](bool expectEditor) {
            MessageBox::clearShownTexts();
            MessageBox::clearAnswers();
            if (!expectEditor)
                MessageBox::queueAnswer(QMessageBox::Ok);
            EditorDriver driver(
                [](frmChange *e) { QTest::keyClick(child(e, "txtDesc"), Qt::Key_Escape); });
            w.cmdChange_Click();
            QCOMPARE(driver.opened, expectEditor);
            QCOMPARE(MessageBox::shownTexts(), expectEditor ? QStringList() : QStringList{kLocked});
        };
        const auto startHolder = [&](QProcess &holder) {
            holder.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            holder.start(QStringLiteral(QSK_EDITOR_HOLDER),
                         {folder.file(schema::DatabaseFile), QString::number(keys[1])});
            QVERIFY(holder.waitForStarted(kProcessWaitMs));
            QVERIFY(holder.waitForReadyRead(kProcessWaitMs));
            QCOMPARE(holder.readLine().trimmed(), QByteArray("OPEN"));
        };

        // The other copy closes its editor.
        {
            QProcess holder;
            startHolder(holder);
            tryChange(false);
            QCOMPARE(current(w, "RecordPtr").toLongLong(), keys[1]);
            holder.write("exit\n");
            QVERIFY(holder.waitForReadyRead(kProcessWaitMs));
            QCOMPARE(holder.readLine().trimmed(), QByteArray("CLOSED"));
            tryChange(true);
            holder.closeWriteChannel();
            QVERIFY(holder.waitForFinished(kProcessWaitMs));
        }
        // The other copy dies with the editor open.
        {
            QProcess holder;
            startHolder(holder);
            tryChange(false);
            holder.kill();
            QVERIFY(holder.waitForFinished(kProcessWaitMs));
            tryChange(true);
        }
        // Delete refuses a row that another copy is editing, and says so.
        {
            QProcess holder;
            startHolder(holder);
            MessageBox::clearShownTexts();
            MessageBox::queueAnswer(QMessageBox::Ok);
            MessageBox::queueAnswer(QMessageBox::Ok);
            w.cmdDelete_Click();
            QCOMPARE(MessageBox::shownTexts().size(), 2);
            QCOMPARE(listOf(w)->rowCount(), 3);
            QCOMPARE(current(w, "RecordPtr").toLongLong(), keys[1]);
            holder.kill();
            QVERIFY(holder.waitForFinished(kProcessWaitMs));
        }
    }

    // ------------------------------------------------------------ Delete

    void deleteQuestion_data()
    {
        QTest::addColumn<QString>("description");
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("question");

        QTest::newRow("trailing blanks") << "Lease   " << 42 << "Delete \"Lease\" (42)";
        QTest::newRow("negative number") << "x" << -7 << "Delete \"x\" (-7)";
        QTest::newRow("empty description") << "" << 0 << "Delete \"\" (0)";
        QTest::newRow("leading blank kept") << " a \"b\"" << 5 << "Delete \" a \"b\"\" (5)";
    }

    void deleteQuestion()
    {
        QFETCH(QString, description);
        QFETCH(int, id);
        QFETCH(QString, question);
        TestFolder folder;
        seed({{id, description}});
        Window win;
        QVERIFY(win.ok);
        MessageBox::queueAnswer(QMessageBox::Cancel);
        win.w.cmdDelete_Click();
        QCOMPARE(MessageBox::shownTexts(), QStringList{question});
        QCOMPARE(listOf(win.w)->rowCount(), 1);
        QCOMPARE(win.w.focusWidget(), child<DataGrid>(&win.w, "grdInfo"));
    }

    void deleteMovesOn_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("deletedRow"); // list order: highest ID first
        QTest::addColumn<int>("currentId");  // 0: the list is empty

        QTest::newRow("middle row: next one") << 5 << 2 << 2;
        QTest::newRow("first row") << 5 << 0 << 4;
        QTest::newRow("last row: list starts over") << 5 << 4 << 5;
        QTest::newRow("only row") << 1 << 0 << 0;
    }

    void deleteMovesOn()
    {
        QFETCH(int, count);
        QFETCH(int, deletedRow);
        QFETCH(int, currentId);
        TestFolder folder;
        seed(numbered(1, count, 1));
        Window win;
        QVERIFY(win.ok);
        frmMain &w = win.w;
        listOf(w)->setAbsolutePosition(deletedRow);
        const int deletedId = current(w, "ID").toInt();
        MessageBox::queueAnswer(QMessageBox::Ok);
        w.cmdDelete_Click();

        QCOMPARE(listOf(w)->rowCount(), count - 1);
        auto rows =
            w.database()->query({"SELECT COUNT(*) FROM Documents WHERE ID = ?", {deletedId}});
        QCOMPARE(rows->front().values.value(0).toInt(), 0);
        auto *panel = child<QFrame>(&w, "panView");
        if (currentId == 0) {
            QVERIFY(!listOf(w)->hasCurrent());
            QVERIFY(!panel->isVisible());
        } else {
            QCOMPARE(current(w, "ID").toInt(), currentId);
            QVERIFY(panel->isVisible());
            QCOMPARE(detail(w, "lblID"), QStringLiteral(" %1").arg(currentId));
            QCOMPARE(w.focusWidget(), child<DataGrid>(&w, "grdInfo"));
        }
    }

    // ------------------------------------------------------------ order

    void setAsDefaultThenANewStart()
    {
        TestFolder folder;
        seed({{1, "charlie"}, {2, "alpha"}, {3, "bravo"}});
        {
            Window win;
            QVERIFY(win.ok);
            frmMain &w = win.w;
            QTest::mouseClick(child<QRadioButton>(&w, "Order1"), Qt::LeftButton);
            QCOMPARE(w.orderClause(), QStringLiteral("DESCRIPTION"));
            auto *set = child<QLabel>(&w, "lblSetAsDefaultOk");
            QVERIFY(!set->isVisible());
            QTest::mouseClick(child<QPushButton>(&w, "cmdSetAsDefault"), Qt::LeftButton);
            QVERIFY(set->isVisible());
            QCOMPARE(set->text(), QStringLiteral("SET"));
            auto *timer = w.findChild<QTimer *>("tmrSetAsDefault");
            QVERIFY(timer->isActive());
            QCOMPARE(timer->interval(), 1000);
            // What the timer does when its second has passed.
            w.tmrSetAsDefault_Timer();
            QVERIFY(!set->isVisible());
            QVERIFY(!timer->isActive());
        }
        Window again;
        QVERIFY(again.ok);
        QVERIFY(child<QRadioButton>(&again.w, "Order1")->isChecked());
        Recordset *rs = listOf(again.w);
        QCOMPARE(rs->valueAt(0, "Description").toString(), QStringLiteral("alpha"));
        QCOMPARE(rs->valueAt(1, "Description").toString(), QStringLiteral("bravo"));
        QCOMPARE(rs->valueAt(2, "Description").toString(), QStringLiteral("charlie"));
    }
};

QTEST_MAIN(tst_RecordCommands)
#include "tst_recordcommands.moc"
