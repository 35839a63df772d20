#include "import/DbfReader.h"

#include <QDir>
#include <QtEndian>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <string_view>

namespace qs {

namespace {

constexpr int kRowsPerRead = 4096;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// A raw field for a message: decoded, control characters made visible as '?'.
QString shown(QByteArrayView bytes, const CodePage &codePage)
{
    QString text = codePage.decode(bytes);
    for (QChar &c : text) {
        if (c.unicode() < 0x20)
            c = u'?';
    }
    return text;
}

QString displayName(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

qint64 readFully(QFile &file, char *data, qint64 length)
{
    qint64 total = 0;
    while (total < length) {
        const qint64 n = file.read(data + total, length - total);
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        total += n;
    }
    return total;
}

QByteArrayView fieldOf(QByteArrayView row, DbfRecord::Field field)
{
    return row.sliced(field.offset, field.length);
}

// Opens `path` for reading only when it is a regular file. The open does not block, so a
// named pipe without a writer (or a device) is seen by fstat and refused, never waited on.
// On failure, `reason` says why in words for the user.
bool openRegularFile(QFile &file, const QString &path, QString *reason, bool *missing = nullptr)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (missing)
            *missing = errno == ENOENT;
        *reason = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    struct stat info = {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        *reason = S_ISDIR(info.st_mode)    ? QStringLiteral("it is a folder, not a file")
                  : S_ISFIFO(info.st_mode) ? QStringLiteral("it is a named pipe, not a file")
                                           : QStringLiteral("it is a device or another special "
                                                            "file, not a regular file");
        ::close(fd);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        *reason = file.errorString();
        ::close(fd);
        return false;
    }
    return true;
}

} // namespace

QByteArrayView fnTrimPadding(QByteArrayView bytes)
{
    qsizetype end = bytes.size();
    while (end > 0 && (bytes[end - 1] == ' ' || bytes[end - 1] == '\0'))
        --end;
    return bytes.first(end);
}

double fnNumericValue(QByteArrayView text)
{
    std::string s;
    s.reserve(text.size());
    for (char c : text) {
        if (c != ' ' && c != '\t' && c != '\n')
            s.push_back(c);
    }

    std::string number;
    size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        negative = s[i++] == '-';
    bool digits = false;
    bool point = false;
    for (; i < s.size(); ++i) {
        if (isDigit(s[i])) {
            digits = true;
            number.push_back(s[i]);
        } else if (s[i] == '.' && !point) {
            point = true;
            number.push_back('.');
        } else {
            break;
        }
    }
    if (!digits)
        return 0.0;
    if (number.front() == '.')
        number.insert(number.begin(), '0');
    if (number.back() == '.')
        number.push_back('0');

    bool negativeExponent = false;
    if (i < s.size() && std::string_view("EeDd").find(s[i]) != std::string_view::npos) {
        size_t j = i + 1;
        std::string exponent = "e";
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) {
            negativeExponent = s[j] == '-';
            exponent.push_back(s[j++]);
        }
        if (j < s.size() && isDigit(s[j])) {
            while (j < s.size() && isDigit(s[j]))
                exponent.push_back(s[j++]);
            number += exponent;
        }
    }

    double value = 0.0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    (void)end;
    if (ec == std::errc::result_out_of_range)
        value = negativeExponent ? 0.0 : std::numeric_limits<double>::infinity();
    return negative ? -value : value;
}

std::optional<QDate> ReadDbfDate(QByteArrayView field, bool *ok)
{
    if (ok)
        *ok = true;
    if (field.size() == 8 &&
        std::all_of(field.begin(), field.end(), [](char c) { return c == ' '; }))
        return std::nullopt;

    if (field.size() == 8 && std::all_of(field.begin(), field.end(), isDigit)) {
        auto number = [&](int from, int length) {
            int n = 0;
            for (int k = from; k < from + length; ++k)
                n = n * 10 + (field[k] - '0');
            return n;
        };
        const QDate date(number(0, 4), number(4, 2), number(6, 2));
        if (date.isValid() && date.year() >= 1)
            return date;
    }
    if (ok)
        *ok = false;
    return std::nullopt;
}

DbfReader::DbfReader(const QString &tablePath, const QString &memoPath)
    : m_tablePath(tablePath), m_memoPath(memoPath)
{
}

void DbfReader::fail(const QString &path, const QString &reason)
{
    m_error = QStringLiteral("Cannot read \"%1\": %2").arg(displayName(path), reason);
    m_finished = true;
}

void DbfReader::addProblem(int row, const QString &field, const QString &what)
{
    m_problems.append(DbfProblem{row, field, what});
}

bool DbfReader::open()
{
    QString reason;
    if (!openRegularFile(m_table, m_tablePath, &reason)) {
        fail(m_tablePath, reason);
        return false;
    }
    if (!readHeader())
        return false;
    openMemo();
    return true;
}

