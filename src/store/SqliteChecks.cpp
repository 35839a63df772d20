// Checks of whole database files: a file found at start, the template's copy,
// and a new database before it takes its name.
#include "Schema.h"
#include "SqliteDatabase.h"
#include "SqliteSupport.h"

#include <QDir>
#include <QFileInfo>

namespace qs {

using namespace sqlite;

namespace {

// The tables and fields that the program reads and writes.
const QList<QPair<QString, QStringList>> &requiredTables()
{
    static const QList<QPair<QString, QStringList>> tables{
        {schema::Documents,
         {"ID", "Description", "DocumentType", "Date", "Who", "Note", "RecordPtr", "DateAdded",
          "DateChanged"}},
        {schema::Types, {"Type", "RecordPtr"}}};
    return tables;
}

int prepare(sqlite3 *db, const char *sql, const QString &bound, StatementPtr &st)
{
    sqlite3_stmt *raw = nullptr;
    int rc = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
    st.reset(raw);
    if (rc == SQLITE_OK && !bound.isNull()) {
        const QByteArray text = bound.toUtf8();
        rc = sqlite3_bind_text(raw, 1, text.constData(), int(text.size()), SQLITE_TRANSIENT);
    }
    return rc;
}

QString columnText(sqlite3_stmt *st, int column)
{
    return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, column)));
}

// Adds to `problems` what keeps `db` from being a document database: a
// missing table, something else under a table's name, missing fields.
// Returns SQLite's result code when the engine itself failed.
int findTableProblems(sqlite3 *db, QStringList &problems)
{
    for (const auto &[table, fields] : requiredTables()) {
        StatementPtr st;
        int rc = prepare(db,
                         "SELECT type FROM sqlite_master WHERE name = ?1 COLLATE NOCASE "
                         "ORDER BY type = 'table' DESC LIMIT 1",
                         table, st);
        if (rc != SQLITE_OK)
            return rc;
        rc = sqlite3_step(st.get());
        if (rc == SQLITE_DONE) {
            problems << QStringLiteral("it has no table %1").arg(table);
            continue;
        }
        if (rc != SQLITE_ROW)
            return rc;
        const QString type = columnText(st.get(), 0);
        if (type != QLatin1String("table")) {
            problems << QStringLiteral("%1 is a %2, not a table").arg(table, type);
            continue;
        }
        rc = prepare(db, "SELECT name FROM pragma_table_info(?1)", table, st);
        if (rc != SQLITE_OK)
            return rc;
        QStringList present;
        while ((rc = sqlite3_step(st.get())) == SQLITE_ROW)
            present << columnText(st.get(), 0);
        if (rc != SQLITE_DONE)
            return rc;
        QStringList missing;
        for (const QString &field : fields)
            if (!present.contains(field, Qt::CaseInsensitive))
                missing << field;
        if (!missing.isEmpty())
            problems << QStringLiteral("the table %1 lacks the field%2 %3")
                            .arg(table, missing.size() == 1 ? QString() : QStringLiteral("s"),
                                 missing.join(QStringLiteral(", ")));
    }
    return SQLITE_OK;
}

// What a look at a file found, without writing to it.
struct Inspection
{
    enum Outcome { Fine, Unusable, NotSqlite, WrongTables, EngineFailed };
    Outcome outcome = Fine;
    QString text; // why it is unusable, or the table problems
    ConnectionPtr db;
    int rc = SQLITE_OK;
};

