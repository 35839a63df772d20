// The import at the first start: in this process the please-wait window, the report and its
// log, and legacy files that cannot be imported; then the real program, whose database is read
// back with SQLite itself, without any of the program's own code.
#include "import/LegacyImport.h"
#include "import/frmConverting.h"
#include "support/DbfWriter.h"
#include "support/MainWindow.h"
#include "support/SqliteRows.h"

using namespace qs;
using namespace qs::test;

namespace {

QProgressBar *progressBar()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (qobject_cast<frmConverting *>(w) && w->isVisible())
            return w->findChild<QProgressBar *>(QStringLiteral("prgRows"));
    return nullptr;
}

// One start of the program: the main window with the import wired in as start-up does it.
struct Start
{
    LegacyImport import;
    test::MainWindow window;
    Status status;
    bool logFirst = false; // the log was written before the database took its name

    explicit Start(const std::function<void(int, int)> &listener = {})
    {
        import.setProgressListener(listener);
        window.session.setNewDatabaseFiller([this](Database &db) {
            const Status s = import.fill(db);
            logFirst = QFile::exists("Document.log") && !QFile::exists("Qsk.MDB");
            return s;
        });
        status = window.Form_Initialize();
        if (status)
            import.reportOutcome(&window, QStringLiteral("Qsk.MDB"));
    }
};

// The real program started in `folder` on the test's own platform, and killed after `killAfterMs`
// when that is given: the exit code (-2 for a crash or a kill) and what it printed.
std::pair<int, QString> runProgram(const QString &folder, int killAfterMs = -1)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QSK_QUIT_AFTER_START", "1");
    env.insert("XDG_CONFIG_HOME", folder + "/config");
    env.insert("HOME", folder);
    process.setProcessEnvironment(env);
    process.start(QDir(buildDir()).filePath("quillstack"), {});
    // No time limit here: the test runner's own limit catches a program that hangs.
    if (!process.waitForStarted(-1))
        return {-1, {}};
    if (killAfterMs >= 0) {
        QTest::qWait(killAfterMs);
        process.kill(); // it may have finished on its own just before
    }
    if (process.state() != QProcess::NotRunning && !process.waitForFinished(-1))
        return {-1, {}};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2,
            QString::fromUtf8(process.readAllStandardOutput())};
}

} // namespace

class tst_LegacyImport : public QObject
{
    Q_OBJECT

    std::optional<TestFolder> m_folder;

private slots:
    void init()
    {
        m_folder.emplace(); // the old folder, which restores the current one it found, goes first
        MessageBox::clearShownTexts();
        clearPendingModals();
    }

    // The please-wait window follows the rows and cannot be closed; the report is shown once, the
    // log holds it all, and the legacy files stay byte for byte as they were. A name that differs
    // in letter case is found; the exact one wins.
    void firstStartImports()
    {
        QList<DbfRow> rows;
        QStringList dates;
        for (int i = 1; i <= 3000; ++i)
            rows.append(dbfRow(i, "Letter", i == 1 ? "1" : ""));
        rows[1].mark = '*';
        for (int i = 5; i < 25; ++i) {
            rows[i - 1].date = "2001XX01";
            dates << QString("Row %1, Date: \"2001XX01\" is not a date; imported empty").arg(i);
        }
        const QByteArray table = dbfTable(rows, 3001);
        QVERIFY(writeFile(m_folder->file("Document.DBF"), table) &&
                writeFile(m_folder->file("DOCUMENT.dbf"), "x") &&
                writeFile(m_folder->file("document.DBT"), dbtMemo({dbtBlock(8 + 5, "first")})));
        answerMessage();
        QList<QPair<int, int>> shown; // the bar's value and maximum whenever the import tells
        bool closed = false;          // the user cannot close the window
        Start start([&](int, int) {
            QProgressBar *bar = progressBar();
            shown.append({bar ? bar->value() : -1, bar ? bar->maximum() : -1});
            closed = closed || !bar || bar->window()->close();
        });
        // The log is written before the database takes its name, so that a start killed from
        // then on cannot lose it.
        QVERIFY2(start.status && start.logFirst, qPrintable(start.status.message()));
        QVERIFY(shown.size() >= 3 && !shown.contains({-1, -1}) && !closed && !progressBar());
        QVERIFY(shown.at(1).first > 0 && shown.at(1).first < 3000);
        QCOMPARE(shown.first(), qMakePair(0, 3001));
        QCOMPARE(shown.last(), qMakePair(3000, 3001));

        const QString counts =
            "2999 documents were imported from \"Document.DBF\"; 1 deleted row was skipped.";
        const QString problems = "21 problems were found:\n" + dates.join('\n');
        QCOMPARE(MessageBox::shownTexts().join(u'|'),
                 counts + "\n\n" + problems +
                     "\n... and 1 more.\n\nAll problems are listed in \"Document.log\" beside the "
                     "database.");
        const QString noPage =
            "The table names no code page; text was read in Windows code page 1252.";
        QCOMPARE(QString::fromUtf8(readFile(m_folder->file("Document.log"))),
                 counts + '\n' + noPage + "\n\n" + problems +
                     "\nRow 3001: the table file ends before this row, although its header states "
                     "3001 rows\n");
        QCOMPARE(readFile(m_folder->file("Document.DBF")), table);
        frmConverting empty; // an empty table shows as done, not as a busy bar
        empty.setProgress(0, 0);
        const QProgressBar *bar = empty.findChild<QProgressBar *>();
        QVERIFY(bar->maximum() > 0 && bar->value() == bar->maximum());
    }

