// The report window: its buttons and column choice, following the main window's list, the
// progress window, failures and messages, the printer set-up and the preview's zoom.
#include "main/DocumentQuery.h"
#include "reports/PrintProgress.h"
#include "reports/ReportPreview.h"
#include "reports/frmPrint.h"
#include "support/MainWindow.h"
#include "support/PdfText.h"

#include <QtPrintSupport>

using namespace qs;
using namespace qs::test;

using Ints = QList<int>;

namespace {

// The IDs of the record lines of a PDF file, top to bottom: a number, a gap and a description
// in capitals.
Ints printedIds(const QString &pdf)
{
    static const QRegularExpression line(QStringLiteral("^\\s*(\\d+)\\s{2,}[A-Z]"),
                                         QRegularExpression::MultilineOption);
    Ints ids;
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
    void cleanup()
    {
        QVERIFY(!QApplication::overrideCursor());
        frmPrint::setPrinterOutputFile({});
        MessageBox::clearShownTexts();
        clearPendingModals();
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
        QTest::addColumn<Ints>("ids");        // the list, and so the report
        const QString P = "cmdPrint", S = "cmdSavePdf", bad = "no such folder/r.pdf", no;
        const Ints all{5, 4, 3, 2, 1};
        QTest::newRow("print Type") << no << 0 << "0001112" << P << "p.pdf" << no << all;
        QTest::newRow("lease, save") << "lease" << 1 << "234" << S << "r" << no << Ints{3, 1, 5};
        QTest::newRow("save Who") << no << 2 << "4" << S << "r.pdf" << no << Ints{1, 2, 3, 4, 5};
        QTest::newRow("preview") << no << 0 << no << QString("cmdPreview") << no << no << all;
        QTest::newRow("save cancelled") << no << 0 << no << S << no << no << all;
        QTest::newRow("print fails")
            << no << 0 << no << P << bad << "The printer or file could not be opened." << all;
        QTest::newRow("save fails")
            << no << 0 << no << S << bad << "Cannot write \"" + bad + "\": " << all;
        QTest::newRow("no printer")
            << no << 0 << no << P << no
            << "There is no printer to print to. Choose one with \"Print Setup...\"." << all;
        QTest::newRow("no list") << "none" << 0 << no << no << no << "Nothing to print." << Ints{};
    }
    void fromTheList()
    {
        QFETCH(QString, typed);
        QFETCH(int, order);
        QFETCH(QString, boxes);
        QFETCH(QString, button);
        QFETCH(QString, file);
        QFETCH(QString, message);
        QFETCH(Ints, ids);
        if (message.startsWith("There is no") && !QPrinterInfo::availablePrinters().isEmpty())
            QSKIP("this machine has a printer");
        MainWindowFixture f;
        QVERIFY(open(f));
        if (order != 0)
            click(f.w(), QStringLiteral("Order_%1").arg(order));
        click(f.w(), "chkFilterOn"); // an empty filter lets every document through
        QTest::keyClicks(f.w().findChild<QLineEdit *>("txtFilterDesc"), typed);
        (button == "cmdSavePdf" ? frmPrint::setNextFileName : frmPrint::setPrinterOutputFile)(file);
        if (!message.isEmpty())
            answerMessage();
        const bool done = message.isEmpty() && (button != "cmdSavePdf" || !file.isEmpty());
        answerModal<frmPrint>([&](frmPrint &form) {
            auto *timer = form.findChild<QTimer *>("tmrPrinted");
            auto *printed = form.findChild<QLabel *>("lblPrinted");
            form.tmrPrinted_Timer(); // the timer started with the window stops at its first tick
            QCOMPARE(form.findChild<QLabel *>("lblRecordCount")->text(),
                     QStringLiteral("%1 documents to print").arg(ids.size()));
            for (QChar box : boxes)
                click(form, QStringLiteral("chkFields_") + box);
            for (const char *greyed : {"chkFields_0", "chkFields_1"})
                QCOMPARE(form.findChild<QCheckBox *>(greyed)->checkState(), Qt::PartiallyChecked);
            click(form, button);
            QVERIFY(printed->isVisible() == done && timer->isActive() == done);
            QCOMPARE(form.preview()->isVisible(), button == "cmdPreview");
            form.tmrPrinted_Timer();
            QVERIFY(printed->isHidden());
            frmPrint::setPrinterOutputFile("good.pdf");
            click(form, "cmdPreview");
            QVERIFY(form.preview()->pageCount() == 1 && !QFile::exists("good.pdf"));
            click(form, "cmdPrint");
            click(form, "cmdExit");
        });
        f.w().mnuPrint_Click();
        QCOMPARE(MessageBox::shownTexts().size(), message.isEmpty() ? 0 : 1);
        QVERIFY(MessageBox::shownTexts().value(0, "").startsWith(message));
        if (ids.isEmpty())
            return;
        QCOMPARE(printedIds("good.pdf"), ids);
        const QString written = QFileInfo(file).completeBaseName() + ".pdf";
        const bool wrote = done && button != "cmdPreview";
        QCOMPARE(QDir().entryList({"*.pdf"}).join(' '), wrote ? "good.pdf " + written : "good.pdf");
        if (!wrote)
            return;
        const QString text = pdfText(written);
        QCOMPARE(printedIds(written), ids);
        QCOMPARE(text.contains("Invoice"), boxes.contains('2'));
        QCOMPARE(text.contains("12/31/2020"), boxes.contains('3'));
        QCOMPARE(text.contains("SMITHSON"), boxes.contains('4'));
    }

    // A long list. The printer set-up is a dialog of its own. The progress window follows the
    // pages under the busy pointer; its Cancel stops the print after that page. The preview
    // shows the pages at every zoom. A report whose records went meanwhile
    // says so and closes.
    void longListAndEmptyReport()
    {
        MainWindowFixture f;
        QVERIFY(open(f, 200));
        QStringList pages, lines;
        QString title;
        frmPrint::setPrinterOutputFile("long.pdf");
        answerModal<frmPrint>([&](frmPrint &form) {
            answerModal<QPrintDialog>([&](QPrintDialog &dialog) { title = dialog.windowTitle(); });
            click(form, "cmdPrintSetup");
            connect(&form, &frmPrint::printingPage, this, [&](int page) {
                auto *progress = form.findChild<PrintProgress *>("frmPrinting");
                QVERIFY(progress && progress->isVisible());
                QVERIFY(QApplication::overrideCursor()->shape() == Qt::WaitCursor);
                auto *cancel = progress->findChild<QPushButton *>("cmdCancel");
                pages << progress->pageLine();
                lines = {progress->windowTitle(), progress->documentLine(), progress->deviceLine(),
                         cancel->text()};
                if (page == 2)
                    QTest::mouseClick(cancel, Qt::LeftButton);
            });
            click(form, "cmdPrint");
            QVERIFY(!form.findChild<PrintProgress *>());
            QVERIFY(form.findChild<QLabel *>("lblPrinted")->isHidden());
            click(form, "cmdPreview");
            ReportPreview &preview = *form.preview();
            QVERIFY(preview.pageCount() > 3);
            using Z = ReportPreview::Zoom;
            const QRect view = preview.viewport()->rect();
            for (Z mode : {Z::Thumbnail, Z::WholePage, Z::PageWidth, Z::TwoPages}) {
                QTest::mouseClick(preview.zoomButton(mode), Qt::LeftButton);
                QVERIFY(preview.zoom() == mode && preview.zoomButton(mode)->isChecked());
                const QRect first = preview.pageRect(0), second = preview.pageRect(1);
                const bool several = mode == Z::Thumbnail || mode == Z::TwoPages;
                QCOMPARE(view.contains(first), mode != Z::PageWidth); // a page is taller
                QCOMPARE(view.contains(second) && second.top() == first.top(), several);
                QCOMPARE(preview.pageRect(2).top() == first.top(), mode == Z::Thumbnail);
                QCOMPARE(qAbs(first.width() - (view.width() - 24)) <= 1, mode == Z::PageWidth);
            }
        });
        f.w().mnuPrint_Click();
        QCOMPARE(pdfPages("long.pdf"), 2);
        QCOMPARE(pages, (QStringList{"Now printing Page 1 of", "Now printing Page 2 of"}));
        QCOMPARE(lines, (QStringList{"Printing...", "Quillstack", "on the PDF file on long.pdf",
                                     "Cancel"}));
        QVERIFY(!printedIds("long.pdf").contains(1));
        QCOMPARE(title, QStringLiteral("Print Setup"));
        DocumentQuery query;
        query.filterOn = true;
        query.description = QStringLiteral("NOWHERE");
        frmPrint empty(*f.w().database(), std::make_shared<DocumentListSource>(query));
        answerMessage();
        QCOMPARE(empty.exec(), int(QDialog::Rejected));
        QCOMPARE(MessageBox::shownTexts(), QStringList{"No information to print."});
    }
};

QTEST_MAIN(TestFrmPrint)
#include "tst_frmprint.moc"
