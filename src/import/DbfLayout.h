#pragma once

// Fixed layouts of the legacy document table ("Document.DBF") and its memo file
// ("Document.DBT"), and the check that a table has the layout the import reads.

#include <QByteArrayView>
#include <QString>

namespace qs {

inline constexpr char kLegacyTableFile[] = "Document.DBF";
inline constexpr char kLegacyMemoFile[] = "Document.DBT";

// The table header: 32 fixed bytes, one 32-byte descriptor per field, a 0x0D byte, and
// whatever padding the writing program added. Rows begin where the header's own length
// says: the legacy program wrote 321 bytes, other dBASE tools write other lengths.
struct DbfHeader
{
    static constexpr int kFixedSize = 32;
    static constexpr int kVersionOffset = 0;
    static constexpr int kRowCountOffset = 4;        // 32-bit signed, little-endian
    static constexpr int kHeaderLengthOffset = 8;    // 16-bit unsigned, little-endian
    static constexpr int kRecordLengthOffset = 10;   // 16-bit unsigned, little-endian
    static constexpr int kLanguageDriverOffset = 29; // names the code page of the text
    static constexpr int kDescriptorSize = 32;
    static constexpr int kNameLength = 11; // NUL-padded field name at a descriptor's start
    static constexpr int kTypeOffset = 11;
    static constexpr int kLengthOffset = 16;
    static constexpr int kSize = 321; // as the legacy program wrote it
};

struct DbfRecord
{
    static constexpr int kSize = 131;
    struct Field
    {
        int offset;
        int length;
    };
    static constexpr Field kDeletionMark{0, 1};
    static constexpr Field kId{1, 6};
    static constexpr Field kDescription{7, 40};
    static constexpr Field kDate{47, 8};
    static constexpr Field kDateAdded{55, 8};
    static constexpr Field kDateChanged{63, 8};
    static constexpr Field kType{71, 10};
    static constexpr Field kWho{81, 30};
    static constexpr Field kMemoBlock{111, 20};
};

// The field descriptors of the document table, in order: name, dBASE type, width.
struct DbfLegacyField
{
    const char *name;
    char type;
    DbfRecord::Field field;
};

inline constexpr DbfLegacyField kLegacyFields[] = {
    {"ID", 'N', DbfRecord::kId},
    {"DESCRIPTIO", 'C', DbfRecord::kDescription},
    {"DATE", 'D', DbfRecord::kDate},
    {"DATEADDED", 'D', DbfRecord::kDateAdded},
    {"DATECHANGE", 'D', DbfRecord::kDateChanged},
    {"TYPE", 'C', DbfRecord::kType},
    {"WHO", 'C', DbfRecord::kWho},
    {"NOTE", 'M', DbfRecord::kMemoBlock},
};

struct DbtBlock
{
    static constexpr int kSize = 1024;
    static constexpr int kLengthByteOffset = 4; // memo text length plus 8
    static constexpr int kTextOffset = 8;
    static constexpr int kTextLength = 1016;
};

// The header length that the table's first 32 bytes state.
int fnDbfHeaderLength(QByteArrayView fixedHeader);

// Why the first 32 bytes are not those of a dBASE III or IV table, in words for the user;
// empty when they are. The version byte's memo flags do not count.
QString fnDbfVersionMismatch(QByteArrayView fixedHeader);

// What keeps `header` (the whole header, as long as it says it is) from being read as
// the document table: its field descriptors (names, types, widths, in order) and its
// row length. Empty when it fits.
QString fnDbfLayoutMismatch(QByteArrayView header);

} // namespace qs
