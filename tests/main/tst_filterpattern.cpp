#include "main/FilterPattern.h"

#include <QRandomGenerator>
#include <QTest>

#include <sqlite3.h>

#include <algorithm>
#include <iterator>
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
    const int rc = sqlite3_open(":memory:", &raw);
    DbPtr db(raw);
    if (rc != SQLITE_OK)
        qFatal("cannot open database");
    return db;
}

StmtPtr prepare(sqlite3 *db, const char *sql)
{
    sqlite3_stmt *raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK)
        qFatal("prepare failed: %s", sqlite3_errmsg(db));
    return StmtPtr(raw);
}

void bindText(sqlite3_stmt *st, int index, const QByteArray &utf8)
{
    sqlite3_bind_text(st, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

// What `lower(text) GLOB pattern` says; nullopt when SQLite rejects the statement.
std::optional<bool> sqlMatch(sqlite3 *db, const QString &text, const QString &glob)
{
    StmtPtr st = prepare(db, "SELECT lower(?1) GLOB ?2");
    if (text.isNull())
        sqlite3_bind_null(st.get(), 1);
    else
        bindText(st.get(), 1, text.toUtf8());
    bindText(st.get(), 2, glob.toUtf8());
    if (sqlite3_step(st.get()) != SQLITE_ROW)
        return std::nullopt;
    return sqlite3_column_int(st.get(), 0) == 1;
}

QString randomPick(QRandomGenerator &rng, const QString &alphabet)
{
    const QStringView pick = QStringView(alphabet).mid(rng.bounded(alphabet.size()), 1);
    // A surrogate pair is never split: either half stands for the whole emoji.
    if (pick.front().isSurrogate())
        return QString::fromUtf8("\xF0\x9F\x98\x80");
    return pick.toString();
}

QString randomText(QRandomGenerator &rng, const QString &alphabet, int maxLength)
{
    const int length = rng.bounded(maxLength + 1);
    QString out;
    for (int i = 0; i < length; ++i)
        out += randomPick(rng, alphabet);
    return out;
}

// Typed text with lists of several kinds mixed among loose characters.
QString randomTyped(QRandomGenerator &rng)
{
    static const QString loose = QString::fromUtf8("aAbBzZ09 *?#[]!-^'é\xF0\x9F\x98\x80");
    static const QString inList = QString::fromUtf8("aAbBzZ09-^]![*#?_éÉ\xF0\x9F\x98\x80");
    const int pieces = rng.bounded(5);
    QString out;
    for (int i = 0; i < pieces; ++i) {
        if (rng.bounded(3) != 0) {
            out += randomPick(rng, loose);
            continue;
        }
        out += QLatin1Char('[');
        if (rng.bounded(3) == 0)
            out += QLatin1Char('!');
        const int members = rng.bounded(5);
        for (int k = 0; k < members; ++k) {
            out += randomPick(rng, inList);
            if (rng.bounded(3) == 0)
                out += QLatin1Char('-') + randomPick(rng, inList);
        }
        if (rng.bounded(8) != 0)
            out += QLatin1Char(']');
    }
    return out;
}

} // namespace

class tst_FilterPattern : public QObject
{
    Q_OBJECT

private slots:
    void fold_data();
    void fold();
    void toGlob_data();
    void toGlob();
    void matches_data();
    void matches();
    void nullNeverMatches_data();
    void nullNeverMatches();
    void isLiteral_data();
    void isLiteral();
    void longTextStaysValid_data();
    void longTextStaysValid();
    void narrow_data();
    void narrow();
    void narrowEveryPlace_data();
    void narrowEveryPlace();
    void randomAgreesWithSqlite();
};

void tst_FilterPattern::fold_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("folded");

    QTest::newRow("capitals") << "LEASE Roof 12" << QByteArray("lease roof 12");
    QTest::newRow("symbols kept") << "[*?#]-^_@`{" << QByteArray("[*?#]-^_@`{");
    QTest::newRow("accents kept") << QString::fromUtf8("ÉCOLE ß Ä")
                                  << QByteArray("\xC3\x89"
                                                "cole \xC3\x9F \xC3\x84");
    QTest::newRow("stops at NUL") << QString::fromUtf8("AB\0CD", 5) << QByteArray("ab");
    QTest::newRow("empty") << "" << QByteArray();
}

