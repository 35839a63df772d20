// Runs the real program in a folder with legacy files, then reads what it left with SQLite
// itself, without any of the program's own code.
#include "DbfWriter.h"

#include <QDir>
#include <QFile>
#include <QProcess>
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

Run runProgram(const QString &folder)
{
    const QString program =
        QDir(qEnvironmentVariable("QSK_TEST_BINARY_DIR")).filePath(QStringLiteral("quillstack"));
    QProcess process;
    process.setWorkingDirectory(folder);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QSK_QUIT_AFTER_START"), QStringLiteral("1"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), folder + QStringLiteral("/config"));
    env.insert(QStringLiteral("HOME"), folder);
    process.setProcessEnvironment(env);
    process.start(program, {});
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
};

QTEST_GUILESS_MAIN(tst_ProgramImport)
#include "tst_programimport.moc"
