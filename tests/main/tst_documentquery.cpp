// The list query: its filter pattern, its SQL on either engine and the in-memory index must
// select the same documents in the same order.
#include "support/TestSupport.h"

#include "main/DocumentIndexService.h"
#include "main/FilterPattern.h"
#include "store/Recordset.h"
#include "support/SqliteGlob.h"

#include <QRandomGenerator>
#include <QScopeGuard>

using namespace qs;
using namespace qs::test;

Q_DECLARE_METATYPE(qs::DocumentQuery)
Q_DECLARE_METATYPE(qs::DocumentIndex::Tuning)

namespace {

using Keys = std::vector<qint64>;

// The keys a query selects, from `index` when one is given, else by SQL; a failed query answers
// {-1}, which no selection equals.
Keys selected(Database &db, const DocumentQuery &q, const DocumentIndex *index = nullptr)
{
    Keys keys;
    if (index)
        index->select(q, keys);
    else if (!db.queryKeys(DocumentListSource(q).keyStatement(db.dialect()), keys))
        keys = {-1};
    return keys;
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
        if (rng.bounded(3) != 0)
            out += randomPick(rng, loose);
        else {
            out += rng.bounded(3) == 0 ? "[!" : "[";
            for (int k = rng.bounded(5); k > 0; --k) {
                out += randomPick(rng, inList);
                if (rng.bounded(3) == 0)
                    out += u'-' + randomPick(rng, inList);
            }
            out += rng.bounded(8) != 0 ? "]" : "";
        }
    }
    return out;
}

template <typename... Values> void row(const char *name, Values... values)
{
    (QTest::newRow(name) << ... << values);
}

} // namespace

class tst_DocumentQuery : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestFolder> folder;
    std::unique_ptr<Database> db;

