// Completion of descriptions and names from the stored records.
#include "support/TestSupport.h"

#include "store/Completion.h"
#include "store/Recordset.h"
#include "store/Schema.h"
#include "store/modRoutines.h"

#include <QRandomGenerator>

using namespace qs;
using namespace qs::test;

namespace {

// The completion as a plain walk over the index from the seek position,
// written out step by step; the routine under test must agree with it.
Completion walkedCompletion(Recordset &set, const QString &field, const QString &t, int selStart,
                            int selLength)
{
    Completion result{t, selStart, selLength, false};
    if (t.size() <= 2 || selStart != t.size())
        return result;
    if (!set.seek(SeekOp::Greater, t) || set.noMatch())
        return result;
    qint64 bestKey = 0;
    QString best;
    while (!set.eof()) {
        const QString value = set.value(field).toString();
        if (value.left(t.size()).toUpper() != t.toUpper())
            break;
        const qint64 key = set.value(QStringLiteral("RecordPtr")).toLongLong();
        if (key > bestKey) {
            bestKey = key;
            best = value;
        }
        set.moveNext();
    }
    if (fnTrimTrailing(best).size() > fnTrimTrailing(t).size()) {
        result.text = best;
        result.selLength = int(best.size()) - selStart;
        result.completed = true;
    }
    return result;
}

template <typename... Values> void row(const char *name, Values... values)
{
    (QTest::newRow(name) << ... << values);
}

} // namespace

