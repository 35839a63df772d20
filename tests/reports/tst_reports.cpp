// The table writer on the recording surface (exact widths at 10 points: digits 110, small
// letters 100, "…" 90 twips; lines 240 twips), the document report, and its PDF file.
#include "reports/DocumentReport.h"
#include "reports/PainterSurface.h"
#include "reports/RecordingSurface.h"
#include "reports/ReportPdf.h"
#include "reports/modReports.h"
#include "support/PdfText.h"
#include "support/TestSupport.h"

#include <QFontInfo>
#include <QRegularExpression>

#include <cmath>

Q_DECLARE_METATYPE(qs::ReportColumns)

using namespace qs;

namespace {

const QString kStamp = QStringLiteral("1/2/2026 9:30 AM");
const ReportColumns kAll{true, true, true};

struct Writer
{
    explicit Writer(double pageWidth = 12240) : surface(pageWidth)
    {
        writer.StartReport(QStringLiteral("Portrait"), surface);
    }
    // Defines slots 1, 2, ... with the given widths, in that order, and lays them out.
    void define(const QList<int> &widths, bool fill = true)
    {
        for (qsizetype i = 0; i < widths.size(); ++i)
            writer.DefineColumn(int(i) + 1, widths[i]);
        writer.LayoutColumns(fill);
    }
    double edge(int slot, bool right) const
    {
        const ColumnDef &c = writer.Column(slot);
        const double sample = writer.fnSampleWidth(c.Width, c.RightAligned);
        return c.Position + (c.RightAligned ? (right ? 0 : -sample) : (right ? sample : 0));
    }
    // Where a text ends when `right`, else where it starts.
    double at(const RecordedText &t, bool right) const
    {
        return right ? t.x + surface.textWidth(t.text) : t.x;
    }
    RecordingSurface surface;
    modReports writer;
};

ReportRow sampleRow(int i)
{
    return {1000 + i, QStringLiteral("Deed %1 of the mill").arg(i, 3, 10, QLatin1Char('0')),
            QStringLiteral("Invoice"), QDate(2000, 1, 1 + i % 28), QStringLiteral("Holder")};
}

// `count` records; a record without a number when `numbered` is false; a read failure at `failAt`.
ReportRowSource rows(int count, bool numbered = true, int failAt = -1)
{
    return [=, produced = 0](ReportRow &row) mutable {
        if (produced == failAt)
            throw ReportError(QStringLiteral("The records could not be read."));
        if (produced >= count)
            return false;
        row = sampleRow(produced++);
        if (!numbered)
            row.id.reset();
        return true;
    };
}

// Records on a page: the heading takes six lines and the page is full past 93 per cent.
int rowsPerPage(double pageHeight, double line)
{
    return int(std::floor((0.93 * pageHeight - 720 - 6 * line) / line)) + 1;
}

} // namespace

class TestReports : public QObject
{
    Q_OBJECT

    const int m_perPage = rowsPerPage(15840, 240);

private slots:
    void fontRules_data()
    {
        QTest::addColumn<QString>("initialName");
        QTest::addColumn<double>("initialSize");
        QTest::addColumn<double>("givenSize"); // 0: none given
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("size");
        QTest::newRow("Arial 10 untouched") << "Arial" << 10.0 << 0.0 << "Arial" << 10.0;
        QTest::newRow("other font") << "Courier New" << 14.25 << 0.0 << "Arial" << 10.0;
        QTest::newRow("blanks and case kept") << "aRiAL  " << 10.0 << 0.0 << "aRiAL  " << 10.0;
        QTest::newRow("size change renames") << "arial " << 11.25 << 0.0 << "Arial" << 10.0;
        QTest::newRow("given size") << "Arial" << 10.0 << 12.5 << "Arial" << 12.5;
    }
    void fontRules()
    {
        QFETCH(QString, initialName);
        QFETCH(double, initialSize);
        QFETCH(double, givenSize);
        RecordingSurface surface;
        surface.setFontName(initialName);
        surface.setFontSize(initialSize);
        modReports writer;
        writer.StartReport(QStringLiteral("Portrait"), surface,
                           givenSize > 0 ? std::optional<float>(float(givenSize)) : std::nullopt);
        QTEST(surface.fontName(), "name");
        QTEST(surface.fontSize(), "size");
    }

