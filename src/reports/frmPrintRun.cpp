// The report window's runs: preview, print, printer set-up and the PDF file.
#include "reports/frmPrint.h"

#include "reports/PrintProgress.h"
#include "reports/ReportPdf.h"
#include "reports/ReportPreview.h"
#include "store/Recordset.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPrintDialog>
#include <QPrinterInfo>
#include <QPushButton>
#include <QQueue>
#include <QScreen>
#include <QStandardPaths>
#include <QSysInfo>

namespace qs {

namespace {

QString &printerFile()
{
    static QString path;
    return path;
}

QQueue<QString> &nextFileNames()
{
    static QQueue<QString> names;
    return names;
}

// The hourglass for the length of a run; restored early before a message is shown.
class BusyPointer
{
public:
    BusyPointer() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyPointer() { restore(); }
    BusyPointer(const BusyPointer &) = delete;
    BusyPointer &operator=(const BusyPointer &) = delete;

    void restore()
    {
        if (m_on)
            QApplication::restoreOverrideCursor();
        m_on = false;
    }

private:
    bool m_on = true;
};

QString deviceName(const QPrinter &printer)
{
    if (printer.outputFormat() == QPrinter::PdfFormat)
        return QStringLiteral("PDF file");
    return printer.printerName();
}

QString portName(const QPrinter &printer)
{
    if (!printer.outputFileName().isEmpty())
        return QDir::toNativeSeparators(printer.outputFileName());
    const QString location = QPrinterInfo::printerInfo(printer.printerName()).location();
    return location.isEmpty() ? QSysInfo::machineHostName() : location;
}

} // namespace

void frmPrint::setPrinterOutputFile(const QString &pdfPath)
{
    printerFile() = pdfPath;
}

void frmPrint::setNextFileName(const QString &path)
{
    nextFileNames().enqueue(path);
}

void frmPrint::PrintReport(bool pPreview)
{
    if (!m_report)
        return;
    const ReportColumns columns = wantedColumns();
    BusyPointer busy;
    std::unique_ptr<PrintProgress> progress;
    ReportEnd end = ReportEnd::Complete;
    try {
        if (pPreview) {
            if (VSP->isHidden()) {
                VSP->show();
                const QRect screen = this->screen()->availableGeometry();
                resize(std::min(std::max(width(), 960), screen.width()),
                       std::min(std::max(height(), 720), screen.height()));
            }
        } else {
            if (!printerFile().isEmpty()) {
                m_printer.setOutputFormat(QPrinter::PdfFormat);
                m_printer.setOutputFileName(printerFile());
            }
            const bool noDevice = m_printer.outputFormat() == QPrinter::PdfFormat
                                      ? m_printer.outputFileName().isEmpty()
                                      : m_printer.printerName().isEmpty();
            if (noDevice)
                throw ReportError(QStringLiteral(
                    "There is no printer to print to. Choose one with \"Print Setup...\"."));
            progress = std::make_unique<PrintProgress>(m_printer.docName(), deviceName(m_printer),
                                                       portName(m_printer), this);
            progress->show();
        }
        // Set for every run, so that a print that failed before its document started does
        // not send the next preview to the printer.
        m_surface.setPreview(pPreview);

        ReportPageStarted pageStarted;
        if (progress) {
            pageStarted = [this, &progress](int page) {
                progress->setPage(page);
                Q_EMIT printingPage(page);
                // Lets the Cancel button be pressed; the progress window blocks everything else.
                QCoreApplication::processEvents();
                return !progress->cancelled();
            };
        }
        end = PrintDocumentReport(m_surface, columns, fnReportStamp(m_now()), rowSource(),
                                  pageStarted);
    } catch (const ReportError &e) {
        m_surface.setPreview(true);
        progress.reset();
        busy.restore();
        showError(e.text());
        return;
    }
    progress.reset();
    if (pPreview)
        VSP->setPages(m_surface.previewPages());
    busy.restore();
    if (end == ReportEnd::Complete)
        showPrinted();
}

void frmPrint::cmdPrintSetup_Click()
{
    QPrintDialog dialog(&m_printer, this);
    dialog.setWindowTitle(QStringLiteral("Print Setup"));
    dialog.setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintShowPageSize);
    // This dialog only chooses the printer and the paper; its button must not promise a print.
    if (auto *box = dialog.findChild<QDialogButtonBox *>()) {
        if (QPushButton *ok = box->button(QDialogButtonBox::Ok))
            ok->setText(QStringLiteral("OK"));
    }
    dialog.exec();
}

QString frmPrint::saveFileName()
{
    QString path;
    if (!nextFileNames().isEmpty()) {
        path = nextFileNames().dequeue();
    } else {
        const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        path = QFileDialog::getSaveFileName(this, QStringLiteral("Save as PDF"),
                                            QDir(folder).filePath(QStringLiteral("Quillstack.pdf")),
                                            QStringLiteral("PDF files (*.pdf)"));
    }
    if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".pdf");
    return path;
}

void frmPrint::cmdSavePdf_Click()
{
    if (!m_report)
        return;
    const QString path = saveFileName();
    if (path.isEmpty())
        return;
    const ReportColumns columns = wantedColumns();
    BusyPointer busy;
    const Status status = WriteReportPdf(path, columns, fnReportStamp(m_now()), rowSource(),
                                         m_printer.pageLayout().pageSize());
    busy.restore();
    if (!status) {
        showError(status.message());
        return;
    }
    showPrinted();
}

} // namespace qs
