// Fuzz target: the filter pattern's in-memory matcher must give SQLite's answer to
// `lower(Field) GLOB ?` for the same typed text and the same field values.
//
// Input: one byte for the pattern's length and its decoding (bit 7: UTF-16, else UTF-8),
// the pattern, then field values separated by 0x1E.
#include "main/FilterPattern.h"
#include "support/SqliteGlob.h"

#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// An empty value, never a null one: a null field is SQL's NULL, which matches nothing.
QString decode(const uint8_t *data, size_t size, bool utf16)
{
    QString text = QStringLiteral("");
    if (!utf16)
        return text + QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    for (size_t i = 0; i + 1 < size; i += 2)
        text += QChar(char16_t(data[i] | (data[i + 1] << 8)));
    return text;
}

[[noreturn]] void mismatch(const char *where, const QString &pattern, const QString &field,
                           bool sql)
{
    std::fprintf(stderr, "fuzz_filter_pattern: %s differs from GLOB (%d)\npattern %s\nfield %s\n",
                 where, int(sql), pattern.toUtf8().toHex(' ').constData(),
                 field.toUtf8().toHex(' ').constData());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const bool utf16 = data[0] & 0x80;
    const size_t patternSize = std::min<size_t>(data[0] & 0x7F, size - 1);
    const QString typed = decode(data + 1, patternSize, utf16);
    const FilterPattern pattern = FilterPattern::compile(typed);
    const QString glob = pattern.toGlob();

    QStringList fields;
    const uint8_t *start = data + 1 + patternSize;
    const uint8_t *end = data + size;
    for (const uint8_t *p = start;; ++p) {
        if (p == end || *p == 0x1E) {
            fields.append(decode(start, size_t(p - start), utf16));
            if (p == end)
                break;
            start = p + 1;
        }
    }

    // One field at a time, then all of them as the list filter sees them.
    std::string buffer;
    std::vector<std::uint32_t> offsets{0};
    std::vector<std::uint8_t> expected;
    for (const QString &field : fields) {
        const bool sql = qs::test::sqliteGlob(field, glob).value(); // throws if refused
        if (pattern.matches(field) != sql)
            mismatch("matches()", typed, field, sql);
        buffer += FilterPattern::fold(field);
        offsets.push_back(std::uint32_t(buffer.size()));
        expected.push_back(sql);
    }
    std::vector<std::uint8_t> keep(fields.size(), 1);
    pattern.narrow(buffer, offsets, keep);
    for (qsizetype i = 0; i < fields.size(); ++i)
        if (keep[size_t(i)] != expected[size_t(i)])
            mismatch("narrow()", typed, fields.at(i), expected[size_t(i)]);
    return 0;
}
