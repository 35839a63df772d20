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

// What the workers said they committed.
struct Committed
{
    QSet<qint64> added;
    QSet<qint64> deleted;
    qint64 raised = 0;
    qint64 refused = 0;
    bool done = false;

    void read(const QByteArray &output)
    {
        for (const QByteArray &line : output.split('\n')) {
            const QList<QByteArray> parts = line.trimmed().split(' ');
            if (parts[0] == "A")
                added.insert(parts.value(1).toLongLong());
            else if (parts[0] == "D")
                deleted.insert(parts.value(1).toLongLong());
            else if (parts[0] == "I")
                ++raised;
            else if (parts[0] == "R")
                ++refused;
            else if (parts[0] == "DONE")
                done = true;
        }
    }
};

QProcess *startWorker(QObject *owner, const QString &db, int tag, int seconds)
{
    auto *p = new QProcess(owner);
    p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p->start(QDir(buildDir()).filePath(QStringLiteral("tests/store/qs_worker")),
             {db, QString::number(tag), QString::number(QRandomGenerator::global()->generate()),
              QString::number(seconds)});
    return p->waitForStarted() ? p : nullptr;
}

QSet<qint64> storedIds(Database &db)
{
    QSet<qint64> ids;
    auto rows = db.query({QStringLiteral("SELECT ID FROM Documents WHERE ID > ?"), {kCounters}});
    for (const Row &row : rows.value())
        ids.insert(row.values.at(0).toLongLong());
    return ids;
}

qint64 counterSum(Database &db)
{
    auto rows = db.query({QStringLiteral("SELECT SUM(CAST(Note AS INTEGER)) FROM Documents "
                                         "WHERE ID <= ?"),
                          {kCounters}});
    return rows.value().front().values.at(0).toLongLong();
}

QString integrity(Database &db)
{
    auto rows = db.query({QStringLiteral("PRAGMA integrity_check"), {}});
    return rows ? rows->front().values.at(0).toString() : rows.error();
}

} // namespace

class tst_Concurrency : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestFolder> folder;
    QString path;

private Q_SLOTS:
    void init()
    {
        folder = std::make_unique<TestFolder>();
        path = folder->file(QStringLiteral("Qsk.MDB"));
        auto db = makeDatabase(path);
        QVERIFY(db);
        for (int id = 1; id <= kCounters; ++id)
            addDocument(*db, {id, QStringLiteral("counter"), 0, {}, {}, QStringLiteral("0")});
    }
    void cleanup() { folder.reset(); }

    // Killed at random moments while saving: every save it reported is
    // there, the file is sound, and the next start opens and writes it.
    void killDuringSaves()
    {
        Committed all;
        const int rounds = qEnvironmentVariableIsSet("QSK_KILL_ROUNDS")
                               ? qEnvironmentVariableIntValue("QSK_KILL_ROUNDS")
                               : 20;
        for (int round = 0; round < rounds; ++round) {
            QProcess *worker = startWorker(this, path, round + 1, 30);
            QVERIFY(worker);
            QTest::qWait(20 + QRandomGenerator::global()->bounded(300));
            worker->kill();
            QVERIFY(worker->waitForFinished());
            all.read(worker->readAllStandardOutput());
            delete worker;

            auto opened = openOrCreateDatabase(path, templatePath());
            QVERIFY2(opened, qPrintable(opened.error()));
            Database &db = *opened->db;
            QCOMPARE(integrity(db), QStringLiteral("ok"));
            const QSet<qint64> ids = storedIds(db);
            // Only a delete committed just before the kill may be unreported.
            const QSet<qint64> gone = (all.added - all.deleted).subtract(ids);
            QVERIFY(gone.size() <= 1);
            for (qint64 id : gone)
                QCOMPARE(id / 1000000, round + 1);
            all.deleted += gone;
            QVERIFY(!ids.intersects(all.deleted));
            // At most one raise per round was committed but not yet reported.
            const qint64 sum = counterSum(db);
            QVERIFY(sum >= all.raised && sum <= all.raised + round + 1);
            all.raised = sum;
            QVERIFY(db.exec({QStringLiteral("UPDATE Documents SET Who = 'checked'"), {}}));
        }
        QVERIFY(all.added.size() > rounds);
    }

    // Two copies adding, changing and deleting on one file at once.
    void twoCopySoak()
    {
        // Thousands of saves each; QSK_SOAK_SECONDS makes it longer by hand.
        const int seconds = qEnvironmentVariableIsSet("QSK_SOAK_SECONDS")
                                ? qEnvironmentVariableIntValue("QSK_SOAK_SECONDS")
                                : 20;
        QProcess *a = startWorker(this, path, 1, seconds);
        QProcess *b = startWorker(this, path, 2, seconds);
        QVERIFY(a && b);
        QVERIFY(a->waitForFinished((seconds + 60) * 1000));
        QVERIFY(b->waitForFinished(60000));
        QCOMPARE(a->exitCode(), 0);
        QCOMPARE(b->exitCode(), 0);
        Committed all;
        all.read(a->readAllStandardOutput());
        all.read(b->readAllStandardOutput());
        QVERIFY(all.done);

        auto db = openSqliteDatabase(path);
        QVERIFY(db);
        QCOMPARE(integrity(**db), QStringLiteral("ok"));
        QCOMPARE(storedIds(**db), all.added - all.deleted);
        // Every raise counted once: no copy wrote over the other's update.
        QCOMPARE(counterSum(**db), all.raised);
        // No lock outlives its copy.
        auto rs = db.value()->openDynaset(
            std::make_shared<SqlListSource>(QStringLiteral("Documents"), QStringLiteral("ID <= ?"),
                                            QVariantList{kCounters}, QStringLiteral("ID")));
        for (rs->moveFirst(); !rs->eof(); rs->moveNext()) {
            QVERIFY(rs->edit());
            rs->cancel();
        }
        qInfo("%lld saves, %lld raises, %lld edits refused by a lock in %d s",
              qint64(all.added.size() + all.deleted.size()), all.raised, all.refused, seconds);
    }
};

QTEST_GUILESS_MAIN(tst_Concurrency)
#include "tst_concurrency.moc"
