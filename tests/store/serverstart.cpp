// Test aid: one start of the program on a server database, importing the
// legacy table of a folder when it creates the database.
// Usage: qs_serverstart <connection string> <folder>; prints CREATED or OPENED.
#include "import/modConvert.h"
#include "store/ServerDatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QThread>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3)
        return 2;
    const QDir folder(QString::fromLocal8Bit(argv[2]));
    auto opened = qs::openServerDatabase(QString::fromLocal8Bit(argv[1]), [&](qs::Database &db) {
        auto report = qs::ConvertDbfDatabase(db, folder.filePath(QStringLiteral("Document.DBF")),
                                             folder.filePath(QStringLiteral("Document.DBT")));
        if (!report)
            return qs::Status::failure(report.error());
        // Keeps the creating start busy while the other one begins.
        QThread::msleep(300);
        return qs::Status::success();
    });
    if (!opened) {
        std::fprintf(stderr, "%s\n", qPrintable(opened.error()));
        return 1;
    }
    std::puts(opened->created ? "CREATED" : "OPENED");
    return 0;
}
