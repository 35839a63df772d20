#include "import/modConvert.h"

#include "import/DbfReader.h"
#include "store/Schema.h"
#include "store/modRoutines.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <algorithm>

namespace qs {

namespace {

const QStringList kDocumentColumns = {"ID",        "Description", "DocumentType", "Date",
                                      "DateAdded", "DateChanged", "Who",          "Note"};
// Rows handed to the engine at once: a server takes them in one exchange.
constexpr size_t kBatchRows = 2000;
const QString kInsertType = QStringLiteral("INSERT INTO Types (Type) VALUES (?)");
const QString kDeleteType = QStringLiteral("DELETE FROM Types WHERE RecordPtr = ?");
const QString kAllTypes = QStringLiteral("SELECT Type, RecordPtr FROM Types ORDER BY RecordPtr");

// Marks a name whose type could not be added, so that every row naming it is reported.
constexpr qint64 kNoKey = -1;

// The stored form of a date (ISO text), made directly: the general date formatting costs
// more than the rest of a row's conversion.
QVariant dateValue(const std::optional<QDate> &date)
{
    if (!date)
        return QVariant();
    int year = 0;
    int month = 0;
    int day = 0;
    date->getDate(&year, &month, &day);
    if (year < 1 || year > 9999)
        return QVariant(*date);
    const char16_t text[10] = {char16_t(u'0' + year / 1000),
                               char16_t(u'0' + year / 100 % 10),
                               char16_t(u'0' + year / 10 % 10),
                               char16_t(u'0' + year % 10),
                               u'-',
                               char16_t(u'0' + month / 10),
                               char16_t(u'0' + month % 10),
                               u'-',
                               char16_t(u'0' + day / 10),
                               char16_t(u'0' + day % 10)};
    return QVariant(QString(reinterpret_cast<const QChar *>(text), 10));
}

// Type names compare as the database compares them: ASCII letters without regard to case,
// every other character as it is (so "É" and "é" are two names, as are "ß" and "SS").
QString asciiFolded(const QString &name)
{
    QString folded = name;
    for (QChar &c : folded) {
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + (u'a' - u'A'));
    }
    return folded;
}

// Type names to keys, held in memory for the whole import: one hash lookup per row instead
// of a query. A name is matched first as written, then with its letter case folded.
class TypeKeys
{
public:
    explicit TypeKeys(Database &db) : m_db(db) {}

    Status load()
    {
        auto rows = m_db.query({kAllTypes, {}});
        if (!rows)
            return Status::failure(rows.error());
        for (const Row &row : *rows) {
            const qint64 key = row.values.at(1).toLongLong();
            const QString folded = asciiFolded(fnTrimTrailing(row.values.at(0).toString()));
            if (key > 0 && key <= kHighestTypeKey && !m_folded.contains(folded))
                m_folded.insert(folded, key); // the first of equal names wins
        }
        return Status::success();
    }

    // The key for `name` (0 for no type), adding the type when it is new. A type that cannot
    // get a usable key gives 0 and a problem line for the row.
    Result<qint64> keyFor(const QString &name, int row, QList<DbfProblem> &problems)
    {
        if (name.isEmpty())
            return qint64(0);
        qint64 key = m_exact.value(name, 0);
        if (key == 0) {
            const QString folded = asciiFolded(name);
            key = m_folded.value(folded, 0);
            if (key == 0) {
                auto added = add(name);
                if (!added)
                    return added;
                key = *added;
                m_folded.insert(folded, key);
            }
            m_exact.insert(name, key);
        }
        if (key != kNoKey)
            return key;
        problems.append(DbfProblem{
            row, QStringLiteral("Type"),
            QStringLiteral("type \"%1\" cannot be added, because type keys cannot go beyond "
                           "%2; imported without a type")
                .arg(name)
                .arg(kHighestTypeKey)});
        return qint64(0);
    }

private:
    Result<qint64> add(const QString &name)
    {
        if (m_full)
            return kNoKey;
        if (Status s = m_db.exec({kInsertType, {name}}); !s)
            return s;
        const qint64 key = m_db.lastInsertKey();
        if (key > 0 && key <= kHighestTypeKey)
            return key;
        // Keys only ever grow, so no later type would fit either.
        m_full = true;
        if (Status s = m_db.exec({kDeleteType, {key}}); !s)
            return s;
        return kNoKey;
    }

