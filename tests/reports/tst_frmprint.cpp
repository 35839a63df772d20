#include "main/DocumentQuery.h"
#include "main/frmMain.h"
#include "support/MainWindow.h"
#include "reports/DocumentReport.h"
#include "reports/PainterSurface.h"
#include "reports/PrintProgress.h"
#include "reports/ReportPreview.h"
#include "reports/frmPrint.h"
#include "store/DataControl.h"
#include "widgets/MessageBox.h"
#include "support/TestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinterInfo>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

using namespace qs;
using namespace qs::test;

namespace {

const QDateTime kNow(QDate(2026, 1, 2), QTime(9, 30));

QString run(const QString &program, const QStringList &args)
{
    QProcess process;
    process.start(program, args);
    process.waitForFinished(-1);
    return QString::fromUtf8(process.readAllStandardOutput());
}

QString pdfText(const QString &path)
{
    return run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
}

int pdfPages(const QString &path)
{
    const QString info = run(QStringLiteral("pdfinfo"), {path});
    const auto match = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(info);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

// The IDs of the record lines, top to bottom: a number, a gap and a description in capitals.
QList<int> printedIds(const QString &text)
{
    QList<int> ids;
    const QRegularExpression line(QStringLiteral("^\\s*(\\d+)\\s{2,}[A-Z]"));
    for (const QString &l : text.split(QLatin1Char('\n'))) {
        const auto m = line.match(l);
        if (m.hasMatch())
            ids << m.captured(1).toInt();
    }
    return ids;
}

std::shared_ptr<const ListSource> allDocuments()
{
    DocumentQuery query;
    query.order = ListOrder::Id;
    return std::make_shared<DocumentListSource>(query);
}

// On the indicator: a check box or option stretched by its layout ignores clicks beyond its
// caption.
void clickBox(QAbstractButton *box)
{
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
}

template <typename W> W *child(QWidget &parent, const char *name)
{
    W *w = parent.findChild<W *>(QLatin1String(name));
    if (!w)
        qWarning("no child %s", name);
    return w;
}

// A report window over its own small database in a temporary folder.
struct Fixture
{
    TestFolder folder;
    std::unique_ptr<Database> db = makeDatabase(folder.file(QStringLiteral("Qsk.MDB")));
    std::unique_ptr<frmPrint> form;

    void addMany(int count)
    {
        for (int i = 1; i <= count; ++i)
            addDocument(*db, {i, QStringLiteral("RECORD %1").arg(i)});
    }
    // Opens and shows the window over `source`.
    bool open(std::shared_ptr<const ListSource> source = allDocuments())
    {
        form = std::make_unique<frmPrint>(*db, std::move(source));
        form->setNow([] { return kNow; });
        if (!form->Form_Activate())
            return false;
        form->show();
        return QTest::qWaitForWindowExposed(form.get());
    }
    void click(const char *button) { QTest::mouseClick(child<QPushButton>(*form, button), Qt::LeftButton); }
    QLabel *printed() { return child<QLabel>(*form, "lblPrinted"); }
    QCheckBox *box(int i) { return child<QCheckBox>(*form, qPrintable(QStringLiteral("chkFields_%1").arg(i))); }
    // Prints to a PDF file of the folder, which is returned.
    QString print(const QString &name)
    {
        const QString pdf = folder.file(name);
        frmPrint::setPrinterOutputFile(pdf);
        click("cmdPrint");
        return pdf;
    }
};

// The main window over a database that holds `descriptions` before it starts, shown.
std::unique_ptr<test::MainWindow> startMain(TestFolder &folder, const QStringList &descriptions)
{
    {
        auto file = makeDatabase(folder.file(QStringLiteral("Qsk.MDB")));
        for (int i = 0; i < descriptions.size(); ++i)
            addDocument(*file, {i + 1, descriptions[i]});
    }
    auto main = std::make_unique<test::MainWindow>();
    if (!main->Form_Initialize())
        return nullptr;
    main->show();
    return QTest::qWaitForWindowExposed(main.get()) ? std::move(main) : nullptr;
}

} // namespace

class TestFrmPrint : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty(),
                 "pdftotext (poppler-utils) is needed");
        QVERIFY(QFile::exists(templatePath()));
    }
    void init()
    {
        MessageBox::clearAnswers();
        MessageBox::clearShownTexts();
    }
    void cleanup()
    {
        frmPrint::setPrinterOutputFile({});
        QVERIFY(!QApplication::overrideCursor());
    }

    void columns_data()
    {
        QTest::addColumn<bool>("type");
        QTest::addColumn<bool>("date");
        QTest::addColumn<bool>("who");
        QTest::addColumn<bool>("clickGreyed");
        QTest::newRow("no optional box: ID and Description only") << false << false << false << false;
        QTest::newRow("greyed boxes clicked change nothing") << false << false << false << true;
        QTest::newRow("Type") << true << false << false << false;
        QTest::newRow("Date") << false << true << false << false;
        QTest::newRow("Who") << false << false << true << false;
        QTest::newRow("all, greyed boxes clicked") << true << true << true << true;
    }

    void columns()
    {
        QFETCH(bool, type);
        QFETCH(bool, date);
        QFETCH(bool, who);
        QFETCH(bool, clickGreyed);
        Fixture f;
        const qint16 invoice = addType(*f.db, QStringLiteral("Invoice"));
        addDocument(*f.db, {101, "LEASE OF MILL", invoice, QDate(2021, 3, 4), "SMITHSON"});
        addDocument(*f.db, {102, "ROOF REPAIR"});
        QVERIFY(f.open());
        QCOMPARE(f.box(1)->text(), QStringLiteral("ID"));
        QCOMPARE(f.box(0)->checkState(), Qt::PartiallyChecked);
        QCOMPARE(f.box(1)->checkState(), Qt::PartiallyChecked);
        for (int i = 0; clickGreyed && i < 3; ++i) {
            clickBox(f.box(0));
            clickBox(f.box(1));
        }
        for (int i : {type ? 2 : -1, date ? 3 : -1, who ? 4 : -1})
            if (i > 0)
                clickBox(f.box(i));
        const QString text = pdfText(f.print(QStringLiteral("columns.pdf")));
        QVERIFY(MessageBox::shownTexts().isEmpty());
        for (const char *s : {"Quillstack", "Page: 1", "ID", "Description", "LEASE OF MILL", "ROOF REPAIR"})
            QVERIFY2(text.contains(QLatin1String(s)), s);
        QCOMPARE(printedIds(text), (QList<int>{101, 102}));
        QCOMPARE(text.contains(QStringLiteral("Type")), type);
        QCOMPARE(text.contains(QStringLiteral("Invoice")), type);
        QCOMPARE(text.contains(QStringLiteral("Date")), date);
        QCOMPARE(text.contains(QStringLiteral("3/4/2021")), date);
        QCOMPARE(text.contains(QStringLiteral("Who")), who);
        QCOMPARE(text.contains(QStringLiteral("SMITHSON")), who);
    }

    void emptyResultClosesTheWindow()
    {
        Fixture f;
        f.addMany(2);
        DocumentQuery query;
        query.filterOn = true;
        query.description = QStringLiteral("NOWHERE");
        frmPrint form(*f.db, std::make_shared<DocumentListSource>(query));
        MessageBox::queueAnswer(QMessageBox::Ok);
        QCOMPARE(form.exec(), int(QDialog::Rejected));
        QCOMPARE(MessageBox::shownTexts(), QStringList{QStringLiteral("No information to print.")});
        QVERIFY(!form.isVisible());
    }

    void followsTheListsFilterAndOrder_data()
    {
        QTest::addColumn<QString>("typed"); // empty: no filter
        QTest::addColumn<int>("order");
        QTest::addColumn<QList<int>>("ids");
        QTest::newRow("no filter, highest number first") << QString() << 0 << QList<int>{5, 4, 3, 2, 1};
        QTest::newRow("lease, highest number first") << "lease" << 0 << QList<int>{5, 3, 1};
        QTest::newRow("lease, by description") << "lease" << 1 << QList<int>{3, 1, 5};
        QTest::newRow("barn, lowest number first") << "barn" << 2 << QList<int>{2, 3};
        QTest::newRow("one record: no singular form") << "mill" << 0 << QList<int>{1};
    }

    void followsTheListsFilterAndOrder()
    {
        QFETCH(QString, typed);
        QFETCH(int, order);
        QFETCH(QList<int>, ids);
        TestFolder folder;
        auto main = startMain(folder, {"LEASE OF MILL", "ROOF OF BARN", "LEASE OF BARN",
                                       "GRAIN RECEIPT", "LEASE RENEWAL"});
        QVERIFY(main);
        if (order != 0)
            clickBox(child<QRadioButton>(*main, qPrintable(QStringLiteral("Order_%1").arg(order))));
        if (!typed.isEmpty()) {
            clickBox(child<QCheckBox>(*main, "chkFilterOn"));
            QTest::keyClicks(child<QLineEdit>(*main, "txtFilterDesc"), typed);
        }
        frmPrint form(*main->database(), main->documents()->recordSource(), main.get());
        form.setNow([] { return kNow; });
        MessageBox::queueAnswer(QMessageBox::Ok); // so that an unexpected message cannot block
        QVERIFY2(form.Form_Activate(), qPrintable(MessageBox::shownTexts().join(u'|')));
        QCOMPARE(child<QLabel>(form, "lblRecordCount")->text(),
                 QStringLiteral("%1 documents to print").arg(ids.size()));
        const QString pdf = folder.file(QStringLiteral("list.pdf"));
        frmPrint::setPrinterOutputFile(pdf);
        form.PrintReport(false);
        QCOMPARE(printedIds(pdfText(pdf)), ids);
    }

    void previewThenPrint()
    {
        Fixture f;
        f.addMany(3);
        QVERIFY(f.open());
        auto *preview = child<ReportPreview>(*f.form, "VSP");
        auto *timer = child<QTimer>(*f.form, "tmrPrinted");
        QVERIFY(preview->isHidden());
        QVERIFY(f.printed()->isHidden());
        QVERIFY(timer->isActive()); // started with the window
        f.form->tmrPrinted_Timer();
        QVERIFY(!timer->isActive());

        f.click("cmdPreview");
        QVERIFY(preview->isVisible());
        QCOMPARE(preview->pageCount(), 1);
        QVERIFY(f.printed()->isVisible());
        QVERIFY(timer->isActive());
        QCOMPARE(timer->interval(), 2000);
        f.form->tmrPrinted_Timer();
        QVERIFY(f.printed()->isHidden());

        // The second run goes to the printer; the preview stays as it was.
        const QString pdf = f.print(QStringLiteral("printed.pdf"));
        QCOMPARE(printedIds(pdfText(pdf)), (QList<int>{1, 2, 3}));
        QCOMPARE(pdfPages(pdf), 1);
        QVERIFY(preview->isVisible());
        QCOMPARE(preview->pageCount(), 1);
        QVERIFY(f.printed()->isVisible());

        // And a preview after the print goes to the preview again, not to the printer.
        QFile::remove(pdf);
        f.click("cmdPreview");
        QVERIFY(!QFile::exists(pdf));
        QCOMPARE(preview->pageCount(), 1);
    }

    void progressWindowFollowsThePages()
    {
        Fixture f;
        f.addMany(150);
        QVERIFY(f.open());
        QList<int> pages;
        QStringList lines;
        bool busy = true;
        const QString pdf = f.folder.file(QStringLiteral("long.pdf"));
        connect(f.form.get(), &frmPrint::printingPage, this, [&](int page) {
            pages << page;
            auto *progress = f.form->findChild<PrintProgress *>(QStringLiteral("frmPrinting"));
            QVERIFY(progress && progress->isVisible());
            lines << progress->windowTitle() << progress->pageLine() << progress->documentLine()
                  << progress->deviceLine()
                  << progress->findChild<QPushButton *>(QStringLiteral("cmdCancel"))->text();
            busy = busy && QApplication::overrideCursor() &&
                   QApplication::overrideCursor()->shape() == Qt::WaitCursor;
        });
        f.print(QStringLiteral("long.pdf"));
        const int count = pdfPages(pdf);
        QVERIFY(count > 1);
        QList<int> expected;
        for (int i = 1; i <= count; ++i)
            expected << i;
        QCOMPARE(pages, expected);
        QVERIFY(busy);
        QCOMPARE(lines.mid(0, 5),
                 (QStringList{"Printing...", "Now printing Page 1 of", "Quillstack",
                              QStringLiteral("on the PDF file on %1").arg(QDir::toNativeSeparators(pdf)),
                              "Cancel"}));
        QCOMPARE(lines.at(6), QStringLiteral("Now printing Page 2 of"));
        QVERIFY(!f.form->findChild<PrintProgress *>());
        QCOMPARE(printedIds(pdfText(pdf)).size(), 150);
    }

    void cancelStopsThePrint()
    {
        Fixture f;
        f.addMany(150);
        QVERIFY(f.open());
        QList<int> pages;
        connect(f.form.get(), &frmPrint::printingPage, this, [&](int page) {
            pages << page;
            if (page == 2)
                QTest::mouseClick(f.form->findChild<PrintProgress *>()->findChild<QPushButton *>(
                                      QStringLiteral("cmdCancel")),
                                  Qt::LeftButton);
        });
        const QString pdf = f.print(QStringLiteral("cancelled.pdf"));
        QCOMPARE(pages, (QList<int>{1, 2}));
        QVERIFY(f.printed()->isHidden());
        QVERIFY(MessageBox::shownTexts().isEmpty());
        QCOMPARE(pdfPages(pdf), 2);
        QVERIFY(!printedIds(pdfText(pdf)).contains(150));
    }

    void surfaceErrorsLeaveTheWindowUsable_data()
    {
        QTest::addColumn<bool>("saveAsPdf");
        QTest::addColumn<QString>("expected");
        QTest::newRow("print to a file that cannot be written") << false << "The printer or file could not be opened.";
        QTest::newRow("save as a PDF file that cannot be written") << true << "Cannot write";
    }

    void surfaceErrorsLeaveTheWindowUsable()
    {
        QFETCH(bool, saveAsPdf);
        QFETCH(QString, expected);
        Fixture f;
        f.addMany(3);
        QVERIFY(f.open());
        const QString bad = QStringLiteral("no such folder/report.pdf");
        MessageBox::queueAnswer(QMessageBox::Ok);
        if (saveAsPdf) {
            frmPrint::setNextFileName(f.folder.file(bad));
            f.click("cmdSavePdf");
        } else {
            f.print(bad);
        }
        QCOMPARE(MessageBox::shownTexts().size(), 1);
        QVERIFY2(MessageBox::shownTexts().front().contains(expected),
                 qPrintable(MessageBox::shownTexts().front()));
        QVERIFY(!QApplication::overrideCursor());
        QVERIFY(f.printed()->isHidden());
        QVERIFY(!f.form->findChild<PrintProgress *>());

        // Still usable: a preview goes to the preview, and a good print works.
        f.click("cmdPreview");
        QCOMPARE(f.form->preview()->pageCount(), 1);
        QCOMPARE(printedIds(pdfText(f.print(QStringLiteral("good.pdf")))), (QList<int>{1, 2, 3}));
        QCOMPARE(MessageBox::shownTexts().size(), 1);
    }

    void withoutAPrinterPrintTellsSo()
    {
        if (!QPrinterInfo::availablePrinters().isEmpty())
            QSKIP("this machine has a printer");
        Fixture f;
        f.addMany(1);
        QVERIFY(f.open());
        MessageBox::queueAnswer(QMessageBox::Ok);
        f.click("cmdPrint");
        QCOMPARE(MessageBox::shownTexts(),
                 QStringList{"There is no printer to print to. Choose one with \"Print Setup...\"."});
        QVERIFY(f.printed()->isHidden());
    }

    void saveAsPdf_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("written");
        QTest::newRow("name with suffix") << "report.pdf" << "report.pdf";
        QTest::newRow("suffix added") << "report" << "report.pdf";
        QTest::newRow("dialog cancelled") << QString() << QString();
    }

    void saveAsPdf()
    {
        QFETCH(QString, chosen);
        QFETCH(QString, written);
        Fixture f;
        f.addMany(2);
        const qint16 letter = addType(*f.db, QStringLiteral("Letter"));
        addDocument(*f.db, {3, QStringLiteral("NOTICE"), letter, QDate(2020, 12, 31), "TOWN HALL"});
        QVERIFY(f.open());
        for (int i : {2, 3, 4})
            clickBox(f.box(i));
        frmPrint::setNextFileName(chosen.isEmpty() ? QString() : f.folder.file(chosen));
        f.click("cmdSavePdf");
        QVERIFY(MessageBox::shownTexts().isEmpty());
        QCOMPARE(f.printed()->isVisible(), !written.isEmpty());
        if (written.isEmpty()) {
            QCOMPARE(QDir(f.folder.path()).entryList({QStringLiteral("*.pdf")}), QStringList());
            return;
        }
        const QString text = pdfText(f.folder.file(written));
        QCOMPARE(printedIds(text), (QList<int>{1, 2, 3}));
        for (const char *s : {"Quillstack", "Type", "Date", "Who", "Letter", "12/31/2020", "TOWN HALL"})
            QVERIFY2(text.contains(QLatin1String(s)), s);
    }

    void printSetupShowsThePrinterDialog()
    {
        Fixture f;
        f.addMany(1);
        QVERIFY(f.open());
        QString title;
        std::function<void()> answer = [&] {
            auto *dialog = qobject_cast<QPrintDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return QTimer::singleShot(10, f.form.get(), answer);
            title = dialog->windowTitle();
            dialog->reject();
        };
        QTimer::singleShot(0, f.form.get(), answer);
        f.click("cmdPrintSetup");
        QCOMPARE(title, QStringLiteral("Print Setup"));
        QVERIFY(f.form->isVisible());
    }

    void menuPrint_data()
    {
        QTest::addColumn<int>("records");
        QTest::newRow("empty list: nothing to print") << 0;
        QTest::newRow("two records: the report window opens") << 2;
    }

    void menuPrint()
    {
        QFETCH(int, records);
        TestFolder folder;
        auto main = startMain(folder, QStringList(records, QStringLiteral("RECORD")));
        QVERIFY(main);
        QString count;
        bool done = false;
        std::function<void()> answer = [&] {
            auto *form = qobject_cast<frmPrint *>(QApplication::activeModalWidget());
            if (done)
                return;
            if (!form)
                return QTimer::singleShot(10, main.get(), answer);
            count = form->findChild<QLabel *>(QStringLiteral("lblRecordCount"))->text();
            QTest::mouseClick(form->findChild<QPushButton *>(QStringLiteral("cmdExit")), Qt::LeftButton);
        };
        if (records > 0)
            QTimer::singleShot(0, main.get(), answer);
        else
            MessageBox::queueAnswer(QMessageBox::Ok);
        main->mnuPrint_Click();
        done = true;
        QCOMPARE(MessageBox::shownTexts(),
                 records ? QStringList() : QStringList{QStringLiteral("Nothing to print.")});
        QCOMPARE(count, records ? QStringLiteral("%1 documents to print").arg(records) : QString());
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
