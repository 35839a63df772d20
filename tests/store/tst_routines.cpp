// The shared record routines.
#include "support/TestSupport.h"

#include "store/modRoutines.h"


using namespace qs;
using namespace qs::test;

class tst_Routines : public QObject
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

    void isBlank_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("blank");
        QTest::newRow("empty") << QString() << true;
        QTest::newRow("blanks") << QStringLiteral("   ") << true;
        QTest::newRow("letter") << QStringLiteral(" a ") << false;
        QTest::newRow("tab is a character") << QStringLiteral("\t") << false;
        QTest::newRow("dot") << QStringLiteral(".") << false;
    }
    void isBlank()
    {
        QFETCH(QString, text);
        QFETCH(bool, blank);
        QCOMPARE(fnIsBlank(text), blank);
    }

    void typeNameAndKey()
    {
        const qint16 lease = addType(*db, QStringLiteral("Lease  "));
        QCOMPARE(fnTypeName(*db, lease), QStringLiteral("Lease  "));
        QCOMPARE(fnTypeName(*db, 0), QString());
        QCOMPARE(fnTypeName(*db, 999), QString());
        QCOMPARE(fnTypePtr(*db, QStringLiteral("Lease  ")), lease);
        QCOMPARE(fnTypePtr(*db, QStringLiteral("LEASE  ")), lease);
        QCOMPARE(fnTypePtr(*db, QStringLiteral("Lease")), qint16(0)); // blanks count in "="
        QCOMPARE(fnTypePtr(*db, QString()), qint16(0));
        QCOMPARE(fnTypePtr(*db, QStringLiteral("O'Hara")), qint16(0));

        // Changes made elsewhere are seen without any refresh.
        const qint16 tax = addType(*db, QStringLiteral("Tax"));
        QCOMPARE(fnTypeName(*db, tax), QStringLiteral("Tax"));
        QVERIFY(db->exec({QStringLiteral("DELETE FROM Types WHERE RecordPtr = ?"), {tax}}));
        QCOMPARE(fnTypeName(*db, tax), QString());
        QCOMPARE(fnTypePtr(*db, QStringLiteral("tax")), qint16(0));
    }

};

QSK_TEST_MAIN_EVERY_ENGINE(tst_Routines)
#include "tst_routines.moc"
