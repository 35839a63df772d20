// The main window's record commands with the real editor: Add, Change,
// Delete, the list order and "Set as default". The grid's model is checked
// throughout by Qt's model tester.
#include "editor/EditorState.h"
#include "editor/frmChange.h"
#include "store/DataControl.h"
#include "store/Recordset.h"
#include "store/Schema.h"
#include "support/MainWindow.h"
#include "support/Modal.h"
#include "widgets/DataGrid.h"
#include "widgets/MessageBox.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>

using namespace qs;
using namespace qs::test;

namespace {

const QString kLocked =
    QStringLiteral("Someone else is editing this record.  Please wait and try again, later.");

// Long enough for a slow machine: these waits end when the other process
// answers, never on their own in a passing run.
constexpr int kProcessWaitMs = 120000;

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

// The editor, once open, does this.
void editor(std::function<void(frmChange &)> action)
{
    answerModal<frmChange>(std::move(action));
}

void escape(frmChange &e)
{
    QTest::keyClick(child(&e, "txtDesc"), Qt::Key_Escape);
}

} // namespace

class tst_RecordCommands : public QObject
{
    Q_OBJECT

    std::unique_ptr<MainWindowFixture> m_f;
    std::unique_ptr<QAbstractItemModelTester> m_modelTester;
    QList<qint64> m_keys;

    bool open(const QList<Doc> &docs)
    {
        return m_f->open([&](Database &db) {
            for (const Doc &d : docs)
                m_keys << addDocument(db, d);
        }) && (watchModel(), true);
    }
    void watchModel()
    {
        m_modelTester = std::make_unique<QAbstractItemModelTester>(
            grid()->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    }
    frmMain &w() { return m_f->w(); }
    Recordset *list() { return w().documents()->recordset(); }
    QVariant current(const char *field) { return list()->value(QLatin1String(field)); }
    QString detail(const char *label) { return child<QLabel>(&w(), label)->text(); }
    DataGrid *grid() { return child<DataGrid>(&w(), "grdInfo"); }
    QVariant stored(const QString &sql, const QVariant &arg)
    {
        auto rows = w().database()->query({sql, {arg}});
        return rows && !rows->empty() ? rows->front().values.value(0) : QVariant();
    }

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
        m_modelTester.reset();
        m_f.reset();
    }

    void addIntoTheMiddleOfTheList()
    {
        QVERIFY(open(numbered(10, 400)));
        editor([](frmChange &e) {
            child(&e, "txtID")->setText("205");
            QTest::keyClicks(child(&e, "txtDesc"), "Middle");
            QTest::mouseClick(child<QPushButton>(&e, "cmdUpdate"), Qt::LeftButton);
        });
        w().cmdAdd_Click();
        QCOMPARE(gNewID, 205);
        QCOMPARE(current("ID").toInt(), 205);
        // 400 down to 210 come first: twenty rows above the new one, five of them in view.
        QCOMPARE(list()->absolutePosition(), 20);
        QCOMPARE(list()->rowCount(), 41);
        QCOMPARE(grid()->rowAt(0), 15);
        QCOMPARE(grid()->currentIndex().row(), 20);
        QCOMPARE(detail("lblDesc"), QStringLiteral(" Middle"));
        QCOMPARE(w().focusWidget(), grid());
    }

    void addWithTheKeyboardAlone()
    {
        QVERIFY(open(numbered(1, 3)));
        editor([](frmChange &) {
            // Description, type list, date, who, each left with Tab; Enter saves from the note.
            for (const char *text : {"Keyboard entry", "", "0704", "Typist"}) {
                QTest::keyClicks(QApplication::focusWidget(), text);
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            }
            QTest::keyClicks(QApplication::focusWidget(), "A note");
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        });
        // Alt+A animates the click, which then comes from the event loop.
        QEventLoop loop;
        connect(child<QPushButton>(&w(), "cmdAdd"), &QPushButton::clicked, &loop, &QEventLoop::quit,
                Qt::QueuedConnection);
        QTest::keyClick(&w(), Qt::Key_A, Qt::AltModifier);
        loop.exec();
        QCOMPARE(gNewID, 4);
        QCOMPARE(current("Description").toString(), QStringLiteral("Keyboard entry"));
        QCOMPARE(current("Date").toDate(), QDate(2026, 7, 4));
        QCOMPARE(current("Who").toString(), QStringLiteral("Typist"));
        QCOMPARE(current("Note").toString(), QStringLiteral("A note"));
    }

