// Test aid: holds a record open for editing in a second process.
// Usage: qs_lockholder <database> <RecordPtr>; reads "release"/"lock" lines.
#include "store/ListSource.h"
#include "store/Recordset.h"
#include "store/SqliteDatabase.h"

#include <cstdio>
#include <iostream>
#include <string>

int main(int argc, char **argv)
{
    if (argc != 3)
        return 2;
    auto db = qs::openSqliteDatabase(QString::fromLocal8Bit(argv[1]));
    if (!db)
        return 1;
    auto rs = db.value()->openDynaset(std::make_shared<qs::SqlListSource>(
        QStringLiteral("Documents"), QString(), QVariantList(), QStringLiteral("ID")));
    if (!rs->findFirst(QStringLiteral("RecordPtr"), QString::fromLocal8Bit(argv[2]).toLongLong()))
        return 1;
    auto lock = [&] {
        if (!rs->edit())
            return false;
        std::puts("LOCKED");
        std::fflush(stdout);
        return true;
    };
    if (!lock())
        return 1;
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line == "release") {
            rs->cancel();
            std::puts("RELEASED");
            std::fflush(stdout);
        } else if (line == "lock" && !lock()) {
            return 1;
        }
    }
    return 0;
}
