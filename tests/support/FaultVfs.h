#pragma once

// A thin SQLite file layer over the default one that fails on purpose, so that
// tests can meet a full disk or a file they may not write without needing
// either (and while running as root, whom permissions do not stop). While it
// lives it is SQLite's default, so the program's own code uses it unchanged.

#include <QByteArray>
#include <QFileInfo>
#include <QSet>

#include <sqlite3.h>

#include <atomic>

namespace qs::test {

class FaultVfs
{
public:
    FaultVfs()
    {
        s_instance = this;
        m_real = sqlite3_vfs_find(nullptr);
        m_vfs = *m_real;
        m_vfs.zName = "qs-fault";
        m_vfs.szOsFile = int(sizeof(File)) + m_real->szOsFile;
        m_vfs.pAppData = this;
        m_vfs.xOpen = open;
        m_vfs.xAccess = access;
        sqlite3_vfs_register(&m_vfs, 1);
    }
    ~FaultVfs()
    {
        sqlite3_vfs_unregister(&m_vfs);
        sqlite3_vfs_register(m_real, 1);
        s_instance = nullptr;
    }
    FaultVfs(const FaultVfs &) = delete;
    FaultVfs &operator=(const FaultVfs &) = delete;

    // From now on, writes to database files themselves (not their logs)
    // fail as on a full disk.
    std::atomic<bool> fullDatabaseFiles{false};
    // ... and writes to write-ahead logs.
    std::atomic<bool> fullLogs{false};
    // Reads of database files fail as on a failing disk.
    std::atomic<bool> failingReads{false};

    // Files and folders that read as not writable: such a database file is
    // opened for reading only, and no log can be made in such a folder.
    void denyWriting(const QString &path) { m_denied.insert(absolute(path)); }

private:
    struct File
    {
        sqlite3_file base;
        sqlite3_file *real;
        bool isDatabase;
        bool isLog;
    };

    static QByteArray absolute(const QString &path)
    {
        return QFileInfo(path).absoluteFilePath().toUtf8();
    }
    static sqlite3_file *real(sqlite3_file *f) { return reinterpret_cast<File *>(f)->real; }
    static const sqlite3_io_methods *methods(sqlite3_file *f) { return real(f)->pMethods; }

    static int open(sqlite3_vfs *vfs, sqlite3_filename name, sqlite3_file *file, int flags,
                    int *outFlags)
    {
        auto *self = static_cast<FaultVfs *>(vfs->pAppData);
        auto *f = reinterpret_cast<File *>(file);
        f->base.pMethods = nullptr;
        f->real = reinterpret_cast<sqlite3_file *>(f + 1);
        f->isDatabase = flags & SQLITE_OPEN_MAIN_DB;
        f->isLog = flags & SQLITE_OPEN_WAL;
        const QString path = name ? QString::fromUtf8(name) : QString();
        if (f->isDatabase && self->m_denied.contains(absolute(path)))
            flags = (flags & ~(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)) | SQLITE_OPEN_READONLY;
        if ((flags & (SQLITE_OPEN_WAL | SQLITE_OPEN_MAIN_JOURNAL)) && !QFileInfo::exists(path) &&
            self->m_denied.contains(absolute(QFileInfo(path).absolutePath())))
            return SQLITE_READONLY_DIRECTORY;
        const int rc = self->m_real->xOpen(self->m_real, name, f->real, flags, outFlags);
        if (rc == SQLITE_OK)
            f->base.pMethods = &kMethods;
        return rc;
    }

    static int access(sqlite3_vfs *vfs, const char *name, int flags, int *result)
    {
        auto *self = static_cast<FaultVfs *>(vfs->pAppData);
        if (flags == SQLITE_ACCESS_READWRITE &&
            self->m_denied.contains(absolute(QString::fromUtf8(name)))) {
            *result = 0;
            return SQLITE_OK;
        }
        return self->m_real->xAccess(self->m_real, name, flags, result);
    }

    static int write(sqlite3_file *f, const void *data, int amount, sqlite3_int64 offset)
    {
        const auto *file = reinterpret_cast<File *>(f);
        if ((file->isDatabase && s_instance->fullDatabaseFiles) ||
            (file->isLog && s_instance->fullLogs))
            return SQLITE_FULL;
        return methods(f)->xWrite(real(f), data, amount, offset);
    }

    static inline FaultVfs *s_instance = nullptr;

    // Everything else goes straight to the default layer.
    static inline const sqlite3_io_methods kMethods = {
        3,
        [](sqlite3_file *f) { return methods(f)->xClose(real(f)); },
        [](sqlite3_file *f, void *p, int n, sqlite3_int64 o) {
            if (reinterpret_cast<File *>(f)->isDatabase && s_instance->failingReads)
                return SQLITE_IOERR_READ;
            return methods(f)->xRead(real(f), p, n, o);
        },
        write,
        [](sqlite3_file *f, sqlite3_int64 size) { return methods(f)->xTruncate(real(f), size); },
        [](sqlite3_file *f, int flags) { return methods(f)->xSync(real(f), flags); },
        [](sqlite3_file *f, sqlite3_int64 *size) { return methods(f)->xFileSize(real(f), size); },
        [](sqlite3_file *f, int lock) { return methods(f)->xLock(real(f), lock); },
        [](sqlite3_file *f, int lock) { return methods(f)->xUnlock(real(f), lock); },
        [](sqlite3_file *f, int *out) { return methods(f)->xCheckReservedLock(real(f), out); },
        [](sqlite3_file *f, int op, void *arg) {
            return methods(f)->xFileControl(real(f), op, arg);
        },
        [](sqlite3_file *f) { return methods(f)->xSectorSize(real(f)); },
        [](sqlite3_file *f) { return methods(f)->xDeviceCharacteristics(real(f)); },
        [](sqlite3_file *f, int page, int size, int extend, void volatile **p) {
            return methods(f)->xShmMap(real(f), page, size, extend, p);
        },
        [](sqlite3_file *f, int offset, int n, int flags) {
            return methods(f)->xShmLock(real(f), offset, n, flags);
        },
        [](sqlite3_file *f) { methods(f)->xShmBarrier(real(f)); },
        [](sqlite3_file *f, int remove) { return methods(f)->xShmUnmap(real(f), remove); },
        [](sqlite3_file *f, sqlite3_int64 o, int n, void **p) {
            return methods(f)->xFetch(real(f), o, n, p);
        },
        [](sqlite3_file *f, sqlite3_int64 o, void *p) {
            return methods(f)->xUnfetch(real(f), o, p);
        },
    };

    sqlite3_vfs m_vfs = {};
    sqlite3_vfs *m_real = nullptr;
    QSet<QByteArray> m_denied;
};

} // namespace qs::test
