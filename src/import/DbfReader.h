#pragma once

// Reader of the legacy document table ("Document.DBF") and its memo file ("Document.DBT").
// Both are fixed-layout binary files; they are opened read-only and never written.

#include <QByteArrayView>
#include <QDate>
#include <QFile>
#include <QList>
#include <QString>

#include <optional>

namespace qs {

inline constexpr char kLegacyTableFile[] = "Document.DBF";
inline constexpr char kLegacyMemoFile[] = "Document.DBT";

// Fixed layouts of the legacy files (byte offsets and lengths).
struct DbfHeader
{
    static constexpr int kSize = 321;
    static constexpr int kRowCountOffset = 4; // 32-bit signed, little-endian
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

struct DbtBlock
{
    static constexpr int kSize = 1024;
    static constexpr int kLengthByteOffset = 4; // memo text length plus 8
    static constexpr int kTextOffset = 8;
    static constexpr int kTextLength = 1016;
};

// One live row of the legacy table, ready to be stored.
struct LegacyDocument
{
    qint32 id = 0;
    QString description;
    QString typeName; // empty: no type
    std::optional<QDate> date;
    QString who;
    QString note;
    std::optional<QDate> dateAdded;
    std::optional<QDate> dateChanged;
    int rowNumber = 0; // 1-based position in the table file, deleted rows counted
};

// Something wrong with one row that did not stop the import. `row` is 1-based;
// `field` is the database field concerned, or empty when the row as a whole is meant.
struct DbfProblem
{
    int row = 0;
    QString field;
    QString what;

    friend bool operator==(const DbfProblem &, const DbfProblem &) = default;
};

// Single-byte legacy text as Unicode (Windows-1252). The five bytes that code page leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) become their C1 code points, so nothing is lost.
QString fnDecodeLegacyText(QByteArrayView bytes);

// The bytes without their trailing blanks; leading blanks stay.
QByteArrayView fnTrimTrailingBlanks(QByteArrayView bytes);

// Numeric value of a text read as a leading number: blanks, tabs and line feeds anywhere
// are ignored, reading stops at the first character that cannot belong to the number
// (sign, digits, one decimal point, exponent), and a text without a number gives 0.
double fnNumericValue(QByteArrayView text);

// An 8-character YYYYMMDD date field. Eight blanks give no date with *ok true; anything
// else that is not a valid date gives no date with *ok false.
std::optional<QDate> ReadDbfDate(QByteArrayView field, bool *ok = nullptr);

class DbfReader
{
public:
    DbfReader(const QString &tablePath, const QString &memoPath);
    DbfReader(const DbfReader &) = delete;
    DbfReader &operator=(const DbfReader &) = delete;

    // Opens the table and reads its header; maps (or reads) the whole memo file. False
    // when the table cannot be read at all; errorString() then names the file and reason.
    // A memo file that is missing or unreadable is not a failure: the rows that name a
    // block get an empty note and a problem each.
    bool open();

    // The next live row in file order, or nothing at the end of the table or on a failure.
    std::optional<LegacyDocument> next();

    bool failed() const { return !m_error.isEmpty(); }
    QString errorString() const { return m_error; }

    int rowCount() const { return m_rowCount; } // as the header states it
    int rowsDone() const { return m_rowsDone; } // rows read so far, deleted ones included
    int importedCount() const { return m_imported; }
    int deletedCount() const { return m_deleted; }
    const QList<DbfProblem> &problems() const { return m_problems; }

private:
    bool fillBuffer();
    LegacyDocument convertRow(QByteArrayView row, int rowNumber);
    std::optional<QDate> readDate(QByteArrayView row, DbfRecord::Field field, const char *name,
                                  int rowNumber);
    QString readNote(QByteArrayView field, int rowNumber);
    void openMemo();
    void fail(const QString &path, const QString &reason);
    void addProblem(int row, const QString &field, const QString &what);

    QString m_tablePath;
    QString m_memoPath;
    QFile m_table;
    QFile m_memo;
    QByteArray m_memoCopy; // used only when the memo file cannot be mapped
    QByteArrayView m_memoBytes;
    QString m_memoUnavailable; // why rows get no note, when the memo file cannot be used

    QByteArray m_buffer; // rows read ahead from the table file
    qsizetype m_bufferPos = 0;
    bool m_tableEnded = false; // the file held fewer rows than the header states
    qsizetype m_partialRowBytes = 0;

    QString m_error;
    int m_rowCount = 0;
    int m_rowsDone = 0;
    int m_imported = 0;
    int m_deleted = 0;
    bool m_finished = false;
    QList<DbfProblem> m_problems;
};

} // namespace qs
