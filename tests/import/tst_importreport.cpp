#include "import/ImportReport.h"

#include <QTest>

using namespace qs;

namespace {

QList<DbfProblem> problems(int count)
{
    QList<DbfProblem> list;
    for (int i = 1; i <= count; ++i)
        list.append(DbfProblem{i * 10, QStringLiteral("Date"), QStringLiteral("bad %1").arg(i)});
    return list;
}

} // namespace

class tst_ImportReport : public QObject
{
    Q_OBJECT

private slots:
    void problemLine_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("line");
        QTest::newRow("field") << 12 << "Note"
                               << "block 3: no such block"
                               << "Row 12, Note: block 3: no such block";
        QTest::newRow("whole row") << 4 << QString() << "the table file ends before this row"
                                   << "Row 4: the table file ends before this row";
        QTest::newRow("placeholders in the text") << 7 << "Date"
                                                  << "\"%1%2\" is not a date"
                                                  << "Row 7, Date: \"%1%2\" is not a date";
    }

    void problemLine()
    {
        QFETCH(int, row);
        QFETCH(QString, field);
        QFETCH(QString, what);
        QFETCH(QString, line);
        QCOMPARE(fnProblemLine(DbfProblem{row, field, what}), line);
    }

    void counts_data()
    {
        QTest::addColumn<int>("imported");
        QTest::addColumn<int>("deleted");
        QTest::addColumn<QString>("codePage");
        QTest::addColumn<QString>("message");
        QTest::newRow("plural")
            << 1234 << 5 << "Text was read in DOS code page 850."
            << "1234 documents were imported from \"Document.DBF\"; 5 deleted rows were skipped.";
        QTest::newRow("singular")
            << 1 << 1 << QString()
            << "1 document was imported from \"Document.DBF\"; 1 deleted row was skipped.";
        QTest::newRow("none")
            << 0 << 0 << QString()
            << "0 documents were imported from \"Document.DBF\"; 0 deleted rows were skipped.";
    }

    // The code page goes into the log only, on the line after the counts.
    void counts()
    {
        QFETCH(int, imported);
        QFETCH(int, deleted);
        QFETCH(QString, codePage);
        QFETCH(QString, message);
        const ImportReport report{imported, deleted, {}, codePage};
        QCOMPARE(fnImportMessage(report), message);
        const QString codePageLine = codePage.isEmpty() ? QString() : codePage + u'\n';
        QCOMPARE(fnImportLog(report), message + u'\n' + codePageLine + "\nNo problems were found.\n");
    }

    void messageShowsFirstProblems_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("listed");
        QTest::addColumn<QString>("heading");
        QTest::addColumn<QString>("more");
        QTest::newRow("one") << 1 << 1 << "1 problem was found:" << QString();
        QTest::newRow("twenty") << 20 << 20 << "20 problems were found:" << QString();
        QTest::newRow("twenty-one")
            << 21 << 20 << "21 problems were found:" << QStringLiteral("... and 1 more.");
        QTest::newRow("many") << 500 << 20
                              << "500 problems were found:" << QStringLiteral("... and 480 more.");
    }

    void messageShowsFirstProblems()
    {
        QFETCH(int, count);
        QFETCH(int, listed);
        QFETCH(QString, heading);
        QFETCH(QString, more);

        const ImportReport report{7, 2, problems(count)};
        const QStringList lines = fnImportMessage(report).split(u'\n');

        QStringList expected{
            "7 documents were imported from \"Document.DBF\"; 2 deleted rows were skipped.", "",
            heading};
        for (int i = 1; i <= listed; ++i)
            expected << QStringLiteral("Row %1, Date: bad %2").arg(i * 10).arg(i);
        if (!more.isEmpty())
            expected << more;
        expected << ""
                 << "All problems are listed in \"Document.log\" beside the database.";
        QCOMPARE(lines, expected);
    }

    void logListsEveryProblem()
    {
        const ImportReport report{3, 0, problems(25)};
        const QStringList lines = fnImportLog(report).split(u'\n');
        QCOMPARE(lines.size(), 3 + 25 + 1);
        QCOMPARE(lines.at(2), QStringLiteral("25 problems were found:"));
        QCOMPARE(lines.at(3), QStringLiteral("Row 10, Date: bad 1"));
        QCOMPARE(lines.at(27), QStringLiteral("Row 250, Date: bad 25"));
        QCOMPARE(lines.last(), QString()); // ends with a line break
    }
};

QTEST_GUILESS_MAIN(tst_ImportReport)
#include "tst_importreport.moc"
