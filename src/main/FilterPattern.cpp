#include "main/FilterPattern.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <iterator>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

bool isUpperAscii(char32_t c)
{
    return c >= U'A' && c <= U'Z';
}

char32_t foldChar(char32_t c)
{
    return isUpperAscii(c) ? c + 32 : c;
}

// Reads one character the way SQLite's GLOB does: a lead byte takes every
// continuation byte after it, and malformed values read as U+FFFD. For valid
// UTF-8 this is plain decoding.
char32_t readChar(const unsigned char *&p, const unsigned char *end)
{
    char32_t c = *p++;
    if (c < 0xC0)
        return c;
    if (c < 0xE0)
        c &= 0x1F;
    else if (c < 0xF0)
        c &= 0x0F;
    else if (c < 0xF8)
        c &= 0x07;
    else if (c < 0xFC)
        c &= 0x03;
    else if (c < 0xFE)
        c &= 0x01;
    else
        c = 0;
    while (p < end && (*p & 0xC0) == 0x80)
        c = (c << 6) + (*p++ & 0x3F);
    if (c < 0x80 || (c & 0xFFFFF800) == 0xD800 || (c & 0xFFFFFFFE) == 0xFFFE)
        c = 0xFFFD;
    return c;
}

void appendUtf8(std::string &out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

using Ranges = std::vector<std::pair<char32_t, char32_t>>;

void sortAndMerge(Ranges &ranges)
{
    std::sort(ranges.begin(), ranges.end());
    Ranges merged;
    for (const auto &r : ranges) {
        if (!merged.empty() && r.first <= merged.back().second + 1)
            merged.back().second = std::max(merged.back().second, r.second);
        else
            merged.push_back(r);
    }
    ranges.swap(merged);
}

// The folded text never holds "A".."Z", so a list needs only the folded form of
// each member: a range loses its capitals and gains their small letters.
void addFoldedRange(Ranges &out, char32_t lo, char32_t hi)
{
    if (lo > hi)
        std::swap(lo, hi);
    if (lo < U'A')
        out.emplace_back(lo, std::min(hi, char32_t(U'A' - 1)));
    if (hi > U'Z')
        out.emplace_back(std::max(lo, char32_t(U'Z' + 1)), hi);
    const char32_t a = std::max(lo, char32_t(U'A'));
    const char32_t z = std::min(hi, char32_t(U'Z'));
    if (a <= z)
        out.emplace_back(foldChar(a), foldChar(z));
}

// Takes c out of the ranges; returns whether it was there.
bool extract(Ranges &ranges, char32_t c)
{
    for (auto it = ranges.begin(); it != ranges.end(); ++it) {
        if (c < it->first || c > it->second)
            continue;
        const auto [lo, hi] = *it;
        it = ranges.erase(it);
        if (c < hi)
            it = ranges.insert(it, {c + 1, hi});
        if (lo < c)
            ranges.insert(it, {lo, c - 1});
        return true;
    }
    return false;
}

void appendGlobChar(std::string &out, char32_t c)
{
    if (c == U'*' || c == U'?' || c == U'[') {
        out += '[';
        out += char(c);
        out += ']';
    } else {
        appendUtf8(out, c);
    }
}

// A GLOB list is read left to right with three special places: "^" first
// negates, "]" first is a member, and "-" makes a range unless it comes first
// or last. Those three characters are therefore written apart from the ranges.
void appendGlobSet(std::string &out, Ranges ranges, bool negated)
{
    const bool close = extract(ranges, U']');
    const bool dash = extract(ranges, U'-');
    const bool caret = extract(ranges, U'^');
    out += '[';
    if (negated)
        out += '^';
    if (close)
        out += ']';
    if (dash)
        out += '-';
    for (const auto &[lo, hi] : ranges) {
        appendUtf8(out, lo);
        if (hi > lo + 1)
            out += '-';
        if (hi > lo)
            appendUtf8(out, hi);
    }
    if (caret)
        out += '^';
    out += ']';
}

// Is needle somewhere in [s, e)? For one short text: find its first byte, then
// compare the rest.
bool containsBytes(std::string_view needle, const char *s, const char *e)
{
    const std::size_t n = needle.size();
    if (n == 0)
        return true;
    if (std::size_t(e - s) < n)
        return false;
    const char *last = e - n; // last start that fits
    const char first = needle.front();
    while (s <= last) {
        s = static_cast<const char *>(std::memchr(s, first, std::size_t(last - s) + 1));
        if (!s)
            return false;
        if (std::memcmp(s + 1, needle.data() + 1, n - 1) == 0)
            return true;
        ++s;
    }
    return false;
}

// Bit p of the result says whether needle starts at text[p], for every start that
// fits. One pass over the whole list text in 16-byte blocks avoids the per-text
// branches that dominate when texts are short; the result has 8 zero bytes of
// slack so that any 64-bit window starting inside it can be read.
std::vector<std::uint16_t> needleStarts(std::string_view needle, std::string_view text)
{
    const std::size_t n = needle.size();
    const std::size_t size = text.size();
    const char *base = text.data();
    std::vector<std::uint16_t> bits(size / 16 + 6);
    std::size_t p = 0;
#if defined(__SSE2__)
    // A candidate has the first and the last byte in place; that is exact for
    // needles of up to two bytes, longer ones compare the middle too.
    const __m128i head = _mm_set1_epi8(needle.front());
    const __m128i tail = _mm_set1_epi8(needle.back());
    auto candidates = [&](std::size_t at) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(base + at));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(base + at + n - 1));
        return unsigned(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, head), _mm_cmpeq_epi8(b, tail))));
    };
    if (n <= 2) {
        for (; p + 16 + n - 1 <= size; p += 16)
            bits[p / 16] = std::uint16_t(candidates(p));
    } else {
        for (; p + 16 + n - 1 <= size; p += 16) {
            unsigned mask = candidates(p);
            for (unsigned rest = mask; rest != 0; rest &= rest - 1) {
                const int i = std::countr_zero(rest);
                if (std::memcmp(base + p + i + 1, needle.data() + 1, n - 2) != 0)
                    mask &= ~(1u << i);
            }
            bits[p / 16] = std::uint16_t(mask);
        }
    }
