// The number rules of saving a record: the ID box's text, the duplicate
// test and the number offered to a new record.
#include "support/TestSupport.h"

#include "editor/RecordSave.h"

using namespace qs;
using namespace qs::test;

class tst_RecordSave : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parseID_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("value");

        QTest::newRow("plain") << "42" << true << 42;
        QTest::newRow("zero") << "0" << true << 0;
        QTest::newRow("blanks around") << "  17 " << true << 17;
        QTest::newRow("leading zeros") << "007" << true << 7;
        QTest::newRow("plus") << "+5" << true << 5;
        QTest::newRow("negative") << "-12" << true << -12;
        QTest::newRow("largest") << "2147483647" << true << 2147483647;
        QTest::newRow("smallest") << "-2147483648" << true << int(-2147483648LL);
        QTest::newRow("one too large") << "2147483648" << false << 0;
        QTest::newRow("one too small") << "-2147483649" << false << 0;
        QTest::newRow("far too large") << "99999999999999999999999" << false << 0;
        QTest::newRow("empty") << "" << false << 0;
        QTest::newRow("blanks") << "   " << false << 0;
        QTest::newRow("sign alone") << "-" << false << 0;
        QTest::newRow("letters") << "12a" << false << 0;
        QTest::newRow("fraction") << "1.5" << false << 0;
        QTest::newRow("exponent") << "1e3" << false << 0;
        QTest::newRow("inner blank") << "1 2" << false << 0;
        QTest::newRow("SQL") << "1 OR 1=1" << false << 0;
        QTest::newRow("other script digits") << QString::fromUtf8("４２") << false << 0;
    }

    void parseID()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(int, value);
        const auto id = fnParseID(text);
        QCOMPARE(id.has_value(), ok);
        if (ok)
            QCOMPARE(*id, value);
    }

    void duplicateID_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<int>("excludedRow"); // index into the seeded rows, -1 for a new record
        QTest::addColumn<bool>("taken");

        QTest::newRow("new record, free number") << 3 << -1 << false;
        QTest::newRow("new record, taken number") << 2 << -1 << true;
        QTest::newRow("own number kept") << 2 << 1 << false;
        QTest::newRow("another record's number") << 1 << 1 << true;
        QTest::newRow("number held twice, one of them own") << 7 << 2 << true;
        QTest::newRow("zero") << 0 << -1 << false;
    }

    void duplicateID()
    {
        QFETCH(int, id);
        QFETCH(int, excludedRow);
        QFETCH(bool, taken);

        TestFolder folder;
        auto db = makeDatabase(folder.file("Qsk.MDB"));
        const QList<qint64> keys = {addDocument(*db, {1, "a"}), addDocument(*db, {2, "b"}),
                                    addDocument(*db, {7, "c"}), addDocument(*db, {7, "d"})};
        const auto result = fnDuplicateID(*db, id, excludedRow < 0 ? 0 : keys[excludedRow]);
        QVERIFY(result.ok());
        QCOMPARE(result.value(), taken);
    }

    void proposedID_data()
    {
        QTest::addColumn<QVariantList>("ids");
        QTest::addColumn<QVariant>("proposed"); // null: none

        QTest::newRow("empty table") << QVariantList{} << QVariant(1);
        QTest::newRow("only null numbers") << QVariantList{QVariant()} << QVariant(1);
        QTest::newRow("gaps not filled") << QVariantList{1, 2, 10} << QVariant(11);
        QTest::newRow("negative numbers") << QVariantList{-5, -9} << QVariant(-4);
        QTest::newRow("no room above") << QVariantList{2147483647} << QVariant();
    }

    void proposedID()
    {
        QFETCH(QVariantList, ids);
        QFETCH(QVariant, proposed);

        TestFolder folder;
        auto db = makeDatabase(folder.file("Qsk.MDB"));
        for (const QVariant &id : ids)
            QVERIFY(db->exec({"INSERT INTO Documents (ID, Description) VALUES (?, 'x')", {id}}));
        const auto result = fnProposedID(*db);
        QVERIFY(result.ok());
        QCOMPARE(result.value().has_value(), !proposed.isNull());
        if (!proposed.isNull())
            QCOMPARE(*result.value(), proposed.toInt());
    }
};

QTEST_GUILESS_MAIN(tst_RecordSave)
#include "tst_recordsave.moc"
