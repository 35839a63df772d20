#pragma once

#include "reports/DocumentReport.h"
#include "store/Status.h"

#include <QPageSize>

namespace qs {

// Writes the report to a PDF file. The file is replaced only when the whole report has been
// written; a failure leaves any earlier file as it was and carries the reason as its text.
Status WriteReportPdf(const QString &path, const ReportColumns &columns, const QString &stamp,
                      const ReportRowSource &next,
                      const QPageSize &pageSize = QPageSize(QPageSize::Letter));

} // namespace qs
