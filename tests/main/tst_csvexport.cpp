// The export of the list as CSV: the writer's quoting, and the File menu's entry over the
// real main window.
#include "support/TestSupport.h"

#include "main/CsvExport.h"
#include "main/DocumentIndexService.h"
#include "main/DocumentQuery.h"
#include "store/DataControl.h"
#include "store/modRoutines.h"
#include "support/MainWindow.h"
#include "widgets/FileDialog.h"
#include "widgets/MessageBox.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QProgressDialog>
#include <QRadioButton>
#include <QTimer>

#include <csignal>
#include <optional>
#include <sys/resource.h>

using namespace qs;
using namespace qs::test;

namespace {

const QByteArray kHead = "\xEF\xBB\xBFID,Description,Type,Date,Who,Note\r\n";

// A reader written from RFC 4180 alone, to read back what the program wrote.
QList<QStringList> parseCsv(const QByteArray &bytes)
{
    QList<QStringList> rows;
    const QString text = QString::fromUtf8(bytes.mid(3)); // after the byte-order mark
    QStringList row;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text.at(i + 1) == u'"')
                field += c, ++i;
            else if (c == u'"')
                quoted = false;
            else
                field += c;
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u',') {
            row << field, field.clear();
        } else if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n') {
            row << field, field.clear();
            rows << row, row.clear();
            ++i;
        } else {
            field += c;
        }
    }
    return rows;
}

// What the list shows, row by row, in the file's columns.
QList<QStringList> listRows(frmMain &w)
{
    QList<QStringList> rows;
    Recordset *rs = w.documents()->recordset();
    for (int i = 0; i < rs->rowCount(); ++i) {
        const auto v = [&](const char *field) { return rs->valueAt(i, QLatin1String(field)); };
        rows << QStringList{v("ID").toString(),
                            v("Description").toString(),
                            fnTypeName(*w.database(), qint16(v("DocumentType").toInt())),
                            v("Date").toDate().toString(Qt::ISODate),
                            v("Who").toString(),
                            v("Note").toString()};
    }
    return rows;
}

// Lowers the largest file this process may write, so that writing fails even for root.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_saved);
        rlimit lowered = m_saved;
        lowered.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &m_saved); }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit m_saved{};
};

} // namespace

