#include "StoreFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace qs {

namespace {

// Closes a file descriptor when it goes out of scope.
class Descriptor
{
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return m_fd; }
    void reset(int fd)
    {
        close();
        m_fd = fd;
    }
    // Closes now, reporting the outcome (a delayed write error shows here).
    bool close()
    {
        const int fd = std::exchange(m_fd, -1);
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int m_fd;
};

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

const char *kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISFIFO(mode))
        return "a named pipe";
    if (S_ISSOCK(mode))
        return "a socket";
    return "a device";
}

// Opens `path` for reading without ever waiting (a named pipe would wait for
// a writer) and makes sure it is an ordinary file.
Status openRegular(const QString &path, Descriptor &fd)
{
    const int raw =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (raw < 0) {
        const int error = errno;
        return Status::failure(QStringLiteral("\"%1\" cannot be opened: %2. Check that it is "
                                              "there and that you may read it.")
                                   .arg(shown(path), systemText(error)));
    }
    fd.reset(raw);
    if (Status s = checkRegularDescriptor(raw, path); !s)
        return Status::failure(
            s.message() + QStringLiteral(" It cannot be used; put the right file in its place."));
    return Status::success();
}

bool writeAll(int fd, const char *data, qint64 size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

Status createFailure(int error, const QString &path, const QString &dbPath)
{
    return Status::failure(explainFileProblem(problemFromErrno(error, path), FileAction::Create,
                                              dbPath, systemText(error)));
}

} // namespace

QString explainFileProblem(FileProblem problem, FileAction action, const QString &dbPath,
                           const QString &detail)
{
    const QString name = QFileInfo(dbPath).fileName();
    const QString folder = shown(QFileInfo(dbPath).absolutePath());
    const QString inBrackets = detail.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(detail);
    if (action == FileAction::Create) {
        switch (problem) {
        case FileProblem::DiskFull:
            return QStringLiteral("The database \"%1\" was not created: there is not enough disk "
                                  "space in \"%2\". Free some space, then start the program "
                                  "again; it will try again.")
                .arg(name, folder);
        case FileProblem::ReadOnlyFile:
        case FileProblem::ReadOnlyFolder:
            return QStringLiteral("The database \"%1\" cannot be created, because you may not "
                                  "write to the folder \"%2\". Start the program in a folder of "
                                  "your own, or ask for permission to write to this one.")
                .arg(name, folder);
        case FileProblem::Damaged:
            return QStringLiteral("The database \"%1\" was not created: the new file failed its "
                                  "check%2. Start the program again to try once more; if this "
                                  "happens again, check the disk.")
                .arg(name, inBrackets);
        case FileProblem::Locked:
            return QStringLiteral("The database \"%1\" was not created: another program was "
                                  "using the new file. Start the program again to try once more.")
                .arg(name);
        case FileProblem::Other:
            break;
        }
        return QStringLiteral("The database \"%1\" was not created%2. Start the program again "
                              "to try once more; if this happens again, check the disk and the "
                              "folder \"%3\".")
            .arg(name, detail.isEmpty() ? QString() : QStringLiteral(": ") + detail, folder);
    }
    switch (problem) {
    case FileProblem::DiskFull:
        return QStringLiteral("There is not enough disk space in \"%2\" to write to the database "
                              "\"%1\"; nothing was saved. Free some space, then try again.")
            .arg(name, folder);
    case FileProblem::ReadOnlyFile:
        return QStringLiteral("The database \"%1\" can only be read, because you may not write "
                              "to the file. To make changes, ask for permission to write to it, "
                              "or copy it to a folder of your own.")
            .arg(name);
    case FileProblem::ReadOnlyFolder:
        return QStringLiteral("The database \"%1\" can only be read, because you may not write "
                              "to its folder \"%2\", where changes are first logged. To make "
                              "changes, ask for permission to write to the folder, or copy the "
                              "database to a folder of your own.")
            .arg(name, folder);
    case FileProblem::Damaged:
        return QStringLiteral("The database \"%1\" is damaged%2. It has been left as it is. "
                              "Restore it from a backup, or rescue what can still be read "
                              "with\n    sqlite3 %1 \".recover\" | sqlite3 Recovered.MDB\nand "
                              "put Recovered.MDB in its place.")
            .arg(name, inBrackets);
    case FileProblem::Locked:
        return QStringLiteral("The database \"%1\" is locked by another program, which is "
                              "writing to it. Wait until it has finished (or close it), then "
                              "try again.")
            .arg(name);
    case FileProblem::Other:
        break;
    }
    return QStringLiteral("The database \"%1\" reported an error%2. Check the disk and the "
                          "file, then try again.")
        .arg(name, detail.isEmpty() ? QString() : QStringLiteral(": ") + detail);
}

FileProblem problemFromErrno(int error, const QString &path)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return FileProblem::DiskFull;
    case EACCES:
    case EPERM:
    case EROFS: {
        const QByteArray name = QFile::encodeName(path);
        if (::access(name.constData(), F_OK) == 0 && ::access(name.constData(), W_OK) != 0)
            return FileProblem::ReadOnlyFile;
        return FileProblem::ReadOnlyFolder;
    }
    default:
        return FileProblem::Other;
    }
}

Status checkRegularDescriptor(int fd, const QString &path)
{
    struct stat st = {};
    if (::fstat(fd, &st) != 0)
        return Status::failure(
            QStringLiteral("\"%1\" cannot be read: %2.").arg(shown(path), systemText(errno)));
    if (!S_ISREG(st.st_mode))
        return Status::failure(QStringLiteral("\"%1\" is %2, not a file.")
                                   .arg(shown(path), QLatin1String(kindOf(st.st_mode))));
    return Status::success();
}

Status checkRegularFile(const QString &path)
{
    Descriptor fd;
    return openRegular(path, fd);
}

Result<QByteArray> readFileStart(const QString &path, int size)
{
    Descriptor fd;
    if (Status s = openRegular(path, fd); !s)
        return s;
    QByteArray bytes(size, '\0');
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd.get(), bytes.data() + done, size_t(size - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Status::failure(
                QStringLiteral("\"%1\" cannot be read: %2.").arg(shown(path), systemText(errno)));
        if (n == 0)
            break;
        done += n;
    }
    bytes.truncate(done);
    return bytes;
}

Status copyFileDurably(const QString &from, const QString &to, const QString &dbPath)
{
    Descriptor in;
    if (Status s = openRegular(from, in); !s)
        return s;
    Descriptor out(
        ::open(QFile::encodeName(to).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (out.get() < 0)
        return createFailure(errno, to, dbPath);
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(in.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            return Status::failure(
                QStringLiteral("\"%1\" cannot be read: %2.").arg(shown(from), systemText(error)));
        }
        if (n == 0)
            break;
        if (!writeAll(out.get(), buffer, n))
            return createFailure(errno, to, dbPath);
    }
    if (::fsync(out.get()) != 0 || !out.close())
        return createFailure(errno, to, dbPath);
    return Status::success();
}

Status syncToDisk(const QString &path, const QString &dbPath)
{
    Descriptor fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC));
    // Some file systems cannot sync a folder; they need not.
    if (fd.get() < 0 || (::fsync(fd.get()) != 0 && errno != EINVAL))
        return createFailure(errno, path, dbPath);
    return Status::success();
}

} // namespace qs