    // Columns {-6, 10, -6, 10} span 3875-4535, 4925-5925, 6315-6975 and 7365-8365 (gap 390);
    // the margins are at 720 and 11520. A cell is cut where its neighbour begins. Only a
    // right-aligned cell prints the "$", one digit left of its widest number; the emphasis
    // is for that cell alone.
    void cells_data()
    {
        QTest::addColumn<int>("slot");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("printed");
        const QString e(QChar(0x2026));
        const QString num = QString("1234567890").repeated(4);
        const QString d10(10, 'd');
        QTest::newRow("right number") << 1 << QVariant(4711) << "4711";
        QTest::newRow("right null") << 1 << QVariant() << "";
        QTest::newRow("right leading blanks kept") << 3 << QVariant("  42   ") << "  42";
        QTest::newRow("left exactly its width") << 2 << QVariant(d10 + "   ") << d10;
        QTest::newRow("left cut") << 2 << QVariant(d10 + "d") << QString(9, 'd') + e;
        QTest::newRow("last to the margin") << 4 << QVariant(QString(41, 'd')) << QString(41, 'd');
        QTest::newRow("last cut at the margin")
            << 4 << QVariant(QString(50, 'd')) << QString(40, 'd') + e;
        QTest::newRow("right cut after the previous") << 3 << QVariant("12345678") << e + "45678";
        QTest::newRow("first right to the margin") << 1 << QVariant(num.left(34)) << num.left(34);
        QTest::newRow("first right cut at the margin") << 1 << QVariant(num) << e + num.right(33);
        QTest::newRow("surrogate pair kept whole")
            << 2 << QVariant(QString(8, 'd') + QString::fromUtf8("\xF0\x9F\x93\x84") + "dd")
            << QString(8, 'd') + e;
        QTest::newRow("right currency, bold") << 1 << QVariant("12.5") << "$|12.5";
        QTest::newRow("left ignores currency, bold") << 2 << QVariant("12.5") << "12.5";
    }
    void cells()
    {
        QFETCH(int, slot);
        QFETCH(QVariant, value);
        const bool bold = QByteArray(QTest::currentDataTag()).endsWith("bold");
        Writer w;
        w.define({-6, 10, -6, 10});
        w.writer.PrintCell(slot, value, bold, bold);
        QStringList printed;
        for (const RecordedText &t : w.surface.texts())
            printed << t.text;
        QTEST(printed.join('|'), "printed");
        const RecordedText &t = w.surface.texts().back();
        const bool right = w.writer.Column(slot).RightAligned;
        QCOMPARE(w.at(t, right), w.edge(slot, right));
        QCOMPARE(t.bold, bold);
        QVERIFY(!w.surface.fontBold());
        if (printed.size() > 1)
            QCOMPARE(w.surface.texts().front().x, w.edge(slot, true) - 7 * 110);
    }

