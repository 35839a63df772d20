// The report window: the column choice, following the main window's list, preview and print,
// the progress window, failures, the PDF file, the printer set-up and the preview's zoom.
#include "main/DocumentQuery.h"
#include "reports/DocumentReport.h"
#include "reports/PainterSurface.h"
#include "reports/PrintProgress.h"
#include "reports/ReportPreview.h"
#include "reports/frmPrint.h"
#include "store/DataControl.h"
#include "support/MainWindow.h"
#include "support/Modal.h"
#include "support/PdfText.h"
#include "widgets/MessageBox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimer>

using namespace qs;
using namespace qs::test;

namespace {

const QDateTime kNow(QDate(2026, 1, 2), QTime(9, 30));

// The IDs of the record lines, top to bottom: a number, a gap and a description in capitals.
QList<int> printedIds(const QString &text)
{
    QList<int> ids;
    static const QRegularExpression line(QStringLiteral("^\\s*(\\d+)\\s{2,}[A-Z]"));
    for (const QString &l : text.split(QLatin1Char('\n'))) {
        if (const auto m = line.match(l); m.hasMatch())
            ids << m.captured(1).toInt();
    }
    return ids;
}

// On the indicator: a check box or option stretched by its layout ignores clicks beyond its
// caption.
void clickBox(QAbstractButton *box)
{
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
}

template <typename W> W *child(QWidget &parent, const QString &name)
{
    return parent.findChild<W *>(name);
}

} // namespace

