// The engine layer and the shared record routines against a real database file and a real
// server; then what only the server has (start-up there, copying a file there, lost
// connections) and what only the file has.
#include "support/DbfWriter.h"
#include "support/FaultVfs.h"
#include "support/TestSupport.h"

#include "store/ListSource.h"
#include "store/Recordset.h"
#include "store/Schema.h"
#include "store/modRoutines.h"

#include <QProcess>

#include <sys/stat.h>

using namespace qs;
using namespace qs::test;

namespace {

const QString kPassword = "pw_s3cret";

// This run's roles are kRole + "reader" and kRole + "builder".
const QString kRole = QString("qsk_%1_").arg(QCoreApplication::applicationPid());

// The connection string's part that logs in as the role.
QString loginAs(const char *role)
{
    return QString(" user=%1%2 password=%3").arg(kRole, role, kPassword);
}

// The first row's values, one space between, or the error.
QString values(Database &db, const QString &sql)
{
    auto rows = db.query({sql, {}});
    return rows && !rows->empty() ? QVariant(rows->front().values).toStringList().join(' ')
                                  : rows.error();
}

// Ends every connection to the database but the administrator's, as a
// server restart or a broken network would.
void cutConnections(const QString &conninfo)
{
    QVERIFY(TestServer::instance().admin(
        {"SELECT pg_terminate_backend(pid, 5000) FROM pg_stat_activity WHERE datname = ? AND "
         "pid <> pg_backend_pid()",
         {conninfo.section('=', 1)}}));
}

} // namespace

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

