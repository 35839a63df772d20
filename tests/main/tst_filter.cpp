// The live filter on the real main window.
#include "support/TestSupport.h"

#include "main/DocumentIndexService.h"
#include "main/frmMain.h"
#include "store/DataControl.h"
#include "support/MainWindow.h"
#include "widgets/DataGrid.h"
#include "widgets/MessageBox.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

using namespace qs;
using namespace qs::test;

namespace {

QList<int> listIds(frmMain &w)
{
    QList<int> out;
    Recordset *rs = w.documents()->recordset();
    for (int i = 0; i < rs->rowCount(); ++i)
        out << rs->valueAt(i, QStringLiteral("ID")).toInt();
    return out;
}

int currentId(frmMain &w)
{
    return w.documents()->recordset()->value(QStringLiteral("ID")).toInt();
}

} // namespace

class tst_Filter : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestFolder> folder;
    std::unique_ptr<test::MainWindow> w;
    QLineEdit *desc = nullptr;
    QLineEdit *who = nullptr;
    QCheckBox *on = nullptr;

    void start(bool withIndex)
    {
        w = std::make_unique<test::MainWindow>();
        w->setToday([] { return QDate(2026, 12, 4); });
        QVERIFY(w->Form_Initialize());
        if (withIndex)
            w->documentIndex()->waitUntilReady();
        w->show();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        desc = w->findChild<QLineEdit *>(QStringLiteral("txtFilterDesc"));
        who = w->findChild<QLineEdit *>(QStringLiteral("txtFilterWho"));
        on = w->findChild<QCheckBox *>(QStringLiteral("chkFilterOn"));
    }

