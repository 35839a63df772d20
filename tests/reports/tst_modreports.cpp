#include "reports/RecordingSurface.h"
#include "reports/modReports.h"

#include <QTest>

#include <cmath>

using namespace qs;

namespace {

// Letter: 12240 twips wide; after the half-inch margins 10800 twips are printable.
constexpr double kLetterWidth = 12240;
constexpr double kLetterHeight = 15840;

struct Writer
{
    explicit Writer(double pageWidth = kLetterWidth, double pageHeight = kLetterHeight)
        : surface(pageWidth, pageHeight)
    {
        writer.StartReport(QStringLiteral("Portrait"), surface);
        surface.clearLog();
    }
    // Defines slots 1, 2, ... with the given widths, in that order, and lays them out.
    void define(const QList<int> &widths, bool fill = true)
    {
        for (qsizetype i = 0; i < widths.size(); ++i)
            writer.DefineColumn(int(i) + 1, widths[i]);
        writer.LayoutColumns(fill);
    }
    double rightEdge(int slot) const
    {
        const ColumnDef &c = writer.Column(slot);
        return c.RightAligned ? c.Position : c.Position + writer.fnSampleWidth(c.Width, false);
    }
    double leftEdge(int slot) const
    {
        const ColumnDef &c = writer.Column(slot);
        return c.RightAligned ? c.Position - writer.fnSampleWidth(c.Width, true) : c.Position;
    }

    RecordingSurface surface;
    modReports writer;
};

} // namespace

class TestModReports : public QObject
{
    Q_OBJECT

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
        QTest::newRow("trailing blanks kept") << "Arial  " << 10.0 << 0.0 << "Arial  " << 10.0;
        QTest::newRow("letter case kept") << "aRiAL" << 10.0 << 0.0 << "aRiAL" << 10.0;
        QTest::newRow("size change renames") << "arial " << 11.25 << 0.0 << "Arial" << 10.0;
        QTest::newRow("given size") << "Arial" << 10.0 << 12.5 << "Arial" << 12.5;
        QTest::newRow("given size already set") << "ARIAL" << 8.0 << 8.0 << "ARIAL" << 8.0;
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

    void startReportForgetsColumns()
    {
        Writer w;
        w.writer.DefineColumn(3, 10, {"Kept?"});
        w.writer.StartReport(QStringLiteral("Portrait"), w.surface);
        QCOMPARE(w.writer.columnsDefined(), qint16(0));
        QCOMPARE(w.writer.Column(3).Width, qint16(0));
        QCOMPARE(w.writer.Column(3).Header[3], QString());
    }

    void sampleWidth()
    {
        Writer w;
        QCOMPARE(w.writer.fnSampleWidth(6, true), float(w.surface.textWidth("000000")));
        QCOMPARE(w.writer.fnSampleWidth(32, false), float(w.surface.textWidth(QString(32, u'x'))));
        QCOMPARE(w.writer.fnSampleWidth(0, false), 0.0f);
    }

    // Column 1 is right-aligned (-6) and ends at its Position; column 2 (32) starts there.
    void cellText_data()
    {
        QTest::addColumn<int>("slot");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("printed");
        QTest::newRow("right number") << 1 << QVariant(4711) << "4711";
        QTest::newRow("right full width") << 1 << QVariant("999999") << "999999";
        QTest::newRow("right trailing blanks dropped") << 1 << QVariant("42   ") << "42";
        QTest::newRow("right leading blanks kept") << 1 << QVariant("  42") << "  42";
        QTest::newRow("right null") << 1 << QVariant() << "";
        QTest::newRow("left trailing blanks dropped") << 2 << QVariant("  Lease  ") << "  Lease";
        QTest::newRow("left null string") << 2 << QVariant(QString()) << "";
    }

