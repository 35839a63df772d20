#include "DbfWriter.h"
#include "import/LegacyImport.h"
#include "import/frmConverting.h"
#include "main/frmMain.h"
#include "support/MainWindow.h"
#include "store/DataControl.h"
#include "store/DatabaseFile.h"
#include "widgets/MessageBox.h"
#include "support/TestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTest>

#include <algorithm>
#include <functional>
#include <memory>

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

// The legacy table of most tests: three live rows and a deleted one, with notes.
QByteArray threeDocuments()
{
    DbfRow deleted = row(99);
    deleted.mark = '*';
    return dbfTable({row(12, "Letter", "1"), deleted, row(30, "LETTER"), row(7, {}, "2")});
}

QByteArray twoNotes()
{
    return dbtMemo({dbtBlock(8 + 5, "first"), dbtBlock(8 + 6, "second")});
}

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
    std::unique_ptr<test::MainWindow> window = std::make_unique<test::MainWindow>();
    Status status;

    explicit Start(const std::function<void(LegacyImport &)> &configure = {})
    {
        if (configure)
            configure(import);
        window->session.setNewDatabaseFiller(import.filler());
        status = window->Form_Initialize();
        if (status)
            import.reportOutcome(window.get(), QStringLiteral("Qsk.MDB"));
    }

    QList<qint64> listedIds() const
    {
        QList<qint64> ids;
        Recordset *rs = window->documents()->recordset();
        for (int i = 0; rs && i < rs->rowCount(); ++i)
            ids.append(rs->valueAt(i, QStringLiteral("ID")).toLongLong());
        return ids;
    }
};

const QList<qint64> kImportedIds{30, 12, 7};

} // namespace

class tst_LegacyImport : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestFolder> m_folder;

    void writeLegacy(const QByteArray &table, const QString &tableName = QStringLiteral("Document.DBF"),
                     const QString &memoName = QStringLiteral("Document.DBT"))
    {
        if (!writeFile(m_folder->file(tableName), table) || !writeFile(m_folder->file(memoName), twoNotes()))
            qFatal("cannot write the legacy files");
    }