class tst_CsvExport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup()
    {
        MessageBox::clearAnswers();
        MessageBox::clearShownTexts();
        FileDialog::clearFileNames();
    }

    void writesOneLinePerDocument_data()
    {
        QTest::addColumn<QVariantList>("values"); // ID, Description, type name, Date, Who, Note
        QTest::addColumn<QByteArray>("line");
        const auto row = [](QVariant id, QString desc, QString type, QVariant date, QString who,
                            QString note) { return QVariantList{id, desc, type, date, who, note}; };
        QTest::newRow("plain, date as yyyy-mm-dd, the type's name")
            << row(20, "Lease", "Rent", QDate(2024, 3, 1), "Bank", "n")
            << QByteArray("20,Lease,Rent,2024-03-01,Bank,n");
        QTest::newRow("no number, no date, unknown type")
            << row(QVariant(), "", "?", QVariant(), "", "") << QByteArray(",,,,,");
        QTest::newRow("comma") << row(1, "Smith, John", "", QVariant(), "", "")
                               << QByteArray("1,\"Smith, John\",,,,");
        QTest::newRow("quotes doubled") << row(1, "say \"hi\"", "", QVariant(), "\"", "")
                                        << QByteArray("1,\"say \"\"hi\"\"\",,,\"\"\"\",");
        QTest::newRow("CR, LF, CR LF") << row(1, "a\rb", "", QVariant(), "c\nd", "e\r\nf")
                                       << QByteArray("1,\"a\rb\",,,\"c\nd\",\"e\r\nf\"");
        QTest::newRow("leading and trailing blanks")
            << row(1, " lead", "", QVariant(), "trail ", "\ttab")
            << QByteArray("1,\" lead\",,,\"trail \",\"\ttab\"");
        QTest::newRow("blanks inside stay bare")
            << row(1, "a b", "", QVariant(), "", "") << QByteArray("1,a b,,,,");
        QTest::newRow("non-ASCII, type name quoted")
            << row(7, "Zürich – 日本", "Bills, paid", QVariant(), "Åsa", "")
            << QString("7,Zürich – 日本,\"Bills, paid\",,Åsa,").toUtf8();
        const QString big = QString("x,\"y\"\r\n").repeated(1 << 17); // 1 MB
        QString bigQuoted = big;
        bigQuoted.replace("\"", "\"\"");
        QTest::newRow("note of 1 MB") << row(3, "big", "", QVariant(), "", big)
                                      << (QString("3,big,,,,\"") + bigQuoted + "\"").toUtf8();
    }
    void writesOneLinePerDocument()
    {
        QFETCH(QVariantList, values);
        QFETCH(QByteArray, line);
        TestFolder folder;
        auto db = makeDatabase(folder.file("Qsk.MDB"));
        QVERIFY(db);
        const QString typeName = values.at(2).toString();
        const qint16 type = typeName.isEmpty() ? 0 : typeName == u"?" ? 99 : addType(*db, typeName);
        QVERIFY(db->exec(
            {"INSERT INTO Documents (ID, Description, DocumentType, Date, Who, Note) "
             "VALUES (?, ?, ?, ?, ?, ?)",
             {values.at(0), values.at(1), type, values.at(3), values.at(4), values.at(5)}}));
        const QString path = folder.file("out.csv");
        const auto outcome = exportDocumentsCsv(*db, DocumentListSource({}), path);
        QVERIFY2(outcome, qPrintable(outcome.error()));
        QCOMPARE(outcome->rows, 1);
        QCOMPARE(readFile(path), kHead + line + "\r\n");
        // The file is no longer mapped for bulk reading once the export is over.
        QCOMPARE(db->query({"PRAGMA mmap_size", {}})->front().values.value(0).toInt(), 0);
    }

    // Through the File menu of the real window, with the list answered by SQL and by the
    // in-memory index.
    void exportsWhatTheListShows_data()
    {
        QTest::addColumn<bool>("withIndex");
        QTest::addColumn<QString>("who");
        QTest::addColumn<int>("order");
        QTest::newRow("unfiltered, highest number first") << false << "" << 0;
        QTest::newRow("who filter, description order, SQL") << false << "BANK" << 1;
        QTest::newRow("who filter, description order, index") << true << "BANK" << 1;
        QTest::newRow("who filter, number order, index") << true << "BANK" << 2;
    }
    void exportsWhatTheListShows()
    {
        QFETCH(bool, withIndex);
        QFETCH(QString, who);
        QFETCH(int, order);
        TestFolder folder;
        {
            auto db = makeDatabase("Qsk.MDB");
            const qint16 lease = addType(*db, "Lease");
            const QStringList names = {"Bank", "Ann", "bank of X", "Zed, \"Q\""};
            for (int i = 1; i <= 24; ++i)
                addDocument(*db, {i % 7 + 1, QString("Doc %1").arg((i * 5) % 24),
                                  i % 3 ? lease : qint16(0),
                                  i % 4 ? QVariant(QDate(2020, 1, 1).addDays(i)) : QVariant(),
                                  names.at(i % names.size()), QString("line 1\r\nline %1").arg(i)});
        }
        test::MainWindow w;
        QVERIFY(w.Form_Initialize());
        if (withIndex)
            w.documentIndex()->waitUntilReady();
        w.findChild<QRadioButton *>(QString("Order_%1").arg(order))->click();
        if (!who.isEmpty()) {
            w.findChild<QLineEdit *>("txtFilterWho")->setText(who);
            w.findChild<QCheckBox *>("chkFilterOn")->click();
        }
        const QList<QStringList> shown = listRows(w);
        QVERIFY(shown.size() > 3);
        QCOMPARE(shown.size() < 24, !who.isEmpty());

        auto *action = w.findChild<QAction *>("mnuExportCsv");
        QCOMPARE(action->text(), QStringLiteral("Export List as CSV..."));
        FileDialog::queueFileName(folder.file("list.csv"));
        action->trigger();
        QCOMPARE(MessageBox::shownTexts(), QStringList());
        QList<QStringList> written = parseCsv(readFile(folder.file("list.csv")));
        QCOMPARE(written.takeFirst(),
                 QStringList({"ID", "Description", "Type", "Date", "Who", "Note"}));
        QCOMPARE(written, shown);
    }

    // The file named before the export is untouched by one that does not finish.
    void unfinishedExportLeavesTheOldFile_data()
    {
        QTest::addColumn<QString>("target"); // relative to the test folder
        QTest::addColumn<int>("documents");
        QTest::addColumn<bool>("fileTooLarge");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QString>("message");
        QTest::newRow("file dialog cancelled") << "" << 3 << false << false << "";
        QTest::newRow("folder is a plain file")
            << "plain.txt/list.csv" << 3 << false << false << "could not be exported to";
        QTest::newRow("the database itself")
            << "Qsk.MDB" << 3 << false << false << "that is the database itself";
        QTest::newRow("disk full half-way")
            << "list.csv" << 3 << true << false << "could not be exported to";
        QTest::newRow("progress cancelled")
            << "list.csv" << int(kCsvProgressStep) + 100 << false << true << "";
    }
    void unfinishedExportLeavesTheOldFile()
    {
        QFETCH(QString, target);
        QFETCH(int, documents);
        QFETCH(bool, fileTooLarge);
        QFETCH(bool, cancel);
        QFETCH(QString, message);
        TestFolder folder;
        {
            auto db = makeDatabase("Qsk.MDB");
            Transaction t(*db);
            // Over the writer's 1 MB buffer, so that the write fails while rows are read.
            const QString note = fileTooLarge ? QString(1536 * 1024, u'n') : QString();
            for (int i = 1; i <= documents; ++i)
                addDocument(*db, {i, QString("Doc %1").arg(i), 0, QVariant(), "", note});
            QVERIFY(t.commit());
        }
        QVERIFY(writeFile(folder.file("plain.txt"), "not a folder"));
        QVERIFY(writeFile(folder.file("list.csv"), "old contents"));

        test::MainWindow w;
        QVERIFY(w.Form_Initialize());
        w.show();
        const QStringList before = QDir().entryList(QDir::Files);
        FileDialog::queueFileName(target.isEmpty() ? QString() : folder.file(target));
        MessageBox::queueAnswer(QMessageBox::Ok);
        if (cancel) {
            QTimer::singleShot(0, &w, [&w] {
                if (auto *progress = w.findChild<QProgressDialog *>("frmExporting"))
                    progress->cancel();
            });
        }
        {
            std::optional<FileSizeLimit> limit;
            if (fileTooLarge)
                limit.emplace(64 * 1024);
            w.findChild<QAction *>("mnuExportCsv")->trigger();
        }
        QCOMPARE(FileDialog::askedCaptions(), QStringList{"Export List as CSV"});
        QCOMPARE(MessageBox::shownTexts().size(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty())
            QVERIFY2(MessageBox::shownTexts().constFirst().contains(message),
                     qPrintable(MessageBox::shownTexts().constFirst()));
        QCOMPARE(readFile(folder.file("list.csv")), QByteArray("old contents"));
        QVERIFY(readFile(folder.file("Qsk.MDB")).startsWith("SQLite format 3"));
        QCOMPARE(QDir().entryList(QDir::Files), before);
    }
};

QTEST_MAIN(tst_CsvExport)
#include "tst_csvexport.moc"
