#include "DocumentIndex.h"

#include "main/FilterPattern.h"

#include <QDate>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <limits>
#include <mutex>
#include <optional>
#include <thread>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace qs {

namespace {

const char *const kSelect =
    "SELECT RecordPtr, ID, DocumentType, Date, Description, Who, Note FROM Documents";

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

#if defined(__x86_64__) && defined(__GNUC__)
// The same, 64 bytes at a time.
__attribute__((target("avx512f,avx512bw,popcnt"))) void scanAvx512(const char *text, size_t i,
                                                                   size_t to, size_t slot,
                                                                   const std::string &needle,
                                                                   uint64_t *hits)
{
    const size_t m = needle.size();
    const __m512i first = _mm512_set1_epi8(needle[0]);
    const __m512i last = _mm512_set1_epi8(needle[m - 1]);
    const __m512i zero = _mm512_setzero_si512();
    for (; i + m - 1 + 64 <= to; i += 64) {
        const __m512i a = _mm512_loadu_si512(text + i);
        const __m512i b = _mm512_loadu_si512(text + i + m - 1);
        const uint64_t nul = _mm512_cmpeq_epi8_mask(a, zero);
        uint64_t candidates = _mm512_cmpeq_epi8_mask(a, first) & _mm512_cmpeq_epi8_mask(b, last);
        while (candidates) {
            const unsigned bit = unsigned(__builtin_ctzll(candidates));
            if (m <= 2 || std::memcmp(text + i + bit + 1, needle.data() + 1, m - 2) == 0) {
                const size_t s =
                    slot + size_t(__builtin_popcountll(nul & ((uint64_t(1) << bit) - 1)));
                hits[s >> 6] |= uint64_t(1) << (s & 63);
                const uint64_t nulsAfter = (nul >> bit) << bit;
                if (!nulsAfter)
                    break;
                const unsigned end = unsigned(__builtin_ctzll(nulsAfter));
                candidates &= end >= 63 ? 0 : ~((uint64_t(2) << end) - 1);
                continue;
            }
            candidates &= candidates - 1;
        }
        slot += size_t(__builtin_popcountll(nul));
    }
    scanScalar(text, i, to, slot, needle, hits);
}
#endif

DocumentIndex::Tuning &tuning()
{
    static DocumentIndex::Tuning t;
    return t;
}

void scanLiteral(const char *text, size_t from, size_t to, size_t slot, const std::string &needle,
                 uint64_t *hits)
{
    int width = tuning().vectorBits;
#if defined(__x86_64__) && defined(__GNUC__)
    static const int best = __builtin_cpu_supports("avx512bw") ? 512
                            : __builtin_cpu_supports("avx2")   ? 256
                                                               : 0;
    width = width < 0 ? best : std::min(width, best);
    if (width >= 512) {
        scanAvx512(text, from, to, slot, needle, hits);
        return;
    }
    if (width >= 256) {
        scanAvx2(text, from, to, slot, needle, hits);
        return;
    }
#endif
    (void)width;
    scanScalar(text, from, to, slot, needle, hits);
}

// Runs fn(begin, end) over [0, n) in two halves on both cores when it pays.
template <typename Fn> void forHalves(size_t n, Fn fn)
{
    if (n < tuning().splitAt || n < 128) {
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

namespace {

// Memory touched for the first time costs one trap per page, and on a
// virtual machine those traps, not the copying, dominate building arrays of
// a million entries (about 3 ms per MB here against 0.2 ms when the pages
// are asked for in bulk). Large arrays are therefore given their pages at
// once; where the kernel cannot, the pages simply fault in as before.
void populate(const void *data, size_t bytes)
{
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
    static const auto page = uintptr_t(sysconf(_SC_PAGESIZE));
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + page - 1) & ~(page - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(page - 1);
    if (end > begin + (64 << 10))
        madvise(reinterpret_cast<void *>(begin), end - begin, MADV_POPULATE_WRITE);
#else
    (void)data;
    (void)bytes;
#endif
}

// Moves the contents into a buffer of the given capacity with its pages.
template <typename Buffer> void reallocate(Buffer &buffer, size_t capacity)
{
    Buffer bigger;
    bigger.reserve(capacity);
    populate(bigger.data(), bigger.capacity() * sizeof(buffer[0]));
    bigger.insert(bigger.end(), buffer.begin(), buffer.end());
    buffer.swap(bigger);
}

// Room for `more` entries, doubling as push_back would.
template <typename Buffer> void reserveMore(Buffer &buffer, size_t more)
{
    if (buffer.size() + more > buffer.capacity())
        reallocate(buffer, std::max({buffer.size() + more, buffer.capacity() * 2, size_t(4096)}));
}

// Gives back the room that doubling left over.
template <typename Buffer> void shrink(Buffer &buffer)
{
    if (buffer.capacity() - buffer.size() > (64 << 10) / sizeof(buffer[0]))
        reallocate(buffer, buffer.size());
}

template <typename Buffer> void reserveExactly(Buffer &buffer, size_t capacity)
{
    if (capacity > buffer.capacity())
        reallocate(buffer, capacity);
}

uint32_t letterBit(char c)
{
    return uint32_t(1) << (c - 'a');
}

bool isLetter(char c)
{
    return c >= 'a' && c <= 'z';
}

void setBit(std::vector<uint64_t> &bits, size_t i)
{
    bits[i >> 6] |= uint64_t(1) << (i & 63);
}

// The first eight bytes of a folded value, in an order-preserving number.
uint64_t prefixKey(std::string_view v)
{
    uint64_t p = 0;
    for (size_t i = 0; i < 8; ++i)
        p = (p << 8) | (i < v.size() ? static_cast<unsigned char>(v[i]) : 0u);
    return p;
}

} // namespace

// Folds as SQLite's lower() does (ASCII letters only) and keeps what GLOB
// reads: the value up to its first NUL. Returns false when the column
// would outgrow 32-bit offsets.
bool DocumentIndex::TextColumn::append(std::string_view raw)
{
    if (offsets.empty()) {
        reserveMore(offsets, 1);
        offsets.push_back(0);
    }
    const auto slot = uint32_t(offsets.size() - 1);
    const size_t nul = raw.find('\0');
    const std::string_view value = raw.substr(0, nul);
    if (text.size() + value.size() + 1 >= std::numeric_limits<uint32_t>::max())
        return false;
    const size_t at = text.size();
    reserveMore(text, value.size() + 1);
    text.resize(at + value.size());
    uint32_t set = 0;
    char *out = text.data() + at;
    for (size_t i = 0; i < value.size(); ++i) {
        char c = value[i];
        if (c >= 'A' && c <= 'Z')
            c = char(c + 32);
        if (isLetter(c))
            set |= letterBit(c);
        out[i] = c;
    }
    text.push_back('\0');
    reserveMore(offsets, 1);
    offsets.push_back(uint32_t(text.size()));
    reserveMore(letters, 1);
    letters.push_back(set);
    if (nul != std::string_view::npos)
        fullLength[slot] =
            uint32_t(std::min<size_t>(raw.size(), std::numeric_limits<uint32_t>::max()));
    if (!FilterPattern::isRegularUtf8(value))
        irregular.push_back(slot);
    return true;
}

void DocumentIndex::TextColumn::shrink()
{
    qs::shrink(text);
    qs::shrink(offsets);
    qs::shrink(letters);
}

bool DocumentIndex::appendRow(const FieldReader &row)
{
    using Kind = FieldReader::Kind;
    // Keys are kept in 32 bits; a table beyond that is left to SQL.
    if (row.kind(0) != Kind::Integer || row.integer(0) < 0 ||
        row.integer(0) > std::numeric_limits<uint32_t>::max())
        return false;
    uint8_t flags = Alive;
    qint32 id = 0;
    if (row.kind(1) == Kind::Integer) {
        // The list's numbers are 32-bit; anything else is left to SQL.
        const qint64 v = row.integer(1);
        if (v < std::numeric_limits<qint32>::min() || v > std::numeric_limits<qint32>::max())
            return false;
        id = qint32(v);
    } else if (row.kind(1) == Kind::Null) {
        flags |= IdNull;
    } else {
        return false;
    }
    qint16 type = 0;
    if (row.kind(2) == Kind::Integer) {
        // A key outside 16 bits equals no type the filter can ask for, as 0.
        const qint64 v = row.integer(2);
        if (v >= std::numeric_limits<qint16>::min() && v <= std::numeric_limits<qint16>::max())
            type = qint16(v);
    } else if (row.kind(2) != Kind::Null) {
        return false;
    }
    qint32 day = 0;
    if (row.kind(3) == Kind::Text) {
        if (!parseIsoDay(row.text(3), day))
            return false;
    } else if (row.kind(3) == Kind::Null) {
        flags |= DateNull;
    } else {
        return false;
    }
    for (int c = 0; c < 3; ++c) {
        const auto kind = row.kind(4 + c);
        if (kind == Kind::Null)
            flags |= uint8_t(DescNull << c);
        else if (kind != Kind::Text)
            return false;
    }
    // Every check is done: now the row is taken whole or not at all.
    for (int c = 0; c < 3; ++c)
        if (!m_text[c].append(flags & (DescNull << c) ? std::string_view() : row.text(4 + c)))
            return false;
    reserveMore(m_key, 1);
    reserveMore(m_id, 1);
    reserveMore(m_day, 1);
    reserveMore(m_type, 1);
    reserveMore(m_flags, 1);
    m_key.push_back(uint32_t(row.integer(0)));
    m_id.push_back(id);
    m_day.push_back(day);
    m_type.push_back(type);
    m_flags.push_back(flags);
    return true;
}

namespace {

// Rows copied out of the engine, a few thousand at a time, so that one core
// reads the database while the other folds and files what was read.
class RowBatch final : public FieldReader
{
public:
    static constexpr int kColumns = 7;
    static constexpr size_t kRows = 4096;

    void add(const FieldReader &row)
    {
        for (int c = 0; c < kColumns; ++c) {
            Cell cell{row.kind(c), 0, 0};
            if (cell.kind == Kind::Integer) {
                cell.value = row.integer(c);
            } else if (cell.kind == Kind::Text) {
                const std::string_view t = row.text(c);
                cell.value = qint64(m_bytes.size());
                cell.size = t.size();
                m_bytes.append(t);
            }
            m_cells.push_back(cell);
        }
    }
    size_t rows() const { return m_cells.size() / kColumns; }
    void clear()
    {
        m_bytes.clear();
        m_cells.clear();
    }
    void setRow(size_t row) { m_row = row; }

    Kind kind(int column) const override { return cell(column).kind; }
    qint64 integer(int column) const override { return cell(column).value; }
    std::string_view text(int column) const override
    {
        const Cell &c = cell(column);
        return c.kind == Kind::Text ? std::string_view(m_bytes.data() + c.value, c.size)
                                    : std::string_view();
    }

private:
    struct Cell
    {
        Kind kind;
        size_t size;
        qint64 value; // the number, or where the text starts in m_bytes
    };
    const Cell &cell(int column) const { return m_cells[m_row * kColumns + size_t(column)]; }

    std::string m_bytes;
    std::vector<Cell> m_cells;
    size_t m_row = 0;
};

// Hands full batches from the reading thread to the filing thread and the
// emptied ones back; at most a few are under way, so memory stays small.
class BatchQueue
{
public:
    std::unique_ptr<RowBatch> emptyBatch()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_empty.empty() || m_made < kInFlight; });
        if (m_empty.empty()) {
            ++m_made;
            return std::make_unique<RowBatch>();
        }
        auto batch = std::move(m_empty.back());
        m_empty.pop_back();
        return batch;
    }
    void giveFull(std::unique_ptr<RowBatch> batch)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_full.push_back(std::move(batch));
        m_changed.notify_all();
    }
    void giveEmpty(std::unique_ptr<RowBatch> batch)
    {
        batch->clear();
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_empty.push_back(std::move(batch));
        m_changed.notify_all();
    }
    void finish()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_finished = true;
        m_changed.notify_all();
    }
    // The next full batch in reading order; null once all are taken.
    std::unique_ptr<RowBatch> takeFull()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_full.empty() || m_finished; });
        if (m_full.empty())
            return nullptr;
        auto batch = std::move(m_full.front());
        m_full.pop_front();
        return batch;
    }