private slots:
    void init()
    {
        m_folder = std::make_unique<TestFolder>();
        MessageBox::clearAnswers();
        MessageBox::clearShownTexts();
    }

    void cleanup() { m_folder.reset(); }

    void convertingWindowOffersNothing()
    {
        frmConverting w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto *label = w.findChild<QLabel *>(QStringLiteral("lblMessage"));
        QCOMPARE(label->text(), QStringLiteral("Converting to new database format ... please wait"));
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

    void firstStartImports()
    {
        writeLegacy(threeDocuments());
        const QByteArray tableBefore = readFile(m_folder->file(QStringLiteral("Document.DBF")));
        const QByteArray memoBefore = readFile(m_folder->file(QStringLiteral("Document.DBT")));
        MessageBox::queueAnswer(QMessageBox::Ok);

        Start start;
        QVERIFY2(start.status, qPrintable(start.status.message()));
        QCOMPARE(start.listedIds(), kImportedIds);
        QCOMPARE(MessageBox::shownTexts(), QStringList{QStringLiteral("3 documents were imported from \"Document.DBF\"; 1 deleted row was skipped.")});
        QVERIFY(!convertingWindow());
        Database &db = *start.window->database();
        auto notes = db.query({QStringLiteral("SELECT Note, DocumentType FROM Documents ORDER BY RecordPtr"), {}});
        QCOMPARE(notes->size(), size_t(3));
        QCOMPARE(notes->at(0).values.at(0).toString(), QStringLiteral("first"));
        QCOMPARE(notes->at(2).values.at(0).toString(), QStringLiteral("second"));
        QCOMPARE(notes->at(0).values.at(1), notes->at(1).values.at(1));
        QCOMPARE(db.query({QStringLiteral("SELECT Type FROM Types"), {}})->size(), size_t(1));

        const QString log = QString::fromUtf8(readFile(m_folder->file("Document.log")));
        QVERIFY2(log.contains(QStringLiteral("\nThe table names no code page; text was read in Windows code page 1252.\n\nNo problems were found.")), qPrintable(log));
        // The legacy files stay byte for byte as they were.
        QCOMPARE(readFile(m_folder->file(QStringLiteral("Document.DBF"))), tableBefore);
        QCOMPARE(readFile(m_folder->file(QStringLiteral("Document.DBT"))), memoBefore);
    }

    // A later start imports nothing; once the database is removed, the next start imports again.
    void laterStartsImportOnlyWithoutDatabase()
    {
        writeLegacy(threeDocuments());
        MessageBox::queueAnswer(QMessageBox::Ok);
        QVERIFY(Start().status);
        const QStringList firstReport = MessageBox::shownTexts();
        MessageBox::clearShownTexts();
        {
            Start second;
            QVERIFY(second.status);
            QVERIFY(!second.import.report());
            QVERIFY(MessageBox::shownTexts().isEmpty());
            QCOMPARE(second.listedIds(), kImportedIds);
        }
        QVERIFY(QFile::remove(m_folder->file(QStringLiteral("Qsk.MDB"))));
        MessageBox::queueAnswer(QMessageBox::Ok);
        Start again;
        QVERIFY(again.status);
        QCOMPARE(again.listedIds(), kImportedIds);
        QCOMPARE(MessageBox::shownTexts(), firstReport);
    }

    void noLegacyTableNoImport()
    {
        Start start;
        QVERIFY(start.status);
        QVERIFY(start.listedIds().isEmpty());
        QVERIFY(MessageBox::shownTexts().isEmpty());
        QVERIFY(!QFile::exists(m_folder->file(QStringLiteral("Document.log"))));
    }

    void legacyNamesInCapitals()
    {
        writeLegacy(threeDocuments(), QStringLiteral("DOCUMENT.DBF"), QStringLiteral("document.dbt"));
        MessageBox::queueAnswer(QMessageBox::Ok);
        Start start;
        QVERIFY(start.status);
        QCOMPARE(start.listedIds(), kImportedIds);
        auto notes = start.window->database()->query({QStringLiteral("SELECT Note FROM Documents WHERE ID = ?"), {12}});
        QCOMPARE(notes->at(0).values.at(0).toString(), QStringLiteral("first"));
    }

    // A table that cannot be imported leaves no database, so the next start imports it.
    void unreadableTableLeavesNoDatabase_data()
    {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<QStringList>("tableNames");
        QTest::addColumn<QStringList>("memoNames");
        QTest::addColumn<QString>("reason");
        const QStringList table{"Document.DBF"};
        const QStringList memo{"Document.DBT"};
        QByteArray negative = threeDocuments();
        negative[7] = '\xff';
        DbfShape other;
        other.fields[2].name = "WHEN";
        QTest::newRow("header cut short") << QByteArray(40, '\x03') << table << memo << QStringLiteral("too short for its header (40 of 771 bytes)");
        QTest::newRow("negative row count") << negative << table << memo << QStringLiteral("negative number of rows");
        QTest::newRow("other fields") << dbfTable({row(1)}, {}, other) << table << memo << QStringLiteral("field 3 is \"WHEN\" D(8)");
        QTest::newRow("tables differing in case") << threeDocuments() << QStringList{"DOCUMENT.DBF", "document.dbf"} << memo << QStringLiteral("\"DOCUMENT.DBF\", \"document.dbf\"");
        QTest::newRow("memo files differing in case") << threeDocuments() << table << QStringList{"document.dbt", "DOCUMENT.DBT"} << QStringLiteral("\"DOCUMENT.DBT\", \"document.dbt\"");
    }

    void unreadableTableLeavesNoDatabase()
    {
        QFETCH(QByteArray, table);
        QFETCH(QStringList, tableNames);
        QFETCH(QStringList, memoNames);
        QFETCH(QString, reason);
        for (const QString &name : tableNames)
            QVERIFY(writeFile(m_folder->file(name), table));
        for (const QString &name : memoNames)
            QVERIFY(writeFile(m_folder->file(name), twoNotes()));
        {
            Start start;
            QVERIFY(!start.status);
            const QString message = start.status.message();
            QVERIFY2(message.contains(reason) && message.contains(QStringLiteral("next start")), qPrintable(message));
        }
        QStringList files = tableNames + memoNames + QStringList{"QskDef.MDB"};
        files.sort();
        QCOMPARE(QDir(m_folder->path()).entryList(QDir::Files, QDir::Name), files);

        // Once the table is readable, the next start imports it.
        writeLegacy(threeDocuments());
        MessageBox::queueAnswer(QMessageBox::Ok);
        Start next;
        QVERIFY(next.status);
        QCOMPARE(next.listedIds(), kImportedIds);
    }

    void problemsReportedOnceInPlace()
    {
        // 25 rows with a bad date, one whose memo block is missing, and a cut-off table.
        QList<DbfRow> rows;
        for (int i = 1; i <= 25; ++i) {
            rows.append(row(i));
            rows.last().date = "2001XX01";
        }
        rows.append(row(26, {}, "5"));
        writeLegacy(dbfTable(rows, 27));
        MessageBox::queueAnswer(QMessageBox::Ok);

        Start start;
        QVERIFY(start.status);
        QCOMPARE(start.listedIds().size(), 26);
        QCOMPARE(MessageBox::shownTexts().size(), 1);
        const QString message = MessageBox::shownTexts().first();
        QVERIFY2(message.startsWith(QStringLiteral("26 documents were imported from \"Document.DBF\"; 0 deleted rows were skipped.\n\n27 problems were found:\n")), qPrintable(message));

        // The log holds every problem; the message's shortening is tst_importreport's part.
        const QString log = QString::fromUtf8(readFile(m_folder->file("Document.log")));
        QVERIFY(log.contains(QStringLiteral("\nRow 25, Date: \"2001XX01\" is not a date")));
        QVERIFY(log.contains(QStringLiteral("\nRow 26, Note: block 5: the memo file ends before this block; imported empty\n")));
        QVERIFY(log.contains(QStringLiteral("\nRow 27: the table file ends before this row")));
    }

    void logWrittenBeforeTheDatabaseTakesItsName()
    {
        writeLegacy(threeDocuments());
        LegacyImport import;
        bool logInPlace = false;
        auto opened = openOrCreateDatabase(QStringLiteral("Qsk.MDB"), QStringLiteral("QskDef.MDB"), [&](Database &db) {
            const Status s = import.fill(db);
            logInPlace = QFile::exists(m_folder->file(QStringLiteral("Document.log")));
            return s;
        });
        QVERIFY2(opened, qPrintable(opened.error()));
        QVERIFY(logInPlace);
    }

    void progressShownWhileImporting()
    {
        QList<DbfRow> rows;
        for (int i = 1; i <= 3000; ++i)
            rows.append(row(i, "Bulk"));
        writeLegacy(dbfTable(rows));
        MessageBox::queueAnswer(QMessageBox::Ok);

        QList<int> shownValues;
        bool alwaysVisible = true;
        Start start{[&](LegacyImport &import) {
            import.setProgressListener([&](int, int count) {
                frmConverting *w = convertingWindow();
                auto *bar = w ? w->findChild<QProgressBar *>(QStringLiteral("prgRows")) : nullptr;
                alwaysVisible = alwaysVisible && w && w->isVisible();
                if (bar && bar->maximum() == count)
                    shownValues.append(bar->value());
            });
        }};
        QVERIFY(start.status);
        QVERIFY(alwaysVisible);
        QVERIFY(shownValues.size() >= 3);
        QCOMPARE(shownValues.first(), 0);
        QCOMPARE(shownValues.last(), 3000);
        QVERIFY(std::any_of(shownValues.begin(), shownValues.end(), [](int v) { return v > 0 && v < 3000; }));
        QVERIFY(!convertingWindow());
    }
};

QTEST_MAIN(tst_LegacyImport)
#include "tst_legacyimport.moc"