void tst_FilterPattern::fold()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, folded);
    const std::string got = FilterPattern::fold(text);
    QCOMPARE(QByteArray(got.data(), qsizetype(got.size())), folded);
}

void tst_FilterPattern::toGlob_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("glob");

    QTest::newRow("plain") << "LEASE"
                           << "*lease*";
    QTest::newRow("empty") << ""
                           << "*";
    QTest::newRow("star alone") << "*"
                                << "*";
    QTest::newRow("stars collapse") << "**A***B*"
                                    << "*a*b*";
    QTest::newRow("question") << "A?C"
                              << "*a?c*";
    QTest::newRow("hash") << "#"
                          << "*[0-9]*";
    QTest::newRow("quote") << "O'BRIEN"
                           << "*o'brien*";
    QTest::newRow("unbalanced bracket") << "A[B"
                                        << "*a[[]b*";
    QTest::newRow("bang without close") << "[!A"
                                        << "*[[]!a*";
    QTest::newRow("close alone") << "A]"
                                 << "*a]*";
    QTest::newRow("empty list") << "A[]B"
                                << "*ab*";
    QTest::newRow("empty list then close") << "[]]"
                                           << "*]*";
    QTest::newRow("negated empty list") << "[!]"
                                        << "*?*";
    QTest::newRow("escaped star") << "[*]"
                                  << "*[*]*";
    QTest::newRow("escaped question") << "[?]"
                                      << "*[?]*";
    QTest::newRow("escaped bracket") << "[[]"
                                     << "*[[]*";
    QTest::newRow("escaped hash") << "[#]"
                                  << "*#*";
    QTest::newRow("one letter list") << "[A]"
                                     << "*a*";
    QTest::newRow("both cases") << "[aA]"
                                << "*a*";
    QTest::newRow("range") << "[A-C]"
                           << "*[a-c]*";
    QTest::newRow("backwards range") << "[C-A]"
                                     << "*[a-c]*";
    QTest::newRow("negated range") << "[!0-9]"
                                   << "*[^0-9]*";
    QTest::newRow("dash first") << "[-A]"
                                << "*[-a]*";
    QTest::newRow("dash last") << "[A-]"
                               << "*[-a]*";
    QTest::newRow("dash after range") << "[A-C-E]"
                                      << "*[-a-ce]*";
    QTest::newRow("caret alone") << "[^]"
                                 << "*^*";
    QTest::newRow("caret negated") << "[!^]"
                                   << "*[^^]*";
    QTest::newRow("caret and dash") << "[^-]"
                                    << "*[-^]*";
    QTest::newRow("range over specials") << "[Z-a]"
                                         << "*[][\\_-az^]*";
    QTest::newRow("pattern chars listed") << "[*?#[]"
                                          << "*[#*?[]*";
    QTest::newRow("accent kept") << QString::fromUtf8("[É]é") << QString::fromUtf8("*Éé*");
}

void tst_FilterPattern::toGlob()
{
    QFETCH(QString, typed);
    QFETCH(QString, glob);
    QCOMPARE(FilterPattern::compile(typed).toGlob(), glob);
}

