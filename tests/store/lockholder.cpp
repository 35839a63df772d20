// Test aid: another client of the same database, holding a record open for
// editing. Usage: qs_lockholder <database file or connection string> <RecordPtr>;
// reads "release", "lock" and "delete <RecordPtr>" lines (a delete that
// ignores record locks).
#include "store/ListSource.h"
#include "store/PostgresDatabase.h"
#include "store/Recordset.h"
#include "store/SqliteDatabase.h"

#include <cstdio>
#include <iostream>
#include <string>

int main(int argc, char **argv)
{
    if (argc != 3)
        return 2;
    const QString location = QString::fromLocal8Bit(argv[1]);
    auto db = location.contains(QLatin1Char('=')) ? qs::connectServerDatabase(location)
                                                  : qs::openSqliteDatabase(location);
    if (!db)
        return 1;
    auto rs = db.value()->openDynaset(std::make_shared<qs::SqlListSource>(
        QStringLiteral("Documents"), QString(), QVariantList(), QStringLiteral("ID")));
    const auto say = [](const char *what) {
        std::puts(what);
        std::fflush(stdout);
    };
    auto lock = [&] {
        if (!rs->findFirst(QStringLiteral("RecordPtr"),
                           QString::fromLocal8Bit(argv[2]).toLongLong()) ||
            !rs->edit())
            return false;
        say("LOCKED");
        return true;
    };
    if (!lock())
        return 1;
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line == "release") {
            rs->cancel();
            say("RELEASED");
        } else if (line == "lock" && !lock()) {
            return 1;
        } else if (line.rfind("delete ", 0) == 0) {
            // As a tool that knows nothing of record locks would.
            qint64 changes = 0;
            const bool deleted =
                db.value()->exec({QStringLiteral("DELETE FROM Documents WHERE RecordPtr = ?"),
                                  {qint64(std::stoll(line.substr(7)))}},
                                 &changes) &&
                changes == 1;
            say(deleted ? "DELETED" : "NOT DELETED");
        }
    }
    return 0;
}
