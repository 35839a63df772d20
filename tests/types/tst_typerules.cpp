// The checks behind the add-type dialog and the delete test of the types window.
#include "support/TestSupport.h"
#include "types/TypeRules.h"

#include <QTest>

using namespace qs;
using namespace qs::test;

Q_DECLARE_METATYPE(qs::NewTypeCheck)

namespace {

qint64 typeCount(Database &db)
{
    auto rows = db.query({QStringLiteral("SELECT COUNT(*) FROM Types"), {}});
    return rows && !rows->empty() ? rows->front().values.value(0).toLongLong() : -1;
}

// As a copy from a file leaves it: the engine's next key lies past this one.
Status addTypeWithKey(Database &db, const QString &name, qint64 key)
{
    if (Status s = db.exec(
            {QStringLiteral("INSERT INTO Types (Type, RecordPtr) VALUES (?, ?)"), {name, key}});
        !s)
        return s;
    if (db.dialect() == SqlDialect::SQLite)
        return Status::success();
    return db.exec(
        {QStringLiteral("SELECT setval(pg_get_serial_sequence('types', 'recordptr'), ?)"), {key}});
}

} // namespace

class TestTypeRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void checkNewType_data();
    void checkNewType();
    void keyRange_data();
    void keyRange();
    void typeInUse_data();
    void typeInUse();
};

void TestTypeRules::checkNewType_data()
{
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<QString>("name");
    QTest::addColumn<NewTypeCheck>("expected");

    // Blank, letter case and the single quote are driven through the dialog
    // in tst_frmtypes; these are the lookups it does not reach.
    const QStringList tax{QStringLiteral("Tax")};
    QTest::newRow("no types yet") << QStringList{} << "Tax" << NewTypeCheck::Accepted;
    QTest::newRow("same name") << tax << "Tax" << NewTypeCheck::AlreadyDefined;
    QTest::newRow("leading blanks are part of the name")
        << tax << "  Tax" << NewTypeCheck::Accepted;
    QTest::newRow("trailing blanks as stored")
        << QStringList{QStringLiteral("Tax  ")} << "Tax  " << NewTypeCheck::AlreadyDefined;
    QTest::newRow("quotes that would widen a spliced condition")
        << tax << "x' OR '1'='1" << NewTypeCheck::Accepted;
}

void TestTypeRules::checkNewType()
{
    QFETCH(QStringList, stored);
    QFETCH(QString, name);
    QFETCH(NewTypeCheck, expected);

    TestFolder folder;
    auto db = makeDatabase(folder.file(QStringLiteral("Qsk.MDB")));
    QVERIFY(db);
    for (const QString &s : stored)
        QVERIFY(addType(*db, s) > 0);

    const Result<NewTypeCheck> check = fnCheckNewType(*db, name);
    QVERIFY2(check.ok(), qPrintable(check.error()));
    QCOMPARE(check.value(), expected);
    QCOMPARE(fnNewTypeMessage(check.value()).isEmpty(), expected == NewTypeCheck::Accepted);
    // Checking never writes.
    QCOMPARE(typeCount(*db), qint64(stored.size()));
}

void TestTypeRules::keyRange_data()
{
    QTest::addColumn<qint64>("highestKey");
    QTest::addColumn<bool>("deleteHighest");
    QTest::addColumn<NewTypeCheck>("expected");

    QTest::newRow("one key left") << qint64(32766) << false << NewTypeCheck::Accepted;
    QTest::newRow("last key used") << qint64(32767) << false << NewTypeCheck::NoKeyLeft;
    // Keys are never reused, so deleting the highest type frees nothing.
    QTest::newRow("last key used, type deleted")
        << qint64(32767) << true << NewTypeCheck::NoKeyLeft;
    QTest::newRow("far below") << qint64(12) << true << NewTypeCheck::Accepted;
}

void TestTypeRules::keyRange()
{
    QFETCH(qint64, highestKey);
    QFETCH(bool, deleteHighest);
    QFETCH(NewTypeCheck, expected);

    TestFolder folder;
    auto db = makeDatabase(folder.file(QStringLiteral("Qsk.MDB")));
    QVERIFY(db);
    QVERIFY(addTypeWithKey(*db, QStringLiteral("Old"), highestKey));
    if (deleteHighest)
        QVERIFY(db->exec({QStringLiteral("DELETE FROM Types WHERE RecordPtr = ?"), {highestKey}}));
    const qint64 before = typeCount(*db);

    const Result<NewTypeCheck> check = fnCheckNewType(*db, QStringLiteral("New"));
    QVERIFY2(check.ok(), qPrintable(check.error()));
    QCOMPARE(check.value(), expected);
    QCOMPARE(typeCount(*db), before);
    if (expected == NewTypeCheck::NoKeyLeft) {
        QVERIFY(fnNewTypeMessage(expected).contains(QStringLiteral("32767")));
        return;
    }
    // The check did not use up the key that the real add then receives.
    QCOMPARE(qint64(addType(*db, QStringLiteral("New"))), highestKey + 1);
}

void TestTypeRules::typeInUse_data()
{
    QTest::addColumn<int>("documentsOfType");
    QTest::addColumn<int>("documentsOfOtherType");
    QTest::addColumn<bool>("expected");

    QTest::newRow("unused") << 0 << 0 << false;
    QTest::newRow("only another type used") << 0 << 2 << false;
    QTest::newRow("one document") << 1 << 0 << true;
    QTest::newRow("many documents") << 25 << 3 << true;
}

void TestTypeRules::typeInUse()
{
    QFETCH(int, documentsOfType);
    QFETCH(int, documentsOfOtherType);
    QFETCH(bool, expected);

    TestFolder folder;
    auto db = makeDatabase(folder.file(QStringLiteral("Qsk.MDB")));
    QVERIFY(db);
    const qint16 tax = addType(*db, QStringLiteral("Tax"));
    const qint16 bank = addType(*db, QStringLiteral("Bank"));
    int id = 0;
    for (int i = 0; i < documentsOfType; ++i)
        QVERIFY(addDocument(*db, {++id, QStringLiteral("Return"), tax}) > 0);
    for (int i = 0; i < documentsOfOtherType; ++i)
        QVERIFY(addDocument(*db, {++id, QStringLiteral("Statement"), bank}) > 0);

    const Result<bool> inUse = fnTypeInUse(*db, tax);
    QVERIFY2(inUse.ok(), qPrintable(inUse.error()));
    QCOMPARE(inUse.value(), expected);
}

QSK_TEST_MAIN_EVERY_ENGINE(TestTypeRules)
#include "tst_typerules.moc"
