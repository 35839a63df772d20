#include "RecordLocks.h"

#include "StoreFiles.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace qs {

RecordLocks::RecordLocks(QString lockFilePath) : m_path(std::move(lockFilePath)) {}

RecordLocks::~RecordLocks()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

Status RecordLocks::ensureOpen()
{
    if (m_fd >= 0)
        return Status::success();
    const QString cannotLock = QStringLiteral(" Records cannot be locked for editing until it is "
                                              "removed; the program then makes a new one.");
    // Without blocking: a named pipe in its place would wait for a writer.
    const int fd = ::open(QFile::encodeName(m_path).constData(),
                          O_RDWR | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EISDIR)
        return Status::failure(QStringLiteral("The lock file \"%1\" is a folder, not a file.")
                                   .arg(QDir::toNativeSeparators(m_path)) +
                               cannotLock);
    if (fd < 0)
        return Status::failure(
            QStringLiteral("The lock file \"%1\" cannot be opened for writing (%2), so records "
                           "cannot be locked for editing. Ask for permission to write to it and "
                           "its folder, then try again.")
                .arg(QDir::toNativeSeparators(m_path),
                     QString::fromLocal8Bit(std::strerror(errno))));
    if (Status s = checkRegularDescriptor(fd, m_path); !s) {
        ::close(fd);
        return Status::failure(QStringLiteral("The lock file ") + s.message() + cannotLock);
    }
    m_fd = fd;
    return Status::success();
}

static bool setLock(int fd, short type, int space, qint64 key)
{
    struct flock fl = {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    // Each table gets its own range of 2^32 bytes.
    fl.l_start = (off_t(space) << 32) + off_t(key);
    fl.l_len = 1;
    return ::fcntl(fd, F_OFD_SETLK, &fl) == 0;
}

Status RecordLocks::lock(int space, qint64 key)
{
    if (Status s = ensureOpen(); !s)
        return s;
    const auto id = qMakePair(space, key);
    if (m_held.contains(id)) {
        ++m_held[id];
        return Status::success();
    }
    if (!setLock(m_fd, F_WRLCK, space, key)) {
        if (errno == EAGAIN || errno == EACCES)
            return Status::failure(QStringLiteral("The record is locked by another user."),
                                   FailureKind::RecordLocked);
        return Status::failure(QStringLiteral("Records cannot be locked in the lock file \"%1\": "
                                              "%2.")
                                   .arg(QDir::toNativeSeparators(m_path),
                                        QString::fromLocal8Bit(std::strerror(errno))));
    }
    m_held.insert(id, 1);
    return Status::success();
}

void RecordLocks::unlock(int space, qint64 key)
{
    const auto id = qMakePair(space, key);
    auto it = m_held.find(id);
    if (it == m_held.end())
        return;
    if (--it.value() > 0)
        return;
    m_held.erase(it);
    setLock(m_fd, F_UNLCK, space, key);
}

} // namespace qs