private:
    static constexpr int kInFlight = 4;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::unique_ptr<RowBatch>> m_full;
    std::vector<std::unique_ptr<RowBatch>> m_empty;
    int m_made = 0;
    bool m_finished = false;
};

} // namespace

Result<std::unique_ptr<DocumentIndex>> DocumentIndex::load(Database &db)
{
    auto index = std::make_unique<DocumentIndex>();
    std::atomic<bool> exact = true;
    BatchQueue queue;
    std::thread filing([&] {
        while (auto batch = queue.takeFull()) {
            for (size_t r = 0; r < batch->rows() && exact; ++r) {
                batch->setRow(r);
                if (!index->appendRow(*batch))
                    exact = false;
            }
            queue.giveEmpty(std::move(batch));
        }
    });
    auto batch = queue.emptyBatch();
    Status s = db.scan({QString::fromLatin1(kSelect) + QStringLiteral(" ORDER BY RecordPtr"), {}},
                       [&](const FieldReader &row) {
                           batch->add(row);
                           if (batch->rows() == RowBatch::kRows) {
                               queue.giveFull(std::move(batch));
                               batch = queue.emptyBatch();
                           }
                           return bool(exact);
                       });
    queue.giveFull(std::move(batch));
    queue.finish();
    filing.join();
    if (!s)
        return s;
    if (!exact)
        return Status::failure(
            QStringLiteral("The documents hold values that only SQL can order."));
    index->m_loaded = index->m_key.size();
    for (TextColumn &column : index->m_text)
        column.shrink();
    shrink(index->m_key);
    shrink(index->m_id);
    shrink(index->m_day);
    shrink(index->m_type);
    shrink(index->m_flags);
    index->sortAll();
    return index;
}

