// The import at the first start, in the program's own process: the please-wait window, the
// report and its log, and legacy files that cannot be imported.
#include "import/LegacyImport.h"
#include "import/frmConverting.h"
#include "store/DataControl.h"
#include "store/DatabaseFile.h"
#include "store/Recordset.h"
#include "support/DbfWriter.h"
#include "support/MainWindow.h"
#include "support/Modal.h"
#include "widgets/MessageBox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTest>

using namespace qs;
using namespace qs::test;

namespace {

DbfRow row(int id, const QByteArray &type = {}, const QByteArray &memoBlock = {})
{
    DbfRow r;
    r.id = QByteArray::number(id);
    r.description = "Document " + r.id;
    r.type = type;
    r.memoBlock = memoBlock;
    return r;
}

// Three live rows and a deleted one, with notes.
QByteArray threeDocuments()
{
    DbfRow deleted = row(99);
    deleted.mark = '*';
    return dbfTable({row(12, "Letter", "1"), deleted, row(30, "LETTER"), row(7, {}, "2")});
}

const QByteArray kTwoNotes = dbtMemo({dbtBlock(8 + 5, "first"), dbtBlock(8 + 6, "second")});

frmConverting *convertingWindow()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *window = qobject_cast<frmConverting *>(w))
            return window;
    }
    return nullptr;
}

// One start of the program: the main window with the import wired in as start-up does it.
struct Start
{
    LegacyImport import;
    test::MainWindow window;
    Status status;

    explicit Start(const std::function<void(int, int)> &listener = {})
    {
        import.setProgressListener(listener);
        window.session.setNewDatabaseFiller(import.filler());
        status = window.Form_Initialize();
        if (status)
            import.reportOutcome(&window, QStringLiteral("Qsk.MDB"));
    }
    QList<qint64> listedIds() const
    {
        QList<qint64> ids;
        Recordset *rs = window.documents()->recordset();
        for (int i = 0; rs && i < rs->rowCount(); ++i)
            ids.append(rs->valueAt(i, QStringLiteral("ID")).toLongLong());
        return ids;
    }
    QString stored(const char *sql, const QVariant &arg) const
    {
        auto rows = window.database()->query({QLatin1String(sql), {arg}});
        return rows && !rows->empty() ? rows->front().values.value(0).toString() : "<none>";
    }
};

} // namespace

class tst_LegacyImport : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestFolder> m_folder;

