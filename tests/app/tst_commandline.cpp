// The command line: what the options ask for, and the real program run with them, on a
// database file and on the test server.
#include "support/TestSupport.h"

#include <QProcess>

using namespace qs;
using namespace qs::test;

const QString kPassword = "pw_s3cret";

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
        QTest::addColumn<QString>("settings");     // the settings file, if any
        const auto row = [](const char *name, const QStringList &args, int exitCode,
                            const QString &said, const QString &created = {},
                            const QStringList &exported = {}, const QString &settings = {}) {
            QTest::newRow(name) << args << exitCode << said << created << exported << settings;
        };
        const QStringList exportWork = {"--folder", "work", "--export-csv", "out.csv"};
        const QString password = "password=" + kPassword;
        row("version", {"--version"}, 0, "Quillstack 3.2.15");
        row("help", {"-h"}, 0, "--copy-from <file>");
        row("toolkit option: help still needs no window", {"-platform", "xcb", "--help"}, 2,
            "Unknown option");
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
            "[Default]\nOrder=DESCRIPTION");
        row("no database: nothing made", {"--folder", "empty", "--export-csv", "out.csv"}, 1,
            "There is no database \"Qsk.MDB\"");
        row("server: copy a file, then export",
            {"--database", "%1", "--copy-from", "work/Qsk.MDB", "--export-csv", "out.csv"}, 0, {},
            "out.csv", {"30", "20", "10"});
        row("server: copy of a file that is no database",
            {"--database", "%1", "--copy-from", "plain.txt"}, 1, "\"plain.txt\" is not a database");
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
        QFETCH(QString, settings);
        if ((args.contains("%1") || said == "refused the login") && !TestServer::configured())
            QSKIP("No test server (PGHOST, PGPORT, ...).");
        if (args.contains("%1")) {
            const Status s = TestServer::instance().start();
            QVERIFY2(s, qPrintable(s.message()));
            args.replaceInStrings("%1", TestServer::instance().createDatabase(false));
        }
        TestFolder folder(false); // the current folder, the program's too
        QVERIFY(QDir().mkpath("work") && QDir().mkpath("empty") && QDir().mkpath("Quillstack"));
        auto db = makeDatabase("work/Qsk.MDB");
        QVERIFY(db && addDocument(*db, {20, "Zebra"}) && addDocument(*db, {10, "Apple"}) &&
                addDocument(*db, {30, "mango"}) && writeFile("plain.txt", {}));
        db.reset();
        if (!settings.isEmpty()) // the folder is the settings' home too
            QVERIFY(writeFile("Quillstack/Quillstack.conf", settings.toUtf8()));

        // With a window (its boxes answered and printed, and ended at once), or an export.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(name);
        if (!args.contains("--export-csv"))
            env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("QSK_QUIT_AFTER_START", "1"); // read by a window only
        env.insert("HOME", folder.path());
        env.insert("XDG_CONFIG_HOME", folder.path());
        QProcess process;
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QDir(buildDir()).filePath("quillstack"), args);
        QVERIFY(process.waitForFinished(60000));
        const QString output = QString::fromLocal8Bit(process.readAll());
        QVERIFY2(process.exitStatus() == QProcess::NormalExit && process.exitCode() == exitCode,
                 qPrintable(output));
        QVERIFY2(output.contains(said) && !output.contains(kPassword), qPrintable(output));
        QVERIFY2(created.isEmpty() || QFileInfo::exists(created), qPrintable(created));
        if (exitCode != 0 || args.contains("--database"))
            QVERIFY(!QFileInfo::exists("empty/Qsk.MDB") && !QFileInfo::exists("Qsk.MDB"));
        QVERIFY(exitCode == 0 || !QFileInfo::exists("out.csv"));
        QStringList ids;
        for (const QByteArray &line : readFile("out.csv").trimmed().split('\n').mid(1))
            ids << QString::fromUtf8(line.split(',').constFirst());
        QCOMPARE(ids, exported);
    }
};

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_commandline.moc"
