// Runs the real program in a folder with legacy files, then reads what it left with SQLite
// itself, without any of the program's own code.
#include "DbfWriter.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <memory>

using namespace qs::test;

namespace {

struct ConnectionCloser
{
    void operator()(sqlite3 *db) const { sqlite3_close_v2(db); }
};
struct StatementFinalizer
{
    void operator()(sqlite3_stmt *st) const { sqlite3_finalize(st); }
};

// Every row of `sql` as text, the columns joined by "|" and a null shown as "NULL".
QStringList readRows(const QString &dbPath, const char *sql)
{
    sqlite3 *raw = nullptr;
    const int rc =
        sqlite3_open_v2(QFile::encodeName(dbPath).constData(), &raw, SQLITE_OPEN_READONLY, nullptr);
    std::unique_ptr<sqlite3, ConnectionCloser> db(raw);
    if (rc != SQLITE_OK)
        return {QStringLiteral("cannot open: ") + QString::fromUtf8(sqlite3_errmsg(raw))};
    sqlite3_stmt *rawStatement = nullptr;
    if (sqlite3_prepare_v2(db.get(), sql, -1, &rawStatement, nullptr) != SQLITE_OK)
        return {QStringLiteral("cannot prepare: ") + QString::fromUtf8(sqlite3_errmsg(raw))};
    std::unique_ptr<sqlite3_stmt, StatementFinalizer> statement(rawStatement);
    QStringList rows;
    while (sqlite3_step(statement.get()) == SQLITE_ROW) {
        QStringList columns;
        for (int c = 0; c < sqlite3_column_count(statement.get()); ++c) {
            const auto *text = sqlite3_column_text(statement.get(), c);
            columns.append(text ? QString::fromUtf8(reinterpret_cast<const char *>(text))
                                : QStringLiteral("NULL"));
        }
        rows.append(columns.join(u'|'));
    }
    return rows;
}

struct Run
{
    int exitCode = -1;
    QString output;
};

void startProgram(QProcess &process, const QString &folder)
{
    const QString program =
        QDir(qEnvironmentVariable("QSK_TEST_BINARY_DIR")).filePath(QStringLiteral("quillstack"));
    process.setWorkingDirectory(folder);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QSK_QUIT_AFTER_START"), QStringLiteral("1"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), folder + QStringLiteral("/config"));
    env.insert(QStringLiteral("HOME"), folder);
    process.setProcessEnvironment(env);
    process.start(program, {});
}

Run runProgram(const QString &folder)
{
    QProcess process;
    startProgram(process, folder);
    Run run;
    // No time limit here: the test runner's own limit catches a program that hangs.
    if (!process.waitForStarted(-1) || !process.waitForFinished(-1))
        return run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    run.output = QString::fromUtf8(process.readAllStandardOutput());
    return run;
}

} // namespace

