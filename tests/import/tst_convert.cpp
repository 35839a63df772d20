// Import into the database and its report; how single fields are read is tst_dbfreader's part.
#include "import/ImportReport.h"
#include "import/modConvert.h"
#include "support/DbfWriter.h"
#include "support/TestSupport.h"

#include <QTest>

using namespace qs;
using namespace qs::test;

namespace {

DbfRow row(const QByteArray &id, const QByteArray &type = {}, const QByteArray &memoBlock = {})
{
    DbfRow r;
    r.id = id;
    r.description = "Document " + id;
    r.type = type;
    r.memoBlock = memoBlock;
    return r;
}

QList<qint64> numbers(const Rows &rows, int column = 0)
{
    QList<qint64> list;
    for (const Row &r : rows)
        list.append(r.values.at(column).toLongLong());
    return list;
}

} // namespace

class tst_Convert : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestFolder> m_folder;
    std::unique_ptr<Database> m_db;

    QString table() const { return m_folder->file(QStringLiteral("Document.DBF")); }
    QString memo() const { return m_folder->file(QStringLiteral("Document.DBT")); }

    Result<ImportReport> convert(const QByteArray &tableBytes, const QByteArray &memoBytes = {})
    {
        if (!writeFile(table(), tableBytes) ||
            (!memoBytes.isEmpty() && !writeFile(memo(), memoBytes)))
            qFatal("cannot write the test files");
        return ConvertDbfDatabase(*m_db, table(), memo());
    }
    Rows rows(const QString &sql) { return m_db->query({sql, {}}).value(); }
    QList<qint64> documentTypes()
    {
        return numbers(rows("SELECT DocumentType FROM Documents ORDER BY RecordPtr"));
    }