void tst_FilterPattern::matches_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("expected");

    QTest::newRow("substring any case") << "LEASE"
                                        << "Car lease 2020" << true;
    QTest::newRow("not there") << "ROOF"
                               << "Car lease" << false;
    QTest::newRow("empty pattern, empty text") << ""
                                               << "" << true;
    QTest::newRow("star, empty text") << "*"
                                      << "" << true;
    QTest::newRow("empty list, empty text") << "[]"
                                            << "" << true;
    QTest::newRow("question needs a char") << "?"
                                           << "" << false;
    QTest::newRow("negated empty list needs a char") << "[!]"
                                                     << "" << false;
    QTest::newRow("negated empty list") << "[!]"
                                        << "x" << true;
    QTest::newRow("star between") << "A*E"
                                  << "xAbcdEx" << true;
    QTest::newRow("star order") << "E*A"
                                << "AE" << false;
    QTest::newRow("question one char") << "A?C"
                                       << "abc" << true;
    QTest::newRow("question counts code points") << "A?C" << QString::fromUtf8("aéc") << true;
    QTest::newRow("two questions, one accent") << "A??C" << QString::fromUtf8("aéc") << false;
    QTest::newRow("question on emoji") << "A?C"
                                       << QString::fromUtf8("a\xF0\x9F\x98\x80"
                                                            "c")
                                       << true;
    QTest::newRow("hash digit") << "NO#"
                                << "no7" << true;
    QTest::newRow("hash no digit") << "NO#"
                                   << "no x" << false;
    QTest::newRow("hash is ASCII only") << "#" << QString::fromUtf8("\xD9\xA3") << false;
    QTest::newRow("literal hash listed") << "[#]"
                                         << "a#b" << true;
    QTest::newRow("literal hash not digit") << "[#]"
                                            << "1" << false;
    QTest::newRow("unbalanced bracket") << "A[B"
                                        << "xa[by" << true;
    QTest::newRow("unbalanced not a list") << "A[B"
                                           << "ab" << false;
    QTest::newRow("close literal") << "]"
                                   << "a]" << true;
    QTest::newRow("quote literal") << "O'B"
                                   << "Pat O'Brien" << true;
    QTest::newRow("range upper typed") << "[A-C]"
                                       << "b" << true;
    QTest::newRow("range lower typed") << "[a-c]"
                                       << "B" << true;
    QTest::newRow("range miss") << "[A-C]"
                                << "d" << false;
    QTest::newRow("backwards range") << "[Z-X]"
                                     << "y" << true;
    QTest::newRow("negated digits") << "[!0-9]"
                                    << "123" << false;
    QTest::newRow("negated digits hit") << "[!0-9]"
                                        << "12a" << true;
    QTest::newRow("negated letters both cases") << "[!A-Z]"
                                                << "abc" << false;
    QTest::newRow("dash literal") << "[-X]"
                                  << "a-b" << true;
    QTest::newRow("dash not a range") << "[-X]"
                                      << "w" << false;
    QTest::newRow("range over capitals") << "[Z-a]"
                                         << "Z" << true;
    QTest::newRow("range over capitals, y") << "[Z-a]"
                                            << "y" << false;
    QTest::newRow("range over capitals, caret") << "[Z-a]"
                                                << "^" << true;
    QTest::newRow("range over capitals, bracket") << "[Z-a]"
                                                  << "]" << true;
    QTest::newRow("escaped star") << "[*]"
                                  << "abc" << false;
    QTest::newRow("escaped star hit") << "A[*]"
                                      << "a*" << true;
    QTest::newRow("accent case kept") << QString::fromUtf8("É") << QString::fromUtf8("é") << false;
    QTest::newRow("accent same case")
        << QString::fromUtf8("É") << QString::fromUtf8("CAFÉ") << true;
    QTest::newRow("accent in list") << QString::fromUtf8("[à-é]") << QString::fromUtf8("ç") << true;
    QTest::newRow("lone surrogate") << QString(QChar(0xD800)) << QString(QChar(0xD800)) << true;
    QTest::newRow("many stars, no blow-up")
        << "*A*A*A*A*A*A*A*A*A*A*A*A*B" << QString(5000, QLatin1Char('a')) << false;
    QTest::newRow("text ends at NUL") << "CD" << QString::fromUtf8("AB\0CD", 5) << false;
    QTest::newRow("NUL typed is ignored") << QString::fromUtf8("A\0B", 3) << "xaby" << true;
    QTest::newRow("overlapping literal") << "AAB"
                                         << "aaaab" << true;
}

void tst_FilterPattern::matches()
{
    QFETCH(QString, typed);
    QFETCH(QString, text);
    QFETCH(bool, expected);

    const FilterPattern pattern = FilterPattern::compile(typed);
    QCOMPARE(pattern.matches(text), expected);
    QCOMPARE(pattern.matchesFolded(FilterPattern::fold(text)), expected);

    DbPtr db = openMemory();
    const std::optional<bool> sql = sqlMatch(db.get(), text, pattern.toGlob());
    QVERIFY2(sql.has_value(), sqlite3_errmsg(db.get()));
    QCOMPARE(*sql, expected);
}

