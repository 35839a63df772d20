// The import at the first start: in this process the please-wait window, the report and its
// log, and legacy files that cannot be imported; then the real program, whose database is read
// back with SQLite itself, without any of the program's own code.
#include "import/LegacyImport.h"
#include "import/frmConverting.h"
#include "store/DataControl.h"
#include "store/DatabaseFile.h"
#include "store/Recordset.h"
#include "support/DbfWriter.h"
#include "support/MainWindow.h"
#include "support/Modal.h"
#include "support/SqliteRows.h"
#include "widgets/MessageBox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QRandomGenerator>
#include <QTest>

using namespace qs;
using namespace qs::test;

namespace {

DbfRow row(int id, const QByteArray &type = {}, const QByteArray &memoBlock = {})
{
    const QByteArray number = QByteArray::number(id);
    return {' ', number, "Document " + number, {}, {}, {}, type, {}, memoBlock};
}

const QByteArray kTwoNotes = dbtMemo({dbtBlock(8 + 5, "first"), dbtBlock(8 + 6, "second")});

QProgressBar *progressBar()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (qobject_cast<frmConverting *>(w) && w->isVisible())
            return w->findChild<QProgressBar *>(QStringLiteral("prgRows"));
    }
    return nullptr;
}

// One start of the program: the main window with the import wired in as start-up does it.
struct Start
{
    LegacyImport import;
    test::MainWindow window;
    Status status;

    bool logFirst = false; // the log written before the database took its name

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
    int listed() const
    {
        Recordset *rs = window.documents()->recordset();
        return rs ? rs->rowCount() : 0;
    }
};

void startProgram(QProcess &process, const QString &folder)
{
    process.setWorkingDirectory(folder);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("QSK_QUIT_AFTER_START", "1");
    env.insert("XDG_CONFIG_HOME", folder + "/config");
    env.insert("HOME", folder);
    process.setProcessEnvironment(env);
    process.start(QDir(buildDir()).filePath("quillstack"), {});
}

// The exit code (-2 for a crash) and what the program printed.
std::pair<int, QString> runProgram(const QString &folder)
{
    QProcess process;
    startProgram(process, folder);
    // No time limit here: the test runner's own limit catches a program that hangs.
    if (!process.waitForStarted(-1) || !process.waitForFinished(-1))
        return {-1, {}};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2,
            QString::fromUtf8(process.readAllStandardOutput())};
}

} // namespace

class tst_LegacyImport : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestFolder> m_folder;

