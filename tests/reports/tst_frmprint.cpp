// The report window: its buttons and column choice, following the main window's list, the
// progress window, failures and messages, the printer set-up and the preview's zoom.
#include "main/DocumentQuery.h"
#include "reports/DocumentReport.h"
#include "reports/PrintProgress.h"
#include "reports/ReportPreview.h"
#include "reports/frmPrint.h"
#include "support/MainWindow.h"
#include "support/Modal.h"
#include "support/PdfText.h"
#include "widgets/MessageBox.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>

using namespace qs;
using namespace qs::test;

namespace {

// The IDs of the record lines of a PDF file, top to bottom: a number, a gap and a description
// in capitals.
QList<int> printedIds(const QString &pdf)
{
    static const QRegularExpression line(QStringLiteral("^\\s*(\\d+)\\s{2,}[A-Z]"),
                                         QRegularExpression::MultilineOption);
    QList<int> ids;
    for (auto it = line.globalMatch(pdfText(pdf)); it.hasNext();)
        ids << it.next().captured(1).toInt();
    return ids;
}

// Near the left edge: a check box or option stretched by its layout ignores clicks beyond its
// caption.
void click(QWidget &parent, const QString &name)
{
    auto *button = parent.findChild<QAbstractButton *>(name);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

// The main window over `count` documents (more than five: "RECORD n"); the first has a type,
// a date and a holder.
bool open(MainWindowFixture &f, int count = 5)
{
    return f.open([count](Database &db) {
        addDocument(db,
                    {1, "LEASE OF MILL", addType(db, "Invoice"), QDate(2020, 12, 31), "SMITHSON"});
        const QStringList five{"ROOF OF BARN", "LEASE OF BARN", "GRAIN RECEIPT", "LEASE RENEWAL"};
        for (int id = 2; id <= count; ++id)
            addDocument(db, {id, count > 5 ? QStringLiteral("RECORD %1").arg(id) : five[id - 2]});
    });
}

} // namespace

class TestFrmPrint : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        MessageBox::clearShownTexts();
        clearPendingModals();
    }
    void cleanup()
    {
        frmPrint::setPrinterOutputFile({});
        QVERIFY(!QApplication::overrideCursor());
    }

    // The report has the list's filter and order. Each button's outcome; the greyed boxes of
    // ID and Description do nothing, each optional box brings its own column. Afterwards the
    // window is still usable: a preview goes to the preview, never to the printer, and a
    // print to the printer.
    void fromTheList_data()
    {
        QTest::addColumn<QString>("typed"); // in the list's description filter
        QTest::addColumn<int>("order");     // the list's order option
        QTest::addColumn<QString>("boxes"); // the check boxes clicked, in order
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("file");    // print: the printer's file; save: the name chosen
        QTest::addColumn<QString>("message"); // how the message shown begins
        QTest::addColumn<QList<int>>("ids");  // the list, and so the report
        const QString bad = "no such folder/r.pdf";
        const QList<int> all{5, 4, 3, 2, 1};
        QTest::newRow("print Type, greyed boxes clicked") << "" << 0 << "0001112"
                                                          << "cmdPrint"
                                                          << "p.pdf"
                                                          << "" << all;
        QTest::newRow("lease by description, save all, suffix added") << "lease" << 1 << "234"
                                                                      << "cmdSavePdf"
                                                                      << "r"
                                                                      << "" << QList<int>{3, 1, 5};
        QTest::newRow("lowest number first, save Who") << "" << 2 << "4"
                                                       << "cmdSavePdf"
                                                       << "r.pdf"
                                                       << "" << QList<int>{1, 2, 3, 4, 5};
        QTest::newRow("preview") << "" << 0 << ""
                                 << "cmdPreview"
                                 << ""
                                 << "" << all;
        QTest::newRow("save cancelled") << "" << 0 << ""
                                        << "cmdSavePdf"
                                        << ""
                                        << "" << all;
        QTest::newRow("print fails")
            << "" << 0 << ""
            << "cmdPrint" << bad << "The printer or file could not be opened." << all;
        QTest::newRow("save fails")
            << "" << 0 << ""
            << "cmdSavePdf" << bad << "Cannot write \"" + bad + "\": " << all;
        QTest::newRow("no printer")
            << "" << 0 << ""
            << "cmdPrint"
            << ""
            << "There is no printer to print to. Choose one with \"Print Setup...\"." << all;
        QTest::newRow("nothing in the list") << "none" << 0 << ""
                                             << ""
                                             << ""
                                             << "Nothing to print." << QList<int>{};
    }
    void fromTheList()
    {
        QFETCH(QString, typed);
        QFETCH(int, order);
        QFETCH(QString, boxes);
        QFETCH(QString, button);
        QFETCH(QString, file);
        QFETCH(QString, message);
        QFETCH(QList<int>, ids);
        if (message.startsWith("There is no") && !QPrinterInfo::availablePrinters().isEmpty())
            QSKIP("this machine has a printer");
        MainWindowFixture f;
        QVERIFY(open(f));
        if (order != 0)
            click(f.w(), QStringLiteral("Order_%1").arg(order));
        if (!typed.isEmpty()) {
            click(f.w(), "chkFilterOn");
            QTest::keyClicks(f.w().findChild<QLineEdit *>("txtFilterDesc"), typed);
        }
        if (button == "cmdSavePdf")
            frmPrint::setNextFileName(file);
        else
            frmPrint::setPrinterOutputFile(file);
        if (!message.isEmpty())
            answerMessage();
        const bool done = message.isEmpty() && (button != "cmdSavePdf" || !file.isEmpty());
        answerModal<frmPrint>([&](frmPrint &form) {
            auto *timer = form.findChild<QTimer *>("tmrPrinted");
            auto *printed = form.findChild<QLabel *>("lblPrinted");
            QVERIFY(timer->isActive()); // started with the window
            form.tmrPrinted_Timer();
            QVERIFY(!timer->isActive());
            QCOMPARE(form.findChild<QLabel *>("lblRecordCount")->text(),
                     QStringLiteral("%1 documents to print").arg(ids.size()));
            for (QChar box : boxes)
                click(form, QStringLiteral("chkFields_") + box);
            for (const char *greyed : {"chkFields_0", "chkFields_1"})
                QCOMPARE(form.findChild<QCheckBox *>(greyed)->checkState(), Qt::PartiallyChecked);
            click(form, button);
            QCOMPARE(printed->isVisible(), done);
            QCOMPARE(timer->isActive(), done);
            QCOMPARE(form.preview()->isVisible(), button == "cmdPreview");
            form.tmrPrinted_Timer();
            QVERIFY(printed->isHidden());
            frmPrint::setPrinterOutputFile("good.pdf");
            click(form, "cmdPreview");
            QCOMPARE(form.preview()->pageCount(), 1);
            QVERIFY(!QFile::exists("good.pdf"));
            click(form, "cmdPrint");
            click(form, "cmdExit");
        });
        f.w().mnuPrint_Click();
        QCOMPARE(pendingModals(), ids.isEmpty() ? 1 : 0);
        QCOMPARE(MessageBox::shownTexts().size(), message.isEmpty() ? 0 : 1);
        QVERIFY(MessageBox::shownTexts().value(0, "").startsWith(message));
        if (ids.isEmpty())
            return;
        QCOMPARE(printedIds("good.pdf"), ids);
        const QString written = QFileInfo(file).completeBaseName() + ".pdf";
        QStringList pdfs{"good.pdf"};
        if (done && button != "cmdPreview")
            pdfs << written;
        QCOMPARE(QDir().entryList({"*.pdf"}), pdfs);
        if (pdfs.size() == 1)
            return;
        const QString text = pdfText(written);
        QCOMPARE(printedIds(written), ids);
        QCOMPARE(text.contains("Invoice"), boxes.contains('2'));
        QCOMPARE(text.contains("12/31/2020"), boxes.contains('3'));
        QCOMPARE(text.contains("SMITHSON"), boxes.contains('4'));
    }

    // The progress window follows the pages under the busy pointer; its Cancel stops the
    // print after that page.
    void progressAndCancel_data()
    {
        QTest::addColumn<int>("cancelOnPage"); // 0: never
        QTest::newRow("whole print") << 0;
        QTest::newRow("cancelled on page 2") << 2;
    }
    void progressAndCancel()
    {
        QFETCH(int, cancelOnPage);
        MainWindowFixture f;
        QVERIFY(open(f, 150));
        QStringList pages, lines;
        frmPrint::setPrinterOutputFile("long.pdf");
        answerModal<frmPrint>([&](frmPrint &form) {
            connect(&form, &frmPrint::printingPage, this, [&](int page) {
                auto *progress = form.findChild<PrintProgress *>(QStringLiteral("frmPrinting"));
                QVERIFY(progress && progress->isVisible());
                QVERIFY(QApplication::overrideCursor()->shape() == Qt::WaitCursor);
                auto *cancel = progress->findChild<QPushButton *>(QStringLiteral("cmdCancel"));
                pages << progress->pageLine();
                lines = {progress->windowTitle(), progress->documentLine(), progress->deviceLine(),
                         cancel->text()};
                if (page == cancelOnPage)
                    QTest::mouseClick(cancel, Qt::LeftButton);
            });
            click(form, "cmdPrint");
            QVERIFY(!form.findChild<PrintProgress *>());
            QCOMPARE(form.findChild<QLabel *>("lblPrinted")->isVisible(), cancelOnPage == 0);
        });
        f.w().mnuPrint_Click();
        const int count = pdfPages("long.pdf");
        QVERIFY(count > 1 && (!cancelOnPage || count == cancelOnPage));
        QStringList expected;
        for (int i = 1; i <= count; ++i)
            expected << QStringLiteral("Now printing Page %1 of").arg(i);
        QCOMPARE(pages, expected);
        QCOMPARE(lines, (QStringList{"Printing...", "Quillstack", "on the PDF file on long.pdf",
                                     "Cancel"}));
        QVERIFY(MessageBox::shownTexts().isEmpty());
        QCOMPARE(printedIds("long.pdf").contains(1), cancelOnPage == 0);
    }

    // A list that emptied meanwhile; and the printer set-up.
    void emptyReportAndPrintSetup()
    {
        MainWindowFixture f;
        QVERIFY(open(f));
        DocumentQuery query;
        query.filterOn = true;
        query.description = QStringLiteral("NOWHERE");
        frmPrint empty(*f.w().database(), std::make_shared<DocumentListSource>(query));
        answerMessage();
        QCOMPARE(empty.exec(), int(QDialog::Rejected));
        QCOMPARE(MessageBox::shownTexts(), QStringList{"No information to print."});
        QVERIFY(!empty.isVisible());
        QString title;
        answerModal<frmPrint>([&](frmPrint &form) {
            answerModal<QPrintDialog>([&](QPrintDialog &dialog) { title = dialog.windowTitle(); });
            click(form, "cmdPrintSetup");
            QVERIFY(form.isVisible());
        });
        f.w().mnuPrint_Click();
        QCOMPARE(title, QStringLiteral("Print Setup"));
    }

    // Several pages of a real preview run, drawn black on white, at each zoom.
    void previewZoom()
    {
        PainterSurface surface;
        int produced = 0;
        PrintDocumentReport(surface, {}, QStringLiteral("stamp"), [&](ReportRow &row) {
            row.id = ++produced;
            row.description = QStringLiteral("RECORD %1").arg(produced);
            return produced <= 250;
        });
        ReportPreview preview;
        preview.resize(900, 700);
        preview.show();
        QVERIFY(QTest::qWaitForWindowExposed(&preview));
        preview.setPages(surface.previewPages());
        QVERIFY(preview.pageCount() > 3);
        QCOMPARE(preview.pageCount(), int(surface.previewPages().size()));
        const QImage image = preview.renderPage(0, 600);
        int dark = 0;
        for (int y = 0; y < image.height(); y += 2)
            for (int x = 0; x < image.width(); x += 2)
                dark += qGray(image.pixel(x, y)) < 128;
        QVERIFY(dark > 100);
        using Z = ReportPreview::Zoom;
        const QRect view = preview.viewport()->rect();
        for (Z mode : {Z::Thumbnail, Z::WholePage, Z::PageWidth, Z::TwoPages}) {
            QTest::mouseClick(preview.zoomButton(mode), Qt::LeftButton);
            QCOMPARE(preview.zoom(), mode);
            QVERIFY(preview.zoomButton(mode)->isChecked());
            const QRect first = preview.pageRect(0), second = preview.pageRect(1);
            if (mode == Z::Thumbnail)
                QVERIFY(preview.pageRect(2).top() == first.top() &&
                        first.width() < view.width() / 4);
            if (mode == Z::WholePage)
                QVERIFY(view.contains(first) && second.top() > first.bottom());
            if (mode == Z::PageWidth) // a portrait page is taller than the view
                QVERIFY(qAbs(first.width() - (view.width() - 24)) <= 1 &&
                        first.bottom() > view.bottom());
            if (mode == Z::TwoPages)
                QVERIFY(view.contains(second) && second.top() == first.top() &&
                        second.left() > first.right());
        }
    }
};

QTEST_MAIN(TestFrmPrint)
#include "tst_frmprint.moc"