void tst_FilterPattern::nullNeverMatches_data()
{
    QTest::addColumn<QString>("typed");
    QTest::newRow("empty") << "";
    QTest::newRow("star") << "*";
    QTest::newRow("empty list") << "[]";
    QTest::newRow("word") << "A";
}

void tst_FilterPattern::nullNeverMatches()
{
    QFETCH(QString, typed);
    const FilterPattern pattern = FilterPattern::compile(typed);
    QVERIFY(!pattern.matches(QString()));

    DbPtr db = openMemory();
    const std::optional<bool> sql = sqlMatch(db.get(), QString(), pattern.toGlob());
    QVERIFY(!sql.has_value() || !*sql);
}

void tst_FilterPattern::isLiteral_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("literal");
    QTest::addColumn<QByteArray>("needle");

    QTest::newRow("word") << "LeAsE" << true << QByteArray("lease");
    QTest::newRow("empty") << "" << true << QByteArray();
    QTest::newRow("escaped star") << "A[*]" << true << QByteArray("a*");
    QTest::newRow("one letter list") << "[B]C" << true << QByteArray("bc");
    QTest::newRow("unbalanced") << "[X" << true << QByteArray("[x");
    QTest::newRow("empty list") << "A[]B" << true << QByteArray("ab");
    QTest::newRow("star") << "A*B" << false << QByteArray();
    QTest::newRow("question") << "A?" << false << QByteArray();
    QTest::newRow("hash") << "#" << false << QByteArray();
    QTest::newRow("list") << "[AB]" << false << QByteArray();
}

void tst_FilterPattern::isLiteral()
{
    QFETCH(QString, typed);
    QFETCH(bool, literal);
    QFETCH(QByteArray, needle);
    const FilterPattern pattern = FilterPattern::compile(typed);
    QCOMPARE(pattern.isLiteral(), literal);
    if (literal)
        QCOMPARE(QByteArray::fromStdString(pattern.literal()), needle);
}

void tst_FilterPattern::longTextStaysValid_data()
{
    QTest::addColumn<QString>("typed");
    QTest::newRow("hashes") << QString(9000, QLatin1Char('#'));
    QTest::newRow("wide range lists")
        << QString::fromUtf8("[!\x01-\xF4\x8F\xBF\xBF]").repeated(1000);
    QTest::newRow("quotes and brackets") << QStringLiteral("'[]*?[").repeated(1500);
}

// SQLite refuses GLOB patterns over 50000 bytes; the documented size bound keeps
// a box capped below 10000 characters safe.
void tst_FilterPattern::longTextStaysValid()
{
    QFETCH(QString, typed);
    const QString glob = FilterPattern::compile(typed).toGlob();
    QVERIFY(glob.toUtf8().size() <= 5 * typed.size() + 2);

    DbPtr db = openMemory();
    QVERIFY2(sqlMatch(db.get(), QStringLiteral("abc"), glob).has_value(), sqlite3_errmsg(db.get()));
}

void tst_FilterPattern::narrow_data()
{
    QTest::addColumn<QStringList>("texts"); // a null entry is a null field
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected"); // one '1' or '0' per text

    const QString null;
    QTest::newRow("not across texts") << QStringList{"ab", "cd", "bc"} << "BC"
                                      << "001";
    QTest::newRow("one byte not across") << QStringList{"a", "", "b"} << "[AB]"
                                         << "101";
    QTest::newRow("at the very end") << QStringList{"xab", "ab"} << "AB"
                                     << "11";
    QTest::newRow("empty text") << QStringList{"", "a"} << "A"
                                << "01";
    QTest::newRow("empty list matches empty") << QStringList{"", "a"} << "[]"
                                              << "11";
    QTest::newRow("null cleared beforehand") << QStringList{null, "a", ""} << "*"
                                             << "011";
    QTest::newRow("wildcards") << QStringList{"a1c", "abc", "ac", "xa9cx"} << "A#C"
                               << "1001";
    QTest::newRow("accents") << QStringList{QString::fromUtf8("Éa"), QString::fromUtf8("éa")}
                             << QString::fromUtf8("éA") << "01";
}