    // Columns go in the order they were defined, even when redefinitions number them past 40;
    // a redefinition forgets the old alignment and headers, and a new report every column.
    void definitionOrder()
    {
        Writer w;
        w.writer.DefineColumn(40, -6, {"Top", "Middle", "Bottom"});
        for (int slot : {7, 19, 2})
            w.writer.DefineColumn(slot, 10);
        for (int i = 0; i < 45; ++i)
            w.writer.DefineColumn(40, 8, {"Again"});
        w.writer.LayoutColumns();
        const ColumnDef &c = w.writer.Column(40);
        QCOMPARE(c.Sequence, qint16(49));
        QCOMPARE(w.writer.columnsDefined(), qint16(49));
        QVERIFY(!c.RightAligned);
        QCOMPARE(QStringList(c.Header.begin(), c.Header.end()), QStringList({"", "", "", "Again"}));
        QVERIFY(w.edge(7, false) >= w.surface.marginLeft());
        QVERIFY(w.edge(19, false) > w.edge(7, true));
        QVERIFY(w.edge(2, false) > w.edge(19, true));
        QVERIFY(w.edge(40, false) > w.edge(2, true));
        w.writer.StartReport(QStringLiteral("Portrait"), w.surface);
        QCOMPARE(w.writer.columnsDefined(), qint16(0));
        QCOMPARE(w.writer.Column(40).Width, qint16(0));
        QCOMPARE(w.writer.Column(40).Header[3], QString());
    }

    // Widths at 10 points: "x" 100, "0" 110, "XXX" 390 twips.
    void layout_data()
    {
        QTest::addColumn<double>("pageWidth");
        QTest::addColumn<QList<int>>("widths"); // slots 1, 2, ... in that order
        QTest::addColumn<bool>("fill");
        QTest::addColumn<QList<int>>("positions");
        const double W = 12240;
        QTest::newRow("over three quarters spans the margins")
            << W << QList<int>{40, 40, 10} << true << QList<int>{720, 5620, 10520};
        QTest::newRow("fill centres with the XXX gap")
            << W << QList<int>{10, 10} << true << QList<int>{4925, 6315};
        QTest::newRow("fill centres right-aligned")
            << W << QList<int>{-6, 32} << true << QList<int>{4655, 5045};
        QTest::newRow("fill with a gap narrower than XXX")
            << W << QList<int>(8, 10) << true
            << QList<int>{1032, 2343, 3654, 4965, 6277, 7588, 8899, 10210};
        QTest::newRow("no fill reduces the gap to a fifteenth")
            << W << QList<int>{10, 10} << false << QList<int>{4760, 6480};
        QTest::newRow("no fill keeps a narrower gap")
            << W << QList<int>(5, 15) << false << QList<int>{1271, 3321, 5371, 7421, 9471};
        QTest::newRow("one column, odd spare drops the half")
            << W + 1 << QList<int>{20} << true << QList<int>{5120};
        QTest::newRow("one right-aligned column")
            << W << QList<int>{-6} << true << QList<int>{6450};
    }
    void layout()
    {
        QFETCH(double, pageWidth);
        QFETCH(QList<int>, widths);
        QFETCH(bool, fill);
        Writer w(pageWidth);
        w.define(widths, fill);
        QList<int> actual;
        for (qsizetype i = 0; i < widths.size(); ++i)
            actual << w.writer.Column(int(i) + 1).Position;
        QTEST(actual, "positions");
    }

    // On a landscape page: the title line after a blank line, then header texts from line 3
    // upwards, only line 3 underlined, and a blank line. The page is full past 93 per cent.
    void heading()
    {
        Writer w(15840);
        const double top = w.surface.currentY();
        w.writer.PrintTitleLine("1/2/2026", "Quillstack", "Page: 7");
        w.writer.DefineColumn(5, -8, {"Date", "Added"});
        w.writer.DefineColumn(6, 4, {"A", "B", "C"});
        w.writer.LayoutColumns();
        w.writer.PrintHeaders();
        QCOMPARE(w.surface.currentY(), top + 6 * 240);
        QVERIFY(!w.surface.fontUnderline());
        QStringList found;
        for (const RecordedText &t : w.surface.visibleTexts()) {
            const int line = int(t.y - top) / 240;
            QCOMPARE(t.underline, line == 4);
            found << QStringLiteral("%1 %2 %3").arg(line).arg(t.text).arg(t.x);
        }
        QCOMPARE(found,
                 QStringList({"1 1/2/2026 720", "1 Quillstack 7410", "1 Page: 7 14445", "2 A 8355",
                              "3 Date 7545", "3 B 8355", "4 Added 7445", "4 C 8355"}));
        w.surface.setCurrentY(0.93 * 15840);
        QVERIFY(!w.writer.fnNeedPageBreak());
        w.surface.setCurrentY(std::nextafter(0.93 * 15840, 1e9));
        QVERIFY(w.writer.fnNeedPageBreak());
    }