    Database &m_db;
    QHash<QString, qint64> m_exact;
    QHash<QString, qint64> m_folded;
    bool m_full = false;
};

// A large import outgrows the engine's usual page cache, which then writes pages out and
// reads them back in the middle of the transaction: several times slower. The cache is
// widened for the import alone; an engine that has no such setting just goes slower.
class WideCache
{
public:
    explicit WideCache(Database &db) : m_db(db)
    {
        if (m_db.dialect() != SqlDialect::SQLite)
            return;
        auto size = m_db.query({QStringLiteral("PRAGMA cache_size"), {}});
        if (!size || size->empty() || size->front().values.isEmpty())
            return;
        m_previous = size->front().values.at(0).toLongLong();
        m_widened = m_db.exec({QStringLiteral("PRAGMA cache_size = -%1").arg(kCacheKiB), {}}).ok();
    }
    ~WideCache()
    {
        // Only speed depends on the cache size; a failed restore leaves it wide.
        if (m_widened)
            (void)m_db.exec({QStringLiteral("PRAGMA cache_size = %1").arg(m_previous), {}});
    }
    WideCache(const WideCache &) = delete;
    WideCache &operator=(const WideCache &) = delete;

private:
    static constexpr int kCacheKiB = 256 * 1024;
    Database &m_db;
    qint64 m_previous = 0;
    bool m_widened = false;
};

QString shownPath(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

Status engineFailure(const QString &tablePath, int row, const QString &reason)
{
    if (row > 0)
        return Status::failure(
            QStringLiteral("The legacy table \"%1\" could not be imported at row %2: %3")
                .arg(shownPath(tablePath))
                .arg(row)
                .arg(reason));
    return Status::failure(QStringLiteral("The legacy table \"%1\" could not be imported: %2")
                               .arg(shownPath(tablePath), reason));
}

} // namespace

Result<ImportReport> ConvertDbfDatabase(Database &db, const QString &tablePath,
                                        const QString &memoPath, const ImportProgress &progress)
{
    DbfReader reader(tablePath, memoPath);
    if (!reader.open())
        return Status::failure(reader.errorString());

    WideCache cache(db);
    // One transaction: a commit per row would make a large table take minutes, and a
    // failure half-way leaves nothing behind.
    Transaction transaction(db);
    if (!transaction.status())
        return engineFailure(tablePath, 0, transaction.status().message());
    TypeKeys types(db);
    if (Status s = types.load(); !s)
        return engineFailure(tablePath, 0, s.message());

    if (progress)
        progress(0, reader.rowCount());
    int reported = 0;
    QList<DbfProblem> typeProblems;
    std::vector<QVariantList> batch;
    std::vector<int> batchRowNumbers;
    const auto flush = [&]() -> Status {
        qsizetype failed = -1;
        const Status s = db.insertRows(schema::Documents, kDocumentColumns, batch, &failed);
        if (!s)
            return engineFailure(tablePath, failed >= 0 ? batchRowNumbers[size_t(failed)] : 0,
                                 s.message());
        batch.clear();
        batchRowNumbers.clear();
        return Status::success();
    };
    while (std::optional<LegacyDocument> doc = reader.next()) {
        const Result<qint64> typeKey = types.keyFor(doc->typeName, doc->rowNumber, typeProblems);
        if (!typeKey)
            return engineFailure(tablePath, doc->rowNumber, typeKey.error());
        batch.push_back({doc->id, doc->description, typeKey.value(), dateValue(doc->date),
                         dateValue(doc->dateAdded), dateValue(doc->dateChanged), doc->who,
                         doc->note});
        batchRowNumbers.push_back(doc->rowNumber);
        if (batch.size() >= kBatchRows)
            if (Status s = flush(); !s)
                return s;
        if (progress && reader.rowsDone() - reported >= kProgressEveryRows) {
            reported = reader.rowsDone();
            progress(reported, reader.rowCount());
        }
    }
    if (reader.failed())
        return Status::failure(reader.errorString());
    if (Status s = flush(); !s)
        return s;
    if (Status s = transaction.commit(); !s)
        return engineFailure(tablePath, 0, s.message());
    if (progress)
        progress(reader.rowsDone(), reader.rowCount());

    ImportReport report = fnImportReport(reader);
    report.problems += typeProblems;
    std::stable_sort(report.problems.begin(), report.problems.end(),
                     [](const DbfProblem &a, const DbfProblem &b) { return a.row < b.row; });
    return report;
}

Result<QString> fnFindLegacyFile(const QString &folder, const QString &name)
{
    const QDir dir(folder);
    if (QFileInfo::exists(dir.filePath(name)))
        return dir.filePath(name);
    // Whatever stands under a variant of the name counts, so that a folder or a pipe in its
    // place is reported when it is opened rather than passed over.
    QStringList found;
    const QStringList entries = dir.entryList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString &entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            found.append(entry);
    }
    if (found.size() > 1)
        return Status::failure(
            QStringLiteral("The folder holds %1 files whose names differ from \"%2\" only in "
                           "letter case: \"%3\". Which one to import cannot be told; rename "
                           "the one to import \"%2\" or move the others away.")
                .arg(found.size())
                .arg(name, found.join(QStringLiteral("\", \""))));
    return found.isEmpty() ? QString() : dir.filePath(found.first());
}

} // namespace qs