void tst_FilterPattern::narrow()
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
        got += k ? QLatin1Char('1') : QLatin1Char('0');
    QCOMPARE(got, expected);
}

void tst_FilterPattern::narrowEveryPlace_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArray>("needle");
    QTest::newRow("one byte") << "Q" << QByteArray("q");
    QTest::newRow("two bytes") << "QZ" << QByteArray("qz");
    QTest::newRow("three bytes") << "QWZ" << QByteArray("qwz");
    QTest::newRow("long") << "QWERTYUIOPQWERTYUIOP" << QByteArray("qwertyuiopqwertyuiop");
    QTest::newRow("wildcard") << "Q?Z" << QByteArray("qxz");
}

// Texts of many lengths with the needle at every place, cut short, or missing,
// for the whole-list scan and for the text-by-text path alike.
void tst_FilterPattern::narrowEveryPlace()
{
    QFETCH(QString, typed);
    QFETCH(QByteArray, needle);
    const FilterPattern pattern = FilterPattern::compile(typed);
    const std::string n = needle.toStdString();

    std::string buffer;
    std::vector<std::uint32_t> offsets;
    std::vector<bool> expected;
    auto add = [&](std::string text, bool match) {
        offsets.push_back(std::uint32_t(buffer.size()));
        buffer += text;
        expected.push_back(match);
    };
    for (std::size_t length = 0; length < 140; ++length) {
        add(std::string(length, 'x'), false);
        for (std::size_t at = 0; at + n.size() <= length; ++at)
            add(std::string(length, 'x').replace(at, n.size(), n), true);
        if (length >= n.size() && n.size() > 1) { // the needle cut short by the text's end
            const std::string head = n.substr(0, n.size() - 1);
            add(std::string(length, 'x').replace(length - head.size(), head.size(), head), false);
        }
    }
    offsets.push_back(std::uint32_t(buffer.size()));

    for (int every : {1, 9}) { // all rows kept, or few: the two ways of narrowing
        std::vector<std::uint8_t> keep(expected.size());
        for (std::size_t i = 0; i < keep.size(); i += every)
            keep[i] = 1;
        pattern.narrow(buffer, offsets, keep);
        for (std::size_t i = 0; i < keep.size(); ++i) {
            const bool want = i % every == 0 && expected[i];
            QVERIFY2(bool(keep[i]) == want,
                     qPrintable(QStringLiteral("row %1, every %2").arg(i).arg(every)));
            const std::string_view text(buffer.data() + offsets[i], offsets[i + 1] - offsets[i]);
            QCOMPARE(pattern.matchesFolded(text), bool(expected[i]));
        }
    }
}

namespace {

// A table of random texts in SQLite and the same texts folded in memory.
struct Sample
{
    DbPtr db = openMemory();
    std::vector<std::optional<std::string>> folded;
    std::string buffer; // the folded texts back to back, nulls as empty texts
    std::vector<std::uint32_t> offsets;
};

void fillSample(Sample &sample, QRandomGenerator &rng, int rows)
{
    const QString textChars = QString::fromUtf8("aAbBcCzZxy09 5#*?[]!-^'_\\`éÉßÄ€\xF0\x9F\x98\x80");
    sqlite3 *db = sample.db.get();
    sqlite3_exec(db, "CREATE TABLE t(id INTEGER PRIMARY KEY, s TEXT)", nullptr, nullptr, nullptr);
    StmtPtr insert = prepare(db, "INSERT INTO t(id, s) VALUES(?1, ?2)");
    for (int id = 0; id < rows; ++id) {
        sqlite3_reset(insert.get());
        sqlite3_bind_int(insert.get(), 1, id);
        sample.offsets.push_back(std::uint32_t(sample.buffer.size()));
        if (rng.bounded(20) == 0) {
            sqlite3_bind_null(insert.get(), 2);
            sample.folded.emplace_back();
        } else {
            const QString text = randomText(rng, textChars, rng.bounded(10) ? 16 : 90);
            bindText(insert.get(), 2, text.toUtf8());
            sample.folded.emplace_back(FilterPattern::fold(text));
            sample.buffer += *sample.folded.back();
        }
        if (sqlite3_step(insert.get()) != SQLITE_DONE)
            qFatal("insert failed");
    }
    sample.offsets.push_back(std::uint32_t(sample.buffer.size()));
}

std::set<int> selectBySql(sqlite3_stmt *query, const QString &glob, bool *ok)
{
    std::set<int> ids;
    sqlite3_reset(query);
    bindText(query, 1, glob.toUtf8());
    int rc;
    while ((rc = sqlite3_step(query)) == SQLITE_ROW)
        ids.insert(sqlite3_column_int(query, 0));
    *ok = rc == SQLITE_DONE;
    return ids;
}

// Rows where the two sets disagree, as text for a failure message.
QString firstDifference(const Sample &sample, const std::set<int> &bySql,
                        const std::set<int> &byMatcher)
{
    std::vector<int> diff;
    std::set_symmetric_difference(bySql.begin(), bySql.end(), byMatcher.begin(), byMatcher.end(),
                                  std::back_inserter(diff));
    if (diff.empty())
        return {};
    const int id = diff.front();
    return QStringLiteral("row %1 [%2]: SQL %3, matcher %4")
        .arg(id)
        .arg(QString::fromStdString(sample.folded[id].value_or("(null)")))
        .arg(bySql.count(id))
        .arg(byMatcher.count(id));
}

} // namespace

