// Runs the real program in a folder with legacy files, then reads what it left with SQLite
// itself, without any of the program's own code.
#include "support/DbfWriter.h"
#include "support/SqliteRows.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>

using namespace qs::test;

namespace {

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

class tst_ProgramImport : public QObject
{
    Q_OBJECT

private slots:
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
        for (int round = 0; round < 20; ++round) {
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
        qInfo("%d of 20 kills left the complete database, the others none", complete);
    }
};

QTEST_GUILESS_MAIN(tst_ProgramImport)
#include "tst_programimport.moc"
