// The list query: its SQL on either engine and the in-memory index must
// select the same documents in the same order.
#include "support/TestSupport.h"

#include "main/DocumentIndex.h"
#include "main/DocumentIndexService.h"
#include "main/DocumentQuery.h"
#include "store/Recordset.h"

#include <QRandomGenerator>
#include <QScopeGuard>

using namespace qs;
using namespace qs::test;

namespace {

const QDate kToday(2026, 12, 4);

std::vector<qint64> bySql(Database &db, const DocumentQuery &q)
{
    std::vector<qint64> keys;
    const Status s = db.queryKeys(DocumentListSource(q).keyStatement(db.dialect()), keys);
    if (!s)
        qWarning() << s.message();
    return keys;
}

std::vector<qint64> byIndex(Database &db, const DocumentQuery &q)
{
    auto index = DocumentIndex::load(db);
    std::vector<qint64> keys;
    if (index)
        index.value()->select(q, keys);
    return keys;
}

QList<int> ids(Database &db, const std::vector<qint64> &keys)
{
    QList<int> out;
    for (const qint64 k : keys) {
        auto rows = db.query({QStringLiteral("SELECT ID FROM Documents WHERE RecordPtr = ?"), {k}});
        out << (rows && !rows->empty() ? rows->front().values.value(0).toInt() : -1);
    }
    return out;
}

} // namespace

class tst_DocumentQuery : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestFolder> folder;
    std::unique_ptr<Database> db;
    qint16 lease = 0;

    void seedKnown()
    {
        lease = addType(*db, QStringLiteral("Lease"));
        addType(*db, QStringLiteral("Tax"));
        addDocument(*db, {1, QStringLiteral("Lease of the shop"), lease, QDate(2026, 11, 20),
                          QStringLiteral("First Bank"), QStringLiteral("Roof repaired")});
        addDocument(*db, {2, QStringLiteral("Tax return"), 0, QDate(2025, 12, 4),
                          QStringLiteral("Revenue"), QStringLiteral("filed")});
        addDocument(*db, {3, QStringLiteral("lease renewal"), lease, QDate(2025, 12, 5),
                          QStringLiteral("bank of Lyon"), QStringLiteral("no roof")});
        addDocument(*db, {4, QStringLiteral("Invoice 100% paid"), 0, QVariant(),
                          QStringLiteral("O'Neil"), QStringLiteral("[draft] a_b")});
        addDocument(*db, {5, QStringLiteral("Car lease"), lease, QDate(2026, 11, 4),
                          QStringLiteral("Banker's Trust"), QString()});
    }