// Text order as SQLite's NOCASE collation has it: the values folded, compared
// byte by byte up to the first NUL of either; when that leaves them equal,
// the longer value (counted in bytes, NULs and all) is the greater.
int DocumentIndex::compareText(uint32_t a, uint32_t b) const
{
    const TextColumn &col = m_text[Desc];
    const std::string_view x = col.at(a), y = col.at(b);
    // Bytes compare unsigned; a value that is a prefix of the other is less.
    if (const int c = x.compare(y); c != 0)
        return c;
    auto length = [&](uint32_t slot, size_t cut) -> size_t {
        if (col.fullLength.empty())
            return cut;
        const auto it = col.fullLength.find(slot);
        return it == col.fullLength.end() ? cut : it->second;
    };
    const size_t lx = length(a, x.size()), ly = length(b, y.size());
    return lx < ly ? -1 : lx > ly ? 1 : 0;
}

bool DocumentIndex::less(uint32_t a, uint32_t b, ListOrder how) const
{
    switch (how) {
    case ListOrder::Description: {
        const bool xn = m_flags[a] & DescNull, yn = m_flags[b] & DescNull;
        if (xn != yn)
            return xn; // nulls first
        if (!xn) {
            if (const int c = compareText(a, b); c != 0)
                return c < 0;
        }
        break;
    }
    case ListOrder::Id: {
        const bool xn = m_flags[a] & IdNull, yn = m_flags[b] & IdNull;
        if (xn != yn)
            return xn;
        if (!xn && m_id[a] != m_id[b])
            return m_id[a] < m_id[b];
        break;
    }
    case ListOrder::IdDescending: {
        const bool xn = m_flags[a] & IdNull, yn = m_flags[b] & IdNull;
        if (xn != yn)
            return yn; // nulls last
        if (!xn && m_id[a] != m_id[b])
            return m_id[a] > m_id[b];
        break;
    }
    }
    return m_key[a] < m_key[b];
}

