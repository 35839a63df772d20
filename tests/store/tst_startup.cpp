// Opening and creating the database file.
#include "support/FaultVfs.h"
#include "support/TestSupport.h"

#include "store/DataFiles.h"
#include "store/DatabaseFile.h"

#include <QScopeGuard>

#include <sys/stat.h>
#include <unistd.h>

using namespace qs;
using namespace qs::test;

namespace {

// The bytes of a SQLite file made by `script`.
QByteArray sqliteFile(const QString &script)
{
    QTemporaryDir dir;
    return createDatabaseFromScript(dir.filePath("x"), script) ? readFile(dir.filePath("x")) : "";
}

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::System | QDir::Hidden, QDir::Name);
}

int count(Database &db, const QString &table)
{
    auto rs = db.query({"SELECT COUNT(*) FROM " + table, {}});
    return rs && !rs->empty() ? rs->front().values.value(0).toInt() : -1;
}

} // namespace

class tst_Startup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The first start makes the database from the template (found in the current folder, then
    // beside the program), which it never opens or writes, and fills it before the file takes
    // its name; a later start opens it as it is. A failed fill or no template leaves nothing.
    void firstAndLaterStart()
    {
        TestFolder folder;
        QCOMPARE(findTemplate("QskDef.MDB", buildDir()), "QskDef.MDB");
        auto opened = openOrCreateDatabase("Qsk.MDB", "QskDef.MDB",
                                           [](Database &) { return Status::failure("broken"); });
        QCOMPARE(opened.error(), "broken");
        QCOMPARE(QDir().entryList(QDir::Files), QStringList{"QskDef.MDB"});
        bool sawName = true;
        opened = openOrCreateDatabase("Qsk.MDB", "QskDef.MDB", [&](Database &db) {
            sawName = QFile::exists("Qsk.MDB");
            return addType(db, "Lease") ? Status::success() : Status::failure("no type");
        });
        QVERIFY2(opened && opened->created && !sawName, qPrintable(opened.error()));
        QVERIFY(count(*opened->db, "Documents") == 0 && count(*opened->db, "Types") == 1);
        // The template is not needed once the database exists.
        QVERIFY(readFile("QskDef.MDB") == readFile(templatePath()) && QFile::remove("QskDef.MDB"));
        QCOMPARE(findTemplate("QskDef.MDB", buildDir()), templatePath());
        opened = openOrCreateDatabase("Qsk.MDB", QString());
        QVERIFY2(opened && !opened->created, qPrintable(opened.error()));
        QCOMPARE(count(*opened->db, "Types"), 1);
        opened = openOrCreateDatabase("New.MDB", findTemplate("QskDef.MDB", folder.path()));
        QVERIFY(opened.error().contains("QskDef.MDB\" was not found") && !QFile::exists("New.MDB"));
    }

    // The program's read-only files: the current folder, beside the program, then the
    // installed share folder. A folder of that name counts too, so that its reader can say
    // what is wrong.
    void firstFolderThatHasTheFileWins()
    {
        TestFolder folder(false);
        const QString program = folder.file("bin");
        QVERIFY(QDir().mkpath("bin") && QDir().mkpath("share/quillstack/QskDef.MDB"));
        QCOMPARE(findDataFile("QskDef.MDB", program), folder.file("share/quillstack/QskDef.MDB"));
        QCOMPARE(findDataFile("Qsk.Hlp", program), QString());
        for (const QString holder : {"share/quillstack", "bin", "."})
            QCOMPARE(writeFile(holder + "/Qsk.Hlp", {}) ? findDataFile("Qsk.Hlp", program) : "",
                     QDir::cleanPath(folder.file(holder + "/Qsk.Hlp")));
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
        std::optional<FaultVfs> vfs(std::in_place);
        auto opened = openOrCreateDatabase("Qsk.MDB", "QskDef.MDB", [&](Database &db) {
            (logFull ? vfs->fullLogs : vfs->fullDatabaseFiles) = true;
            Transaction t(db);
            for (int i = 0; i < 200; ++i)
                if (Status s = db.exec({"INSERT INTO Documents (ID) VALUES (?)", {i}}); !s)
                    return s;
            return t.commit();
        });
        QVERIFY2(opened.error().contains("not enough disk space") &&
                     opened.error().contains("Qsk.MDB") && !opened.error().contains("creating"),
                 qPrintable(opened.error()));
        QCOMPARE(filesIn(folder.path()), QStringList{"QskDef.MDB"});
        // Once there is room, the next start creates the database.
        vfs.reset();
        opened = openOrCreateDatabase("Qsk.MDB", "QskDef.MDB");
        QVERIFY2(opened && opened->created, qPrintable(opened.error()));
    }

    // Every refusal says what is wrong with which file and what to do, and
    // leaves the file's bytes as they were. A database the user may only
    // read opens for reading, and a write then says why it cannot be made.
    void refusalsTellTheTruth_data()
    {
        QTest::addColumn<QString>("setup"); // what Qsk.MDB (or the template) is
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("phrases");
        const QByteArray valid = readFile(templatePath());
        const QByteArray corrupt = QByteArray(valid).replace(100, 200, QByteArray(200, '\x55'));
        const QString documents = "CREATE TABLE Documents (ID, Description, DocumentType, Date, "
                                  "Who, Note, RecordPtr INTEGER PRIMARY KEY, DateAdded, "
                                  "DateChanged);";
        const QString types = "CREATE TABLE Types (Type, RecordPtr INTEGER PRIMARY KEY);";
        const auto row = [](const char *name, const char *setup, const QByteArray &content,
                            const QStringList &phrases) {
            QTest::newRow(name) << QString(setup) << content << phrases;
        };
        row("read-only file", "read-only file", valid,
            {"\"Qsk.MDB\" can only be read", "write to the file"});
        row("read-only folder, database there", "read-only folder", valid,
            {"\"Qsk.MDB\" can only be read", "write to its folder"});
        row("damaged", "file", corrupt,
            {"\"Qsk.MDB\" is damaged", "backup", "sqlite3 Qsk.MDB \".recover\""});
        row("locked", "locked", valid, {"\"Qsk.MDB\" is locked by another program", "try again"});
        row("empty file", "file", "", {"\"Qsk.MDB\" is not a database", "move it away"});
        row("no tables of ours", "file", sqliteFile("CREATE TABLE Other (x);"),
            {"not a Quillstack database: it has no table Documents; it has no table Types",
             "move it away"});
        row("missing fields", "file", sqliteFile(types + QString(documents).remove("Who, Note, ")),
            {": the table Documents lacks the fields Who, Note."});
        row("view instead of table", "file",
            sqliteFile(documents + "CREATE TABLE T (Type, RecordPtr); CREATE VIEW Types AS "
                                   "SELECT * FROM T;"),
            {": Types is a view, not a table."});
        row("named pipe", "pipe", {}, {"Qsk.MDB\" is a named pipe, not a file"});
        row("link to nothing", "link", {},
            {"Qsk.MDB\" cannot be opened", "Check that it is there"});
        row("folder", "folder", {}, {"Qsk.MDB\" is a folder, not a file"});
        row("template without tables", "template", sqliteFile(documents),
            {"The template \"QskDef.MDB\" is not a Quillstack template: it has no table Types",
             "\"Qsk.MDB\" was not created"});
        row("template is a named pipe", "template pipe", {},
            {"\"QskDef.MDB\" is a named pipe, not a file"});
    }
    void refusalsTellTheTruth()
    {
        QFETCH(QString, setup);
        QFETCH(QByteArray, content);
        QFETCH(QStringList, phrases);
        TestFolder folder;
        const QString db = folder.file("Qsk.MDB");
        const QString target = setup.startsWith("template") ? "QskDef.MDB" : "Qsk.MDB";
        const bool opens = setup.startsWith("read-only");
        QFile::remove(target);
        QVERIFY(opens                    ? addDocument(*makeDatabase(db), {1, "kept"}) > 0
                : setup.endsWith("pipe") ? ::mkfifo(qPrintable(target), 0644) == 0
                : setup == "folder"      ? QDir().mkdir(target)
                : setup == "link"        ? QFile::link("nowhere", target)
                                         : writeFile(target, content));
        // Its bytes, without ever reading a pipe (which would wait).
        const auto bytes = [&] { return QFileInfo(db).isFile() ? readFile(db) : "(not a file)"; };
        const QByteArray before = bytes();
        const QStringList filesBefore = filesIn(folder.path());

        FaultVfs vfs;
        if (opens)
            vfs.denyWriting(setup == "read-only file" ? db : folder.path());
        // Another program in the middle of writing (its transaction ends with its connection).
        sqlite3 *writer = nullptr;
        auto endWriter = qScopeGuard([&] { sqlite3_close(writer); });
        if (setup == "locked")
            QVERIFY(sqlite3_open(qPrintable(db), &writer) == SQLITE_OK &&
                    sqlite3_exec(writer, "PRAGMA journal_mode=DELETE; BEGIN EXCLUSIVE", nullptr,
                                 nullptr, nullptr) == SQLITE_OK);

        auto opened = openOrCreateDatabase(db, "QskDef.MDB");
        // Opened for reading only, the write says why it cannot be made.
        QVERIFY(!opened ||
                (opens && opened->db->isReadOnly() && count(*opened->db, "Documents") == 1));
        const QString message =
            opened ? opened->db->exec({"DELETE FROM Documents", {}}).message() : opened.error();
        for (const QString &phrase : std::as_const(phrases))
            QVERIFY2(message.contains(phrase), qPrintable(message));
        QCOMPARE(bytes(), before);
        if (!opens)
            QCOMPARE(filesIn(folder.path()), filesBefore);
    }

    // What earlier starts left: the files of one that died go together, a running one's stay,
    // names that are not ours stay, and a temporary name still linked to the database goes.
    void cleanUpTakesOnlyItsOwn()
    {
        TestFolder folder;
        QVERIFY(makeDatabase("Qsk.MDB"));
        // No process has the highest number there may be; the test and its parent run.
        const QString p = "Qsk.MDB.creating-";
        const QString dead = p + "2147483647";
        const QString live = p + QString::number(QCoreApplication::applicationPid());
        QVERIFY(::link("Qsk.MDB", qPrintable(p + QString::number(::getppid()))) == 0);
        QStringList kept{live,           live + "-wal", live + "-shm",     dead + "x",
                         dead + "-walx", dead + ".wal", dead + "-wal-shm", p,
                         p + "+1",       p + "-1",      p + "2147483648",  "Qsk.MDB",
                         "QskDef.MDB"};
        for (const auto &n :
             kept + QStringList{dead, dead + "-wal", dead + "-shm", dead + "-journal"})
            QVERIFY(QFile::exists(n) || writeFile(n, "x")); // all but the two there already
        auto opened = openOrCreateDatabase("Qsk.MDB", "QskDef.MDB");
        QVERIFY2(opened && !opened->created, qPrintable(opened.error()));
        QStringList left = filesIn(folder.path());
        left.removeIf([](const QString &name) { return name.startsWith("Qsk.MDB-"); }); // its log
        kept.sort();
        QCOMPARE(left, kept);
    }
};

QTEST_GUILESS_MAIN(tst_Startup)
#include "tst_startup.moc"
