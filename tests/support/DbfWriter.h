#pragma once

// Writes small legacy tables and memo files for the tests, byte by byte, so that every
// odd case (deleted rows, bad dates, chosen length bytes, cut-off files) can be built.

#include "support/TestSupport.h"

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

// One field descriptor of the header: name, dBASE type, width.
struct DbfField
{
    QByteArray name;
    char type;
    int length;
};

// The document table's fields, as the legacy program wrote them.
QList<DbfField> documentFields();

// How the header is written; the defaults give the legacy program's own table. The rows
// are always written in the document table's layout, from `headerLength` on.
struct DbfShape
{
    quint8 version = 0x03;
    quint8 languageDriver = 0;
    int headerLength = 321;
    int recordLength = 131;
    QList<DbfField> fields = documentFields();
};

// Header and rows; the header states `headerCount` rows, or rows.size() when not given.
QByteArray dbfTable(const QList<DbfRow> &rows, std::optional<qint32> headerCount = {},
                    const DbfShape &shape = {});

// One 1024-byte memo block with the given length byte and text area.
QByteArray dbtBlock(quint8 lengthByte, const QByteArray &text);

// A memo file: its own header block 0, then the given blocks numbered from 1.
QByteArray dbtMemo(const QList<QByteArray> &blocks);

// A row described "Document <id>", with the given type and memo block.
DbfRow dbfRow(int id, const QByteArray &type = {}, const QByteArray &memoBlock = {},
              char mark = ' ');

} // namespace qs::test