// Both paths must select the same rows for any typed text; a fixed seed keeps a
// failure reproducible.
void tst_FilterPattern::randomAgreesWithSqlite()
{
    const quint32 seed = 20240611;
    qInfo("seed %u", seed);
    QRandomGenerator rng(seed);
    Sample sample;
    fillSample(sample, rng, 3000);
    const int rows = int(sample.folded.size());

    // fold() must be exactly SQLite's lower().
    StmtPtr lower = prepare(sample.db.get(), "SELECT id, lower(s) FROM t WHERE s IS NOT NULL");
    while (sqlite3_step(lower.get()) == SQLITE_ROW) {
        const int id = sqlite3_column_int(lower.get(), 0);
        const auto text = reinterpret_cast<const char *>(sqlite3_column_text(lower.get(), 1));
        QCOMPARE(QByteArray(text), QByteArray::fromStdString(*sample.folded[id]));
    }

    StmtPtr query = prepare(sample.db.get(), "SELECT id FROM t WHERE lower(s) GLOB ?1");
    for (int round = 0; round < 600; ++round) {
        const QString typed = randomTyped(rng);
        const FilterPattern pattern = FilterPattern::compile(typed);
        const QString glob = pattern.toGlob();
        const QString where = QStringLiteral("seed %1 round %2 typed [%3] glob [%4]: ")
                                  .arg(seed)
                                  .arg(round)
                                  .arg(typed, glob);
        QVERIFY2(glob.toUtf8().size() <= 5 * typed.size() + 2, qPrintable(where));

        bool ok = false;
        const std::set<int> bySql = selectBySql(query.get(), glob, &ok);
        QVERIFY2(ok, qPrintable(where + QStringLiteral("SQL error")));

        std::set<int> byRow;
        for (int id = 0; id < rows; ++id) {
            if (sample.folded[id] && pattern.matchesFolded(*sample.folded[id]))
                byRow.insert(id);
        }
        QString diff = firstDifference(sample, bySql, byRow);
        QVERIFY2(diff.isEmpty(), qPrintable(where + diff));

        // Whole-list narrowing, with every row a candidate and with few.
        for (int every : {1, 7}) {
            std::vector<std::uint8_t> keep(rows);
            std::set<int> wanted;
            for (int id = 0; id < rows; id += every) {
                keep[id] = sample.folded[id].has_value();
                if (bySql.count(id))
                    wanted.insert(id);
            }
            pattern.narrow(sample.buffer, sample.offsets, keep);
            std::set<int> byNarrow;
            for (int id = 0; id < rows; ++id) {
                if (keep[id])
                    byNarrow.insert(id);
            }
            diff = firstDifference(sample, wanted, byNarrow);
            QVERIFY2(diff.isEmpty(), qPrintable(where + QStringLiteral("narrow: ") + diff));
        }
    }
}

QTEST_GUILESS_MAIN(tst_FilterPattern)
#include "tst_filterpattern.moc"
