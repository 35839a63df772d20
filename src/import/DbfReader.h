#pragma once

// Reader of the legacy document table ("Document.DBF") and its memo file ("Document.DBT").
// Both are fixed-layout binary files; they are opened read-only and never written.

#include "import/CodePage.h"
#include "import/DbfLayout.h"

#include <QByteArrayView>
#include <QDate>
#include <QFile>
#include <QList>
#include <QString>

#include <optional>

namespace qs {

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

// The bytes without their trailing padding: blanks, and the NUL bytes that some programs
// pad with. Leading blanks stay.
QByteArrayView fnTrimPadding(QByteArrayView bytes);

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

    // Opens the table, reads its header and checks that it has the document table's
    // layout; maps (or reads) the whole memo file. False when the table cannot be read as
    // the document table; errorString() then names the file and says why.
    // Both files must be regular files: a named pipe, device or folder is refused at
    // once, never waited on.
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
    // The code page that the header names, in which every text is read.
    const CodePage &codePage() const { return m_codePage; }

private:
    bool fillBuffer();
    LegacyDocument convertRow(QByteArrayView row, int rowNumber);
    std::optional<QDate> readDate(QByteArrayView row, DbfRecord::Field field, const char *name,
                                  int rowNumber);
    QString readText(QByteArrayView row, DbfRecord::Field field, const QString &name,
                     int rowNumber);
    QString readNote(QByteArrayView field, int rowNumber);
    bool readHeader();
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

    CodePage m_codePage = CodePage::forLanguageDriver(0);
    QString m_error;
    int m_rowCount = 0;
    int m_rowsDone = 0;
    int m_imported = 0;
    int m_deleted = 0;
    bool m_finished = false;
    QList<DbfProblem> m_problems;
};

} // namespace qs
