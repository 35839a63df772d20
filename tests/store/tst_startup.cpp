// Opening and creating the database file.
#include "support/FaultVfs.h"
#include "support/TestSupport.h"

#include "store/DataFiles.h"
#include "store/DatabaseFile.h"
#include "store/Recordset.h"

#include <QCryptographicHash>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>

#include <atomic>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace qs;
using namespace qs::test;

namespace {

// Hash of an ordinary file's bytes (never opens a pipe, which would wait).
QByteArray fileHash(const QString &path)
{
    struct stat st = {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

// The bytes of a SQLite file made by `script`.
QByteArray sqliteFile(const QString &script)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("x.db"));
    return createDatabaseFromScript(path, script) ? readFile(path) : QByteArray();
}

enum Setup {
    Content,              // Qsk.MDB holds the row's bytes
    ReadOnlyFile,         // ... a database whose file the user may not write
    ReadOnlyFolder,       // ... in a folder the user may not write
    EngineReadOnlyFile,   // the same two as SQLite's file layer reports them
    EngineReadOnlyFolder, //
    Locked,               // another program is writing to the database
    Fifo,                 // Qsk.MDB is a named pipe
    Folder,               // ... a folder
    BrokenLink,           // ... a symbolic link to nothing
    Template,             // no Qsk.MDB; the template holds the row's bytes
    TemplateFifo          // ... the template is a named pipe
};

// Another program in the middle of writing to a database.
class LockHolder
{
public:
    explicit LockHolder(const QString &path)
    {
        if (path.isEmpty())
            return;
        sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_exec(m_db, "PRAGMA journal_mode=DELETE; BEGIN EXCLUSIVE", nullptr, nullptr,
                     nullptr);
    }
    ~LockHolder()
    {
        if (m_db)
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(m_db);
    }
    LockHolder(const LockHolder &) = delete;
    LockHolder &operator=(const LockHolder &) = delete;

private:
    sqlite3 *m_db = nullptr;
};

// Opens or creates the folder's database, failing the test if that does not
// end in time (a named pipe opened for reading waits for a writer forever).
Result<OpenedDatabase> openWithin(const QString &db)
{
    std::optional<Result<OpenedDatabase>> result;
    std::atomic<bool> done = false;
    std::thread worker([&] {
        result.emplace(openOrCreateDatabase(db, QStringLiteral("QskDef.MDB")));
        done = true;
    });
    const bool inTime = QTest::qWaitFor([&] { return done.load(); }, 20000);
    if (!inTime) {
        // Lets a reader stuck on a pipe go on.
        for (const char *pipe : {"Qsk.MDB", "QskDef.MDB"})
            ::close(::open(pipe, O_WRONLY | O_NONBLOCK));
    }
    worker.join();
    if (!inTime)
        return Status::failure(QStringLiteral("hung"));
    return std::move(*result);
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
    // The first start makes the database from the template, which it never opens or writes,
    // and fills it before the file takes its name; a later start opens it as it is.
    void firstAndLaterStart()
    {
        TestFolder folder;
        bool sawName = true;
        auto opened = openOrCreateDatabase("Qsk.MDB", "QskDef.MDB", [&](Database &db) {
            sawName = QFile::exists("Qsk.MDB");
            return addType(db, "Lease") ? Status::success() : Status::failure("no type");
        });
        QVERIFY2(opened, qPrintable(opened.error()));
        QVERIFY(opened->created && !sawName);
        QCOMPARE(count(*opened->db, "Documents"), 0);
        QCOMPARE(count(*opened->db, "Types"), 1);
        QCOMPARE(fileHash("QskDef.MDB"), fileHash(templatePath()));
        QFile::remove("QskDef.MDB"); // not needed once the database exists
        opened = openOrCreateDatabase("Qsk.MDB", QString());
        QVERIFY2(opened, qPrintable(opened.error()));
        QVERIFY(!opened->created);
        QCOMPARE(count(*opened->db, "Types"), 1);
    }

    void failedFillLeavesNoDatabase()
    {
        TestFolder folder;
        auto opened = openOrCreateDatabase("Qsk.MDB", "QskDef.MDB",
                                           [](Database &) { return Status::failure("broken"); });
        QVERIFY(!opened);
        QCOMPARE(opened.error(), QStringLiteral("broken"));
        QCOMPARE(QDir().entryList(QDir::Files), QStringList{"QskDef.MDB"});
    }

    // The template is looked for in the current folder, then beside the program; without it
    // nothing is created.
    void templateLookup()
    {
        TestFolder folder;
        QCOMPARE(findTemplate("QskDef.MDB", buildDir()), QStringLiteral("QskDef.MDB"));
        QFile::remove("QskDef.MDB");
        QCOMPARE(findTemplate("QskDef.MDB", buildDir()), templatePath());
        auto opened = openOrCreateDatabase("Qsk.MDB", findTemplate("QskDef.MDB", folder.path()));
        QVERIFY(!opened);
        QVERIFY(opened.error().contains("QskDef.MDB"));
        QVERIFY(!QFile::exists("Qsk.MDB"));
    }

    // The program's read-only files: the current folder, beside the program, then the
    // installed share folder.
    void firstFolderThatHasTheFileWins_data()
    {
        QTest::addColumn<QStringList>("holders"); // folders, relative to the test folder
        QTest::addColumn<QString>("found");
        QTest::newRow("current folder first") << QStringList{".", "bin", "share/quillstack"} << ".";
        QTest::newRow("then beside the program") << QStringList{"bin", "share/quillstack"} << "bin";
        QTest::newRow("then the installed share folder")
            << QStringList{"share/quillstack"} << "share/quillstack";
        QTest::newRow("nowhere") << QStringList{"share"} << "";
    }
    void firstFolderThatHasTheFileWins()
    {
        QFETCH(QStringList, holders);
        QFETCH(QString, found);
        TestFolder folder(false);
        QDir().mkpath("bin");
        for (const QString &holder : holders) {
            QDir().mkpath(holder);
            QFile f(QDir(holder).filePath("Qsk.Hlp"));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        // A folder of that name is found too, so that its reader can say what is wrong.
        QDir().mkpath("share/quillstack/QskDef.MDB");
        const QString programDir = folder.file("bin");
        QCOMPARE(findDataFile("Qsk.Hlp", programDir),
                 found.isEmpty() ? QString() : QDir::cleanPath(folder.file(found + "/Qsk.Hlp")));
        QCOMPARE(findDataFile("QskDef.MDB", programDir),
                 QDir::cleanPath(folder.file("share/quillstack/QskDef.MDB")));
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

    // Every refusal says what is wrong with which file and what to do, and
    // leaves the file's bytes as they were. A database the user may only
    // read opens for reading, and a write then says why it cannot be made.
    void refusalsTellTheTruth_data()
    {
        QTest::addColumn<int>("setup");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("phrases");
        const QByteArray valid = readFile(templatePath());
        QByteArray corrupt = valid;
        corrupt.replace(100, 200, QByteArray(200, '\x55'));
        QByteArray random(4096, '\0');
        QRandomGenerator gen(7);
        for (char &c : random)
            c = char(gen.bounded(256));
        const QString documents =
            "CREATE TABLE Documents (ID, Description, DocumentType, Date, Who, Note, "
            "RecordPtr INTEGER PRIMARY KEY, DateAdded, DateChanged);";
        const QString types = "CREATE TABLE Types (Type, RecordPtr INTEGER PRIMARY KEY);";
        const QStringList notADatabase{"\"Qsk.MDB\" is not a database", "move it away"};

        QTest::newRow("read-only file")
            << int(ReadOnlyFile) << valid
            << QStringList{"\"Qsk.MDB\" can only be read", "write to the file"};
        QTest::newRow("read-only folder")
            << int(ReadOnlyFolder) << valid
            << QStringList{"\"Qsk.MDB\" can only be read", "write to its folder"};
        QTest::newRow("read-only folder, no database")
            << int(ReadOnlyFolder) << QByteArray()
            << QStringList{"\"Qsk.MDB\" cannot be created", "write to the folder"};
        QTest::newRow("file the engine may not write")
            << int(EngineReadOnlyFile) << valid
            << QStringList{"\"Qsk.MDB\" can only be read", "write to the file"};
        QTest::newRow("folder the engine may not write")
            << int(EngineReadOnlyFolder) << valid
            << QStringList{"\"Qsk.MDB\" can only be read", "write to its folder"};
        QTest::newRow("damaged") << int(Content) << corrupt
                                 << QStringList{"\"Qsk.MDB\" is damaged", "backup",
                                                "sqlite3 Qsk.MDB \".recover\""};
        QTest::newRow("locked") << int(Locked) << valid
                                << QStringList{"\"Qsk.MDB\" is locked by another program",
                                               "try again"};
        QTest::newRow("random bytes") << int(Content) << random << notADatabase;
        QTest::newRow("empty file") << int(Content) << QByteArray("") << notADatabase;
        QTest::newRow("text") << int(Content) << QByteArray("ID,Description\n1,Lease\n")
                              << notADatabase;
        QTest::newRow("no tables of ours")
            << int(Content) << sqliteFile("CREATE TABLE Other (x);")
            << QStringList{
                   "not a Quillstack database: it has no table Documents; it has no table Types",
                   "move it away"};
        QTest::newRow("missing table")
            << int(Content) << sqliteFile(documents) << QStringList{": it has no table Types."};
        QTest::newRow("missing fields")
            << int(Content) << sqliteFile(types + QString(documents).replace("Who, Note, ", ""))
            << QStringList{": the table Documents lacks the fields Who, Note."};
        QTest::newRow("view instead of table")
            << int(Content)
            << sqliteFile(documents +
                          "CREATE TABLE T (Type, RecordPtr); CREATE VIEW Types AS SELECT * FROM T;")
            << QStringList{": Types is a view, not a table."};
        QTest::newRow("named pipe")
            << int(Fifo) << QByteArray() << QStringList{"Qsk.MDB\" is a named pipe, not a file"};
        QTest::newRow("link to nothing")
            << int(BrokenLink) << QByteArray()
            << QStringList{"Qsk.MDB\" cannot be opened", "Check that it is there"};
        QTest::newRow("folder") << int(Folder) << QByteArray()
                                << QStringList{"Qsk.MDB\" is a folder, not a file"};
        QTest::newRow("template without tables")
            << int(Template) << sqliteFile(documents)
            << QStringList{"The template \"QskDef.MDB\" is not a Quillstack template: it has no "
                           "table Types",
                           "\"Qsk.MDB\" was not created"};
        QTest::newRow("template is a named pipe")
            << int(TemplateFifo) << QByteArray()
            << QStringList{"\"QskDef.MDB\" is a named pipe, not a file"};
    }
    void refusalsTellTheTruth()
    {
        QFETCH(int, setup);
        QFETCH(QByteArray, content);
        QFETCH(QStringList, phrases);
        const bool permissions = setup == ReadOnlyFile || setup == ReadOnlyFolder;
        if (permissions && ::geteuid() == 0)
            QSKIP("Permissions do not stop root; the rows the engine may not write cover this");
        TestFolder folder;
        const QString db = folder.file(QStringLiteral("Qsk.MDB"));
        const bool opens =
            permissions || setup == EngineReadOnlyFile || setup == EngineReadOnlyFolder;
        if (opens && !content.isEmpty()) {
            auto made = makeDatabase(db);
            QVERIFY(made && addDocument(*made, {1, QStringLiteral("kept")}));
        } else if (setup == Template || setup == TemplateFifo) {
            QFile::remove(QStringLiteral("QskDef.MDB"));
            QVERIFY(setup == Template ? writeFile(QStringLiteral("QskDef.MDB"), content)
                                      : ::mkfifo("QskDef.MDB", 0644) == 0);
        } else if (setup == Fifo) {
            QVERIFY(::mkfifo("Qsk.MDB", 0644) == 0);
        } else if (setup == BrokenLink) {
            QVERIFY(QFile::link(QStringLiteral("nowhere"), QStringLiteral("Qsk.MDB")));
        } else if (setup == Folder) {
            QVERIFY(QDir().mkdir(QStringLiteral("Qsk.MDB")));
        } else if (setup != ReadOnlyFolder) {
            QVERIFY(writeFile(db, content));
        }
        const QByteArray before = fileHash(db);
        const QStringList filesBefore = filesIn(folder.path());

        FaultVfs vfs;
        if (setup == EngineReadOnlyFile)
            vfs.denyWriting(db);
        if (setup == EngineReadOnlyFolder)
            vfs.denyWriting(folder.path());
        const QString path = setup == ReadOnlyFile ? db : folder.path();
        const auto mode = QFile::permissions(path);
        if (permissions)
            QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner);
        auto restore = qScopeGuard([&] { QFile::setPermissions(path, mode); });
        LockHolder holder(setup == Locked ? db : QString());

        auto opened = openWithin(db);
        QString message = opened ? QString() : opened.error();
        if (opened) {
            QVERIFY2(opens, "a file that should be refused was opened");
            QVERIFY(opened->db->isReadOnly());
            QCOMPARE(count(*opened->db, QStringLiteral("Documents")), 1);
            const Status write = opened->db->exec({QStringLiteral("DELETE FROM Documents"), {}});
            QVERIFY(!write);
            message = write.message();
        }
        for (const QString &phrase : std::as_const(phrases))
            QVERIFY2(message.contains(phrase), qPrintable(message));
        QCOMPARE(fileHash(db), before);
        if (!opens)
            QCOMPARE(filesIn(folder.path()), filesBefore);
    }

    // What earlier starts left: the files of one that died are removed
    // together, a running one's are kept, names that are not ours stay, and a
    // temporary name still linked to the finished database goes.
    void cleanUpTakesOnlyItsOwn_data()
    {
        QTest::addColumn<bool>("databaseExists");
        QTest::addColumn<QStringList>("leftovers"); // "<dead>"/"<live>" stand for a process number
        QTest::addColumn<QStringList>("kept");
        const QString p = QStringLiteral("Qsk.MDB.creating-");
        const QStringList dead{p + "<dead>", p + "<dead>-wal", p + "<dead>-shm",
                               p + "<dead>-journal"};
        const QStringList live{p + "<live>", p + "<live>-wal", p + "<live>-shm"};
        const QStringList foreign{p + "<dead>x", p + "<dead>-walx", p + "<dead>.wal",    p,
                                  p + "+<dead>", p + "-<dead>",     p + "<dead>-wal-shm"};
        QTest::newRow("a dead start's files") << false << dead << QStringList();
        QTest::newRow("a running start's files") << false << live << live;
        QTest::newRow("names that are not ours") << false << foreign << foreign;
        QTest::newRow("dead start, database made") << true << dead << QStringList();
        QTest::newRow("second name, start dead")
            << true << QStringList{"link:" + p + "<dead>"} << QStringList();
        QTest::newRow("second name, start running")
            << true << QStringList{"link:" + p + "<live>"} << QStringList();
    }
    void cleanUpTakesOnlyItsOwn()
    {
        QFETCH(bool, databaseExists);
        QFETCH(QStringList, leftovers);
        QFETCH(QStringList, kept);
        TestFolder folder;
        QProcess running;
        running.start(QStringLiteral("sleep"), {QStringLiteral("60")});
        QVERIFY(running.waitForStarted());
        auto stop = qScopeGuard([&] {
            running.kill();
            running.waitForFinished();
        });
        QProcess ended;
        ended.start(QStringLiteral("true"));
        QVERIFY(ended.waitForStarted());
        const qint64 deadPid = ended.processId();
        QVERIFY(ended.waitForFinished());
        const auto named = [&](QString name) {
            return name.replace("<dead>", QString::number(deadPid))
                .replace("<live>", QString::number(running.processId()));
        };
        if (databaseExists)
            QVERIFY(makeDatabase(QStringLiteral("Qsk.MDB")));
        for (const QString &leftover : std::as_const(leftovers)) {
            const QString name = named(leftover).remove(QStringLiteral("link:"));
            QVERIFY(leftover.startsWith("link:") ? ::link("Qsk.MDB", qPrintable(name)) == 0
                                                 : writeFile(name, "x"));
        }
        auto opened = openOrCreateDatabase(QStringLiteral("Qsk.MDB"), QStringLiteral("QskDef.MDB"));
        QVERIFY2(opened, qPrintable(opened.error()));
        QCOMPARE(opened->created, !databaseExists);
        QStringList expected{QStringLiteral("Qsk.MDB"), QStringLiteral("QskDef.MDB")};
        for (const QString &name : std::as_const(kept))
            expected << named(name);
        // The open database has its log beside it.
        QStringList left = filesIn(folder.path());
        left.removeAll(QStringLiteral("Qsk.MDB-wal"));
        left.removeAll(QStringLiteral("Qsk.MDB-shm"));
        expected.sort();
        QCOMPARE(left, expected);
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