const DocumentIndex::Order &DocumentIndex::orderFor(ListOrder how) const
{
    return how == ListOrder::Description ? m_byDesc : how == ListOrder::Id ? m_byId : m_byIdDesc;
}

void DocumentIndex::sortByDescription(uint32_t n)
{
    // Eight bytes of the folded text at a time, most significant first:
    // runs that agree so far are sorted by the next eight bytes. Many
    // documents share a description, and this never compares them whole.
    struct Item
    {
        uint64_t chunk;
        uint32_t slot;
        bool operator<(const Item &o) const
        {
            return chunk != o.chunk ? chunk < o.chunk : slot < o.slot;
        }
    };
    const TextColumn &col = m_text[Desc];
    auto chunkAt = [&col](uint32_t slot, size_t depth) {
        const std::string_view v = col.at(slot);
        return prefixKey(v.substr(std::min(v.size(), depth * 8)));
    };
    std::vector<Item> items;
    std::vector<uint32_t> &out = m_byDesc.sequence;
    reserveExactly(items, n);
    reserveExactly(out, n);
    for (uint32_t s = 0; s < n; ++s) {
        if (m_flags[s] & DescNull)
            out.push_back(s); // nulls first
        else
            items.push_back({chunkAt(s, 0), s});
    }
    struct Run
    {
        size_t begin, end, depth;
    };
    std::vector<Run> pending{{0, items.size(), 0}};
    while (!pending.empty()) {
        const Run run = pending.back();
        pending.pop_back();
        std::sort(items.begin() + ptrdiff_t(run.begin), items.begin() + ptrdiff_t(run.end));
        for (size_t b = run.begin, e; b < run.end; b = e) {
            e = b + 1;
            while (e < run.end && items[e].chunk == items[b].chunk)
                ++e;
            if (e - b < 2)
                continue;
            if ((items[b].chunk & 0xFF) != 0) {
                // The texts go on: compare the next eight bytes.
                for (size_t i = b; i < e; ++i)
                    items[i].chunk = chunkAt(items[i].slot, run.depth + 1);
                pending.push_back({b, e, run.depth + 1});
            } else if (!col.fullLength.empty()) {
                // Equal up to a NUL: the longer whole value comes later.
                std::stable_sort(items.begin() + ptrdiff_t(b), items.begin() + ptrdiff_t(e),
                                 [this](const Item &x, const Item &y) {
                                     return compareText(x.slot, y.slot) < 0;
                                 });
            }
        }
    }
    for (const Item &item : items)
        out.push_back(item.slot);
}

