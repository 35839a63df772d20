#include "reports/DocumentReport.h"
#include "reports/PainterSurface.h"
#include "reports/RecordingSurface.h"
#include "reports/ReportPdf.h"

#include <QBuffer>
#include <QFontInfo>
#include <QPdfWriter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <memory>

Q_DECLARE_METATYPE(qs::ReportColumns)
Q_DECLARE_METATYPE(std::optional<QDate>)

using namespace qs;

namespace {

const QString kStamp = QStringLiteral("1/2/2026 9:30 AM");

ReportRow sampleRow(int i)
{
    ReportRow row;
    row.id = 1000 + i;
    row.description = QStringLiteral("Deed %1 of the mill").arg(i, 3, 10, QLatin1Char('0'));
    row.type = i % 2 ? QStringLiteral("Letter") : QStringLiteral("Invoice");
    row.date = QDate(2000 + i % 20, 1 + i % 12, 1 + i % 28);
    row.who = QStringLiteral("Holder %1").arg(i, 3, 10, QLatin1Char('0'));
    return row;
}

ReportRowSource rows(int count)
{
    auto produced = std::make_shared<int>(0);
    return [produced, count](ReportRow &row) {
        if (*produced >= count)
            return false;
        row = sampleRow((*produced)++);
        return true;
    };
}

const ReportColumns kAll{true, true, true};

// Records that fit on a page: the heading takes six lines (a blank line, the title, three
// header lines and a blank line) and the page is full once the pen is past 93 per cent.
int rowsPerPage(double pageHeight, double top, double line)
{
    return int(std::floor((0.93 * pageHeight - top - 6 * line) / line)) + 1;
}

QString run(const QString &program, const QStringList &args)
{
    QProcess process;
    process.start(program, args);
    process.waitForFinished(-1);
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace

class TestReportPdf : public QObject
{
    Q_OBJECT

    int m_recordedPerPage = 0;
    int m_pdfPerPage = 0;
    QString m_pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    QString m_pdfinfo = QStandardPaths::findExecutable(QStringLiteral("pdfinfo"));

private slots:
    void initTestCase()
    {
        RecordingSurface recording;
        m_recordedPerPage = rowsPerPage(recording.pageHeight(), 720, 240);
        // One line of the real surface at the report's font.
        PainterSurface surface;
        surface.setFontSize(10);
        surface.setMarginTop(720);
        surface.startDoc();
        const double top = surface.currentY();
        surface.lineEnd();
        const double line = surface.currentY() - top;
        surface.endDoc();
        m_pdfPerPage = rowsPerPage(surface.pageHeight(), 720, line);
        QVERIFY(m_pdfPerPage > 20);
    }

    void columns_data()
    {
        QTest::addColumn<ReportColumns>("chosen");
        QTest::addColumn<bool>("numbered");
        QTest::addColumn<QStringList>("headers");
        QTest::addColumn<QStringList>("cells");
        QTest::newRow("ID and Description only")
            << ReportColumns{} << true << QStringList{"ID", "Description"}
            << QStringList{"1000", "Deed 000 of the mill"};
        QTest::newRow("Date only")
            << ReportColumns{false, true, false} << true << QStringList{"ID", "Description", "Date"}
            << QStringList{"1000", "Deed 000 of the mill", "1/1/2000"};
        QTest::newRow("all five") << kAll << true
                                  << QStringList{"ID", "Description", "Type", "Date", "Who"}
                                  << QStringList{"1000", "Deed 000 of the mill", "Invoice",
                                                 "1/1/2000", "Holder 000"};
        QTest::newRow("no ID: an empty cell")
            << ReportColumns{} << false << QStringList{"ID", "Description"}
            << QStringList{"Deed 000 of the mill"};
    }

    void columns()
    {
        QFETCH(ReportColumns, chosen);
        QFETCH(bool, numbered);
        RecordingSurface surface;
        bool done = false;
        const auto one = [&](ReportRow &row) {
            row = sampleRow(0);
            if (!numbered)
                row.id.reset();
            return !std::exchange(done, true);
        };
        QCOMPARE(PrintDocumentReport(surface, chosen, kStamp, one), ReportEnd::Complete);
        QStringList underlined, firstRow;
        double previousX = -1;
        const double firstRowY = surface.marginTop() + 6 * surface.lineHeight();
        for (const RecordedText &t : surface.visibleTexts()) {
            if (t.underline)
                underlined << t.text;
            if (t.y == firstRowY) {
                QVERIFY(t.x > previousX);
                previousX = t.x;
                firstRow << t.text;
            }
        }
        QTEST(underlined, "headers");
        QTEST(firstRow, "cells");
        QCOMPARE(surface.visibleTexts().front().text, kStamp);
    }

    void pages_data()
    {
        QTest::addColumn<int>("records");
        QTest::addColumn<int>("pages");
        const int k = m_recordedPerPage;
        QTest::newRow("no records") << 0 << 1;
        QTest::newRow("one short of a page") << k - 1 << 1;
        QTest::newRow("exactly a page: no heading-only page") << k << 1;
        QTest::newRow("one over") << k + 1 << 2;
        QTest::newRow("exactly two pages") << 2 * k << 2;
        QTest::newRow("two pages and one") << 2 * k + 1 << 3;
    }

    void pages()
    {
        QFETCH(int, records);
        QFETCH(int, pages);
        RecordingSurface surface;
        PrintDocumentReport(surface, kAll, kStamp, rows(records));
        QCOMPARE(surface.currentPage(), pages);
        QCOMPARE(surface.log().count(QStringLiteral("newPage")), pages - 1);
        QCOMPARE(surface.log().last(), QStringLiteral("endDoc"));

        // Every page has its heading and at least one record; the record that passed the
        // threshold stays on its page and the next one starts below the repeated heading.
        const double firstRowY = surface.marginTop() + 6 * surface.lineHeight();
        QList<int> recordsOnPage(pages + 1, 0), headingsOnPage(pages + 1, 0);
        for (const RecordedText &t : surface.visibleTexts()) {
            if (t.text == QStringLiteral("Page: %1").arg(t.page))
                ++headingsOnPage[t.page];
            bool isId = false;
            const int index = t.text.toInt(&isId) - 1000;
            if (isId && index >= 0) {
                QCOMPARE(t.page, index / m_recordedPerPage + 1);
                QCOMPARE(t.y, firstRowY + (index % m_recordedPerPage) * surface.lineHeight());
                ++recordsOnPage[t.page];
            }
        }
        for (int page = 1; page <= pages; ++page) {
            QCOMPARE(headingsOnPage[page], 1);
            QVERIFY(records == 0 || recordsOnPage[page] > 0);
        }
    }

    void reportDate_data()
    {
        QTest::addColumn<std::optional<QDate>>("date");
        QTest::addColumn<QString>("text");
        QTest::newRow("no date") << std::optional<QDate>() << "";
        QTest::newRow("invalid date") << std::optional<QDate>(QDate()) << "";
        QTest::newRow("no leading zeros") << std::optional<QDate>(QDate(2003, 1, 2)) << "1/2/2003";
        QTest::newRow("two digits") << std::optional<QDate>(QDate(1999, 12, 31)) << "12/31/1999";
        QTest::newRow("early year") << std::optional<QDate>(QDate(812, 7, 4)) << "7/4/0812";
    }

    void reportDate()
    {
        QFETCH(std::optional<QDate>, date);
        QTEST(fnReportDate(date), "text");
    }

    void cancelEndsTheDocument()
    {
        RecordingSurface surface;
        const auto stopAtTwo = [](int page) { return page < 2; };
        QCOMPARE(PrintDocumentReport(surface, {}, kStamp, rows(3 * m_recordedPerPage), stopAtTwo),
                 ReportEnd::Cancelled);
        QCOMPARE(surface.log().last(), QStringLiteral("endDoc"));
        for (const RecordedText &t : surface.visibleTexts())
            QCOMPARE(t.page, 1);
    }

    // Arial, or a font with the same metrics, measured without hinting: a digit is 1139/2048 em.
    void arialWidthIsStable()
    {
        const QString family = QFontInfo(QFont(QStringLiteral("Arial"))).family();
        if (family != QStringLiteral("Arial") && family != QStringLiteral("Liberation Sans"))
            QSKIP("Neither Arial nor Liberation Sans is installed");
        PainterSurface surface;
        surface.setFontName(QStringLiteral("Arial"));
        surface.setFontSize(10);
        QVERIFY(std::abs(surface.textWidth(QStringLiteral("000000")) - 6 * 1139.0 / 2048 * 200) <
                0.5);
    }

    // The report turns the preview switch back on after starting, so only the run that was
    // started with it off reaches the output.
    void previewThenOutput()
    {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::Letter), QPageLayout::Portrait, {}));
        PainterSurface surface;
        surface.setOutput(&writer);
        const int records = 2 * m_pdfPerPage + 1;
        PrintDocumentReport(surface, kAll, kStamp, rows(records));
        QCOMPARE(int(surface.previewPages().size()), 3);
        QCOMPARE(buffer.size(), 0);
        surface.setPreview(false);
        PrintDocumentReport(surface, kAll, kStamp, rows(records));
        QVERIFY(buffer.data().startsWith("%PDF"));
        QVERIFY(surface.preview());
        QCOMPARE(int(surface.previewPages().size()), 3);
    }

    void pdfEndToEnd_data()
    {
        QTest::addColumn<int>("records");
        QTest::addColumn<int>("pages");
        const int k = m_pdfPerPage;
        QTest::newRow("one record") << 1 << 1;
        QTest::newRow("exactly a page") << k << 1;
        QTest::newRow("exactly two pages") << 2 * k << 2;
        QTest::newRow("120 records") << 120 << (120 + k - 1) / k;
    }

    void pdfEndToEnd()
    {
        QFETCH(int, records);
        QFETCH(int, pages);
        if (m_pdftotext.isEmpty() || m_pdfinfo.isEmpty())
            QSKIP("pdftotext and pdfinfo (poppler-utils) are needed");
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("report.pdf"));
        const Status status = WriteReportPdf(path, kAll, kStamp, rows(records));
        QVERIFY2(status.ok(), qPrintable(status.message()));

        const QRegularExpression pagesLine(QStringLiteral("^Pages:\\s+(\\d+)$"),
                                           QRegularExpression::MultilineOption);
        const auto info = pagesLine.match(run(m_pdfinfo, {path}));
        QVERIFY(info.hasMatch());
        QCOMPARE(info.captured(1).toInt(), pages);

        const QString text =
            run(m_pdftotext, {QStringLiteral("-layout"), path, QStringLiteral("-")});
        for (const char *word : {"Quillstack", "ID", "Description", "Type", "Date", "Who"})
            QVERIFY2(text.contains(QLatin1String(word)), word);
        for (int page = 1; page <= pages; ++page)
            QVERIFY(text.contains(QStringLiteral("Page: %1").arg(page)));
        for (int i = 0; i < records; ++i) {
            const ReportRow row = sampleRow(i);
            QStringList cells{QString::number(*row.id), row.description, row.type,
                              fnReportDate(row.date), row.who};
            for (QString &cell : cells)
                cell = QRegularExpression::escape(cell);
            QVERIFY2(text.contains(QRegularExpression(cells.join(QStringLiteral("\\s+")))),
                     qPrintable(row.description));
        }
        // The last page carries the last record, not only a heading.
        const QString n = QString::number(pages);
        const QString last = run(m_pdftotext, {"-layout", "-f", n, "-l", n, path, "-"});
        QVERIFY(last.contains(sampleRow(records - 1).description));
    }

    void pdfUnwritablePath()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("missing/report.pdf"));
        const Status status = WriteReportPdf(path, {}, kStamp, rows(3));
        QVERIFY(!status.ok());
        QVERIFY(status.message().contains(path));
    }

    void pdfFailureKeepsEarlierFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("report.pdf"));
        {
            QFile earlier(path);
            QVERIFY(earlier.open(QIODevice::WriteOnly) && earlier.write("earlier") == 7);
        }
        int produced = 0;
        const ReportRowSource failing = [&](ReportRow &row) {
            if (produced == 70)
                throw ReportError(QStringLiteral("The records could not be read."));
            row = sampleRow(produced++);
            return true;
        };
        const Status status = WriteReportPdf(path, kAll, kStamp, failing);
        QCOMPARE(status.message(), QStringLiteral("The records could not be read."));
        QFile kept(path);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("earlier"));
    }
};

QTEST_MAIN(TestReportPdf)
#include "tst_reportpdf.moc"