bool DbfReader::readHeader()
{
    auto tooShort = [&](qint64 got, qint64 wanted) {
        fail(m_tablePath, QStringLiteral("the file is too short for its header (%1 of %2 bytes)")
                              .arg(got)
                              .arg(wanted));
        return false;
    };
    QByteArray header(DbfHeader::kFixedSize, Qt::Uninitialized);
    qint64 got = readFully(m_table, header.data(), header.size());
    if (got < 0) {
        fail(m_tablePath, m_table.errorString());
        return false;
    }
    if (got < DbfHeader::kFixedSize)
        return tooShort(got, DbfHeader::kFixedSize);
    if (const QString why = fnDbfVersionMismatch(header); !why.isEmpty()) {
        fail(m_tablePath, why);
        return false;
    }
    m_rowCount = qFromLittleEndian<qint32>(header.constData() + DbfHeader::kRowCountOffset);
    if (m_rowCount < 0) {
        fail(m_tablePath,
             QStringLiteral("its header states a negative number of rows (%1)").arg(m_rowCount));
        return false;
    }

    // The rest of the header, as long as it says it is; the rows follow it.
    const int length = fnDbfHeaderLength(header);
    if (length > DbfHeader::kFixedSize) {
        header.resize(length);
        const qint64 rest = readFully(m_table, header.data() + DbfHeader::kFixedSize,
                                      length - DbfHeader::kFixedSize);
        if (rest < 0) {
            fail(m_tablePath, m_table.errorString());
            return false;
        }
        if (rest < length - DbfHeader::kFixedSize)
            return tooShort(DbfHeader::kFixedSize + rest, length);
    }
    if (const QString why = fnDbfLayoutMismatch(header); !why.isEmpty()) {
        fail(m_tablePath, why);
        return false;
    }
    m_codePage = CodePage::forLanguageDriver(
        static_cast<unsigned char>(header[DbfHeader::kLanguageDriverOffset]));
    return true;
}

void DbfReader::openMemo()
{
    const QString name = displayName(m_memoPath);
    QString reason;
    bool missing = false;
    if (!openRegularFile(m_memo, m_memoPath, &reason, &missing)) {
        m_memoUnavailable =
            missing ? QStringLiteral("the memo file \"%1\" is missing").arg(name)
                    : QStringLiteral("the memo file \"%1\" cannot be read: %2").arg(name, reason);
        return;
    }
    const qint64 size = m_memo.size();
    if (size == 0)
        return;
    // A read-only mapping holds the whole file at hand without copying it.
    if (const uchar *mapped = m_memo.map(0, size)) {
        m_memoBytes = QByteArrayView(mapped, size);
        return;
    }
    m_memoCopy = m_memo.readAll();
    if (m_memo.error() != QFileDevice::NoError) {
        m_memoUnavailable = QStringLiteral("the memo file \"%1\" cannot be read: %2")
                                .arg(name, m_memo.errorString());
        m_memoCopy.clear();
        return;
    }
    m_memoBytes = m_memoCopy;
}

std::optional<LegacyDocument> DbfReader::next()
{
    while (!m_finished) {
        if (m_rowsDone >= m_rowCount) {
            m_finished = true;
            break;
        }
        if (m_bufferPos >= m_buffer.size() && !fillBuffer())
            break;
        const QByteArrayView row(m_buffer.constData() + m_bufferPos, DbfRecord::kSize);
        m_bufferPos += DbfRecord::kSize;
        ++m_rowsDone;
        if (row[DbfRecord::kDeletionMark.offset] == '*') {
            ++m_deleted;
            continue;
        }
        ++m_imported;
        return convertRow(row, m_rowsDone);
    }
    return std::nullopt;
}

bool DbfReader::fillBuffer()
{
    if (m_tableEnded) {
        const QString what =
            m_partialRowBytes > 0
                ? QStringLiteral("the table file ends inside this row (%1 of %2 bytes), "
                                 "although its header states %3 rows")
                      .arg(m_partialRowBytes)
                      .arg(DbfRecord::kSize)
                      .arg(m_rowCount)
                : QStringLiteral("the table file ends before this row, "
                                 "although its header states %1 rows")
                      .arg(m_rowCount);
        addProblem(m_rowsDone + 1, QString(), what);
        m_finished = true;
        return false;
    }
    const qint64 wanted =
        qint64(std::min(m_rowCount - m_rowsDone, kRowsPerRead)) * DbfRecord::kSize;
    m_buffer.resize(wanted);
    m_bufferPos = 0;
    const qint64 got = readFully(m_table, m_buffer.data(), wanted);
    if (got < 0) {
        fail(m_tablePath, m_table.errorString());
        return false;
    }
    if (got < wanted) {
        m_tableEnded = true;
        m_partialRowBytes = got % DbfRecord::kSize;
        m_buffer.truncate(got - m_partialRowBytes);
        if (m_buffer.isEmpty())
            return fillBuffer();
    }
    return true;
}