class tst_Completion : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void description_data()
    {
        QTest::addColumn<QStringList>("stored"); // oldest first
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("caret");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("selStart");
        QTest::addColumn<int>("selLength");

        const QStringList inv = {"Invoice", "Invitation"};
        row("newest wins", inv, "inv", 3, "Invitation", 3, 7);
        row("older one when only it fits", inv, "invo", 4, "Invoice", 4, 3);
        row("stored case kept", inv, "INVI", 4, "Invitation", 4, 6);
        row("two characters", inv, "in", 2, "in", 2, 0);
        row("caret inside", inv, "inv", 2, "inv", 2, 0);
        row("no candidate", inv, "xyz", 3, "xyz", 3, 0);
        row("equal text is no candidate", QStringList{"Invoice"}, "invoice", 7, "invoice", 7, 0);
        row("newest no longer once trimmed", QStringList{"Invoice", "inv   "}, "inv", 3, "inv", 3,
            0);
        row("trailing blanks typed", QStringList{"inv x", "Invoice"}, "inv ", 4, "inv x", 4, 1);
        row("newest longer with blanks", QStringList{"Invoice", "Inv no 7  "}, "inv", 3,
            "Inv no 7  ", 3, 7);
        row("like wildcards are plain text", QStringList{"50% off", "50_50", "5000"}, "50%", 3,
            "50% off", 3, 4);
        row("quote", QStringList{"O'Brien letter"}, "o'b", 3, "O'Brien letter", 3, 11);
        row("neighbours outside the prefix",
            QStringList{"Invoice", "Inu", "Inw", "Invitation", "Inz"}, "inv", 3, "Invitation", 3,
            7);
        row("empty value never offered", QStringList{"", "Invoice"}, "inv", 3, "Invoice", 3, 4);
    }

    void description()
    {
        QFETCH(QStringList, stored);
        QFETCH(QString, typed);
        QFETCH(int, caret);
        QFETCH(QString, text);
        QFETCH(int, selStart);
        QFETCH(int, selLength);

        TestFolder folder;
        auto db = makeDatabase(folder.file("Qsk.MDB"));
        int id = 1;
        for (const QString &d : stored)
            QVERIFY(addDocument(*db, {id++, d, 0, QVariant(), QStringLiteral("w"), QString()}));
        auto set = db->openTable(schema::Documents);
        QVERIFY(set->setIndex(schema::IndexDescription));

        const Completion c = CompleteDescription(*set, typed, caret, 0);
        QCOMPARE(c.text, text);
        QCOMPARE(c.selStart, selStart);
        QCOMPARE(c.selLength, selLength);
        QCOMPARE(c.completed, text != typed);
    }

    void whoIsIndependentOfDescription()
    {
        TestFolder folder;
        auto db = makeDatabase(folder.file("Qsk.MDB"));
        addDocument(*db, {1, "Smithers memo", 0, QVariant(), "Bank of Springfield", ""});
        addDocument(*db, {2, "Bank statement", 0, QVariant(), "Smith, Ann", ""});
        auto who = db->openTable(schema::Documents);
        QVERIFY(who->setIndex(schema::IndexWho));
        QCOMPARE(CompleteWho(*who, "smi", 3, 0).text, QStringLiteral("Smith, Ann"));
        QCOMPARE(CompleteWho(*who, "ban", 3, 0).text, QStringLiteral("Bank of Springfield"));
        auto desc = db->openTable(schema::Documents);
        QVERIFY(desc->setIndex(schema::IndexDescription));
        QCOMPARE(CompleteDescription(*desc, "smi", 3, 0).text, QStringLiteral("Smithers memo"));
    }

    void agreesWithTheIndexWalk()
    {
        TestFolder folder;
        auto db = makeDatabase(folder.file("Qsk.MDB"));
        const QStringList words = {
            "inv",      "invoice", "INVITATION", "Inventory", "bank",          "Bankers",
            "ban",      "letter",  "Letterhead", "lease",     "LEASE renewal", "tax",
            "Tax 2020", "tax  ",   "a",          "ab",        "abc",           "abcd"};
        // Old values that the newest records no longer use, then many new ones.
        for (const char *rare : {"zebra crossing", "ZEBRA", "Zebra 12", "zeb", "Lease old"})
            QVERIFY(addDocument(*db, {0, rare, 0, QVariant(), rare, ""}));
        QRandomGenerator random(20261204);
        for (int i = 0; i < 3000; ++i) {
            QString d = words[int(random.bounded(int(words.size())))];
            if (random.bounded(3) == 0)
                d += QStringLiteral(" %1").arg(random.bounded(50));
            if (random.bounded(5) == 0)
                d = d.toUpper();
            if (random.bounded(7) == 0)
                d += QStringLiteral("  ");
            const QVariant value = random.bounded(40) == 0 ? QVariant() : QVariant(d);
            QVERIFY(db->exec({"INSERT INTO Documents (ID, Description, Who) VALUES (?, ?, ?)",
                              {i, value, value}}));
        }
        auto fast = db->openTable(schema::Documents);
        auto walk = db->openTable(schema::Documents);
        QVERIFY(fast->setIndex(schema::IndexDescription));
        QVERIFY(walk->setIndex(schema::IndexDescription));

        QStringList typed;
        for (const QString &w : words)
            for (int n = 3; n <= w.size() + 2; ++n)
                typed << (w + QStringLiteral(" 1")).left(n)
                      << (w + QStringLiteral(" 1")).left(n).toLower();
        typed << "zzz"
              << "   "
              << "ta "
              << "TAX 20"
              << "zeb"
              << "ZEBR"
              << "zebra "
              << "Zebra 1"
              << "lease o";
        int completed = 0;
        for (const QString &t : std::as_const(typed)) {
            const Completion a = CompleteDescription(*fast, t, int(t.size()), 0);
            const Completion b = walkedCompletion(*walk, "Description", t, int(t.size()), 0);
            QVERIFY2(
                a.text == b.text && a.selLength == b.selLength && a.completed == b.completed,
                qPrintable(QStringLiteral("typed '%1': '%2' against '%3'").arg(t, a.text, b.text)));
            completed += a.completed ? 1 : 0;
        }
        QVERIFY(completed > 10);
    }

    void oldValueBehindManyNewerRecords()
    {
        TestFolder folder;
        auto db = makeDatabase(folder.file("Qsk.MDB"));
        addDocument(*db, {1, "Invoice", 0, QVariant(), "Smith", ""});
        addDocument(*db, {2, "Inventory", 0, QVariant(), "Smithers", ""});
        QVERIFY(db->begin());
        for (int i = 0; i < 5000; ++i)
            addDocument(*db, {i + 3, "Letter", 0, QVariant(), "Jones", ""});
        QVERIFY(db->commit());
        auto set = db->openTable(schema::Documents);
        QVERIFY(set->setIndex(schema::IndexDescription));
        QCOMPARE(CompleteDescription(*set, "inv", 3, 0).text, QStringLiteral("Inventory"));
        QCOMPARE(CompleteDescription(*set, "invo", 4, 0).text, QStringLiteral("Invoice"));
        QCOMPARE(CompleteDescription(*set, "let", 3, 0).text, QStringLiteral("Letter"));
        // A value saved a moment ago is offered at once.
        addDocument(*db, {9000, "Inventory list", 0, QVariant(), "", ""});
        QCOMPARE(CompleteDescription(*set, "inv", 3, 0).text, QStringLiteral("Inventory list"));
        auto who = db->openTable(schema::Documents);
        QVERIFY(who->setIndex(schema::IndexWho));
        QCOMPARE(CompleteWho(*who, "smi", 3, 0).text, QStringLiteral("Smithers"));
    }

    void unknownFieldIsRefused()
    {
        TestFolder folder;
        auto db = makeDatabase(folder.file("Qsk.MDB"));
        QVERIFY(!fnCompletionCandidate(*db, "Note", "abc").ok());
        QVERIFY(!fnCompletionCandidate(*db, "Description; DROP TABLE Documents", "abc").ok());
    }
};

QSK_TEST_MAIN_EVERY_ENGINE(tst_Completion)
#include "tst_completion.moc"
