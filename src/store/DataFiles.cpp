#include "DataFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace qs {

QStringList dataFileFolders(const QString &programDir)
{
    QStringList folders{QDir::currentPath()};
    if (!programDir.isEmpty()) {
        folders << QDir::cleanPath(programDir)
                << QDir::cleanPath(programDir + QStringLiteral("/../share/quillstack"));
    }
    return folders;
}

QString findDataFile(const QString &name, const QString &programDir)
{
    // Whatever has the name counts, a folder too: its reader then says what is wrong with
    // it rather than another copy being used unnoticed.
    for (const QString &folder : dataFileFolders(programDir)) {
        const QFileInfo file(QDir(folder).filePath(name));
        if (file.exists())
            return file.absoluteFilePath();
    }
    return {};
}

QString findDataFile(const QString &name)
{
    return findDataFile(name, QCoreApplication::applicationDirPath());
}

} // namespace qs
