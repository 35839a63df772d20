#include "DocumentIndex.h"

#include "main/FilterPattern.h"

#include <QDate>

#include <algorithm>
#include <optional>
#include <cstring>
#include <thread>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace qs {

namespace {

const char *const kSelect =
    "SELECT RecordPtr, ID, DocumentType, Date, Description, Who, Note FROM Documents";

// Folds as SQLite's lower() does (ASCII letters only); stops at a NUL, as
// GLOB stops reading there.
void appendFolded(std::string &out, std::string_view text)
{
    for (const char c : text) {
        if (c == '\0')
            break;
        out.push_back(c >= 'A' && c <= 'Z' ? char(c + 32) : c);
    }
}

// Stored dates are ISO text (the schema checks the form).
bool parseIsoDay(std::string_view s, qint32 &day)
{
    if (s.size() != 10 || s[4] != '-' || s[7] != '-')
        return false;
    auto num = [&](size_t from, size_t len) {
        int v = 0;
        for (size_t i = from; i < from + len; ++i) {
            if (s[i] < '0' || s[i] > '9')
                return -1;
            v = v * 10 + (s[i] - '0');
        }
        return v;
    };
    const QDate d(num(0, 4), num(5, 2), num(8, 2));
    if (!d.isValid())
        return false;
    day = qint32(d.toJulianDay() - QDate(1970, 1, 1).toJulianDay());
    return true;
}

// Marks in `hits` every value (slot) in text[from, to) that contains the
// needle. The values follow each other, each ending in a NUL, and the first
// one is slot `slot`. Returns nothing; hits are ORed in.
void scanScalar(const char *text, size_t i, size_t to, size_t slot, const std::string &needle,
                uint64_t *hits)
{
    const size_t m = needle.size();
    for (; i < to; ++i) {
        if (text[i] == '\0') {
            ++slot;
        } else if (text[i] == needle[0] && i + m <= to &&
                   std::memcmp(text + i, needle.data(), m) == 0) {
            hits[slot >> 6] |= uint64_t(1) << (slot & 63);
        }
    }
}

#if defined(__x86_64__) && defined(__GNUC__)
// The same, 32 bytes at a time: the needle's first and last bytes are
// compared at every position at once, NULs are counted to know the slot,
// and only candidates are compared in full. After a hit the rest of that
// value is skipped.
__attribute__((target("avx2,popcnt"))) void scanAvx2(const char *text, size_t i, size_t to,
                                                     size_t slot, const std::string &needle,
                                                     uint64_t *hits)
{
    const size_t m = needle.size();
    const __m256i first = _mm256_set1_epi8(needle[0]);
    const __m256i last = _mm256_set1_epi8(needle[m - 1]);
    const __m256i zero = _mm256_setzero_si256();
    for (; i + m - 1 + 32 <= to; i += 32) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(text + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(text + i + m - 1));
        const auto nul = unsigned(_mm256_movemask_epi8(_mm256_cmpeq_epi8(a, zero)));
        auto candidates = unsigned(_mm256_movemask_epi8(
            _mm256_and_si256(_mm256_cmpeq_epi8(a, first), _mm256_cmpeq_epi8(b, last))));
        while (candidates) {
            const unsigned bit = unsigned(__builtin_ctz(candidates));
            if (m <= 2 || std::memcmp(text + i + bit + 1, needle.data() + 1, m - 2) == 0) {
                const size_t s = slot + size_t(__builtin_popcount(nul & ((1u << bit) - 1)));
                hits[s >> 6] |= uint64_t(1) << (s & 63);
                const unsigned nulsAfter = (nul >> bit) << bit;
                if (!nulsAfter)
                    break;
                const unsigned end = unsigned(__builtin_ctz(nulsAfter));
                candidates &= end >= 31 ? 0u : ~((2u << end) - 1);
                continue;
            }
            candidates &= candidates - 1;
        }
        slot += size_t(__builtin_popcount(nul));
    }
    scanScalar(text, i, to, slot, needle, hits);
}
#endif

void scanLiteral(const char *text, size_t from, size_t to, size_t slot, const std::string &needle,
                 uint64_t *hits)
{
#if defined(__x86_64__) && defined(__GNUC__)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2) {
        scanAvx2(text, from, to, slot, needle, hits);
        return;
    }
#endif
    scanScalar(text, from, to, slot, needle, hits);
}

