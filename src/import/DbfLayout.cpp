#include "import/DbfLayout.h"

#include "import/CodePage.h"

#include <QList>
#include <QtEndian>

#include <algorithm>

namespace qs {

namespace {

struct Descriptor
{
    QByteArray name;
    char type;
    int length;
};

QByteArray asciiUpper(QByteArray text)
{
    for (char &c : text) {
        if (c >= 'a' && c <= 'z')
            c = char(c - ('a' - 'A'));
    }
    return text;
}

QString shown(const Descriptor &d)
{
    QString name = fnDecodeLegacyText(d.name);
    for (QChar &c : name) {
        if (c.unicode() < 0x20)
            c = u'?';
    }
    const QChar type = d.type >= 0x20 && d.type < 0x7F ? QChar(u'\0' + d.type) : QChar(u'?');
    return QStringLiteral("\"%1\" %2(%3)").arg(name).arg(type).arg(d.length);
}

QList<Descriptor> descriptorsOf(QByteArrayView header)
{
    QList<Descriptor> list;
    for (qsizetype at = DbfHeader::kFixedSize;
         at + DbfHeader::kDescriptorSize <= header.size() && header[at] != '\r';
         at += DbfHeader::kDescriptorSize) {
        const QByteArrayView name = header.sliced(at, DbfHeader::kNameLength);
        const qsizetype nul = name.indexOf('\0');
        list.append(Descriptor{name.first(nul < 0 ? name.size() : nul).toByteArray(),
                               header[at + DbfHeader::kTypeOffset],
                               static_cast<unsigned char>(header[at + DbfHeader::kLengthOffset])});
    }
    return list;
}

} // namespace

int fnDbfHeaderLength(QByteArrayView fixedHeader)
{
    return qFromLittleEndian<quint16>(fixedHeader.data() + DbfHeader::kHeaderLengthOffset);
}

QString fnDbfVersionMismatch(QByteArrayView fixedHeader)
{
    // Bits 0-2 are the dBASE level; bits 3 and 7 only say that a memo file belongs to it.
    const auto version = static_cast<unsigned char>(fixedHeader[DbfHeader::kVersionOffset]);
    if ((version & 0x77) == 0x03)
        return QString();
    return QStringLiteral("it is not a dBASE III or IV table (its first byte is 0x%1)")
        .arg(QString::number(version, 16).toUpper().rightJustified(2, u'0'));
}

QString fnDbfLayoutMismatch(QByteArrayView header)
{
    QList<Descriptor> expected;
    for (const DbfLegacyField &legacy : kLegacyFields)
        expected.append(Descriptor{legacy.name, legacy.type, legacy.field.length});
    const QList<Descriptor> found = descriptorsOf(header);

    const QString differ = QStringLiteral("its fields are not those of the document table: ");
    for (qsizetype i = 0; i < std::min(found.size(), expected.size()); ++i) {
        const Descriptor &f = found.at(i);
        const Descriptor &e = expected.at(i);
        if (asciiUpper(f.name) != e.name || f.type != e.type || f.length != e.length)
            return differ + QStringLiteral("field %1 is %2, where the import reads %3")
                                .arg(i + 1)
                                .arg(shown(f), shown(e));
    }
    if (found.size() != expected.size()) {
        const bool extra = found.size() > expected.size();
        const Descriptor &first =
            (extra ? found : expected).at(std::min(found.size(), expected.size()));
        return differ +
               QStringLiteral("it has %1 fields, where the import reads %2 (the first %3 is %4)")
                   .arg(found.size())
                   .arg(expected.size())
                   .arg(extra ? QStringLiteral("extra") : QStringLiteral("missing"), shown(first));
    }
    const int recordLength =
        qFromLittleEndian<quint16>(header.data() + DbfHeader::kRecordLengthOffset);
    if (recordLength != DbfRecord::kSize)
        return QStringLiteral("its header states rows of %1 bytes, where the document table's "
                              "rows have %2")
            .arg(recordLength)
            .arg(DbfRecord::kSize);
    return QString();
}

} // namespace qs