private Q_SLOTS:
    void init()
    {
        db.reset(); // the previous test's, before its folder goes
        folder.reset();
        folder = std::make_unique<TestFolder>();
        QVERIFY((db = makeDatabase(QStringLiteral("Qsk.MDB"))));
    }

    // The filter pattern: each row is checked in memory and in SQLite; a null text never matches.
    void patternMatches_data()
    {
        if (currentEngine() == Engine::Server)
            QSKIP("No database involved.");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("expected");
        row("substring any case", "LEASE", "Car lease 2020", true);
        row("empty list, empty text", "[]", "", true);
        row("negated empty list needs a char", "[!]", "", false);
        row("negated empty list", "[!]", "x", true);
        // How a list is read: "-" and "^" are plain where they cannot be a range or negation.
        row("dash last", "[A-]", "b", false);
        row("dash after a range", "[A-C-E]", "d", false);
        row("caret alone is plain", "[^]", "x", false);
        row("empty list then close", "[]]", "x", false);
        row("bang without close", "[!A", "x[!ay", true);
        row("hash is ASCII only", "#", "\xD9\xA3", false);
        row("literal hash not digit", "[#]", "1", false);
        row("unbalanced bracket", "A[B", "xa[by", true);
        row("unbalanced not a list", "A[B", "ab", false);
        row("backwards range", "[Z-X]", "y", true);
        row("negated letters both cases", "[!A-Z]", "abc", false);
        row("range over capitals, y", "[Z-a]", "y", false);
        row("range over capitals, bracket", "[Z-a]", "]", true);
        row("accent case kept", "É", "é", false);
        row("lone surrogate", QString(QChar(0xD800)), QString(QChar(0xD800)), true);
        // Both read as U+FFFD, by GLOB and by fold().
        row("noncharacters typed and stored", QStringLiteral("\uFFFE\uFFFF"),
            QStringLiteral("x\uFFFF\uFFFE"), true);
        row("many stars, no blow-up", "*A*A*A*A*A*A*A*A*A*A*A*A*B", QString(5000, u'a'), false);
        row("text ends at NUL", "CD", QString::fromUtf8("AB\0CD", 5), false);
        row("NUL typed is ignored", QString::fromUtf8("A\0B", 3), "xaby", true);
        row("null text, star", "*", QString(), false);
        // SQLite refuses GLOB patterns over 50000 bytes; the size bound keeps a box capped
        // below 10000 characters safe.
        row("long, hashes", QString(9000, u'#'), "abc", false);
        row("long, wide range lists", QString::fromUtf8("[!\x01-\xF4\x8F\xBF\xBF]").repeated(1000),
            "abc", false);
    }

    void patternMatches()
    {
        QFETCH(QString, typed);
        QFETCH(QString, text);
        const FilterPattern pattern = FilterPattern::compile(typed);
        QTEST(pattern.matches(text), "expected");
        QCOMPARE(sqliteGlob(text, pattern.toGlob()), std::optional<bool>(pattern.matches(text)));
    }

    // Random texts and typed text: SQLite's GLOB, the text-by-text match and the whole-list
    // narrowing select the same texts. A fixed seed keeps a failure reproducible.
    void patternAgreesWithSqliteOnRandomText()
    {
        if (currentEngine() == Engine::Server)
            QSKIP("No database involved.");
        QRandomGenerator rng(20240611);
        const QString textChars = QString::fromUtf8("aAbBcCzZxy09 5#*?[]!-^'_\\`@éÉßÄ€") + kEmoji;
        const int count = 1500;
        QStringList texts;
        // The folded texts back to back, nulls as empty texts, after text that is no one's.
        std::string buffer = "abcdefghijklmnopqrstuvwxyz0123456789";
        std::vector<std::uint32_t> offsets{std::uint32_t(buffer.size())};
        for (int i = 0; i < count; ++i) {
            QString text = rng.bounded(20) == 0 ? QString() : QStringLiteral("");
            for (int n = rng.bounded((rng.bounded(10) ? 16 : 90) + 1); n > 0 && !text.isNull(); --n)
                text += randomPick(rng, textChars);
            offsets.push_back(std::uint32_t((buffer += FilterPattern::fold(text)).size()));
            texts << text;
        }
        buffer += "abcdefghijklmnopqrstuvwxyz0123456789";
        for (int round = 0; round < 600; ++round) {
            const QString typed = randomTyped(rng);
            const FilterPattern pattern = FilterPattern::compile(typed);
            const QString glob = pattern.toGlob();
            const QByteArray what = (typed + QStringLiteral(" as ") + glob).toUtf8();
            QVERIFY2(glob.toUtf8().size() <= 5 * typed.size() + 2, what);
            std::vector<std::uint8_t> bySql(count);
            for (int i = 0; i < count; ++i) {
                bySql[i] = sqliteGlob(texts[i], glob).value_or(true);
                QVERIFY2(bool(bySql[i]) == pattern.matches(texts[i]), what);
            }
            for (int every : {1, 7}) { // every text a candidate, or few
                std::vector<std::uint8_t> keep(count), wanted(count);
                for (int i = 0; i < count; i += every) {
                    keep[i] = !texts[i].isNull();
                    wanted[i] = bySql[i];
                }
                pattern.narrow(buffer, offsets, keep);
                QVERIFY2(keep == wanted, what);
            }
        }
    }

    // Today is 3/1/2024, a leap year: 365 days back is 3/2/2023, a calendar year 3/1/2023.
    // Type 1 is "Lease" (the filter compares keys alone).
    void knownFilters_data()
    {
        QTest::addColumn<DocumentQuery>("q");
        QTest::addColumn<Keys>("expected");
        const auto f = [](const char *desc, const char *who, const char *note, int date = 0,
                          qint16 type = 0, const char *order = "ID DESC", bool on = true) {
            const ListOrder by = orderFromClause(QLatin1String(order));
            return DocumentQuery{on, desc, who, note, date, type, QDate(2024, 3, 1), by};
        };
        const Keys all = {5, 4, 3, 2, 1};
        row("box not ticked", f("LEASE", "", "", Last30, 1, "ID DESC", false), all);
        row("blanks only add nothing", f("   ", " ", "  "), all);
        row("who BANK", f("", "BANK", ""), Keys{5, 3, 1});
        row("desc and note", f("LEASE", "", "ROOF"), Keys{3, 1});
        row("last 30 days", f("", "", "", Last30), Keys{1});
        row("last year", f("", "", "", LastYear), Keys{5, 3, 1});
        row("no date", f("", "", "", NoDate), Keys{4});
        row("type", f("", "", "", 0, 1), Keys{5, 3, 1});
        row("by description", f("lease", "", "", 0, 0, "description"), Keys{5, 1, 3});
        row("by ID", f("lease", "", "", 0, 0, "  id "), Keys{1, 3, 5});
        row("other order", f("lease", "", "", 0, 0, "ID; DELETE FROM Documents"), Keys{5, 3, 1});
        row("% and _ are literal", f("%", "", "A_B"), Keys{4});
    }
    void knownFilters()
    {
        QFETCH(DocumentQuery, q);
        QFETCH(Keys, expected);
        // In a new database the keys are 1 to 5 as well.
        addDocument(*db, {1, "Lease of the shop", 1, QDate(2024, 2, 20), "First Bank", "Roof"});
        addDocument(*db, {2, "Tax return", 0, QDate(2023, 3, 2), "Revenue", "roof, axb"});
        addDocument(*db, {3, "lease renewal", 1, QDate(2023, 3, 3), "bank", "no roof"});
        addDocument(*db, {4, "Invoice 100% paid", 0, QVariant(), "O'Neil", "[draft] a_b"});
        addDocument(*db, {5, "Car lease", 1, QDate(2024, 1, 31), "Banker's", QString()});
        QCOMPARE(selected(*db, q), expected);
        auto index = DocumentIndex::load(*db);
        QVERIFY(index);
        QCOMPARE(selected(*db, q, index.value().get()), expected);
    }

    // Random documents and random filters: both paths agree exactly, also
    // after rows are added, changed and deleted one by one, and while a box's
    // text grows a character at a time (each keystroke narrows the last
    // result). In a file, stored text holds NUL bytes and malformed UTF-8 as
    // other tools may leave it. The rows after the first run the paths of
    // another processor or of a large table.
    void sqlAndIndexAgreeOnRandomData_data()
    {
        QTest::addColumn<DocumentIndex::Tuning>("tuning");
        row("as configured", DocumentIndex::Tuning{});
        row("both cores, 512-bit", DocumentIndex::Tuning{128, 512, 2});
        row("both cores, 256-bit", DocumentIndex::Tuning{128, 256, 2});
        row("both cores, bytewise", DocumentIndex::Tuning{128, 0, 2});
    }
    void sqlAndIndexAgreeOnRandomData()
    {
        QFETCH(DocumentIndex::Tuning, tuning);
        const bool inFile = db->dialect() == SqlDialect::SQLite;
        if (!inFile && tuning.splitAt != DocumentIndex::Tuning().splitAt)
            QSKIP("The index's own paths are covered on the file.");
        // Past the first row, narrowing also tests the previous matches one
        // by one where they are many.
        DocumentIndex::setTuning(tuning);
        const auto restore = qScopeGuard([] { DocumentIndex::setTuning({}); });
        QRandomGenerator gen(20261206);
        const auto list = [](const char *items) { return QString::fromUtf8(items).split(u','); };
        const auto pick = [&](const QStringList &of) { return of[int(gen.bounded(of.size()))]; };
        bool written = true;
        const auto write = [&](const Statement &st) {
            written = db->exec(st) && written;
            return db->lastInsertKey();
        };
        const QStringList words =
            list("Lease,LEASE,lease,Invoice,tax,Bank,roof,O'Neil,a*b,x?y,[no],100%,a_b,éclair,"
                 "Ölberg,#1,  lead,trail  ,Zeta,le,a.b,(x|y),c:\\d,^top$,-dash-,ü,{2},Ω,É");
        auto text = [&]() -> QVariant {
            const bool null = gen.bounded(15) == 0;
            QStringList s;
            for (int n = null ? 0 : int(gen.bounded(4)); n > 0; --n)
                s << pick(words);
            return null ? QVariant() : s.join(u' ');
        };
        // Bytes that no QString gives: NULs, stray and overlong sequences,
        // surrogates, U+FFFE; appended to stored text by the engine itself.
        const QStringList raw = list(
            "00,004C45,4C4500,C3A9A9,E083A9,80,FF,C3,EFBFBE,EDA080,C3A9,6CC3A9,4C45C3A9A9,00C3A9");
        auto plantRaw = [&](qint64 key) {
            for (const char *field : {"Description", "Who", "Note"})
                if (inFile && gen.bounded(4) == 0)
                    write({QStringLiteral("UPDATE Documents SET %1 = CAST(coalesce(%1, '') || "
                                          "X'%2' || ? AS TEXT) WHERE RecordPtr = ?")
                               .arg(QLatin1String(field), pick(raw)),
                           {gen.bounded(2) ? QStringLiteral("ase") : QString(), key}});
            return key;
        };
        auto addRandom = [&] {
            const QDate day = QDate(2026, 12, 4).addDays(-qint64(gen.bounded(800)));
            const QVariant date = gen.bounded(10) == 0 ? QVariant() : QVariant(day);
            const QVariant id = gen.bounded(30) == 0 ? QVariant() : QVariant(int(gen.bounded(300)));
            return plantRaw(write({"INSERT INTO Documents (ID, Description, DocumentType, Date, "
                                   "Who, Note) VALUES (?, ?, ?, ?, ?, ?)",
                                   {id, text(), int(gen.bounded(6)), date, text(), text()}}));
        };
        Transaction t(*db);
        for (int i = 0; i < 1500; ++i)
            addRandom();
        QVERIFY(t.commit() && written);
        const QStringList pieces =
            list("l,LE,lea,ease,e ,',[,[!a],[a-c]e,*,?,#,o'n,%,_,é,Ö,ö,i?v,*a*e*,[],[!],],-,ta*,   "
                 ",.,a.b,(X|Y),\\,^,$,[.^],[!-a],[z-a],[\\],[*?#],[ö-ü],[!a-z "
                 "],{2},[^],?Ω,É,\uFFFD,[é],?é,e\uFFFD");
        // What a keystroke adds to a box, now and then, instead of the next letter of a word.
        const QString keys = QStringLiteral("AESL ?*[]!#-\u00E9\uFFFD");
        // What is typed into a box; each "[" there may open a list a later keystroke closes.
        const QStringList targets = list("LEASE,LEASE INVOICE,ÉCLAIR,LE[A]SE,[!X]EA,L?A,INVOICE "
                                         "TAX,BANK,O'NEIL,ZETA,É,100%,LEAD,E\uFFFD,A*B");
        QString target;
        int typingBox = 0;
        // Braces evaluate in order, so the draws keep theirs; no type table is needed.
        auto randomQuery = [&] {
            const auto box = [&] { return gen.bounded(2) ? QString() : pick(pieces); };
            DocumentQuery q{gen.bounded(8) != 0, box(), box(), box(), 0, 0, QDate(2026, 12, 4)};
            q.dateEntry = int(gen.bounded(7)) - 1;
            q.typeKey = gen.bounded(3) == 0 ? qint16(gen.bounded(6)) : 0;
            q.order = ListOrder(gen.bounded(3));
            return q;
        };
        auto index = DocumentIndex::load(*db);
        QVERIFY(index);
        DocumentQuery q = randomQuery();
        QString *const boxes[] = {&q.description, &q.who, &q.note};
        for (int round = 0; round < 800; ++round) {
            // Or type into one box, as a user does: mostly the next letter of a word, now and
            // then another key.
            QString &box = *boxes[typingBox];
            q.filterOn = true;
            if (gen.bounded(3) == 0) {
                q = randomQuery();
            } else if (!target.startsWith(box) || box.size() >= target.size()) {
                typingBox = int(gen.bounded(3));
                target = pick(targets);
                boxes[typingBox]->clear();
                continue;
            } else
                box += gen.bounded(6) ? target.at(box.size()) : keys.at(gen.bounded(keys.size()));
            QVERIFY2(selected(*db, q, index.value().get()) == selected(*db, q),
                     "round " + QByteArray::number(round));
            if (gen.bounded(3) != 0)
                continue;
            // Change the data a little and let the index follow row by row.
            qint64 key = 1 + qint64(gen.bounded(1500));
            if (const quint32 change = gen.bounded(3); change == 0) {
                write({QStringLiteral("UPDATE Documents SET Description = ?, Note = ?, ID = ? "
                                      "WHERE RecordPtr = ?"),
                       {text(), text(), int(gen.bounded(300)), key}});
                plantRaw(key);
            } else if (change == 1)
                write({QStringLiteral("DELETE FROM Documents WHERE RecordPtr = ?"), {key}});
            else
                key = addRandom();
            QVERIFY(index.value()->refreshRow(*db, key) && written);
        }
    }

    // The index follows this program's writes at once and catches up with
    // other connections' writes in the background, SQL answering meanwhile.
    void indexFollowsEveryWriter()
    {
        for (int id = 1; id <= 3; ++id)
            addDocument(*db, {id, QStringLiteral("lease %1").arg(id)});
        DocumentIndexService service(*db);
        service.start();
        service.waitUntilReady();
        const DocumentQuery q{true, QStringLiteral("LEASE"), {}, {}, DateAll, 0, {}};
        // The service answers as SQL does, at once or (`atOnce` false) once it has caught up.
        const auto agrees = [&](bool atOnce) {
            std::vector<qint64> keys;
            const bool answered = service.select(q, keys);
            service.waitUntilReady();
            return answered == atOnce && (answered || service.select(q, keys)) &&
                   keys == selected(*db, q);
        };
        auto rs = db->openDynaset(std::make_shared<DocumentListSource>(q));
        QVERIFY(rs->addNew() && rs->setValue("ID", 6) && rs->setValue("Description", "Lease six") &&
                rs->update() && agrees(true));
        rs->moveLast();
        QVERIFY(rs->deleteCurrent() && agrees(true)); // ID 1
        if (db->dialect() != SqlDialect::SQLite)
            return; // the server's change notices are followed elsewhere
        auto other = db->opener()();
        QVERIFY(other);
        // Another connection's write, then one of this connection that no record set announced.
        for (Database *w : {other.value().get(), db.get()}) {
            QVERIFY(w->exec({"INSERT INTO Documents (ID, Description) VALUES (7, 'lease')", {}}));
            QVERIFY(agrees(false));
        }
    }

    void valuesOnlySqlCanOrderLeaveTheIndexOut()
    {
        if (db->dialect() != SqlDialect::SQLite)
            QSKIP("The server's ID column holds whole numbers only.");
        QVERIFY(db->exec({"INSERT INTO Documents (ID, Description) VALUES ('abc', 'x')", {}}));
        QVERIFY(!DocumentIndex::load(*db).ok());
    }
};

QSK_TEST_MAIN_EVERY_ENGINE(tst_DocumentQuery)
#include "tst_documentquery.moc"
