#pragma once

// Writes small legacy tables and memo files for the tests, byte by byte, so that every
// odd case (deleted rows, bad dates, chosen length bytes, cut-off files) can be built.

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace qs::test {

// One table row; every field is raw bytes, blank-padded on the right to its width.
struct DbfRow
{
    char mark = ' ';
    QByteArray id;
    QByteArray description;
    QByteArray date;
    QByteArray dateAdded;
    QByteArray dateChanged;
    QByteArray type;
    QByteArray who;
    QByteArray memoBlock;
};

// Header and rows; the header states `headerCount` rows, or rows.size() when not given.
QByteArray dbfTable(const QList<DbfRow> &rows, std::optional<qint32> headerCount = {});

// One 1024-byte memo block with the given length byte and text area.
QByteArray dbtBlock(quint8 lengthByte, const QByteArray &text);

// A memo file: its own header block 0, then the given blocks numbered from 1.
QByteArray dbtMemo(const QList<QByteArray> &blocks);

bool writeFile(const QString &path, const QByteArray &bytes);
QByteArray readFile(const QString &path);

} // namespace qs::test
