#include "editor/DateRules.h"

#include <QTest>

namespace {
// A fixed "today" keeps every row independent of the machine's clock.
const QDate kToday(2026, 12, 4);

// One table row per line: row("name", column values...).
template <typename... Values> void row(const char *name, Values... values)
{
    (QTest::newRow(name) << ... << values);
}
} // namespace

class TestDateRules : public QObject
{
    Q_OBJECT

private slots:
    void expand_data();
    void expand();
    void expandDependsOnToday_data();
    void expandDependsOnToday();
    void parse_data();
    void parse();
    void format_data();
    void format();
    void iso_data();
    void iso();
    void toIso_data();
    void toIso();
};

// "shown" is what the date box holds after it is left: the reformatted date, or empty when the
// expanded text is refused (the box then keeps the typed text and a message appears).
void TestDateRules::expand_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expanded");
    QTest::addColumn<QString>("shown");

    // Keywords: whole text, any case; a blank next to the word spoils it.
    row("ToDaY", "ToDaY", "12/4/2026", "12/4/2026");
    row("nOw", "nOw", "12/4/2026", "12/4/2026");
    row("yesterday", "yesterday", "12/3/2026", "12/3/2026");
    row("ToMoRRoW", "ToMoRRoW", "12/5/2026", "12/5/2026");
    row("blank before keyword", " TODAY", " TODAY", "");
    row("blank after keyword", "now ", "now ", "");
    row("keyword with look-alike letter", QString::fromUtf8("yeſterday"),
        QString::fromUtf8("yeſterday"), "");

    // Digits only, current year or century by the pivot.
    row("MD", "53", "5/3/2026", "5/3/2026");
    row("MDD", "512", "5/12/2026", "5/12/2026");
    row("MMDD", "1225", "12/25/2026", "12/25/2026");
    row("MDDYY", "10599", "1/5/1999", "1/5/1999");
    row("MMDDYY", "123199", "12/31/1999", "12/31/1999");
    row("MMDDYY 29", "010129", "1/1/2029", "1/1/2029");
    row("MMDDYY 30", "010130", "1/1/1930", "1/1/1930");
    row("MMDDYYYY", "12311999", "12/31/1999", "12/31/1999");
    row("dashes", "12-31-99", "12/31/1999", "12/31/1999");
    row("letters skipped", "Jan 5, 2020", "5/20/2020", "5/20/2020");
    row("month 13 digits", "1399", "1399", "");
    row("month 00 digits", "0012", "0012", "");
    row("seven digits", "1231999", "1231999", "");
    row("nine digits", "123119999", "123119999", "");
    row("empty", "", "", "");
    row("no digits", "soon", "soon", "");
    row("non-ASCII digits", QString::fromUtf8("１２３１９９"), QString::fromUtf8("１２３１９９"),
        "");
    row("30 Feb digits", "023024", "023024", "");
    row("29 Feb leap digits", "022900", "2/29/2000", "2/29/2000");
    row("29 Feb other digits", "022999", "022999", "");
    row("29 Feb current year", "0229", "0229", "");

    // Two slashes, short year completed by the pivot.
    row("M/D/YY", "12/31/99", "12/31/1999", "12/31/1999");
    row("M/D/Y", "1/5/5", "1/5/2005", "1/5/2005");
    row("M/D/", "1/5/", "1/5/2000", "1/5/2000");
    row("M/D/ blank", "1/5/ ", "1/5/2000", "1/5/2000");
    row("slash 30", "1/1/30", "1/1/1930", "1/1/1930");
    row("three-digit year", "1/5/999", "1/5/1999", "1/5/1999");
    row("trailing blanks", "12/31/99  ", "12/31/1999", "12/31/1999");
    row("leading blank", " 1/5/99", "1/5/1999", "1/5/1999");
    row("month 13 slashes", "13/5/99", "13/5/99", "");
    row("letter in month", "x1/5/99", "x1/5/99", "");
    row("29 Feb leap", "2/29/24", "2/29/2024", "2/29/2024");
    row("29 Feb other", "2/29/23", "2/29/23", "");

    // Four-digit years pass through for the parser to judge.
    row("m/d/yyyy", "12/31/1999", "12/31/1999", "12/31/1999");
    row("mm/dd/yyyy", "01/05/1999", "01/05/1999", "1/5/1999");
    row("yyyy trailing blank", "1/5/2020 ", "1/5/2020 ", "1/5/2020");
    row("29 Feb 2000", "2/29/2000", "2/29/2000", "2/29/2000");
    row("five-digit year", "1/5/20200", "1/5/20200", "");

    // Other slash counts go to the parser unchanged.
    row("one slash", "12/31", "12/31", "");
    row("three slashes", "1/2/3/99", "1/2/3/99", "");
}

void TestDateRules::expand()
{
    QFETCH(QString, typed);
    QFETCH(QString, expanded);
    QFETCH(QString, shown);

    const QString result = fnExpandDate(typed, kToday);
    QCOMPARE(result, expanded);
    QCOMPARE(fnIsValidDate(result), !shown.isEmpty());
    if (!shown.isEmpty())
        QCOMPARE(fnFormatDate(fnParseDate(result)), shown);
}