#endif
    for (; p + n <= size; ++p) {
        if (base[p] == needle.front() && std::memcmp(base + p, needle.data(), n) == 0)
            bits[p / 16] |= std::uint16_t(1u << (p % 16));
    }
    return bits;
}

// Is any of bits [from, to) set (from < to)? Texts are usually shorter than one
// 56-bit window, so this is mostly a single load and mask, without branches that
// would depend on the data.
bool anyBit(const std::vector<std::uint16_t> &bits, std::size_t from, std::size_t to)
{
    const auto *bytes = reinterpret_cast<const unsigned char *>(bits.data());
    std::uint64_t any = 0;
    do {
        std::uint64_t word;
        std::memcpy(&word, bytes + from / 8, sizeof word);
        const std::size_t span = std::min<std::size_t>(to - from, 56);
        any |= (word >> (from % 8)) & ((std::uint64_t(1) << span) - 1);
        from += span;
    } while (from < to);
    return any != 0;
}

// A character of a regular expression: letters, digits and anything beyond
// ASCII stand for themselves; other ASCII characters are written as escapes
// of exactly four digits, which mean the character itself inside and
// outside lists.
void appendRegexChar(std::string &out, char32_t c)
{
    const bool plain = (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z') ||
                       (c >= U'0' && c <= U'9') || c >= 0x80;
    if (plain) {
        appendUtf8(out, c);
        return;
    }
    static const char hex[] = "0123456789ABCDEF";
    out += "\\u00";
    out += hex[(c >> 4) & 15];
    out += hex[c & 15];
}

} // namespace

void FilterPattern::CharSet::finish()
{
    for (char32_t c = 0; c < 128; ++c) {
        bool inside = false;
        for (const auto &[lo, hi] : ranges)
            inside = inside || (c >= lo && c <= hi);
        if (inside != negated)
            ascii[c >> 6] |= std::uint64_t(1) << (c & 63);
    }
    wide = negated || (!ranges.empty() && ranges.back().second >= 0x80);
}

