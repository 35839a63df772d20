// The editor's rules without a window: date entry, the number rules of saving a record and
// the completion of descriptions and names, on the file and on the test server.
#include "support/Rows.h"
#include "support/TestSupport.h"

#include "editor/DateRules.h"
#include "editor/RecordSave.h"
#include "store/Completion.h"
#include "store/Recordset.h"
#include "store/Schema.h"
#include "store/modRoutines.h"

#include <QRandomGenerator>

using namespace qs;
using namespace qs::test;

// A fixed "today" keeps every row independent of the machine's clock.
const QDate T(2026, 12, 4);

class tst_EditorRules : public QObject
{
    Q_OBJECT

    TestFolder m_folder;

private Q_SLOTS:
    void expandDate_data()
    {
        columns<QDate, QString, QString>("today", "typed", "expanded"); // typed: nothing fits

        // Keywords: whole text, any case; a blank next to the word spoils it.
        row("ToDaY", T, "ToDaY", "12/4/2026");
        row("nOw", T, "nOw", "12/4/2026");
        row("yesterday", T, "yesterday", "12/3/2026");
        row("ToMoRRoW", T, "ToMoRRoW", "12/5/2026");
        row("blank before keyword", T, " TODAY", " TODAY");
        row("look-alike letter", T, "yeſterday", "yeſterday");

        // Digits only: today's year, or the century by the pivot.
        row("MD", T, "53", "5/3/2026");
        row("MDD", T, "512", "5/12/2026");
        row("MMDD", T, "1225", "12/25/2026");
        row("MMDD in a leap year", QDate(2028, 6, 1), "0229", "2/29/2028");
        row("MDDYY", T, "10599", "1/5/1999");
        row("MMDDYY 29", T, "010129", "1/1/2029");
        row("MMDDYY 30", T, "010130", "1/1/1930");
        row("MMDDYYYY", T, "12311999", "12/31/1999");
        row("letters skipped", T, "Jan 5, 2020", "5/20/2020");
        row("month 13 digits", T, "1399", "1399");
        row("non-ASCII digits", T, "１２３１９９", "１２３１９９");

        // Two slashes: a short year completed by the pivot, four digits left to the parser.
        row("M/D/YY", T, "12/31/99", "12/31/1999");
        row("M/D/Y", T, "1/5/5", "1/5/2005");
        row("M/D/ blank", T, "1/5/ ", "1/5/2000");
        row("three-digit year", T, "1/5/999", "1/5/1999");
        row("trailing blanks", T, "12/31/99  ", "12/31/1999");
        row("month 13 slashes", T, "13/5/99", "13/5/99");
        row("29 Feb leap", T, "2/29/24", "2/29/2024");
        row("29 Feb not leap", T, "2/29/25", "2/29/25");
        row("mm/dd/yyyy", T, "01/05/1999", "01/05/1999");
        row("three slashes", T, "1/2/3/99", "1/2/3/99");
    }
    void expandDate()
    {
        QTEST(std::apply(fnExpandDate, fetch<QString, QDate>("typed", "today")), "expanded");
    }

    // A date read from the box's form or the stored one, and written back ("" for no check).
    void parseDate_data()
    {
        columns<bool, QString, QDate, QString>("iso", "text", "expected", "written");
        row("mm/dd/yyyy", false, "01/05/2020", QDate(2020, 1, 5), "1/5/2020");
        row("blanks around", false, "   12/31/2020  ", QDate(2020, 12, 31), "12/31/2020");
        row("small year", false, "3/7/0005", QDate(5, 3, 7), "3/7/0005");
        row("two-digit year", false, "1/5/20", QDate(), "");
        row("five-digit year", false, "1/5/20200", QDate(), "");
        row("31 April", false, "4/31/2020", QDate(), "");
        row("three-digit month", false, "001/5/2020", QDate(), "");
        row("tab before", false, "\t1/5/2020", QDate(), "");
        row("one slash", false, "1/5", QDate(), "");
        row("iso", true, "0005-03-07", QDate(5, 3, 7), "0005-03-07");
        row("iso 30 Feb", true, "2026-02-30", QDate(), "");
        row("iso with time", true, "2026-12-04T00:00:00", QDate(), "");
        row("iso short month", true, "2026-1-04", QDate(), "");
        row("iso no day", true, "2026-12", QDate(), "");
    }
    void parseDate()
    {
        const auto [iso, text, expected] = fetch<bool, QString, QDate>("iso", "text", "expected");
        const std::optional<QDate> date = iso ? fnDateFromIso(text) : fnParseDate(text);
        QCOMPARE(date.value_or(QDate()), expected);
        QCOMPARE(iso ? date.has_value() : fnIsValidDate(text), expected.isValid());
        // A missing date, an invalid one or one past year 9999 is written as nothing.
        QTEST(fnFormatDate(std::nullopt) + fnFormatDate(QDate()) + fnDateToIso(QDate(10000, 1, 1)) +
                  (!date ? QString()
                   : iso ? fnDateToIso(*date)
                         : fnFormatDate(date)),
              "written");
    }

