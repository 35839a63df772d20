// The data-bound grid and its record set keep the same current row.
#include "support/TestSupport.h"

#include "store/DataControl.h"
#include "store/ListSource.h"
#include "widgets/DataGrid.h"

#include <QSignalSpy>

using namespace qs;
using namespace qs::test;

class tst_DataGrid : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestFolder> folder;
    std::unique_ptr<Database> db;
    std::unique_ptr<DataControl> control;
    std::unique_ptr<DataGrid> grid;

private Q_SLOTS:
    void init()
    {
        folder = std::make_unique<TestFolder>();
        db = makeDatabase(QStringLiteral("Qsk.MDB"));
        for (int i = 1; i <= 5; ++i)
            addDocument(*db, {i, QStringLiteral("d%1").arg(i)});
        control = std::make_unique<DataControl>();
        control->setDatabase(db.get());
        control->setRecordSource(std::make_shared<SqlListSource>(
            QStringLiteral("Documents"), QString(), QVariantList(), QStringLiteral("ID")));
        QVERIFY(control->refresh());
        grid = std::make_unique<DataGrid>(
            control.get(),
            QList<RecordsetModel::Column>{{QStringLiteral("ID"), QStringLiteral("ID")}});
        grid->show();
    }
    void cleanup()
    {
        grid.reset();
        control.reset();
        db.reset();
        folder.reset();
    }

    void movesFollowEachOther()
    {
        Recordset *rs = control->recordset();
        QSignalSpy moved(control.get(), &DataControl::currentChanged);
        rs->moveLast();
        QCOMPARE(grid->currentIndex().row(), 4);
        QCOMPARE(moved.count(), 1); // reported once
        grid->setCurrentIndex(grid->model()->index(2, 0));
        QCOMPARE(rs->value(QStringLiteral("ID")).toInt(), 3);
        QCOMPARE(moved.count(), 2);
    }

    void datesShowFourDigitYears()
    {
        const qint64 early = addDocument(*db, {6, QStringLiteral("early"), 0, QDate(999, 1, 1)});
        const qint64 late = addDocument(*db, {7, QStringLiteral("late"), 0, QDate(2024, 12, 31)});
        control->setRecordSource(std::make_shared<SqlListSource>(
            QStringLiteral("Documents"), QStringLiteral("RecordPtr IN (?, ?)"),
            QVariantList{early, late}, QStringLiteral("ID")));
        QVERIFY(control->refresh());
        DataGrid dates(control.get(), {{QStringLiteral("Date"), QStringLiteral("Date")}});
        QCOMPARE(dates.model()->index(0, 0).data().toString(), QStringLiteral("1/1/0999"));
        QCOMPARE(dates.model()->index(1, 0).data().toString(), QStringLiteral("12/31/2024"));
    }

    // Deleting a row must not let the view choose the next current row: the
    // record set stays on the deleted row until its owner moves it.
    void deleteLeavesTheMoveToTheOwner_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("nextId");
        QTest::newRow("first") << 0 << 2;
        QTest::newRow("middle") << 2 << 4;
    }
    void deleteLeavesTheMoveToTheOwner()
    {
        QFETCH(int, row);
        QFETCH(int, nextId);
        Recordset *rs = control->recordset();
        rs->setAbsolutePosition(row);
        QVERIFY(rs->deleteCurrent());
        QVERIFY(rs->hasCurrent());
        rs->moveNext();
        QCOMPARE(rs->value(QStringLiteral("ID")).toInt(), nextId);
        QCOMPARE(grid->currentIndex().row(), row);
        QCOMPARE(grid->model()->rowCount(), 4);
    }

    void addedRowJoinsTheEndAndCurrentStays()
    {
        Recordset *rs = control->recordset();
        rs->setAbsolutePosition(1);
        QVERIFY(rs->addNew());
        QVERIFY(rs->setValue(QStringLiteral("ID"), 9));
        QVERIFY(rs->update());
        QCOMPARE(grid->model()->rowCount(), 6);
        QCOMPARE(rs->value(QStringLiteral("ID")).toInt(), 2);
        QCOMPARE(grid->currentIndex().row(), 1);
    }
};

QTEST_MAIN(tst_DataGrid)
#include "tst_datagrid.moc"
