// What only the server engine has: start-up on a server, copying a file
// there, lost connections, and the indexes the server's plans rely on.
#include "support/TestSupport.h"

#include "main/DocumentQuery.h"
#include "store/ListSource.h"
#include "store/Recordset.h"
#include "store/Schema.h"
#include "support/DbfWriter.h"

#include <QProcess>

using namespace qs;
using namespace qs::test;

namespace {

const QString kPassword = "pw_s3cret";

QString roleName(const char *what)
{
    return QString("qsk_%1_%2").arg(what).arg(QCoreApplication::applicationPid());
}

// The connection string's part that logs in as the role.
QString loginAs(const char *what)
{
    return QString(" user=%1 password=%2").arg(roleName(what), kPassword);
}

QString databaseName(const QString &conninfo)
{
    return conninfo.section('=', 1);
}

qint64 count(Database &db, const QString &sql)
{
    auto rows = db.query({sql, {}});
    return rows && !rows->empty() ? rows->front().values.value(0).toLongLong() : -1;
}

qint64 documents(Database &db, const QString &where = "TRUE")
{
    return count(db, "SELECT COUNT(*) FROM Documents WHERE " + where);
}

std::unique_ptr<Database> open(const QString &conninfo)
{
    auto opened = openServerDatabase(conninfo);
    if (!opened)
        qWarning("%s", qPrintable(opened.error()));
    return opened ? std::move(opened->db) : nullptr;
}

// Ends every connection to the database but the administrator's, as a
// server restart or a broken network would.
void cutConnections(const QString &conninfo)
{
    QVERIFY(TestServer::instance().admin(
        {"SELECT pg_terminate_backend(pid, 5000) FROM pg_stat_activity WHERE datname = ? AND "
         "pid <> pg_backend_pid()",
         {databaseName(conninfo)}}));
}

} // namespace

class tst_Server : public QObject
{
    Q_OBJECT

private:
    TestServer &server = TestServer::instance();

private Q_SLOTS:
    void initTestCase()
    {
        if (!TestServer::configured())
            QSKIP("No test server (PGHOST, PGPORT, ...).");
        const Status s = server.start();
        QVERIFY2(s, qPrintable(s.message()));
        for (const char *role : {"reader", "builder"})
            QVERIFY(server.admin(
                {QString("CREATE ROLE %1 LOGIN PASSWORD '%2'").arg(roleName(role), kPassword),
                 {}}));
    }
    void cleanupTestCase() { server.dropAll(); }

    // Each start that cannot go on says why, names no password, and leaves the database as
    // it was. (The real program's refusals cover the rest.)
    void refusedStarts_data()
    {
        QTest::addColumn<QString>("conninfo"); // %1: the database
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("prepare"); // run as the superuser in the database
        QTest::addColumn<QString>("encoding");
        const QString db = "dbname=%1 ";
        const auto row = [](const char *name, const QString &conninfo, const QString &expected,
                            const QString &prepare = {}, const QString &encoding = "UTF8") {
            QTest::newRow(name) << conninfo << expected << prepare << encoding;
        };
        row("bad option value", "sslmode=sometimes password=" + kPassword,
            "connection string is not valid");
        // A role that may create tables but not add the trigram extension gets a working
        // database, without those indexes.
        row("no trigram rights", db + loginAs("builder"), {},
            QString("ALTER DATABASE %1 OWNER TO %2; REVOKE CREATE ON DATABASE %1 FROM %2")
                .arg("%1", roleName("builder")));
        row("may not create tables", db + loginAs("reader"),
            "lacks the CREATE privilege on the schema \"public\"");
        row("no schema to create in", db + "options='-csearch_path=nowhere'",
            "has no schema to create");
        row("not UTF8", db, "encoding SQL_ASCII", {}, "SQL_ASCII");
        row("foreign tables", db, "holds other tables (public.orders)",
            "CREATE TABLE Orders (n integer)");
        row("part of ours", db, "holds other tables (public.documents)",
            "CREATE TABLE Documents (n integer)");
        row("newer schema", db, "newer version of Quillstack (schema version 2",
            "CREATE TABLE Documents (n integer); CREATE TABLE Types (n integer); CREATE TABLE "
            "QskSchema (Version integer); INSERT INTO QskSchema VALUES (2) RETURNING Version");
    }
    void refusedStarts()
    {
        QFETCH(QString, conninfo);
        QFETCH(QString, expected);
        QFETCH(QString, prepare);
        QFETCH(QString, encoding);
        const QString target = server.createDatabase(false, encoding);
        auto owner = connectServerDatabase(target);
        QVERIFY(owner);
        for (const QString &sql : prepare.split("; ", Qt::SkipEmptyParts))
            QVERIFY(owner.value()->exec(
                {sql.contains("%1") ? sql.arg(databaseName(target)) : sql, {}}));
        const QString catalog = "SELECT COUNT(*) FROM pg_class";
        const qint64 before = count(*owner.value(), catalog);
        auto opened = openServerDatabase(
            conninfo.contains("%1") ? conninfo.arg(databaseName(target)) : conninfo);
        if (expected.isEmpty()) {
            QVERIFY2(opened && addDocument(*opened->db, {1, "works"}), qPrintable(opened.error()));
            QCOMPARE(count(*opened->db, "SELECT COUNT(*) FROM pg_indexes WHERE indexname LIKE "
                                        "'%trigrams'"),
                     0);
            return;
        }
        QVERIFY2(!opened && opened.error().contains(expected) &&
                     !opened.error().contains(kPassword),
                 qPrintable(opened.error()));
        QCOMPARE(count(*owner.value(), catalog), before);
    }

