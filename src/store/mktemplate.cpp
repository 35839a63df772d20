// Build tool: turns the schema script into the empty template database.
#include "store/SqliteDatabase.h"

#include <QFile>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s schema.sql QskDef.MDB\n", argv[0]);
        return 2;
    }
    QFile script(QString::fromLocal8Bit(argv[1]));
    if (!script.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    const qs::Status s = qs::createDatabaseFromScript(QString::fromLocal8Bit(argv[2]),
                                                      QString::fromUtf8(script.readAll()));
    if (!s) {
        std::fprintf(stderr, "%s\n", qPrintable(s.message()));
        return 1;
    }
    return 0;
}