private Q_SLOTS:
    void init()
    {
        folder = std::make_unique<TestFolder>();
        auto db = makeDatabase(QStringLiteral("Qsk.MDB"));
        Transaction t(*db);
        for (int i = 1; i <= 60; ++i)
            addDocument(*db, {i,
                              i % 3 == 0 ? QStringLiteral("Lease %1").arg(i)
                                         : QStringLiteral("Invoice %1").arg(i),
                              0, QDate(2026, 1, 1).addDays(i),
                              i % 2 ? QStringLiteral("Bank") : QString()});
        QVERIFY(t.commit());
    }
    void cleanup()
    {
        w.reset();
        folder.reset();
        MessageBox::clearShownTexts();
    }

    void tickingFiltersAndUntickingRestores_data()
    {
        QTest::addColumn<bool>("withIndex");
        QTest::newRow("SQL path") << false;
        QTest::newRow("index path") << true;
    }
    void tickingFiltersAndUntickingRestores()
    {
        QFETCH(bool, withIndex);
        start(withIndex);
        QCOMPARE(listIds(*w).size(), 60);
        desc->setText(QStringLiteral("LEASE"));
        QCOMPARE(listIds(*w).size(), 60); // not ticked: nothing happens yet
        QTest::keyClick(on, Qt::Key_Space);
        QCOMPARE(listIds(*w).size(), 20);
        QCOMPARE(listIds(*w).first(), 60);
        w->documents()->recordset()->setAbsolutePosition(4); // Lease 48
        QCOMPARE(currentId(*w), 48);
        QTest::keyClick(on, Qt::Key_Space);
        QCOMPARE(listIds(*w).size(), 60);
        QCOMPARE(currentId(*w), 48);
        QCOMPARE(desc->text(), QStringLiteral("LEASE")); // the filter is kept for next time
    }

    void typingKeepsTheCaretAndTheRecord()
    {
        start(true);
        QTest::keyClick(on, Qt::Key_Space);
        w->documents()->recordset()->setAbsolutePosition(12); // ID 48
        QCOMPARE(currentId(*w), 48);
        desc->setFocus();
        for (const char c : QByteArray("lease 4")) {
            QTest::keyClick(desc, c);
            QCOMPARE(QApplication::focusWidget(), desc);
        }
        QCOMPARE(desc->text(), QStringLiteral("LEASE 4"));
        QCOMPARE(listIds(*w), QList<int>({48, 45, 42}));
        QCOMPARE(currentId(*w), 48); // still in the result, still current
        QTest::keyClick(desc, '2');
        QCOMPARE(listIds(*w), QList<int>({42}));
        QCOMPARE(currentId(*w), 42); // gone from the result: the first row
        QCOMPARE(QApplication::focusWidget(), desc);
        QCOMPARE(w->findChild<QLabel *>(QStringLiteral("lblDesc"))->text(),
                 QStringLiteral(" Lease 42"));
    }

    void onlySmallLettersBecomeCapitals()
    {
        start(false);
        QTest::keyClicks(who, QStringLiteral("ab1-,z"));
        QKeyEvent accented(QEvent::KeyPress, 0, Qt::NoModifier, QStringLiteral("é"));
        QApplication::sendEvent(who, &accented);
        QCOMPARE(who->text(), QStringLiteral("AB1-,Zé"));
    }

    void foundRecordShowsWithContextAbove()
    {
        start(true);
        auto *grid = w->findChild<DataGrid *>(QStringLiteral("grdInfo"));
        w->documents()->recordset()->setAbsolutePosition(20); // ID 40
        QTest::keyClick(on, Qt::Key_Space);                   // same list, re-found
        QCOMPARE(currentId(*w), 40);
        QCOMPARE(grid->rowAt(0), 15); // five rows above it in view, not at the top
        w->documents()->recordset()->setAbsolutePosition(2);
        QTest::keyClick(on, Qt::Key_Space);
        QCOMPARE(currentId(*w), 58);
        QCOMPARE(grid->rowAt(0), 0); // only two rows above exist
    }

    void orderOptionKeepsTheRecord()
    {
        start(true);
        w->documents()->recordset()->setAbsolutePosition(5); // ID 55
        QTest::keyClick(w->findChild<QRadioButton *>(QStringLiteral("Order_2")), Qt::Key_Space);
        QCOMPARE(listIds(*w).first(), 1);
        QCOMPARE(currentId(*w), 55);
    }

    void oddTextNeverBreaksTheList_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("text");
        for (const char *box : {"txtFilterDesc", "txtFilterWho", "txtFilterNote"}) {
            QTest::newRow(QByteArray(box) + " quote") << box << "'";
            QTest::newRow(QByteArray(box) + " bracket") << box << "[";
            QTest::newRow(QByteArray(box) + " mixed") << box << "O'[a\" --";
        }
    }
    void oddTextNeverBreaksTheList()
    {
        QFETCH(QString, box);
        QFETCH(QString, text);
        start(false);
        QTest::keyClick(on, Qt::Key_Space);
        auto *edit = w->findChild<QLineEdit *>(box);
        QTest::keyClicks(edit, text);
        QVERIFY(MessageBox::shownTexts().isEmpty());
        QCOMPARE(listIds(*w).size(), 0);
        edit->clear();
        QCOMPARE(listIds(*w).size(), 60);
    }

    void typeAndDateLists()
    {
        start(true);
        QTest::keyClick(on, Qt::Key_Space);
        auto *date = w->findChild<QComboBox *>(QStringLiteral("cmbDate"));
        date->setCurrentIndex(1); // last 30 days before 12/4/2026: none of these
        QCOMPARE(listIds(*w).size(), 0);
        date->setCurrentIndex(5); // no date
        QCOMPARE(listIds(*w).size(), 0);
        date->setCurrentIndex(0);
        QCOMPARE(listIds(*w).size(), 60);
        auto *type = w->findChild<QComboBox *>(QStringLiteral("cmbType"));
        type->setEditText(QStringLiteral("nothing like it"));
        QCOMPARE(listIds(*w).size(), 60);
    }

    // Typing into the type list is no choice, however the typing ends; a
    // choice from the list, or an arrow key on the closed box, is.
    void typingInTheTypeListChoosesNothing_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QList<int>>("keys"); // pressed after typing
        QTest::addColumn<int>("listed");
        QTest::addColumn<QString>("focus");
        QTest::newRow("completed, Tab") << "le" << QList<int>{Qt::Key_Tab} << 60 << "cmbDate";
        QTest::newRow("whole name, Enter")
            << "Lease" << QList<int>{Qt::Key_Return} << 60 << "cmbType";
        QTest::newRow("focus taken away") << "bill" << QList<int>{} << 60 << "txtFilterWho";
        QTest::newRow("arrow on the closed box")
            << "" << QList<int>{Qt::Key_Down} << 5 << "cmbType";
        QTest::newRow("chosen from the open list")
            << "" << QList<int>{Qt::Key_F4, Qt::Key_Down, Qt::Key_Down, Qt::Key_Return} << 10
            << "cmbType";
    }
    void typingInTheTypeListChoosesNothing()
    {
        QFETCH(QString, typed);
        QFETCH(QList<int>, keys);
        {
            auto db = openSqliteDatabase(QStringLiteral("Qsk.MDB"));
            QVERIFY(db);
            const qint16 bill = addType(**db, QStringLiteral("Bill"));
            const qint16 lease = addType(**db, QStringLiteral("Lease"));
            QVERIFY((*db)->exec({"UPDATE Documents SET DocumentType = ? WHERE ID <= 5", {bill}}));
            QVERIFY((*db)->exec({"UPDATE Documents SET DocumentType = ? WHERE ID > 50", {lease}}));
        }
        start(false);
        QTest::keyClick(on, Qt::Key_Space);
        auto *type = w->findChild<QComboBox *>(QStringLiteral("cmbType"));
        type->setFocus();
        type->lineEdit()->selectAll();
        QTest::keyClicks(type, typed);
        QWidget *target = type;
        for (int key : keys) {
            QTest::keyClick(target, Qt::Key(key));
            // Keys go to the open list while it shows.
            target = type->view()->isVisible() ? type->view() : QApplication::focusWidget();
        }
        if (keys.isEmpty())
            who->setFocus();
        QTEST(int(listIds(*w).size()), "listed");
        QTEST(QApplication::focusWidget()->objectName(), "focus");
    }

    // The detail panel hides on an empty list and nothing else moves or grows.
    void hidingTheDetailPanelMovesNothing()
    {
        start(false);
        const QStringList names = {"ElasticOne1",   "cmdAdd",      "ElasticOne4", "cmbType",
                                   "txtFilterDesc", "chkFilterOn", "ElasticOne3", "Order_0"};
        const auto geometries = [&] {
            QCoreApplication::processEvents();
            QList<QRect> out;
            for (const QString &name : names) {
                auto *widget = w->findChild<QWidget *>(name);
                out << QRect(widget->mapTo(w.get(), QPoint()), widget->size());
            }
            return out;
        };
        const QList<QRect> shown = geometries();
        QTest::keyClick(on, Qt::Key_Space);
        QTest::keyClicks(desc, QStringLiteral("zzz"));
        QCOMPARE(listIds(*w).size(), 0);
        QVERIFY(w->findChild<QWidget *>(QStringLiteral("panView"))->isHidden());
        QCOMPARE(geometries(), shown);
    }
};

QTEST_MAIN(tst_Filter)
#include "tst_filter.moc"
