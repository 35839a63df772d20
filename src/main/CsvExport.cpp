#include "CsvExport.h"

#include "main/DocumentQuery.h"
#include "store/Database.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <array>
#include <charconv>
#include <unordered_map>

namespace qs {

namespace {

// Bytes that make a field need quotes wherever they stand.
constexpr std::array<bool, 256> specialBytes()
{
    std::array<bool, 256> table{};
    table[size_t(',')] = table[size_t('"')] = table[size_t('\r')] = table[size_t('\n')] = true;
    return table;
}
constexpr std::array<bool, 256> kSpecial = specialBytes();

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool needsQuotes(std::string_view text)
{
    if (text.empty())
        return false;
    if (isBlank(text.front()) || isBlank(text.back()))
        return true;
    for (const char c : text) {
        if (kSpecial[static_cast<unsigned char>(c)])
            return true;
    }
    return false;
}

// Columns read from the list's selection, in this order.
enum Column { ColId, ColDescription, ColType, ColDate, ColWho, ColNote };

// Flushed to the file whenever it grows past this, so memory stays flat for any size.
constexpr size_t kBufferBytes = size_t(1) << 20;

// Replacing the open database (or one of its working files) with the export would destroy it.
bool isDatabaseFile(const Database &db, const QString &path)
{
    const QString target = QFileInfo(path).canonicalFilePath();
    if (target.isEmpty())
        return false;
    for (const char *suffix : {"", "-wal", "-shm", "-journal", ".lock"}) {
        if (QFileInfo(db.path() + QLatin1String(suffix)).canonicalFilePath() == target)
            return true;
    }
    return false;
}

QString writeFailure(const QString &path, const QString &reason)
{
    return QStringLiteral("The list could not be exported to \"%1\": %2.")
        .arg(QDir::toNativeSeparators(path), reason);
}

} // namespace

void appendCsvField(std::string &out, std::string_view utf8)
{
    if (!needsQuotes(utf8)) {
        out.append(utf8);
        return;
    }
    out.push_back('"');
    for (size_t from = 0;;) {
        const size_t quote = utf8.find('"', from);
        if (quote == std::string_view::npos) {
            out.append(utf8.substr(from));
            break;
        }
        out.append(utf8.substr(from, quote - from + 1));
        out.push_back('"');
        from = quote + 1;
    }
    out.push_back('"');
}

Result<CsvExportOutcome> exportDocumentsCsv(Database &db, const DocumentListSource &source,
                                            const QString &path, const CsvProgress &progress)
{
    // The types are few; their names are looked up here rather than once per row.
    auto types = db.query({QStringLiteral("SELECT RecordPtr, Type FROM Types"), {}});
    if (!types)
        return Status::failure(QStringLiteral("The list could not be read: %1").arg(types.error()));
    std::unordered_map<qint16, std::string> typeNames;
    for (const Row &row : *types)
        typeNames[qint16(row.values.value(0).toLongLong())] =
            row.values.value(1).toString().toStdString();

    if (isDatabaseFile(db, path))
        return Status::failure(writeFailure(path, QStringLiteral("that is the database itself")));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Status::failure(writeFailure(path, file.errorString()));

    std::string buffer;
    buffer.reserve(kBufferBytes + 4096);
    buffer.append("\xEF\xBB\xBF"
                  "ID,Description,Type,Date,Who,Note\r\n");
    bool writeFailed = false;
    const auto flush = [&] {
        if (!buffer.empty() &&
            file.write(buffer.data(), qint64(buffer.size())) != qint64(buffer.size()))
            writeFailed = true;
        buffer.clear();
        return !writeFailed;
    };

    // Declared before the scan so that it ends only after the statement has been reset.
    struct BulkRead
    {
        Database &db;
        explicit BulkRead(Database &d) : db(d) { db.setBulkRead(true); }
        ~BulkRead() { db.setBulkRead(false); }
        BulkRead(const BulkRead &) = delete;
        BulkRead &operator=(const BulkRead &) = delete;
    } bulk(db);
    CsvExportOutcome outcome;
    const Status read = db.scan(
        source.select(db.dialect(),
                      QStringLiteral("ID, Description, DocumentType, Date, Who, Note")),
        [&](const FieldReader &row) {
            if (row.kind(ColId) == FieldReader::Kind::Integer) {
                char digits[24];
                const auto end =
                    std::to_chars(digits, digits + sizeof digits, row.integer(ColId)).ptr;
                buffer.append(digits, end);
            } else {
                appendCsvField(buffer, row.text(ColId));
            }
            buffer.push_back(',');
            appendCsvField(buffer, row.text(ColDescription));
            buffer.push_back(',');
            if (const auto type = typeNames.find(qint16(row.integer(ColType)));
                type != typeNames.end())
                appendCsvField(buffer, type->second);
            buffer.push_back(',');
            // Stored as yyyy-mm-dd already.
            appendCsvField(buffer, row.text(ColDate));
            buffer.push_back(',');
            appendCsvField(buffer, row.text(ColWho));
            buffer.push_back(',');
            appendCsvField(buffer, row.text(ColNote));
            buffer.append("\r\n");
            ++outcome.rows;
            if (buffer.size() >= kBufferBytes && !flush())
                return false;
            if (progress && outcome.rows % kCsvProgressStep == 0 && !progress(outcome.rows)) {
                outcome.cancelled = true;
                return false;
            }
            return true;
        });
    if (!read)
        return Status::failure(
            QStringLiteral("The list could not be read: %1").arg(read.message()));
    if (outcome.cancelled) {
        file.cancelWriting();
        return outcome;
    }
    if (!flush() || !file.commit())
        return Status::failure(writeFailure(path, file.errorString()));
    return outcome;
}

} // namespace qs
