// Copies of the program writing one file at once, and copies killed while
// they write: nothing committed is lost, no update is lost, no lock is left.
#include "support/TestSupport.h"

#include "store/DatabaseFile.h"
#include "store/ListSource.h"
#include "store/Recordset.h"

#include <QProcess>
#include <QRandomGenerator>

using namespace qs;
using namespace qs::test;

namespace {

constexpr int kCounters = 8;

QVariant first(Database &db, const QString &sql)
{
    auto rows = db.query({sql, sql.contains('?') ? QVariantList{kCounters} : QVariantList()});
    return rows && !rows->empty() ? rows->front().values.value(0) : QVariant(rows.error());
}

// What the workers said they committed.
struct Committed
{
    QSet<qint64> added, deleted;
    qint64 raised = 0;
    bool done = false;

    void read(QProcess &worker)
    {
        for (const QByteArray &line : worker.readAllStandardOutput().split('\n')) {
            const QList<QByteArray> parts = line.trimmed().split(' ');
            if (parts[0] == "A" || parts[0] == "D")
                (parts[0] == "A" ? added : deleted).insert(parts.value(1).toLongLong());
            raised += parts[0] == "I";
            done = done || parts[0] == "DONE";
        }
    }

    // The file against what was reported: sound, every reported save there, at most `slack`
    // saves committed but not reported (by a copy killed between the two), no lock left.
    void check(Database &db, int slack)
    {
        QCOMPARE(first(db, "PRAGMA integrity_check").toString(), "ok");
        QSet<qint64> ids;
        const auto rows = db.query({"SELECT ID FROM Documents WHERE ID > ?", {kCounters}});
        for (const Row &row : rows.value())
            ids.insert(row.values.at(0).toLongLong());
        const QSet<qint64> gone = (added - deleted).subtract(ids);
        QVERIFY(gone.size() <= slack && (ids - added).size() <= slack && !ids.intersects(deleted));
        deleted += gone;
        added += ids;
        const qint64 sum =
            first(db, "SELECT SUM(CAST(Note AS INT)) FROM Documents WHERE ID <= ?").toLongLong();
        QVERIFY(sum >= raised && sum <= raised + slack);
        raised = sum;
        auto rs = db.openDynaset(
            std::make_shared<SqlListSource>("Documents", "ID <= ?", QVariantList{kCounters}, "ID"));
        for (rs->moveFirst(); !rs->eof(); rs->moveNext())
            QVERIFY(rs->edit() && (rs->cancel(), true));
    }
};

} // namespace

class tst_Concurrency : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestFolder> folder; // the current folder, holding Qsk.MDB

    void startWorker(QProcess &p, int tag, int seconds)
    {
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const quint32 seed = QRandomGenerator::global()->generate();
        p.start(buildDir() + "/tests/store/qs_worker",
                QString::asprintf("Qsk.MDB %d %u %d", tag, seed, seconds).split(' '));
        QVERIFY(p.waitForStarted());
    }

private Q_SLOTS:
    void init()
    {
        folder = std::make_unique<TestFolder>();
        auto db = makeDatabase("Qsk.MDB");
        QVERIFY(db);
        for (int id = 1; id <= kCounters; ++id)
            addDocument(*db, {id, "counter", 0, {}, {}, "0"});
    }
    void cleanup() { folder.reset(); }

    // Killed at random moments while saving: the next start finds the file sound with every
    // save reported, writes it, and no record stays locked.
    void killDuringSaves()
    {
        Committed all;
        const int rounds = qEnvironmentVariable("QSK_KILL_ROUNDS", "20").toInt();
        for (int round = 0; round < rounds; ++round) {
            QProcess worker;
            startWorker(worker, round + 1, 30);
            QTest::qWait(20 + QRandomGenerator::global()->bounded(300));
            worker.kill();
            QVERIFY(worker.waitForFinished());
            all.read(worker);
            auto opened = openOrCreateDatabase("Qsk.MDB", templatePath());
            QVERIFY2(opened, qPrintable(opened.error()));
            all.check(*opened->db, 1);
            QVERIFY(opened->db->exec({"UPDATE Documents SET Who = 'checked'", {}}));
        }
        QVERIFY(all.added.size() > rounds);
    }

    // Two copies adding, changing and deleting on one file at once: every raise counted
    // once, so no copy wrote over the other's update.
    void twoCopySoak()
    {
        // Thousands of saves each; QSK_SOAK_SECONDS makes it longer by hand.
        const int seconds = qEnvironmentVariable("QSK_SOAK_SECONDS", "20").toInt();
        QProcess copies[2];
        Committed all;
        for (int i = 0; i < 2; ++i)
            startWorker(copies[i], i + 1, seconds);
        for (QProcess &p : copies) {
            QVERIFY(p.waitForFinished((seconds + 60) * 1000) && p.exitCode() == 0);
            all.read(p);
        }
        QVERIFY(all.done);
        auto db = openSqliteDatabase("Qsk.MDB");
        QVERIFY(db);
        all.check(**db, 0);
    }
};

QTEST_GUILESS_MAIN(tst_Concurrency)
#include "tst_concurrency.moc"
