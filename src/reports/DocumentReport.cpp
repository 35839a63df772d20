#include "reports/DocumentReport.h"

#include "reports/modReports.h"

#include <QLocale>

namespace qs {

QString fnReportStamp(const QDateTime &when)
{
    return QLocale::system().toString(when, QLocale::ShortFormat);
}

QString fnReportDate(const std::optional<QDate> &date)
{
    if (!date || !date->isValid())
        return {};
    return date->toString(QStringLiteral("M/d/yyyy"));
}

ReportEnd PrintDocumentReport(PrintSurface &surface, const ReportColumns &columns,
                              const QString &stamp, const ReportRowSource &next,
                              const ReportPageStarted &pageStarted)
{
    modReports writer;
    writer.StartReport(QStringLiteral("Portrait"), surface);
    writer.DefineColumn(SlotID, -6, {QStringLiteral("ID")});
    writer.DefineColumn(SlotDescription, 32, {QStringLiteral("Description")});
    if (columns.type)
        writer.DefineColumn(SlotType, 10, {QStringLiteral("Type")});
    if (columns.date)
        writer.DefineColumn(SlotDate, -10, {QStringLiteral("Date")});
    if (columns.who)
        writer.DefineColumn(SlotWho, 32, {QStringLiteral("Who")});
    writer.LayoutColumns();

    const auto beginPage = [&]() {
        if (pageStarted && !pageStarted(surface.currentPage()))
            return false;
        writer.PrintTitleLine(stamp, QStringLiteral("Quillstack"),
                              QStringLiteral("Page: %1").arg(surface.currentPage()));
        writer.PrintHeaders();
        return true;
    };

    if (!beginPage()) {
        surface.endDoc();
        return ReportEnd::Cancelled;
    }
    bool pageFull = false;
    ReportRow row;
    while (next(row)) {
        // The break waits for the next record, so no page ends up holding only its heading.
        if (pageFull) {
            surface.newPage();
            if (!beginPage()) {
                surface.endDoc();
                return ReportEnd::Cancelled;
            }
        }
        writer.PrintCell(SlotID, row.id ? QString::number(*row.id) : QString());
        writer.PrintCell(SlotDescription, row.description);
        if (columns.type)
            writer.PrintCell(SlotType, row.type);
        if (columns.date)
            writer.PrintCell(SlotDate, fnReportDate(row.date));
        if (columns.who)
            writer.PrintCell(SlotWho, row.who);
        writer.NewLine();
        pageFull = writer.fnNeedPageBreak();
        row = ReportRow{};
    }
    surface.endDoc();
    return ReportEnd::Complete;
}

} // namespace qs