class tst_ProgramImport : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString file(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(QFile::copy(QDir(qEnvironmentVariable("QSK_TEST_BINARY_DIR"))
                                .filePath(QStringLiteral("QskDef.MDB")),
                            file(QStringLiteral("QskDef.MDB"))));
    }

    void brokenTableStartsNothing()
    {
        QVERIFY(writeFile(file(QStringLiteral("Document.DBF")), QByteArray(10, '\0')));
        const Run run = runProgram(m_dir.path());
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.output.contains(QStringLiteral("Document.DBF")), qPrintable(run.output));
        QVERIFY2(run.output.contains(QStringLiteral("too short for its header")),
                 qPrintable(run.output));
        QVERIFY(!QFile::exists(file(QStringLiteral("Qsk.MDB"))));
    }

    void firstStartImportsThenNeverAgain()
    {
        DbfRow a;
        a.id = "5";
        a.description = "  Deed of sale   ";
        a.date = "19991231";
        a.type = "Deed  ";
        a.who = "Fran\xe7oise";
        a.memoBlock = "1";
        DbfRow deleted = a;
        deleted.mark = '*';
        DbfRow b;
        b.id = "17";
        b.description = "Lease";
        b.type = "DEED";
        QVERIFY(writeFile(file(QStringLiteral("Document.DBF")), dbfTable({a, deleted, b})));
        QVERIFY(writeFile(file(QStringLiteral("Document.DBT")),
                          dbtMemo({dbtBlock(20, "Copy in the safe  xxxxx")})));

        const Run first = runProgram(m_dir.path());
        QCOMPARE(first.exitCode, 0);
        QVERIFY2(first.output.contains(QStringLiteral("2 documents were imported from "
                                                      "\"Document.DBF\"; 1 deleted row was "
                                                      "skipped.")),
                 qPrintable(first.output));

        const QString db = file(QStringLiteral("Qsk.MDB"));
        const QStringList documents =
            readRows(db, "SELECT ID, Description, DocumentType, Date, Who, Note FROM Documents "
                         "ORDER BY RecordPtr");
        const QStringList types = readRows(db, "SELECT RecordPtr, Type FROM Types");
        QCOMPARE(types.size(), 1);
        const QString deed = types.first().section(u'|', 0, 0);
        QCOMPARE(types.first().section(u'|', 1), QStringLiteral("Deed"));
        QCOMPARE(
            documents,
            (QStringList{
                QStringLiteral("5|  Deed of sale|%1|1999-12-31|Françoise|Copy in the").arg(deed),
                QStringLiteral("17|Lease|%1|NULL||").arg(deed)}));
        QVERIFY(QFile::exists(file(QStringLiteral("Document.log"))));

        const Run second = runProgram(m_dir.path());
        QCOMPARE(second.exitCode, 0);
        QVERIFY2(second.output.isEmpty(), qPrintable(second.output));
        QCOMPARE(readRows(db, "SELECT COUNT(*) FROM Documents"), QStringList{"2"});
    }

    // Killed at random moments of a first start that imports: what is left
    // is either no database or the complete one, and the next start works.
    void killDuringImport()
    {
        QTemporaryDir dir;
        const auto in = [&](const char *name) { return dir.filePath(QLatin1String(name)); };
        QVERIFY(QFile::copy(file(QStringLiteral("QskDef.MDB")), in("QskDef.MDB")));
        constexpr int kRows = 20000;
        QList<DbfRow> rows(kRows);
        for (int i = 0; i < kRows; ++i) {
            rows[i].id = QByteArray::number(i + 1);
            rows[i].description = "Letter " + QByteArray::number(i);
            rows[i].type = i % 2 ? "Deed" : "Lease";
        }
        QVERIFY(writeFile(in("Document.DBF"), dbfTable(rows)));
        const auto removeDatabase = [&] {
            for (const QString &name : QDir(dir.path()).entryList({"Qsk.MDB*", "Document.log"}))
                QFile::remove(dir.filePath(name));
        };
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(runProgram(dir.path()).exitCode, 0);
        const int fullRunMs = int(timer.elapsed());
        int complete = 0;
        for (int round = 0; round < 20; ++round) {
            removeDatabase();
            QProcess process;
            startProgram(process, dir.path());
            QVERIFY(process.waitForStarted());
            QTest::qWait(QRandomGenerator::global()->bounded(fullRunMs));
            process.kill();
            // It may have finished on its own just before.
            QVERIFY(process.state() == QProcess::NotRunning || process.waitForFinished());
            const QStringList left = QDir(dir.path()).entryList({"Qsk.MDB*"});
            if (left.contains(QStringLiteral("Qsk.MDB"))) {
                ++complete;
                QCOMPARE(readRows(in("Qsk.MDB"), "SELECT COUNT(*) FROM Documents"),
                         QStringList{QString::number(kRows)});
                QVERIFY(QFile::exists(in("Document.log")));
            }
            const Run next = runProgram(dir.path());
            QCOMPARE(next.exitCode, 0);
            QCOMPARE(readRows(in("Qsk.MDB"), "PRAGMA integrity_check"), QStringList{"ok"});
            QCOMPARE(readRows(in("Qsk.MDB"), "SELECT COUNT(*) FROM Documents"),
                     QStringList{QString::number(kRows)});
            // Nothing of the killed start is left beside the database.
            QCOMPARE(QDir(dir.path()).entryList({"Qsk.MDB.creating-*"}), QStringList());
        }
        qInfo("%d of 20 kills left the complete database, the others none", complete);
    }
};

QTEST_GUILESS_MAIN(tst_ProgramImport)
#include "tst_programimport.moc"
