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

#include <cmath>

using namespace qs;
using Ints = QList<int>;

namespace {

const QString kStamp = QStringLiteral("1/2/2026 9:30 AM");
const ReportColumns kAll{true, true, true};
const QString kDeed = QStringLiteral("Deed 000 of the mill");

struct Writer
{
    explicit Writer(double pageWidth = 12240) : surface(pageWidth)
    {
        writer.StartReport(QStringLiteral("Portrait"), surface);
    }
    // Defines slots 1, 2, ... with the given widths, in that order, and lays them out.
    void define(const Ints &widths)
    {
        for (qsizetype i = 0; i < widths.size(); ++i)
            writer.DefineColumn(int(i) + 1, widths[i]);
        writer.LayoutColumns();
    }
    RecordingSurface surface;
    modReports writer;
};

// `count` records, without numbers when `count` is negative.
ReportRowSource rows(int count)
{
    return [=, i = 0](ReportRow &row) mutable {
        row = {1000 + i, QStringLiteral("Deed %1 of the mill").arg(i, 3, 10, QLatin1Char('0')),
               "Invoice", QDate(2000, 1, 1 + i % 28), "Holder"};
        if (count < 0)
            row.id.reset();
        return i++ < std::abs(count);
    };
}

} // namespace

class TestReports : public QObject
{
    Q_OBJECT

