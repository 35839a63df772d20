#include "import/ImportBench.h"

#include "import/DbfReader.h"
#include "import/modConvert.h"
#include "store/SqliteDatabase.h"

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace qs {

namespace {

constexpr int kNoteBlocks = 997; // notes are shared by rows, so the memo file stays small
constexpr int kTypeNames = 40;

void put(char *row, DbfRecord::Field field, const QByteArray &value)
{
    std::copy_n(value.constData(), std::min<qsizetype>(value.size(), field.length),
                row + field.offset);
}

QByteArray legacyTable(int rows)
{
    QByteArray bytes(DbfHeader::kSize + qsizetype(rows) * DbfRecord::kSize, ' ');
    std::fill_n(bytes.data(), DbfHeader::kSize, '\0');
    bytes[DbfHeader::kVersionOffset] = '\x83';
    qToLittleEndian<qint32>(rows, bytes.data() + DbfHeader::kRowCountOffset);
    qToLittleEndian<quint16>(DbfHeader::kSize, bytes.data() + DbfHeader::kHeaderLengthOffset);
    qToLittleEndian<quint16>(DbfRecord::kSize, bytes.data() + DbfHeader::kRecordLengthOffset);
    char *descriptor = bytes.data() + DbfHeader::kFixedSize;
    for (const DbfFieldSpec &spec : kLegacyFields) {
        std::copy_n(spec.name, std::strlen(spec.name), descriptor);
        descriptor[DbfHeader::kTypeOffset] = spec.type;
        descriptor[DbfHeader::kLengthOffset] = char(spec.field.length);
        descriptor += DbfHeader::kDescriptorSize;
    }
    *descriptor = '\r';
    for (int i = 0; i < rows; ++i) {
        char *row = bytes.data() + DbfHeader::kSize + qsizetype(i) * DbfRecord::kSize;
        const QByteArray date =
            QByteArray::number(19800101 + (i % 28) + 100 * (i % 12) + 10000 * (i % 40));
        put(row, DbfRecord::kId, QByteArray::number(i + 1));
        put(row, DbfRecord::kDescription, "Correspondence item " + QByteArray::number(i));
        put(row, DbfRecord::kDate, date);
        put(row, DbfRecord::kDateAdded, date);
        put(row, DbfRecord::kDateChanged, i % 3 ? date : QByteArray(8, ' '));
        // Case varies, so the lookup that ignores it is measured too.
        put(row, DbfRecord::kType, (i % 2 ? "TYPE" : "Type") + QByteArray::number(i % kTypeNames));
        put(row, DbfRecord::kWho, "Person " + QByteArray::number(i % 500));
        put(row, DbfRecord::kMemoBlock, QByteArray::number(1 + i % kNoteBlocks));
    }
    return bytes;
}

QByteArray legacyMemo()
{
    QByteArray bytes(qsizetype(kNoteBlocks + 1) * DbtBlock::kSize, '\0');
    for (int b = 1; b <= kNoteBlocks; ++b) {
        char *block = bytes.data() + qsizetype(b) * DbtBlock::kSize;
        const QByteArray note = "Note " + QByteArray::number(b) +
                                ": filed with the quarterly papers, see the binder on the shelf.";
        block[DbtBlock::kLengthByteOffset] = char(note.size() + DbtBlock::kTextOffset);
        std::copy_n(note.constData(), note.size(), block + DbtBlock::kTextOffset);
    }
    return bytes;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
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
    if (!writeFile(table, legacyTable(rows)) || !writeFile(memo, legacyMemo()))
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
