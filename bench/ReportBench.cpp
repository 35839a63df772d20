#include "ReportBench.h"

#include "reports/ReportPdf.h"

#include <QElapsedTimer>

namespace qs {

Result<qint64> fnTimeSampleReportPdf(const QString &path, int records)
{
    const QDate firstDate(2001, 1, 1);
    int produced = 0;
    const ReportRowSource next = [&](ReportRow &row) {
        if (produced >= records)
            return false;
        ++produced;
        row.id = produced;
        row.description = QStringLiteral("Invoice %1 for office supplies").arg(produced);
        row.type = QStringLiteral("Invoice");
        row.date = firstDate.addDays(produced % 9000);
        row.who = QStringLiteral("Supplier number %1").arg(produced % 977);
        return true;
    };
    ReportColumns all;
    all.type = all.date = all.who = true;

    QElapsedTimer timer;
    timer.start();
    const Status status = WriteReportPdf(path, all, QStringLiteral("1/2/2026 9:30 AM"), next);
    if (!status)
        return status;
    return timer.elapsed();
}

} // namespace qs