    void rejected_data()
    {
        QTest::addColumn<int>("slot");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("headers");
        QTest::newRow("slot below 0") << -1 << 10 << 1;
        QTest::newRow("slot above 40") << 41 << 10 << 1;
        QTest::newRow("reserved slot 0") << 0 << 10 << 1;
        QTest::newRow("width beyond 16 bits") << 1 << 40000 << 1;
        QTest::newRow("negative width without a positive twin") << 1 << -32768 << 1;
        QTest::newRow("four headers") << 1 << 10 << 4;
    }
    void rejected()
    {
        QFETCH(int, slot);
        QFETCH(int, width);
        QFETCH(int, headers);
        Writer w;
        QVERIFY_THROWS_EXCEPTION(ReportError,
                                 w.writer.DefineColumn(slot, width, QStringList(headers, "h")));
        QCOMPARE(w.writer.columnsDefined(), qint16(0));
        QCOMPARE(w.writer.Column(0).Width, qint16(0));
        QVERIFY_THROWS_EXCEPTION(ReportError, w.writer.PrintCell(slot < 0 ? -1 : 41, "v"));
        for (int at : {0, 17}) { // slot 0 and an undefined slot print at 0
            w.writer.PrintCell(at, QVariant("v"));
            QCOMPARE(w.surface.texts().back().x, 0.0);
        }
        modReports unstarted;
        QVERIFY_THROWS_EXCEPTION(ReportError, unstarted.LayoutColumns());
        QVERIFY_THROWS_EXCEPTION(ReportError, unstarted.NewLine());
    }

    // Page 1's underlined headers and first record line, and every page with its heading and at
    // least one record: the record that passed the threshold stays on its page.
    void report_data()
    {
        QTest::addColumn<ReportColumns>("chosen");
        QTest::addColumn<int>("records"); // negative: that many, without numbers
        QTest::addColumn<int>("stopAt");  // the page whose start cancels the run; 0: none
        QTest::addColumn<int>("pages");
        QTest::addColumn<QString>("headers");
        QTest::addColumn<QString>("cells");
        const int k = m_perPage;
        const QString all = "ID|Description|Type|Date|Who";
        const QString full = "1000|Deed 000 of the mill|Invoice|1/1/2000|Holder";
        QTest::newRow("Date only")
            << ReportColumns{false, true, false} << 1 << 0 << 1 << "ID|Description|Date"
            << "1000|Deed 000 of the mill|1/1/2000";
        QTest::newRow("no ID: an empty cell") << ReportColumns{} << -1 << 0 << 1 << "ID|Description"
                                              << "Deed 000 of the mill";
        QTest::newRow("no records") << kAll << 0 << 0 << 1 << all << "";
        QTest::newRow("exactly a page: no heading-only page") << kAll << k << 0 << 1 << all << full;
        QTest::newRow("one over") << kAll << k + 1 << 0 << 2 << all << full;
        QTest::newRow("exactly two pages") << kAll << 2 * k << 0 << 2 << all << full;
        QTest::newRow("two pages and one") << kAll << 2 * k + 1 << 0 << 3 << all << full;
        QTest::newRow("cancelled on page 2") << kAll << 3 * k << 2 << 1 << all << full;
    }
    void report()
    {
        QFETCH(ReportColumns, chosen);
        QFETCH(int, records);
        QFETCH(int, stopAt);
        QFETCH(int, pages);
        RecordingSurface surface;
        surface.setPreview(false);
        const auto started = [stopAt](int page) { return page != stopAt; };
        QCOMPARE(PrintDocumentReport(surface, chosen, kStamp, rows(std::abs(records), records > 0),
                                     started),
                 stopAt ? ReportEnd::Cancelled : ReportEnd::Complete);
        QVERIFY(surface.preview());
        QCOMPARE(surface.currentPage(), pages + (stopAt ? 1 : 0));
        QCOMPARE(surface.log().count(QStringLiteral("newPage")), pages - 1 + (stopAt ? 1 : 0));
        QCOMPARE(surface.log().last(), QStringLiteral("endDoc"));
        QStringList underlined, firstRow;
        QList<int> recordsOnPage(pages + 1, 0), headingsOnPage(pages + 1, 0);
        for (const RecordedText &t : surface.visibleTexts()) {
            QVERIFY(t.page <= pages);
            if (t.page == 1 && t.underline)
                underlined << t.text;
            if (t.page == 1 && t.y == 720 + 6 * 240)
                firstRow << t.text;
            if (t.text == QStringLiteral("Page: %1").arg(t.page))
                ++headingsOnPage[t.page];
            bool isId = false;
            const int index = t.text.toInt(&isId) - 1000;
            if (isId && index >= 0) {
                QCOMPARE(t.page, index / m_perPage + 1);
                QCOMPARE(t.y, 720 + (6 + index % m_perPage) * 240.0);
                ++recordsOnPage[t.page];
            }
        }
        QTEST(underlined.join('|'), "headers");
        QTEST(firstRow.join('|'), "cells");
        QCOMPARE(surface.visibleTexts().front().text, kStamp);
        for (int page = 1; page <= pages; ++page)
            QVERIFY(headingsOnPage[page] == 1 && (records <= 0 || recordsOnPage[page] > 0));
    }