    // Two copies start at once on an empty database beside a legacy table:
    // one creates the schema and imports, the other opens what it made.
    void twoFirstStartsCreateAndImportOnce()
    {
        TestFolder folder;
        QList<DbfRow> rows;
        for (int i = 1; i <= 300; ++i) {
            DbfRow r;
            r.id = QByteArray::number(i);
            r.description = "Document " + r.id;
            r.type = i % 2 ? "Letter" : "LETTER ";
            rows << r;
        }
        QVERIFY(writeFile("Document.DBF", dbfTable(rows)) &&
                writeFile("Document.DBT", dbtMemo({})));
        const QString target = server.createDatabase(false);
        QProcess starts[2];
        for (QProcess &p : starts) {
            p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            p.start(QDir(buildDir()).filePath("tests/store/qs_worker"),
                    {target, "start", folder.path()});
        }
        QStringList said;
        for (QProcess &p : starts) {
            QVERIFY(p.waitForFinished(30000));
            QCOMPARE(p.exitCode(), 0);
            said << QString::fromUtf8(p.readAllStandardOutput()).trimmed();
        }
        said.sort();
        QCOMPARE(said, QStringList({"CREATED", "OPENED"}));
        auto db = open(target);
        QVERIFY(db);
        QCOMPARE(documents(*db), 300);
        QCOMPARE(count(*db, "SELECT COUNT(*) FROM Types"), 1);
        QCOMPARE(count(*db, "SELECT COUNT(*) FROM QskSchema"), 1);
        QCOMPARE(count(*db, "SELECT MIN(RecordPtr) FROM Documents"), 1);
    }

    // A copy keeps every value and key, also by a role that may write the tables but not
    // rebuild their indexes (the copy then leaves the indexes in place). A refused copy
    // changes nothing.
    void copyToServer_data()
    {
        QTest::addColumn<bool>("ownsTables");
        QTest::addColumn<QString>("fileSql");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("owner") << true << ""
                               << "";
        QTest::newRow("role that owns no tables") << false << ""
                                                  << "";
        QTest::newRow("target holds documents") << true << ""
                                                << "already holds documents";
        QTest::newRow("value the server refuses")
            << true << "INSERT INTO Documents (ID) VALUES ('twelve')"
            << "invalid input syntax";
        QTest::newRow("text the server cannot hold")
            << true << "INSERT INTO Documents (Note) VALUES ('a' || char(0) || 'b')"
            << "the character NUL";
    }
    void copyToServer()
    {
        QFETCH(bool, ownsTables);
        QFETCH(QString, fileSql);
        QFETCH(QString, refusal);
        TestFolder folder;
        auto file = makeDatabase(folder.file("Qsk.MDB"));
        QVERIFY(file);
        addType(*file, "Lease");
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

        const QString target = server.createDatabase();
        if (!ownsTables)
            for (const char *what : {"TABLES", "SEQUENCES"})
                QVERIFY(connectServerDatabase(target).value()->exec(
                    {QString("GRANT ALL ON ALL %1 IN SCHEMA public TO %2")
                         .arg(what, roleName("builder")),
                     {}}));
        auto db = open(ownsTables ? target : target + loginAs("builder"));
        QVERIFY(db);
        const bool used = refusal.startsWith("already");
        if (used)
            addDocument(*db, {5, "already here"});
        QList<qint64> progress;
        const Status s = copyFileToServer(
            "Qsk.MDB", *db, [&](qint64 done, qint64 total) { progress << done << total; });
        if (!refusal.isEmpty()) {
            QVERIFY2(!s && s.message().contains(refusal) &&
                         s.message().contains("Nothing has been changed"),
                     qPrintable(s.message()));
            QCOMPARE(documents(*db), used ? 1 : 0);
            QCOMPARE(count(*db, "SELECT COUNT(*) FROM Types"), 0);
            return;
        }
        QVERIFY2(s, qPrintable(s.message()));
        QCOMPARE(progress.mid(progress.size() - 2), QList<qint64>({4, 4}));
        for (const QString &table : {schema::Types, schema::Documents}) {
            const QString all = QString("SELECT * FROM %1 ORDER BY RecordPtr").arg(table);
            const Rows from = file->query({all, {}}).value();
            const Rows to = db->query({all, {}}).value();
            QCOMPARE(to.size(), from.size());
            for (size_t i = 0; i < from.size(); ++i)
                QCOMPARE(to[i].values, from[i].values);
        }
        QCOMPARE(count(*db, "SELECT COUNT(*) FROM pg_indexes WHERE indexname = 'documents_id'"), 1);
        // Keys go on past every key the file ever gave.
        QCOMPARE(addDocument(*db, {10, "next"}), newest + 1);
        QCOMPARE(db->nextKey(schema::Types).value(), qint64(gone + 1));
    }

