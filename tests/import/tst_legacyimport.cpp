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
    DbfRow r;
    r.id = QByteArray::number(id);
    r.description = "Document " + r.id;
    r.type = type;
    r.memoBlock = memoBlock;
    return r;
}

// Three live rows and a deleted one, with notes.
QByteArray threeDocuments()
{
    DbfRow deleted = row(99);
    deleted.mark = '*';
    return dbfTable({row(12, "Letter", "1"), deleted, row(30, "LETTER"), row(7, {}, "2")});
}

const QByteArray kTwoNotes = dbtMemo({dbtBlock(8 + 5, "first"), dbtBlock(8 + 6, "second")});

frmConverting *convertingWindow()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *window = qobject_cast<frmConverting *>(w))
            return window;
    }
    return nullptr;
}

// One start of the program: the main window with the import wired in as start-up does it.
struct Start
{
    LegacyImport import;
    test::MainWindow window;
    Status status;

    explicit Start(const std::function<void(int, int)> &listener = {})
    {
        import.setProgressListener(listener);
        window.session.setNewDatabaseFiller(import.filler());
        status = window.Form_Initialize();
        if (status)
            import.reportOutcome(&window, QStringLiteral("Qsk.MDB"));
    }
    QList<qint64> listedIds() const
    {
        QList<qint64> ids;
        Recordset *rs = window.documents()->recordset();
        for (int i = 0; rs && i < rs->rowCount(); ++i)
            ids.append(rs->valueAt(i, QStringLiteral("ID")).toLongLong());
        return ids;
    }
    QString stored(const char *sql, const QVariant &arg) const
    {
        auto rows = window.database()->query({QLatin1String(sql), {arg}});
        return rows && !rows->empty() ? rows->front().values.value(0).toString() : "<none>";
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
        m_folder = std::make_unique<TestFolder>();
        MessageBox::clearShownTexts();
        clearPendingModals();
    }
    void cleanup() { m_folder.reset(); }

