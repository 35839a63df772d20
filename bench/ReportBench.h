#pragma once

#include "store/Status.h"

#include <QString>

namespace qs {

// Writes a report of `records` made-up documents with all five columns to `path` as PDF and
// answers the milliseconds it took. Needs a QGuiApplication, for the fonts.
Result<qint64> fnTimeSampleReportPdf(const QString &path, int records);

} // namespace qs
