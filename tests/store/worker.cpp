// Test aid: one copy of the program's writing, run as its own process.
// Usage: qs_worker <database> <tag> <seed> <seconds>
//    or: qs_worker <database file or connection string> exec <SQL> [value...]
// The second form runs one statement with the values bound (whole numbers
// as numbers) and prints "DONE <key of the row it added>".
// Adds, changes and deletes its own documents and adds one to the counter (a
// number in Note) of the shared documents with ID 1..kCounters, through the
// record sets as the editor does. After each commit it prints one line:
// "A <ID>" added, "D <ID>" deleted, "I <ID>" counter raised; "R" when a lock
// held by the other copy refused an edit. Ends with "DONE".
#include "store/ListSource.h"
#include "store/PostgresDatabase.h"
#include "store/Recordset.h"
#include "store/SqliteDatabase.h"

#include <QElapsedTimer>
#include <QRandomGenerator>

#include <cstdio>
#include <vector>

namespace {

constexpr int kCounters = 8;

void say(const char *what, qint64 id = -1)
{
    if (id < 0)
        std::printf("%s\n", what);
    else
        std::printf("%s %lld\n", what, static_cast<long long>(id));
    std::fflush(stdout);
}

int runOne(int argc, char **argv)
{
    const QString location = QString::fromLocal8Bit(argv[1]);
    auto db = location.contains(QLatin1Char('=')) ? qs::connectServerDatabase(location)
                                                  : qs::openSqliteDatabase(location);
    if (!db) {
        std::fprintf(stderr, "%s\n", qPrintable(db.error()));
        return 1;
    }
    QVariantList values;
    for (int i = 4; i < argc; ++i) {
        bool number = false;
        const qlonglong n = QByteArray(argv[i]).toLongLong(&number);
        values << (number ? QVariant(n) : QVariant(QString::fromUtf8(argv[i])));
    }
    if (const qs::Status s = db.value()->exec({QString::fromUtf8(argv[3]), values}); !s) {
        std::fprintf(stderr, "%s\n", qPrintable(s.message()));
        return 1;
    }
    say("DONE", db.value()->lastInsertKey());
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc >= 4 && qstrcmp(argv[2], "exec") == 0)
        return runOne(argc, argv);
    if (argc != 5)
        return 2;
    auto db = qs::openSqliteDatabase(QString::fromLocal8Bit(argv[1]));
    if (!db) {
        std::fprintf(stderr, "%s\n", qPrintable(db.error()));
        return 1;
    }
    const qint64 tag = QByteArray(argv[2]).toLongLong();
    QRandomGenerator random(QByteArray(argv[3]).toUInt());
    const qint64 limitMs = QByteArray(argv[4]).toLongLong() * 1000;
    auto rs = db.value()->openDynaset(std::make_shared<qs::SqlListSource>(
        QStringLiteral("Documents"), QString(), QVariantList(), QStringLiteral("ID")));
    std::vector<qint64> mine;
    qint64 next = tag * 1000000;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < limitMs) {
        const int op = random.bounded(10);
        if (op < 4 || mine.empty()) {
            if (!rs->addNew() || !rs->setValue(QStringLiteral("ID"), ++next) ||
                !rs->setValue(QStringLiteral("Description"), QStringLiteral("doc %1").arg(next)) ||
                !rs->update())
                return 1;
            mine.push_back(next);
            say("A", next);
        } else if (op < 6) {
            const size_t at = random.bounded(quint32(mine.size()));
            const qint64 id = mine[at];
            if (!rs->findFirst(QStringLiteral("ID"), id) || !rs->deleteCurrent())
                return 1;
            mine.erase(mine.begin() + qsizetype(at));
            say("D", id);
        } else {
            const qint64 id = 1 + random.bounded(kCounters);
            if (!rs->findFirst(QStringLiteral("ID"), id))
                return 1;
            if (!rs->edit()) {
                say("R");
                continue;
            }
            const qint64 count = rs->value(QStringLiteral("Note")).toLongLong();
            if (!rs->setValue(QStringLiteral("Note"), QString::number(count + 1)) || !rs->update())
                return 1;
            say("I", id);
        }
    }
    say("DONE");
    return 0;
}