    // A lost connection fails the command under way and keeps what the user
    // typed; the next command connects again, takes the record lock back
    // (or finds another user has it) and saves.
    void lostConnectionLosesNothing()
    {
        const QString target = server.createDatabase();
        auto db = open(target);
        QVERIFY(db);
        const qint64 mine = addDocument(*db, {1, "before"});
        const qint64 theirs = addDocument(*db, {2, "theirs before"});
        auto rs = db->openDynaset(
            std::make_shared<SqlListSource>(schema::Documents, QString(), QVariantList(), "ID"));
        QVERIFY(rs->findFirst("RecordPtr", mine) && rs->edit());
        QVERIFY(rs->setValue("Description", "typed"));
        cutConnections(target);
        const Status lost = rs->update();
        QVERIFY2(!lost && lost.message().contains("connection to the database server was lost"),
                 qPrintable(lost.message()));
        QCOMPARE(rs->value("Description").toString(), "typed");
        QVERIFY(rs->update());
        QCOMPARE(documents(*db, "Description = 'typed'"), 1);

        // Meanwhile another user takes the record whose lock went with the connection.
        QVERIFY(rs->findFirst("RecordPtr", theirs) && rs->edit());
        QVERIFY(rs->setValue("Description", "mine"));
        cutConnections(target);
        auto other = connectServerDatabase(target);
        QVERIFY(other && other.value()->lockRecord(schema::Documents, theirs));
        QVERIFY(!rs->update()); // the lost connection
        const Status taken = rs->update();
        QVERIFY2(!taken && taken.message().contains("another user"), qPrintable(taken.message()));
        rs->cancel();
        QCOMPARE(documents(*db, "Description = 'mine'"), 0);

        // A transaction cut off half-way leaves nothing; reads simply go on.
        {
            Transaction t(*db);
            QVERIFY(addDocument(*db, {3, "half"}) > 0);
            cutConnections(target);
            QCOMPARE(addDocument(*db, {4, "way"}), 0);
        }
        QCOMPARE(documents(*db), 2);
        cutConnections(target);
        QCOMPARE(documents(*db), 2);
        cutConnections(target);
        int streamed = 0;
        QVERIFY(db->scan({"SELECT RecordPtr FROM Documents", {}},
                         [&](const FieldReader &) { return ++streamed > 0; }));
        QCOMPARE(streamed, 2);
    }

    // An inner transaction is a savepoint; a failed statement makes the
    // outer commit fail rather than report a rollback as success.
    void transactionsNest()
    {
        const QString target = server.createDatabase();
        auto readOnly =
            connectServerDatabase(target + " options='-cdefault_transaction_read_only=on'");
        QVERIFY(readOnly && readOnly.value()->isReadOnly());
        auto db = open(target);
        QVERIFY(!db->isReadOnly());
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
        QCOMPARE(count(*db, "SELECT COUNT(*) FROM Types"), 1);
        Transaction failing(*db);
        addType(*db, "lost");
        QVERIFY(!db->exec({"INSERT INTO Nowhere VALUES (1)", {}}));
        QVERIFY(!failing.commit());
        QCOMPARE(count(*db, "SELECT COUNT(*) FROM Types"), 1);
    }

    // The statement builders' folded expressions must be the indexed ones, or a million
    // documents are read for every keystroke in the filter.
    void filterUsesItsIndex()
    {
        auto db = open(server.createDatabase());
        // A table this small is read whole unless told otherwise.
        QVERIFY(db->exec({"SET enable_seqscan = off", {}}) &&
                db->exec({"SET enable_indexscan = off", {}}));
        DocumentQuery q;
        q.filterOn = true;
        q.description = "LEA[ST]E";
        const Statement st = DocumentListSource(q).keyStatement(db->dialect());
        auto plan = db->query({"EXPLAIN " + st.sql, st.binds});
        QVERIFY2(plan, qPrintable(plan.error()));
        QString text;
        for (const Row &r : *plan)
            text += r.values.value(0).toString() + '\n';
        QVERIFY2(text.contains("documents_descriptiontrigrams"), qPrintable(text));
    }
};

int runServerTests(int argc, char **argv)
{
    tst_Server test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_server.moc"