private Q_SLOTS:
    void init()
    {
        folder = std::make_unique<TestFolder>();
        db = makeDatabase(QStringLiteral("Qsk.MDB"));
        QVERIFY(db);
    }
    void cleanup()
    {
        db.reset();
        folder.reset();
    }

    void knownFilters_data()
    {
        QTest::addColumn<bool>("on");
        QTest::addColumn<QString>("desc");
        QTest::addColumn<QString>("who");
        QTest::addColumn<QString>("note");
        QTest::addColumn<int>("date");
        QTest::addColumn<bool>("typed"); // filter by the "Lease" type
        QTest::addColumn<int>("order");
        QTest::addColumn<QList<int>>("expected");
        const int idDesc = int(ListOrder::IdDescending);
        QTest::newRow("box not ticked") << false << "LEASE"
                                        << ""
                                        << "" << 0 << true << idDesc << QList<int>{5, 4, 3, 2, 1};
        QTest::newRow("ticked, all empty")
            << true << ""
            << ""
            << "" << 0 << false << idDesc << QList<int>{5, 4, 3, 2, 1};
        QTest::newRow("blanks only add nothing")
            << true << "   "
            << " "
            << "  " << 0 << false << idDesc << QList<int>{5, 4, 3, 2, 1};
        QTest::newRow("who BANK") << true << ""
                                  << "BANK"
                                  << "" << 0 << false << idDesc << QList<int>{5, 3, 1};
        QTest::newRow("desc LEASE and note ROOF")
            << true << "LEASE"
            << ""
            << "ROOF" << 0 << false << idDesc << QList<int>{3, 1};
        QTest::newRow("note alone") << true << ""
                                    << ""
                                    << "ROOF" << 0 << false << idDesc << QList<int>{3, 1};
        QTest::newRow("last 30 days") << true << ""
                                      << ""
                                      << "" << 1 << false << idDesc << QList<int>{1};
        QTest::newRow("LEASE, last year, type") << true << "LEASE"
                                                << ""
                                                << "" << 4 << true << idDesc << QList<int>{5, 3, 1};
        QTest::newRow("type only") << true << ""
                                   << ""
                                   << "" << 0 << true << idDesc << QList<int>{5, 3, 1};
        QTest::newRow("no date") << true << ""
                                 << ""
                                 << "" << 5 << false << idDesc << QList<int>{4};
        QTest::newRow("by description")
            << true << "lease"
            << ""
            << "" << 0 << false << int(ListOrder::Description) << QList<int>{5, 1, 3};
        QTest::newRow("by ID") << true << "lease"
                               << ""
                               << "" << 0 << false << int(ListOrder::Id) << QList<int>{1, 3, 5};
        QTest::newRow("single quote") << true << ""
                                      << "O'N"
                                      << "" << 0 << false << idDesc << QList<int>{4};
        QTest::newRow("quote in each box") << true << "'"
                                           << "'"
                                           << "'" << 0 << false << idDesc << QList<int>{};
        QTest::newRow("unbalanced bracket") << true << ""
                                            << ""
                                            << "[DRAFT" << 0 << false << idDesc << QList<int>{4};
        QTest::newRow("bracket list") << true << "[CT]a"
                                      << ""
                                      << "" << 0 << false << idDesc << QList<int>{5, 2};
        QTest::newRow("star and question") << true << "L*S?"
                                           << ""
                                           << "" << 0 << false << idDesc << QList<int>{5, 3, 1};
        QTest::newRow("digit") << true << "E #"
                               << ""
                               << "" << 0 << false << idDesc << QList<int>{4};
        QTest::newRow("percent and underscore are literal")
            << true << "0%"
            << ""
            << "A_B" << 0 << false << idDesc << QList<int>{4};
        QTest::newRow("percent is no wildcard") << true << "%"
                                                << ""
                                                << "" << 0 << false << idDesc << QList<int>{4};
    }
    void knownFilters()
    {
        QFETCH(bool, on);
        QFETCH(QString, desc);
        QFETCH(QString, who);
        QFETCH(QString, note);
        QFETCH(int, date);
        QFETCH(bool, typed);
        QFETCH(int, order);
        QFETCH(QList<int>, expected);
        seedKnown();
        DocumentQuery q;
        q.filterOn = on;
        q.description = desc;
        q.who = who;
        q.note = note;
        q.dateEntry = date;
        q.typeKey = typed ? lease : 0;
        q.today = kToday;
        q.order = ListOrder(order);
        QCOMPARE(ids(*db, bySql(*db, q)), expected);
        QCOMPARE(ids(*db, byIndex(*db, q)), expected);
    }

    void lastYearCountsDaysNotCalendarYears()
    {
        addDocument(*db, {1, QStringLiteral("on the threshold"), 0, QDate(2023, 3, 2)});
        addDocument(*db, {2, QStringLiteral("a day later"), 0, QDate(2023, 3, 3)});
        DocumentQuery q;
        q.filterOn = true;
        q.dateEntry = LastYear;
        q.today = QDate(2024, 3, 1); // a leap year: 365 days back is 3/2/2023
        QCOMPARE(ids(*db, bySql(*db, q)), QList<int>{2});
        QCOMPARE(ids(*db, byIndex(*db, q)), QList<int>{2});
    }

    void orderClauseIsReadLeniently_data()
    {
        QTest::addColumn<QString>("clause");
        QTest::addColumn<int>("order");
        QTest::newRow("ID DESC") << "ID DESC" << int(ListOrder::IdDescending);
        QTest::newRow("description") << "description" << int(ListOrder::Description);
        QTest::newRow("blanks") << "  id " << int(ListOrder::Id);
        QTest::newRow("other") << "Who" << int(ListOrder::IdDescending);
        QTest::newRow("SQL") << "ID; DELETE FROM Documents" << int(ListOrder::IdDescending);
    }
    void orderClauseIsReadLeniently()
    {
        QFETCH(QString, clause);
        QFETCH(int, order);
        QCOMPARE(int(orderFromClause(clause)), order);
    }

    // Random documents and random filters: both paths agree exactly, also
    // after rows are added, changed and deleted one by one, and while a box's
    // text grows a character at a time (each keystroke narrows the last
    // result). In a file, stored text holds NUL bytes and malformed UTF-8 as
    // other tools may leave it. On the server the same rows go into a file as
    // well, and the file's SQL must agree too. The rows after the first run
    // the paths of another processor or of a large table.
    void sqlAndIndexAgreeOnRandomData_data()
    {
        QTest::addColumn<int>("splitAt");
        QTest::addColumn<int>("vectorBits");
        QTest::newRow("as configured") << 200000 << -1;
        QTest::newRow("both cores, 512-bit") << 128 << 512;
        QTest::newRow("both cores, 256-bit") << 128 << 256;
        QTest::newRow("both cores, bytewise") << 128 << 0;
    }
    void sqlAndIndexAgreeOnRandomData()
    {
        QFETCH(int, splitAt);
        QFETCH(int, vectorBits);
        const bool inFile = db->dialect() == SqlDialect::SQLite;
        if (!inFile && splitAt != 200000)
            QSKIP("The index's own paths are covered on the file.");
        // Past the first row, narrowing also tests the previous matches one
        // by one where they are many.
        DocumentIndex::setTuning({size_t(splitAt), vectorBits, splitAt == 200000 ? 32u : 2u});
        const auto restore = qScopeGuard([] { DocumentIndex::setTuning({}); });
        QRandomGenerator gen(20261206);
        std::unique_ptr<Database> file;
        if (db->dialect() != SqlDialect::SQLite) {
            const QString path = folder->file(QStringLiteral("Mirror.MDB"));
            QVERIFY(QFile::copy(templatePath(), path));
            QFile::setPermissions(path, QFile::permissions(path) | QFile::WriteOwner);
            auto mirror = openSqliteDatabase(path);
            QVERIFY(mirror);
            file = std::move(mirror.value());
        }
        // Every write goes to both databases, which therefore give the same keys.
        bool written = true;
        const auto write = [&](const Statement &st) {
            written = db->exec(st) && (!file || file->exec(st)) && written;
            return db->lastInsertKey();
        };
        const QStringList words = {"Lease",  "LEASE",  "lease",  "Invoice", "tax",    "Bank",
                                   "roof",   "O'Neil", "a*b",    "x?y",     "[no]",   "100%",
                                   "a_b",    "éclair", "Ölberg", "#1",      "  lead", "trail  ",
                                   "Zeta",   "le",     "a.b",    "(x|y)",   "c:\\d",  "^top$",
                                   "-dash-", "ü",      "{2}",    "Ω",       "É"};
        auto text = [&]() -> QVariant {
            if (gen.bounded(15) == 0)
                return {};
            QString s;
            const int n = int(gen.bounded(4));
            for (int i = 0; i < n; ++i)
                s += (i ? QStringLiteral(" ") : QString()) + words[int(gen.bounded(words.size()))];
            return s;
        };
        // Bytes that no QString gives: NULs, stray and overlong sequences,
        // surrogates, U+FFFE; appended to stored text by the engine itself.
        if (inFile) {
            QVERIFY(db->exec(
                {QStringLiteral("CREATE TEMP TABLE Raw (id INTEGER PRIMARY KEY, v BLOB)"), {}}));
            QVERIFY(db->exec(
                {QStringLiteral(
                     "INSERT INTO Raw (v) VALUES (X'00'), (X'004C45'), (X'4C4500'), (X'C3A9A9'), "
                     "(X'E083A9'), (X'80'), (X'FF'), (X'C3'), (X'EFBFBE'), (X'EDA080'), "
                     "(X'C3A9'), (X'6CC3A9'), (X'4C45C3A9A9'), (X'00C3A9')"),
                 {}}));
        }
        const int rawPieces = 14;
        const QStringList fields = {"Description", "Who", "Note"};
        auto plantRaw = [&](qint64 key) {
            for (const QString &field : fields)
                if (inFile && gen.bounded(4) == 0)
                    written =
                        db->exec(
                            {QStringLiteral("UPDATE Documents SET %1 = CAST(coalesce(%1, '') || "
                                            "(SELECT v FROM Raw WHERE id = ?) || ? AS TEXT) "
                                            "WHERE RecordPtr = ?")
                                 .arg(field),
                             {1 + int(gen.bounded(rawPieces)),
                              gen.bounded(2) ? QStringLiteral("ase") : QString(), key}}) &&
                        written;
        };
        QList<qint16> types = {0};
        for (int i = 0; i < 5; ++i)
            types << qint16(write({QStringLiteral("INSERT INTO Types (Type) VALUES (?)"),
                                   {QStringLiteral("T%1").arg(i)}}));
        auto addRandom = [&] {
            const QVariant date = gen.bounded(10) == 0
                                      ? QVariant()
                                      : QVariant(kToday.addDays(-qint64(gen.bounded(800))));
            const QVariant id = gen.bounded(30) == 0 ? QVariant() : QVariant(int(gen.bounded(300)));
            const qint64 key =
                write({QStringLiteral("INSERT INTO Documents (ID, Description, DocumentType, "
                                      "Date, Who, Note) VALUES (?, ?, ?, ?, ?, ?)"),
                       {id, text(), types[int(gen.bounded(types.size()))], date, text(), text()}});
            plantRaw(key);
            return key;
        };
        {
            Transaction t(*db);
            for (int i = 0; i < 1500; ++i)
                addRandom();
            QVERIFY(t.commit());
        }
        QVERIFY(written);
        const QStringList pieces = {
            "l",   "LE",  "lea",  "ease",   "e ",    "'",    "[",      "[!a]",  "[a-c]e",  "*",
            "?",   "#",   "o'n",  "%",      "_",     "é",    "Ö",      "ö",     "i?v",     "*a*e*",
            "[]",  "[!]", "]",    "-",      "ta*",   "   ",  ".",      "a.b",   "(X|Y)",   "\\",
            "^",   "$",   "[.^]", "[!-a]",  "[z-a]", "[\\]", "[*?#]",  "[ö-ü]", "[!a-z ]", "{2}",
            "[^]", "?Ω",  "É",    "\uFFFD", "[é]",   "?é",   "e\uFFFD"};
        // What a keystroke adds to a box.
        const QStringList keys = {"A", "E", "S", "L", " ", "?", "*",
                                  "[", "]", "!", "#", "-", "é", "\uFFFD"};
        const QStringList targets = {"LEASE", "LEASE INVOICE", "ÉCLAIR", "LE[A]SE", "[!X]EA",
                                     "L?A",   "INVOICE TAX",   "BANK",   "O'NEIL",  "ZETA",
                                     "É",     "100%",          "LEAD",   "E\uFFFD", "A*B"};
        QString target;
        int typingBox = 0;
        auto randomQuery = [&] {
            DocumentQuery q;
            q.filterOn = gen.bounded(8) != 0;
            auto pick = [&]() -> QString {
                return gen.bounded(2) ? QString() : pieces[int(gen.bounded(pieces.size()))];
            };
            q.description = pick();
            q.who = pick();
            q.note = pick();
            q.dateEntry = int(gen.bounded(7)) - 1;
            q.typeKey = gen.bounded(3) == 0 ? types[int(gen.bounded(types.size()))] : 0;
            q.today = kToday;
            q.order = ListOrder(gen.bounded(3));
            return q;
        };
        auto index = DocumentIndex::load(*db);
        QVERIFY(index);
        DocumentQuery q = randomQuery();
        for (int round = 0; round < 800; ++round) {
            if (gen.bounded(3) == 0) {
                q = randomQuery();
            } else {
                // Type into one box, as a user does: mostly the next letter
                // of a word, now and then another key.
                q.filterOn = true;
                QString &box = typingBox == 0 ? q.description : typingBox == 1 ? q.who : q.note;
                if (!target.startsWith(box) || box.size() >= target.size()) {
                    typingBox = int(gen.bounded(3));
                    target = targets[int(gen.bounded(targets.size()))];
                    (typingBox == 0 ? q.description : typingBox == 1 ? q.who : q.note).clear();
                    continue;
                }
                box += gen.bounded(6) ? target.mid(box.size(), 1)
                                      : keys[int(gen.bounded(keys.size()))];
            }
            std::vector<qint64> memory;
            index.value()->select(q, memory);
            const auto sql = bySql(*db, q);
            const auto what = QStringLiteral("round %1: '%2' '%3' '%4' date %5 type %6 order %7")
                                  .arg(round)
                                  .arg(q.description, q.who, q.note)
                                  .arg(q.dateEntry)
                                  .arg(q.typeKey)
                                  .arg(int(q.order));
            QVERIFY2(memory == sql, qPrintable(what));
            if (file)
                QVERIFY2(bySql(*file, q) == sql, qPrintable(what));
            if (gen.bounded(3) != 0)
                continue;
            // Change the data a little and let the index follow row by row.
            const qint64 key = 1 + qint64(gen.bounded(1500));
            switch (gen.bounded(3)) {
            case 0:
                write({QStringLiteral("UPDATE Documents SET Description = ?, Note = ?, ID = ? "
                                      "WHERE RecordPtr = ?"),
                       {text(), text(), int(gen.bounded(300)), key}});
                plantRaw(key);
                QVERIFY(index.value()->refreshRow(*db, key));
                break;
            case 1:
                write({QStringLiteral("DELETE FROM Documents WHERE RecordPtr = ?"), {key}});
                QVERIFY(index.value()->refreshRow(*db, key));
                break;
            default:
                QVERIFY(index.value()->refreshRow(*db, addRandom()));
            }
            QVERIFY(written);
        }
    }

    // The index follows this program's writes at once and catches up with
    // other connections' writes in the background, SQL answering meanwhile.
    void indexFollowsEveryWriter()
    {
        seedKnown();
        DocumentIndexService service(*db);
        service.start();
        service.waitUntilReady();
        DocumentQuery q;
        q.filterOn = true;
        q.description = QStringLiteral("lease");
        std::vector<qint64> keys;
        QVERIFY(service.select(q, keys));
        QCOMPARE(keys.size(), size_t(3));

        auto rs = db->openDynaset(std::make_shared<DocumentListSource>(q));
        QVERIFY(rs->addNew());
        QVERIFY(rs->setValue(QStringLiteral("ID"), 6));
        QVERIFY(rs->setValue(QStringLiteral("Description"), QStringLiteral("Lease six")));
        QVERIFY(rs->update());
        QVERIFY(service.select(q, keys));
        QCOMPARE(ids(*db, keys), QList<int>({6, 5, 3, 1}));
        rs->moveFirst();
        QVERIFY(rs->deleteCurrent()); // ID 5
        QVERIFY(service.select(q, keys));
        QCOMPARE(ids(*db, keys), QList<int>({6, 3, 1}));

        if (db->dialect() != SqlDialect::SQLite)
            return; // the server's change notices are followed elsewhere
        auto other = db->opener()();
        QVERIFY(other);
        QVERIFY(other.value()->exec(
            {QStringLiteral("INSERT INTO Documents (ID, Description) VALUES (7, 'lease 7')"), {}}));
        QVERIFY(!service.select(q, keys)); // catching up
        service.waitUntilReady();
        QVERIFY(service.select(q, keys));
        QCOMPARE(ids(*db, keys), QList<int>({7, 6, 3, 1}));

        // A write of this connection that no record set announced.
        QVERIFY(db->exec(
            {QStringLiteral("INSERT INTO Documents (ID, Description) VALUES (8, 'lease 8')"), {}}));
        QVERIFY(!service.select(q, keys));
        service.waitUntilReady();
        QVERIFY(service.select(q, keys));
        QCOMPARE(ids(*db, keys), QList<int>({8, 7, 6, 3, 1}));
        QCOMPARE(keys, bySql(*db, q));
    }

    void valuesOnlySqlCanOrderLeaveTheIndexOut()
    {
        if (db->dialect() != SqlDialect::SQLite)
            QSKIP("The server's ID column holds whole numbers only.");
        QVERIFY(db->exec(
            {QStringLiteral("INSERT INTO Documents (ID, Description) VALUES ('abc', 'x')"), {}}));
        QVERIFY(!DocumentIndex::load(*db).ok());
    }
};

QSK_TEST_MAIN_EVERY_ENGINE(tst_DocumentQuery)
#include "tst_documentquery.moc"