// The bit of a character in a value's set of characters: exact for letters
// and digits, shared by the other bytes.
int characterBit(char c)
{
    if (c >= 'a' && c <= 'z')
        return c - 'a';
    if (c >= '0' && c <= '9')
        return 26 + (c - '0');
    return 36 + int(static_cast<unsigned char>(c) % 28);
}

bool isExactCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// Runs fn(begin, end) over [0, n) in two halves on both cores when it pays.
template <typename Fn>
void forHalves(size_t n, Fn fn)
{
    if (n < 200000) {
        fn(size_t(0), n);
        return;
    }
    // On a word boundary, so the halves never write the same word of a bit set.
    const size_t mid = (n / 2) & ~size_t(63);
    std::thread other([&] { fn(mid, n); });
    fn(size_t(0), mid);
    other.join();
}

} // namespace

void DocumentIndex::TextColumn::append(std::string_view folded, bool isNull)
{
    if (offsets.empty())
        offsets.push_back(0);
    text.append(folded);
    text.push_back('\0');
    offsets.push_back(text.size());
    null.push_back(isNull ? 1 : 0);
    uint64_t bits = 0;
    for (const char c : folded)
        bits |= uint64_t(1) << characterBit(c);
    letters.push_back(bits);
}

bool DocumentIndex::appendRow(const FieldReader &row)
{
    Entry e;
    if (row.kind(0) != FieldReader::Kind::Integer)
        return false;
    e.key = row.integer(0);
    switch (row.kind(1)) {
    case FieldReader::Kind::Null:
        break;
    case FieldReader::Kind::Integer:
        e.id = row.integer(1);
        e.idNull = false;
        break;
    default:
        return false;
    }
    if (row.kind(2) == FieldReader::Kind::Integer)
        e.type = row.integer(2);
    else if (row.kind(2) != FieldReader::Kind::Null)
        return false;
    if (row.kind(3) == FieldReader::Kind::Text) {
        if (!parseIsoDay(row.text(3), e.day))
            return false;
        e.dateNull = false;
    } else if (row.kind(3) != FieldReader::Kind::Null) {
        return false;
    }
    std::string folded;
    for (int c = 0; c < 3; ++c) {
        const auto kind = row.kind(4 + c);
        if (kind != FieldReader::Kind::Null && kind != FieldReader::Kind::Text)
            return false;
        folded.clear();
        appendFolded(folded, row.text(4 + c));
        m_text[c].append(folded, kind == FieldReader::Kind::Null);
    }
    const auto slot = uint32_t(m_entries.size());
    m_entries.push_back(e);
    m_alive.push_back(1);
    m_slotOfKey[e.key] = slot;
    return true;
}

Result<std::unique_ptr<DocumentIndex>> DocumentIndex::load(Database &db)
{
    auto index = std::make_unique<DocumentIndex>();
    bool exact = true;
    const Status s =
        db.scan({QString::fromLatin1(kSelect) + QStringLiteral(" ORDER BY RecordPtr"), {}},
                [&](const FieldReader &row) { return exact = index->appendRow(row); });
    if (!s)
        return s;
    if (!exact)
        return Status::failure(QStringLiteral("The documents hold values that only SQL can order."));
    index->sortAll();
    return index;
}

bool DocumentIndex::less(uint32_t a, uint32_t b, ListOrder how) const
{
    const Entry &x = m_entries[a];
    const Entry &y = m_entries[b];
    switch (how) {
    case ListOrder::Description: {
        const bool xn = m_text[Desc].null[a], yn = m_text[Desc].null[b];
        if (xn != yn)
            return xn; // nulls first
        if (!xn) {
            const int c = std::strcmp(m_text[Desc].text.data() + m_text[Desc].offsets[a],
                                      m_text[Desc].text.data() + m_text[Desc].offsets[b]);
            if (c != 0)
                return c < 0;
        }
        break;
    }
    case ListOrder::Id:
        if (x.idNull != y.idNull)
            return x.idNull;
        if (x.id != y.id)
            return x.id < y.id;
        break;
    case ListOrder::IdDescending:
        if (x.idNull != y.idNull)
            return y.idNull; // nulls last
        if (x.id != y.id)
            return x.id > y.id;
        break;
    }
    return x.key < y.key;
}

const DocumentIndex::Order &DocumentIndex::orderFor(ListOrder how) const
{
    return how == ListOrder::Description ? m_byDesc : how == ListOrder::Id ? m_byId : m_byIdDesc;
}