    // Names that differ only in letter case cannot be told apart, the tables' and then the
    // memo files': no database is made, so that the next start imports.
    void ambiguousNamesRefuseTheStart()
    {
        for (const char *name : {"DOCUMENT.DBF", "document.dbf", "document.dbt", "DOCUMENT.DBT"})
            QVERIFY(writeFile(m_folder->file(name), dbfTable({dbfRow(12)})));
        for (const QString names :
             {"\"DOCUMENT.DBF\", \"document.dbf\"", "\"DOCUMENT.DBT\", \"document.dbt\""}) {
            const QString message = Start().status.message();
            QVERIFY2(message.startsWith("The legacy documents could not be imported, so the "
                                        "database \"Qsk.MDB\" was not created; the next start "
                                        "will try again.\n\nThe folder holds 2 files") &&
                         message.contains("only in letter case: " + names + ". Which one"),
                     qPrintable(message));
            QFile::remove(m_folder->file("document.dbf"));
        }
        QVERIFY(!QFile::exists(m_folder->file("Qsk.MDB")));
    }

    // Killed at random moments of a first start that imports: what is left
    // is either no database or the complete one, and the next start works.
    // Unkilled, the real program imports at the first start, and never again.
    void killDuringImport()
    {
        constexpr int kRows = 20000;
        QList<DbfRow> rows;
        for (int i = 1; i <= kRows; ++i)
            rows.append(dbfRow(i, i % 2 ? "Lease" : "Deed"));
        QVERIFY(writeFile(m_folder->file("Document.DBF"), dbfTable(rows)));
        const QString db = m_folder->file("Qsk.MDB");
        const QStringList all{QString::number(kRows)};
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(runProgram(m_folder->path()),
                 std::make_pair(0, QString("20000 documents were imported from \"Document.DBF\"; 0 "
                                           "deleted rows were skipped.\n----\n")));
        const int fullRunMs = int(timer.elapsed());
        QCOMPARE(runProgram(m_folder->path()), std::make_pair(0, QString()));
        int complete = 0;
        const int rounds = qEnvironmentVariable("QSK_KILL_ROUNDS", "20").toInt();
        for (int round = 0; round < rounds; ++round) {
            for (const QString &name : QDir(m_folder->path()).entryList({"Qsk.MDB*", "*.log"}))
                QFile::remove(m_folder->file(name));
            QVERIFY(runProgram(m_folder->path(), QRandomGenerator::global()->bounded(fullRunMs))
                        .first != -1);
            if (QFile::exists(db)) {
                ++complete;
                QCOMPARE(sqliteRows(db, "SELECT COUNT(*) FROM Documents"), all);
                QVERIFY(QFile::exists(m_folder->file("Document.log")));
            }
            QCOMPARE(runProgram(m_folder->path()).first, 0);
            QCOMPARE(sqliteRows(db, "PRAGMA integrity_check"), QStringList{"ok"});
            QCOMPARE(sqliteRows(db, "SELECT COUNT(*) FROM Documents"), all);
            // Nothing of the killed start is left beside the database.
            QCOMPARE(QDir(m_folder->path()).entryList({"Qsk.MDB.creating-*"}), QStringList());
        }
        qInfo("%d of %d kills left the complete database, the others none", complete, rounds);
    }
};

QTEST_MAIN(tst_LegacyImport)
#include "tst_legacyimport.moc"