    void parseID_data()
    {
        columns<QString, QVariant>("text", "value"); // null: refused
        row("blanks around", "  17 ", QVariant(17));
        row("plus", "+5", QVariant(5));
        row("minus", "-12", QVariant(-12));
        row("highest", "2147483647", QVariant(2147483647));
        row("lowest", "-2147483648", QVariant(INT_MIN));
        row("one above", "2147483648", QVariant());
        row("one below", "-2147483649", QVariant());
        row("far too long", "99999999999999999999999", QVariant());
        row("sign alone", "-", QVariant());
        row("letter", "12a", QVariant());
        row("other script digits", "４２", QVariant());
    }
    void parseID()
    {
        const auto id = fnParseID(std::get<0>(fetch<QString>("text")));
        QTEST(id ? QVariant(*id) : QVariant(), "value");
    }

    // The number offered to a new record, and whether a number is taken by a record other
    // than the one being saved (the stored row `own`; -1 for a new record).
    void numbers_data()
    {
        columns<QVariantList, QVariant, int, int, bool>("ids", "proposed", "id", "own", "taken");
        row("empty table", QVariantList{}, QVariant(1), 1, -1, false);
        row("only null numbers", QVariantList{QVariant()}, QVariant(1), 1, -1, false);
        row("gaps not filled", QVariantList{1, 2, 10}, QVariant(11), 2, -1, true);
        row("own number kept", QVariantList{1, 2, 10}, QVariant(11), 2, 1, false);
        row("another record's number", QVariantList{1, 2, 10}, QVariant(11), 1, 1, true);
        row("held twice, once own", QVariantList{7, 7}, QVariant(8), 7, 0, true);
        row("negative numbers", QVariantList{-5, -9}, QVariant(-4), -4, -1, false);
        row("no room above", QVariantList{2147483647}, QVariant(), 2147483647, 0, false);
    }
    void numbers()
    {
        const auto [ids, id, own] = fetch<QVariantList, int, int>("ids", "id", "own");
        const auto db = makeDatabase(m_folder.file("Qsk.MDB"));
        QList<qint64> keys;
        for (const QVariant &v : ids) {
            QVERIFY(db->exec({"INSERT INTO Documents (ID, Description) VALUES (?, 'x')", {v}}));
            keys << db->lastInsertKey();
        }
        const auto proposed = fnProposedID(*db);
        const auto taken = fnDuplicateID(*db, id, own < 0 ? 0 : keys[own]);
        QVERIFY(proposed.ok() && taken.ok());
        QTEST(proposed.value() ? QVariant(*proposed.value()) : QVariant(), "proposed");
        QTEST(taken.value(), "taken");
    }

    // Random values against the same rule worked out in memory: the newest value that
    // begins with the typed text (LIKE wildcards are plain text) and is longer than it,
    // trailing blanks aside. The oldest values lie behind thousands of newer records and
    // are found through the index.
    void completionAgreesWithMemory()
    {
        const auto db = makeDatabase(m_folder.file("Qsk.MDB"));
        const QStringList words = {"inv",     "invoice", "INVITATION", "Inventory", "bank",
                                   "ban",     "letter",  "Letterhead", "lease",     "LEASE renewal",
                                   "tax ",    "Tax 20",  "a",          "ab",        "abcd",
                                   "50% off", "50_50",   "5000"};
        QStringList stored = {"zebra crossing", "ZEBRA", "Zebra 12", "zeb", "", "Lease old"};
        QRandomGenerator random(20261204);
        for (int i = 0; i < 3000; ++i) {
            QString d = words[int(random.bounded(int(words.size())))];
            d += random.bounded(3) == 0 ? QStringLiteral(" %1").arg(random.bounded(50)) : "";
            d = random.bounded(5) == 0 ? d.toUpper() : d;
            stored << (random.bounded(40) == 0 ? QString() : random.bounded(7) ? d : d + "  ");
        }
        QVERIFY(db->begin());
        for (int i = 0; i < stored.size(); ++i)
            QVERIFY(db->exec({"INSERT INTO Documents (ID, Description, Who) VALUES (?, ?, ?)",
                              {i, stored[i].isNull() ? QVariant() : QVariant(stored[i]),
                               i < 6 ? "Smithers" : "Jo"}}));
        QVERIFY(db->commit());
        auto set = db->openTable(schema::Documents);
        QVERIFY(set->setIndex(schema::IndexDescription));
        QStringList typed = {"zzz", "   ", "ta ", "TAX 20", "zeb", "ZEBR", "zebra ", "lease o"};
        for (const QString &w : words)
            for (int n = 3; n <= w.size() + 2; ++n)
                typed << (w + " 1").left(n) << (w + " 1").left(n).toLower();
        int completed = 0;
        for (const QString &t : std::as_const(typed)) {
            const Completion c = CompleteDescription(*set, t, int(t.size()), 0);
            // Worked out in memory over the stored values, oldest first.
            QString best;
            for (const QString &v : stored)
                if (v.size() > t.size() && v.startsWith(t, Qt::CaseInsensitive))
                    best = v;
            const QString expected =
                fnTrimTrailing(best).size() > fnTrimTrailing(t).size() ? best : t;
            QVERIFY2(c.text == expected && c.completed == (expected != t),
                     qPrintable(QStringLiteral("'%1': '%2', not '%3'").arg(t, c.text, expected)));
            completed += c.completed ? 1 : 0;
        }
        QVERIFY(completed > 10);
        QVERIFY(set->setIndex(schema::IndexWho));
        QCOMPARE(CompleteWho(*set, "smi", 3, 0).text, "Smithers");
        QVERIFY(!fnCompletionCandidate(*db, "Note", "abc").ok());
    }
};

QSK_TEST_MAIN_EVERY_ENGINE(tst_EditorRules)
#include "tst_editorrules.moc"
