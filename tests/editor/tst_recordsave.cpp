// The number rules of saving a record: the ID box's text, the duplicate
// test and the number offered to a new record.
#include "editor/RecordSave.h"
#include "support/TestSupport.h"

using namespace qs;
using namespace qs::test;

class tst_RecordSave : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestFolder> m_folder;
    std::unique_ptr<Database> m_db;

private Q_SLOTS:
    void init()
    {
        m_folder = std::make_unique<TestFolder>();
        m_db = makeDatabase(m_folder->file("Qsk.MDB"));
        QVERIFY(m_db);
    }
    void cleanup()
    {
        m_db.reset();
        m_folder.reset();
    }

    void parseID_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QVariant>("value"); // null: refused
        for (const auto &[text, value] : {std::pair<const char *, int>{"42", 42},
                                          {"0", 0},
                                          {"  17 ", 17},
                                          {"007", 7},
                                          {"+5", 5},
                                          {"-12", -12},
                                          {"2147483647", 2147483647},
                                          {"-2147483648", INT_MIN}})
            QTest::newRow(text) << QString(text) << QVariant(value);
        for (const char *text : {"2147483648", "-2147483649", "99999999999999999999999", "", "   ",
                                 "-", "12a", "1.5", "1e3", "1 2", "1 OR 1=1"})
            QTest::newRow(text) << QString(text) << QVariant();
        QTest::newRow("other script digits") << QString::fromUtf8("４２") << QVariant();
    }
    void parseID()
    {
        QFETCH(QString, text);
        QFETCH(QVariant, value);
        const auto id = fnParseID(text);
        QCOMPARE(id.has_value(), !value.isNull());
        if (id)
            QCOMPARE(*id, value.toInt());
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
    }
    void duplicateID()
    {
        QFETCH(int, id);
        QFETCH(int, excludedRow);
        const QList<qint64> keys = {addDocument(*m_db, {1, "a"}), addDocument(*m_db, {2, "b"}),
                                    addDocument(*m_db, {7, "c"}), addDocument(*m_db, {7, "d"})};
        const auto result = fnDuplicateID(*m_db, id, excludedRow < 0 ? 0 : keys[excludedRow]);
        QVERIFY(result.ok());
        QTEST(result.value(), "taken");
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
        for (const QVariant &id : ids)
            QVERIFY(m_db->exec({"INSERT INTO Documents (ID, Description) VALUES (?, 'x')", {id}}));
        const auto result = fnProposedID(*m_db);
        QVERIFY(result.ok());
        QCOMPARE(result.value().has_value(), !proposed.isNull());
        if (!proposed.isNull())
            QCOMPARE(*result.value(), proposed.toInt());
    }
};

QTEST_GUILESS_MAIN(tst_RecordSave)
#include "tst_recordsave.moc"
