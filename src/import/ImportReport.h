#pragma once

// Texts that tell the user how the legacy import went: a short message for the end of the
// import and the full list for the log file beside the database.

#include "import/DbfReader.h"

#include <QList>
#include <QString>

namespace qs {

inline constexpr char kImportLogFile[] = "Document.log";
inline constexpr int kProblemsInMessage = 20;

struct ImportReport
{
    int imported = 0;
    int deleted = 0;
    QList<DbfProblem> problems;
    QString codePage = {}; // which code page the text was read in, as a sentence
};

ImportReport fnImportReport(const DbfReader &reader);

// "Row 12, Date: ..." or, for the row as a whole, "Row 12: ...".
QString fnProblemLine(const DbfProblem &problem);

// Counts and the first kProblemsInMessage problems; refers to kImportLogFile when there
// are problems, so the log should be written whenever the list is not empty.
QString fnImportMessage(const ImportReport &report);

// Counts, the code page used, and every problem, one a line.
QString fnImportLog(const ImportReport &report);

} // namespace qs