bool FilterPattern::CharSet::contains(char32_t c) const
{
    if (c < 128)
        return (ascii[c >> 6] >> (c & 63)) & 1;
    bool inside = false;
    for (const auto &[lo, hi] : ranges) {
        if (c < lo)
            break;
        if (c <= hi) {
            inside = true;
            break;
        }
    }
    return inside != negated;
}

void FilterPattern::append(Atom atom)
{
    if (atom.op == Op::Star && !m_atoms.empty() && m_atoms.back().op == Op::Star)
        return;
    if (atom.op == Op::Char) {
        const std::size_t at = m_needle.size();
        appendUtf8(m_needle, atom.ch);
        atom.lead = static_cast<unsigned char>(m_needle[at]);
    } else {
        m_literal = false;
    }
    m_atoms.push_back(atom);
}

void FilterPattern::appendSet(CharSet set)
{
    const auto &r = set.ranges;
    if (!set.negated && r.empty())
        return; // "[]": nothing to match
    if (set.negated && r.empty())
        return append({Op::One});
    if (!set.negated && r.size() == 1 && r.front().first == r.front().second)
        return append({Op::Char, r.front().first});
    set.finish();
    m_sets.push_back(std::move(set));
    append({.op = Op::Set, .set = int(m_sets.size() - 1)});
}

FilterPattern FilterPattern::compile(const QString &typed)
{
    // Decoding our own UTF-8 keeps the pattern consistent with fold(), which
    // sees text through the same conversion.
    const QByteArray utf8 = typed.toUtf8();
    std::u32string cps;
    auto p = reinterpret_cast<const unsigned char *>(utf8.constData());
    const auto end = p + utf8.size();
    while (p < end) {
        const char32_t c = readChar(p, end);
        if (c != 0)
            cps += c;
    }

    FilterPattern fp;
    const std::size_t n = cps.size();
    for (std::size_t i = 0; i < n; ++i) {
        const char32_t c = cps[i];
        if (c == U'*') {
            fp.append({Op::Star});
        } else if (c == U'?') {
            fp.append({Op::One});
        } else if (c == U'#') {
            fp.appendSet({{{U'0', U'9'}}, false});
        } else if (c == U'[') {
            std::size_t first = i + 1;
            const bool negated = first < n && cps[first] == U'!';
            if (negated)
                ++first;
            const std::size_t close = cps.find(U']', first);
            if (close == std::u32string::npos) {
                fp.append({Op::Char, c}); // unbalanced: a plain "["
                continue;
            }
            CharSet set;
            set.negated = negated;
            for (std::size_t k = first; k < close;) {
                if (k + 2 < close && cps[k + 1] == U'-') {
                    addFoldedRange(set.ranges, cps[k], cps[k + 2]);
                    k += 3;
                } else {
                    addFoldedRange(set.ranges, cps[k], cps[k]);
                    ++k;
                }
            }
            sortAndMerge(set.ranges);
            fp.appendSet(std::move(set));
            i = close;
        } else {
            fp.append({Op::Char, foldChar(c)});
        }
    }
    // The literal pieces (m_required below) are all taken from m_needle.
    fp.m_asciiNeedle = std::none_of(fp.m_needle.begin(), fp.m_needle.end(),
                                    [](char b) { return static_cast<unsigned char>(b) >= 0x80; });
    if (!fp.m_literal) {
        std::string run;
        for (const Atom &atom : fp.m_atoms) {
            if (atom.op == Op::Char) {
                appendUtf8(run, atom.ch);
                continue;
            }
            if (run.size() > fp.m_required.size())
                fp.m_required = run;
            run.clear();
        }
        if (run.size() > fp.m_required.size())
            fp.m_required = run;
    }
    return fp;
}

