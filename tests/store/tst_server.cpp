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

const QString kPassword = QStringLiteral("pw_s3cret");

QString roleName(const char *what)
{
    return QStringLiteral("qsk_%1_%2")
        .arg(QLatin1String(what))
        .arg(QCoreApplication::applicationPid());
}

QString databaseName(const QString &conninfo)
{
    return conninfo.section(QLatin1Char('='), 1);
}

qint64 count(Database &db, const QString &sql)
{
    auto rows = db.query({sql, {}});
    return rows && !rows->empty() ? rows->front().values.value(0).toLongLong() : -1;
}

Rows all(Database &db, const QString &table)
{
    auto rows = db.query({QStringLiteral("SELECT * FROM %1 ORDER BY RecordPtr").arg(table), {}});
    return rows ? std::move(rows.value()) : Rows();
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
        {QStringLiteral("SELECT pg_terminate_backend(pid, 5000) FROM pg_stat_activity WHERE "
                        "datname = ? AND pid <> pg_backend_pid()"),
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
            QVERIFY(server.admin({QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD '%2'")
                                      .arg(roleName(role), kPassword),
                                  {}}));
    }
    void cleanupTestCase() { server.dropAll(); }

    // Each start that cannot go on says why, names no password, and leaves
    // the database as it was.
    void refusedStarts_data()
    {
        QTest::addColumn<QString>("conninfo");
        QTest::addColumn<QString>("prepare"); // run as the superuser in the database
        QTest::addColumn<QString>("encoding");
        QTest::addColumn<QString>("expected");
        const QString db = QStringLiteral("dbname=%1 ");
        const QString utf8 = QStringLiteral("UTF8");
        QTest::newRow("bad connection string") << "host=localhost port password=" + kPassword << ""
                                               << utf8 << "connection string is not valid";
        QTest::newRow("bad URI") << "postgresql://[::1:5432/x?password=" + kPassword << "" << utf8
                                 << "connection string is not valid";
        QTest::newRow("bad option value") << "sslmode=sometimes password=" + kPassword << "" << utf8
                                          << "connection string is not valid";
        QTest::newRow("unreachable") << "host=127.0.0.1 port=1 password=" + kPassword << "" << utf8
                                     << "could not be reached";
        QTest::newRow("login refused")
            << db + "user=nobody_here password=" + kPassword << "" << utf8 << "refused the login";
        QTest::newRow("may not create tables")
            << db + "user=" + roleName("reader") + " password=" + kPassword << "" << utf8
            << "lacks the CREATE privilege on the schema \"public\"";
        QTest::newRow("no schema to create in") << db + "options='-csearch_path=nowhere'"
                                                << "" << utf8 << "has no schema to create";
        QTest::newRow("not UTF8") << db << ""
                                  << "SQL_ASCII"
                                  << "encoding SQL_ASCII";
        QTest::newRow("foreign tables") << db << "CREATE TABLE Orders (n integer)" << utf8
                                        << "holds other tables (public.orders)";
        QTest::newRow("part of ours") << db << "CREATE TABLE Documents (n integer)" << utf8
                                      << "holds other tables (public.documents)";
        QTest::newRow("newer schema") << db
                                      << "CREATE TABLE Documents (n integer); CREATE TABLE Types "
                                         "(n integer); CREATE TABLE QskSchema (Version integer); "
                                         "INSERT INTO QskSchema VALUES (2) RETURNING Version"
                                      << utf8 << "newer version of Quillstack (schema version 2";
    }
    void refusedStarts()
    {
        QFETCH(QString, conninfo);
        QFETCH(QString, prepare);
        QFETCH(QString, encoding);
        QFETCH(QString, expected);
        const QString target = server.createDatabase(false, encoding);
        const QString name = databaseName(target);
        qint64 before = 0;
        if (!prepare.isEmpty()) {
            auto owner = connectServerDatabase(target);
            QVERIFY(owner);
            for (const QString &sql : prepare.split(QStringLiteral("; ")))
                QVERIFY(owner.value()->exec({sql, {}}));
            before = count(*owner.value(), QStringLiteral("SELECT COUNT(*) FROM pg_class"));
        }
        auto opened = openServerDatabase(conninfo.contains(QLatin1String("%1")) ? conninfo.arg(name)
                                                                                : conninfo);
        QVERIFY(!opened);
        QVERIFY2(opened.error().contains(expected), qPrintable(opened.error()));
        QVERIFY(!opened.error().contains(kPassword));
        if (!prepare.isEmpty()) {
            auto owner = connectServerDatabase(target);
            QCOMPARE(count(*owner.value(), QStringLiteral("SELECT COUNT(*) FROM pg_class")),
                     before);
        }
    }

    // A role that may create tables but not add the trigram extension still
    // gets a working database, without those indexes.
    void startWithoutTrigramRights()
    {
        const QString target = server.createDatabase(false);
        const QString builder = roleName("builder");
        QVERIFY(server.admin(
            {QStringLiteral("ALTER DATABASE %1 OWNER TO %2").arg(databaseName(target), builder),
             {}}));
        QVERIFY(server.admin({QStringLiteral("REVOKE CREATE ON DATABASE %1 FROM %2")
                                  .arg(databaseName(target), builder),
                              {}}));
        auto db = open(target + QStringLiteral(" user=%1 password=%2").arg(builder, kPassword));
        QVERIFY(db);
        QCOMPARE(
            count(*db, QStringLiteral(
                           "SELECT COUNT(*) FROM pg_indexes WHERE indexname LIKE '%trigrams'")),
            0);
        QVERIFY(addDocument(*db, {1, QStringLiteral("works")}) > 0);
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
        QVERIFY(writeFile(folder.file(QStringLiteral("Document.DBF")), dbfTable(rows)));
        QVERIFY(writeFile(folder.file(QStringLiteral("Document.DBT")), dbtMemo({})));
        const QString target = server.createDatabase(false);
        QProcess starts[2];
        for (QProcess &p : starts) {
            p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            p.start(QDir(buildDir()).filePath(QStringLiteral("tests/store/qs_serverstart")),
                    {target, folder.path()});
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
        QCOMPARE(count(*db, QStringLiteral("SELECT COUNT(*) FROM Documents")), 300);
        QCOMPARE(count(*db, QStringLiteral("SELECT COUNT(*) FROM Types")), 1);
        QCOMPARE(count(*db, QStringLiteral("SELECT COUNT(*) FROM QskSchema")), 1);
        QCOMPARE(count(*db, QStringLiteral("SELECT MIN(RecordPtr) FROM Documents")), 1);
    }

    void copyKeepsEveryValueAndKey()
    {
        TestFolder folder;
        auto file = makeDatabase(folder.file(QStringLiteral("Qsk.MDB")));
        QVERIFY(file);
        addType(*file, QStringLiteral("Lease"));
        const qint16 gone = addType(*file, QStringLiteral("Tax"));
        QVERIFY(file->exec({QStringLiteral("DELETE FROM Types WHERE RecordPtr = ?"), {gone}}));
        addDocument(*file,
                    {7, QStringLiteral("O'Neil \"tab\there\" back\\slash"), 1, QDate(2024, 2, 29),
                     QStringLiteral("Ölberg"), QStringLiteral("line\nbreak\r\n")});
        addDocument(*file, {-3, QString(), 0, QVariant(), QString(), QString()});
        QVERIFY(file->exec({QStringLiteral("INSERT INTO Documents (ID) VALUES (NULL)"), {}}));
        const qint64 newest = addDocument(*file, {9, QStringLiteral("deleted newest")});
        QVERIFY(
            file->exec({QStringLiteral("DELETE FROM Documents WHERE RecordPtr = ?"), {newest}}));

        auto db = open(server.createDatabase());
        QVERIFY(db);
        QList<qint64> progress;
        const Status s =
            copyFileToServer(QStringLiteral("Qsk.MDB"), *db,
                             [&](qint64 done, qint64 total) { progress << done << total; });
        QVERIFY2(s, qPrintable(s.message()));
        QCOMPARE(progress.mid(progress.size() - 2), QList<qint64>({4, 4}));
        for (const QString &table : {schema::Types, schema::Documents}) {
            const Rows from = all(*file, table);
            const Rows to = all(*db, table);
            QCOMPARE(to.size(), from.size());
            for (size_t i = 0; i < from.size(); ++i)
                QCOMPARE(to[i].values, from[i].values);
        }
        // Keys go on past every key the file ever gave.
        QCOMPARE(addDocument(*db, {10, QStringLiteral("next")}), newest + 1);
        QCOMPARE(db->nextKey(schema::Types).value(), qint64(gone + 1));
    }

    void refusedCopyChangesNothing_data()
    {
        QTest::addColumn<QString>("fileSql");
        QTest::addColumn<bool>("targetUsed");
        QTest::addColumn<QString>("expected");
        QTest::newRow("target holds documents") << "" << true << "already holds documents";
        QTest::newRow("value the server refuses")
            << "INSERT INTO Documents (ID, Description) VALUES ('twelve', 'x')" << false
            << "invalid input syntax";
        QTest::newRow("text the server cannot hold")
            << "INSERT INTO Documents (ID, Description) VALUES (2, 'a' || char(0) || 'b')" << false
            << "the character NUL";
    }
    void refusedCopyChangesNothing()
    {
        QFETCH(QString, fileSql);
        QFETCH(bool, targetUsed);
        QFETCH(QString, expected);
        TestFolder folder;
        auto file = makeDatabase(folder.file(QStringLiteral("Qsk.MDB")));
        addType(*file, QStringLiteral("Lease"));
        addDocument(*file, {1, QStringLiteral("first")});
        if (!fileSql.isEmpty())
            QVERIFY(file->exec({fileSql, {}}));
        auto db = open(server.createDatabase());
        if (targetUsed)
            addDocument(*db, {5, QStringLiteral("already here")});
        const Status s = copyFileToServer(QStringLiteral("Qsk.MDB"), *db);
        QVERIFY(!s);
        QVERIFY2(s.message().contains(expected) && s.message().contains("Nothing has been changed"),
                 qPrintable(s.message()));
        QCOMPARE(count(*db, QStringLiteral("SELECT COUNT(*) FROM Documents")), targetUsed ? 1 : 0);
        QCOMPARE(count(*db, QStringLiteral("SELECT COUNT(*) FROM Types")), 0);
    }

    // A lost connection fails the command under way and keeps what the user
    // typed; the next command connects again, takes the record lock back
    // (or finds another user has it) and saves.
    void lostConnectionLosesNothing()
    {
        const QString target = server.createDatabase();
        auto db = open(target);
        QVERIFY(db);
        const qint64 mine = addDocument(*db, {1, QStringLiteral("before")});
        const qint64 theirs = addDocument(*db, {2, QStringLiteral("theirs before")});
        auto rs = db->openDynaset(std::make_shared<SqlListSource>(
            schema::Documents, QString(), QVariantList(), QStringLiteral("ID")));
        QVERIFY(rs->findFirst(QStringLiteral("RecordPtr"), mine));
        QVERIFY(rs->edit());
        rs->setValue(QStringLiteral("Description"), QStringLiteral("typed"));
        cutConnections(target);
        const Status lost = rs->update();
        QVERIFY(!lost);
        QVERIFY2(
            lost.message().contains(QStringLiteral("connection to the database server was lost")),
            qPrintable(lost.message()));
        QCOMPARE(rs->value(QStringLiteral("Description")).toString(), QStringLiteral("typed"));
        QVERIFY(rs->update());
        QCOMPARE(count(*db, QStringLiteral(
                                "SELECT COUNT(*) FROM Documents WHERE Description = 'typed'")),
                 1);

        // Meanwhile another user takes the record whose lock went with the connection.
        QVERIFY(rs->findFirst(QStringLiteral("RecordPtr"), theirs));
        QVERIFY(rs->edit());
        rs->setValue(QStringLiteral("Description"), QStringLiteral("mine"));
        cutConnections(target);
        auto other = connectServerDatabase(target);
        QVERIFY(other);
        QVERIFY(other.value()->lockRecord(schema::Documents, theirs));
        QVERIFY(!rs->update()); // the lost connection
        const Status taken = rs->update();
        QVERIFY2(!taken && taken.message().contains(QStringLiteral("another user")),
                 qPrintable(taken.message()));
        rs->cancel();
        QCOMPARE(
            count(*db, QStringLiteral("SELECT COUNT(*) FROM Documents WHERE Description = 'mine'")),
            0);

        // A transaction cut off half-way leaves nothing; reads simply go on.
        {
            Transaction t(*db);
            QVERIFY(addDocument(*db, {3, QStringLiteral("half")}) > 0);
            cutConnections(target);
            QCOMPARE(addDocument(*db, {4, QStringLiteral("way")}), 0);
        }
        QCOMPARE(count(*db, QStringLiteral("SELECT COUNT(*) FROM Documents")), 2);
        cutConnections(target);
        QCOMPARE(count(*db, QStringLiteral("SELECT COUNT(*) FROM Documents")), 2);
        cutConnections(target);
        int streamed = 0;
        QVERIFY(db->scan({QStringLiteral("SELECT RecordPtr FROM Documents"), {}},
                         [&](const FieldReader &) { return ++streamed > 0; }));
        QCOMPARE(streamed, 2);
    }

    // An inner transaction is a savepoint; a failed statement makes the
    // outer commit fail rather than report a rollback as success.
    void transactionsNest()
    {
        const QString target = server.createDatabase();
        auto readOnly = connectServerDatabase(
            target + QStringLiteral(" options='-cdefault_transaction_read_only=on'"));
        QVERIFY(readOnly && readOnly.value()->isReadOnly());
        auto db = open(target);
        QVERIFY(!db->isReadOnly());
        QCOMPARE(db->nextKey(schema::Types).value(), qint64(1));
        {
            Transaction outer(*db);
            addType(*db, QStringLiteral("kept"));
            {
                Transaction inner(*db);
                addType(*db, QStringLiteral("rolled back"));
            }
            QVERIFY(outer.commit());
        }
        QCOMPARE(count(*db, QStringLiteral("SELECT COUNT(*) FROM Types")), 1);
        Transaction failing(*db);
        addType(*db, QStringLiteral("lost"));
        QVERIFY(!db->exec({QStringLiteral("INSERT INTO Nowhere VALUES (1)"), {}}));
        QVERIFY(!failing.commit());
        QCOMPARE(count(*db, QStringLiteral("SELECT COUNT(*) FROM Types")), 1);
    }

    // A role that may write the tables but not rebuild their indexes copies
    // with the indexes in place.
    void copyByARoleThatOwnsNoTables()
    {
        TestFolder folder;
        auto file = makeDatabase(folder.file(QStringLiteral("Qsk.MDB")));
        addDocument(*file, {1, QStringLiteral("first")});
        const QString target = server.createDatabase();
        {
            auto owner = connectServerDatabase(target);
            QVERIFY(owner);
            for (const char *what : {"TABLES", "SEQUENCES"})
                QVERIFY(owner.value()->exec(
                    {QStringLiteral("GRANT ALL ON ALL %1 IN SCHEMA public TO %2")
                         .arg(QLatin1String(what), roleName("builder")),
                     {}}));
        }
        auto db = open(target +
                       QStringLiteral(" user=%1 password=%2").arg(roleName("builder"), kPassword));
        QVERIFY(db);
        const Status s = copyFileToServer(QStringLiteral("Qsk.MDB"), *db);
        QVERIFY2(s, qPrintable(s.message()));
        QCOMPARE(count(*db, QStringLiteral("SELECT COUNT(*) FROM Documents")), 1);
        QCOMPARE(
            count(*db, QStringLiteral(
                           "SELECT COUNT(*) FROM pg_indexes WHERE indexname = 'documents_id'")),
            1);
    }

    // The statement builders' folded expressions must be the indexed ones,
    // or a million documents are read for every keystroke.
    void listQueriesUseTheIndexes_data()
    {
        QTest::addColumn<QString>("description");
        QTest::addColumn<int>("order");
        QTest::addColumn<QString>("index");
        QTest::newRow("newest first") << "" << int(ListOrder::IdDescending) << "documents_id ";
        QTest::newRow("by number") << "" << int(ListOrder::Id) << "documents_idup";
        QTest::newRow("by description")
            << "" << int(ListOrder::Description) << "documents_description ";
        QTest::newRow("substring")
            << "LEAS" << int(ListOrder::IdDescending) << "documents_descriptiontrigrams";
        QTest::newRow("with a list")
            << "LEA[ST]E" << int(ListOrder::IdDescending) << "documents_descriptiontrigrams";
    }
    void listQueriesUseTheIndexes()
    {
        QFETCH(QString, description);
        QFETCH(int, order);
        QFETCH(QString, index);
        auto db = open(server.createDatabase());
        // A table this small is read whole unless told otherwise; a filter
        // is read through its index, an order without a sort.
        QVERIFY(db->exec({QStringLiteral("SET enable_seqscan = off"), {}}));
        QVERIFY(db->exec({description.isEmpty() ? QStringLiteral("SET enable_sort = off")
                                                : QStringLiteral("SET enable_indexscan = off"),
                          {}}));
        DocumentQuery q;
        q.filterOn = true;
        q.description = description;
        q.order = ListOrder(order);
        const Statement st = DocumentListSource(q).keyStatement(db->dialect());
        auto plan = db->query({QStringLiteral("EXPLAIN ") + st.sql, st.binds});
        QVERIFY2(plan, qPrintable(plan.error()));
        QString text;
        for (const Row &r : *plan)
            text += r.values.value(0).toString() + QLatin1Char('\n');
        QVERIFY2(text.contains(index), qPrintable(text));
    }
};

QTEST_GUILESS_MAIN(tst_Server)
#include "tst_server.moc"
