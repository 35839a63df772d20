#pragma once

// The files of the store as the operating system sees them: what kind of file
// a name refers to, durable copies, and the words that tell a user what went
// wrong with one and what to do about it.

#include "Status.h"

#include <QString>

namespace qs {

// Why the database (or the file that is to become it) could not be used.
enum class FileProblem {
    DiskFull,
    ReadOnlyFile,   // the user may not write to the file itself
    ReadOnlyFolder, // ... or to its folder, where the engine keeps its log
    Damaged,
    Locked,
    Other
};

// What was being done when the problem struck.
enum class FileAction {
    Open,   // checking or opening an existing database at start
    Create, // building a new database from the template
    Use     // reading or writing while the program runs
};

// A message naming the database file, what happened and what to do.
// `detail` (an engine or system text) is added where it helps.
QString explainFileProblem(FileProblem problem, FileAction action, const QString &dbPath,
                           const QString &detail = {});

// The problem that a system error number stands for, for the file at `path`.
FileProblem problemFromErrno(int error, const QString &path);

// Fails unless `fd`, open on `path`, is an ordinary file: the message says
// what it is instead ("... is a named pipe, not a file.").
Status checkRegularDescriptor(int fd, const QString &path);

// Refuses anything but an ordinary file: a named pipe, a device or a folder
// in its place gives a message naming it. Never blocks, even on a pipe.
Status checkRegularFile(const QString &path);

// The first `size` bytes (fewer when the file is shorter) of an ordinary file.
Result<QByteArray> readFileStart(const QString &path, int size);

// Copies `from` to the new file `to` (which must not exist) and forces the
// copy onto the disk. Fails with a message about `dbPath` on any error.
Status copyFileDurably(const QString &from, const QString &to, const QString &dbPath);

// Forces a file, or a folder's list of names, onto the disk.
Status syncToDisk(const QString &path, const QString &dbPath);

} // namespace qs
