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
        return db->openDynaset(std::make_shared<SqlListSource>(QStringLiteral("Documents"),
                                                               QString(), QVariantList(), orderBy));
    }

private Q_SLOTS:
    void init()
    {
        folder = std::make_unique<TestFolder>();
        db = makeDatabase(folder->file(QStringLiteral("Qsk.MDB")));
        QVERIFY(db);
    }
    void cleanup()
    {
        db.reset();
        folder.reset();
    }

    void keysArePositiveAndAscending()
    {
        qint64 last = 0;
        for (int i = 0; i < 5; ++i) {
            const qint64 key = addDocument(*db, {i, QStringLiteral("d%1").arg(i)});
            QVERIFY(key > last);
            last = key;
        }
        // Deleting the newest row does not let its key come back.
        QVERIFY(db->exec({QStringLiteral("DELETE FROM Documents WHERE RecordPtr = ?"), {last}}));
        QVERIFY(addDocument(*db, {9, QStringLiteral("again")}) > last);
    }

    void textComparesAndSortsWithoutLetterCase()
    {
        addDocument(*db, {1, QStringLiteral("banana")});
        addDocument(*db, {2, QStringLiteral("Apple")});
        addDocument(*db, {3, QStringLiteral("cherry")});
        addDocument(*db, {4, QStringLiteral("APPLE")});
        auto rs = documentsBy(QStringLiteral("Description, RecordPtr"));
        QStringList order;
        for (rs->moveFirst(); !rs->eof(); rs->moveNext())
            order << rs->value(QStringLiteral("description")).toString();
        QCOMPARE(order, QStringList({"Apple", "APPLE", "banana", "cherry"}));
        QVERIFY(rs->findFirst(QStringLiteral("Description"), QStringLiteral("BANANA")));
        QCOMPARE(rs->value(QStringLiteral("ID")).toInt(), 1);
        QVERIFY(!rs->findFirst(QStringLiteral("Description"), QStringLiteral("kiwi")));
        QVERIFY(rs->noMatch());
        QCOMPARE(rs->value(QStringLiteral("ID")).toInt(), 1); // position kept
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
        addDocument(*db, {10, QStringLiteral("Invoice"), 0, {}, QStringLiteral("Anna")});
        addDocument(*db, {20, QStringLiteral("Invoice 2"), 0, {}, QStringLiteral("Bob")});
        addDocument(*db, {30, QStringLiteral("invoice"), 0, {}, QStringLiteral("carl")});
        addDocument(*db, {40, QStringLiteral("Invoices"), 0, {}, QStringLiteral("")});
        addDocument(*db, {50, QStringLiteral("Lease"), 0, {}, QStringLiteral("AB")});
        auto rs = db->openTable(QStringLiteral("Documents"));
        QVERIFY(rs->setIndex(index));
        QVERIFY(rs->seek(op == 0 ? SeekOp::Equal : SeekOp::Greater, key));
        QCOMPARE(rs->noMatch(), expectedIds.isEmpty());
        QList<int> ids;
        if (!rs->noMatch())
            for (; !rs->eof(); rs->moveNext())
                ids << rs->value(QStringLiteral("ID")).toInt();
        QCOMPARE(ids, expectedIds);
    }

    void changesThroughADynasetShowInATableSetAtOnce()
    {
        addDocument(*db, {1, QStringLiteral("one")});
        auto list = documentsBy(QStringLiteral("ID"));
        auto table = db->openTable(QStringLiteral("Documents"));
        QVERIFY(table->setIndex(QStringLiteral("Description")));

        QVERIFY(list->addNew());
        QVERIFY(list->setValue(QStringLiteral("ID"), 2));
        QVERIFY(list->setValue(QStringLiteral("Description"), QStringLiteral("two")));
        QVERIFY(list->update());
        QCOMPARE(list->recordCount(), 2);
        QVERIFY(table->seek(SeekOp::Equal, QStringLiteral("TWO")));
        QVERIFY(!table->noMatch());

        list->moveFirst();
        QVERIFY(list->edit());
        QVERIFY(list->setValue(QStringLiteral("Description"), QStringLiteral("uno")));
        QVERIFY(list->update());
        QCOMPARE(list->value(QStringLiteral("Description")).toString(), QStringLiteral("uno"));
        QVERIFY(table->seek(SeekOp::Equal, QStringLiteral("uno")));
        QVERIFY(!table->noMatch());

        QVERIFY(list->deleteCurrent());
        QVERIFY(!list->eof() && !list->bof()); // still on the deleted row
        QVERIFY(list->value(QStringLiteral("ID")).isNull());
        list->moveNext();
        QCOMPARE(list->value(QStringLiteral("ID")).toInt(), 2);
        QVERIFY(table->seek(SeekOp::Equal, QStringLiteral("uno")));
        QVERIFY(table->noMatch());
        QCOMPARE(table->recordCount(), 1);
    }

    void singleQuoteRoundTripsInEveryTextField()
    {
        const QString q = QStringLiteral("O'Brien's \"file\" '; DROP TABLE Types; --");
        const qint16 type = addType(*db, q);
        QVERIFY(type > 0);
        addDocument(*db, {7, q, type, QDate(2020, 2, 29), q, q});
        auto rs = documentsBy(QStringLiteral("ID"));
        QVERIFY(rs->findFirst(QStringLiteral("Who"), q));
        for (const char *field : {"Description", "Who", "Note"})
            QCOMPARE(rs->value(QLatin1String(field)).toString(), q);
        QCOMPARE(rs->value(QStringLiteral("Date")).toDate(), QDate(2020, 2, 29));
        auto types = db->openSnapshot({QStringLiteral("SELECT * FROM Types"), {}});
        QVERIFY(types->findFirst(QStringLiteral("Type"), q.toUpper()));
        QCOMPARE(types->value(QStringLiteral("RecordPtr")).toInt(), int(type));
    }

    void nullsAreKept()
    {
        QVERIFY(db->exec({QStringLiteral("INSERT INTO Documents (ID) VALUES (5)"), {}}));
        auto rs = documentsBy(QStringLiteral("ID"));
        QVERIFY(rs->hasCurrent());
        QVERIFY(rs->value(QStringLiteral("Date")).isNull());
        QVERIFY(rs->value(QStringLiteral("Note")).isNull());
        QCOMPARE(rs->value(QStringLiteral("DocumentType")).toInt(), 0);
    }

    void emptySetIsAtBothEnds()
    {
        auto rs = documentsBy(QStringLiteral("ID"));
        QVERIFY(rs->eof());
        QVERIFY(rs->bof());
        QCOMPARE(rs->recordCount(), 0);
        QVERIFY(!rs->edit());
        QVERIFY(!rs->deleteCurrent());
    }

    void rowDeletedElsewhereReadsEmptyAndCannotBeEdited()
    {
        const qint64 key = addDocument(*db, {1, QStringLiteral("gone")});
        auto rs = documentsBy(QStringLiteral("ID"));
        QVERIFY(rs->edit());
        QVERIFY(db->exec({QStringLiteral("DELETE FROM Documents WHERE RecordPtr = ?"), {key}}));
        QVERIFY(rs->setValue(QStringLiteral("Description"), QStringLiteral("changed")));
        const Status s = rs->update();
        QVERIFY(!s.ok());
        QVERIFY(!s.message().isEmpty());
        rs->cancelUpdate();
        QVERIFY(rs->requery());
        QVERIFY(rs->eof());

        auto other = documentsBy(QStringLiteral("ID"));
        const qint64 key2 = addDocument(*db, {2, QStringLiteral("two")});
        QVERIFY(other->requery());
        QVERIFY(db->exec({QStringLiteral("DELETE FROM Documents WHERE RecordPtr = ?"), {key2}}));
        QVERIFY(other->value(QStringLiteral("Description")).isNull());
        QVERIFY(!other->edit());
        QVERIFY(!other->deleteCurrent());
    }

    void snapshotIsReadOnly()
    {
        addDocument(*db, {1, QStringLiteral("one")});
        auto rs = db->openSnapshot({QStringLiteral("SELECT MAX(ID) AS MaxID FROM Documents"), {}});
        QCOMPARE(rs->value(QStringLiteral("maxid")).toInt(), 1);
        QVERIFY(!rs->edit());
        QVERIFY(!rs->addNew());
    }

    // Locks are counted: a record stays locked until every take is given
    // back. Another connection is another user, and each table has its own.
    void locksAreCountedPerTable()
    {
        const qint64 key = addDocument(*db, {1, QStringLiteral("locked twice")});
        auto other = db->opener()();
        QVERIFY(other);
        QVERIFY(db->lockRecord(QStringLiteral("Documents"), key));
        QVERIFY(db->lockRecord(QStringLiteral("Documents"), key));
        db->unlockRecord(QStringLiteral("Documents"), key);
        QCOMPARE(other.value()->lockRecord(QStringLiteral("Documents"), key).kind(),
                 FailureKind::RecordLocked);
        QVERIFY(other.value()->lockRecord(QStringLiteral("Types"), key));
        db->unlockRecord(QStringLiteral("Documents"), key);
        QVERIFY(other.value()->lockRecord(QStringLiteral("Documents"), key));
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
        if (db->dialect() != SqlDialect::SQLite)
            QSKIP("A matter of the file engine.");
        QFETCH(int, kind);
        QFETCH(QString, phrase);
        if (kind == 2 && ::geteuid() == 0)
            QSKIP("Permissions do not stop root");
        addDocument(*db, {1, QStringLiteral("one")});
        const QByteArray lock = QFile::encodeName(db->path() + QStringLiteral(".lock"));
        QVERIFY(kind == 0   ? ::mkfifo(lock.constData(), 0644) == 0
                : kind == 1 ? ::mkdir(lock.constData(), 0755) == 0
                            : QFile(QString::fromLocal8Bit(lock)).open(QIODevice::WriteOnly) &&
                                  ::chmod(lock.constData(), 0444) == 0);
        auto rs = documentsBy(QStringLiteral("ID"));
        const Status s = rs->edit();
        QVERIFY(!s);
        QVERIFY2(s.message().contains(phrase), qPrintable(s.message()));
        QVERIFY(s.kind() != FailureKind::RecordLocked);
    }

    // A failing disk is told with the file and what to do, not as the
    // engine's words alone.
    void diskErrorIsExplained()
    {
        if (db->dialect() != SqlDialect::SQLite)
            QSKIP("A matter of the file engine.");
        addDocument(*db, {1, QStringLiteral("one")});
        const QString path = db->path();
        db.reset();
        FaultVfs vfs;
        auto reopened = openSqliteDatabase(path);
        QVERIFY(reopened);
        vfs.failingReads = true;
        auto rows = reopened.value()->query({QStringLiteral("SELECT * FROM Documents"), {}});
        QVERIFY(!rows);
        QVERIFY2(rows.error().startsWith(
                     QStringLiteral("The database \"Qsk.MDB\" reported an error: disk I/O error")),
                 qPrintable(rows.error()));
        QVERIFY(rows.error().contains(QStringLiteral("Check the disk")));
    }

    // Another process is another user: on the server, another client.
    void recordLockAcrossProcesses()
    {
        const qint64 key = addDocument(*db, {1, QStringLiteral("shared")});
        const qint64 free = addDocument(*db, {2, QStringLiteral("free")});
        auto rs = documentsBy(QStringLiteral("ID"));

        QProcess holder;
        holder.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        holder.start(QDir(buildDir()).filePath(QStringLiteral("tests/store/qs_lockholder")),
                     {testLocation(*db), QString::number(key)});
        QVERIFY(holder.waitForStarted());
        const auto answer = [&](const QByteArray &command) {
            holder.write(command + '\n');
            return holder.waitForReadyRead(10000) ? holder.readLine().trimmed() : QByteArray();
        };
        QVERIFY(holder.waitForReadyRead(10000));
        QCOMPARE(holder.readLine().trimmed(), QByteArray("LOCKED"));

        QVERIFY(rs->findFirst(QStringLiteral("RecordPtr"), key));
        QCOMPARE(rs->edit().kind(), FailureKind::RecordLocked);
        QCOMPARE(rs->deleteCurrent().kind(), FailureKind::RecordLocked);
        QVERIFY(rs->findFirst(QStringLiteral("RecordPtr"), free));
        QVERIFY(rs->edit());
        // What the other user deletes meanwhile cannot be saved here.
        QCOMPARE(answer("delete " + QByteArray::number(free)), QByteArray("DELETED"));
        QVERIFY(rs->setValue(QStringLiteral("Description"), QStringLiteral("too late")));
        QVERIFY(!rs->update());
        rs->cancel();

        QCOMPARE(answer("release"), QByteArray("RELEASED"));
        QVERIFY(rs->findFirst(QStringLiteral("RecordPtr"), key));
        QVERIFY(rs->edit());
        rs->cancel();

        QCOMPARE(answer("lock"), QByteArray("LOCKED"));
        QVERIFY(!rs->edit());
        // A copy that dies never leaves its record locked (the server may
        // take a moment to see the connection gone).
        holder.kill();
        QVERIFY(holder.waitForFinished());
        QTRY_VERIFY_WITH_TIMEOUT(rs->edit().ok(), 5000);
        rs->cancel();
    }

    // The shared record routines.
    void isBlank_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("blank");
        QTest::newRow("empty") << QString() << true;
        QTest::newRow("blanks") << QStringLiteral("   ") << true;
        QTest::newRow("letter") << QStringLiteral(" a ") << false;
        QTest::newRow("tab is a character") << QStringLiteral("\t") << false;
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

QSK_TEST_MAIN_EVERY_ENGINE(tst_Engine)
#include "tst_engine.moc"
