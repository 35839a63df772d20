#pragma once

// Pattern of one text filter box of the main window.
//
// A filter box holds a substring to look for, ignoring letter case, in which the
// usual LIKE pattern characters keep their meaning. The list can be filtered two
// ways that must select exactly the same rows:
//
//  - in SQL, as `lower(Field) GLOB ?` with toGlob() bound to the parameter; only
//    SQLite built-ins are used, so the sqlite3 shell runs the same condition;
//  - in memory, with matchesFolded() over text folded once by fold().
//
// Folding: ASCII "A".."Z" become "a".."z", every other character is kept, which is
// what SQLite's built-in lower() (and NOCASE) does. Folded text is UTF-8, the
// encoding SQLite stores, so "?" counts characters the same way on both paths;
// it must be valid UTF-8, which every text that came from a QString is.
//
// Typed text (already trimmed by the caller) means, character by character:
//
//  "*"       any run of characters, the empty run included.
//  "?"       exactly one character (one Unicode code point, as GLOB counts them).
//  "#"       one ASCII digit "0".."9".
//  "[...]"   one character from a list; "[!...]" one character not in the list.
//            The list ends at the first "]" after the "[" (after the "!", if any).
//            Inside it every character stands for itself ("*", "?", "#", "[" too),
//            except that "x-y" is a range of code points from x to y, read left to
//            right; a range written backwards ("[z-a]") means the same as forwards.
//            A "-" that does not sit between two characters of the list this way
//            (first, last, or right after a range) is a literal "-".
//            "[]" stands for nothing at all (it matches the empty string, as in LIKE).
//            "[!]" is the complement of the empty list: any one character.
//  "["       with no "]" anywhere after it: a literal "[".
//  "]"       outside a list: a literal "]".
//  NUL       ignored (a GLOB pattern could not carry it).
//  other     the character itself.
//
// Letters compare without regard to ASCII case everywhere, lists and ranges
// included: a character matches a list when it or its other ASCII case lies in it.
// No typed text is ever an error; whatever cannot be a pattern is taken literally.
//
// The pattern matches a field when it matches some part of the field's text. A
// null field never matches (see matches()); an empty field matches only a pattern
// that needs no character, such as "*" or "[]".
//
// Size: toGlob() is at most 5 UTF-8 bytes per typed UTF-16 unit plus 2. SQLite
// refuses GLOB patterns longer than 50000 bytes unless its LIKE pattern length
// limit is raised, so very long typed text needs a capped box or a raised limit.

#include <QString>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class FilterPattern
{
public:
    // The empty pattern, which matches every non-null field.
    FilterPattern() = default;

    static FilterPattern compile(const QString &typed);

    // The GLOB pattern for `lower(Field) GLOB ?`: "*" + translated text + "*".
    QString toGlob() const;

    // For a PostgreSQL server, over the field folded the same way and compared
    // in byte order (COLLATE "C"): a LIKE pattern when the pattern has no list
    // (needsRegex() false), otherwise an unanchored regular expression for "~".
    // Both match the same texts as toGlob() in a UTF-8 database.
    bool needsRegex() const { return !m_sets.empty(); }
    QString toLike() const;
    QString toRegex() const;

    // True when the pattern holds no wildcard, so matching is a plain substring
    // search for literal() (the common, fast case).
    bool isLiteral() const { return m_literal; }
    // The folded UTF-8 text searched for; meaningful only when isLiteral().
    const std::string &literal() const { return m_needle; }

    // Matching over folded text without NUL bytes. `regular` says the text is
    // well-formed UTF-8 (as fold() makes it); text read from the database may
    // not be, and is then read strictly character by character as GLOB reads
    // it (a malformed sequence is one character U+FFFD), without the byte
    // searches that are exact only on well-formed text.
    bool matchesFolded(std::string_view folded, bool regular = true) const;

    // Whether the bytes are well-formed UTF-8 as GLOB reads it back: shortest
    // forms, no surrogates, nothing past U+10FFFF, and not U+FFFE or U+FFFF
    // (which GLOB reads as U+FFFD).
    static bool isRegularUtf8(std::string_view bytes);

    // The same test over many folded texts stored back to back, for filtering a
    // whole list at once: text i is buffer[offsets[i], offsets[i + 1]), so offsets
    // ascend and have one entry more than keep. keep[i] is cleared when text i does not match;
    // entries already cleared are not looked at, so null fields (and rows that
    // other filters dropped) are excluded by clearing them beforehand.
    void narrow(std::string_view buffer, std::span<const std::uint32_t> offsets,
                std::span<std::uint8_t> keep) const;

    // Convenience for a field value: a null QString is a null field and never matches.
    bool matches(const QString &text) const;

    // The text as the matcher sees it: UTF-8, ASCII letters in small letters,
    // identical to SQLite's lower(), except that U+FFFE and U+FFFF become U+FFFD
    // as GLOB reads them. It stops at the first NUL character, where GLOB stops
    // reading.
    static std::string fold(const QString &text);

private:
    // A set of code points, sorted and merged; negated sets match what is outside.
    struct CharSet
    {
        std::vector<std::pair<char32_t, char32_t>> ranges;
        bool negated = false;
        std::uint64_t ascii[2] = {}; // the answer for code points below 128
        bool wide = false;           // whether any code point from 128 up is in
        void finish();
        bool contains(char32_t c) const;
        // Whether a character that starts with this UTF-8 byte can be in.
        bool mayStart(unsigned char b) const
        {
            return b < 0x80 ? (ascii[b >> 6] >> (b & 63)) & 1 : wide && b >= 0xC0;
        }
    };

    enum class Op : std::uint8_t { Star, One, Char, Set };

    struct Atom
    {
        Op op;
        char32_t ch = 0;        // Op::Char
        unsigned char lead = 0; // Op::Char: first byte of ch in UTF-8
        int set = -1;           // Op::Set: index into m_sets
    };

    void append(Atom atom);
    void appendSet(CharSet set);
    bool matchRange(const char *s, const char *e, bool regular = true) const;
    bool globMatch(const unsigned char *s, const unsigned char *end, bool regular) const;

    std::vector<Atom> m_atoms; // the translated body, without the surrounding stars
    std::vector<CharSet> m_sets;
    std::string m_needle;   // the whole body when literal
    std::string m_required; // otherwise its longest literal run, a quick pre-test
    bool m_literal = true;
    bool m_asciiNeedle = true; // m_needle and m_required are ASCII only
};
