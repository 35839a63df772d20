// The main window's export of the list to a CSV file.
#include "frmMain.h"

#include "main/CsvExport.h"
#include "store/DataControl.h"
#include "widgets/FileDialog.h"
#include "widgets/MessageBox.h"

#include <QCoreApplication>
#include <QDir>
#include <QProgressDialog>

#include <algorithm>

namespace qs {

void frmMain::mnuExportCsv_Click()
{
    // The list's own query value, so the file has the list's filter and order.
    const auto source =
        std::dynamic_pointer_cast<const DocumentListSource>(dtaDocuments->recordSource());
    Recordset *rs = dtaDocuments->recordset();
    if (!gDatabase || !source || !rs)
        return;
    const QString path = FileDialog::getSaveFileName(
        this, QStringLiteral("Export List as CSV"),
        QDir::current().filePath(QStringLiteral("Quillstack.csv")),
        QStringLiteral("CSV files (*.csv);;All files (*)"), QStringLiteral("csv"));
    if (path.isEmpty())
        return;

    QProgressDialog progress(QStringLiteral("Exporting the list..."), QStringLiteral("Cancel"), 0,
                             std::max(1, rs->recordCount()), this);
    progress.setObjectName(QStringLiteral("frmExporting"));
    progress.setWindowTitle(MessageBox::defaultTitle());
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.setValue(0);
    const auto result = exportDocumentsCsv(*gDatabase, *source, path, [&progress](qint64 rows) {
        progress.setValue(int(std::min<qint64>(rows, progress.maximum())));
        // Until the progress window shows, nothing may reach the list: it must not
        // change under the export.
        QCoreApplication::processEvents(progress.isVisible() ? QEventLoop::AllEvents
                                                             : QEventLoop::ExcludeUserInputEvents);
        return !progress.wasCanceled();
    });
    progress.close();
    if (!result)
        MessageBox::show(this, result.error(), MessageBox::defaultTitle());
}

} // namespace qs
