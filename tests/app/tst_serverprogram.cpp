// The real program on the test server: starts that cannot reach the
// database, and a database file moved to the server.
#include "support/TestSupport.h"

#include "store/Schema.h"

#include <QProcess>

using namespace qs;
using namespace qs::test;

namespace {

const QString kPassword = QStringLiteral("pw_s3cret");

struct Run
{
    int exitCode = -1;
    QString output;
};

// The program, run with a window (answered and ended at once) or as an export.
Run program(const QString &folder, const QStringList &args)
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
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = process.exitCode();
    run.output = QString::fromLocal8Bit(process.readAll());
    return run;
}

// The IDs of an exported list, in order.
QStringList exportedIds(const QString &file)
{
    QFile csv(file);
    if (!csv.open(QIODevice::ReadOnly))
        return {"(no file)"};
    QStringList ids;
    const QList<QByteArray> lines = csv.readAll().split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i)
        if (!lines.at(i).trimmed().isEmpty())
            ids << QString::fromUtf8(lines.at(i).split(',').constFirst());
    return ids;
}

} // namespace

class tst_ServerProgram : public QObject
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
    }
    void cleanupTestCase() { server.dropAll(); }

    // Each start ends with a message that says which part failed, and never
    // shows the password; an export says it on its error output.
    void refusedStarts_data()
    {
        QTest::addColumn<QString>("conninfo"); // %1: a database of the test server
        QTest::addColumn<bool>("exporting");
        QTest::addColumn<QString>("said");
        const auto row = [](const char *name, const QString &conninfo, bool exporting,
                            const char *said) {
            QTest::newRow(name) << conninfo << exporting << QString::fromLatin1(said);
        };
        row("bad connection string", "host=localhost port password=" + kPassword, false,
            "connection string is not valid");
        row("unreachable", "host=127.0.0.1 port=1 password=" + kPassword, false,
            "could not be reached");
        row("unreachable, export", "host=127.0.0.1 port=1 password=" + kPassword, true,
            "quillstack: The database server could not be reached");
        row("unknown user", "dbname=%1 user=nobody_here password=" + kPassword, false,
            "refused the login");
        row("wrong password", "dbname=%1 password=" + kPassword, false, "refused the login");
        row("mistyped URI taken as a database name", "postgres:/me:" + kPassword + "@localhost/x",
            true, "refused the login");
    }
    void refusedStarts()
    {
        QFETCH(QString, conninfo);
        QFETCH(bool, exporting);
        QFETCH(QString, said);
        TestFolder folder;
        const QString db = server.createDatabase().section('=', 1);
        QStringList args = {"--database", conninfo.contains("%1") ? conninfo.arg(db) : conninfo};
        if (exporting)
            args << "--export-csv"
                 << "out.csv";
        const Run run = program(folder.path(), args);
        QVERIFY2(run.exitCode == 1, qPrintable(run.output));
        QVERIFY2(run.output.contains(said), qPrintable(run.output));
        QVERIFY2(!run.output.contains(kPassword), qPrintable(run.output));
        QVERIFY(!QFileInfo::exists(folder.file("out.csv")));
    }

    // A file copied to an empty database is what the next start shows; a
    // second copy into it is refused and changes nothing.
    void copyFromThenStart()
    {
        TestFolder folder;
        {
            auto file = makeDatabase(folder.file("Old.MDB"));
            QVERIFY(file);
            addDocument(*file, {20, "Zebra"});
            addDocument(*file, {10, "Apple"});
        }
        const QString target = server.createDatabase(false);
        const Run copied = program(folder.path(), {"--database", target, "--copy-from", "Old.MDB"});
        QVERIFY2(copied.exitCode == 0, qPrintable(copied.output));
        // Nothing of the file's work is left in the folder for the server's start.
        QVERIFY(!QFileInfo::exists(folder.file(schema::DatabaseFile)));

        const Run again = program(folder.path(), {"--database", target, "--copy-from", "Old.MDB",
                                                  "--export-csv", "again.csv"});
        QCOMPARE(again.exitCode, 1);
        QVERIFY2(again.output.contains("already holds documents"), qPrintable(again.output));
        QVERIFY(!QFileInfo::exists(folder.file("again.csv")));

        const Run shown = program(folder.path(), {"--database", target, "--export-csv", "o.csv"});
        QVERIFY2(shown.exitCode == 0, qPrintable(shown.output));
        QCOMPARE(exportedIds(folder.file("o.csv")), QStringList({"20", "10"}));
    }
};

QTEST_GUILESS_MAIN(tst_ServerProgram)
#include "tst_serverprogram.moc"
