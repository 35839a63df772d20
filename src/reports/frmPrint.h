#pragma once

#include "reports/DocumentReport.h"
#include "reports/PainterSurface.h"

#include <QDateTime>
#include <QDialog>
#include <QHash>
#include <QPrinter>

#include <array>
#include <functional>
#include <memory>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QTimer;

namespace qs {

class Database;
class ListSource;
class Recordset;
class ReportPreview;

// The report window: the choice of the optional columns, and the runs that preview the report
// of the main list's documents, print it or save it as a PDF file. It reads the documents
// through a read-only record set of its own over the list's query, so the report has the list's
// filter and order.
class frmPrint : public QDialog
{
    Q_OBJECT
public:
    frmPrint(Database &db, std::shared_ptr<const ListSource> source, QWidget *parent = nullptr);
    ~frmPrint() override;

    // Opens the report's record set and shows the count. When it holds nothing, tells the
    // user, closes the window and answers false.
    bool Form_Activate();
    // Activates first; the window is shown only when there is something to print.
    int exec() override;

    // The clock of the title lines, replaceable so that tests never depend on the time.
    void setNow(std::function<QDateTime()> now) { m_now = std::move(now); }
    int recordCount() const { return m_count; }
    ReportPreview *preview() const { return VSP; }
    QPrinter &printer() { return m_printer; }

    // Test seams. A non-empty path sends every print run to that PDF file instead of the
    // printer. setNextFileName answers the next "Save as PDF..." file dialog (empty: cancelled).
    static void setPrinterOutputFile(const QString &pdfPath);
    static void setNextFileName(const QString &path);

public Q_SLOTS:
    void PrintReport(bool pPreview);
    void cmdPreview_Click();
    void cmdPrint_Click();
    void cmdPrintSetup_Click();
    void cmdSavePdf_Click();
    void cmdExit_Click();
    void tmrPrinted_Timer();

Q_SIGNALS:
    // A page of a print run has begun; the progress window already shows its number.
    void printingPage(int page);

private:
    void buildUi();
    ReportColumns wantedColumns() const;
    ReportRowSource rowSource();
    QString typeName(qint16 key);
    QString saveFileName();
    void showPrinted();
    void showError(const QString &text);

    Database &m_db;
    std::shared_ptr<const ListSource> m_source;
    std::unique_ptr<Recordset> m_report;
    int m_count = 0;
    QHash<qint16, QString> m_typeNames;
    std::function<QDateTime()> m_now;
    QPrinter m_printer;
    PainterSurface m_surface;

    // Controls (owned through Qt's parent chain). Index order as the check boxes' roles:
    // 0 Description, 1 ID (both always printed), 2 Type, 3 Date, 4 Who.
    QGroupBox *Frame1 = nullptr;
    std::array<QCheckBox *, 5> chkFields{};
    QPushButton *cmdPreview = nullptr;
    QPushButton *cmdPrint = nullptr;
    QPushButton *cmdPrintSetup = nullptr;
    QPushButton *cmdSavePdf = nullptr;
    QPushButton *cmdExit = nullptr;
    QLabel *lblRecordCount = nullptr;
    QLabel *lblPrinted = nullptr;
    QTimer *tmrPrinted = nullptr;
    ReportPreview *VSP = nullptr;
};

} // namespace qs
