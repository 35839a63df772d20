// The command line: what the options ask for, and the real program run with them.
#include "support/TestSupport.h"

#include "app/CommandLine.h"

#include <QProcess>

using namespace qs;
using namespace qs::test;

Q_DECLARE_METATYPE(qs::CommandLine::Action)

class tst_CommandLine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parses_data()
    {
        using A = CommandLine::Action;
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("withoutWindow");
        QTest::addColumn<CommandLine::Action>("action");
        QTest::addColumn<QString>("folder"); // relative to the current folder
        QTest::addColumn<QString>("exportFile");
        QTest::addColumn<QString>("text"); // contained in the text
        const auto row = [](const char *name, const QStringList &args, bool withoutWindow, A action,
                            const QString &folder, const QString &exportFile, const QString &text) {
            QTest::newRow(name) << args << withoutWindow << action << folder << exportFile << text;
        };
        row("nothing", {}, false, A::OpenWindow, {}, {}, {});
        row("folder", {"--folder", "a/b"}, false, A::OpenWindow, "a/b", {}, {});
        row("export with folder: file taken where started",
            {"--folder", "w", "--export-csv", "out.csv"}, true, A::ExportCsv, "w", "out.csv", {});
        row("help", {"-h"}, true, A::PrintText, {}, {}, "--folder-documents");
        row("toolkit option with help: help still needs no window", {"-platform", "xcb", "--help"},
            true, A::Fail, {}, {}, "Unknown option");
        row("stray argument", {"Qsk.MDB"}, false, A::Fail, {}, {}, "\"Qsk.MDB\"");
        row("both folders", {"--folder", "x", "--folder-documents"}, false, A::Fail, {}, {},
            "not both");
        row("empty folder", {"--folder", ""}, false, A::Fail, {}, {}, "--folder needs");
        row("empty export file", {"--export-csv", ""}, true, A::Fail, {}, {}, "--export-csv needs");
        row("help lists the server options", {"--help"}, true, A::PrintText, {}, {},
            "--copy-from <file>");
        row("copy without a server", {"--copy-from", "Qsk.MDB"}, false, A::Fail, {}, {},
            "give --database too");
        row("server export", {"--database", "", "--export-csv", "o.csv"}, true, A::ExportCsv, {},
            "o.csv", {});
    }
    void parses()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, withoutWindow);
        QFETCH(CommandLine::Action, action);
        QFETCH(QString, folder);
        QFETCH(QString, exportFile);
        QFETCH(QString, text);
        args.prepend("quillstack");
        QCOMPARE(runsWithoutWindow(args), withoutWindow);
        const CommandLine line = parseCommandLine(args);
        QCOMPARE(line.action, action);
        const auto absolute = [](const QString &p) {
            return p.isEmpty() ? p : QDir::current().absoluteFilePath(p);
        };
        QCOMPARE(line.folder, absolute(folder));
        QCOMPARE(line.exportFile, absolute(exportFile));
        QVERIFY2(line.text.contains(text), qPrintable(line.text));
    }

    // The real program. The export runs without any display; a start with a folder is
    // checked by the database it creates there.
    void program_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("savedOrder");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said");    // contained in what it printed
        QTest::addColumn<QString>("created"); // a file it must leave, relative to the test folder
        QTest::addColumn<QStringList>("exported"); // IDs in out.csv, in order
        const auto row = [](const char *name, const QStringList &args, const QString &savedOrder,
                            int exitCode, const QString &said, const QString &created,
                            const QStringList &exported) {
            QTest::newRow(name) << args << savedOrder << exitCode << said << created << exported;
        };
        const QStringList exportWork = {"--folder", "work", "--export-csv", "out.csv"};
        row("export in the default order", exportWork, {}, 0, {}, "out.csv", {"30", "20", "10"});
        row("export in the saved order", exportWork, "DESCRIPTION", 0, {}, "out.csv",
            {"10", "30", "20"});
        row("no database: nothing made", {"--folder", "empty", "--export-csv", "out.csv"}, {}, 1,
            "There is no database \"Qsk.MDB\"", {}, {});
        row("target not writable", {"--folder", "work", "--export-csv", "plain.txt/out.csv"}, {}, 1,
            "could not be exported to", {}, {});
        row("version", {"--version"}, {}, 0, "Quillstack 3.2.15", {}, {});
        row("version with a wrong option", {"--version", "--nonsense"}, {}, 2, "Unknown option", {},
            {});
        row("window: wrong option", {"--folder", "work", "--nonsense"}, {}, 2, "Unknown option", {},
            {});
        row("window: folder cannot be made", {"--folder", "plain.txt/sub"}, {}, 1,
            "could not be made", {}, {});
        row("window in a new folder", {"--folder", "new/place"}, {}, 0, {}, "new/place/Qsk.MDB",
            {});
        row("window in the documents folder", {"--folder-documents"}, {}, 0, {},
            "Documents/Quillstack/Qsk.MDB", {});
    }
    void program()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, savedOrder);
        QFETCH(int, exitCode);
        QFETCH(QString, said);
        QFETCH(QString, created);
        QFETCH(QStringList, exported);
        QTemporaryDir dir;
        const auto path = [&](const QString &name) { return dir.filePath(name); };
        QVERIFY(QDir(dir.path()).mkpath("work") && QDir(dir.path()).mkpath("empty"));
        {
            auto db = makeDatabase(path("work/Qsk.MDB"));
            addDocument(*db, {20, "Zebra"});
            addDocument(*db, {10, "Apple"});
            addDocument(*db, {30, "mango"});
            QFile plain(path("plain.txt"));
            QVERIFY(plain.open(QIODevice::WriteOnly));
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(name);
        if (!args.contains("--export-csv")) {
            env.insert("QT_QPA_PLATFORM", "offscreen");
            env.insert("QSK_QUIT_AFTER_START", "1");
        }
        env.insert("HOME", dir.path());
        env.insert("XDG_CONFIG_HOME", path("config"));
        if (!savedOrder.isEmpty()) {
            QDir().mkpath(path("config/Quillstack"));
            QFile conf(path("config/Quillstack/Quillstack.conf"));
            QVERIFY(conf.open(QIODevice::WriteOnly));
            conf.write("[Default]\nOrder=" + savedOrder.toUtf8() + "\n");
        }
        QProcess process;
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setWorkingDirectory(dir.path());
        process.start(QDir(buildDir()).filePath("quillstack"), args);
        QVERIFY(process.waitForFinished(60000));
        const QString output = QString::fromLocal8Bit(process.readAll());
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QVERIFY2(process.exitCode() == exitCode, qPrintable(output));
        QVERIFY2(output.contains(said), qPrintable(output));
        if (!created.isEmpty())
            QVERIFY2(QFileInfo::exists(path(created)), qPrintable(created));
        if (exitCode != 0) {
            QVERIFY(!QFileInfo::exists(path("out.csv")));
            QVERIFY(!QFileInfo::exists(path("empty/Qsk.MDB")));
        }
        if (!exported.isEmpty()) {
            QFile csv(path("out.csv"));
            QVERIFY(csv.open(QIODevice::ReadOnly));
            const QList<QByteArray> lines = csv.readAll().split('\n');
            QStringList ids;
            for (qsizetype i = 1; i < lines.size(); ++i) {
                if (!lines.at(i).isEmpty())
                    ids << QString::fromUtf8(lines.at(i).split(',').constFirst());
            }
            QCOMPARE(ids, exported);
        }
    }
};

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_commandline.moc"