private slots:
    void init()
    {
        m_folder = std::make_unique<TestFolder>();
        MessageBox::clearShownTexts();
        clearPendingModals();
    }
    void cleanup() { m_folder.reset(); }

    void convertingWindowOffersNothing()
    {
        frmConverting w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.findChild<QLabel *>("lblMessage")->text(),
                 QStringLiteral("Converting to new database format ... please wait"));
        QVERIFY(w.findChildren<QAbstractButton *>().isEmpty());
        QVERIFY(w.findChildren<QLineEdit *>().isEmpty());
        auto *bar = w.findChild<QProgressBar *>(QStringLiteral("prgRows"));
        w.setProgress(250, 1000);
        QCOMPARE(bar->maximum(), 1000);
        QCOMPARE(bar->value(), 250);
        w.setProgress(0, 0); // an empty table shows as done
        QCOMPARE(bar->value(), bar->maximum());
        QVERIFY(!w.close()); // the user cannot close it
        QVERIFY(w.isVisible());
    }

    // The please-wait window follows the rows; the report is shown once, the log holds it
    // all, and the legacy files stay byte for byte as they were.
    void firstStartImports()
    {
        QList<DbfRow> rows;
        for (int i = 1; i <= 3000; ++i)
            rows.append(row(i, i % 2 ? "Letter" : "LETTER"));
        rows[0].memoBlock = "1";
        rows[1].mark = '*';
        rows[2].memoBlock = "2";
        rows[4].date = "2001XX01";
        rows[5].memoBlock = "5";
        const QByteArray table = dbfTable(rows);
        QVERIFY(writeFile(m_folder->file("Document.DBF"), table));
        QVERIFY(writeFile(m_folder->file("Document.DBT"), kTwoNotes));
        answerMessage();

        QList<int> shown;
        bool alwaysVisible = true;
        Start start([&](int, int count) {
            frmConverting *w = convertingWindow();
            auto *bar = w ? w->findChild<QProgressBar *>(QStringLiteral("prgRows")) : nullptr;
            alwaysVisible = alwaysVisible && w && w->isVisible();
            if (bar && bar->maximum() == count)
                shown.append(bar->value());
        });
        QVERIFY2(start.status, qPrintable(start.status.message()));
        QVERIFY(alwaysVisible && shown.size() >= 3);
        QCOMPARE(shown.first(), 0);
        QCOMPARE(shown.last(), 3000);
        QVERIFY(std::any_of(shown.begin(), shown.end(), [](int v) { return v > 0 && v < 3000; }));
        QVERIFY(!convertingWindow());

        QCOMPARE(start.listedIds().size(), 2999);
        QCOMPARE(start.stored("SELECT Note FROM Documents WHERE ID = ?", 1), "first");
        QCOMPARE(start.stored("SELECT Note FROM Documents WHERE ID = ?", 3), "second");
        QCOMPARE(start.stored("SELECT COUNT(*) FROM Types WHERE Type = ?", "Letter"), "1");
        QCOMPARE(start.stored("SELECT COUNT(DISTINCT DocumentType) FROM Documents WHERE ID > ?", 0),
                 "1");

        const QString problems = "Row 5, Date: \"2001XX01\" is not a date; imported empty\nRow 6, "
                                 "Note: block 5: the memo file ends before this block; imported "
                                 "empty";
        QCOMPARE(MessageBox::shownTexts().size(), 1);
        QVERIFY(MessageBox::shownTexts().first().startsWith(
            "2999 documents were imported from \"Document.DBF\"; 1 deleted row was skipped.\n\n2 "
            "problems were found:\n" +
            problems));
        const QString log = QString::fromUtf8(readFile(m_folder->file("Document.log")));
        QVERIFY2(log.contains("\nThe table names no code page; text was read in Windows code page "
                              "1252.\n\n2 problems were found:\n" +
                              problems + "\n"),
                 qPrintable(log));
        QCOMPARE(readFile(m_folder->file("Document.DBF")), table);
        QCOMPARE(readFile(m_folder->file("Document.DBT")), kTwoNotes);
    }

    // Files that cannot be imported leave no database, so the next start imports them.
    void starts_data()
    {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<QStringList>("tableNames");
        QTest::addColumn<QStringList>("memoNames");
        QTest::addColumn<QString>("reason"); // empty: the start goes on
        const QStringList table{"Document.DBF"};
        const QStringList memo{"Document.DBT"};
        QByteArray negative = threeDocuments();
        negative[7] = '\xff';
        DbfShape other;
        other.fields[2].name = "WHEN";
        QTest::newRow("no legacy table") << QByteArray() << QStringList() << memo << QString();
        QTest::newRow("names in capitals") << threeDocuments() << QStringList{"DOCUMENT.DBF"}
                                           << QStringList{"document.dbt"} << QString();
        QTest::newRow("header cut short") << QByteArray(40, '\x03') << table << memo
                                          << "too short for its header (40 of 771 bytes)";
        QTest::newRow("negative row count")
            << negative << table << memo << "negative number of rows";
        QTest::newRow("other fields")
            << dbfTable({row(1)}, {}, other) << table << memo << "field 3 is \"WHEN\" D(8)";
        QTest::newRow("tables differing in case")
            << threeDocuments() << QStringList{"DOCUMENT.DBF", "document.dbf"} << memo
            << "\"DOCUMENT.DBF\", \"document.dbf\"";
        QTest::newRow("memo files differing in case")
            << threeDocuments() << table << QStringList{"document.dbt", "DOCUMENT.DBT"}
            << "\"DOCUMENT.DBT\", \"document.dbt\"";
    }
    void starts()
    {
        QFETCH(QByteArray, table);
        QFETCH(QStringList, tableNames);
        QFETCH(QStringList, memoNames);
        QFETCH(QString, reason);
        for (const QString &name : tableNames)
            QVERIFY(writeFile(m_folder->file(name), table));
        for (const QString &name : memoNames)
            QVERIFY(writeFile(m_folder->file(name), kTwoNotes));
        if (reason.isEmpty()) {
            if (!tableNames.isEmpty())
                answerMessage();
            Start start;
            QVERIFY(start.status);
            QCOMPARE(start.listedIds(), (tableNames.isEmpty() ? QList<qint64>() : QList<qint64>{30, 12, 7}));
            QCOMPARE(MessageBox::shownTexts().size(), tableNames.size());
            QCOMPARE(QFile::exists(m_folder->file("Document.log")), !tableNames.isEmpty());
            if (!tableNames.isEmpty())
                QCOMPARE(start.stored("SELECT Note FROM Documents WHERE ID = ?", 12), "first");
            return;
        }
        {
            Start start;
            QVERIFY(!start.status);
            const QString message = start.status.message();
            QVERIFY2(message.contains(reason) && message.contains("next start"),
                     qPrintable(message));
        }
        QStringList files = tableNames + memoNames + QStringList{"QskDef.MDB"};
        files.sort();
        QCOMPARE(QDir(m_folder->path()).entryList(QDir::Files, QDir::Name), files);

        // Once the files are sound, the next start imports them.
        for (const QString &name : tableNames + memoNames)
            QFile::remove(m_folder->file(name));
        QVERIFY(writeFile(m_folder->file("Document.DBF"), threeDocuments()));
        QVERIFY(writeFile(m_folder->file("Document.DBT"), kTwoNotes));
        answerMessage();
        Start next;
        QVERIFY(next.status);
        QCOMPARE(next.listedIds(), (QList<qint64>{30, 12, 7}));
    }

    // A start killed from here on cannot lose the log.
    void logWrittenBeforeTheDatabaseTakesItsName()
    {
        QVERIFY(writeFile(m_folder->file("Document.DBF"), threeDocuments()));
        LegacyImport import;
        bool logInPlace = false;
        auto opened = openOrCreateDatabase("Qsk.MDB", "QskDef.MDB", [&](Database &db) {
            const Status s = import.fill(db);
            logInPlace = QFile::exists(m_folder->file("Document.log"));
            return s;
        });
        QVERIFY2(opened, qPrintable(opened.error()));
        QVERIFY(logInPlace);
    }
};

QTEST_MAIN(tst_LegacyImport)
#include "tst_legacyimport.moc"