LegacyDocument DbfReader::convertRow(QByteArrayView row, int rowNumber)
{
    LegacyDocument doc;
    doc.rowNumber = rowNumber;

    const QByteArrayView idField = fieldOf(row, DbfRecord::kId);
    const double id = std::rint(fnNumericValue(idField)); // a half goes to the even number
    if (id >= std::numeric_limits<qint32>::min() && id <= std::numeric_limits<qint32>::max())
        doc.id = qint32(id);
    else
        addProblem(rowNumber, QStringLiteral("ID"),
                   QStringLiteral("\"%1\" is out of range; imported as 0")
                       .arg(shown(idField, m_codePage)));

    doc.description =
        readText(row, DbfRecord::kDescription, QStringLiteral("Description"), rowNumber);
    doc.date = readDate(row, DbfRecord::kDate, "Date", rowNumber);
    doc.dateAdded = readDate(row, DbfRecord::kDateAdded, "DateAdded", rowNumber);
    doc.dateChanged = readDate(row, DbfRecord::kDateChanged, "DateChanged", rowNumber);
    doc.typeName = readText(row, DbfRecord::kType, QStringLiteral("Type"), rowNumber);
    doc.who = readText(row, DbfRecord::kWho, QStringLiteral("Who"), rowNumber);
    doc.note = readNote(fieldOf(row, DbfRecord::kMemoBlock), rowNumber);
    return doc;
}

// A text field without its padding, in the table's code page. A NUL byte inside the text
// cannot be meant; it is left out and reported.
QString DbfReader::readText(QByteArrayView row, DbfRecord::Field field, const QString &name,
                            int rowNumber)
{
    const QByteArrayView bytes = fnTrimPadding(fieldOf(row, field));
    QString text = m_codePage.decode(bytes);
    if (bytes.contains('\0')) {
        addProblem(rowNumber, name,
                   QStringLiteral("\"%1\" holds NUL bytes; imported without them")
                       .arg(shown(bytes, m_codePage)));
        text.remove(QChar(u'\0'));
    }
    return text;
}

std::optional<QDate> DbfReader::readDate(QByteArrayView row, DbfRecord::Field field,
                                         const char *name, int rowNumber)
{
    bool ok = true;
    const QByteArrayView text = fieldOf(row, field);
    std::optional<QDate> date = ReadDbfDate(text, &ok);
    if (!ok)
        addProblem(
            rowNumber, QString::fromLatin1(name),
            QStringLiteral("\"%1\" is not a date; imported empty").arg(shown(text, m_codePage)));
    return date;
}

QString DbfReader::readNote(QByteArrayView field, int rowNumber)
{
    const double block = std::rint(fnNumericValue(field));
    if (block == 0)
        return QString();

    const QString blockText = std::abs(block) < 1e15 ? QString::number(qint64(block))
                                                     : shown(fnTrimPadding(field), m_codePage);
    auto problem = [&](const QString &what) {
        addProblem(rowNumber, QStringLiteral("Note"),
                   QStringLiteral("block %1: %2").arg(blockText, what));
    };
    if (!m_memoUnavailable.isEmpty()) {
        problem(m_memoUnavailable + QStringLiteral("; imported empty"));
        return QString();
    }
    const qint64 size = m_memoBytes.size();
    const qint64 blocks = (size + DbtBlock::kSize - 1) / DbtBlock::kSize;
    if (block < 0) {
        problem(QStringLiteral("no such block; imported empty"));
        return QString();
    }
    if (block >= double(blocks)) {
        problem(QStringLiteral("the memo file ends before this block; imported empty"));
        return QString();
    }
    const qint64 offset = qint64(block) * DbtBlock::kSize;
    const qint64 available = size - offset;
    if (available <= DbtBlock::kLengthByteOffset) {
        problem(QStringLiteral("the memo file ends inside this block; imported empty"));
        return QString();
    }
    const int lengthByte =
        static_cast<unsigned char>(m_memoBytes[offset + DbtBlock::kLengthByteOffset]);
    if (lengthByte < DbtBlock::kTextOffset) {
        problem(QStringLiteral("length byte %1 is below 8; imported empty").arg(lengthByte));
        return QString();
    }
    qint64 length = lengthByte - DbtBlock::kTextOffset;
    const qint64 textAvailable = std::max<qint64>(0, available - DbtBlock::kTextOffset);
    if (length > textAvailable) {
        problem(QStringLiteral("the memo file ends inside this block; %1 of %2 characters imported")
                    .arg(textAvailable)
                    .arg(length));
        length = textAvailable;
    }
    // A file that ends inside the block's first 8 bytes has no text to slice.
    if (length == 0)
        return QString();
    const QByteArrayView bytes =
        fnTrimPadding(m_memoBytes.sliced(offset + DbtBlock::kTextOffset, length));
    if (!bytes.contains('\0'))
        return m_codePage.decode(bytes);
    problem(QStringLiteral("the note holds NUL bytes; imported without them"));
    return m_codePage.decode(bytes).remove(QChar(u'\0'));
}

} // namespace qs
