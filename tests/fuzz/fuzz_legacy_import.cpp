// Fuzz target: a legacy table and memo file, imported into a fresh database. Whatever the
// bytes, the import either completes (every imported row stored, every type key valid) or
// fails and leaves nothing behind.
//
// Input: two bytes giving the table's length (little-endian), the table, then the memo file.
#include "import/modConvert.h"
#include "store/SqliteDatabase.h"

#include <QDir>
#include <QFile>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

struct Fixture
{
    QString table;
    QString memo;
    std::unique_ptr<qs::Database> db;
};

[[noreturn]] void fail(const char *what, const QString &detail = {})
{
    std::fprintf(stderr, "fuzz_legacy_import: %s %s\n", what, qPrintable(detail));
    std::abort();
}

Fixture &fixture()
{
    static Fixture f = [] {
        Fixture made;
        // Memory-backed where the system has it: every run writes the files anew.
        const QByteArray base = QDir(QStringLiteral("/dev/shm")).exists() ? "/dev/shm" : "/tmp";
        QByteArray folder = base + "/qs-fuzz-import-XXXXXX";
        if (!::mkdtemp(folder.data()))
            fail("no temporary folder");
        const QString dir = QString::fromLocal8Bit(folder);
        made.table = dir + QStringLiteral("/Document.DBF");
        made.memo = dir + QStringLiteral("/Document.DBT");
        QFile schema(QStringLiteral(QS_SCHEMA_SQL));
        if (!schema.open(QIODevice::ReadOnly))
            fail("cannot read the schema");
        const QString path = dir + QStringLiteral("/fuzz.db");
        if (qs::Status s = qs::createDatabaseFromScript(path, QString::fromUtf8(schema.readAll()));
            !s)
            fail("cannot create the database:", s.message());
        auto db = qs::openSqliteDatabase(path);
        if (!db)
            fail("cannot open the database:", db.error());
        made.db = std::move(db.value());
        return made;
    }();
    return f;
}

void writeFile(const QString &path, const uint8_t *data, size_t size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
        fail("cannot write", path);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    Fixture &f = fixture();
    const size_t tableSize = std::min<size_t>(data[0] | (data[1] << 8), size - 2);
    writeFile(f.table, data + 2, tableSize);
    writeFile(f.memo, data + 2 + tableSize, size - 2 - tableSize);

    qs::Database &db = *f.db;
    const qs::Result<qs::ImportReport> report = qs::ConvertDbfDatabase(db, f.table, f.memo);
    // Documents, types, documents naming a type that does not exist, keys beyond 16 bits.
    const auto counts = db.query(
        {QStringLiteral("SELECT (SELECT COUNT(*) FROM Documents), (SELECT COUNT(*) FROM Types), "
                        "(SELECT COUNT(*) FROM Documents WHERE DocumentType <> 0 AND DocumentType "
                        "NOT IN (SELECT RecordPtr FROM Types)), (SELECT COUNT(*) FROM Types WHERE "
                        "RecordPtr NOT BETWEEN 1 AND 32767)"),
         {}});
    if (!counts || counts->empty())
        fail("cannot count:", counts ? QString() : counts.error());
    const QVariantList &n = counts->front().values;
    if (!report && (n.at(0).toLongLong() != 0 || n.at(1).toLongLong() != 0))
        fail("a failed import left rows behind:", report.error());
    if (report && n.at(0).toLongLong() != report->imported)
        fail("the stored rows differ from the imported count");
    if (report && n.at(2).toLongLong() != 0)
        fail("a document names a type that does not exist");
    if (report && n.at(3).toLongLong() != 0)
        fail("a type key is beyond 16 bits");
    // The next run starts from an empty database again, keys included.
    for (const char *sql :
         {"DELETE FROM Documents", "DELETE FROM Types", "DELETE FROM sqlite_sequence"}) {
        if (qs::Status s = db.exec({QString::fromLatin1(sql), {}}); !s)
            fail("cannot empty the database:", s.message());
    }
    return 0;
}
