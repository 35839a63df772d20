// The command line: what the options ask for, and the real program run with them, on a
// database file and on the test server.
#include "support/TestSupport.h"

#include "store/Schema.h"

#include <QProcess>

using namespace qs;
using namespace qs::test;

namespace {

const QString kPassword = "pw_s3cret";

struct Run
{
    int exitCode = -1;
    QString output;
};

// The program, run in `folder` with a window (answered and ended at once) or as an export.
Run runProgram(const QString &folder, const QStringList &args)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    if (!args.contains("--export-csv")) {
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("QSK_QUIT_AFTER_START", "1");
    }
    env.insert("HOME", folder);
    env.insert("XDG_CONFIG_HOME", QDir(folder).filePath("config"));
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setWorkingDirectory(folder);
    process.start(QDir(buildDir()).filePath("quillstack"), args);
    Run run;
    if (process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit)
        run = {process.exitCode(), QString::fromLocal8Bit(process.readAll())};
    return run;
}

// The IDs of an exported list, in order.
QStringList exportedIds(const QString &file)
{
    QStringList ids;
    const QList<QByteArray> lines = readFile(file).split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i)
        if (!lines.at(i).isEmpty())
            ids << QString::fromUtf8(lines.at(i).split(',').constFirst());
    return ids;
}

// A database file of three documents.
bool makeDocuments(const QString &path)
{
    auto db = makeDatabase(path);
    return db && addDocument(*db, {20, "Zebra"}) && addDocument(*db, {10, "Apple"}) &&
           addDocument(*db, {30, "mango"});
}

} // namespace

class tst_CommandLine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanupTestCase() { TestServer::instance().dropAll(); }

    // The real program and what its options ask for. The export runs without any display; a
    // start with a folder is checked by the database it creates there. A start on the server
    // that cannot reach the database says which part failed and never shows the password.
    void program_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said");    // contained in what it printed
        QTest::addColumn<QString>("created"); // a file it must leave, relative to the test folder
        QTest::addColumn<QStringList>("exported"); // IDs in out.csv, in order
        QTest::addColumn<QString>("savedOrder");
        const auto row = [](const char *name, const QStringList &args, int exitCode,
                            const QString &said, const QString &created = {},
                            const QStringList &exported = {}, const QString &savedOrder = {}) {
            QTest::newRow(name) << args << exitCode << said << created << exported << savedOrder;
        };
        const QStringList exportWork = {"--folder", "work", "--export-csv", "out.csv"};
        const QString password = "password=" + kPassword;
        row("version", {"--version"}, 0, "Quillstack 3.2.15");
        row("help", {"-h"}, 0, "--copy-from <file>");
        row("toolkit option: help still needs no window", {"-platform", "xcb", "--help"}, 2,
            "Unknown option");
        row("version with a wrong option", {"--version", "--nonsense"}, 2, "Unknown option");
        row("empty export file", {"--export-csv", ""}, 2, "--export-csv needs");
        row("window: wrong option", {"--folder", "work", "--nonsense"}, 2, "Unknown option");
        row("window: stray argument", {"Qsk.MDB"}, 2, "\"Qsk.MDB\"");
        row("window: both folders", {"--folder", "x", "--folder-documents"}, 2, "not both");
        row("window: empty folder", {"--folder", ""}, 2, "--folder needs");
        row("window: copy without a server", {"--copy-from", "Qsk.MDB"}, 2, "give --database too");
        row("window: folder cannot be made", {"--folder", "plain.txt/sub"}, 1, "could not be made");
        row("window in the current folder", {}, 0, {}, "Qsk.MDB");
        row("window in a new folder", {"--folder", "new/place"}, 0, {}, "new/place/Qsk.MDB");
        row("window in the documents folder", {"--folder-documents"}, 0, {},
            "Documents/Quillstack/Qsk.MDB");
        row("export in the default order", exportWork, 0, {}, "out.csv", {"30", "20", "10"});
        row("export in the saved order", exportWork, 0, {}, "out.csv", {"10", "30", "20"},
            "DESCRIPTION");
        row("no database: nothing made", {"--folder", "empty", "--export-csv", "out.csv"}, 1,
            "There is no database \"Qsk.MDB\"");
        row("target not writable", {"--folder", "work", "--export-csv", "plain.txt/out.csv"}, 1,
            "could not be exported to");
        row("server: bad connection string", {"--database", "host=localhost port " + password}, 1,
            "connection string is not valid");
        row("server: unreachable, export",
            {"--database", "host=127.0.0.1 port=1 " + password, "--export-csv", "out.csv"}, 1,
            "quillstack: The database server could not be reached");
        row("server: mistyped URI taken as a database name",
            {"--database", "postgres:/me:" + kPassword + "@localhost/x"}, 1, "refused the login");
    }
    void program()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, said);
        QFETCH(QString, created);
        QFETCH(QStringList, exported);
        QFETCH(QString, savedOrder);
        if (said == "refused the login" && !TestServer::configured())
            QSKIP("No test server (PGHOST, PGPORT, ...) to refuse the login.");
        QTemporaryDir dir;
        const auto path = [&](const QString &name) { return dir.filePath(name); };
        QVERIFY(QDir(dir.path()).mkpath("work") && QDir(dir.path()).mkpath("empty"));
        QVERIFY(makeDocuments(path("work/Qsk.MDB")) && writeFile(path("plain.txt"), {}));
        if (!savedOrder.isEmpty()) {
            QDir().mkpath(path("config/Quillstack"));
            QVERIFY(writeFile(path("config/Quillstack/Quillstack.conf"),
                              "[Default]\nOrder=" + savedOrder.toUtf8() + "\n"));
        }
        const Run run = runProgram(dir.path(), args);
        QVERIFY2(run.exitCode == exitCode, qPrintable(run.output));
        QVERIFY2(run.output.contains(said), qPrintable(run.output));
        QVERIFY2(!run.output.contains(kPassword), qPrintable(run.output));
        if (!created.isEmpty())
            QVERIFY2(QFileInfo::exists(path(created)), qPrintable(created));
        if (exitCode != 0) {
            QVERIFY(!QFileInfo::exists(path("out.csv")));
            QVERIFY(!QFileInfo::exists(path("empty/Qsk.MDB")));
        }
        if (!exported.isEmpty())
            QCOMPARE(exportedIds(path("out.csv")), exported);
    }

    // A file copied to an empty server database is what that start shows; a second copy
    // into it is refused. Nothing of the file's work is left in the folder.
    void copyFromThenStart()
    {
        if (!TestServer::configured())
            QSKIP("No test server (PGHOST, PGPORT, ...).");
        const Status s = TestServer::instance().start();
        QVERIFY2(s, qPrintable(s.message()));
        TestFolder folder;
        QVERIFY(makeDocuments(folder.file("Old.MDB")));
        const QString target = TestServer::instance().createDatabase(false);
        const Run copied = runProgram(folder.path(), {"--database", target, "--copy-from",
                                                      "Old.MDB", "--export-csv", "o.csv"});
        QVERIFY2(copied.exitCode == 0, qPrintable(copied.output));
        QCOMPARE(exportedIds(folder.file("o.csv")), QStringList({"30", "20", "10"}));
        QVERIFY(!QFileInfo::exists(folder.file(schema::DatabaseFile)));
        const Run again =
            runProgram(folder.path(), {"--database", target, "--copy-from", "Old.MDB"});
        QCOMPARE(again.exitCode, 1);
        QVERIFY2(again.output.contains("already holds documents"), qPrintable(again.output));
    }
};

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_commandline.moc"
