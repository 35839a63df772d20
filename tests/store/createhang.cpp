// Test aid: starts creating a database and stops half-way, to be killed.
// Usage: qs_createhang <database> <template>
#include "store/DatabaseFile.h"

#include <cstdio>
#include <thread>

int main(int argc, char **argv)
{
    if (argc != 3)
        return 2;
    auto opened = qs::openOrCreateDatabase(
        QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]), [](qs::Database &db) {
            if (!db.exec({QStringLiteral("INSERT INTO Documents (ID) VALUES (1)"), {}}))
                return qs::Status::failure(QStringLiteral("no row written"));
            std::puts("FILLING");
            std::fflush(stdout);
            for (;;)
                std::this_thread::sleep_for(std::chrono::seconds(1));
            return qs::Status::success();
        });
    return opened ? 0 : 1;
}