void DocumentIndex::setTuning(Tuning t)
{
    tuning() = t;
}

void DocumentIndex::sortAll()
{
    // Right after loading, sequence follow the keys, so the slot breaks ties.
    const auto n = uint32_t(m_key.size());
    std::thread desc([this, n] { sortByDescription(n); });
    // Numbers: (number, slot) as one integer, nulls apart.
    std::vector<uint64_t> packed;
    std::vector<uint32_t> nulls;
    reserveExactly(packed, n);
    for (uint32_t s = 0; s < n; ++s) {
        if (m_flags[s] & IdNull)
            nulls.push_back(s);
        else
            packed.push_back(
                uint64_t(uint32_t(qint64(m_id[s]) - std::numeric_limits<qint32>::min())) << 32 | s);
    }
    std::sort(packed.begin(), packed.end());
    reserveExactly(m_byId.sequence, n);
    m_byId.sequence = nulls; // nulls first
    for (const uint64_t p : packed)
        m_byId.sequence.push_back(uint32_t(p));
    // Highest number first, ties still by ascending key: reverse each run of
    // equal numbers back.
    reserveExactly(m_byIdDesc.sequence, n);
    for (size_t end = packed.size(); end > 0;) {
        size_t begin = end - 1;
        while (begin > 0 && (packed[begin - 1] >> 32) == (packed[end - 1] >> 32))
            --begin;
        for (size_t i = begin; i < end; ++i)
            m_byIdDesc.sequence.push_back(uint32_t(packed[i]));
        end = begin;
    }
    m_byIdDesc.sequence.insert(m_byIdDesc.sequence.end(), nulls.begin(), nulls.end()); // nulls last
    desc.join();
    for (Order *order : {&m_byIdDesc, &m_byDesc, &m_byId}) {
        reserveExactly(order->keys, n);
        for (const uint32_t slot : order->sequence)
            order->keys.push_back(m_key[slot]);
    }
}

std::optional<uint32_t> DocumentIndex::slotOf(qint64 key) const
{
    if (const auto it = m_refreshed.find(key); it != m_refreshed.end())
        return it->second;
    if (key < 0 || key > std::numeric_limits<uint32_t>::max())
        return std::nullopt;
    const auto end = m_key.begin() + ptrdiff_t(m_loaded);
    const auto it = std::lower_bound(m_key.begin(), end, uint32_t(key));
    if (it == end || *it != key || !(m_flags[size_t(it - m_key.begin())] & Alive))
        return std::nullopt;
    return uint32_t(it - m_key.begin());
}

