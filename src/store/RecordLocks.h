#pragma once

#include "Status.h"

#include <QHash>
#include <QString>

namespace qs {

// Record locks shared between processes: one byte per record in a lock file
// beside the database, locked through one open file description per process.
// The operating system drops them when the process ends, so a crashed copy
// of the program never leaves a record locked.
class RecordLocks
{
public:
    explicit RecordLocks(QString lockFilePath);
    ~RecordLocks();
    RecordLocks(const RecordLocks &) = delete;
    RecordLocks &operator=(const RecordLocks &) = delete;

    // `space` keeps the keys of different tables apart.
    Status lock(int space, qint64 key);
    void unlock(int space, qint64 key);

private:
    Status ensureOpen();

    QString m_path;
    int m_fd = -1;
    // Locks taken by this process, counted, since the lock is per process.
    QHash<QPair<int, qint64>, int> m_held;
};

} // namespace qs