void TestDateRules::expandDependsOnToday_data()
{
    QTest::addColumn<QDate>("today");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expanded");

    row("tomorrow at year end", QDate(2026, 12, 31), "tomorrow", "1/1/2027");
    row("yesterday at year start", QDate(2027, 1, 1), "YESTERDAY", "12/31/2026");
    row("tomorrow into 29 Feb", QDate(2024, 2, 28), "Tomorrow", "2/29/2024");
    row("yesterday from 1 March", QDate(2026, 3, 1), "yesterday", "2/28/2026");
    row("MMDD in leap year", QDate(2028, 6, 1), "0229", "2/29/2028");
    row("MD early year", QDate(1999, 1, 1), "53", "5/3/1999");
    row("no today", QDate(), "TODAY", "TODAY");
    row("MMDD without today", QDate(), "1225", "1225");
}

void TestDateRules::expandDependsOnToday()
{
    QFETCH(QDate, today);
    QFETCH(QString, typed);
    QFETCH(QString, expanded);

    QCOMPARE(fnExpandDate(typed, today), expanded);
}

void TestDateRules::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDate>("expected"); // invalid for refused

    row("m/d/yyyy", "1/5/2020", QDate(2020, 1, 5));
    row("mm/dd/yyyy", "01/05/2020", QDate(2020, 1, 5));
    row("leading blanks", "   1/5/2020", QDate(2020, 1, 5));
    row("trailing blanks", "1/5/2020   ", QDate(2020, 1, 5));
    row("year 1", "1/1/0001", QDate(1, 1, 1));
    row("29 Feb 2024", "2/29/2024", QDate(2024, 2, 29));

    row("two-digit year", "1/5/20", QDate());
    row("five-digit year", "1/5/20200", QDate());
    row("year 0", "1/1/0000", QDate());
    row("trailing letter", "1/2/2026x", QDate());
    row("fullwidth digit", QString::fromUtf8("１/2/2026"), QDate());
    row("month 13", "13/5/2020", QDate());
    row("31 April", "4/31/2020", QDate());
    row("29 Feb 1900", "2/29/1900", QDate());
    row("three-digit month", "001/5/2020", QDate());
    row("blank inside", "1 /5/2020", QDate());
    row("tab before", "\t1/5/2020", QDate());
    row("dashes", "1-5-2020", QDate());
    row("missing year", "1/5/", QDate());
    row("empty", "", QDate());
}

void TestDateRules::parse()
{
    QFETCH(QString, text);
    QFETCH(QDate, expected);

    const std::optional<QDate> date = fnParseDate(text);
    QCOMPARE(date.has_value(), expected.isValid());
    QCOMPARE(fnIsValidDate(text), expected.isValid());
    if (date)
        QCOMPARE(*date, expected);
}

void TestDateRules::format_data()
{
    QTest::addColumn<std::optional<QDate>>("date");
    QTest::addColumn<QString>("text");

    row("none", std::optional<QDate>(), "");
    row("invalid", std::optional<QDate>(QDate()), "");
    row("no leading zeros", std::optional<QDate>(QDate(2026, 1, 5)), "1/5/2026");
    row("two-digit parts", std::optional<QDate>(QDate(1999, 12, 31)), "12/31/1999");
    row("small year padded", std::optional<QDate>(QDate(5, 3, 7)), "3/7/0005");
}

void TestDateRules::format()
{
    QFETCH(std::optional<QDate>, date);
    QFETCH(QString, text);

    QCOMPARE(fnFormatDate(date), text);
    if (date && date->isValid() && date->year() > 0) // what is shown can be read back
        QCOMPARE(fnParseDate(text), date);
}

void TestDateRules::iso_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDate>("expected"); // invalid for refused

    row("plain", "2026-12-04", QDate(2026, 12, 4));
    row("29 Feb", "2024-02-29", QDate(2024, 2, 29));
    row("30 Feb", "2026-02-30", QDate());
    row("with time", "2026-12-04T00:00:00", QDate());
    row("leading blank", " 2026-12-04", QDate());
    row("year 0", "0000-01-01", QDate());
    row("empty", "", QDate());
}

void TestDateRules::iso()
{
    QFETCH(QString, text);
    QFETCH(QDate, expected);

    const std::optional<QDate> date = fnDateFromIso(text);
    QCOMPARE(date.has_value(), expected.isValid());
    if (date) {
        QCOMPARE(*date, expected);
        QCOMPARE(fnDateToIso(*date), text);
    }
}

void TestDateRules::toIso_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("text");

    row("padded", QDate(2026, 1, 5), "2026-01-05");
    row("small year", QDate(5, 3, 7), "0005-03-07");
    row("invalid", QDate(), "");
    row("five-digit year", QDate(10000, 1, 1), "");
}

void TestDateRules::toIso()
{
    QFETCH(QDate, date);
    QFETCH(QString, text);

    QCOMPARE(fnDateToIso(date), text);
}

QTEST_GUILESS_MAIN(TestDateRules)
#include "tst_daterules.moc"
