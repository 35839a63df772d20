#include "ServerBench.h"

#include "BenchSupport.h"

#include "import/ImportBench.h"
#include "main/DocumentIndexService.h"
#include "main/DocumentQuery.h"
#include "store/DatabaseFile.h"
#include "store/PostgresDatabase.h"
#include "store/Recordset.h"
#include "store/ServerDatabase.h"

#include <QCheckBox>
#include <QLineEdit>

#include <memory>

namespace qs::bench {

namespace {

int fail(const QString &what)
{
    std::fprintf(stderr, "%s\n", qPrintable(what));
    return 1;
}

// A scratch database, emptied and given our tables.
Status emptyServerDatabase(const QString &conninfo)
{
    auto db = connectServerDatabase(conninfo);
    if (!db)
        return Status::failure(db.error());
    if (Status s = db.value()->exec(
            {QStringLiteral("DROP TABLE IF EXISTS Documents, Types, QskSchema"), {}});
        !s)
        return s;
    auto opened = openServerDatabase(conninfo);
    return opened ? Status::success() : Status::failure(opened.error());
}

// One keystroke answered by SQL: the list's keys and its first screen of rows.
double sqlKeystroke(Database &db, const DocumentQuery &q)
{
    return timeMs([&] {
        auto rs = db.openDynaset(std::make_shared<DocumentListSource>(q), true);
        for (int i = 0; i < 30 && rs->hasCurrent(); ++i) {
            rs->value(QStringLiteral("Description"));
            rs->moveNext();
        }
    });
}

} // namespace

int runServerBench(const QString &conninfo, const QString &file, int reps, bool copyOnly)
{
    const QStringList typed = {"L", "LE", "LEA", "LEAS", "LEASE"};
    std::printf("\n== Database server ==\n");
    {
        if (Status s = emptyServerDatabase(conninfo); !s)
            return fail(s.message());
        auto db = connectServerDatabase(conninfo);
        if (!db)
            return fail(db.error());
        qint64 rows = 0;
        double loaded = 0;
        QElapsedTimer t;
        t.start();
        const Status s = copyFileToServer(file, *db.value(), [&](qint64 done, qint64) {
            rows = done;
            loaded = double(t.nsecsElapsed()) / 1e9;
        });
        if (!s)
            return fail(s.message());
        const double seconds = double(t.nsecsElapsed()) / 1e9;
        std::printf("%-44s %8.0f rows/s (%lld rows in %.1f s: rows %.1f s, indexes %.1f s)\n",
                    "--copy-from, indexes included", double(rows) / seconds,
                    static_cast<long long>(rows), seconds, loaded, seconds - loaded);
        std::fflush(stdout);
    }

    if (copyOnly)
        return 0;

    Figures startup;
    Figures indexLoad;
    std::unique_ptr<Program> w;
    for (int i = 0; i < 3; ++i) {
        w.reset();
        startup.ms.push_back(timeMs([&] {
            w = std::make_unique<Program>();
            w->session.useServer(conninfo);
            if (!w->Form_Initialize())
                std::abort();
            w->show();
            settle();
        }));
        indexLoad.ms.push_back(timeMs([&] { w->documentIndex()->waitUntilReady(); }) +
                               startup.ms.back());
    }
    row(QStringLiteral("start-up to the first screen"), startup);
    row(QStringLiteral("in-memory index ready after start"), indexLoad);

    // Before the index is ready the list's keys come from the server.
    for (const char *field : {"Description", "Who", "Note"}) {
        Figures f;
        for (int r = 0; r < std::max(1, reps / 3); ++r)
            for (const QString &text : typed) {
                DocumentQuery q;
                q.filterOn = true;
                const QString name = QLatin1String(field);
                (name == QLatin1String("Note")  ? q.note
                 : name == QLatin1String("Who") ? q.who
                                                : q.description) = text;
                f.ms.push_back(sqlKeystroke(*w->database(), q));
            }
        row(QStringLiteral("SQL path, %1 \"L\" to \"LEASE\"").arg(QLatin1String(field)), f);
    }

    // Once it is ready: the whole refresh of a keystroke, as on the file.
    for (const char *name : {"txtFilterDesc", "txtFilterWho", "txtFilterNote"}) {
        auto *box = w->findChild<QLineEdit *>(QLatin1String(name));
        auto *on = w->findChild<QCheckBox *>(QStringLiteral("chkFilterOn"));
        on->setChecked(true);
        w->chkFilterOn_Click();
        Figures f;
        for (int r = 0; r < reps; ++r) {
            box->clear();
            settle();
            for (const QString &text : typed)
                f.ms.push_back(timeMs([&] {
                    box->setText(text);
                    settle();
                }));
        }
        box->clear();
        row(QStringLiteral("index ready, %1 \"L\" to \"LEASE\"").arg(QLatin1String(name)), f);
    }
    w.reset();

    {
        if (Status s = emptyServerDatabase(conninfo); !s)
            return fail(s.message());
        auto db = connectServerDatabase(conninfo);
        if (!db)
            return fail(db.error());
        const auto result = fnBenchLegacyImport(
            200000,
            findTemplate(QStringLiteral("QskDef.MDB"), QCoreApplication::applicationDirPath()),
            db.value().get());
        if (!result)
            return fail(result.error());
        std::printf("%-44s %8.0f rows/s (%d rows in %.2f s)\n",
                    "legacy import into the server, 200,000 rows", result->rowsPerSecond,
                    result->rows, result->seconds);
    }
    return 0;
}

} // namespace qs::bench
