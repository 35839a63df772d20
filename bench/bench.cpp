// quillstack-bench: measures the program's speed targets at a million
// documents. Run by hand; it is not a test.
//
//   quillstack-bench [--docs N] [--dir FOLDER] [--reps R] [--bare no] [--database CONNINFO
//   [--copy-only yes]]
//
// With --database, the file is copied to that server database (its tables
// are dropped first: give it a scratch database) and the program measured
// there instead.
//
// The database is generated once into FOLDER (default: a folder under /tmp)
// and reused by later runs with the same N.
#include "BenchSupport.h"
#include "Generator.h"
#include "ServerBench.h"

#include "editor/EditorBench.h"
#include "import/ImportBench.h"
#include "main/CsvExport.h"
#include "main/DocumentIndexService.h"
#include "main/Session.h"
#include "main/frmMain.h"
#include "reports/ReportPdf.h"
#include "store/DataControl.h"
#include "store/DatabaseFile.h"
#include "store/SqliteDatabase.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QRadioButton>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace qs;
using namespace qs::bench;

namespace {

// Resident memory of this process, in MB: now (VmRSS) and the peak (VmHWM).
double statusMb(const char *field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray name = QByteArray(field) + ':';
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(name))
            return line.mid(name.size()).trimmed().split(' ').value(0).toDouble() / 1024;
    return 0;
}

void memoryRow(const char *when)
{
    std::printf("%-44s resident %6.0f MB   peak %6.0f MB   (anonymous %.0f, files %.0f)\n", when,
                statusMb("VmRSS"), statusMb("VmHWM"), statusMb("RssAnon"), statusMb("RssFile"));
    std::fflush(stdout);
}

// The time the plain SQL query takes for the same result.
bool g_bare = true;

