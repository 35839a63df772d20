#pragma once

#include <QString>
#include <QStringList>

namespace qs {

// Where the program's read-only files (the template, the help) are looked for, in order:
// the current folder, the program's own folder, then "../share/quillstack" beside it, so
// that a build tree, a copy in a folder of its own and an installed package all work.
QStringList dataFileFolders(const QString &programDir);

// The first of those folders that holds something called `name`, as an absolute path;
// empty when none does.
QString findDataFile(const QString &name, const QString &programDir);
// The same beside the running program.
QString findDataFile(const QString &name);

} // namespace qs
