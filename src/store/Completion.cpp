#include "Completion.h"

#include "Database.h"
#include "Recordset.h"
#include "modRoutines.h"

namespace qs {

namespace {

// Sorts after every text that begins with the typed one, so that the pair
// of bounds covers exactly the index entries of that prefix.
const QString kHighest = QString::fromUcs4(U"\U0010FFFF", 1);

// How many of the newest keys are looked at before the index is.
constexpr qint64 kNewestWindow = 1024;

Completion completeField(Recordset &set, const QString &field, const QString &text, int selStart,
                         int selLength)
{
    Completion result{text, selStart, selLength, false};
    // Only while typing at the end of a text of three characters or more.
    if (text.size() <= 2 || selStart != text.size())
        return result;
    const auto candidate = fnCompletionCandidate(set.database(), field, text);
    if (!candidate || !candidate->has_value())
        return result;
    const QString &best = **candidate;
    if (fnTrimTrailing(best).size() <= fnTrimTrailing(text).size())
        return result;
    result.text = best;
    result.selLength = int(best.size()) - selStart;
    result.completed = true;
    return result;
}

} // namespace

Result<std::optional<QString>> fnCompletionCandidate(Database &db, const QString &field,
                                                     const QString &typed)
{
    QString column;
    if (field.compare(QLatin1String("Description"), Qt::CaseInsensitive) == 0)
        column = QStringLiteral("Description");
    else if (field.compare(QLatin1String("Who"), Qt::CaseInsensitive) == 0)
        column = QStringLiteral("Who");
    else
        return Status::failure(QStringLiteral("'%1' is not completed.").arg(field));

    // The newest record whose value begins with the typed text wins. A
    // common prefix has a long run of index entries but is nearly always
    // found among the newest records, so those are looked at first, newest
    // key downwards; only a prefix that none of them has is looked up in the
    // field's index, where its run is then short. Either way the answer is
    // the highest key among all matching entries. The column compares
    // without regard to letter case, as the index orders it; the unary plus
    // keeps that collation and the index out of the first read. A value
    // equal to the typed text lies before the range and is never offered.
    const QVariantList bounds = {typed, typed + kHighest};
    const SqlDialect d = db.dialect();
    const QString range = d == SqlDialect::SQLite
                              ? QStringLiteral("%1 > ? AND %1 < ?").arg(column)
                              : sql::compare(d, column, QStringLiteral(">")) +
                                    QStringLiteral(" AND ") +
                                    sql::compare(d, column, QStringLiteral("<"));
    // SQLite reads the other column from the row that has the maximum; the
    // server needs the row looked up by its key.
    const QString select =
        d == SqlDialect::SQLite
            ? QStringLiteral("SELECT %1, MAX(RecordPtr) FROM Documents WHERE %2").arg(column)
            : QStringLiteral("SELECT %1, RecordPtr FROM Documents WHERE RecordPtr = "
                             "(SELECT MAX(RecordPtr) FROM Documents WHERE %2)")
                  .arg(column);
    QString plainRange = range;
    if (d == SqlDialect::SQLite)
        plainRange.replace(column, QLatin1Char('+') + column);
    const Statement newest = {
        select.arg(QStringLiteral("RecordPtr > (SELECT MAX(RecordPtr) FROM Documents) - ? AND ") +
                   plainRange),
        QVariantList{kNewestWindow} + bounds};
    const Statement indexed = {select.arg(range), bounds};
    for (const Statement &statement : {newest, indexed}) {
        auto rows = db.query(statement);
        if (!rows)
            return Status::failure(rows.error());
        if (!rows->empty() && !rows->front().values.value(1).isNull())
            return std::optional<QString>(rows->front().values.value(0).toString());
    }
    return std::optional<QString>();
}

Completion CompleteDescription(Recordset &descriptionSet, const QString &text, int selStart,
                               int selLength)
{
    return completeField(descriptionSet, QStringLiteral("Description"), text, selStart, selLength);
}

Completion CompleteWho(Recordset &whoSet, const QString &text, int selStart, int selLength)
{
    return completeField(whoSet, QStringLiteral("Who"), text, selStart, selLength);
}

} // namespace qs