    void cellText()
    {
        QFETCH(int, slot);
        QFETCH(QVariant, value);
        QFETCH(QString, printed);
        Writer w;
        w.define({-6, 32});
        w.writer.PrintCell(slot, value);
        QCOMPARE(w.surface.texts().size(), size_t(1));
        const RecordedText &t = w.surface.texts().front();
        QCOMPARE(t.text, printed);
        const ColumnDef &c = w.writer.Column(slot);
        QCOMPARE(c.RightAligned ? t.x + w.surface.textWidth(printed) : t.x, double(c.Position));
    }

    // Columns {-6, 10, -6, 10} at 10 points: digits 110, small letters 100, "…" 90 twips. The
    // gap is 390; the columns span 3875-4535, 4925-5925, 6315-6975 and 7365-8365, and the right
    // margin is at 11520.
    void cellCut_data()
    {
        QTest::addColumn<int>("slot");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("printed");
        const QString e(QChar(0x2026));
        const QString digits40 = QString("1234567890").repeated(4);
        QTest::newRow("left, exactly its width") << 2 << QString(10, 'd') << QString(10, 'd');
        QTest::newRow("left, cut before the next column")
            << 2 << QString(11, 'd') << QString(9, 'd') + e;
        QTest::newRow("left, trailing blanks dropped first")
            << 2 << QString(10, 'd') + "   " << QString(10, 'd');
        QTest::newRow("last, runs on to the right margin")
            << 4 << QString(41, 'd') << QString(41, 'd');
        QTest::newRow("last, cut at the right margin")
            << 4 << QString(50, 'd') << QString(40, 'd') + e;
        QTest::newRow("right, cut after the previous column") << 3 << "12345678" << e + "45678";
        QTest::newRow("first right, reaches the left margin")
            << 1 << digits40.left(34) << digits40.left(34);
        QTest::newRow("first right, cut at the left margin")
            << 1 << digits40 << e + digits40.right(33);
        QTest::newRow("surrogate pair kept whole")
            << 2 << QString(8, 'd') + QString::fromUtf8("\xF0\x9F\x93\x84") + "dd"
            << QString(8, 'd') + e;
    }

    void cellCut()
    {
        QFETCH(int, slot);
        QFETCH(QString, value);
        Writer w;
        w.define({-6, 10, -6, 10});
        w.writer.PrintCell(slot, value);
        QCOMPARE(w.surface.texts().size(), size_t(1));
        QTEST(w.surface.texts().front().text, "printed");
    }

    // Columns are placed in the order they were defined, not by slot.
    void definitionOrder()
    {
        const QList<int> order{40, 7, 19, 2};
        Writer w;
        for (int slot : order)
            w.writer.DefineColumn(slot, 10);
        w.writer.LayoutColumns();
        for (qsizetype i = 1; i < order.size(); ++i)
            QVERIFY(w.leftEdge(order[i]) > w.rightEdge(order[i - 1]));
    }

    void redefinitionMovesToEnd()
    {
        Writer w;
        w.writer.DefineColumn(1, -6, {"Top", "Middle", "Bottom"});
        w.writer.DefineColumn(2, 10, {"Second"});
        w.writer.DefineColumn(3, 10, {"Third"});
        w.writer.DefineColumn(1, 8, {"Again"});
        w.writer.LayoutColumns();
        const ColumnDef &c = w.writer.Column(1);
        QCOMPARE(c.Sequence, qint16(4));
        QCOMPARE(w.writer.columnsDefined(), qint16(4));
        QVERIFY(!c.RightAligned);
        QCOMPARE(QStringList(c.Header.begin(), c.Header.end()), QStringList({"", "", "", "Again"}));
        QVERIFY(w.leftEdge(1) > w.rightEdge(3));
        QVERIFY(w.leftEdge(3) > w.rightEdge(2));
    }

    // Redefinitions number columns past 40; they must still be placed.
    void manyRedefinitionsStayPlaced()
    {
        Writer w;
        w.writer.DefineColumn(2, 10);
        for (int i = 0; i < 45; ++i)
            w.writer.DefineColumn(1, 10);
        w.writer.LayoutColumns();
        QCOMPARE(w.writer.Column(1).Sequence, qint16(46));
        QVERIFY(w.leftEdge(2) >= w.surface.marginLeft());
        QVERIFY(w.leftEdge(1) > w.rightEdge(2));
    }

