// Opening and creating the database file.
#include "support/FaultVfs.h"
#include "support/TestSupport.h"

#include "store/DatabaseFile.h"
#include "store/Recordset.h"

#include <QCryptographicHash>
#include <QProcess>
#include <QRandomGenerator>

using namespace qs;
using namespace qs::test;

namespace {

QByteArray fileHash(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::System | QDir::Hidden, QDir::Name);
}

int count(Database &db, const QString &table)
{
    auto rs = db.query({QStringLiteral("SELECT COUNT(*) FROM ") + table, {}});
    return rs && !rs->empty() ? rs->front().values.value(0).toInt() : -1;
}

} // namespace

class tst_Startup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void createsFromTemplate()
    {
        TestFolder folder;
        auto opened = openOrCreateDatabase(QStringLiteral("Qsk.MDB"), QStringLiteral("QskDef.MDB"));
        QVERIFY2(opened, qPrintable(opened.error()));
        QVERIFY(opened->created);
        QCOMPARE(count(*opened->db, QStringLiteral("Documents")), 0);
        QCOMPARE(count(*opened->db, QStringLiteral("Types")), 0);
        // The template itself is never opened or written.
        QCOMPARE(fileHash(QStringLiteral("QskDef.MDB")), fileHash(templatePath()));
    }

    void fillRunsBeforeTheDatabaseTakesItsName()
    {
        TestFolder folder;
        bool sawName = true;
        auto opened = openOrCreateDatabase(QStringLiteral("Qsk.MDB"), QStringLiteral("QskDef.MDB"),
                                           [&](Database &db) {
                                               sawName = QFile::exists(QStringLiteral("Qsk.MDB"));
                                               addType(db, QStringLiteral("Lease"));
                                               return Status::success();
                                           });
        QVERIFY(opened);
        QVERIFY(!sawName);
        QCOMPARE(count(*opened->db, QStringLiteral("Types")), 1);
    }

    void failedFillLeavesNoDatabase()
    {
        TestFolder folder;
        auto opened = openOrCreateDatabase(QStringLiteral("Qsk.MDB"), QStringLiteral("QskDef.MDB"),
                                           [](Database &) { return Status::failure("broken"); });
        QVERIFY(!opened);
        QCOMPARE(opened.error(), QStringLiteral("broken"));
        QVERIFY(!QFile::exists(QStringLiteral("Qsk.MDB")));
        QCOMPARE(QDir().entryList(QDir::Files), QStringList{"QskDef.MDB"});
    }

    // The rows reach the log; then the disk fills up, either while the log
    // is written or when the log is copied into the file itself.
    void fullDiskLeavesNoDatabase_data()
    {
        QTest::addColumn<bool>("logFull");
        QTest::newRow("log fits, file does not") << false;
        QTest::newRow("log does not fit") << true;
    }
    void fullDiskLeavesNoDatabase()
    {
        QFETCH(bool, logFull);
        TestFolder folder;
        {
            FaultVfs vfs;
            auto opened = openOrCreateDatabase(
                QStringLiteral("Qsk.MDB"), QStringLiteral("QskDef.MDB"), [&](Database &db) {
                    (logFull ? vfs.fullLogs : vfs.fullDatabaseFiles) = true;
                    Transaction t(db);
                    for (int i = 0; i < 200; ++i)
                        if (Status s = db.exec(
                                {QStringLiteral("INSERT INTO Documents (ID) VALUES (?)"), {i}});
                            !s)
                            return s;
                    return t.commit();
                });
            QVERIFY(!opened);
            QVERIFY2(opened.error().contains(QStringLiteral("not enough disk space")),
                     qPrintable(opened.error()));
            QVERIFY(opened.error().contains(QStringLiteral("Qsk.MDB")));
            QVERIFY(!opened.error().contains(QStringLiteral("creating")));
            QCOMPARE(filesIn(folder.path()), QStringList{"QskDef.MDB"});
        }
        // Once there is room, the next start creates the database.
        auto opened = openOrCreateDatabase(QStringLiteral("Qsk.MDB"), QStringLiteral("QskDef.MDB"));
        QVERIFY2(opened, qPrintable(opened.error()));
        QVERIFY(opened->created);
    }

    void existingDatabaseIsOpenedNotReplaced()
    {
        TestFolder folder;
        {
            auto db = makeDatabase(QStringLiteral("Qsk.MDB"));
            addDocument(*db, {42, QStringLiteral("kept")});
        }
        QFile::remove(QStringLiteral("QskDef.MDB")); // not needed once the database exists
        auto opened = openOrCreateDatabase(QStringLiteral("Qsk.MDB"), QString());
        QVERIFY2(opened, qPrintable(opened.error()));
        QVERIFY(!opened->created);
        QCOMPARE(count(*opened->db, QStringLiteral("Documents")), 1);
    }

    void missingTemplateIsReported()
    {
        TestFolder folder(false);
        auto opened = openOrCreateDatabase(
            QStringLiteral("Qsk.MDB"), findTemplate(QStringLiteral("QskDef.MDB"), folder.path()));
        QVERIFY(!opened);
        QVERIFY(opened.error().contains(QStringLiteral("QskDef.MDB")));
        QVERIFY(!QFile::exists(QStringLiteral("Qsk.MDB")));
    }

    void templateIsFoundInTheCurrentFolderFirst()
    {
        TestFolder folder;
        QCOMPARE(findTemplate(QStringLiteral("QskDef.MDB"), buildDir()),
                 QStringLiteral("QskDef.MDB"));
        QFile::remove(QStringLiteral("QskDef.MDB"));
        QCOMPARE(findTemplate(QStringLiteral("QskDef.MDB"), buildDir()), templatePath());
    }

    void foreignFileIsLeftUntouched_data()
    {
        QTest::addColumn<QByteArray>("content");
        QByteArray random(4096, '\0');
        QRandomGenerator gen(7);
        for (char &c : random)
            c = char(gen.bounded(256));
        QTest::newRow("random bytes") << random;
        QTest::newRow("empty file") << QByteArray();
        QTest::newRow("text") << QByteArray("ID,Description\n1,Lease\n");
        QByteArray sqliteWithoutTables;
        {
            QTemporaryDir dir;
            const QString path = dir.filePath(QStringLiteral("x.db"));
            QVERIFY(createDatabaseFromScript(path, QStringLiteral("CREATE TABLE Other (x);")));
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly));
            sqliteWithoutTables = f.readAll();
        }
        QTest::newRow("SQLite file without the tables") << sqliteWithoutTables;
    }
    void foreignFileIsLeftUntouched()
    {
        QFETCH(QByteArray, content);
        TestFolder folder;
        {
            QFile f(QStringLiteral("Qsk.MDB"));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        const QByteArray before = fileHash(QStringLiteral("Qsk.MDB"));
        auto opened = openOrCreateDatabase(QStringLiteral("Qsk.MDB"), QStringLiteral("QskDef.MDB"));
        QVERIFY(!opened);
        QVERIFY(opened.error().contains(QStringLiteral("Qsk.MDB")));
        QCOMPARE(fileHash(QStringLiteral("Qsk.MDB")), before);
        QCOMPARE(QFileInfo(QStringLiteral("Qsk.MDB")).size(), qint64(content.size()));
        QVERIFY(!QFile::exists(QStringLiteral("Qsk.MDB-wal")));
        QVERIFY(!QFile::exists(QStringLiteral("Qsk.MDB-journal")));
    }

    void startKilledHalfWayLeavesNoDatabase()
    {
        TestFolder folder;
        QProcess creator;
        creator.start(QDir(buildDir()).filePath(QStringLiteral("tests/store/qs_createhang")),
                      {QStringLiteral("Qsk.MDB"), QStringLiteral("QskDef.MDB")});
        QVERIFY(creator.waitForStarted());
        QVERIFY(creator.waitForReadyRead(10000));
        QCOMPARE(creator.readLine().trimmed(), QByteArray("FILLING"));
        creator.kill();
        QVERIFY(creator.waitForFinished());
        QVERIFY(!QFile::exists(QStringLiteral("Qsk.MDB")));

        // The next start begins again and clears what the dead one left.
        auto opened = openOrCreateDatabase(QStringLiteral("Qsk.MDB"), QStringLiteral("QskDef.MDB"));
        QVERIFY2(opened, qPrintable(opened.error()));
        QVERIFY(opened->created);
        QCOMPARE(count(*opened->db, QStringLiteral("Documents")), 0);
        const QStringList left = QDir().entryList({QStringLiteral("*creating*")}, QDir::Files);
        QVERIFY2(left.isEmpty(), qPrintable(left.join(QLatin1Char(' '))));
    }
};

QTEST_GUILESS_MAIN(tst_Startup)
#include "tst_startup.moc"
