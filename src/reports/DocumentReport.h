#pragma once

#include "reports/PrintSurface.h"

#include <QDate>
#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>

namespace qs {

// The values of one document as the report prints them; the type is already a name.
struct ReportRow
{
    // A record without a number prints an empty cell.
    std::optional<qint32> id;
    QString description;
    QString type;
    std::optional<QDate> date;
    QString who;
};

// The optional columns; ID and Description are always printed.
struct ReportColumns
{
    bool type = false;
    bool date = false;
    bool who = false;
};

// Slots of the report's columns in the table writer.
enum ReportSlot : int { SlotID = 1, SlotDescription, SlotType, SlotDate, SlotWho };

// Fills the next row and answers true, or answers false at the end of the records.
using ReportRowSource = std::function<bool(ReportRow &row)>;
// Told the number of each page as it begins; answering false stops the run.
using ReportPageStarted = std::function<bool(int page)>;

enum class ReportEnd { Complete, Cancelled };

// The left text of every title line: the date and time in the user's short form.
QString fnReportStamp(const QDateTime &when);
// "m/d/yyyy"; a record without a date prints an empty cell.
QString fnReportDate(const std::optional<QDate> &date);

// Prints one report of the documents that `next` yields, from the start of the document to its
// end, on the surface as its preview switch and output stand. Every page carries the title line
// (stamp, "Quillstack", "Page: n") and the column headers; a new page is begun only when another
// record follows. A stopped run still ends its document. Throws ReportError.
ReportEnd PrintDocumentReport(PrintSurface &surface, const ReportColumns &columns,
                              const QString &stamp, const ReportRowSource &next,
                              const ReportPageStarted &pageStarted = {});

} // namespace qs