private slots:
    void init()
    {
        m_folder.reset(); // a folder restores the current one it found
        m_folder = std::make_unique<TestFolder>();
        MessageBox::clearShownTexts();
        clearPendingModals();
    }

    void convertingWindowOffersNothing()
    {
        frmConverting w;
        w.show();
        QCOMPARE(w.findChild<QLabel *>("lblMessage")->text(),
                 QStringLiteral("Converting to new database format ... please wait"));
        QVERIFY(w.findChildren<QAbstractButton *>().isEmpty());
        w.setProgress(0, 0); // an empty table shows as done
        QCOMPARE(progressBar()->value(), progressBar()->maximum());
        QVERIFY(!w.close() && w.isVisible()); // the user cannot close it
    }

    // The please-wait window follows the rows; the report is shown once, the log holds it
    // all, and the legacy files stay byte for byte as they were.
    void firstStartImports()
    {
        QList<DbfRow> rows;
        for (int i = 1; i <= 3000; ++i)
            rows.append(row(i, "Letter", i == 1 ? "1" : i == 6 ? "5" : ""));
        rows[1].mark = '*';
        rows[4].date = "2001XX01";
        const QByteArray table = dbfTable(rows);
        QVERIFY(writeFile(m_folder->file("Document.DBF"), table));
        QVERIFY(writeFile(m_folder->file("Document.DBT"), kTwoNotes));
        answerMessage();
        QList<QPair<int, int>> shown; // the bar's value and maximum whenever the import tells
        Start start([&](int, int) {
            QProgressBar *bar = progressBar();
            shown.append({bar ? bar->value() : -1, bar ? bar->maximum() : -1});
        });
        QVERIFY2(start.status, qPrintable(start.status.message()));
        QVERIFY(start.logFirst); // so that a start killed from then on cannot lose it
        QVERIFY(shown.size() >= 3 && !shown.contains(qMakePair(-1, -1)) && !progressBar());
        QCOMPARE(shown.first(), qMakePair(0, 3000));
        QCOMPARE(shown.last(), qMakePair(3000, 3000));
        QVERIFY(shown.at(1).first > 0 && shown.at(1).first < 3000);
        QCOMPARE(start.listed(), 2999);

        const QString problems = "2 problems were found:\nRow 5, Date: \"2001XX01\" is not a date; "
                                 "imported empty\nRow 6, Note: block 5: the memo file ends before "
                                 "this block; imported empty";
        QCOMPARE(MessageBox::shownTexts().size(), 1);
        QVERIFY(MessageBox::shownTexts().first().startsWith(
            "2999 documents were imported from \"Document.DBF\"; 1 deleted row was skipped.\n\n" +
            problems));
        const QString log = QString::fromUtf8(readFile(m_folder->file("Document.log")));
        QVERIFY2(log.contains("\nThe table names no code page; text was read in Windows code page "
                              "1252.\n\n" +
                              problems + "\n"),
                 qPrintable(log));
        QCOMPARE(readFile(m_folder->file("Document.DBF")), table);
        QCOMPARE(readFile(m_folder->file("Document.DBT")), kTwoNotes);
    }

    // Files that cannot be imported leave no database, so that the next start imports them;
    // the reader's refusals are its own test's part.
    void starts_data()
    {
        QTest::addColumn<QStringList>("tableNames");
        QTest::addColumn<QStringList>("memoNames");
        QTest::addColumn<QString>("reason"); // empty: the start goes on without an import
        const QStringList memo{"Document.DBT"};
        QTest::newRow("no legacy table") << QStringList() << memo << QString();
        QTest::newRow("tables differing in case") << QStringList{"DOCUMENT.DBF", "document.dbf"}
                                                  << memo << "\"DOCUMENT.DBF\", \"document.dbf\"";
        QTest::newRow("memo files differing in case")
            << QStringList{"Document.DBF"} << QStringList{"document.dbt", "DOCUMENT.DBT"}
            << "\"DOCUMENT.DBT\", \"document.dbt\"";
    }
    void starts()
    {
        QFETCH(QStringList, tableNames);
        QFETCH(QStringList, memoNames);
        QFETCH(QString, reason);
        for (const QString &name : tableNames + memoNames)
            QVERIFY(writeFile(m_folder->file(name), name.endsWith("BF", Qt::CaseInsensitive)
                                                        ? dbfTable({row(12, "Letter", "1")})
                                                        : kTwoNotes));
        {
            Start start;
            const QString message = start.status.message();
            QCOMPARE(start.status.ok(), reason.isEmpty());
            QVERIFY2(reason.isEmpty() ||
                         (message.contains(reason) && message.contains("next start")),
                     qPrintable(message));
            QCOMPARE(start.listed(), 0);
            QVERIFY(MessageBox::shownTexts().isEmpty());
        }
        QStringList files = tableNames + memoNames + QStringList{"QskDef.MDB"};
        if (reason.isEmpty())
            files << "Qsk.MDB";
        files.sort();
        QCOMPARE(QDir(m_folder->path()).entryList(QDir::Files, QDir::Name), files);
    }

    // Killed at random moments of a first start that imports: what is left
    // is either no database or the complete one, and the next start works.
    // Unkilled, the real program imports at the first start, and never again.
    void killDuringImport()
    {
        TestFolder folder;
        constexpr int kRows = 20000;
        QList<DbfRow> rows(kRows);
        for (int i = 0; i < kRows; ++i) {
            rows[i].id = QByteArray::number(i + 1);
            rows[i].description = "Letter " + QByteArray::number(i);
            rows[i].type = i % 2 ? "Deed" : "Lease";
        }
        QVERIFY(writeFile(folder.file("Document.DBF"), dbfTable(rows)));
        const QString db = folder.file("Qsk.MDB");
        const QStringList all{QString::number(kRows)};
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(runProgram(folder.path()),
                 std::make_pair(0, QStringLiteral("20000 documents were imported from "
                                                  "\"Document.DBF\"; 0 deleted rows were "
                                                  "skipped.\n----\n")));
        const int fullRunMs = int(timer.elapsed());
        QCOMPARE(runProgram(folder.path()), std::make_pair(0, QString()));
        int complete = 0;
        const int rounds = qEnvironmentVariableIsSet("QSK_KILL_ROUNDS")
                               ? qEnvironmentVariableIntValue("QSK_KILL_ROUNDS")
                               : 20;
        for (int round = 0; round < rounds; ++round) {
            for (const QString &name : QDir(folder.path()).entryList({"Qsk.MDB*", "Document.log"}))
                QFile::remove(folder.file(name));
            QProcess process;
            startProgram(process, folder.path());
            QVERIFY(process.waitForStarted());
            QTest::qWait(QRandomGenerator::global()->bounded(fullRunMs));
            process.kill();
            // It may have finished on its own just before.
            QVERIFY(process.state() == QProcess::NotRunning || process.waitForFinished());
            if (QFile::exists(db)) {
                ++complete;
                QCOMPARE(sqliteRows(db, "SELECT COUNT(*) FROM Documents"), all);
                QVERIFY(QFile::exists(folder.file("Document.log")));
            }
            QCOMPARE(runProgram(folder.path()).first, 0);
            QCOMPARE(sqliteRows(db, "PRAGMA integrity_check"), QStringList{"ok"});
            QCOMPARE(sqliteRows(db, "SELECT COUNT(*) FROM Documents"), all);
            // Nothing of the killed start is left beside the database.
            QCOMPARE(QDir(folder.path()).entryList({"Qsk.MDB.creating-*"}), QStringList());
        }
        qInfo("%d of %d kills left the complete database, the others none", complete, rounds);
    }
};

QTEST_MAIN(tst_LegacyImport)
#include "tst_legacyimport.moc"
