#include "import/ImportReport.h"

#include <algorithm>

namespace qs {

namespace {

QString countsLine(const ImportReport &report)
{
    const QString documents =
        report.imported == 1 ? QStringLiteral("1 document was imported")
                             : QStringLiteral("%1 documents were imported").arg(report.imported);
    const QString deleted =
        report.deleted == 1 ? QStringLiteral("1 deleted row was skipped")
                            : QStringLiteral("%1 deleted rows were skipped").arg(report.deleted);
    return QStringLiteral("%1 from \"%2\"; %3.")
        .arg(documents, QString::fromLatin1(kLegacyTableFile), deleted);
}

QString problemsHeading(qsizetype count)
{
    return count == 1 ? QStringLiteral("1 problem was found:")
                      : QStringLiteral("%1 problems were found:").arg(count);
}

} // namespace

ImportReport fnImportReport(const DbfReader &reader)
{
    return ImportReport{reader.importedCount(), reader.deletedCount(), reader.problems(),
                        reader.codePage().description()};
}

QString fnProblemLine(const DbfProblem &problem)
{
    if (problem.field.isEmpty())
        return QStringLiteral("Row %1: %2").arg(problem.row).arg(problem.what);
    return QStringLiteral("Row %1, %2: %3").arg(problem.row).arg(problem.field, problem.what);
}

QString fnImportMessage(const ImportReport &report)
{
    QString text = countsLine(report);
    if (report.problems.isEmpty())
        return text;

    text += QStringLiteral("\n\n") + problemsHeading(report.problems.size());
    const qsizetype shown = std::min<qsizetype>(report.problems.size(), kProblemsInMessage);
    for (qsizetype i = 0; i < shown; ++i)
        text += u'\n' + fnProblemLine(report.problems.at(i));
    if (report.problems.size() > shown)
        text += QStringLiteral("\n... and %1 more.").arg(report.problems.size() - shown);
    text += QStringLiteral("\n\nAll problems are listed in \"%1\" beside the database.")
                .arg(QString::fromLatin1(kImportLogFile));
    return text;
}

QString fnImportLog(const ImportReport &report)
{
    QString text = countsLine(report) + u'\n';
    if (!report.codePage.isEmpty())
        text += report.codePage + u'\n';
    if (report.problems.isEmpty())
        return text + QStringLiteral("\nNo problems were found.\n");

    text += u'\n' + problemsHeading(report.problems.size()) + u'\n';
    for (const DbfProblem &problem : report.problems)
        text += fnProblemLine(problem) + u'\n';
    return text;
}

} // namespace qs