private slots:
    void init()
    {
        m_folder = std::make_unique<TestFolder>();
        m_db = makeDatabase(m_folder->file(QStringLiteral("test.db")));
        QVERIFY(m_db);
    }
    void cleanup()
    {
        m_db.reset();
        m_folder.reset();
    }

    void rowsKeepFileOrder()
    {
        DbfRow deleted = row("7");
        deleted.mark = '*';
        const auto report = convert(dbfTable({row("30"), deleted, row("10"), row("20")}));
        QVERIFY2(report.ok(), qPrintable(report.error()));
        QCOMPARE(report->imported, 3);
        QCOMPARE(report->deleted, 1);
        QVERIFY(report->problems.isEmpty());
        QCOMPARE(numbers(rows("SELECT ID FROM Documents ORDER BY RecordPtr")),
                 (QList<qint64>{30, 10, 20}));
    }

    // Each legacy field lands in its own column, as the database stores it, in the table's
    // code page; how single fields are read is the reader's part.
    void everyFieldInItsColumn()
    {
        DbfRow r{' ',        "  42", "  Lease   ",   "19991231", "20000229",
                 "20011130", "Deed", "Fran\x87oise", "1"};
        DbfShape dos;
        dos.languageDriver = 0x02;
        const auto report =
            convert(dbfTable({r}, {}, dos), dbtMemo({dbtBlock(20, "ABCDEFGHIJKLMNOP")}));
        QVERIFY2(report.ok(), qPrintable(report.error()));
        const Rows all = rows("SELECT ID, Description, Date, DateAdded, DateChanged, Who, Note, "
                              "DocumentType, (SELECT Type FROM Types) FROM Documents");
        QCOMPARE(all.size(), size_t(1));
        QCOMPARE(all.front().values,
                 (QVariantList{42, "  Lease", QDate(1999, 12, 31), QDate(2000, 2, 29),
                               QDate(2001, 11, 30), "Françoise", "ABCDEFGHIJKL", 1, "Deed"}));
    }

    void typesShared_data()
    {
        QTest::addColumn<QStringList>("known"); // the Types rows before the import
        QTest::addColumn<QByteArrayList>("typeFields");
        QTest::addColumn<QStringList>("types");    // the Types rows after, in the order added
        QTest::addColumn<QList<int>>("typeOfRow"); // 0: none, n: the n-th of `types`
        QTest::newRow("blank type gives 0 and adds none")
            << QStringList{} << QByteArrayList{"", "          "} << QStringList{}
            << QList<int>{0, 0};
        QTest::newRow("trailing blanks and case do not count")
            << QStringList{} << QByteArrayList{"Letter", "LETTER    ", "letter  ", "Memo"}
            << QStringList{"Letter", "Memo"} << QList<int>{1, 1, 1, 2};
        QTest::newRow("the first row's spelling is kept")
            << QStringList{} << QByteArrayList{"iNVOICE", "Invoice"} << QStringList{"iNVOICE"}
            << QList<int>{1, 1};
        QTest::newRow("leading blanks count") << QStringList{} << QByteArrayList{"  Bill", "Bill"}
                                              << QStringList{"  Bill", "Bill"} << QList<int>{1, 2};
        QTest::newRow("single quote like any other")
            << QStringList{} << QByteArrayList{"O'Neil", "o'neil", "'; DROP"}
            << QStringList{"O'Neil", "'; DROP"} << QList<int>{1, 1, 2};
        QTest::newRow("only ASCII letters fold")
            << QStringList{} << QByteArrayList{"\xc9tat", "\xe9TAT", "\xc9TAT"}
            << QStringList{"État", "éTAT"} << QList<int>{1, 2, 1};
        QTest::newRow("sharp s is not SS")
            << QStringList{} << QByteArrayList{"Ma\xdf", "MASS", "mass"}
            << QStringList{"Maß", "MASS"} << QList<int>{1, 2, 2};
        QTest::newRow("a known type is reused")
            << QStringList{"Letter  "} << QByteArrayList{"LETTER", "Deed"}
            << QStringList{"Letter  ", "Deed"} << QList<int>{1, 2};
    }
    void typesShared()
    {
        QFETCH(QStringList, known);
        QFETCH(QByteArrayList, typeFields);
        QFETCH(QList<int>, typeOfRow);
        for (const QString &name : known)
            QVERIFY(addType(*m_db, name) > 0);
        QList<DbfRow> legacy;
        for (const QByteArray &type : typeFields)
            legacy.append(row(QByteArray::number(legacy.size() + 1), type));
        const auto report = convert(dbfTable(legacy));
        QVERIFY2(report.ok(), qPrintable(report.error()));
        QVERIFY(report->problems.isEmpty());

        const Rows typeRows = rows("SELECT Type, RecordPtr FROM Types ORDER BY RecordPtr");
        QStringList names;
        QList<qint64> expected;
        for (const Row &r : typeRows)
            names.append(r.values.at(0).toString());
        for (int n : typeOfRow)
            expected.append(n == 0 ? 0 : numbers(typeRows, 1).at(n - 1));
        QTEST(names, "types");
        QCOMPARE(documentTypes(), expected);
    }

    void typeKeysStayInRange()
    {
        // The next type gets key 32767, the one after that would be beyond 16 bits.
        QVERIFY(m_db->exec({"INSERT INTO Types (RecordPtr, Type) VALUES (?, ?)", {32766, "Old"}}));
        DbfRow badDate = row("3", "Third");
        badDate.date = "1999XX31";
        const auto report =
            convert(dbfTable({row("1", "Last"), row("2", "Second"), badDate, row("4", "second")}));
        QVERIFY2(report.ok(), qPrintable(report.error()));
        QCOMPARE(documentTypes(), (QList<qint64>{32767, 0, 0, 0}));
        QCOMPARE(numbers(rows("SELECT RecordPtr FROM Types ORDER BY RecordPtr")),
                 (QList<qint64>{32766, 32767}));
        const QString full = "type \"%1\" cannot be added, because type keys cannot go beyond "
                             "32767; imported without a type";
        QCOMPARE(report->problems,
                 (QList<DbfProblem>{{2, "Type", full.arg("Second")},
                                    {3, "Date", "\"1999XX31\" is not a date; imported empty"},
                                    {3, "Type", full.arg("Third")},
                                    {4, "Type", full.arg("second")}}));
    }

    void shortTableAndMissingMemo()
    {
        const auto report = convert(dbfTable({row("1", {}, "1"), row("2"), row("3", {}, "2")}, 5));
        QVERIFY2(report.ok(), qPrintable(report.error()));
        QCOMPARE(report->imported, 3);
        QCOMPARE(numbers(rows("SELECT ID FROM Documents WHERE Note = '' ORDER BY RecordPtr")),
                 (QList<qint64>{1, 2, 3}));
        const QList<DbfProblem> &problems = report->problems;
        QCOMPARE(problems.size(), 3);
        QCOMPARE(problems.at(0).field, QStringLiteral("Note"));
        QVERIFY(problems.at(0).what.contains("is missing"));
        QCOMPARE((QList<int>{problems.at(0).row, problems.at(1).row, problems.at(2).row}),
                 (QList<int>{1, 3, 4}));
        QVERIFY(problems.at(2).what.contains("header states 5 rows"));
    }

    void refusalLeavesNothing()
    {
        QVERIFY(m_db->exec({"CREATE TRIGGER refuse BEFORE INSERT ON Documents WHEN NEW.ID = 3 "
                            "BEGIN SELECT RAISE(ABORT, 'no three'); END",
                            {}}));
        const auto report = convert(dbfTable({row("1", "Kept?"), row("2"), row("3"), row("4")}));
        QVERIFY(!report.ok());
        QCOMPARE(report.error(),
                 QStringLiteral("The legacy table \"%1\" could not be imported at row 3: no three")
                     .arg(QDir::toNativeSeparators(table())));
        QCOMPARE(rows("SELECT * FROM Documents").size(), size_t(0));
        QCOMPARE(rows("SELECT * FROM Types").size(), size_t(0));
    }

    void findLegacyFile_data()
    {
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QString>("found");
        QTest::addColumn<QString>("ambiguous"); // the names a failure lists
        QTest::newRow("exact name") << QStringList{"Document.DBF"} << "Document.DBF" << QString();
        QTest::newRow("capitals") << QStringList{"DOCUMENT.DBF"} << "DOCUMENT.DBF" << QString();
        QTest::newRow("exact name wins")
            << QStringList{"DOCUMENT.DBF", "Document.DBF", "document.dbf"} << "Document.DBF"
            << QString();
        QTest::newRow("two variants") << QStringList{"document.dbf", "DOCUMENT.DBF"} << QString()
                                      << "2 files whose names differ from \"Document.DBF\" only in "
                                         "letter case: \"DOCUMENT.DBF\", \"document.dbf\".";
        QTest::newRow("a folder counts") << QStringList{"DOCUMENT.DBF", "document.dbf/"}
                                         << QString() << "\"DOCUMENT.DBF\", \"document.dbf\"";
        QTest::newRow("absent") << QStringList{"Document.DBT"} << QString() << QString();
    }
    void findLegacyFile()
    {
        QFETCH(QStringList, present);
        QFETCH(QString, found);
        QFETCH(QString, ambiguous);
        QTemporaryDir dir;
        for (const QString &name : present)
            QVERIFY(name.endsWith(u'/') ? QDir(dir.path()).mkdir(name.chopped(1))
                                        : writeFile(dir.filePath(name), "x"));
        const Result<QString> result = fnFindLegacyFile(dir.path(), QStringLiteral("Document.DBF"));
        QCOMPARE(result.ok(), ambiguous.isEmpty());
        if (result)
            QCOMPARE(*result, found.isEmpty() ? QString() : dir.filePath(found));
        else
            QVERIFY2(result.error().contains(ambiguous), qPrintable(result.error()));
    }

    void problemLine_data()
    {
        QTest::addColumn<DbfProblem>("problem");
        QTest::addColumn<QString>("line");
        QTest::newRow("field") << DbfProblem{12, "Note", "block 3: no such block"}
                               << "Row 12, Note: block 3: no such block";
        QTest::newRow("whole row") << DbfProblem{4, {}, "the table file ends before this row"}
                                   << "Row 4: the table file ends before this row";
        QTest::newRow("placeholders in the text") << DbfProblem{7, "Date", "\"%1%2\" is not a date"}
                                                  << "Row 7, Date: \"%1%2\" is not a date";
    }
    void problemLine()
    {
        QFETCH(DbfProblem, problem);
        QTEST(fnProblemLine(problem), "line");
    }

    // The code page goes into the log only, on the line after the counts.
    void counts_data()
    {
        QTest::addColumn<int>("imported");
        QTest::addColumn<int>("deleted");
        QTest::addColumn<QString>("codePage");
        QTest::addColumn<QString>("message");
        QTest::newRow("plural") << 1234 << 5 << "Text was read in DOS code page 850."
                                << "1234 documents were imported from \"Document.DBF\"; 5 deleted "
                                   "rows were skipped.";
        QTest::newRow("singular") << 1 << 1 << QString()
                                  << "1 document was imported from \"Document.DBF\"; 1 deleted "
                                     "row was skipped.";
        QTest::newRow("none") << 0 << 0 << QString()
                              << "0 documents were imported from \"Document.DBF\"; 0 deleted rows "
                                 "were skipped.";
    }
    void counts()
    {
        QFETCH(int, imported);
        QFETCH(int, deleted);
        QFETCH(QString, codePage);
        QFETCH(QString, message);
        const ImportReport report{imported, deleted, {}, codePage};
        QCOMPARE(fnImportMessage(report), message);
        const QString codePageLine = codePage.isEmpty() ? QString() : codePage + u'\n';
        QCOMPARE(fnImportLog(report),
                 message + u'\n' + codePageLine + "\nNo problems were found.\n");
    }

    // The message lists the first twenty problems, the log every one.
    void problems_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("heading");
        QTest::addColumn<QString>("more");
        QTest::newRow("one") << 1 << "1 problem was found:" << QString();
        QTest::newRow("twenty") << 20 << "20 problems were found:" << QString();
        QTest::newRow("twenty-one") << 21 << "21 problems were found:"
                                    << "... and 1 more.";
    }
    void problems()
    {
        QFETCH(int, count);
        QFETCH(QString, heading);
        QFETCH(QString, more);
        ImportReport report{7, 2, {}};
        QStringList lines;
        for (int i = 1; i <= count; ++i) {
            report.problems.append({i * 10, "Date", QStringLiteral("bad %1").arg(i)});
            lines << QStringLiteral("Row %1, Date: bad %2").arg(i * 10).arg(i);
        }
        const QString counts = "7 documents were imported from \"Document.DBF\"; 2 deleted rows "
                               "were skipped.";
        QStringList expected = QStringList{counts, "", heading} + lines.mid(0, 20);
        if (!more.isEmpty())
            expected << more;
        expected << ""
                 << "All problems are listed in \"Document.log\" beside the database.";
        QCOMPARE(fnImportMessage(report).split(u'\n'), expected);
        QCOMPARE(fnImportLog(report).split(u'\n'),
                 (QStringList{counts, "", heading} + lines + QStringList{""}));
    }
};

QTEST_GUILESS_MAIN(tst_Convert)
#include "tst_convert.moc"