Figures bareLike(Database &db, const QString &field, const QString &text, const QString &order,
                 int reps)
{
    Figures f;
    if (!g_bare)
        return f;
    const Statement st{QStringLiteral("SELECT RecordPtr FROM Documents WHERE %1 LIKE ? ORDER BY %2")
                           .arg(field, order),
                       {QStringLiteral("%") + text + QStringLiteral("%")}};
    for (int i = 0; i < std::max(1, reps / 3); ++i) {
        std::vector<qint64> keys;
        f.ms.push_back(timeMs([&] { db.queryKeys(st, keys); }));
    }
    return f;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    int docs = 1000000;
    int reps = 11;
    bool bare = true;
    QString conninfo;
    bool copyOnly = false;
    QString dir = QDir::temp().filePath(QStringLiteral("quillstack-bench"));
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--docs"))
            docs = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--dir"))
            dir = args[i + 1];
        else if (args[i] == QLatin1String("--reps"))
            reps = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--bare"))
            bare = args[i + 1] != QLatin1String("no");
        else if (args[i] == QLatin1String("--database"))
            conninfo = args[i + 1];
        else if (args[i] == QLatin1String("--copy-only"))
            copyOnly = args[i + 1] == QLatin1String("yes");
    }
    g_bare = bare;
    QDir().mkpath(dir);
    QDir::setCurrent(dir);
    const QString dbName = QStringLiteral("Qsk.MDB");
    const QString marker = QStringLiteral("documents-%1").arg(docs);
    if (!QFile::exists(marker)) {
        for (const char *suffix : {"", "-wal", "-shm", ".lock"})
            QFile::remove(dbName + QLatin1String(suffix));
        const QString templ =
            findTemplate(QStringLiteral("QskDef.MDB"), QCoreApplication::applicationDirPath());
        std::printf("Generating %d documents in %s ...\n", docs, qPrintable(dir));
        std::fflush(stdout);
        QElapsedTimer t;
        t.start();
        auto opened = openOrCreateDatabase(
            dbName, templ, [&](Database &db) { return bench::generateDocuments(db, docs); });
        if (!opened) {
            std::fprintf(stderr, "%s\n", qPrintable(opened.error()));
            return 1;
        }
        QFile(marker).open(QIODevice::WriteOnly);
        std::printf("  generated in %.1f s\n", double(t.elapsed()) / 1000);
    }

    if (!conninfo.isNull())
        return bench::runServerBench(conninfo, dbName, reps, copyOnly);

    std::printf("\n== Main window at %d documents (2 cores) ==\n", docs);
    Figures startup;
    Figures indexLoad;
    std::unique_ptr<Program> w;
    for (int i = 0; i < 3; ++i) {
        w.reset();
        startup.ms.push_back(timeMs([&] {
            w = std::make_unique<Program>();
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
    memoryRow("memory with the index loaded");

    auto *desc = w->findChild<QLineEdit *>(QStringLiteral("txtFilterDesc"));
    auto *who = w->findChild<QLineEdit *>(QStringLiteral("txtFilterWho"));
    auto *note = w->findChild<QLineEdit *>(QStringLiteral("txtFilterNote"));
    auto *on = w->findChild<QCheckBox *>(QStringLiteral("chkFilterOn"));
    auto *type = w->findChild<QComboBox *>(QStringLiteral("cmbType"));
    auto *date = w->findChild<QComboBox *>(QStringLiteral("cmbDate"));
    Database &db = *w->database();

    // The unfiltered list, re-run (as unticking the filter does).
    {
        Figures f;
        for (int i = 0; i < reps; ++i)
            f.ms.push_back(timeMs([&] {
                w->RefreshDocumentList(nullptr);
                settle();
            }));
        Figures bare;
        for (int i = 0; i < 3; ++i) {
            std::vector<qint64> keys;
            bare.ms.push_back(timeMs([&] {
                db.queryKeys(
                    {QStringLiteral("SELECT RecordPtr FROM Documents ORDER BY ID DESC"), {}}, keys);
            }));
        }
        row(QStringLiteral("unfiltered list"), f, bare);
    }

    // Where the time of one keystroke goes: the in-memory selection alone.
    for (const char *field : {"Description", "Note"}) {
        for (const QString &text : {QStringLiteral("L"), QStringLiteral("LEA")}) {
            DocumentQuery q;
            q.filterOn = true;
            (QLatin1String(field) == QLatin1String("Note") ? q.note : q.description) = text;
            Figures f;
            std::vector<qint64> keys;
            for (int i = 0; i < reps; ++i)
                f.ms.push_back(timeMs([&] { w->documentIndex()->select(q, keys); }));
            row(QStringLiteral("  index selection alone: %1 \"%2\" (%3 rows)")
                    .arg(QLatin1String(field), text)
                    .arg(keys.size()),
                f);
        }
    }

    on->setChecked(true);
    w->chkFilterOn_Click();
    const QStringList typed = {"L", "LE", "LEA", "LEAS", "LEASE"};
    const char *orderNames[] = {"ID DESC", "DESCRIPTION", "ID"};
    // "+ID" keeps SQLite from walking the ID index and testing every row.
    const char *orderSql[] = {"+ID DESC", "Description", "+ID"};
    for (int o = 0; o < 3; ++o) {
        w->findChild<QRadioButton *>(QStringLiteral("Order_%1").arg(o))->setChecked(true);
        const QList<QPair<QLineEdit *, QString>> boxes = {{desc, QStringLiteral("Description")},
                                                          {who, QStringLiteral("Who")},
                                                          {note, QStringLiteral("Note")}};
        for (const auto &[box, field] : boxes) {
            std::vector<Figures> perStep(size_t(typed.size()));
            for (int r = 0; r < reps; ++r) {
                box->clear();
                settle();
                for (int k = 0; k < typed.size(); ++k)
                    perStep[size_t(k)].ms.push_back(timeMs([&] {
                        box->setText(typed[k]); // one keystroke: the whole refresh
                        settle();
                    }));
            }
            box->clear();
            for (int k = 0; k < typed.size(); ++k)
                row(QStringLiteral("%1 \"%2\" order %3")
                        .arg(field, typed[k], QLatin1String(orderNames[o])),
                    perStep[size_t(k)],
                    bareLike(db, field, typed[k], QLatin1String(orderSql[o]), reps));
        }
    }
    // A who filter with a date and a type filter together.
    {
        w->findChild<QRadioButton *>(QStringLiteral("Order_0"))->setChecked(true);
        date->setCurrentIndex(4);
        type->setCurrentIndex(2);
        std::vector<Figures> perStep(size_t(typed.size()));
        for (int r = 0; r < reps; ++r) {
            who->clear();
            settle();
            for (int k = 0; k < typed.size(); ++k)
                perStep[size_t(k)].ms.push_back(timeMs([&] {
                    who->setText(typed[k]);
                    settle();
                }));
        }
        for (int k = 0; k < typed.size(); ++k)
            row(QStringLiteral("Who \"%1\" + Last Year + type").arg(typed[k]), perStep[size_t(k)],
                bareLike(db, QStringLiteral("Who"), typed[k], QStringLiteral("+ID DESC"), reps));
        who->clear();
        date->setCurrentIndex(0);
        type->setCurrentIndex(0);
    }

    memoryRow("memory after the keystrokes");

    std::printf("\n== Record editor at %d documents ==\n", docs);
    for (const EditorBenchFigure &f : runEditorBench(db))
        std::printf("%-44s median %8.3f ms   (%d runs)\n", qPrintable(f.name), f.medianMs, f.runs);
    std::fflush(stdout);

    std::printf("\n== Report ==\n");
    {
        const QString pdf = QDir(dir).filePath(QStringLiteral("bench-report.pdf"));
        const auto ms = fnTimeSampleReportPdf(pdf, 100000);
        if (ms)
            std::printf("%-44s %8.2f s\n", "100,000 records, five columns, to PDF",
                        double(ms.value()) / 1000);
        else
            std::printf("report failed: %s\n", qPrintable(ms.error()));
        QFile::remove(pdf);
    }
    std::fflush(stdout);

    std::printf("\n== Export of the list as CSV ==\n");
    {
        const QString csv = QDir(dir).filePath(QStringLiteral("bench-export.csv"));
        DocumentQuery filtered;
        filtered.filterOn = true;
        filtered.description = QStringLiteral("LEASE");
        filtered.order = ListOrder::Description;
        const std::pair<const char *, DocumentQuery> runs[] = {
            {"whole index, highest number first", DocumentQuery{}},
            {"description \"LEASE\", description order", filtered}};
        for (const auto &[name, query] : runs) {
            Figures f;
            qint64 rows = 0;
            for (int i = 0; i < 3; ++i)
                f.ms.push_back(timeMs([&] {
                    const auto outcome = exportDocumentsCsv(db, DocumentListSource(query), csv);
                    rows = outcome ? outcome->rows : -1;
                }));
            std::printf("%-44s median %8.2f s   (%lld rows, %.0f MB)\n", name, f.median() / 1000,
                        static_cast<long long>(rows), double(QFileInfo(csv).size()) / 1e6);
        }
        QFile::remove(csv);
    }
    std::fflush(stdout);

    std::printf("\n== Legacy import ==\n");
    {
        const QString templ =
            findTemplate(QStringLiteral("QskDef.MDB"), QCoreApplication::applicationDirPath());
        const auto result = fnBenchLegacyImport(200000, templ);
        if (result)
            std::printf("%-44s %8.0f rows/s (%d rows in %.2f s)\n", "200,000 rows with notes",
                        result->rowsPerSecond, result->rows, result->seconds);
        else
            std::printf("import failed: %s\n", qPrintable(result.error()));
    }
    return 0;
}