    void headerLines_data()
    {
        QTest::addColumn<QStringList>("given");
        QTest::addColumn<QStringList>("lines"); // header lines 1 to 3
        QTest::addColumn<bool>("right");
        QTest::newRow("one text goes to line 3")
            << QStringList{"ID"} << QStringList{"", "", "ID"} << true;
        QTest::newRow("two texts")
            << QStringList{"Date", "Added"} << QStringList{"", "Date", "Added"} << false;
        QTest::newRow("three texts")
            << QStringList{"A", "B", "C"} << QStringList{"A", "B", "C"} << true;
        QTest::newRow("none") << QStringList{} << QStringList{"", "", ""} << false;
    }

    void headerLines()
    {
        QFETCH(QStringList, given);
        QFETCH(bool, right);
        Writer w;
        w.writer.DefineColumn(5, right ? -8 : 8, given);
        w.writer.DefineColumn(6, 4, {"Other"});
        w.writer.LayoutColumns();
        const double top = w.surface.currentY();
        w.writer.PrintHeaders();

        QCOMPARE(w.surface.currentY(), top + 4 * w.surface.lineHeight());
        QVERIFY(!w.surface.fontUnderline());
        QStringList found{"", "", ""};
        for (const RecordedText &t : w.surface.visibleTexts()) {
            const int line = int(std::lround((t.y - top) / w.surface.lineHeight())) + 1;
            QVERIFY(line >= 1 && line <= 3);
            QCOMPARE(t.underline, line == 3);
            if (t.text == "Other")
                continue;
            found[line - 1] = t.text;
            QCOMPARE(right ? t.x + w.surface.textWidth(t.text) : t.x,
                     double(w.writer.Column(5).Position));
        }
        QTEST(found, "lines");
    }

    void layout_data()
    {
        QTest::addColumn<double>("pageWidth");
        QTest::addColumn<QList<int>>("widths"); // slots 1, 2, ... in that order
        QTest::addColumn<bool>("fill");
        QTest::addColumn<QList<int>>("positions");
        // Widths at 10 points: "x" 100, "0" 110, "XXX" 390 twips.
        const double W = kLetterWidth;
        QTest::newRow("over three quarters spans the margins")
            << W << QList<int>{40, 40, 10} << true << QList<int>{720, 5620, 10520};
        QTest::newRow("over the width overlaps")
            << W << QList<int>{60, 60} << true << QList<int>{720, 5520};
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
        QTest::newRow("single column centred") << W << QList<int>{20} << true << QList<int>{5120};
        QTest::newRow("single column, odd spare drops the half")
            << W + 1 << QList<int>{20} << true << QList<int>{5120};
        QTest::newRow("single right-aligned column")
            << W << QList<int>{-6} << true << QList<int>{720 + 5070 + 660};
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

    // Only a right-aligned column prints the "$", and only when asked to.
    void currency_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<bool>("currency");
        QTest::addColumn<bool>("dollar");
        QTest::newRow("right with currency") << -6 << true << true;
        QTest::newRow("right without currency") << -6 << false << false;
        QTest::newRow("left ignores currency") << 6 << true << false;
    }

    void currency()
    {
        QFETCH(int, width);
        QFETCH(bool, currency);
        QFETCH(bool, dollar);
        Writer w;
        w.define({width, 10});
        w.writer.PrintCell(1, QVariant("12.50"), currency);
        const auto texts = w.surface.visibleTexts();
        QCOMPARE(texts.size(), size_t(dollar ? 2 : 1));
        if (dollar)
            QCOMPARE(texts[0].x, w.writer.Column(1).Position - w.surface.textWidth("9999999"));
        QCOMPARE(texts.front().text, QString(dollar ? "$" : "12.50"));
        QCOMPARE(texts.back().text, QString("12.50"));
    }

