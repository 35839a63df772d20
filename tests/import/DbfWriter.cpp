#include "DbfWriter.h"

#include <QFile>
#include <QtEndian>

namespace qs::test {

namespace {

void put(QByteArray &row, int offset, int width, const QByteArray &value)
{
    const QByteArray fitted = value.left(width);
    row.replace(offset, fitted.size(), fitted);
}

} // namespace

QByteArray dbfTable(const QList<DbfRow> &rows, std::optional<qint32> headerCount)
{
    // The unused header bytes get values a real file might hold (version, date, lengths
    // that do not match), which the reader must ignore.
    QByteArray bytes(321, '\x0d');
    bytes[0] = '\x03';
    bytes[1] = 99;
    bytes[2] = 12;
    bytes[3] = 31;
    qToLittleEndian<qint32>(headerCount.value_or(qint32(rows.size())), bytes.data() + 4);
    qToLittleEndian<quint16>(999, bytes.data() + 8);
    qToLittleEndian<quint16>(77, bytes.data() + 10);

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

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace qs::test
