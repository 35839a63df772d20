#include "main/FilterPattern.h"

#include <QRandomGenerator>
#include <QTest>

#include <sqlite3.h>

#include <memory>
#include <optional>
#include <set>

namespace {

struct DbClose
{
    void operator()(sqlite3 *db) const { sqlite3_close(db); }
};
struct StmtFinalize
{
    void operator()(sqlite3_stmt *st) const { sqlite3_finalize(st); }
};
using DbPtr = std::unique_ptr<sqlite3, DbClose>;
using StmtPtr = std::unique_ptr<sqlite3_stmt, StmtFinalize>;

DbPtr openMemory()
{
    sqlite3 *raw = nullptr;
    if (sqlite3_open(":memory:", &raw) != SQLITE_OK)
        qFatal("cannot open database");
    return DbPtr(raw);
}

StmtPtr prepare(sqlite3 *db, const char *sql)
{
    sqlite3_stmt *raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK)
        qFatal("prepare failed: %s", sqlite3_errmsg(db));
    return StmtPtr(raw);
}

void bindText(sqlite3_stmt *st, int index, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(st, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

// What `lower(text) GLOB pattern` says; nullopt when SQLite rejects the statement.
std::optional<bool> sqlMatch(const QString &text, const QString &glob)
{
    DbPtr db = openMemory();
    StmtPtr st = prepare(db.get(), "SELECT lower(?1) GLOB ?2");
    if (text.isNull())
        sqlite3_bind_null(st.get(), 1);
    else
        bindText(st.get(), 1, text);
    bindText(st.get(), 2, glob);
    if (sqlite3_step(st.get()) != SQLITE_ROW)
        return std::nullopt;
    return sqlite3_column_int(st.get(), 0) == 1;
}

const QString kEmoji = QString::fromUtf8("\xF0\x9F\x98\x80");

QString randomPick(QRandomGenerator &rng, const QString &alphabet)
{
    const QChar pick = alphabet.at(rng.bounded(alphabet.size()));
    // A surrogate pair is never split: either half stands for the whole emoji.
    return pick.isSurrogate() ? kEmoji : QString(pick);
}

// Typed text with lists of several kinds mixed among loose characters.
QString randomTyped(QRandomGenerator &rng)
{
    static const QString loose = QString::fromUtf8("aAbBzZ09 *?#[]!-^'é") + kEmoji;
    static const QString inList = QString::fromUtf8("aAbBzZ09-^]![*#?_éÉ") + kEmoji;
    QString out;
    for (int i = rng.bounded(5); i > 0; --i) {
        if (rng.bounded(3) != 0) {
            out += randomPick(rng, loose);
            continue;
        }
        out += rng.bounded(3) == 0 ? QStringLiteral("[!") : QStringLiteral("[");
        for (int k = rng.bounded(5); k > 0; --k) {
            out += randomPick(rng, inList);
            if (rng.bounded(3) == 0)
                out += QLatin1Char('-') + randomPick(rng, inList);
        }
        if (rng.bounded(8) != 0)
            out += QLatin1Char(']');
    }
    return out;
}

template <typename... Values> void row(const char *name, Values... values)
{
    (QTest::newRow(name) << ... << values);
}

QString u8(const char *s, qsizetype n = -1)
{
    return QString::fromUtf8(s, n);
}

} // namespace

class tst_FilterPattern : public QObject
{
    Q_OBJECT

private slots:
    void fold_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("folded");
        row("capitals, symbols kept", QStringLiteral("LEASE Roof [*?#]-^_@`{"),
            QByteArray("lease roof [*?#]-^_@`{"));
        row("accents kept", u8("ÉCOLE ß Ä"),
            QByteArray("\xC3\x89"
                       "cole \xC3\x9F \xC3\x84"));
        row("stops at NUL", u8("AB\0CD", 5), QByteArray("ab"));
        row("noncharacters read as U+FFFD", QStringLiteral("\uFFFE\uFFFF"),
            QByteArray("\xEF\xBF\xBD\xEF\xBF\xBD"));
        row("empty", QString(""), QByteArray());
    }

    void fold()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, folded);
        QCOMPARE(QByteArray::fromStdString(FilterPattern::fold(text)), folded);
    }

    // Each row is checked in memory, on folded text and in SQLite; a null text never matches.
    void matches_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("expected");
        row("substring any case", QStringLiteral("LEASE"), QStringLiteral("Car lease 2020"), true);
        row("not there", QStringLiteral("ROOF"), QStringLiteral("Car lease"), false);
        row("empty pattern, empty text", QString(""), QString(""), true);
        row("empty list, empty text", QStringLiteral("[]"), QString(""), true);
        row("question needs a char", QStringLiteral("?"), QString(""), false);
        row("negated empty list needs a char", QStringLiteral("[!]"), QString(""), false);
        row("negated empty list", QStringLiteral("[!]"), QStringLiteral("x"), true);
        row("stars in a row", QStringLiteral("**A***B*"), QStringLiteral("xaxxbx"), true);
        // How a list is read: "-" and "^" are plain where they cannot be a range or negation.
        row("dash last", QStringLiteral("[A-]"), QStringLiteral("b"), false);
        row("dash after a range", QStringLiteral("[A-C-E]"), QStringLiteral("d"), false);
        row("caret alone is plain", QStringLiteral("[^]"), QStringLiteral("x"), false);
        row("empty list then close", QStringLiteral("[]]"), QStringLiteral("x"), false);
        row("bang without close", QStringLiteral("[!A"), QStringLiteral("x[!ay"), true);
        row("pattern characters listed", QStringLiteral("[*?#[]"), QStringLiteral("5"), false);
        row("star order", QStringLiteral("E*A"), QStringLiteral("AE"), false);
        row("question counts code points", QStringLiteral("A?C"), u8("aéc"), true);
        row("two questions, one accent", QStringLiteral("A??C"), u8("aéc"), false);
        row("question on emoji", QStringLiteral("A?C"), QStringLiteral("a") + kEmoji + "c", true);
        row("hash digit", QStringLiteral("NO#"), QStringLiteral("no7"), true);
        row("hash is ASCII only", QStringLiteral("#"), u8("\xD9\xA3"), false);
        row("literal hash not digit", QStringLiteral("[#]"), QStringLiteral("1"), false);
        row("unbalanced bracket", QStringLiteral("A[B"), QStringLiteral("xa[by"), true);
        row("unbalanced not a list", QStringLiteral("A[B"), QStringLiteral("ab"), false);
        row("quote literal", QStringLiteral("O'B"), QStringLiteral("Pat O'Brien"), true);
        row("range lower typed", QStringLiteral("[a-c]"), QStringLiteral("B"), true);
        row("backwards range", QStringLiteral("[Z-X]"), QStringLiteral("y"), true);
        row("negated digits", QStringLiteral("[!0-9]"), QStringLiteral("123"), false);
        row("negated letters both cases", QStringLiteral("[!A-Z]"), QStringLiteral("abc"), false);
        row("dash literal", QStringLiteral("[-X]"), QStringLiteral("a-b"), true);
        row("range over capitals, y", QStringLiteral("[Z-a]"), QStringLiteral("y"), false);
        row("range over capitals, bracket", QStringLiteral("[Z-a]"), QStringLiteral("]"), true);
        row("escaped star", QStringLiteral("A[*]"), QStringLiteral("abc"), false);
        row("accent case kept", u8("É"), u8("é"), false);
        row("accent in list", u8("[à-é]"), u8("ç"), true);
        row("lone surrogate", QString(QChar(0xD800)), QString(QChar(0xD800)), true);
        row("noncharacter typed and stored", QStringLiteral("\uFFFF"), QStringLiteral("x\uFFFF"),
            true);
        row("many stars, no blow-up", QStringLiteral("*A*A*A*A*A*A*A*A*A*A*A*A*B"),
            QString(5000, u'a'), false);
        row("text ends at NUL", QStringLiteral("CD"), u8("AB\0CD", 5), false);
        row("NUL typed is ignored", u8("A\0B", 3), QStringLiteral("xaby"), true);
        row("overlapping literal", QStringLiteral("AAB"), QStringLiteral("aaaab"), true);
        row("null text, empty pattern", QString(""), QString(), false);
        row("null text, star", QStringLiteral("*"), QString(), false);
        row("null text, empty list", QStringLiteral("[]"), QString(), false);
    }

    void matches()
    {
        QFETCH(QString, typed);
        QFETCH(QString, text);
        QFETCH(bool, expected);
        const FilterPattern pattern = FilterPattern::compile(typed);
        QCOMPARE(pattern.matches(text), expected);
        const std::optional<bool> sql = sqlMatch(text, pattern.toGlob());
        if (text.isNull()) {
            QVERIFY(!sql.value_or(false));
            return;
        }
        QCOMPARE(pattern.matchesFolded(FilterPattern::fold(text)), expected);
        QCOMPARE(sql, std::optional<bool>(expected));
    }

    // SQLite refuses GLOB patterns over 50000 bytes; the size bound keeps a box capped below
    // 10000 characters safe.
    void longTextStaysValid_data()
    {
        QTest::addColumn<QString>("typed");
        row("hashes", QString(9000, u'#'));
        row("wide range lists", u8("[!\x01-\xF4\x8F\xBF\xBF]").repeated(1000));
        row("quotes and brackets", QStringLiteral("'[]*?[").repeated(1500));
    }

    void longTextStaysValid()
    {
        QFETCH(QString, typed);
        const QString glob = FilterPattern::compile(typed).toGlob();
        QVERIFY(glob.toUtf8().size() <= 5 * typed.size() + 2);
        QVERIFY(sqlMatch(QStringLiteral("abc"), glob).has_value());
    }

    void narrow_data()
    {
        QTest::addColumn<QStringList>("texts"); // a null entry is a null field
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("expected"); // one '1' or '0' per text
        row("not across texts", QStringList{"ab", "cd", "bc"}, QStringLiteral("BC"),
            QStringLiteral("001"));
        row("one byte not across", QStringList{"a", "", "b"}, QStringLiteral("[AB]"),
            QStringLiteral("101"));
        row("at the very end", QStringList{"xab", "ab"}, QStringLiteral("AB"),
            QStringLiteral("11"));
        row("empty list matches empty", QStringList{"", "a"}, QStringLiteral("[]"),
            QStringLiteral("11"));
        row("null cleared beforehand", QStringList{QString(), "a", ""}, QStringLiteral("*"),
            QStringLiteral("011"));
        row("wildcards", QStringList{"a1c", "abc", "ac", "xa9cx"}, QStringLiteral("A#C"),
            QStringLiteral("1001"));
        row("accents", QStringList{u8("Éa"), u8("éa")}, u8("éA"), QStringLiteral("01"));
    }

    void narrow()
    {
        QFETCH(QStringList, texts);
        QFETCH(QString, typed);
        QFETCH(QString, expected);
        // Text in front of the first one is not part of any, so offsets need not start at 0.
        std::string buffer = "abcdefghijklmnopqrstuvwxyz0123456789";
        std::vector<std::uint32_t> offsets;
        std::vector<std::uint8_t> keep;
        for (const QString &text : texts) {
            offsets.push_back(std::uint32_t(buffer.size()));
            buffer += FilterPattern::fold(text);
            keep.push_back(!text.isNull());
        }
        offsets.push_back(std::uint32_t(buffer.size()));
        buffer += "abcdefghijklmnopqrstuvwxyz0123456789";
        FilterPattern::compile(typed).narrow(buffer, offsets, keep);
        QString got;
        for (std::uint8_t k : keep)
            got += k ? u'1' : u'0';
        QCOMPARE(got, expected);
    }

    // Texts of many lengths with the needle at every place, cut short or missing, for the
    // whole-list scan and the text-by-text path alike.
    void narrowEveryPlace_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("needle");
        row("one byte", QStringLiteral("Q"), QByteArray("q"));
        row("three bytes", QStringLiteral("QWZ"), QByteArray("qwz"));
        row("long", QStringLiteral("QWERTYUIOPQWERTYUIOP"), QByteArray("qwertyuiopqwertyuiop"));
        row("wildcard", QStringLiteral("Q?Z"), QByteArray("qxz"));
    }

    void narrowEveryPlace()
    {
        QFETCH(QString, typed);
        QFETCH(QByteArray, needle);
        const FilterPattern pattern = FilterPattern::compile(typed);
        const std::string n = needle.toStdString();
        std::string buffer;
        std::vector<std::uint32_t> offsets;
        std::vector<bool> expected;
        const auto add = [&](const std::string &text, bool match) {
            offsets.push_back(std::uint32_t(buffer.size()));
            buffer += text;
            expected.push_back(match);
        };
        for (std::size_t length = 0; length < 140; ++length) {
            const std::string xs(length, 'x');
            add(xs, false);
            for (std::size_t at = 0; at + n.size() <= length; ++at)
                add(std::string(xs).replace(at, n.size(), n), true);
            if (length >= n.size() && n.size() > 1) // cut short by the text's end
                add(std::string(xs).replace(length - n.size() + 1, n.size() - 1,
                                            n.substr(0, n.size() - 1)),
                    false);
        }
        offsets.push_back(std::uint32_t(buffer.size()));
        for (int every : {1, 9}) { // all rows kept, or few: the two ways of narrowing
            std::vector<std::uint8_t> keep(expected.size());
            for (std::size_t i = 0; i < keep.size(); i += every)
                keep[i] = 1;
            pattern.narrow(buffer, offsets, keep);
            for (std::size_t i = 0; i < keep.size(); ++i) {
                QVERIFY2(bool(keep[i]) == (i % every == 0 && expected[i]),
                         qPrintable(QString::number(i)));
                const std::string_view text(buffer.data() + offsets[i],
                                            offsets[i + 1] - offsets[i]);
                QCOMPARE(pattern.matchesFolded(text), bool(expected[i]));
            }
        }
    }

    // Random texts in SQLite and folded in memory: for any typed text the SQL GLOB, the
    // row-by-row match and the whole-list narrowing select the same rows. A fixed seed keeps a
    // failure reproducible.
    void randomAgreesWithSqlite()
    {
        const quint32 seed = 20240611;
        QRandomGenerator rng(seed);
        const QString textChars = u8("aAbBcCzZxy09 5#*?[]!-^'_\\`éÉßÄ€") + kEmoji;
        DbPtr db = openMemory();
        sqlite3_exec(db.get(), "CREATE TABLE t(id INTEGER PRIMARY KEY, s TEXT)", nullptr, nullptr,
                     nullptr);
        StmtPtr insert = prepare(db.get(), "INSERT INTO t(id, s) VALUES(?1, ?2)");
        const int rows = 3000;
        std::vector<std::optional<std::string>> folded;
        std::string buffer; // the folded texts back to back, nulls as empty texts
        std::vector<std::uint32_t> offsets;
        for (int id = 0; id < rows; ++id) {
            sqlite3_reset(insert.get());
            sqlite3_bind_int(insert.get(), 1, id);
            offsets.push_back(std::uint32_t(buffer.size()));
            if (rng.bounded(20) == 0) {
                sqlite3_bind_null(insert.get(), 2);
                folded.emplace_back();
            } else {
                QString text;
                for (int n = rng.bounded((rng.bounded(10) ? 16 : 90) + 1); n > 0; --n)
                    text += randomPick(rng, textChars);
                bindText(insert.get(), 2, text);
                folded.emplace_back(FilterPattern::fold(text));
                buffer += *folded.back();
            }
            QCOMPARE(sqlite3_step(insert.get()), SQLITE_DONE);
        }
        offsets.push_back(std::uint32_t(buffer.size()));

        // fold() must be exactly SQLite's lower().
        StmtPtr lower = prepare(db.get(), "SELECT id, lower(s) FROM t WHERE s IS NOT NULL");
        while (sqlite3_step(lower.get()) == SQLITE_ROW)
            QCOMPARE(
                QByteArray(reinterpret_cast<const char *>(sqlite3_column_text(lower.get(), 1))),
                QByteArray::fromStdString(*folded[sqlite3_column_int(lower.get(), 0)]));

        StmtPtr query = prepare(db.get(), "SELECT id FROM t WHERE lower(s) GLOB ?1");
        for (int round = 0; round < 600; ++round) {
            const QString typed = randomTyped(rng);
            const FilterPattern pattern = FilterPattern::compile(typed);
            const QString glob = pattern.toGlob();
            const QByteArray where = QStringLiteral("seed %1 round %2 typed [%3] glob [%4]")
                                         .arg(seed)
                                         .arg(round)
                                         .arg(typed, glob)
                                         .toUtf8();
            QVERIFY2(glob.toUtf8().size() <= 5 * typed.size() + 2, where);

            std::set<int> bySql;
            sqlite3_reset(query.get());
            bindText(query.get(), 1, glob);
            int rc;
            while ((rc = sqlite3_step(query.get())) == SQLITE_ROW)
                bySql.insert(sqlite3_column_int(query.get(), 0));
            QVERIFY2(rc == SQLITE_DONE, where);

            std::set<int> byRow;
            for (int id = 0; id < rows; ++id)
                if (folded[id] && pattern.matchesFolded(*folded[id]))
                    byRow.insert(id);
            QVERIFY2(byRow == bySql, where);

            // Whole-list narrowing, with every row a candidate and with few.
            for (int every : {1, 7}) {
                std::vector<std::uint8_t> keep(rows);
                std::set<int> wanted, byNarrow;
                for (int id = 0; id < rows; id += every) {
                    keep[id] = folded[id].has_value();
                    if (bySql.count(id))
                        wanted.insert(id);
                }
                pattern.narrow(buffer, offsets, keep);
                for (int id = 0; id < rows; ++id)
                    if (keep[id])
                        byNarrow.insert(id);
                QVERIFY2(byNarrow == wanted, where + " narrow every " + QByteArray::number(every));
            }
        }
    }
};

QTEST_GUILESS_MAIN(tst_FilterPattern)
#include "tst_filterpattern.moc"