    void convertingWindowOffersNothing()
    {
        frmConverting w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.findChild<QLabel *>("lblMessage")->text(),
                 QStringLiteral("Converting to new database format ... please wait"));
        QVERIFY(w.findChildren<QAbstractButton *>().isEmpty());
        auto *bar = w.findChild<QProgressBar *>(QStringLiteral("prgRows"));
        w.setProgress(250, 1000);
        QCOMPARE(bar->maximum(), 1000);
        QCOMPARE(bar->value(), 250);
        w.setProgress(0, 0); // an empty table shows as done
        QCOMPARE(bar->value(), bar->maximum());
        QVERIFY(!w.close()); // the user cannot close it
        QVERIFY(w.isVisible());
    }

    // The please-wait window follows the rows; the report is shown once, the log holds it
    // all, and the legacy files stay byte for byte as they were.
    void firstStartImports()
    {
        QList<DbfRow> rows;
        for (int i = 1; i <= 3000; ++i)
            rows.append(row(i, i % 2 ? "Letter" : "LETTER"));
        rows[0].memoBlock = "1";
        rows[1].mark = '*';
        rows[2].memoBlock = "2";
        rows[4].date = "2001XX01";
        rows[5].memoBlock = "5";
        const QByteArray table = dbfTable(rows);
        QVERIFY(writeFile(m_folder->file("Document.DBF"), table));
        QVERIFY(writeFile(m_folder->file("Document.DBT"), kTwoNotes));
        answerMessage();

        QList<int> shown;
        bool alwaysVisible = true;
        Start start([&](int, int count) {
            frmConverting *w = convertingWindow();
            auto *bar = w ? w->findChild<QProgressBar *>(QStringLiteral("prgRows")) : nullptr;
            alwaysVisible = alwaysVisible && w && w->isVisible();
            if (bar && bar->maximum() == count)
                shown.append(bar->value());
        });
        QVERIFY2(start.status, qPrintable(start.status.message()));
        QVERIFY(alwaysVisible && shown.size() >= 3);
        QCOMPARE(shown.first(), 0);
        QCOMPARE(shown.last(), 3000);
        QVERIFY(std::any_of(shown.begin(), shown.end(), [](int v) { return v > 0 && v < 3000; }));
        QVERIFY(!convertingWindow());

        QCOMPARE(start.listedIds().size(), 2999);
        QCOMPARE(start.stored("SELECT Note FROM Documents WHERE ID = ?", 1), "first");
        QCOMPARE(start.stored("SELECT Note FROM Documents WHERE ID = ?", 3), "second");
        QCOMPARE(start.stored("SELECT COUNT(*) FROM Types WHERE Type = ?", "Letter"), "1");
        QCOMPARE(start.stored("SELECT COUNT(DISTINCT DocumentType) FROM Documents WHERE ID > ?", 0),
                 "1");

        const QString problems = "Row 5, Date: \"2001XX01\" is not a date; imported empty\nRow 6, "
                                 "Note: block 5: the memo file ends before this block; imported "
                                 "empty";
        QCOMPARE(MessageBox::shownTexts().size(), 1);
        QVERIFY(MessageBox::shownTexts().first().startsWith(
            "2999 documents were imported from \"Document.DBF\"; 1 deleted row was skipped.\n\n2 "
            "problems were found:\n" +
            problems));
        const QString log = QString::fromUtf8(readFile(m_folder->file("Document.log")));
        QVERIFY2(log.contains("\nThe table names no code page; text was read in Windows code page "
                              "1252.\n\n2 problems were found:\n" +
                              problems + "\n"),
                 qPrintable(log));
        QCOMPARE(readFile(m_folder->file("Document.DBF")), table);
        QCOMPARE(readFile(m_folder->file("Document.DBT")), kTwoNotes);
    }

    // Files that cannot be imported leave no database, so that the next start imports them
    // (which the run of the real program below shows); the reader's refusals are its own table.
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
        for (const QString &name : tableNames)
            QVERIFY(writeFile(m_folder->file(name), threeDocuments()));
        for (const QString &name : memoNames)
            QVERIFY(writeFile(m_folder->file(name), kTwoNotes));
        {
            Start start;
            QCOMPARE(start.status.ok(), reason.isEmpty());
            const QString message = start.status.message();
            QVERIFY2(reason.isEmpty() ||
                         (message.contains(reason) && message.contains("next start")),
                     qPrintable(message));
            QVERIFY(start.listedIds().isEmpty());
            QVERIFY(MessageBox::shownTexts().isEmpty());
        }
        QStringList files = tableNames + memoNames + QStringList{"QskDef.MDB"};
        if (reason.isEmpty())
            files << "Qsk.MDB";
        files.sort();
        QCOMPARE(QDir(m_folder->path()).entryList(QDir::Files, QDir::Name), files);
    }

    // A start killed from here on cannot lose the log.
    void logWrittenBeforeTheDatabaseTakesItsName()
    {
        QVERIFY(writeFile(m_folder->file("Document.DBF"), threeDocuments()));
        LegacyImport import;
        bool logInPlace = false;
        auto opened = openOrCreateDatabase("Qsk.MDB", "QskDef.MDB", [&](Database &db) {
            const Status s = import.fill(db);
            logInPlace = QFile::exists(m_folder->file("Document.log"));
            return s;
        });
        QVERIFY2(opened, qPrintable(opened.error()));
        QVERIFY(logInPlace);
    }

    // A broken table starts nothing; once it is sound, the first start imports it and the
    // next one imports nothing.
    void firstStartImportsThenNeverAgain()
    {
        TestFolder folder;
        QVERIFY(writeFile(folder.file("Document.DBF"), QByteArray(10, '\0')));
        auto [exitCode, output] = runProgram(folder.path());
        QCOMPARE(exitCode, 1);
        QVERIFY2(output.contains("Document.DBF") && output.contains("too short for its header"),
                 qPrintable(output));
        QVERIFY(!QFile::exists(folder.file("Qsk.MDB")));

        DbfRow a{' ', "5", "  Deed of sale   ", "19991231", {}, {}, "Deed  ", "Fran\xe7oise", "1"};
        DbfRow deleted = a;
        deleted.mark = '*';
        const DbfRow b{' ', "17", "Lease", {}, {}, {}, "DEED", {}, {}};
        QVERIFY(writeFile(folder.file("Document.DBF"), dbfTable({a, deleted, b})));
        QVERIFY(writeFile(folder.file("Document.DBT"),
                          dbtMemo({dbtBlock(20, "Copy in the safe  xxxxx")})));
        std::tie(exitCode, output) = runProgram(folder.path());
        QCOMPARE(exitCode, 0);
        QVERIFY2(output.contains(
                     "2 documents were imported from \"Document.DBF\"; 1 deleted row was skipped."),
                 qPrintable(output));
        const QString db = folder.file("Qsk.MDB");
        const QStringList types = sqliteRows(db, "SELECT RecordPtr, Type FROM Types");
        QCOMPARE(types.size(), 1);
        const QString deed = types.first().section(u'|', 0, 0);
        QCOMPARE(types.first().section(u'|', 1), QStringLiteral("Deed"));
        QCOMPARE(
            sqliteRows(db, "SELECT ID, Description, DocumentType, Date, Who, Note FROM Documents "
                           "ORDER BY RecordPtr"),
            (QStringList{
                QStringLiteral("5|  Deed of sale|%1|1999-12-31|Françoise|Copy in the").arg(deed),
                QStringLiteral("17|Lease|%1|NULL||").arg(deed)}));
        QVERIFY(QFile::exists(folder.file("Document.log")));

        std::tie(exitCode, output) = runProgram(folder.path());
        QCOMPARE(exitCode, 0);
        QVERIFY2(output.isEmpty(), qPrintable(output));
        QCOMPARE(sqliteRows(db, "SELECT COUNT(*) FROM Documents"), QStringList{"2"});
    }

    // Killed at random moments of a first start that imports: what is left
    // is either no database or the complete one, and the next start works.
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
        QCOMPARE(runProgram(folder.path()).first, 0);
        const int fullRunMs = int(timer.elapsed());
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