Status DocumentIndex::refreshRow(Database &db, qint64 key)
{
    // A changed row comes back as a new slot; the old one is dropped.
    const std::optional<uint32_t> old = slotOf(key);
    m_refreshed.erase(key);
    const size_t before = m_key.size();
    bool exact = true;
    const Status s =
        db.scan({QString::fromLatin1(kSelect) + QStringLiteral(" WHERE RecordPtr = ?"), {key}},
                [&](const FieldReader &row) {
                    exact = appendRow(row);
                    return false;
                });
    if (!s)
        return s;
    if (!exact)
        return Status::failure(
            QStringLiteral("The document holds values that only SQL can order."));
    for (BoxMatches &box : m_boxes)
        box.valid = false;
    const bool found = m_key.size() > before;
    const auto freshSlot = uint32_t(m_key.size() - 1);
    if (found)
        m_refreshed[key] = freshSlot;
    const std::pair<Order *, ListOrder> orders[] = {{&m_byIdDesc, ListOrder::IdDescending},
                                                    {&m_byDesc, ListOrder::Description},
                                                    {&m_byId, ListOrder::Id}};
    for (const auto &[order, how] : orders) {
        auto &sequence = order->sequence;
        if (old) {
            // The old slot's values are still stored, so a binary search finds it.
            const auto at =
                std::lower_bound(sequence.begin(), sequence.end(), *old,
                                 [&](uint32_t a, uint32_t b) { return less(a, b, how); });
            if (at != sequence.end() && *at == *old) {
                const size_t pos = size_t(at - sequence.begin());
                const bool fits =
                    found && (pos == 0 || less(sequence[pos - 1], freshSlot, how)) &&
                    (pos + 1 == sequence.size() || less(freshSlot, sequence[pos + 1], how));
                if (fits) {
                    // Most edits leave the row where it stood: no shifting.
                    sequence[pos] = freshSlot;
                    order->keys[pos] = m_key[freshSlot];
                    continue;
                }
                order->keys.erase(order->keys.begin() + ptrdiff_t(pos));
                sequence.erase(at);
            }
        }
        if (found) {
            const auto at =
                std::lower_bound(sequence.begin(), sequence.end(), freshSlot,
                                 [&](uint32_t a, uint32_t b) { return less(a, b, how); });
            order->keys.insert(order->keys.begin() + (at - sequence.begin()), m_key[freshSlot]);
            sequence.insert(at, freshSlot);
        }
    }
    if (old)
        m_flags[*old] &= uint8_t(~Alive);
    return Status::success();
}

// Marks in `hits` the live, non-null values of the column that the typed
// text matches; with `candidates`, only among those.
void DocumentIndex::matchInto(Column column, const QString &typed, const Bits *candidates,
                              Bits &hits) const
{
    const TextColumn &col = m_text[column];
    const FilterPattern pattern = FilterPattern::compile(typed);
    const size_t n = m_key.size();
    const uint8_t skip = uint8_t(DescNull << column);
    hits.assign((n + 63) / 64, 0);
    auto test = [&](size_t s, bool regular) {
        return (m_flags[s] & (Alive | skip)) == Alive && pattern.matchesFolded(col.at(s), regular);
    };
    const std::string &needle = pattern.literal();
    const bool oneLetter = pattern.isLiteral() && needle.size() == 1 && isLetter(needle[0]);
    size_t candidateCount = 0;
    if (candidates)
        for (const uint64_t w : *candidates)
            candidateCount += size_t(__builtin_popcountll(w));
    if (candidates && candidateCount < n / std::max<size_t>(1, tuning().oneByOneBelow)) {
        // Few left from the shorter text: test just those.
        for (size_t w = 0; w < candidates->size(); ++w)
            for (uint64_t v = (*candidates)[w]; v; v &= v - 1) {
                const size_t s = w * 64 + size_t(__builtin_ctzll(v));
                if (oneLetter ? (col.letters[s] & letterBit(needle[0])) != 0 : test(s, true))
                    setBit(hits, s);
            }
    } else if (oneLetter) {
        // One letter: the set of letters each value holds answers without
        // reading the text.
        const uint32_t bit = letterBit(needle[0]);
        forHalves(n, [&](size_t begin, size_t end) {
            // A word of the bit set at a time (begin is on a word boundary).
            for (size_t w = begin / 64; w * 64 < end; ++w) {
                const size_t from = w * 64, count = std::min<size_t>(64, end - from);
                uint64_t v = 0;
                for (size_t j = 0; j < count; ++j)
                    v |= uint64_t((col.letters[from + j] & bit) != 0) << j;
                hits[w] = v;
            }
        });
    } else if (pattern.isLiteral() && !needle.empty()) {
        // One pass of a fast substring search over all values at once; the
        // NUL after each value keeps a hit inside one value. Null values are
        // stored empty, so a literal never finds them.
        forHalves(n, [&](size_t begin, size_t end) {
            scanLiteral(col.text.data(), col.offsets[begin], col.offsets[end], begin, needle,
                        hits.data());
        });
    } else {
        forHalves(n, [&](size_t begin, size_t end) {
            for (size_t s = begin; s < end; ++s)
                if (test(s, true))
                    setBit(hits, s);
        });
    }
    if (candidates)
        for (size_t w = 0; w < hits.size(); ++w)
            hits[w] &= (*candidates)[w];
    // Byte searches are exact on well-formed text, or for ASCII alone: read
    // the rest as GLOB does.
    const bool bytesExact =
        pattern.isLiteral() && std::all_of(needle.begin(), needle.end(), [](char b) {
            return static_cast<unsigned char>(b) < 0x80;
        });
    for (const uint32_t s : bytesExact ? std::vector<uint32_t>() : col.irregular) {
        hits[s >> 6] &= ~(uint64_t(1) << (s & 63));
        if ((!candidates || testBit(*candidates, s)) && test(s, false))
            setBit(hits, s);
    }
}

