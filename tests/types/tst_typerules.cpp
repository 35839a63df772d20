// The checks behind the add-type dialog and the delete test of the types window, on every
// engine; the messages they lead to are the window tests' part.
#include "support/TestSupport.h"
#include "types/TypeRules.h"

#include <QTest>

using namespace qs;
using namespace qs::test;

Q_DECLARE_METATYPE(qs::NewTypeCheck)

class TestTypeRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void checkNewType_data()
    {
        QTest::addColumn<QString>("stored"); // empty: added, then deleted
        QTest::addColumn<qint64>("key");     // the stored type's key, 0: the engine's
        QTest::addColumn<QString>("name");
        QTest::addColumn<NewTypeCheck>("expected");
        const auto add = [](const char *row, const QString &stored, qint64 key, const QString &name,
                            NewTypeCheck expected) {
            QTest::newRow(row) << stored << key << name << expected;
        };
        add("blank", "Tax", 0, "   ", NewTypeCheck::Blank);
        add("same name", "Tax", 0, "Tax", NewTypeCheck::AlreadyDefined);
        add("other letter case", "Tax", 0, "tAX", NewTypeCheck::AlreadyDefined);
        add("only ASCII letters fold", "\u00c9tat", 0, "\u00e9TAT", NewTypeCheck::Accepted);
        add("leading blanks are part of the name", "Tax", 0, "  Tax", NewTypeCheck::Accepted);
        add("trailing blanks as stored", "Tax  ", 0, "Tax  ", NewTypeCheck::AlreadyDefined);
        add("quotes stay text", "Tax", 0, "x' OR '1'='1", NewTypeCheck::Accepted);
        add("one key left", "Old", 32766, "New", NewTypeCheck::Accepted);
        add("last key used", "Old", 32767, "New", NewTypeCheck::NoKeyLeft);
        // Keys are never reused, so deleting the highest type frees nothing.
        add("last key used, type deleted", {}, 32767, "New", NewTypeCheck::NoKeyLeft);
    }
    void checkNewType()
    {
        QFETCH(QString, stored);
        QFETCH(qint64, key);
        QFETCH(QString, name);
        QFETCH(NewTypeCheck, expected);
        TestFolder folder;
        auto db = makeDatabase(folder.file(QStringLiteral("Qsk.MDB")));
        QVERIFY(db);
        QVERIFY(db->exec({"INSERT INTO Types (Type, RecordPtr) VALUES (?, ?)",
                          {stored.isEmpty() ? "Old" : stored, key ? key : 1}}));
        // As a copy from a file leaves it: the engine's next key lies past this one.
        if (db->dialect() != SqlDialect::SQLite)
            QVERIFY(db->exec({"SELECT setval(pg_get_serial_sequence('types', 'recordptr'), ?)",
                              {key ? key : 1}}));
        if (stored.isEmpty())
            QVERIFY(db->exec({"DELETE FROM Types", {}}));

        const Result<NewTypeCheck> check = fnCheckNewType(*db, name);
        QVERIFY2(check.ok(), qPrintable(check.error()));
        QCOMPARE(check.value(), expected);
        // The check did not use up the key that the real add then receives.
        if (expected == NewTypeCheck::Accepted)
            QCOMPARE(qint64(addType(*db, name)), (key ? key : 1) + 1);
    }

    void typeInUse()
    {
        TestFolder folder;
        auto db = makeDatabase(folder.file(QStringLiteral("Qsk.MDB")));
        QVERIFY(db);
        const qint16 tax = addType(*db, QStringLiteral("Tax"));
        const qint16 bank = addType(*db, QStringLiteral("Bank"));
        QVERIFY(addDocument(*db, {1, QStringLiteral("Return"), tax}) > 0);
        QVERIFY(addDocument(*db, {2, QStringLiteral("Letter"), 0}) > 0);
        QCOMPARE(fnTypeInUse(*db, tax).value(), true);
        QCOMPARE(fnTypeInUse(*db, bank).value(), false);
    }
};

QSK_TEST_MAIN_EVERY_ENGINE(TestTypeRules)
#include "tst_typerules.moc"
