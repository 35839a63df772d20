#pragma once

#include "main/DocumentQuery.h"
#include "store/Database.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qs {

// A copy of the documents held in memory, with the text folded as SQLite's
// lower() folds it and the three list orders kept sorted, so that the list
// can be filtered on every keystroke at a million documents. It selects
// exactly the documents, in exactly the order, that the list's SQL would,
// text with NUL bytes or malformed UTF-8 included.
//
// Each field is one contiguous array indexed by slot; a slot is one version
// of a row (a changed row gets a new slot, the old one is dropped).
class DocumentIndex
{
public:
    // Reads every document. Fails when the table holds a value whose order
    // or matching the index could not reproduce exactly (for instance text
    // stored in the ID field by another tool); the SQL path serves then.
    static Result<std::unique_ptr<DocumentIndex>> load(Database &db);

    // Takes the row with this key as it now stands in the database (added,
    // changed or deleted).
    Status refreshRow(Database &db, qint64 key);

    // The keys the query selects, in its order. Remembers each box's matches,
    // so that the next keystroke that only extends a box's text tests just
    // the documents that matched before.
    void select(const DocumentQuery &query, std::vector<qint64> &keys) const;

    size_t size() const { return m_byIdDesc.sequence.size(); }

    // How the work is spread: tables of at least `splitAt` documents use both
    // cores, substring searches use vectors of up to `vectorBits` bits (-1:
    // the widest the processor has), and text that grew is tested against the
    // previous matches one by one when they are fewer than one document in
    // `oneByOneBelow`. Tests change them, so that the paths meant for large
    // tables and other processors run on small ones too.
    struct Tuning
    {
        size_t splitAt = 200000;
        int vectorBits = -1;
        size_t oneByOneBelow = 32;
    };
    static void setTuning(Tuning tuning);

private:
    using Bits = std::vector<uint64_t>;
    enum Column { Desc, Who, Note };
    enum Flag : uint8_t {
        Alive = 1,
        IdNull = 2,
        DateNull = 4,
        DescNull = 8, // DescNull << column: the column's value is null
    };
    struct TextColumn
    {
        // Folded values up to their first NUL, each followed by a NUL.
        std::string text;
        std::vector<uint32_t> offsets; // start of each slot's value, plus the end
        std::vector<uint32_t> letters; // which letters a..z each value holds
        // Slots whose value is not plain UTF-8 (malformed, or cut at a NUL),
        // ascending; byte searches are checked again character by character
        // there. The byte length of the whole value of those cut at a NUL.
        std::vector<uint32_t> irregular;
        std::unordered_map<uint32_t, uint32_t> fullLength;
        std::string_view at(size_t slot) const
        {
            return std::string_view(text.data() + offsets[slot],
                                    offsets[slot + 1] - offsets[slot] - 1);
        }
        bool append(std::string_view raw);
        void shrink();
    };

    // One list order: the slots in that order, and their keys alongside.
    struct Order
    {
        std::vector<uint32_t> sequence;
        std::vector<uint32_t> keys;
    };

    // The matches of one box for the text it last held.
    struct BoxMatches
    {
        bool valid = false;
        QString typed;
        Bits marks;
        size_t count = 0;
    };

    bool appendRow(const FieldReader &row);
    void sortAll();
    void sortByDescription(uint32_t n);
    bool less(uint32_t a, uint32_t b, ListOrder how) const;
    int compareText(uint32_t a, uint32_t b) const;
    const Order &orderFor(ListOrder how) const;
    std::optional<uint32_t> slotOf(qint64 key) const;
    const BoxMatches &match(Column column, const QString &typed) const;
    void matchInto(Column column, const QString &typed, const Bits *candidates, Bits &hits) const;
    static bool testBit(const Bits &bits, size_t i) { return (bits[i >> 6] >> (i & 63)) & 1; }

    std::vector<uint32_t> m_key; // RecordPtr; ascending over the slots loaded at first
    std::vector<qint32> m_id;
    std::vector<qint32> m_day; // days since 1970-01-01
    std::vector<qint16> m_type;
    std::vector<uint8_t> m_flags;
    TextColumn m_text[3];
    Order m_byIdDesc, m_byDesc, m_byId;
    size_t m_loaded = 0; // slots [0, m_loaded) came from the first read
    // Current slot of the rows refreshed since; the others are found by
    // binary search among the first read's keys.
    std::unordered_map<qint64, uint32_t> m_refreshed;
    mutable BoxMatches m_boxes[3];
    mutable std::vector<qint64> m_secondHalf; // kept, so its pages stay ready
};

} // namespace qs