QString FilterPattern::toLike() const
{
    std::string out = "%";
    for (const Atom &atom : m_atoms) {
        switch (atom.op) {
        case Op::Star:
            out += '%';
            break;
        case Op::One:
            out += '_';
            break;
        case Op::Char:
            if (atom.ch == U'%' || atom.ch == U'_' || atom.ch == U'\\')
                out += '\\';
            appendUtf8(out, atom.ch);
            break;
        case Op::Set:
            break; // needsRegex()
        }
    }
    out += '%';
    return QString::fromStdString(out);
}

QString FilterPattern::toRegex() const
{
    std::string out;
    for (const Atom &atom : m_atoms) {
        switch (atom.op) {
        case Op::Star:
            out += ".*";
            break;
        case Op::One:
            out += '.';
            break;
        case Op::Char:
            appendRegexChar(out, atom.ch);
            break;
        case Op::Set: {
            const CharSet &set = m_sets[size_t(atom.set)];
            out += set.negated ? "[^" : "[";
            for (const auto &[lo, hi] : set.ranges) {
                appendRegexChar(out, lo);
                if (hi > lo) {
                    out += '-';
                    appendRegexChar(out, hi);
                }
            }
            out += ']';
            break;
        }
        }
    }
    return QString::fromStdString(out);
}

QString FilterPattern::toGlob() const
{
    // The body's own leading and trailing stars coincide with the outer ones.
    auto first = m_atoms.begin();
    auto last = m_atoms.end();
    if (first != last && first->op == Op::Star)
        ++first;
    if (first != last && std::prev(last)->op == Op::Star)
        --last;
    std::string out = "*";
    for (auto it = first; it != last; ++it) {
        switch (it->op) {
        case Op::Star:
            out += '*';
            break;
        case Op::One:
            out += '?';
            break;
        case Op::Char:
            appendGlobChar(out, it->ch);
            break;
        case Op::Set:
            appendGlobSet(out, m_sets[it->set].ranges, m_sets[it->set].negated);
            break;
        }
    }
    if (first != last)
        out += '*';
    return QString::fromStdString(out);
}

bool FilterPattern::matchesFolded(std::string_view folded, bool regular) const
{
    return matchRange(folded.data(), folded.data() + folded.size(), regular);
}

bool FilterPattern::isRegularUtf8(std::string_view bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const auto *end = p + bytes.size();
    while (p < end) {
        // ASCII runs, eight bytes at a time.
        std::uint64_t word;
        if (end - p >= 8 && (std::memcpy(&word, p, 8), (word & 0x8080808080808080ull) == 0)) {
            p += 8;
            continue;
        }
        const unsigned char b = *p;
        if (b < 0x80) {
            ++p;
            continue;
        }
        int more = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : -1;
        if (more < 0 || b > 0xF4 || end - p <= more)
            return false;
        char32_t c = b & (0x3F >> more);
        for (int i = 1; i <= more; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
            c = (c << 6) | (p[i] & 0x3F);
        }
        static const char32_t least[] = {0, 0x80, 0x800, 0x10000};
        if (c < least[more] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF) || c == 0xFFFE ||
            c == 0xFFFF)
            return false;
        p += more + 1;
    }
    return true;
}

void FilterPattern::narrow(std::string_view buffer, std::span<const std::uint32_t> offsets,
                           std::span<std::uint8_t> keep) const
{
    const std::size_t count = keep.size();
    if (count == 0)
        return;
    const char *base = buffer.data();
    const std::string &needle = m_literal ? m_needle : m_required;
    const auto kept =
        std::size_t(std::count_if(keep.begin(), keep.end(), [](auto k) { return k; }));
    // Scanning the whole list text pays when most texts are still candidates.
    if (needle.empty() || kept * 4 < count) {
        for (std::size_t i = 0; i < count; ++i) {
            if (keep[i] && !matchRange(base + offsets[i], base + offsets[i + 1]))
                keep[i] = 0;
        }
        return;
    }
    const std::size_t origin = offsets[0];
    const std::string_view text = buffer.substr(origin, offsets[count] - origin);
    const std::vector<std::uint16_t> starts = needleStarts(needle, text);
    const std::size_t n = needle.size();
    for (std::size_t i = 0; i < count; ++i) {
        if (!keep[i])
            continue;
        const std::size_t from = offsets[i] - origin;
        const std::size_t to = offsets[i + 1] - origin;
        bool ok = to - from >= n && anyBit(starts, from, to - n + 1);
        if (!m_literal && ok)
            ok = globMatch(reinterpret_cast<const unsigned char *>(base + offsets[i]),
                           reinterpret_cast<const unsigned char *>(base + offsets[i + 1]), true);
        keep[i] = ok;
    }
}

