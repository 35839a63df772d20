#pragma once

#include "main/DocumentQuery.h"
#include "store/Database.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qs {

// A copy of the documents held in memory, with the text folded as SQLite's
// lower() folds it and the three list orders kept sorted, so that the list
// can be filtered on every keystroke at a million documents. It selects
// exactly the documents, in exactly the order, that the list's SQL would.
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

    // The keys the query selects, in its order.
    void select(const DocumentQuery &query, std::vector<qint64> &keys) const;

    size_t size() const { return m_byIdDesc.slotIds.size(); }

private:
    struct Entry
    {
        qint64 key = 0;
        qint64 id = 0;
        qint32 day = 0; // days since 1970-01-01
        qint64 type = 0;
        bool idNull = true;
        bool dateNull = true;
    };
    struct TextColumn
    {
        std::string text;            // folded values, each ending in NUL
        std::vector<size_t> offsets; // start of each slot's value, plus the end
        std::vector<uint8_t> null;
        std::vector<uint64_t> letters; // which characters each value holds
        std::string_view at(size_t slot) const
        {
            return std::string_view(text.data() + offsets[slot], offsets[slot + 1] - offsets[slot] - 1);
        }
        void append(std::string_view folded, bool isNull);
    };
    enum Column { Desc, Who, Note };

    // One list order: the slotIds in that order, their keys alongside (read
    // in sequence when most documents match) and each slot's rank (to sort
    // a few matches into order without walking the whole list).
    struct Order
    {
        std::vector<uint32_t> slotIds;
        std::vector<qint64> keys;
        mutable std::vector<uint32_t> rank;
        mutable bool rankStale = true;
    };

    bool appendRow(const FieldReader &row);
    void sortAll();
    void insertSorted(Order &order, uint32_t slot, ListOrder how);
    bool less(uint32_t a, uint32_t b, ListOrder how) const;
    const Order &orderFor(ListOrder how) const;
    Order &orderFor(ListOrder how);
    using Bits = std::vector<uint64_t>;
    static bool testBit(const Bits &bits, size_t i) { return (bits[i >> 6] >> (i & 63)) & 1; }
    size_t match(Column column, const QString &typed, Bits &marks, bool first) const;

    std::vector<Entry> m_entries; // slotIds, in the order they were read
    std::vector<uint8_t> m_alive;
    TextColumn m_text[3];
    Order m_byIdDesc, m_byDesc, m_byId;
    std::unordered_map<qint64, uint32_t> m_slotOfKey;
};

} // namespace qs
