#include "RecordSave.h"

#include "store/Database.h"

#include <limits>

namespace qs {

std::optional<qint32> fnParseID(const QString &text)
{
    const QString t = text.trimmed();
    qsizetype pos = 0;
    bool negative = false;
    if (pos < t.size() && (t.at(pos) == u'+' || t.at(pos) == u'-')) {
        negative = t.at(pos) == u'-';
        ++pos;
    }
    if (pos == t.size())
        return std::nullopt;
    qint64 value = 0;
    for (; pos < t.size(); ++pos) {
        const QChar c = t.at(pos);
        // ASCII digits only: other scripts' digits are not a number here.
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
        if (value > qint64(std::numeric_limits<qint32>::max()) + 1)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value < std::numeric_limits<qint32>::min() || value > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return qint32(value);
}

Result<bool> fnDuplicateID(Database &db, qint32 pID, qint64 pRecordPtr)
{
    auto rows = db.query({QStringLiteral("SELECT RecordPtr FROM Documents "
                                         "WHERE ID = ? AND RecordPtr <> ? LIMIT 1"),
                          {pID, pRecordPtr}});
    if (!rows)
        return Status::failure(rows.error());
    return !rows->empty();
}

Result<std::optional<qint32>> fnProposedID(Database &db)
{
    auto rows = db.query({QStringLiteral("SELECT MAX(ID) AS MaxID FROM Documents"), {}});
    if (!rows)
        return Status::failure(rows.error());
    if (rows->empty() || rows->front().values.value(0).isNull())
        return std::optional<qint32>(1);
    const qint64 highest = rows->front().values.value(0).toLongLong();
    if (highest >= std::numeric_limits<qint32>::max())
        return std::optional<qint32>();
    // A table of only negative numbers still proposes the next one up.
    return std::optional<qint32>(qint32(highest + 1));
}

QString duplicateIdMessage()
{
    return QStringLiteral(
        "ID already defined for another entry.  Please enter a different ID number.");
}

QString invalidIdMessage()
{
    return QStringLiteral("The ID must be a whole number from -2147483648 to 2147483647.");
}

QString invalidDateMessage()
{
    return QStringLiteral("Not a valid date.");
}

} // namespace qs