const DocumentIndex::BoxMatches &DocumentIndex::match(Column column, const QString &typed) const
{
    BoxMatches &box = m_boxes[column];
    if (box.valid && box.typed == typed)
        return box;
    // Text that extends the previous text matches a subset of what that
    // matched, unless a "[" there could now open a list.
    const bool narrows =
        box.valid && typed.startsWith(box.typed) && !box.typed.contains(QLatin1Char('['));
    Bits hits;
    matchInto(column, typed, narrows ? &box.marks : nullptr, hits);
    box.marks = std::move(hits);
    box.typed = typed;
    box.count = 0;
    for (const uint64_t w : box.marks)
        box.count += size_t(__builtin_popcountll(w));
    box.valid = true;
    return box;
}

void DocumentIndex::select(const DocumentQuery &query, std::vector<qint64> &keys) const
{
    const Order &order = orderFor(query.order);
    const std::vector<uint32_t> &sequence = order.sequence;
    keys.clear();
    if (!query.filterOn) {
        reserveExactly(keys, order.keys.size());
        keys.assign(order.keys.begin(), order.keys.end());
        return;
    }
    const Bits *marks = nullptr;
    Bits combined;
    size_t matches = sequence.size();
    const QString typed[3] = {query.description.trimmed(), query.who.trimmed(),
                              query.note.trimmed()};
    for (int c = 0; c < 3; ++c) {
        if (typed[c].isEmpty())
            continue;
        const BoxMatches &box = match(Column(c), typed[c]);
        if (!marks) {
            marks = &box.marks;
            matches = box.count;
            continue;
        }
        if (marks != &combined)
            combined = *marks;
        matches = 0;
        for (size_t w = 0; w < combined.size(); ++w) {
            combined[w] &= box.marks[w];
            matches += size_t(__builtin_popcountll(combined[w]));
        }
        marks = &combined;
    }
    const bool text = marks != nullptr;
    const auto threshold = dateThreshold(query.dateEntry, query.today);
    const qint32 thresholdDay =
        threshold ? qint32(threshold->toJulianDay() - QDate(1970, 1, 1).toJulianDay()) : 0;
    const bool noDate = query.dateEntry == NoDate;
    const qint16 type = query.typeKey;
    const bool other = threshold || noDate || type != 0;
    auto passes = [&](uint32_t s) {
        const bool dateNull = m_flags[s] & DateNull;
        if (threshold && (dateNull || m_day[s] <= thresholdDay))
            return false;
        if (noDate && !dateNull)
            return false;
        return type == 0 || m_type[s] == type;
    };
    // Walk the list order, both halves at once. Every key is
    // written and kept only when its document passes, so the walk does not
    // branch on the data; each half writes into a buffer of its own.
    reserveExactly(keys, matches + 1);
    size_t taken[2] = {0, 0};
    forHalves(sequence.size(), [&](size_t begin, size_t end) {
        std::vector<qint64> &out = begin == 0 ? keys : m_secondHalf;
        reserveExactly(out, std::min(matches, end - begin) + 1);
        out.resize(std::min(matches, end - begin) + 1);
        qint64 *put = out.data();
        size_t count = 0;
        for (size_t i = begin; i < end; ++i) {
            const uint32_t s = sequence[i];
            put[count] = order.keys[i];
            bool pass = !text || testBit(*marks, s);
            if (other)
                pass = pass && passes(s);
            count += pass;
        }
        taken[begin == 0 ? 0 : 1] = count;
    });
    keys.resize(taken[0]);
    keys.insert(keys.end(), m_secondHalf.begin(), m_secondHalf.begin() + ptrdiff_t(taken[1]));
}

} // namespace qs
