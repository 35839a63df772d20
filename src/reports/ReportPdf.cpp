#include "reports/ReportPdf.h"

#include "reports/PainterSurface.h"

#include <QPdfWriter>
#include <QSaveFile>

namespace qs {

Status WriteReportPdf(const QString &path, const ReportColumns &columns, const QString &stamp,
                      const ReportRowSource &next, const QPageSize &pageSize)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Status::failure(
            QStringLiteral("Cannot write \"%1\": %2").arg(path, file.errorString()));

    QPdfWriter writer(&file);
    writer.setPageLayout(QPageLayout(pageSize, QPageLayout::Portrait, QMarginsF()));
    writer.setResolution(int(kTwipsPerInch));
    writer.setCreator(QStringLiteral("Quillstack"));
    writer.setTitle(QStringLiteral("Quillstack"));

    PainterSurface surface;
    surface.setOutput(&writer);
    surface.setPreview(false);
    try {
        PrintDocumentReport(surface, columns, stamp, next);
    } catch (const ReportError &e) {
        return Status::failure(e.text());
    }
    if (!file.commit())
        return Status::failure(
            QStringLiteral("Cannot write \"%1\": %2").arg(path, file.errorString()));
    return Status::success();
}

} // namespace qs
