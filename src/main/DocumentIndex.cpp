#include "DocumentIndex.h"

#include "main/FilterPattern.h"

#include <QDate>

#include <algorithm>
#include <cstring>
#include <thread>

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

// Runs fn(begin, end) over [0, n) in two halves on both cores when it pays.
template <typename Fn>
void forHalves(size_t n, Fn fn)
{
    if (n < 200000) {
        fn(size_t(0), n);
        return;
    }
    const size_t mid = n / 2;
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

const std::vector<uint32_t> &DocumentIndex::orderFor(ListOrder how) const
{
    return how == ListOrder::Description ? m_byDesc : how == ListOrder::Id ? m_byId : m_byIdDesc;
}

std::vector<uint32_t> &DocumentIndex::orderFor(ListOrder how)
{
    return how == ListOrder::Description ? m_byDesc : how == ListOrder::Id ? m_byId : m_byIdDesc;
}

void DocumentIndex::sortAll()
{
    std::vector<uint32_t> all;
    for (uint32_t s = 0; s < m_entries.size(); ++s)
        if (m_alive[s])
            all.push_back(s);
    m_byIdDesc = m_byDesc = m_byId = all;
    std::thread desc([this] {
        std::sort(m_byDesc.begin(), m_byDesc.end(),
                  [this](uint32_t a, uint32_t b) { return less(a, b, ListOrder::Description); });
    });
    std::sort(m_byIdDesc.begin(), m_byIdDesc.end(),
              [this](uint32_t a, uint32_t b) { return less(a, b, ListOrder::IdDescending); });
    std::sort(m_byId.begin(), m_byId.end(),
              [this](uint32_t a, uint32_t b) { return less(a, b, ListOrder::Id); });
    desc.join();
}

void DocumentIndex::insertSorted(std::vector<uint32_t> &order, uint32_t slot, ListOrder how)
{
    const auto at = std::lower_bound(order.begin(), order.end(), slot,
                                     [&](uint32_t a, uint32_t b) { return less(a, b, how); });
    order.insert(at, slot);
}

Status DocumentIndex::refreshRow(Database &db, qint64 key)
{
    // Drop the old slot; a changed row comes back as a new slot.
    if (auto it = m_slotOfKey.find(key); it != m_slotOfKey.end()) {
        const uint32_t old = it->second;
        m_alive[old] = 0;
        for (auto *order : {&m_byIdDesc, &m_byDesc, &m_byId})
            order->erase(std::find(order->begin(), order->end(), old));
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
    if (found) {
        const auto slot = uint32_t(m_entries.size() - 1);
        insertSorted(m_byIdDesc, slot, ListOrder::IdDescending);
        insertSorted(m_byDesc, slot, ListOrder::Description);
        insertSorted(m_byId, slot, ListOrder::Id);
    }
    return Status::success();
}

void DocumentIndex::match(Column column, const QString &typed, std::vector<uint8_t> &marks,
                          bool first) const
{
    const TextColumn &col = m_text[column];
    const FilterPattern pattern = FilterPattern::compile(typed);
    const size_t n = m_entries.size();
    if (first)
        marks.assign(n, 0);
    std::vector<uint8_t> hits(n, 0);
    if (pattern.isLiteral() && !pattern.literal().empty()) {
        // One pass of a fast substring search over all values at once; the
        // NUL after each value keeps a hit inside one value.
        const std::string &needle = pattern.literal();
        forHalves(n, [&](size_t begin, size_t end) {
            const char *base = col.text.data();
            size_t pos = col.offsets[begin];
            const size_t stop = col.offsets[end];
            size_t slot = begin;
            while (pos < stop) {
                const void *hit = memmem(base + pos, stop - pos, needle.data(), needle.size());
                if (!hit)
                    break;
                const size_t at = size_t(static_cast<const char *>(hit) - base);
                while (col.offsets[slot + 1] <= at)
                    ++slot;
                hits[slot] = 1;
                pos = col.offsets[slot + 1];
            }
        });
    } else {
        forHalves(n, [&](size_t begin, size_t end) {
            for (size_t s = begin; s < end; ++s)
                if (m_alive[s] && !col.null[s] && (first || marks[s]))
                    hits[s] = pattern.matchesFolded(col.at(s)) ? 1 : 0;
        });
    }
    for (size_t s = 0; s < n; ++s) {
        const bool ok = hits[s] && !col.null[s];
        marks[s] = first ? ok : (marks[s] && ok);
    }
}

void DocumentIndex::select(const DocumentQuery &query, std::vector<qint64> &keys) const
{
    const std::vector<uint32_t> &order = orderFor(query.order);
    keys.clear();
    if (!query.filterOn) {
        keys.reserve(order.size());
        for (const uint32_t s : order)
            keys.push_back(m_entries[s].key);
        return;
    }
    std::vector<uint8_t> marks;
    bool text = false;
    const QString typed[3] = {query.description.trimmed(), query.who.trimmed(), query.note.trimmed()};
    for (int c = 0; c < 3; ++c) {
        if (typed[c].isEmpty())
            continue;
        match(Column(c), typed[c], marks, !text);
        text = true;
    }
    const auto threshold = dateThreshold(query.dateEntry, query.today);
    const qint32 thresholdDay =
        threshold ? qint32(threshold->toJulianDay() - QDate(1970, 1, 1).toJulianDay()) : 0;
    const bool noDate = query.dateEntry == NoDate;
    const qint64 type = query.typeKey;
    for (const uint32_t s : order) {
        if (text && !marks[s])
            continue;
        const Entry &e = m_entries[s];
        if (threshold && (e.dateNull || e.day <= thresholdDay))
            continue;
        if (noDate && !e.dateNull)
            continue;
        if (type != 0 && e.type != type)
            continue;
        keys.push_back(e.key);
    }
}

} // namespace qs