bool FilterPattern::matchRange(const char *s, const char *e, bool regular) const
{
    // A byte search agrees with GLOB on well-formed text, and for ASCII on any
    // text: an ASCII byte is always a character of its own. Elsewhere an
    // overlong form or a stray continuation byte reads differently.
    const bool bytesExact = regular || m_asciiNeedle;
    if (m_literal && bytesExact)
        return containsBytes(m_needle, s, e);
    if (bytesExact && !containsBytes(m_required, s, e))
        return false;
    return globMatch(reinterpret_cast<const unsigned char *>(s),
                     reinterpret_cast<const unsigned char *>(e), regular);
}

// Greedy star with one backtrack point: every other atom takes exactly one
// character, so retrying from the last star is enough and the cost stays at
// text length times pattern length. The body has an implicit star on each side,
// so matching it anywhere is a match.
bool FilterPattern::globMatch(const unsigned char *s, const unsigned char *end, bool regular) const
{
    const std::size_t count = m_atoms.size();
    std::size_t p = 0;
    std::size_t starP = 0;
    const unsigned char *starS = s;
    // After a star, skip the places where the next atom cannot start.
    auto skipToStart = [&]() {
        if (starP >= count || starS >= end)
            return true;
        const Atom &next = m_atoms[starP];
        // On malformed text only an ASCII byte surely starts a character.
        if (!regular && !(next.op == Op::Char && next.ch < 0x80))
            return true;
        if (next.op == Op::Char) {
            starS = static_cast<const unsigned char *>(
                std::memchr(starS, next.lead, std::size_t(end - starS)));
            return starS != nullptr;
        }
        if (next.op == Op::Set) {
            const CharSet &set = m_sets[next.set];
            while (starS < end && !set.mayStart(*starS))
                ++starS;
            return starS < end;
        }
        return true;
    };
    if (!skipToStart())
        return false;
    s = starS;
    while (p < count) {
        const Atom &atom = m_atoms[p];
        if (atom.op == Op::Star) {
            starP = ++p;
            starS = s;
            if (!skipToStart())
                return false;
            s = starS;
            continue;
        }
        if (s < end) {
            const unsigned char *next = s;
            const char32_t c = *s < 0x80 ? *next++ : readChar(next, end);
            bool ok = true;
            if (atom.op == Op::Char)
                ok = c == atom.ch;
            else if (atom.op == Op::Set)
                ok = m_sets[atom.set].contains(c);
            if (ok) {
                s = next;
                ++p;
                continue;
            }
        }
        if (starS >= end)
            return false;
        readChar(starS, end);
        if (!skipToStart())
            return false;
        s = starS;
        p = starP;
    }
    return true;
}

bool FilterPattern::matches(const QString &text) const
{
    if (text.isNull())
        return false;
    const std::string folded = fold(text);
    return matchesFolded(folded);
}

std::string FilterPattern::fold(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    std::string out(utf8.constData(), std::strlen(utf8.constData()));
    for (std::size_t i = 0; i < out.size(); ++i) {
        char &ch = out[i];
        if (ch >= 'A' && ch <= 'Z')
            ch = char(ch + 32);
        // GLOB reads U+FFFE and U+FFFF as U+FFFD, and so does compile(); the byte
        // searches must see the same character.
        if (ch == '\xEF' && i + 2 < out.size() && out[i + 1] == '\xBF' &&
            (out[i + 2] == '\xBE' || out[i + 2] == '\xBF'))
            out[i + 2] = '\xBD';
    }
    return out;
}