    // Records on a page: the heading takes six lines and the page is full past 93 per cent
    // (14731 of 15840 twips), so the record that passes it is the 53rd.
    const int m_perPage = 53;

private slots:
    // Any font but Arial (letter case and outer blanks aside) becomes Arial, and so does one
    // whose size changes to the report's 10 points.
    void fontRules_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<double>("size");
        QTest::addColumn<QString>("after");
        QTest::newRow("other font") << "Courier New" << 14.25 << "Arial";
        QTest::newRow("blanks and case kept") << "aRiAL  " << 10.0 << "aRiAL  ";
        QTest::newRow("size change renames") << "arial " << 11.25 << "Arial";
    }
    void fontRules()
    {
        QFETCH(QString, before);
        QFETCH(double, size);
        RecordingSurface surface;
        surface.setFontName(before);
        surface.setFontSize(size);
        modReports().StartReport("Portrait", surface);
        QTEST(surface.fontName(), "after");
        QCOMPARE(surface.fontSize(), 10.0);
    }

    // Columns {-6, 10, -6, 10} span 3875-4535, 4925-5925, 6315-6975 and 7365-8365 (gap 390);
    // the margins are at 720 and 11520. A cell is cut where its neighbour begins, with "…" at
    // the cut. Only a right-aligned cell prints the "$", one digit left of its widest number;
    // the emphasis is for that cell alone.
    void cells_data()
    {
        QTest::addColumn<int>("slot");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("printed");
        const QString e(QChar(0x2026)), num = QString("1234567890").repeated(4), d10(10, 'd'),
                                        d8(8, 'd');
        QTest::newRow("right, leading blanks kept") << 3 << QString("  42   ") << "  42";
        QTest::newRow("left, exactly its width") << 2 << d10 + "   " << d10;
        QTest::newRow("left, cut") << 2 << d10 + "d" << d8 + "d" + e;
        QTest::newRow("last, to the margin") << 4 << QString(41, 'd') << QString(41, 'd');
        QTest::newRow("last, cut at it") << 4 << QString(50, 'd') << QString(40, 'd') + e;
        QTest::newRow("right, cut after the previous") << 3 << QString("12345678") << e + "45678";
        QTest::newRow("first right, to the margin") << 1 << num.left(34) << num.left(34);
        QTest::newRow("first right, cut at it") << 1 << num << e + num.right(33);
        QTest::newRow("pair kept whole")
            << 2 << d8 + QString::fromUtf8("\xF0\x9F\x93\x84") + "dd" << d8 + e;
        QTest::newRow("right currency, bold") << 1 << QString("12.5") << "$|12.5";
        QTest::newRow("left ignores currency, bold") << 2 << QString("12.5") << "12.5";
    }
    void cells()
    {
        QFETCH(int, slot);
        QFETCH(QString, value);
        const bool bold = QByteArray(QTest::currentDataTag()).endsWith("bold");
        Writer w;
        w.define({-6, 10, -6, 10});
        w.writer.PrintCell(slot, value, bold, bold);
        QStringList printed;
        for (const RecordedText &t : w.surface.texts())
            printed << t.text;
        QTEST(printed.join('|'), "printed");
        const RecordedText &t = w.surface.texts().back();
        const ColumnDef &c = w.writer.Column(slot);
        QCOMPARE(c.RightAligned ? t.x + w.surface.textWidth(t.text) : t.x, c.Position);
        QVERIFY(t.bold == bold && !w.surface.fontBold());
        if (printed.size() > 1)
            QCOMPARE(w.surface.texts().front().x, c.Position - 7 * 110);
    }

    // Columns go in the order they were defined, even when redefinitions number them past 40;
    // a redefinition forgets the old alignment and headers.
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
        QVERIFY(c.Sequence == 49 && w.writer.columnsDefined() == 49 && !c.RightAligned);
        QCOMPARE(QStringList(c.Header.begin(), c.Header.end()), QStringList({"", "", "", "Again"}));
        Ints positions;
        for (int slot : {7, 19, 2, 40})
            positions << w.writer.Column(slot).Position;
        QCOMPARE(positions, (Ints{3635, 5025, 6415, 7805}));
    }

    // Widths at 10 points: "x" 100, "0" 110, "XXX" 390 twips.
    void layout_data()
    {
        QTest::addColumn<Ints>("widths"); // slots 1, 2, ... in that order
        QTest::addColumn<Ints>("positions");
        QTest::newRow("over 3/4 spans the margins") << Ints{40, 40, 10} << Ints{720, 5620, 10520};
        QTest::newRow("fill centres with the XXX gap") << Ints{10, 10} << Ints{4925, 6315};
        QTest::newRow("fill centres right-aligned") << Ints{-6, 32} << Ints{4655, 5045};
        QTest::newRow("fill, gap narrower than XXX")
            << Ints(8, 10) << Ints{1032, 2343, 3654, 4965, 6277, 7588, 8899, 10210};
        QTest::newRow("one column") << Ints{20} << Ints{5120};
        QTest::newRow("one right-aligned column") << Ints{-6} << Ints{6450};
    }
    void layout()
    {
        QFETCH(Ints, widths);
        Writer w;
        w.define(widths);
        Ints actual;
        for (qsizetype i = 0; i < widths.size(); ++i)
            actual << w.writer.Column(int(i) + 1).Position;
        QTEST(actual, "positions");
    }

    // A landscape title line after a blank line; the page is full once past 93 per cent. Bad
    // definitions (slot, width, header count) keep nothing.
    void titleAndRejected()
    {
        Writer w(15840);
        w.writer.PrintTitleLine("A", "Quillstack", "Page: 7");
        QStringList found;
        for (const RecordedText &t : w.surface.visibleTexts())
            found << QStringLiteral("%1 %2 %3").arg(t.y).arg(t.x).arg(t.text);
        QCOMPARE(found, QStringList({"960 720 A", "960 7410 Quillstack", "960 14445 Page: 7"}));
        QCOMPARE(w.surface.currentY(), 1200.0);
        QCOMPARE(w.writer.fnPageWidth(), 15840.0);
        w.surface.setCurrentY(0.93 * 15840);
        QVERIFY(!w.writer.fnNeedPageBreak());
        w.surface.setCurrentY(std::nextafter(0.93 * 15840, 1e9));
        QVERIFY(w.writer.fnNeedPageBreak());
        const int bad[][3] = {{-1, 10, 1},   {41, 10, 1},    {0, 10, 1},
                              {1, 40000, 1}, {1, -32768, 1}, {1, 10, 4}};
        for (const auto &[slot, width, headers] : bad) {
            QVERIFY_THROWS_EXCEPTION(ReportError,
                                     w.writer.DefineColumn(slot, width, QStringList(headers, "h")));
            QVERIFY(w.writer.columnsDefined() == 0 && w.writer.Column(0).Width == 0);
        }
    }

    // Page 1's underlined headers and first record line, every page's heading, and where each
    // record goes; no page holds only its heading.
    void report_data()
    {
        QTest::addColumn<QString>("columns"); // Type, Date, Who
        QTest::addColumn<int>("records");     // negative: that many, without numbers
        QTest::addColumn<int>("stopAt");      // the page whose start cancels the run; 0: none
        QTest::addColumn<int>("pages");
        QTest::addColumn<QString>("page1"); // headers / first record line
        const QString all = "ID|Description|Type|Date|Who / ";
        const QString full = all + "1000|" + kDeed + "|Invoice|1/1/2000|Holder";
        QTest::newRow("Date only")
            << "D" << 1 << 0 << 1 << "ID|Description|Date / 1000|" + kDeed + "|1/1/2000";
        QTest::newRow("no ID: an empty cell") << "" << -1 << 0 << 1 << "ID|Description / " + kDeed;
        QTest::newRow("no records") << "TDW" << 0 << 0 << 1 << all;
        QTest::newRow("exactly a page") << "TDW" << m_perPage << 0 << 1 << full;
        QTest::newRow("one over") << "TDW" << m_perPage + 1 << 0 << 2 << full;
        QTest::newRow("cancelled on page 2") << "TDW" << 3 * m_perPage << 2 << 1 << full;
    }
    void report()
    {
        QFETCH(QString, columns);
        QFETCH(int, records);
        QFETCH(int, stopAt);
        QFETCH(int, pages);
        RecordingSurface surface;
        const auto started = [stopAt](int page) { return page != stopAt; };
        const ReportColumns chosen{columns.contains('T'), columns.contains('D'),
                                   columns.contains('W')};
        QCOMPARE(PrintDocumentReport(surface, chosen, kStamp, rows(records), started),
                 stopAt ? ReportEnd::Cancelled : ReportEnd::Complete);
        QCOMPARE(surface.currentPage(), pages + (stopAt ? 1 : 0));
        QStringList underlined, firstRow;
        int headings = 0;
        for (const RecordedText &t : surface.visibleTexts()) {
            if (t.page == 1)
                (t.underline ? underlined : firstRow) << t.text;
            headings += t.text == QStringLiteral("Page: %1").arg(t.page);
            const int index = t.text.toInt() - 1000; // other texts read as 0
            if (index >= 0) { // the record that passed the threshold stays on its page
                QCOMPARE(t.page, index / m_perPage + 1);
                QCOMPARE(t.y, 720 + (6 + index % m_perPage) * 240.0);
            }
        }
        QCOMPARE(headings, pages);
        QCOMPARE(firstRow.mid(0, 3), (QStringList{kStamp, "Quillstack", "Page: 1"}));
        QTEST(underlined.join('|') + " / " + firstRow.mid(3, underlined.size()).join('|'), "page1");
    }

    // Two full pages of a real PDF file: the page count agrees with the real line height and
    // Arial's measure; a failure part-way keeps the file that was there before.
    void pdfFile()
    {
        PainterSurface surface;
        surface.setFontSize(10);
        const QString family = QFontInfo(QFont(QStringLiteral("Arial"))).family();
        if (family == QStringLiteral("Arial") || family == QStringLiteral("Liberation Sans"))
            QVERIFY(std::abs(surface.textWidth("000000") - 6 * 1139.0 / 2048 * 200) < 0.5);
        surface.setMarginTop(720);
        surface.startDoc();
        surface.lineEnd();
        const double line = surface.currentY() - 720;
        const int k = int((0.93 * surface.pageHeight() - 720 - 6 * line) / line) + 1;
        surface.endDoc();
        const test::TestFolder folder(false); // made the current one
        const QString path = "report.pdf";
        QVERIFY(WriteReportPdf(path, kAll, kStamp, rows(2 * k)).ok());
        QCOMPARE(test::pdfPages(path), 2);
        QVERIFY(test::pdfText(path).contains(QStringLiteral("Deed %1 of the mill").arg(2 * k - 1)));
        const QByteArray before = test::readFile(path);
        const auto failing = [](ReportRow &) -> bool { throw ReportError("Not read."); };
        QCOMPARE(WriteReportPdf(path, kAll, kStamp, failing).message(), QString("Not read."));
        QCOMPARE(test::readFile(path), before);
        QCOMPARE(fnReportDate({}), QString());
    }
};

QTEST_MAIN(TestReports)
#include "tst_reports.moc"
