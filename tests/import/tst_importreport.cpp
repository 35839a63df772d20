#include "import/ImportReport.h"

#include <QTest>

using namespace qs;

class tst_ImportReport : public QObject
{
    Q_OBJECT

private slots:
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

QTEST_GUILESS_MAIN(tst_ImportReport)
#include "tst_importreport.moc"