    // Two full pages of a real PDF file: the page count agrees with the real line height and
    // every record is there; a failure part-way keeps the file that was there before.
    void pdfFile()
    {
        PainterSurface surface;
        surface.setFontSize(10);
        const QString family = QFontInfo(QFont(QStringLiteral("Arial"))).family();
        if (family == QStringLiteral("Arial") || family == QStringLiteral("Liberation Sans"))
            QVERIFY(std::abs(surface.textWidth("000000") - 6 * 1139.0 / 2048 * 200) < 0.5);
        surface.startDoc();
        const double top = surface.currentY();
        surface.lineEnd();
        const int k = rowsPerPage(surface.pageHeight(), surface.currentY() - top);
        surface.endDoc();
        test::TestFolder folder(false);
        const QString path = folder.file(QStringLiteral("report.pdf"));
        const Status status = WriteReportPdf(path, kAll, kStamp, rows(2 * k));
        QVERIFY2(status.ok(), qPrintable(status.message()));
        QCOMPARE(test::pdfPages(path), 2);
        const QString text = test::pdfText(path);
        QVERIFY(text.contains("Page: 1") && text.contains("Page: 2"));
        for (int i = 0; i < 2 * k; ++i) {
            const ReportRow row = sampleRow(i);
            const QStringList cells{QString::number(*row.id), row.description, row.type,
                                    fnReportDate(row.date), row.who};
            QVERIFY2(text.contains(QRegularExpression(cells.join("\\s+"))), qPrintable(cells[0]));
        }
        const QByteArray before = test::readFile(path);
        QCOMPARE(WriteReportPdf(path, kAll, kStamp, rows(2 * k, true, 70)).message(),
                 QStringLiteral("The records could not be read."));
        QCOMPARE(test::readFile(path), before);
        QCOMPARE(fnReportDate({}), QString());
        QCOMPARE(fnReportDate(QDate(812, 12, 31)), QStringLiteral("12/31/0812"));
    }
};

QTEST_MAIN(TestReports)
#include "tst_reports.moc"
