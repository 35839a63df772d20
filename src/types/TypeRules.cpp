#include "TypeRules.h"

#include "store/Database.h"
#include "store/modRoutines.h"

namespace qs {

Result<NewTypeCheck> fnCheckNewType(Database &db, const QString &pName)
{
    if (fnIsBlank(pName))
        return NewTypeCheck::Blank;
    const Result<bool> defined = fnTypeDefined(db, pName);
    if (!defined)
        return Status::failure(defined.error());
    if (defined.value())
        return NewTypeCheck::AlreadyDefined;
    const Result<bool> fits = fnNextTypeKeyFits(db);
    if (!fits)
        return Status::failure(fits.error());
    return fits.value() ? NewTypeCheck::Accepted : NewTypeCheck::NoKeyLeft;
}

QString fnNewTypeMessage(NewTypeCheck pCheck)
{
    switch (pCheck) {
    case NewTypeCheck::Blank:
        return QStringLiteral("Must specify a type before pressing \"Ok\"");
    case NewTypeCheck::AlreadyDefined:
        return QStringLiteral("Type already defined.");
    case NewTypeCheck::NoKeyLeft:
        return QStringLiteral("No more types can be added: every type number up to %1 has "
                              "been used.")
            .arg(kHighestTypeKey);
    case NewTypeCheck::Accepted:
        break;
    }
    return {};
}

Result<bool> fnTypeDefined(Database &db, const QString &pName)
{
    // The name goes in as typed: not trimmed, and bound, so quotes are plain text.
    auto rows =
        db.query({QStringLiteral("SELECT 1 FROM Types WHERE %1 LIMIT 1")
                      .arg(sql::compare(db.dialect(), QStringLiteral("Type"), QStringLiteral("="))),
                  {pName}});
    if (!rows)
        return Status::failure(rows.error());
    return !rows->empty();
}

Result<bool> fnNextTypeKeyFits(Database &db)
{
    const Result<qint64> next = db.nextKey(QStringLiteral("Types"));
    if (!next)
        return Status::failure(next.error());
    return next.value() <= kHighestTypeKey;
}

Result<bool> fnTypeInUse(Database &db, qint64 pRecordPtr)
{
    auto rows = db.query(
        {QStringLiteral("SELECT 1 FROM Documents WHERE DocumentType = ? LIMIT 1"), {pRecordPtr}});
    if (!rows)
        return Status::failure(rows.error());
    return !rows->empty();
}

QString fnTypeInUseMessage()
{
    return QStringLiteral(
        "May not delete this \"document type\".  This \"type\" is in use for a document.");
}

QString fnDeleteTypeQuestion(const QString &pStoredName)
{
    return QStringLiteral("Delete type \"") + fnTrimTrailing(pStoredName) + QLatin1Char('"');
}

} // namespace qs
