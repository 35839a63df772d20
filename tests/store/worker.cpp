// Test aid: another copy of the program, run as its own process, on a database file or
// (given a connection string) on a server. Usage:
//   qs_worker <database> <tag> <seed> <seconds>
//     Adds, changes and deletes its own documents and adds one to the counter (a number in
//     Note) of the shared documents with ID 1..kCounters, through the record sets as the
//     editor does. After each commit it prints one line: "A <ID>" added, "D <ID>" deleted,
//     "I <ID>" counter raised.
//     Ends with "DONE".
//   qs_worker <location> exec <SQL> [value...]
//     Runs one statement with the values bound (whole numbers as numbers) and prints
//     "DONE <key of the row it added>".
//   qs_worker <connection string> start <folder>
//     Starts on a server database, importing the folder's legacy table when it creates the
//     database; prints CREATED or OPENED.
#include "import/modConvert.h"
#include "store/ListSource.h"
#include "store/PostgresDatabase.h"
#include "store/Recordset.h"
#include "store/ServerDatabase.h"
#include "store/SqliteDatabase.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QRandomGenerator>
#include <QThread>

#include <cstdio>

namespace {

constexpr int kCounters = 8;

// Prints one line at once; 0 (the exit code) unless that fails.
int say(const QByteArray &line)
{
    std::puts(line.constData());
    return std::fflush(stdout);
}

int fail(const QString &message)
{
    std::fprintf(stderr, "%s\n", qPrintable(message));
    return 1;
}

int runOne(qs::Database &db, int argc, char **argv)
{
    QVariantList values;
    for (int i = 4; i < argc; ++i) {
        bool number = false;
        const qlonglong n = QByteArray(argv[i]).toLongLong(&number);
        values << (number ? QVariant(n) : QVariant(QString::fromUtf8(argv[i])));
    }
    const qs::Status s = db.exec({QString::fromUtf8(argv[3]), values});
    return s ? say("DONE " + QByteArray::number(db.lastInsertKey())) : fail(s.message());
}

int start(const QString &conninfo, const QString &folder)
{
    auto opened = qs::openServerDatabase(conninfo, [&](qs::Database &db) {
        auto made = qs::ConvertDbfDatabase(db, folder + "/Document.DBF", folder + "/Document.DBT");
        // Keeps the creating start busy while the other one begins.
        QThread::msleep(300);
        return made ? qs::Status::success() : qs::Status::failure(made.error());
    });
    return opened ? say(opened->created ? "CREATED" : "OPENED") : fail(opened.error());
}

int soak(qs::Database &db, qint64 tag, quint32 seed, qint64 limitMs)
{
    QRandomGenerator random(seed);
    auto rs = db.openDynaset(
        std::make_shared<qs::SqlListSource>("Documents", QString(), QVariantList(), "ID"));
    QList<qint64> mine;
    qint64 next = tag * 1000000;
    for (QDeadlineTimer deadline(limitMs); !deadline.hasExpired();) {
        const int op = random.bounded(10);
        if (op < 4 || mine.isEmpty()) {
            if (!rs->addNew() || !rs->setValue("ID", ++next) ||
                !rs->setValue("Description", QString("doc %1").arg(next)) || !rs->update())
                return 1;
            mine << next;
            say("A " + QByteArray::number(next));
        } else if (op < 6) {
            const qsizetype at = random.bounded(quint32(mine.size()));
            if (!rs->findFirst("ID", mine[at]) || !rs->deleteCurrent())
                return 1;
            say("D " + QByteArray::number(mine.takeAt(at)));
        } else {
            const qint64 id = 1 + random.bounded(kCounters);
            if (!rs->findFirst("ID", id))
                return 1;
            if (!rs->edit())
                continue; // the other copy holds it
            if (!rs->setValue("Note", QString::number(rs->value("Note").toLongLong() + 1)) ||
                !rs->update())
                return 1;
            say("I " + QByteArray::number(id));
        }
    }
    return say("DONE");
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 4)
        return 2;
    const QString location = QString::fromLocal8Bit(argv[1]);
    const QByteArray mode = argv[2];
    if (mode == "start")
        return start(location, QString::fromLocal8Bit(argv[3]));
    auto db = location.contains('=') ? qs::connectServerDatabase(location)
                                     : qs::openSqliteDatabase(location);
    if (!db)
        return fail(db.error());
    if (mode == "exec")
        return runOne(**db, argc, argv);
    if (argc != 5)
        return 2;
    return soak(**db, mode.toLongLong(), QByteArray(argv[3]).toUInt(),
                QByteArray(argv[4]).toLongLong() * 1000);
}
