// The engine layer and the shared record routines against a real database file and a real
// server.
#include "support/FaultVfs.h"
#include "support/TestSupport.h"

#include "store/ListSource.h"
#include "store/Recordset.h"
#include "store/modRoutines.h"

#include <QProcess>

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

    // Keys grow, and deleting the newest row does not let its key come back.
    void keysArePositiveAndAscending()
    {
        qint64 last = 0;
        for (int i = 0; i < 3; ++i) {
            const qint64 key = addDocument(*db, {i});
            QVERIFY(key > last);
            last = key;
        }
        QVERIFY(remove(last));
        QVERIFY(addDocument(*db, {9}) > last);
    }

    void textComparesAndSortsWithoutLetterCase()
    {
        for (const auto &[id, text] :
             {std::pair{1, "banana"}, {2, "Apple"}, {3, "cherry"}, {4, "APPLE"}})
            addDocument(*db, {id, text});
        auto rs = documentsBy("Description, RecordPtr");
        QStringList order;
        for (rs->moveFirst(); !rs->eof(); rs->moveNext())
            order << rs->value("description").toString();
        QCOMPARE(order, QStringList({"Apple", "APPLE", "banana", "cherry"}));
        QVERIFY(rs->findFirst("Description", "BANANA"));
        QCOMPARE(rs->value("ID").toInt(), 1);
        QVERIFY(!rs->findFirst("Description", "kiwi"));
        QVERIFY(rs->noMatch());
        QCOMPARE(rs->value("ID").toInt(), 1); // position kept
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
        auto types = db->openSnapshot({"SELECT * FROM Types", {}});
        QVERIFY(types->findFirst("Type", q.toUpper()));
        QCOMPARE(types->value("RecordPtr").toInt(), int(type));
    }

    // An empty set is at both ends and edits nothing; nulls stay null; a snapshot is read-only.
    void emptyNullAndReadOnlySets()
    {
        auto rs = documentsBy("ID");
        QVERIFY(rs->eof() && rs->bof());
        QCOMPARE(rs->recordCount(), 0);
        QVERIFY(!rs->edit());
        QVERIFY(!rs->deleteCurrent());
        QVERIFY(db->exec({"INSERT INTO Documents (ID) VALUES (5)", {}}));
        rs = documentsBy("ID");
        QVERIFY(rs->hasCurrent());
        QVERIFY(rs->value("Date").isNull() && rs->value("Note").isNull());
        QCOMPARE(rs->value("DocumentType").toInt(), 0);
        auto snapshot = db->openSnapshot({"SELECT MAX(ID) AS MaxID FROM Documents", {}});
        QCOMPARE(snapshot->value("maxid").toInt(), 5);
        QVERIFY(!snapshot->edit());
        QVERIFY(!snapshot->addNew());
    }

    void rowDeletedElsewhereReadsEmptyAndCannotBeEdited()
    {
        const qint64 key = addDocument(*db, {1, "gone"});
        auto rs = documentsBy("ID");
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
        QVERIFY(!rs->edit());
        QVERIFY(!rs->deleteCurrent());
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

    // A lock file that cannot be used says so, instead of passing for a
    // record that another user holds (or waiting on a pipe for ever).
    void unusableLockFileSaysSo_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("phrase");
        QTest::newRow("named pipe")
            << 0 << "Qsk.MDB.lock\" is a named pipe, not a file. Records cannot be locked";
        QTest::newRow("folder")
            << 1 << "Qsk.MDB.lock\" is a folder, not a file. Records cannot be locked";
        QTest::newRow("read-only") << 2 << "Qsk.MDB.lock\" cannot be opened for writing";
    }
    void unusableLockFileSaysSo()
    {
        QFETCH(int, kind);
        QFETCH(QString, phrase);
        if (db->dialect() != SqlDialect::SQLite || (kind == 2 && ::geteuid() == 0))
            QSKIP("A matter of the file engine, and permissions do not stop root.");
        addDocument(*db, {1, "one"});
        const QByteArray lock = QFile::encodeName(db->path() + ".lock");
        QVERIFY(kind == 0   ? ::mkfifo(lock.constData(), 0644) == 0
                : kind == 1 ? ::mkdir(lock.constData(), 0755) == 0
                            : writeFile(lock, {}) && ::chmod(lock.constData(), 0444) == 0);
        const Status s = documentsBy("ID")->edit();
        QVERIFY2(!s && s.message().contains(phrase), qPrintable(s.message()));
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

    // Another process is another user: on the server, another client.
    void recordLockAcrossProcesses()
    {
        const qint64 key = addDocument(*db, {1, "shared"});
        const qint64 free = addDocument(*db, {2, "free"});
        auto rs = documentsBy("ID");

        QProcess holder;
        holder.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        holder.start(QDir(buildDir()).filePath("tests/store/qs_worker"),
                     {testLocation(*db), "hold", QString::number(key)});
        const auto answer = [&](const QByteArray &command) {
            if (!command.isEmpty())
                holder.write(command + '\n');
            return holder.waitForReadyRead(10000) ? holder.readLine().trimmed() : QByteArray();
        };
        QCOMPARE(answer({}), "LOCKED");

        QVERIFY(rs->findFirst("RecordPtr", key));
        QCOMPARE(rs->edit().kind(), FailureKind::RecordLocked);
        QCOMPARE(rs->deleteCurrent().kind(), FailureKind::RecordLocked);
        QVERIFY(rs->findFirst("RecordPtr", free));
        QVERIFY(rs->edit());
        // What the other user deletes meanwhile cannot be saved here.
        QCOMPARE(answer("delete " + QByteArray::number(free)), "DELETED");
        QVERIFY(rs->setValue("Description", "too late"));
        QVERIFY(!rs->update());
        rs->cancel();

        QCOMPARE(answer("release"), "RELEASED");
        QVERIFY(rs->findFirst("RecordPtr", key));
        QVERIFY(rs->edit());
        rs->cancel();

        QCOMPARE(answer("lock"), "LOCKED");
        QVERIFY(!rs->edit());
        // A copy that dies never leaves its record locked (the server may
        // take a moment to see the connection gone).
        holder.kill();
        QVERIFY(holder.waitForFinished());
        QTRY_VERIFY_WITH_TIMEOUT(rs->edit().ok(), 5000);
        rs->cancel();
    }

    // The shared record routines: blanks, and type names and keys, with changes made
    // elsewhere seen without any refresh.
    void routines()
    {
        QVERIFY(fnIsBlank(QString()) && fnIsBlank("   "));
        QVERIFY(!fnIsBlank(" a ") && !fnIsBlank("\t"));
        const qint16 lease = addType(*db, "Lease  ");
        QCOMPARE(fnTypeName(*db, lease), "Lease  ");
        QCOMPARE(fnTypeName(*db, 0), QString());
        QCOMPARE(fnTypeName(*db, 999), QString());
        QCOMPARE(fnTypePtr(*db, "LEASE  "), lease);
        QCOMPARE(fnTypePtr(*db, "Lease"), qint16(0)); // blanks count in "="
        QCOMPARE(fnTypePtr(*db, QString()), qint16(0));
        QCOMPARE(fnTypePtr(*db, "O'Hara"), qint16(0));
        const qint16 tax = addType(*db, "Tax");
        QCOMPARE(fnTypeName(*db, tax), "Tax");
        QVERIFY(db->exec({"DELETE FROM Types WHERE RecordPtr = ?", {tax}}));
        QCOMPARE(fnTypeName(*db, tax), QString());
        QCOMPARE(fnTypePtr(*db, "tax"), qint16(0));
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