    // A new record the filter leaves out is saved, and the list stays where it was; so does
    // an Add abandoned with Esc.
    void addOutsideTheFilterOrAbandoned()
    {
        QVERIFY(open({{1, "alpha one"}, {2, "alpha two"}, {3, "beta"}}));
        child<QCheckBox>(&w(), "chkFilterOn")->click();
        QTest::keyClicks(child(&w(), "txtFilterDesc"), "alpha");
        QCOMPARE(list()->rowCount(), 2);
        QVERIFY(list()->findFirst("RecordPtr", m_keys[0]));
        editor([](frmChange &e) {
            QTest::keyClicks(child(&e, "txtDesc"), "gamma");
            QTest::mouseClick(child<QPushButton>(&e, "cmdUpdate"), Qt::LeftButton);
        });
        w().cmdAdd_Click();
        QCOMPARE(gNewID, 4);
        QCOMPARE(stored("SELECT Description FROM Documents WHERE ID = ?", 4).toString(), "gamma");
        QCOMPARE(list()->rowCount(), 2);
        QVERIFY(current("Description").toString().startsWith("alpha"));
        QCOMPARE(detail("lblDesc"), " " + current("Description").toString());

        QVERIFY(list()->findFirst("RecordPtr", m_keys[0]));
        editor(escape);
        w().cmdAdd_Click();
        QCOMPARE(gNewID, 0);
        QCOMPARE(pendingModals(), 0);
        QVERIFY(MessageBox::shownTexts().isEmpty());
        QCOMPARE(current("RecordPtr").toLongLong(), m_keys[0]);
        QCOMPARE(detail("lblID"), QStringLiteral(" 1"));
        QCOMPARE(w().focusWidget(), grid());
    }

    void changeWritesThroughTheList()
    {
        QVERIFY(open(numbered(1, 5)));
        QVERIFY(list()->findFirst("RecordPtr", m_keys[1]));
        const int row = list()->absolutePosition();
        editor([](frmChange &e) {
            QCOMPARE(child(&e, "txtDesc")->text(), QStringLiteral("doc 2"));
            child(&e, "txtDesc")->setText("changed");
            QTest::keyClick(child(&e, "txtDesc"), Qt::Key_Return);
        });
        QTest::keyClick(grid(), Qt::Key_Return); // Enter on the grid is the Change command
        QCOMPARE(gNewID, 0);
        QCOMPARE(list()->absolutePosition(), row);
        QCOMPARE(list()->valueAt(row, "Description").toString(), QStringLiteral("changed"));
        QCOMPARE(detail("lblDesc"), QStringLiteral(" changed"));
    }

    void changeWhileAnotherCopyEdits()
    {
        QVERIFY(open(numbered(1, 3)));
        QVERIFY(list()->findFirst("RecordPtr", m_keys[1]));
        const auto tryChange = [&](bool expectEditor) {
            MessageBox::clearShownTexts();
            clearPendingModals();
            if (!expectEditor)
                answerMessage();
            editor(escape);
            w().cmdChange_Click();
            QCOMPARE(pendingModals(), expectEditor ? 0 : 1);
            QCOMPARE(MessageBox::shownTexts(), expectEditor ? QStringList() : QStringList{kLocked});
            QCOMPARE(current("RecordPtr").toLongLong(), m_keys[1]);
        };
        const auto startHolder = [&](QProcess &holder) {
            holder.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            holder.start(QStringLiteral(QSK_EDITOR_HOLDER),
                         {m_f->folder.file(schema::DatabaseFile), QString::number(m_keys[1])});
            QVERIFY(holder.waitForStarted(kProcessWaitMs));
            QVERIFY(holder.waitForReadyRead(kProcessWaitMs));
            QCOMPARE(holder.readLine().trimmed(), QByteArray("OPEN"));
        };
        { // The other copy closes its editor.
            QProcess holder;
            startHolder(holder);
            tryChange(false);
            holder.write("exit\n");
            QVERIFY(holder.waitForReadyRead(kProcessWaitMs));
            QCOMPARE(holder.readLine().trimmed(), QByteArray("CLOSED"));
            tryChange(true);
            holder.closeWriteChannel();
            QVERIFY(holder.waitForFinished(kProcessWaitMs));
        }
        { // The other copy dies with the editor open.
            QProcess holder;
            startHolder(holder);
            tryChange(false);
            holder.kill();
            QVERIFY(holder.waitForFinished(kProcessWaitMs));
            tryChange(true);
        }
        { // Delete refuses a row that another copy is editing, and says so.
            QProcess holder;
            startHolder(holder);
            MessageBox::clearShownTexts();
            answerMessage();
            answerMessage();
            w().cmdDelete_Click();
            QCOMPARE(MessageBox::shownTexts().size(), 2);
            QCOMPARE(list()->rowCount(), 3);
            QCOMPARE(current("RecordPtr").toLongLong(), m_keys[1]);
            holder.kill();
            QVERIFY(holder.waitForFinished(kProcessWaitMs));
        }
    }