class TestFrmPrint : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestFolder> m_folder;
    std::unique_ptr<Database> m_db;
    std::unique_ptr<frmPrint> m_form;

    void addMany(int count)
    {
        for (int i = 1; i <= count; ++i)
            addDocument(*m_db, {i, QStringLiteral("RECORD %1").arg(i)});
    }
    // Opens and shows the window over every document.
    bool open()
    {
        DocumentQuery query;
        query.order = ListOrder::Id;
        m_form = std::make_unique<frmPrint>(*m_db, std::make_shared<DocumentListSource>(query));
        m_form->setNow([] { return kNow; });
        if (!m_form->Form_Activate())
            return false;
        m_form->show();
        return QTest::qWaitForWindowExposed(m_form.get());
    }
    void click(const char *button)
    {
        QTest::mouseClick(child<QPushButton>(*m_form, button), Qt::LeftButton);
    }
    QLabel *printed() { return child<QLabel>(*m_form, "lblPrinted"); }
    // Prints to a PDF file of the folder, whose name is returned.
    QString print(const QString &name)
    {
        const QString pdf = m_folder->file(name);
        frmPrint::setPrinterOutputFile(pdf);
        click("cmdPrint");
        return pdf;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty(),
                 "pdftotext (poppler-utils) is needed");
    }
    void init()
    {
        MessageBox::clearShownTexts();
        clearPendingModals();
        m_folder = std::make_unique<TestFolder>();
        m_db = makeDatabase(m_folder->file(QStringLiteral("Qsk.MDB")));
        QVERIFY(m_db);
    }
    void cleanup()
    {
        frmPrint::setPrinterOutputFile({});
        QVERIFY(!QApplication::overrideCursor());
        m_form.reset();
        m_db.reset();
        m_folder.reset();
    }

    // Each optional box brings its own column (two rows tell every mix-up of the three apart);
    // the greyed boxes of ID and Description do nothing. What a column holds is the layout's.
    void columns_data()
    {
        QTest::addColumn<int>("box");
        QTest::newRow("Type, greyed boxes clicked") << 2;
        QTest::newRow("Who") << 4;
    }
    void columns()
    {
        QFETCH(int, box);
        addDocument(*m_db, {101, "LEASE OF MILL", addType(*m_db, "Invoice"), QDate(2021, 3, 4),
                            "SMITHSON"});
        addDocument(*m_db, {102, "ROOF REPAIR"});
        QVERIFY(open());
        const auto checkBox = [&](int i) {
            return child<QCheckBox>(*m_form, QStringLiteral("chkFields_%1").arg(i));
        };
        QCOMPARE(checkBox(1)->text(), QStringLiteral("ID"));
        for (int i = 0; box == 2 && i < 3; ++i) {
            clickBox(checkBox(0));
            clickBox(checkBox(1));
        }
        QCOMPARE(checkBox(0)->checkState(), Qt::PartiallyChecked);
        QCOMPARE(checkBox(1)->checkState(), Qt::PartiallyChecked);
        clickBox(checkBox(box));
        const QString text = pdfText(print(QStringLiteral("columns.pdf")));
        QVERIFY(MessageBox::shownTexts().isEmpty());
        QVERIFY(text.contains("Description") && text.contains("ROOF REPAIR"));
        QCOMPARE(printedIds(text), (QList<int>{101, 102}));
        QCOMPARE(text.contains("Invoice"), box == 2);
        QVERIFY(!text.contains("3/4/2021")); // Date, with every box, is saveAsPdf's
        QCOMPARE(text.contains("SMITHSON"), box == 4);
    }

    void emptyResultClosesTheWindow()
    {
        addMany(2);
        DocumentQuery query;
        query.filterOn = true;
        query.description = QStringLiteral("NOWHERE");
        frmPrint form(*m_db, std::make_shared<DocumentListSource>(query));
        answerMessage();
        QCOMPARE(form.exec(), int(QDialog::Rejected));
        QCOMPARE(MessageBox::shownTexts(), QStringList{"No information to print."});
        QVERIFY(!form.isVisible());
    }

    // The report takes the main window's list as it is: its filter and its order; its menu
    // entry says so when there is nothing to print.
    void followsTheMainWindowsList_data()
    {
        QTest::addColumn<QString>("typed"); // empty: no filter
        QTest::addColumn<int>("order");
        QTest::addColumn<QList<int>>("ids");
        QTest::newRow("no filter, highest number first")
            << QString() << 0 << QList<int>{5, 4, 3, 2, 1};
        QTest::newRow("lease, by description") << "lease" << 1 << QList<int>{3, 1, 5};
        QTest::newRow("barn, lowest number first") << "barn" << 2 << QList<int>{2, 3};
        QTest::newRow("nothing") << "none" << 0 << QList<int>{};
    }
    void followsTheMainWindowsList()
    {
        QFETCH(QString, typed);
        QFETCH(int, order);
        QFETCH(QList<int>, ids);
        m_db.reset();
        MainWindowFixture f;
        QVERIFY(f.open([](Database &db) {
            int id = 0;
            for (const char *d : {"LEASE OF MILL", "ROOF OF BARN", "LEASE OF BARN", "GRAIN RECEIPT",
                                  "LEASE RENEWAL"})
                addDocument(db, {++id, d});
        }));
        if (order != 0)
            clickBox(child<QRadioButton>(f.w(), QStringLiteral("Order_%1").arg(order)));
        if (!typed.isEmpty()) {
            clickBox(child<QCheckBox>(f.w(), "chkFilterOn"));
            QTest::keyClicks(child<QLineEdit>(f.w(), "txtFilterDesc"), typed);
        }
        QString count;
        const QString pdf = f.folder.file(QStringLiteral("list.pdf"));
        frmPrint::setPrinterOutputFile(pdf);
        if (ids.isEmpty())
            answerMessage();
        answerModal<frmPrint>([&](frmPrint &form) {
            count = child<QLabel>(form, "lblRecordCount")->text();
            form.PrintReport(false);
            QTest::mouseClick(child<QPushButton>(form, "cmdExit"), Qt::LeftButton);
        });
        f.w().mnuPrint_Click();
        QCOMPARE(MessageBox::shownTexts(),
                 ids.isEmpty() ? QStringList{"Nothing to print."} : QStringList());
        if (ids.isEmpty())
            return;
        QCOMPARE(count, QStringLiteral("%1 documents to print").arg(ids.size()));
        QCOMPARE(printedIds(pdfText(pdf)), ids);
    }

    void previewThenPrint()
    {
        addMany(3);
        QVERIFY(open());
        auto *preview = child<ReportPreview>(*m_form, "VSP");
        auto *timer = child<QTimer>(*m_form, "tmrPrinted");
        QVERIFY(preview->isHidden() && printed()->isHidden());
        QVERIFY(timer->isActive()); // started with the window
        m_form->tmrPrinted_Timer();
        QVERIFY(!timer->isActive());

        click("cmdPreview");
        QVERIFY(preview->isVisible());
        QCOMPARE(preview->pageCount(), 1);
        QVERIFY(printed()->isVisible() && timer->isActive());
        QCOMPARE(timer->interval(), 2000);
        m_form->tmrPrinted_Timer();
        QVERIFY(printed()->isHidden());

        // The second run goes to the printer; the preview stays as it was.
        const QString pdf = print(QStringLiteral("printed.pdf"));
        QCOMPARE(printedIds(pdfText(pdf)), (QList<int>{1, 2, 3}));
        QCOMPARE(pdfPages(pdf), 1);
        QVERIFY(preview->isVisible() && printed()->isVisible());
        QCOMPARE(preview->pageCount(), 1);

        // And a preview after the print goes to the preview again, not to the printer.
        QFile::remove(pdf);
        click("cmdPreview");
        QVERIFY(!QFile::exists(pdf));
        QCOMPARE(preview->pageCount(), 1);
    }

    // The progress window follows the pages; its Cancel stops the print after that page.
    void progressAndCancel_data()
    {
        QTest::addColumn<int>("cancelOnPage"); // 0: never
        QTest::newRow("whole print") << 0;
        QTest::newRow("cancelled on page 2") << 2;
    }
    void progressAndCancel()
    {
        QFETCH(int, cancelOnPage);
        addMany(150);
        QVERIFY(open());
        QList<int> pages;
        QStringList lines;
        bool busy = true;
        const QString pdf = m_folder->file(QStringLiteral("long.pdf"));
        connect(m_form.get(), &frmPrint::printingPage, this, [&](int page) {
            pages << page;
            auto *progress = m_form->findChild<PrintProgress *>(QStringLiteral("frmPrinting"));
            QVERIFY(progress && progress->isVisible());
            auto *cancel = progress->findChild<QPushButton *>(QStringLiteral("cmdCancel"));
            lines << progress->windowTitle() << progress->pageLine() << progress->documentLine()
                  << progress->deviceLine() << cancel->text();
            busy = busy && QApplication::overrideCursor() &&
                   QApplication::overrideCursor()->shape() == Qt::WaitCursor;
            if (page == cancelOnPage)
                QTest::mouseClick(cancel, Qt::LeftButton);
        });
        print(QStringLiteral("long.pdf"));
        const int count = pdfPages(pdf);
        QVERIFY(count > 1);
        QList<int> expected;
        for (int i = 1; i <= count; ++i)
            expected << i;
        QCOMPARE(pages, expected);
        QVERIFY(busy);
        QCOMPARE(lines.mid(0, 7),
                 (QStringList{"Printing...", "Now printing Page 1 of", "Quillstack",
                              "on the PDF file on " + QDir::toNativeSeparators(pdf), "Cancel",
                              "Printing...", "Now printing Page 2 of"}));
        QVERIFY(!m_form->findChild<PrintProgress *>());
        QVERIFY(MessageBox::shownTexts().isEmpty());
        QCOMPARE(printed()->isVisible(), cancelOnPage == 0);
        QCOMPARE(count, cancelOnPage ? cancelOnPage : count);
        QCOMPARE(printedIds(pdfText(pdf)).contains(150), cancelOnPage == 0);
    }

    void surfaceErrorsLeaveTheWindowUsable_data()
    {
        QTest::addColumn<bool>("saveAsPdf");
        QTest::addColumn<QString>("expected");
        QTest::newRow("print to a file that cannot be written")
            << false << "The printer or file could not be opened.";
        QTest::newRow("save as a PDF file that cannot be written") << true << "Cannot write";
    }
    void surfaceErrorsLeaveTheWindowUsable()
    {
        QFETCH(bool, saveAsPdf);
        QFETCH(QString, expected);
        addMany(3);
        QVERIFY(open());
        const QString bad = QStringLiteral("no such folder/report.pdf");
        answerMessage();
        if (saveAsPdf) {
            frmPrint::setNextFileName(m_folder->file(bad));
            click("cmdSavePdf");
        } else {
            print(bad);
        }
        QCOMPARE(MessageBox::shownTexts().size(), 1);
        QVERIFY2(MessageBox::shownTexts().front().contains(expected),
                 qPrintable(MessageBox::shownTexts().front()));
        QVERIFY(!QApplication::overrideCursor());
        QVERIFY(printed()->isHidden());
        QVERIFY(!m_form->findChild<PrintProgress *>());

        // Still usable: a preview goes to the preview, and a good print works.
        click("cmdPreview");
        QCOMPARE(m_form->preview()->pageCount(), 1);
        QCOMPARE(printedIds(pdfText(print(QStringLiteral("good.pdf")))), (QList<int>{1, 2, 3}));
        QCOMPARE(MessageBox::shownTexts().size(), 1);
    }

    void withoutAPrinterPrintTellsSo()
    {
        if (!QPrinterInfo::availablePrinters().isEmpty())
            QSKIP("this machine has a printer");
        addMany(1);
        QVERIFY(open());
        answerMessage();
        click("cmdPrint");
        QCOMPARE(
            MessageBox::shownTexts(),
            QStringList{"There is no printer to print to. Choose one with \"Print Setup...\"."});
        QVERIFY(printed()->isHidden());
    }

    void saveAsPdf_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("written");
        QTest::newRow("name with suffix") << "report.pdf"
                                          << "report.pdf";
        QTest::newRow("suffix added") << "report"
                                      << "report.pdf";
        QTest::newRow("dialog cancelled") << QString() << QString();
    }
    void saveAsPdf()
    {
        QFETCH(QString, chosen);
        QFETCH(QString, written);
        addMany(2);
        addDocument(*m_db, {3, QStringLiteral("NOTICE"), addType(*m_db, "Letter"),
                            QDate(2020, 12, 31), "TOWN HALL"});
        QVERIFY(open());
        for (int i : {2, 3, 4})
            clickBox(child<QCheckBox>(*m_form, QStringLiteral("chkFields_%1").arg(i)));
        frmPrint::setNextFileName(chosen.isEmpty() ? QString() : m_folder->file(chosen));
        click("cmdSavePdf");
        QVERIFY(MessageBox::shownTexts().isEmpty());
        QCOMPARE(printed()->isVisible(), !written.isEmpty());
        QCOMPARE(QDir(m_folder->path()).entryList({QStringLiteral("*.pdf")}),
                 written.isEmpty() ? QStringList() : QStringList{written});
        if (written.isEmpty())
            return;
        const QString text = pdfText(m_folder->file(written));
        QCOMPARE(printedIds(text), (QList<int>{1, 2, 3}));
        for (const char *s : {"Letter", "12/31/2020", "TOWN HALL"})
            QVERIFY2(text.contains(QLatin1String(s)), s);
    }

    void printSetupShowsThePrinterDialog()
    {
        addMany(1);
        QVERIFY(open());
        QString title;
        answerModal<QPrintDialog>([&](QPrintDialog &dialog) { title = dialog.windowTitle(); });
        click("cmdPrintSetup");
        QCOMPARE(title, QStringLiteral("Print Setup"));
        QVERIFY(m_form->isVisible());
    }

    void previewZoom_data()
    {
        QTest::addColumn<int>("zoom");
        QTest::newRow("whole page") << int(ReportPreview::Zoom::WholePage);
        QTest::newRow("page width") << int(ReportPreview::Zoom::PageWidth);
        QTest::newRow("two pages") << int(ReportPreview::Zoom::TwoPages);
        QTest::newRow("thumbnail") << int(ReportPreview::Zoom::Thumbnail);
    }
    void previewZoom()
    {
        QFETCH(int, zoom);
        // Several pages of a real preview run.
        PainterSurface surface;
        int produced = 0;
        PrintDocumentReport(surface, {}, QStringLiteral("stamp"), [&](ReportRow &row) {
            row.id = ++produced;
            row.description = QStringLiteral("RECORD %1").arg(produced);
            return produced <= 250;
        });
        QVERIFY(surface.previewPages().size() > 3);
        ReportPreview preview;
        preview.resize(900, 700);
        preview.show();
        QVERIFY(QTest::qWaitForWindowExposed(&preview));
        preview.setPages(surface.previewPages());
        QCOMPARE(preview.pageCount(), int(surface.previewPages().size()));

        const auto mode = ReportPreview::Zoom(zoom);
        QAbstractButton *button = preview.zoomButton(mode);
        if (mode == ReportPreview::Zoom::WholePage) // the first choice is on already
            preview.setZoom(ReportPreview::Zoom::Thumbnail);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(preview.zoom(), mode);
        QVERIFY(button->isChecked());
        const QRect view = preview.viewport()->rect();
        const QRect first = preview.pageRect(0);
        const QRect second = preview.pageRect(1);
        switch (mode) {
        case ReportPreview::Zoom::WholePage:
            QVERIFY(view.contains(first));
            QVERIFY(second.top() > first.bottom());
            break;
        case ReportPreview::Zoom::PageWidth:
            QVERIFY(qAbs(first.width() - (view.width() - 24)) <= 1);
            QVERIFY(first.bottom() > view.bottom()); // a portrait page is taller than the view
            break;
        case ReportPreview::Zoom::TwoPages:
            QVERIFY(view.contains(first) && view.contains(second));
            QCOMPARE(second.top(), first.top());
            QVERIFY(second.left() > first.right());
            break;
        case ReportPreview::Zoom::Thumbnail:
            QCOMPARE(preview.pageRect(2).top(), first.top());
            QVERIFY(first.width() < view.width() / 4);
            break;
        }
        // The page is drawn: black text on white.
        const QImage image = preview.renderPage(0, 600);
        int dark = 0;
        for (int y = 0; y < image.height(); y += 2)
            for (int x = 0; x < image.width(); x += 2)
                dark += qGray(image.pixel(x, y)) < 128;
        QVERIFY(dark > 100);
    }
};

QTEST_MAIN(TestFrmPrint)
#include "tst_frmprint.moc"
