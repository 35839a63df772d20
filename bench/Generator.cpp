#include "Generator.h"

#include <QDate>
#include <QRandomGenerator>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>
#include <vector>

namespace qs::bench {

namespace {

const char *const kWords[] = {
    "invoice",  "lease",       "contract",  "tax",      "return",      "insurance", "policy",
    "receipt",  "bank",        "statement", "letter",   "report",      "annual",    "quarterly",
    "payment",  "order",       "delivery",  "note",     "warranty",    "manual",    "deed",
    "mortgage", "loan",        "agreement", "renewal",  "notice",      "claim",     "medical",
    "bill",     "electricity", "water",     "gas",      "phone",       "internet",  "car",
    "house",    "rent",        "salary",    "pension",  "certificate", "license",   "permit",
    "school",   "university",  "diploma",   "passport", "visa",        "ticket",    "travel",
    "hotel",    "booking",     "estimate",  "quote",    "survey",      "plan",      "drawing",
    "minutes",  "meeting",     "board",     "budget",   "audit",       "account",   "ledger",
    "repair",   "roof",        "garden",    "kitchen",  "boiler",      "heating",   "window",
    "door",     "office",      "supplier",  "customer", "shipping",    "customs",   "import",
    "export",   "leasehold",   "release",   "please",   "learner",     "leather",   "lead",
    "league",   "least",       "clean",     "plea",     "ideal",       "area"};
const char *const kFirst[] = {"Anna", "Bernd", "Carla", "David", "Emma", "Frank", "Greta",
                              "Hans", "Ines",  "Jonas", "Karin", "Lea",  "Lukas", "Maria",
                              "Nora", "Otto",  "Paula", "Quinn", "Rosa", "Sven",  "Tina"};
const char *const kLast[] = {"Bank of Leeds", "Miller",   "Schmidt", "Leary",  "Fischer",
                             "Weber",         "Meyer",    "Wagner",  "Becker", "Schulz",
                             "Hoffmann",      "Lease Co", "Klein",   "Wolf",   "Neumann",
                             "Schwarz",       "Zimmer",   "Braun"};

// Zipf-like: index i drawn with weight 1/(i+1).
class Skewed
{
public:
    Skewed(size_t n, QRandomGenerator &gen) : m_gen(gen)
    {
        double sum = 0;
        for (size_t i = 0; i < n; ++i)
            m_cumulative.push_back(sum += 1.0 / double(i + 1));
    }
    size_t next()
    {
        const double x = m_gen.generateDouble() * m_cumulative.back();
        return size_t(std::lower_bound(m_cumulative.begin(), m_cumulative.end(), x) -
                      m_cumulative.begin());
    }

private:
    QRandomGenerator &m_gen;
    std::vector<double> m_cumulative;
};

QString cased(const char *word, QRandomGenerator &gen)
{
    QString w = QString::fromLatin1(word);
    switch (gen.bounded(6)) {
    case 0:
        return w.toUpper();
    case 1:
    case 2:
        return w;
    default:
        w[0] = w[0].toUpper();
        return w;
    }
}

} // namespace

Status generateDocuments(Database &db, int count, quint32 seed)
{
    QRandomGenerator gen(seed);
    Skewed words(std::size(kWords), gen);
    auto phrase = [&](int from, int to) {
        QString out;
        const int n = from + int(gen.bounded(to - from + 1));
        for (int i = 0; i < n; ++i) {
            if (i)
                out += QLatin1Char(' ');
            out += cased(kWords[words.next()], gen);
        }
        return out;
    };
    Transaction t(db);
    if (!t.status())
        return t.status();
    QList<qint16> types;
    for (int i = 0; i < 20; ++i) {
        if (Status s = db.exec({QStringLiteral("INSERT INTO Types (Type) VALUES (?)"),
                                {cased(kWords[i * 3], gen)}});
            !s)
            return s;
        types << qint16(db.lastInsertKey());
    }
    std::vector<int> ids(static_cast<size_t>(count));
    std::iota(ids.begin(), ids.end(), 1);
    std::shuffle(ids.begin(), ids.end(), std::mt19937(seed));
    const QDate first(1996, 1, 1);
    const QString insert = QStringLiteral("INSERT INTO Documents (ID, Description, DocumentType, "
                                          "Date, Who, Note) VALUES (?, ?, ?, ?, "
                                          "?, ?)");
    for (int i = 0; i < count; ++i) {
        const QVariant date =
            gen.bounded(40) == 0 ? QVariant() : QVariant(first.addDays(gen.bounded(30 * 365)));
        const QString who = gen.bounded(10) == 0
                                ? QString()
                                : QStringLiteral("%1 %2").arg(
                                      QLatin1String(kFirst[gen.bounded(int(std::size(kFirst)))]),
                                      QLatin1String(kLast[gen.bounded(int(std::size(kLast)))]));
        const QVariant note = gen.bounded(3) == 0 ? QVariant() : QVariant(phrase(3, 12));
        if (Status s = db.exec(
                {insert,
                 {ids[size_t(i)], phrase(1, 4), types[int(gen.bounded(20))], date, who, note}});
            !s)
            return s;
    }
    return t.commit();
}

} // namespace qs::bench