    // Not the lock's words: the row is gone, and the user is told so.
    void changeOfARowDeletedElsewhere()
    {
        QVERIFY(open(numbered(1, 3)));
        QVERIFY(list()->findFirst("RecordPtr", m_keys[1]));
        {
            auto other = openSqliteDatabase(m_f->folder.file(schema::DatabaseFile));
            QVERIFY(other && other.value()->exec(
                                 {"DELETE FROM Documents WHERE RecordPtr = ?", {m_keys[1]}}));
        }
        answerMessage();
        editor(escape);
        w().cmdChange_Click();
        QCOMPARE(pendingModals(), 1);
        QCOMPARE(MessageBox::shownTexts(),
                 QStringList{"The record has been deleted by another user."});
    }

    // Cancelled: the question shows, the row stays.
    void deleteQuestion_data()
    {
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("question");
        QTest::newRow("trailing blanks") << "Lease   "
                                         << "Delete \"Lease\" (42)";
        QTest::newRow("leading blank and quotes kept") << " a \"b\""
                                                       << "Delete \" a \"b\"\" (42)";
    }
    void deleteQuestion()
    {
        QFETCH(QString, description);
        QFETCH(QString, question);
        QVERIFY(open({{42, description}}));
        answerMessage(QMessageBox::Cancel);
        w().cmdDelete_Click();
        QCOMPARE(MessageBox::shownTexts(), QStringList{question});
        QCOMPARE(list()->rowCount(), 1);
        QCOMPARE(w().focusWidget(), grid());
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
        QVERIFY(open(numbered(1, count)));
        list()->setAbsolutePosition(deletedRow);
        const int deletedId = current("ID").toInt();
        answerMessage();
        w().cmdDelete_Click();
        QCOMPARE(list()->rowCount(), count - 1);
        QCOMPARE(stored("SELECT COUNT(*) FROM Documents WHERE ID = ?", deletedId).toInt(), 0);
        QCOMPARE(child<QFrame>(&w(), "panView")->isVisible(), currentId != 0);
        QCOMPARE(list()->hasCurrent(), currentId != 0);
        if (currentId != 0) {
            QCOMPARE(current("ID").toInt(), currentId);
            QCOMPARE(detail("lblID"), QStringLiteral(" %1").arg(currentId));
            QCOMPARE(w().focusWidget(), grid());
            return;
        }
        // The empty list: Change and Delete do nothing and say nothing.
        editor(escape);
        w().cmdChange_Click();
        w().cmdDelete_Click();
        QCOMPARE(pendingModals(), 1);
        QCOMPARE(MessageBox::shownTexts().size(), 1);
    }

    void setAsDefaultThenANewStart()
    {
        QVERIFY(open({{1, "charlie"}, {2, "alpha"}, {3, "bravo"}}));
        QTest::mouseClick(child<QRadioButton>(&w(), "Order_1"), Qt::LeftButton);
        QCOMPARE(w().orderClause(), QStringLiteral("DESCRIPTION"));
        auto *set = child<QLabel>(&w(), "lblSetAsDefaultOk");
        QTest::mouseClick(child<QPushButton>(&w(), "cmdSetAsDefault"), Qt::LeftButton);
        QVERIFY(set->isVisible());
        w().tmrSetAsDefault_Timer(); // what the timer does when its second has passed
        QVERIFY(!set->isVisible());

        m_modelTester.reset();
        QVERIFY(m_f->start());
        watchModel();
        QVERIFY(child<QRadioButton>(&w(), "Order_1")->isChecked());
        for (int i = 0; i < 3; ++i)
            QCOMPARE(list()->valueAt(i, "Description").toString(),
                     (QStringList{"alpha", "bravo", "charlie"}).at(i));
    }
};

QTEST_MAIN(tst_RecordCommands)
#include "tst_recordcommands.moc"
