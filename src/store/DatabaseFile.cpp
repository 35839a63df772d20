#include "DatabaseFile.h"

#include "SqliteDatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <cstring>
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

QString creatingPrefix(const QString &dbPath)
{
    return QFileInfo(dbPath).fileName() + QStringLiteral(".creating-");
}

// Removes what earlier starts left behind when they died while creating the
// database (their process no longer exists).
void removeAbandonedCopies(const QString &dbPath)
{
    const QFileInfo info(dbPath);
    QDir dir = info.absoluteDir();
    const QString prefix = creatingPrefix(dbPath);
    const auto entries = dir.entryList({prefix + QStringLiteral("*")}, QDir::Files | QDir::Hidden);
    for (const QString &name : entries) {
        bool ok = false;
        const QString rest = name.mid(prefix.size()).section(QLatin1Char('.'), 0, 0);
        const pid_t pid = pid_t(rest.toLongLong(&ok));
        if (ok && pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM))
            continue;
        dir.remove(name);
    }
}

void removeWithCompanions(const QString &path)
{
    for (const char *suffix : {"", "-wal", "-shm", "-journal", ".lock"})
        QFile::remove(path + QLatin1String(suffix));
}

} // namespace

Result<OpenedDatabase> openOrCreateDatabase(const QString &dbPath, const QString &templatePath,
                                            const std::function<Status(Database &)> &fill)
{
    OpenedDatabase opened;
    if (!QFileInfo::exists(dbPath)) {
        if (templatePath.isEmpty() || !QFileInfo::exists(templatePath))
            return Status::failure(
                QStringLiteral("The template database \"%1\" was not found, so the database "
                               "\"%2\" cannot be created.")
                    .arg(QFileInfo(templatePath.isEmpty() ? QStringLiteral("QskDef.MDB")
                                                          : templatePath)
                             .fileName(),
                         QFileInfo(dbPath).fileName()));
        removeAbandonedCopies(dbPath);
        const QString temp = QFileInfo(dbPath).absoluteDir().filePath(
            creatingPrefix(dbPath) + QString::number(::getpid()));
        removeWithCompanions(temp);
        if (!QFile::copy(templatePath, temp))
            return Status::failure(QStringLiteral("The template \"%1\" could not be copied to "
                                                  "\"%2\".")
                                       .arg(templatePath, QFileInfo(dbPath).absolutePath()));
        QFile::setPermissions(temp, QFile::permissions(temp) | QFile::WriteOwner);
        {
            auto db = openSqliteDatabase(temp);
            if (!db) {
                removeWithCompanions(temp);
                return Status::failure(db.error());
            }
            if (fill) {
                if (Status s = fill(*db.value()); !s) {
                    db.value().reset();
                    removeWithCompanions(temp);
                    return s;
                }
            }
            // Closing the last connection folds the write-ahead log back in.
        }
        // link() refuses to replace a database that another copy of the
        // program created meanwhile; that one then wins.
        const QByteArray from = QFile::encodeName(temp);
        const QByteArray to = QFile::encodeName(dbPath);
        const bool linked = ::link(from.constData(), to.constData()) == 0;
        if (!linked && errno != EEXIST) {
            const QString reason = QString::fromLocal8Bit(std::strerror(errno));
            removeWithCompanions(temp);
            return Status::failure(QStringLiteral("The database \"%1\" could not be created: %2")
                                       .arg(dbPath, reason));
        }
        opened.created = linked;
        removeWithCompanions(temp);
    } else {
        if (Status s = checkDocumentDatabase(dbPath); !s)
            return Status::failure(QStringLiteral("The file \"%1\" %2. It has been left as it is; "
                                                  "move it away to start with a new database.")
                                       .arg(QFileInfo(dbPath).fileName(), s.message()));
    }
    auto db = openSqliteDatabase(dbPath);
    if (!db)
        return Status::failure(
            QStringLiteral("The database \"%1\" could not be opened: %2").arg(dbPath, db.error()));
    opened.db = std::move(db.value());
    return opened;
}

} // namespace qs