Inspection inspect(const QString &path)
{
    Inspection result;
    const auto header = readFileStart(path, 100);
    if (!header) {
        result.outcome = Inspection::Unusable;
        result.text = header.error();
        return result;
    }
    // SQLite would take an empty or foreign file for an empty database.
    if (!header->startsWith(QByteArray("SQLite format 3\0", 16))) {
        result.outcome = Inspection::NotSqlite;
        return result;
    }
    // A file in write-ahead-log mode without its log is in use by nobody: it
    // is read as it stands, so that no log is made beside a foreign file.
    const bool idle = header->size() > 18 && header->at(18) == 2 &&
                      !QFileInfo::exists(path + QStringLiteral("-wal"));
    int rc = openConnection(path, SQLITE_OPEN_READONLY, idle ? "mode=ro&immutable=1" : "mode=ro",
                            result.db);
    QStringList problems;
    if (rc == SQLITE_OK)
        rc = findTableProblems(result.db.get(), problems);
    if (rc != SQLITE_OK) {
        result.outcome = Inspection::EngineFailed;
        result.rc = rc;
    } else if (!problems.isEmpty()) {
        result.outcome = Inspection::WrongTables;
        result.text = problems.join(QStringLiteral("; "));
    }
    return result;
}

} // namespace

Status checkDocumentDatabase(const QString &path)
{
    const Inspection found = inspect(path);
    const QString name = QFileInfo(path).fileName();
    const QString leftAlone = QStringLiteral(" It has been left as it is; move it away to start "
                                             "with a new database, or put the right \"%1\" in "
                                             "its place.")
                                  .arg(name);
    switch (found.outcome) {
    case Inspection::Fine:
        return Status::success();
    case Inspection::Unusable:
        return Status::failure(found.text);
    case Inspection::NotSqlite:
        return Status::failure(QStringLiteral("The file \"%1\" is not a database.").arg(name) +
                               leftAlone);
    case Inspection::WrongTables:
        return Status::failure(
            QStringLiteral("The file \"%1\" is a database, but not a Quillstack database: %2.")
                .arg(name, found.text) +
            leftAlone);
    case Inspection::EngineFailed:
        break;
    }
    return Status::failure(explain(found.db.get(), found.rc, FileAction::Open, path));
}

Status checkTemplateCopy(const QString &copyPath, const QString &templatePath,
                         const QString &dbPath)
{
    const Inspection found = inspect(copyPath);
    QString problem;
    switch (found.outcome) {
    case Inspection::Fine:
        return Status::success();
    case Inspection::Unusable:
        return Status::failure(found.text);
    case Inspection::NotSqlite:
        problem = QStringLiteral("it is not a database");
        break;
    case Inspection::WrongTables:
        problem = found.text;
        break;
    case Inspection::EngineFailed:
        problem = QStringLiteral("it cannot be read: %1")
                      .arg(QString::fromUtf8(sqlite3_errmsg(found.db.get())));
        break;
    }
    return Status::failure(
        QStringLiteral("The template \"%1\" is not a Quillstack template: %2. "
                       "The database \"%3\" was not created; put the "
                       "template that came with the program in its place.")
            .arg(QDir::toNativeSeparators(templatePath), problem, QFileInfo(dbPath).fileName()));
}

Status sealNewDatabase(Database &database)
{
    sqlite3 *db = connectionOf(database);
    const QString dbPath = shownPathOf(database);
    const auto failed = [&](int rc) {
        return Status::failure(explain(db, rc, FileAction::Create, dbPath));
    };
    // The checkpoint that closing would make reports no failure; a full disk
    // would leave a file that lacks what only its log holds.
    int logFrames = -1;
    int copiedFrames = -1;
    const int rc = sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, &logFrames,
                                             &copiedFrames);
    if (rc != SQLITE_OK || logFrames != copiedFrames)
        return failed(rc == SQLITE_OK ? SQLITE_BUSY : rc);

    StatementPtr st;
    int checked = prepare(db, "PRAGMA quick_check", QString(), st);
    if (checked == SQLITE_OK)
        checked = sqlite3_step(st.get());
    if (checked != SQLITE_ROW)
        return failed(checked);
    const QString verdict = columnText(st.get(), 0);
    st.reset();
    QStringList problems;
    if (verdict != QLatin1String("ok"))
        problems << verdict;
    else if (const int tables = findTableProblems(db, problems); tables != SQLITE_OK)
        return failed(tables);
    if (!problems.isEmpty())
        return Status::failure(explainFileProblem(FileProblem::Damaged, FileAction::Create, dbPath,
                                                  problems.join(QStringLiteral("; "))));
    return Status::success();
}

} // namespace qs
