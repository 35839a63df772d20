#include "editor/DateRules.h"

namespace {

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Only blanks count as padding; tabs and other white space stay significant.
QString withoutTrailingBlanks(const QString &text)
{
    qsizetype n = text.size();
    while (n > 0 && text.at(n - 1) == u' ')
        --n;
    return text.left(n);
}

// Text comparison by character code, so that a blank sorts before the digits.
bool atMost(const QString &text, QStringView limit)
{
    return text.compare(limit, Qt::CaseSensitive) <= 0;
}

QString centuryFor(const QString &twoDigits)
{
    return twoDigits.compare(kCenturyPivot, Qt::CaseSensitive) < 0 ? QStringLiteral("20")
                                                                   : QStringLiteral("19");
}

QString mmddyyyy(const QDate &date)
{
    return QStringLiteral("%1%2%3")
        .arg(date.month(), 2, 10, QChar(u'0'))
        .arg(date.day(), 2, 10, QChar(u'0'))
        .arg(date.year(), 4, 10, QChar(u'0'));
}

// Keywords match the whole text in any letter case; only ASCII letters are folded so that
// look-alike letters from other scripts do not turn into a keyword.
QString asciiUpper(const QString &text)
{
    QString upper = text;
    for (QChar &c : upper) {
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - (u'a' - u'A'));
    }
    return upper;
}

std::optional<QString> keywordDigits(const QString &typed, const QDate &today)
{
    const QString upper = asciiUpper(typed);
    if (upper == QLatin1String("TODAY") || upper == QLatin1String("NOW"))
        return mmddyyyy(today);
    if (upper == QLatin1String("YESTERDAY"))
        return mmddyyyy(today.addDays(-1));
    if (upper == QLatin1String("TOMORROW"))
        return mmddyyyy(today.addDays(1));
    return std::nullopt;
}

QString expandSlashed(const QString &typed, qsizetype firstSlash, qsizetype lastSlash)
{
    // Positions count from 1.
    if (!atMost(typed.left(2), u"12") && firstSlash > 2)
        return typed;
    const QString trimmed = withoutTrailingBlanks(typed);
    if (lastSlash < trimmed.size() - 3)
        return typed; // a four-digit year is left to the parser
    const QString year = (QStringLiteral("00") + trimmed.mid(lastSlash)).right(2);
    const QString candidate = typed.left(lastSlash) + centuryFor(year) + year;
    if (const auto date = fnParseDate(candidate))
        return fnFormatDate(date);
    return typed;
}

QString padDigits(const QString &digits)
{
    switch (digits.size()) {
    case 2:
        return QString(QChar(u'0')) + digits.at(0) + QChar(u'0') + digits.at(1);
    case 3:
    case 5:
        return QChar(u'0') + digits;
    default:
        return digits;
    }
}

QString expandDigits(const QString &typed, const QString &rawDigits, const QDate &today)
{
    QString d = padDigits(rawDigits);
    if (atMost(d.left(2), u"12")) {
        const QString monthDay = d.left(2) + u'/' + d.mid(2, 2) + u'/';
        if (d.size() == 4)
            d = monthDay + QStringLiteral("%1").arg(today.year(), 4, 10, QChar(u'0'));
        else if (d.size() == 6)
            d = monthDay + centuryFor(d.right(2)) + d.right(2);
        else if (d.size() == 8)
            d = monthDay + d.right(4);
    }
    if (const auto date = fnParseDate(d))
        return fnFormatDate(date);
    return typed;
}

// Reads a run of ASCII digits of the given length range starting at pos; advances pos.
std::optional<int> readNumber(QStringView text, qsizetype &pos, int minLen, int maxLen)
{
    int value = 0;
    int len = 0;
    while (pos < text.size() && len < maxLen && isAsciiDigit(text.at(pos))) {
        value = value * 10 + (text.at(pos).unicode() - u'0');
        ++pos;
        ++len;
    }
    if (len < minLen)
        return std::nullopt;
    return value;
}

bool readChar(QStringView text, qsizetype &pos, QChar expected)
{
    if (pos >= text.size() || text.at(pos) != expected)
        return false;
    ++pos;
    return true;
}

} // namespace

QString fnExpandDate(const QString &typed, const QDate &today)
{
    if (const auto digits = keywordDigits(typed, today))
        return expandDigits(typed, *digits, today);

    QString digits;
    int slashes = 0;
    qsizetype firstSlash = 0;
    qsizetype lastSlash = 0;
    for (qsizetype i = 0; i < typed.size(); ++i) {
        const QChar c = typed.at(i);
        if (isAsciiDigit(c)) {
            digits += c;
        } else if (c == u'/') {
            ++slashes;
            lastSlash = i + 1;
            if (firstSlash == 0)
                firstSlash = i + 1;
        }
    }

    if (slashes == 0)
        return expandDigits(typed, digits, today);
    if (slashes == 2)
        return expandSlashed(typed, firstSlash, lastSlash);
    return typed;
}

std::optional<QDate> fnParseDate(const QString &text)
{
    QStringView view(text);
    qsizetype begin = 0;
    qsizetype end = view.size();
    while (begin < end && view.at(begin) == u' ')
        ++begin;
    while (end > begin && view.at(end - 1) == u' ')
        --end;
    view = view.mid(begin, end - begin);

    qsizetype pos = 0;
    const auto month = readNumber(view, pos, 1, 2);
    if (!month || !readChar(view, pos, u'/'))
        return std::nullopt;
    const auto day = readNumber(view, pos, 1, 2);
    if (!day || !readChar(view, pos, u'/'))
        return std::nullopt;
    const auto year = readNumber(view, pos, 4, 4);
    if (!year || pos != view.size())
        return std::nullopt;

    // QDate knows the month lengths and leap years; year 0 does not exist for it either.
    if (!QDate::isValid(*year, *month, *day))
        return std::nullopt;
    return QDate(*year, *month, *day);
}

bool fnIsValidDate(const QString &text)
{
    return fnParseDate(text).has_value();
}

QString fnFormatDate(const std::optional<QDate> &date)
{
    if (!date || !date->isValid())
        return QString();
    const int year = date->year();
    const QString yearText =
        year >= 0 ? QStringLiteral("%1").arg(year, 4, 10, QChar(u'0')) : QString::number(year);
    return QStringLiteral("%1/%2/%3").arg(date->month()).arg(date->day()).arg(yearText);
}

QString fnDateToIso(const QDate &date)
{
    if (!date.isValid() || date.year() < 1 || date.year() > 9999)
        return QString();
    return QStringLiteral("%1-%2-%3")
        .arg(date.year(), 4, 10, QChar(u'0'))
        .arg(date.month(), 2, 10, QChar(u'0'))
        .arg(date.day(), 2, 10, QChar(u'0'));
}

std::optional<QDate> fnDateFromIso(const QString &text)
{
    const QStringView view(text);
    qsizetype pos = 0;
    const auto year = readNumber(view, pos, 4, 4);
    if (!year || !readChar(view, pos, u'-'))
        return std::nullopt;
    const auto month = readNumber(view, pos, 2, 2);
    if (!month || !readChar(view, pos, u'-'))
        return std::nullopt;
    const auto day = readNumber(view, pos, 2, 2);
    if (!day || pos != view.size() || !QDate::isValid(*year, *month, *day))
        return std::nullopt;
    return QDate(*year, *month, *day);
}