DocumentIndex::Order &DocumentIndex::orderFor(ListOrder how)
{
    return how == ListOrder::Description ? m_byDesc : how == ListOrder::Id ? m_byId : m_byIdDesc;
}

void DocumentIndex::sortAll()
{
    std::vector<uint32_t> all;
    for (uint32_t s = 0; s < m_entries.size(); ++s)
        if (m_alive[s])
            all.push_back(s);
    auto sortOne = [this, &all](Order &order, ListOrder how) {
        order.slotIds = all;
        std::sort(order.slotIds.begin(), order.slotIds.end(),
                  [this, how](uint32_t a, uint32_t b) { return less(a, b, how); });
        order.keys.resize(order.slotIds.size());
        for (size_t i = 0; i < order.slotIds.size(); ++i)
            order.keys[i] = m_entries[order.slotIds[i]].key;
        order.rankStale = true;
    };
    std::thread desc([&] { sortOne(m_byDesc, ListOrder::Description); });
    sortOne(m_byIdDesc, ListOrder::IdDescending);
    sortOne(m_byId, ListOrder::Id);
    desc.join();
}

void DocumentIndex::insertSorted(Order &order, uint32_t slot, ListOrder how)
{
    const auto at = std::lower_bound(order.slotIds.begin(), order.slotIds.end(), slot,
                                     [&](uint32_t a, uint32_t b) { return less(a, b, how); });
    order.keys.insert(order.keys.begin() + (at - order.slotIds.begin()), m_entries[slot].key);
    order.slotIds.insert(at, slot);
    order.rankStale = true;
}

Status DocumentIndex::refreshRow(Database &db, qint64 key)
{
    // A changed row comes back as a new slot; the old one is dropped.
    std::optional<uint32_t> old;
    if (auto it = m_slotOfKey.find(key); it != m_slotOfKey.end()) {
        old = it->second;
        m_slotOfKey.erase(it);
    }
    bool exact = true;
    bool found = false;
    const Status s = db.scan({QString::fromLatin1(kSelect) + QStringLiteral(" WHERE RecordPtr = ?"), {key}},
                             [&](const FieldReader &row) {
                                 found = true;
                                 exact = appendRow(row);
                                 return false;
                             });
    if (!s)
        return s;
    if (!exact)
        return Status::failure(QStringLiteral("The document holds values that only SQL can order."));
    const uint32_t freshSlot = uint32_t(m_entries.size() - 1);
    const std::pair<Order *, ListOrder> orders[] = {{&m_byIdDesc, ListOrder::IdDescending},
                                                    {&m_byDesc, ListOrder::Description},
                                                    {&m_byId, ListOrder::Id}};
    for (const auto &[order, how] : orders) {
        if (old) {
            // The old slot's values are still stored, so a binary search finds it.
            auto &ids = order->slotIds;
            const auto at = std::lower_bound(ids.begin(), ids.end(), *old, [&](uint32_t a, uint32_t b) {
                return less(a, b, how);
            });
            if (at != ids.end() && *at == *old) {
                const size_t pos = size_t(at - ids.begin());
                const bool fits = found && (pos == 0 || less(ids[pos - 1], freshSlot, how)) &&
                                  (pos + 1 == ids.size() || less(freshSlot, ids[pos + 1], how));
                if (fits) {
                    // Most edits leave the row where it stood: no shifting.
                    ids[pos] = freshSlot;
                    if (!order->rankStale) {
                        order->rank.resize(m_entries.size());
                        order->rank[freshSlot] = uint32_t(pos);
                    }
                    continue;
                }
                order->keys.erase(order->keys.begin() + ptrdiff_t(pos));
                ids.erase(at);
                order->rankStale = true;
            }
        }
        if (found)
            insertSorted(*order, freshSlot, how);
    }
    if (old)
        m_alive[*old] = 0;
    return Status::success();
}

