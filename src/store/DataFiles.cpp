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
    for (const QString &folder : dataFileFolders(programDir)) {
        const QFileInfo file(QDir(folder).filePath(name));
        if (file.isFile())
            return file.absoluteFilePath();
    }
    return {};
}

QString findDataFile(const QString &name)
{
    return findDataFile(name, QCoreApplication::applicationDirPath());
}

} // namespace qs
