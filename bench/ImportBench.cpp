#include "ImportBench.h"

#include "import/DbfReader.h"
#include "import/modConvert.h"
#include "store/SqliteDatabase.h"
#include "support/DbfWriter.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

namespace qs {

namespace {

constexpr int kNoteBlocks = 997; // notes are shared by rows, so the memo file stays small
constexpr int kTypeNames = 40;

QByteArray legacyTable(int rows)
{
    QList<test::DbfRow> table;
    table.reserve(rows);
    for (int i = 0; i < rows; ++i) {
        const QByteArray date =
            QByteArray::number(19800101 + (i % 28) + 100 * (i % 12) + 10000 * (i % 40));
        test::DbfRow row;
        row.id = QByteArray::number(i + 1);
        row.description = "Correspondence item " + QByteArray::number(i);
        row.date = row.dateAdded = date;
        row.dateChanged = i % 3 ? date : QByteArray();
        // Case varies, so the lookup that ignores it is measured too.
        row.type = (i % 2 ? "TYPE" : "Type") + QByteArray::number(i % kTypeNames);
        row.who = "Person " + QByteArray::number(i % 500);
        row.memoBlock = QByteArray::number(1 + i % kNoteBlocks);
        table.append(row);
    }
    test::DbfShape shape;
    shape.version = 0x83; // with a memo file
    return test::dbfTable(table, {}, shape);
}

QByteArray legacyMemo()
{
    QList<QByteArray> blocks;
    for (int b = 1; b <= kNoteBlocks; ++b) {
        const QByteArray note = "Note " + QByteArray::number(b) +
                                ": filed with the quarterly papers, see the binder on the shelf.";
        blocks.append(test::dbtBlock(quint8(note.size() + DbtBlock::kTextOffset), note));
    }
    return test::dbtMemo(blocks);
}

} // namespace

Result<ImportBenchResult> fnBenchLegacyImport(int rows, const QString &templatePath,
                                              Database *server)
{
    QTemporaryDir dir;
    if (!dir.isValid())
        return Status::failure(QStringLiteral("no temporary folder: %1").arg(dir.errorString()));
    const QString table = dir.filePath(QString::fromLatin1(kLegacyTableFile));
    const QString memo = dir.filePath(QString::fromLatin1(kLegacyMemoFile));
    const QString dbPath = dir.filePath(QStringLiteral("bench.db"));
    if (!test::writeFile(table, legacyTable(rows)) || !test::writeFile(memo, legacyMemo()))
        return Status::failure(QStringLiteral("the legacy files could not be written"));
    if (server) {
        // As a first start runs it: in the transaction that made the tables.
        Transaction transaction(*server);
        if (!transaction.status())
            return Status::failure(transaction.status().message());
        QElapsedTimer timer;
        timer.start();
        const Result<ImportReport> report = ConvertDbfDatabase(*server, table, memo);
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        if (!report)
            return Status::failure(report.error());
        return ImportBenchResult{report->imported, seconds,
                                 seconds > 0 ? report->imported / seconds : 0};
    }
    if (!QFile::copy(templatePath, dbPath))
        return Status::failure(
            QStringLiteral("the template \"%1\" could not be copied").arg(templatePath));
    QFile::setPermissions(dbPath, QFile::permissions(dbPath) | QFile::WriteOwner);
    auto db = openSqliteDatabase(dbPath);
    if (!db)
        return Status::failure(db.error());

    QElapsedTimer timer;
    timer.start();
    const Result<ImportReport> report = ConvertDbfDatabase(*db.value(), table, memo);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (!report)
        return Status::failure(report.error());

    ImportBenchResult result;
    result.rows = report.value().imported;
    result.seconds = seconds;
    result.rowsPerSecond = seconds > 0 ? result.rows / seconds : 0;
    return result;
}

} // namespace qs
