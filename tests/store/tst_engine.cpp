// The engine layer and the shared record routines against a real database file and a real
// server.
#include "support/FaultVfs.h"
#include "support/TestSupport.h"

#include "store/ListSource.h"
#include "store/Recordset.h"
#include "store/modRoutines.h"

#include <sys/stat.h>

using namespace qs;
using namespace qs::test;

class tst_Engine : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestFolder> folder;
    std::unique_ptr<Database> db;

    std::unique_ptr<Recordset> documentsBy(const QString &orderBy)
    {
        return db->openDynaset(
            std::make_shared<SqlListSource>("Documents", QString(), QVariantList(), orderBy));
    }
    Status remove(qint64 key)
    {
        return db->exec({"DELETE FROM Documents WHERE RecordPtr = ?", {key}});
    }

private Q_SLOTS:
    void init()
    {
        folder = std::make_unique<TestFolder>();
        db = makeDatabase(folder->file("Qsk.MDB"));
        QVERIFY(db);
    }
    void cleanup()
    {
        db.reset();
        folder.reset();
    }

    void seekOnEachIndex_data()
    {
        QTest::addColumn<QString>("index");
        QTest::addColumn<int>("op");
        QTest::addColumn<QVariant>("key");
        QTest::addColumn<QList<int>>("expectedIds"); // the run read from the found row on
        QTest::newRow("RecordPtr =") << "RecordPtr" << 0 << QVariant(3) << QList<int>{30, 40, 50};
        QTest::newRow("RecordPtr >") << "RecordPtr" << 1 << QVariant(3) << QList<int>{40, 50};
        QTest::newRow("RecordPtr = none") << "RecordPtr" << 0 << QVariant(99) << QList<int>{};
        QTest::newRow("Description = other case")
            << "Description" << 0 << QVariant("INVOICE") << QList<int>{10, 30, 20, 40, 50};
        QTest::newRow("Description > passes equal")
            << "Description" << 1 << QVariant("invoice") << QList<int>{20, 40, 50};
        QTest::newRow("Description > prefix")
            << "Description" << 1 << QVariant("Inv") << QList<int>{10, 30, 20, 40, 50};
        QTest::newRow("Who >") << "Who" << 1 << QVariant("b") << QList<int>{20, 30};
        QTest::newRow("Who = none") << "Who" << 0 << QVariant("zz") << QList<int>{};
    }
    void seekOnEachIndex()
    {
        QFETCH(QString, index);
        QFETCH(int, op);
        QFETCH(QVariant, key);
        QFETCH(QList<int>, expectedIds);
        addDocument(*db, {10, "Invoice", 0, {}, "Anna"});
        addDocument(*db, {20, "Invoice 2", 0, {}, "Bob"});
        addDocument(*db, {30, "invoice", 0, {}, "carl"});
        addDocument(*db, {40, "Invoices", 0, {}, ""});
        addDocument(*db, {50, "Lease", 0, {}, "AB"});
        auto rs = db->openTable("Documents");
        QVERIFY(rs->setIndex(index));
        QVERIFY(rs->seek(op == 0 ? SeekOp::Equal : SeekOp::Greater, key));
        QCOMPARE(rs->noMatch(), expectedIds.isEmpty());
        QList<int> ids;
        if (!rs->noMatch())
            for (; !rs->eof(); rs->moveNext())
                ids << rs->value("ID").toInt();
        QCOMPARE(ids, expectedIds);
    }

    void changesThroughADynasetShowInATableSetAtOnce()
    {
        addDocument(*db, {1, "one"});
        auto list = documentsBy("ID");
        auto table = db->openTable("Documents");
        QVERIFY(table->setIndex("Description"));

        QVERIFY(list->addNew() && list->setValue("ID", 2) && list->setValue("Description", "two"));
        QVERIFY(list->update());
        QCOMPARE(list->recordCount(), 2);
        QVERIFY(table->seek(SeekOp::Equal, "TWO"));
        QVERIFY(!table->noMatch());

        list->moveFirst();
        QVERIFY(list->edit() && list->setValue("Description", "uno"));
        QVERIFY(list->update());
        QCOMPARE(list->value("Description").toString(), "uno");
        QVERIFY(table->seek(SeekOp::Equal, "uno"));
        QVERIFY(!table->noMatch());

        QVERIFY(list->deleteCurrent());
        QVERIFY(!list->eof() && !list->bof()); // still on the deleted row
        QVERIFY(list->value("ID").isNull());
        list->moveNext();
        QCOMPARE(list->value("ID").toInt(), 2);
        QVERIFY(table->seek(SeekOp::Equal, "uno"));
        QVERIFY(table->noMatch());
        QCOMPARE(table->recordCount(), 1);
    }

    void singleQuoteRoundTripsInEveryTextField()
    {
        const QString q = "O'Brien's \"file\" '; DROP TABLE Types; --";
        const qint16 type = addType(*db, q);
        QVERIFY(type > 0);
        addDocument(*db, {7, q, type, QDate(2020, 2, 29), q, q});
        auto rs = documentsBy("ID");
        QVERIFY(rs->findFirst("Who", q));
        for (const char *field : {"Description", "Who", "Note"})
            QCOMPARE(rs->value(field).toString(), q);
        QCOMPARE(rs->value("Date").toDate(), QDate(2020, 2, 29));
        // Text compares without letter case; a failed search keeps the position.
        auto types = db->openSnapshot({"SELECT * FROM Types", {}});
        QVERIFY(types->findFirst("Type", q.toUpper()));
        QVERIFY(!types->findFirst("Type", "kiwi") && types->noMatch());
        QCOMPARE(types->value("RecordPtr").toInt(), int(type));
        QVERIFY(!types->edit() && !types->addNew()); // a snapshot is read-only
    }

    // An empty set is at both ends and edits nothing; nulls stay null; a row deleted
    // elsewhere reads empty and cannot be edited or saved, and its key never comes back.
    void emptyNullAndDeletedRows()
    {
        auto rs = documentsBy("ID");
        QVERIFY(rs->eof() && rs->bof() && rs->recordCount() == 0);
        QVERIFY(!rs->edit() && !rs->deleteCurrent());
        QVERIFY(db->exec({"INSERT INTO Documents (ID) VALUES (1)", {}}));
        const qint64 key = db->lastInsertKey();
        QVERIFY(rs->requery() && rs->hasCurrent());
        QVERIFY(rs->value("Date").isNull() && rs->value("Note").isNull());
        QCOMPARE(rs->value("DocumentType").toInt(), 0);
        QVERIFY(rs->edit());
        QVERIFY(remove(key));
        QVERIFY(rs->setValue("Description", "changed"));
        const Status s = rs->update();
        QVERIFY(!s.ok() && !s.message().isEmpty());
        rs->cancelUpdate();
        QVERIFY(rs->requery());
        QVERIFY(rs->eof());

        const qint64 key2 = addDocument(*db, {2, "two"});
        QVERIFY(rs->requery());
        QVERIFY(remove(key2));
        QVERIFY(rs->value("Description").isNull());
        QVERIFY(!rs->edit() && !rs->deleteCurrent());
        QVERIFY(addDocument(*db, {3}) > key2);
    }

    // Locks are counted: a record stays locked until every take is given
    // back. Another connection is another user, and each table has its own.
    void locksAreCountedPerTable()
    {
        const qint64 key = addDocument(*db, {1, "locked twice"});
        auto other = db->opener()();
        QVERIFY(other);
        QVERIFY(db->lockRecord("Documents", key));
        QVERIFY(db->lockRecord("Documents", key));
        db->unlockRecord("Documents", key);
        QCOMPARE(other.value()->lockRecord("Documents", key).kind(), FailureKind::RecordLocked);
        QVERIFY(other.value()->lockRecord("Types", key));
        db->unlockRecord("Documents", key);
        QVERIFY(other.value()->lockRecord("Documents", key));
    }

    // A lock file that cannot be used says so, instead of passing for a record that
    // another user holds (or waiting on a pipe for ever).
    void unusableLockFileSaysSo()
    {
        if (db->dialect() != SqlDialect::SQLite)
            QSKIP("A matter of the file engine.");
        addDocument(*db, {1, "one"});
        QCOMPARE(::mkfifo(QFile::encodeName(db->path() + ".lock").constData(), 0644), 0);
        const Status s = documentsBy("ID")->edit();
        QVERIFY2(!s && s.message().contains("Qsk.MDB.lock\" is a named pipe, not a file. Records "
                                            "cannot be locked"),
                 qPrintable(s.message()));
        QVERIFY(s.kind() != FailureKind::RecordLocked);
    }

    // A failing disk is told with the file and what to do, not as the
    // engine's words alone.
    void diskErrorIsExplained()
    {
        if (db->dialect() != SqlDialect::SQLite)
            QSKIP("A matter of the file engine.");
        const QString path = db->path();
        db.reset();
        FaultVfs vfs;
        auto reopened = openSqliteDatabase(path);
        QVERIFY(reopened);
        vfs.failingReads = true;
        auto rows = reopened.value()->query({"SELECT * FROM Documents", {}});
        QVERIFY(!rows);
        QVERIFY2(
            rows.error().startsWith("The database \"Qsk.MDB\" reported an error: disk I/O error") &&
                rows.error().contains("Check the disk"),
            qPrintable(rows.error()));
    }

    // The shared record routines: a tab is no blank, blanks count in a type's name, and a
    // type deleted elsewhere is seen gone without any refresh.
    void routines()
    {
        QVERIFY(fnIsBlank("   ") && !fnIsBlank("\t"));
        const qint16 lease = addType(*db, "Lease  ");
        QCOMPARE(fnTypeName(*db, lease), "Lease  ");
        QCOMPARE(fnTypePtr(*db, "LEASE  "), lease);
        QCOMPARE(fnTypePtr(*db, "Lease"), qint16(0));
        QVERIFY(db->exec({"DELETE FROM Types WHERE RecordPtr = ?", {lease}}));
        QCOMPARE(fnTypeName(*db, lease), QString());
        QCOMPARE(fnTypePtr(*db, "Lease  "), qint16(0));
    }
};

int runStartupTests(int argc, char **argv);
int runServerTests(int argc, char **argv);

// Start-up on a file, the engine on the file and on the server, then what only the server has.
int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int failures = runStartupTests(argc, argv);
    failures += runOnEveryEngine<tst_Engine>(argc, argv);
    return failures + runServerTests(argc, argv);
}
#include "tst_engine.moc"
