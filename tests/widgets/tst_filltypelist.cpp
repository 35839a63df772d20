// The type list helper: names in order, each entry with its own key.
#include "support/TestSupport.h"

#include "store/modRoutines.h"
#include "widgets/FillTypeList.h"

#include <QComboBox>
#include <QSignalSpy>

using namespace qs;
using namespace qs::test;

class tst_FillTypeList : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestFolder> folder;
    std::unique_ptr<Database> db;

private Q_SLOTS:
    void init()
    {
        folder = std::make_unique<TestFolder>();
        db = makeDatabase(QStringLiteral("Qsk.MDB"));
        QVERIFY(db);
    }
    void cleanup()
    {
        db.reset();
        folder.reset();
    }

    void fillWithAllAndNoTypes()
    {
        QComboBox list;
        QSignalSpy changed(&list, &QComboBox::currentIndexChanged);
        FillTypeList(list, *db, true);
        QCOMPARE(list.count(), 1);
        QCOMPARE(list.itemText(0), QStringLiteral("ALL"));
        QCOMPARE(list.currentIndex(), 0);
        QCOMPARE(changed.count(), 1); // the owner hears of the selection
        QCOMPARE(selectedTypeKey(list), qint16(0));
    }

    void fillWithoutAllAndNoTypesHasNoSelection()
    {
        QComboBox list;
        FillTypeList(list, *db, false);
        QCOMPARE(list.count(), 0);
        QCOMPARE(list.currentIndex(), -1);
    }

    void fillListsByNameWithOwnKeys_data()
    {
        QTest::addColumn<bool>("withAll");
        QTest::newRow("with ALL") << true;
        QTest::newRow("without ALL") << false;
    }
    void fillListsByNameWithOwnKeys()
    {
        QFETCH(bool, withAll);
        const qint16 b = addType(*db, QStringLiteral("B"));
        const qint16 a = addType(*db, QStringLiteral("a   "));
        const qint16 c = addType(*db, QStringLiteral("C"));
        QComboBox list;
        FillTypeList(list, *db, withAll);
        QStringList texts;
        for (int i = 0; i < list.count(); ++i)
            texts << list.itemText(i);
        QStringList expected = {"a", "B", "C"};
        if (withAll)
            expected.prepend(QStringLiteral("ALL"));
        QCOMPARE(texts, expected);
        const int first = withAll ? 1 : 0;
        QCOMPARE(list.currentIndex(), 0);
        list.setCurrentIndex(first);
        QCOMPARE(selectedTypeKey(list), a);
        list.setCurrentIndex(first + 1);
        QCOMPARE(selectedTypeKey(list), b);
        list.setCurrentIndex(first + 2);
        QCOMPARE(selectedTypeKey(list), c);
    }

    void moreThanFiveHundredTypes()
    {
        Transaction t(*db);
        for (int i = 0; i < 600; ++i)
            addType(*db, QStringLiteral("T%1").arg(i, 4, 10, QLatin1Char('0')));
        QVERIFY(t.commit());
        QComboBox list;
        FillTypeList(list, *db, true);
        QCOMPARE(list.count(), 601);
        list.setCurrentIndex(600);
        QCOMPARE(selectedTypeKey(list), fnTypePtr(*db, QStringLiteral("T0599")));
    }

    void typedTextThatIsNoEntryCountsAsNoSelection()
    {
        addType(*db, QStringLiteral("Lease"));
        QComboBox list;
        list.setEditable(true);
        FillTypeList(list, *db, true);
        list.setCurrentIndex(1);
        QVERIFY(selectedTypeKey(list) != 0);
        list.setEditText(QStringLiteral("Leas"));
        QCOMPARE(selectedTypeKey(list), qint16(0));
    }
};

QTEST_MAIN(tst_FillTypeList)
#include "tst_filltypelist.moc"