    void emphasisOnlyForTheCell()
    {
        Writer w;
        w.define({10, 10});
        w.writer.PrintCell(1, QVariant("bold"), false, true);
        w.writer.PrintCell(2, QVariant("plain"));
        const auto texts = w.surface.visibleTexts();
        QCOMPARE(texts.size(), size_t(2));
        QVERIFY(texts[0].bold);
        QVERIFY(!texts[1].bold);
        QVERIFY(!w.surface.fontBold());
    }

    void titleLine_data()
    {
        QTest::addColumn<double>("pageWidth");
        QTest::addColumn<QString>("right");
        QTest::newRow("portrait, page 123") << kLetterWidth << "Page: 123";
        QTest::newRow("landscape") << kLetterHeight << "Page: 7";
    }

    void titleLine()
    {
        QFETCH(double, pageWidth);
        QFETCH(QString, right);
        Writer w(pageWidth);
        const double top = w.surface.currentY();
        const double line = w.surface.lineHeight();
        w.writer.PrintTitleLine("1/2/2026 9:30 AM", "Quillstack", right);

        const auto texts = w.surface.visibleTexts();
        QCOMPARE(texts.size(), size_t(3));
        for (const RecordedText &t : texts)
            QCOMPARE(t.y, top + line); // after one blank line
        QCOMPARE(texts[0].x, w.surface.marginLeft());
        QCOMPARE(texts[1].x, (pageWidth - w.surface.textWidth("Quillstack")) / 2);
        QCOMPARE(texts[2].x + w.surface.textWidth(right), pageWidth - w.surface.marginRight());
        QCOMPARE(w.surface.currentY(), top + 2 * line);
    }

    void pageBreak_data()
    {
        QTest::addColumn<double>("pageHeight");
        QTest::addColumn<double>("y");
        QTest::addColumn<bool>("full");
        const double threshold = 0.93 * kLetterHeight;
        QTest::newRow("top") << kLetterHeight << 720.0 << false;
        QTest::newRow("equal is not full") << kLetterHeight << threshold << false;
        QTest::newRow("just past") << kLetterHeight << std::nextafter(threshold, 1e9) << true;
        QTest::newRow("whole twips, equal") << 10000.0 << 9300.0 << false;
        QTest::newRow("whole twips, past") << 10000.0 << 9301.0 << true;
    }

    void pageBreak()
    {
        QFETCH(double, pageHeight);
        QFETCH(double, y);
        Writer w(kLetterWidth, pageHeight);
        w.surface.setCurrentY(y);
        QTEST(w.writer.fnNeedPageBreak(), "full");
    }

    void rejectedDefinitions_data()
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

    void rejectedDefinitions()
    {
        QFETCH(int, slot);
        QFETCH(int, width);
        QFETCH(int, headers);
        Writer w;
        QStringList texts;
        for (int i = 0; i < headers; ++i)
            texts << QString::number(i);
        QVERIFY_THROWS_EXCEPTION(ReportError, w.writer.DefineColumn(slot, width, texts));
        QCOMPARE(w.writer.columnsDefined(), qint16(0));
        QCOMPARE(w.writer.Column(0).Width, qint16(0));
    }

    void cellSlotRange()
    {
        Writer w;
        QVERIFY_THROWS_EXCEPTION(ReportError, w.writer.PrintCell(-1, QVariant("v")));
        QVERIFY_THROWS_EXCEPTION(ReportError, w.writer.PrintCell(41, QVariant("v")));
        for (int slot : {0, 17}) { // slot 0 and an undefined slot print at 0
            w.writer.PrintCell(slot, QVariant("v"));
            QCOMPARE(w.surface.texts().back().x, 0.0);
        }
    }

    void nothingBeforeStart()
    {
        modReports writer;
        QVERIFY_THROWS_EXCEPTION(ReportError, writer.LayoutColumns());
        QVERIFY_THROWS_EXCEPTION(ReportError, writer.NewLine());
        QVERIFY_THROWS_EXCEPTION(ReportError, writer.fnPageWidth());
    }
};

QTEST_GUILESS_MAIN(TestModReports)
#include "tst_modreports.moc"