size_t DocumentIndex::match(Column column, const QString &typed, Bits &marks, bool first) const
{
    const TextColumn &col = m_text[column];
    const FilterPattern pattern = FilterPattern::compile(typed);
    const size_t n = m_entries.size();
    const size_t words = (n + 63) / 64;
    if (first)
        marks.assign(words, 0);
    Bits hits(words, 0);
    if (pattern.isLiteral() && pattern.literal().size() == 1 &&
        isExactCharacter(pattern.literal()[0])) {
        // One letter or digit: the set of characters each value holds answers
        // without reading the text.
        const uint64_t bit = uint64_t(1) << characterBit(pattern.literal()[0]);
        for (size_t s = 0; s < n; ++s)
            if (col.letters[s] & bit)
                hits[s >> 6] |= uint64_t(1) << (s & 63);
    } else if (pattern.isLiteral() && !pattern.literal().empty()) {
        // One pass of a fast substring search over all values at once; the
        // NUL after each value keeps a hit inside one value. Null values are
        // stored empty, so a literal never finds them.
        const std::string &needle = pattern.literal();
        forHalves(n, [&](size_t begin, size_t end) {
            scanLiteral(col.text.data(), col.offsets[begin], col.offsets[end], begin, needle,
                        hits.data());
        });
    } else {
        forHalves(n, [&](size_t begin, size_t end) {
            for (size_t s = begin; s < end; ++s)
                if (m_alive[s] && !col.null[s] && (first || testBit(marks, s)) &&
                    pattern.matchesFolded(col.at(s)))
                    hits[s >> 6] |= uint64_t(1) << (s & 63);
        });
    }
    size_t count = 0;
    for (size_t w = 0; w < words; ++w) {
        const uint64_t v = first ? hits[w] : (hits[w] & marks[w]);
        marks[w] = v;
        count += size_t(__builtin_popcountll(v));
    }
    return count;
}

void DocumentIndex::select(const DocumentQuery &query, std::vector<qint64> &keys) const
{
    const Order &order = orderFor(query.order);
    keys.clear();
    if (!query.filterOn) {
        keys = order.keys;
        return;
    }
    Bits marks;
    bool text = false;
    size_t matches = m_entries.size();
    const QString typed[3] = {query.description.trimmed(), query.who.trimmed(), query.note.trimmed()};
    for (int c = 0; c < 3; ++c) {
        if (typed[c].isEmpty())
            continue;
        matches = match(Column(c), typed[c], marks, !text);
        text = true;
    }
    const auto threshold = dateThreshold(query.dateEntry, query.today);
    const qint32 thresholdDay =
        threshold ? qint32(threshold->toJulianDay() - QDate(1970, 1, 1).toJulianDay()) : 0;
    const bool noDate = query.dateEntry == NoDate;
    const qint64 type = query.typeKey;
    const bool other = threshold || noDate || type != 0;
    auto passes = [&](uint32_t s) {
        const Entry &e = m_entries[s];
        if (threshold && (e.dateNull || e.day <= thresholdDay))
            return false;
        if (noDate && !e.dateNull)
            return false;
        return type == 0 || e.type == type;
    };
    if (text && matches < order.slotIds.size() / 16) {
        // Few matches: sort them into the list order by rank.
        if (order.rankStale) {
            order.rank.assign(m_entries.size(), 0);
            for (size_t i = 0; i < order.slotIds.size(); ++i)
                order.rank[order.slotIds[i]] = uint32_t(i);
            order.rankStale = false;
        }
        std::vector<uint32_t> ranks;
        ranks.reserve(matches);
        for (size_t w = 0; w < marks.size(); ++w)
            for (uint64_t v = marks[w]; v; v &= v - 1) {
                const auto s = uint32_t(w * 64 + size_t(__builtin_ctzll(v)));
                if (m_alive[s] && (!other || passes(s)))
                    ranks.push_back(order.rank[s]);
            }
        std::sort(ranks.begin(), ranks.end());
        keys.reserve(ranks.size());
        for (const uint32_t r : ranks)
            keys.push_back(order.keys[r]);
        return;
    }
    // Many matches: walk the list order, both halves at once.
    std::vector<qint64> tail;
    forHalves(order.slotIds.size(), [&](size_t begin, size_t end) {
        std::vector<qint64> &out = begin == 0 ? keys : tail;
        out.reserve(text ? (matches * (end - begin)) / order.slotIds.size() + 64 : end - begin);
        for (size_t i = begin; i < end; ++i) {
            const uint32_t s = order.slotIds[i];
            if (text && !testBit(marks, s))
                continue;
            if (other && !passes(s))
                continue;
            out.push_back(order.keys[i]);
        }
    });
    keys.insert(keys.end(), tail.begin(), tail.end());
}

} // namespace qs
