// The widget helpers: the type list (names in order, each entry with its own key) and the
// data-bound grid, which keeps the same current row as its record set.
#include "support/TestSupport.h"

#include "store/DataControl.h"
#include "store/ListSource.h"
#include "widgets/DataGrid.h"
#include "widgets/FillTypeList.h"

#include <QComboBox>
#include <QSignalSpy>

using namespace qs;
using namespace qs::test;

class tst_Widgets : public QObject
{
    Q_OBJECT

    std::optional<TestFolder> folder;
    std::unique_ptr<Database> db;
    std::unique_ptr<DataControl> control;
    std::unique_ptr<DataGrid> grid;

    // The grid's current row and its row count, and the record set's current ID.
    QList<int> state() const
    {
        return {grid->currentIndex().row(), grid->model()->rowCount(),
                control->recordset()->value("ID").toInt()};
    }

private Q_SLOTS:
    // Five documents, ID 1 to 5 in that order, in a grid.
    void init()
    {
        // The previous test's, newest first; emplace() ends the old folder before the new one.
        grid.reset(), control.reset(), db.reset(), folder.emplace();
        QVERIFY((db = makeDatabase(QStringLiteral("Qsk.MDB"))));
        for (int i = 1; i <= 5; ++i)
            addDocument(*db, {i, QStringLiteral("d%1").arg(i), 0, QDate(1000 * i - 1, i, 10 + i)});
        control = std::make_unique<DataControl>();
        control->setDatabase(db.get());
        control->setRecordSource(std::make_shared<SqlListSource>(
            QStringLiteral("Documents"), QString(), QVariantList(), QStringLiteral("ID")));
        QVERIFY(control->refresh());
        grid.reset(new DataGrid(control.get(), {{{}, "ID"}, {{}, "Date"}}));
        grid->show();
    }
    void typeList_data()
    {
        QTest::addColumn<bool>("withAll");
        QTest::addColumn<QStringList>("names"); // as stored, in the order added
        QTest::addColumn<QStringList>("shown");
        const QStringList abc = {"B", "a   ", "C"};
        QStringList many;
        for (int i = 0; i < 600; ++i)
            many << QStringLiteral("T%1").arg(i, 4, 10, QLatin1Char('0'));
        QTest::newRow("ALL alone") << true << QStringList() << QStringList{"ALL"};
        QTest::newRow("nothing") << false << QStringList() << QStringList();
        QTest::newRow("with ALL") << true << abc << QStringList{"ALL", "a", "B", "C"};
        QTest::newRow("without ALL") << false << abc << QStringList{"a", "B", "C"};
        QTest::newRow("over 500") << true << many << (QStringList{"ALL"} + many);
    }
    void typeList()
    {
        QFETCH(bool, withAll);
        QFETCH(QStringList, names);
        QFETCH(QStringList, shown);
        QHash<QString, qint16> keys;
        for (const QString &name : names)
            keys[name.trimmed()] = addType(*db, name);
        QComboBox list;
        list.setEditable(true); // to type text that is no entry
        QSignalSpy changed(&list, &QComboBox::currentIndexChanged);
        FillTypeList(list, *db, withAll);
        // The owner hears once that the first entry, if any, is selected.
        QCOMPARE(QList<QVariantList>(changed), QList<QVariantList>(shown.isEmpty() ? 0 : 1, {0}));
        QStringList texts;
        for (int i = 0; i < list.count(); ++i) {
            texts << list.itemText(i);
            list.setCurrentIndex(i);
            QCOMPARE(selectedTypeKey(list), keys.value(texts.last(), 0)); // "ALL" is 0
            // Typed text that is no entry counts as no selection.
            list.setEditText(list.currentText() + QLatin1Char('x'));
            QCOMPARE(selectedTypeKey(list), qint16(0));
        }
        QCOMPARE(texts, shown);
    }

    void gridAndRecordsetMoveTogether()
    {
        Recordset *rs = control->recordset();
        QCOMPARE(grid->model()->index(0, 1).data().toString(), QStringLiteral("1/11/0999"));
        QCOMPARE(grid->model()->index(4, 1).data().toString(), QStringLiteral("5/15/4999"));
        QSignalSpy moved(control.get(), &DataControl::currentChanged);
        rs->moveLast();
        QCOMPARE(state() << int(moved.count()), (QList<int>{4, 5, 5, 1})); // reported once
        grid->setCurrentIndex(grid->model()->index(1, 0));
        QCOMPARE(state() << int(moved.count()), (QList<int>{1, 5, 2, 2}));
        // An added row joins the end; the current row stays.
        QVERIFY(rs->addNew() && rs->setValue("ID", 9) && rs->update());
        QCOMPARE(state() << int(moved.count()), (QList<int>{1, 6, 2, 2}));
    }

    // Deleting a row must not let the view choose the next current row: the
    // record set stays on the deleted row until its owner moves it.
    void deleteLeavesTheMoveToTheOwner_data()
    {
        QTest::addColumn<int>("row"); // ID row + 1
        QTest::newRow("first") << 0;
        QTest::newRow("middle") << 2;
    }
    void deleteLeavesTheMoveToTheOwner()
    {
        QFETCH(int, row);
        Recordset *rs = control->recordset();
        rs->setAbsolutePosition(row);
        QVERIFY(rs->deleteCurrent() && rs->hasCurrent());
        rs->moveNext();
        QCOMPARE(state(), (QList<int>{row, 4, row + 2}));
    }
};

QTEST_MAIN(tst_Widgets)
#include "tst_widgets.moc"