private Q_SLOTS:
    void initTestCase()
    {
        if (currentEngine() == Engine::Server)
            for (const char *role : {"reader", "builder"})
                QVERIFY(TestServer::instance().admin(
                    {QString("CREATE ROLE %1 LOGIN PASSWORD '%2'").arg(kRole + role, kPassword),
                     {}}));
    }
    void init()
    {
        // The tests named server... or file... are of what only that engine has.
        const QByteArray name = QTest::currentTestFunction();
        if (name.startsWith(currentEngine() == Engine::Server ? "file" : "server"))
            QSKIP("A matter of the other engine.");
        folder = std::make_unique<TestFolder>();
        db = makeDatabase(folder->file("Qsk.MDB"));
        QVERIFY(db);
    }
    void cleanup() { db.reset(), folder.reset(); }

    // The row's name gives the index and the operation; the IDs are the run read from the
    // found row on.
    void seekOnEachIndex_data()
    {
        QTest::addColumn<QVariant>("key");
        QTest::addColumn<QString>("ids");
        QTest::newRow("RecordPtr =") << QVariant(3) << "30 40 50";
        QTest::newRow("RecordPtr >") << QVariant(3) << "40 50";
        QTest::newRow("RecordPtr = none") << QVariant(99) << "";
        QTest::newRow("Description = other case") << QVariant("INVOICE") << "10 30 20 40 50";
        QTest::newRow("Description > passes equal") << QVariant("invoice") << "20 40 50";
        QTest::newRow("Description > prefix") << QVariant("Inv") << "10 30 20 40 50";
        QTest::newRow("Who >") << QVariant("b") << "20 30";
    }
    void seekOnEachIndex()
    {
        QFETCH(QVariant, key);
        QFETCH(QString, ids);
        QVERIFY(db->exec({"INSERT INTO Documents (ID, Description, DocumentType, Who) VALUES (10, "
                          "'Invoice', 0, 'Anna'), (20, 'Invoice 2', 0, 'Bob'), (30, 'invoice', 0, "
                          "'carl'), (40, 'Invoices', 0, ''), (50, 'Lease', 0, 'AB')",
                          {}}));
        const QStringList how = QString(QTest::currentDataTag()).split(' ');
        auto rs = db->openTable("Documents");
        QVERIFY(rs->setIndex(how[0]));
        QVERIFY(rs->seek(how[1] == "=" ? SeekOp::Equal : SeekOp::Greater, key));
        QCOMPARE(rs->noMatch(), ids.isEmpty());
        QStringList run;
        for (; !rs->noMatch() && !rs->eof(); rs->moveNext())
            run << rs->value("ID").toString();
        QCOMPARE(run.join(' '), ids);
    }

    void changesThroughADynasetShowInATableSetAtOnce()
    {
        addDocument(*db, {1, "one"});
        auto list = documentsBy("ID");
        auto table = db->openTable("Documents");
        QVERIFY(table->setIndex("Description"));

        QVERIFY(list->addNew() && list->setValue("ID", 2) && list->setValue("Description", "two"));
        QVERIFY(list->update() && list->recordCount() == 2);
        QVERIFY(table->seek(SeekOp::Equal, "TWO") && !table->noMatch());

        list->moveFirst();
        QVERIFY(list->edit() && list->setValue("Description", "uno") && list->update());
        QCOMPARE(list->value("Description").toString(), "uno");
        QVERIFY(table->seek(SeekOp::Equal, "uno") && !table->noMatch());

        // Still on the deleted row.
        QVERIFY(list->deleteCurrent() && !list->eof() && !list->bof() &&
                list->value("ID").isNull());
        list->moveNext();
        QCOMPARE(list->value("ID").toInt(), 2);
        QVERIFY(table->seek(SeekOp::Equal, "uno") && table->noMatch() && table->recordCount() == 1);
    }

    void singleQuoteRoundTripsInEveryTextField()
    {
        const QString q = "O'Brien's \"file\" '; DROP TABLE Types; --";
        const qint16 type = addType(*db, q);
        QVERIFY(type > 0 && addDocument(*db, {7, q, type, QDate(2020, 2, 29), q, q}));
        auto rs = documentsBy("ID");
        QVERIFY(rs->findFirst("Who", q) && rs->value("Date").toDate() == QDate(2020, 2, 29));
        for (const char *field : {"Description", "Who", "Note"})
            QCOMPARE(rs->value(field).toString(), q);
        // Text compares without letter case; a failed search keeps the position.
        auto types = db->openSnapshot({"SELECT * FROM Types", {}});
        QVERIFY(types->findFirst("Type", q.toUpper()) && !types->findFirst("Type", "kiwi"));
        QVERIFY(types->noMatch() && types->value("RecordPtr").toInt() == type);
        QVERIFY(!types->edit() && !types->addNew()); // a snapshot is read-only
    }

    // An empty set is at both ends and edits nothing; nulls stay null; a row deleted
    // elsewhere reads empty and cannot be edited or saved, and its key never comes back.
    void emptyNullAndDeletedRows()
    {
        auto rs = documentsBy("ID");
        QVERIFY(rs->eof() && rs->bof() && !rs->recordCount() && !rs->edit() &&
                !rs->deleteCurrent());
        QVERIFY(db->exec({"INSERT INTO Documents (ID) VALUES (1)", {}}));
        const qint64 key = db->lastInsertKey();
        QVERIFY(rs->requery() && rs->hasCurrent() && rs->value("DocumentType").toInt() == 0);
        QVERIFY(rs->value("Date").isNull() && rs->value("Note").isNull());
        QVERIFY(rs->edit() && db->exec({"DELETE FROM Documents WHERE RecordPtr = ?", {key}}) &&
                rs->setValue("Description", "changed"));
        QVERIFY(!rs->update().message().isEmpty()); // a failure, and says so
        rs->cancelUpdate();
        QVERIFY(rs->requery() && rs->eof());

        const qint64 key2 = addDocument(*db, {2, "two"});
        QVERIFY(rs->requery() && db->exec({"DELETE FROM Documents WHERE RecordPtr = ?", {key2}}) &&
                rs->value("Description").isNull());
        QVERIFY(!rs->edit() && !rs->deleteCurrent() && addDocument(*db, {3}) > key2);
    }

    // Locks are counted: a record stays locked until every take is given
    // back. Another connection is another user, and each table has its own.
    void locksAreCountedPerTable()
    {
        const qint64 key = addDocument(*db, {1, "locked twice"});
        auto other = db->opener()();
        QVERIFY(other && db->lockRecord("Documents", key) && db->lockRecord("Documents", key));
        db->unlockRecord("Documents", key);
        QCOMPARE(other.value()->lockRecord("Documents", key).kind(), FailureKind::RecordLocked);
        QVERIFY(other.value()->lockRecord("Types", key));
        db->unlockRecord("Documents", key);
        QVERIFY(other.value()->lockRecord("Documents", key));
    }

    // A lock file that cannot be used says so, instead of passing for a record that
    // another user holds (or waiting on a pipe for ever).
    void fileUnusableLockFileSaysSo()
    {
        addDocument(*db, {1, "one"});
        QCOMPARE(::mkfifo(QFile::encodeName(db->path() + ".lock").constData(), 0644), 0);
        const Status s = documentsBy("ID")->edit();
        QVERIFY2(!s && s.kind() != FailureKind::RecordLocked &&
                     s.message().contains(
                         "Qsk.MDB.lock\" is a named pipe, not a file. Records cannot be locked"),
                 qPrintable(s.message()));
    }

    // A failing disk is told with the file and what to do, not as the
    // engine's words alone.
    void fileDiskErrorIsExplained()
    {
        FaultVfs vfs;
        auto reopened = openSqliteDatabase(std::exchange(db, nullptr)->path()); // through vfs
        QVERIFY(reopened);
        vfs.failingReads = true;
        const QString e = reopened.value()->query({"SELECT * FROM Documents", {}}).error();
        QVERIFY2(e.startsWith("The database \"Qsk.MDB\" reported an error: disk I/O error") &&
                     e.contains("Check the disk"),
                 qPrintable(e));
    }

    // The shared record routines: a tab is no blank, blanks count in a type's name, and a
    // type deleted elsewhere is seen gone without any refresh.
    void routines()
    {
        QVERIFY(fnIsBlank("   ") && !fnIsBlank("\t"));
        const qint16 lease = addType(*db, "Lease  ");
        QCOMPARE(fnTypeName(*db, lease), "Lease  ");
        QCOMPARE(QList<qint16>({fnTypePtr(*db, "LEASE  "), fnTypePtr(*db, "Lease")}),
                 QList<qint16>({lease, 0}));
        QVERIFY(db->exec({"DELETE FROM Types WHERE RecordPtr = ?", {lease}}));
        QVERIFY(fnTypeName(*db, lease).isNull() && fnTypePtr(*db, "Lease  ") == 0);
    }

    // Each start that cannot go on says why, names no password, and leaves the database as
    // it was. (The real program's refusals cover the rest.)
    void serverRefusedStarts_data()
    {
        QTest::addColumn<QString>("conninfo"); // %1: the database
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("prepare"); // run as the superuser in the database
        const QString db = "dbname=%1 ";
        const auto row = [](const char *name, const QString &conninfo, const QString &expected,
                            const QString &prepare = {}) {
            QTest::newRow(name) << conninfo << expected << prepare;
        };
        row("bad option value", "sslmode=sometimes password=" + kPassword,
            "connection string is not valid");
        // A role that may create tables but not add the trigram extension gets a working
        // database, without those indexes.
        row("no trigram rights", db + loginAs("builder"), {},
            QString("ALTER DATABASE %1 OWNER TO %2; REVOKE CREATE ON DATABASE %1 FROM %2")
                .arg("%1", kRole + "builder"));
        row("may not create tables", db + loginAs("reader"),
            "lacks the CREATE privilege on the schema \"public\"");
        row("no schema to create in", db + "options='-csearch_path=nowhere'",
            "has no schema to create");
        row("not UTF8", db, "encoding SQL_ASCII");
        row("part of ours", db, "holds other tables (public.documents)",
            "CREATE TABLE Documents (n integer)");
        row("newer schema", db, "newer version of Quillstack (schema version 2",
            "CREATE TABLE Documents (n integer); CREATE TABLE Types (n integer); CREATE TABLE "
            "QskSchema (Version integer); INSERT INTO QskSchema VALUES (2) RETURNING Version");
    }
    void serverRefusedStarts()
    {
        QFETCH(QString, conninfo);
        QFETCH(QString, expected);
        QFETCH(QString, prepare);
        const QString target = TestServer::instance().createDatabase(
            false, expected.endsWith("SQL_ASCII") ? "SQL_ASCII" : "UTF8");
        const auto named = [&](QString text) { return text.replace("%1", target.section('=', 1)); };
        auto owner = connectServerDatabase(target);
        QVERIFY(owner);
        for (const QString &sql : prepare.split("; ", Qt::SkipEmptyParts))
            QVERIFY(owner.value()->exec({named(sql), {}}));
        const QString catalog = "SELECT COUNT(*) FROM pg_class";
        const QString before = values(*owner.value(), catalog);
        auto opened = openServerDatabase(named(conninfo));
        if (expected.isEmpty()) {
            QVERIFY2(opened && addDocument(*opened->db, {1, "works"}), qPrintable(opened.error()));
            QVERIFY(values(*opened->db, "SELECT COUNT(*) FROM pg_indexes WHERE indexname LIKE "
                                        "'%trigrams'") == "0");
            return;
        }
        QVERIFY2(opened.error().contains(expected) && !opened.error().contains(kPassword),
                 qPrintable(opened.error()));
        QCOMPARE(values(*owner.value(), catalog), before);
    }

    // Two copies start at once on an empty database beside a legacy table:
    // one creates the schema and imports, the other opens what it made.
    void serverTwoFirstStartsCreateAndImportOnce()
    {
        QList<DbfRow> rows;
        for (int i = 1; i <= 300; ++i)
            rows << DbfRow{' ', QByteArray::number(i),        "Document", {}, {},
                           {},  i % 2 ? "Letter" : "LETTER ", {},         {}};
        QVERIFY(writeFile("Document.DBF", dbfTable(rows)) &&
                writeFile("Document.DBT", dbtMemo({})));
        const QString target = TestServer::instance().createDatabase(false);
        QProcess starts[2];
        for (QProcess &p : starts) {
            p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            p.start(buildDir() + "/tests/store/qs_worker", {target, "start", folder->path()});
        }
        QStringList said;
        for (QProcess &p : starts) {
            QVERIFY(p.waitForFinished(30000) && p.exitCode() == 0);
            said << QString::fromUtf8(p.readAllStandardOutput()).trimmed();
        }
        QVERIFY2(said.contains("CREATED") && said.contains("OPENED"), qPrintable(said.join(' ')));
        auto opened = openServerDatabase(target);
        QVERIFY2(opened, qPrintable(opened.error()));
        // Documents, the first key, types, schema rows.
        QCOMPARE(values(*opened->db, "SELECT COUNT(*), MIN(RecordPtr), (SELECT COUNT(*) FROM "
                                     "Types), (SELECT COUNT(*) FROM QskSchema) FROM Documents"),
                 "300 1 1 1");
    }

    // A copy keeps every value and key, also by a role that may write the tables but not
    // rebuild their indexes (the copy then leaves the indexes in place). A refused copy
    // changes nothing.
    void serverCopy_data()
    {
        QTest::addColumn<bool>("ownsTables");
        QTest::addColumn<QString>("fileSql");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("owner") << true << QString() << QString();
        QTest::newRow("role that owns no tables") << false << QString() << QString();
        QTest::newRow("target holds documents") << true << QString() << "already holds documents";
        QTest::newRow("text the server cannot hold")
            << true << "INSERT INTO Documents (Note) VALUES ('a' || char(0) || 'b')"
            << "the character NUL";
    }
    void serverCopy()
    {
        QFETCH(bool, ownsTables);
        QFETCH(QString, fileSql);
        QFETCH(QString, refusal);
        // A database file, on the server's pass too.
        const Engine engine = std::exchange(currentEngine(), Engine::File);
        auto file = makeDatabase("Old.MDB");
        currentEngine() = engine;
        QVERIFY(file && addType(*file, "Lease"));
        const qint16 gone = addType(*file, "Tax");
        QVERIFY(file->exec({"DELETE FROM Types WHERE RecordPtr = ?", {gone}}));
        addDocument(*file, {7, "O'Neil \"tab\there\" back\\slash", 1, QDate(2024, 2, 29), "Ölberg",
                            "line\nbreak\r\n"});
        addDocument(*file, {-3});
        QVERIFY(file->exec({"INSERT INTO Documents (ID) VALUES (NULL)", {}}));
        const qint64 newest = addDocument(*file, {9, "deleted newest"});
        QVERIFY(file->exec({"DELETE FROM Documents WHERE RecordPtr = ?", {newest}}));
        if (!fileSql.isEmpty())
            QVERIFY(file->exec({fileSql, {}}));

        if (!ownsTables)
            for (const char *what : {"TABLES", "SEQUENCES"})
                QVERIFY(db->exec({QString("GRANT ALL ON ALL %1 IN SCHEMA public TO %2")
                                      .arg(what, kRole + "builder"),
                                  {}}));
        auto role = connectServerDatabase(testLocation(*db) + loginAs("builder"));
        QVERIFY2(role, qPrintable(role.error()));
        auto target = ownsTables ? std::move(db) : std::move(role.value());
        const bool used = refusal.startsWith("already") && addDocument(*target, {5, "here"});
        QList<qint64> progress;
        const Status s = copyFileToServer(
            "Old.MDB", *target, [&](qint64 done, qint64 total) { progress << done << total; });
        if (!refusal.isEmpty()) {
            QVERIFY2(s.message().contains(refusal) &&
                         s.message().contains("Nothing has been changed"),
                     qPrintable(s.message()));
            QCOMPARE(values(*target, "SELECT COUNT(*) FROM Documents"), used ? "1" : "0");
            QCOMPARE(values(*target, "SELECT COUNT(*) FROM Types"), "0");
            return;
        }
        QVERIFY2(s, qPrintable(s.message()));
        QCOMPARE(progress.mid(progress.size() - 2), QList<qint64>({4, 4}));
        for (const QString &table : {schema::Types, schema::Documents}) {
            const QString all = QString("SELECT * FROM %1 ORDER BY RecordPtr").arg(table);
            const Rows from = file->query({all, {}}).value(), to = target->query({all, {}}).value();
            QCOMPARE(to.size(), from.size());
            for (size_t i = 0; i < from.size(); ++i)
                QCOMPARE(to[i].values, from[i].values);
        }
        QVERIFY(values(*target,
                       "SELECT COUNT(*) FROM pg_indexes WHERE indexname = 'documents_id'") == "1");
        // Keys go on past every key the file ever gave.
        QCOMPARE(addDocument(*target, {10, "next"}), newest + 1);
        QCOMPARE(target->nextKey(schema::Types).value(), qint64(gone + 1));
    }

    // A lost connection fails the command under way and keeps what the user
    // typed; the next command connects again, takes the record lock back
    // (or finds another user has it) and saves.
    void serverLostConnectionLosesNothing()
    {
        const QString target = testLocation(*db);
        const qint64 mine = addDocument(*db, {1, "before"});
        const qint64 theirs = addDocument(*db, {2, "theirs before"});
        auto rs = documentsBy("ID");
        QVERIFY(rs->findFirst("RecordPtr", mine) && rs->edit() &&
                rs->setValue("Description", "typed"));
        cutConnections(target);
        QVERIFY(rs->update().message().contains("connection to the database server was lost"));
        QCOMPARE(rs->value("Description").toString(), "typed");
        QVERIFY(rs->update());
        QCOMPARE(values(*db, "SELECT COUNT(*) FROM Documents WHERE Description = 'typed'"), "1");

        // Meanwhile another user takes the record whose lock went with the connection.
        QVERIFY(rs->findFirst("RecordPtr", theirs) && rs->edit() &&
                rs->setValue("Description", "mine"));
        cutConnections(target);
        auto other = connectServerDatabase(target);
        QVERIFY(other && other.value()->lockRecord(schema::Documents, theirs));
        QVERIFY(!rs->update()); // the lost connection
        QVERIFY(rs->update().message().contains("another user"));
        rs->cancel();
        QCOMPARE(values(*db, "SELECT COUNT(*) FROM Documents WHERE Description = 'mine'"), "0");

        // A transaction cut off half-way leaves nothing; reads simply go on.
        {
            Transaction t(*db);
            QVERIFY(addDocument(*db, {3, "half"}) > 0);
            cutConnections(target);
            QCOMPARE(addDocument(*db, {4, "way"}), 0);
        }
        QCOMPARE(values(*db, "SELECT COUNT(*) FROM Documents"), "2");
        cutConnections(target);
        QCOMPARE(values(*db, "SELECT COUNT(*) FROM Documents"), "2");
        cutConnections(target);
        int streamed = 0;
        QVERIFY(db->scan({"SELECT RecordPtr FROM Documents", {}},
                         [&](const FieldReader &) { return ++streamed > 0; }));
        QCOMPARE(streamed, 2);
    }

    // An inner transaction is a savepoint; a failed statement makes the
    // outer commit fail rather than report a rollback as success.
    void serverTransactionsNest()
    {
        auto readOnly = connectServerDatabase(testLocation(*db) +
                                              " options='-cdefault_transaction_read_only=on'");
        QVERIFY(readOnly && readOnly.value()->isReadOnly() && !db->isReadOnly());
        QCOMPARE(db->nextKey(schema::Types).value(), qint64(1));
        {
            Transaction outer(*db);
            addType(*db, "kept");
            {
                Transaction inner(*db);
                addType(*db, "rolled back");
            }
            QVERIFY(outer.commit());
        }
        QCOMPARE(values(*db, "SELECT COUNT(*) FROM Types"), "1");
        Transaction failing(*db);
        addType(*db, "lost");
        QVERIFY(!db->exec({"INSERT INTO Nowhere VALUES (1)", {}}));
        QVERIFY(!failing.commit());
        QCOMPARE(values(*db, "SELECT COUNT(*) FROM Types"), "1");
    }
};

QSK_TEST_MAIN_EVERY_ENGINE(tst_Engine)
#include "tst_engine.moc"
