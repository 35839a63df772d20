#include "DbfWriter.h"

#include <QFile>
#include <QtEndian>

#include <algorithm>

namespace qs::test {

namespace {

void put(QByteArray &row, int offset, int width, const QByteArray &value)
{
    const QByteArray fitted = value.left(width);
    row.replace(offset, fitted.size(), fitted);
}

} // namespace

QList<DbfField> documentFields()
{
    return {{"ID", 'N', 6},        {"DESCRIPTIO", 'C', 40}, {"DATE", 'D', 8},
            {"DATEADDED", 'D', 8}, {"DATECHANGE", 'D', 8},  {"TYPE", 'C', 10},
            {"WHO", 'C', 30},      {"NOTE", 'M', 20}};
}

QByteArray dbfTable(const QList<DbfRow> &rows, std::optional<qint32> headerCount,
                    const DbfShape &shape)
{
    // Bytes the reader must not look at get values a real file might hold: a date, the
    // reserved area, the descriptors' field addresses, the padding after the header.
    QByteArray bytes(std::max(shape.headerLength, 32), '\0');
    std::fill_n(bytes.data(), 32, '\x0d');
    bytes[0] = char(shape.version);
    bytes[1] = 99;
    bytes[2] = 12;
    bytes[3] = 31;
    qToLittleEndian<qint32>(headerCount.value_or(qint32(rows.size())), bytes.data() + 4);
    qToLittleEndian<quint16>(quint16(shape.headerLength), bytes.data() + 8);
    qToLittleEndian<quint16>(quint16(shape.recordLength), bytes.data() + 10);
    bytes[29] = char(shape.languageDriver);
    int at = 32;
    for (const DbfField &field : shape.fields) {
        if (at >= shape.headerLength)
            break;
        QByteArray descriptor(32, '\0');
        put(descriptor, 0, 11, field.name);
        descriptor[11] = field.type;
        qToLittleEndian<quint32>(quint32(at), descriptor.data() + 12);
        descriptor[16] = char(field.length);
        put(bytes, at, shape.headerLength - at, descriptor);
        at += 32;
    }
    if (at < shape.headerLength)
        bytes[at] = '\x0d';
    bytes.truncate(shape.headerLength);

    for (const DbfRow &r : rows) {
        QByteArray row(131, ' ');
        row[0] = r.mark;
        put(row, 1, 6, r.id);
        put(row, 7, 40, r.description);
        put(row, 47, 8, r.date);
        put(row, 55, 8, r.dateAdded);
        put(row, 63, 8, r.dateChanged);
        put(row, 71, 10, r.type);
        put(row, 81, 30, r.who);
        put(row, 111, 20, r.memoBlock);
        bytes += row;
    }
    return bytes;
}

QByteArray dbtBlock(quint8 lengthByte, const QByteArray &text)
{
    QByteArray block(1024, '\0');
    block[0] = '\xff';
    block[4] = char(lengthByte);
    block[5] = '\xaa';
    const QByteArray fitted = text.left(1016);
    block.replace(8, fitted.size(), fitted);
    return block;
}

QByteArray dbtMemo(const QList<QByteArray> &blocks)
{
    QByteArray bytes(1024, '\0');
    qToLittleEndian<quint32>(quint32(blocks.size() + 1), bytes.data());
    for (const QByteArray &block : blocks)
        bytes += block;
    return bytes;
}

DbfRow dbfRow(int id, const QByteArray &type, const QByteArray &memoBlock, char mark)
{
    const QByteArray number = QByteArray::number(id);
    return {mark, number, "Document " + number, {}, {}, {}, type, {}, memoBlock};
}

} // namespace qs::test
