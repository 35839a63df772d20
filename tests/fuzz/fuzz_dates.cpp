// Fuzz target: the date expansion and the date parser never crash, the parser accepts only
// the form that the formatter writes (blanks around it and leading zeros of month and day
// aside), and an expansion that changes the text yields a date the parser reads back.
//
// Input: three bytes choosing today's date (years 1 to 9999), then the typed text (UTF-8).
#include "editor/DateRules.h"

#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *what, const QString &text)
{
    std::fprintf(stderr, "fuzz_dates: %s for \"%s\"\n", what, text.toUtf8().constData());
    std::abort();
}

// The text as the formatter would write it: no blanks around it, no leading zero of a
// two-digit month or day.
QString canonical(const QString &text)
{
    QStringList parts = text.trimmed().split(u'/');
    if (parts.size() != 3)
        return text;
    for (int i = 0; i < 2; ++i) {
        if (parts[i].size() == 2 && parts[i].startsWith(u'0'))
            parts[i].remove(0, 1);
    }
    return parts.join(u'/');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    const qint64 day = (data[0] | (data[1] << 8) | (data[2] << 16)) % 3652059;
    const QDate today = QDate(1, 1, 1).addDays(day);
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char *>(data + 3), qsizetype(size - 3));

    const std::optional<QDate> parsed = fnParseDate(text);
    if (fnIsValidDate(text) != parsed.has_value())
        fail("fnIsValidDate disagrees with fnParseDate", text);
    if (parsed) {
        const QString formatted = fnFormatDate(parsed);
        if (fnParseDate(formatted) != parsed)
            fail("the formatted date does not read back", text);
        if (canonical(text) != formatted)
            fail("the parser accepted a form the formatter does not write", text);
        if (fnDateFromIso(fnDateToIso(*parsed)) != parsed)
            fail("the stored form does not read back", text);
    }
    if (const std::optional<QDate> iso = fnDateFromIso(text); iso && fnDateToIso(*iso) != text)
        fail("the stored form was read from other text", text);

    const QString expanded = fnExpandDate(text, today);
    if (expanded != text) {
        const std::optional<QDate> date = fnParseDate(expanded);
        if (!date || fnFormatDate(date) != expanded)
            fail("the expansion is not a formatted date", text);
    }
    return 0;
}
