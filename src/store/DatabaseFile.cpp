#include "DatabaseFile.h"

#include "SqliteDatabase.h"
#include "StoreFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace qs {

QString findTemplate(const QString &fileName, const QString &programDir)
{
    if (QFileInfo::exists(fileName))
        return fileName;
    const QString beside = QDir(programDir).filePath(fileName);
    if (!programDir.isEmpty() && QFileInfo::exists(beside))
        return beside;
    return {};
}

namespace {

const char *const kCompanions[] = {"", "-wal", "-shm", "-journal"};

QString creatingPrefix(const QString &dbPath)
{
    return QFileInfo(dbPath).fileName() + QStringLiteral(".creating-");
}

// The process whose start made `name`, when `name` is one of ours: the
// prefix, the process number, then nothing or the suffix of a companion file
// of SQLite's. Anything else in the folder is not ours to touch.
std::optional<pid_t> ownerOf(const QString &name, const QString &prefix, bool *isMainFile)
{
    static const QRegularExpression pattern(QStringLiteral("^([0-9]{1,10})(-wal|-shm|-journal)?$"));
    if (!name.startsWith(prefix))
        return {};
    const QRegularExpressionMatch match = pattern.match(name.mid(prefix.size()));
    if (!match.hasMatch())
        return {};
    const qlonglong pid = match.captured(1).toLongLong();
    if (pid <= 0 || pid > INT_MAX)
        return {};
    *isMainFile = match.capturedLength(2) == 0;
    return pid_t(pid);
}

bool isRunning(pid_t pid)
{
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

bool sameFile(const QString &a, const QString &b)
{
    struct stat sa = {};
    struct stat sb = {};
    return ::stat(QFile::encodeName(a).constData(), &sa) == 0 &&
           ::stat(QFile::encodeName(b).constData(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// Removes what earlier starts left behind when they died while creating the
// database: the temporary file with its log, index and journal, and a
// temporary name that still links to the finished database (a start killed
// between giving the file its name and removing the old one). A start that
// is still running keeps its files.
void removeAbandonedCopies(const QString &dbPath)
{
    QDir dir = QFileInfo(dbPath).absoluteDir();
    const QString prefix = creatingPrefix(dbPath);
    const auto entries = dir.entryList(QDir::Files | QDir::System | QDir::Hidden);
    for (const QString &name : entries) {
        bool isMainFile = false;
        const std::optional<pid_t> pid = ownerOf(name, prefix, &isMainFile);
        if (!pid)
            continue;
        const QString path = dir.filePath(name);
        if ((isMainFile && sameFile(path, dbPath)) || !isRunning(*pid))
            QFile::remove(path);
    }
}

void removeWithCompanions(const QString &path)
{
    for (const char *suffix : kCompanions)
        QFile::remove(path + QLatin1String(suffix));
}

// Removes the temporary file and its companions on every way out.
class TemporaryFiles
{
public:
    explicit TemporaryFiles(QString path) : m_path(std::move(path))
    {
        removeWithCompanions(m_path);
    }
    ~TemporaryFiles() { removeWithCompanions(m_path); }
    TemporaryFiles(const TemporaryFiles &) = delete;
    TemporaryFiles &operator=(const TemporaryFiles &) = delete;
    const QString &path() const { return m_path; }

private:
    QString m_path;
};

// Builds the database under a temporary name and gives it its real name only
// once it is complete, checked and on the disk. `created` is false when
// another copy of the program made the database meanwhile.
Status createDatabase(const QString &dbPath, const QString &templatePath,
                      const std::function<Status(Database &)> &fill, bool &created)
{
    const QString folder = QFileInfo(dbPath).absolutePath();
    const TemporaryFiles temp(
        QDir(folder).filePath(creatingPrefix(dbPath) + QString::number(::getpid())));
    if (Status s = copyFileDurably(templatePath, temp.path(), dbPath); !s)
        return s;
    if (Status s = checkTemplateCopy(temp.path(), templatePath, dbPath); !s)
        return s;
    {
        auto db = openSqliteDatabase(temp.path(), dbPath);
        if (!db)
            return Status::failure(db.error());
        if (fill) {
            if (Status s = fill(*db.value()); !s)
                return s;
        }
        if (Status s = sealNewDatabase(*db.value()); !s)
            return s;
        // Closing the connection removes the (now empty) log and its index.
    }
    if (Status s = syncToDisk(temp.path(), dbPath); !s)
        return s;
    // link() refuses to replace a database that another copy of the program
    // created meanwhile; that one then wins.
    const QByteArray from = QFile::encodeName(temp.path());
    const QByteArray to = QFile::encodeName(dbPath);
    created = ::link(from.constData(), to.constData()) == 0;
    if (!created && errno != EEXIST) {
        const int error = errno;
        return Status::failure(explainFileProblem(problemFromErrno(error, dbPath),
                                                  FileAction::Create, dbPath,
                                                  QString::fromLocal8Bit(std::strerror(error))));
    }
    QFile::remove(temp.path());
    // Makes the new name last; the file is complete whether or not it does.
    (void)syncToDisk(folder, dbPath);
    return Status::success();
}

} // namespace

Result<OpenedDatabase> openOrCreateDatabase(const QString &dbPath, const QString &templatePath,
                                            const std::function<Status(Database &)> &fill)
{
    OpenedDatabase opened;
    removeAbandonedCopies(dbPath);
    if (!QFileInfo::exists(dbPath)) {
        if (templatePath.isEmpty() || !QFileInfo::exists(templatePath))
            return Status::failure(
                QStringLiteral("The template database \"%1\" was not found, so the database "
                               "\"%2\" cannot be created.")
                    .arg(QFileInfo(templatePath.isEmpty() ? QStringLiteral("QskDef.MDB")
                                                          : templatePath)
                             .fileName(),
                         QFileInfo(dbPath).fileName()));
        if (Status s = createDatabase(dbPath, templatePath, fill, opened.created); !s)
            return s;
    }
    // Nothing writes to a file before it has proved to be a document database.
    if (Status s = checkDocumentDatabase(dbPath); !s)
        return s;
    auto db = openSqliteDatabase(dbPath);
    if (!db)
        return Status::failure(db.error());
    opened.db = std::move(db.value());
    return opened;
}

} // namespace qs
