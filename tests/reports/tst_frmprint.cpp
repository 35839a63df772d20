#include "main/DocumentQuery.h"
#include "main/frmMain.h"
#include "reports/DocumentReport.h"
#include "reports/PainterSurface.h"
#include "reports/PrintProgress.h"
#include "reports/ReportPreview.h"
#include "reports/frmPrint.h"
#include "store/DataControl.h"
#include "store/MessageBox.h"
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

    std::unique_ptr<frmPrint> window(std::shared_ptr<const ListSource> source = allDocuments())
    {
        auto form = std::make_unique<frmPrint>(*db, std::move(source));
        form->setNow([] { return kNow; });
        return form;
    }

    void addMany(int count)
    {
        for (int i = 1; i <= count; ++i)
            addDocument(*db, {i, QStringLiteral("RECORD %1").arg(i)});
    }
};

} // namespace

class TestFrmPrint : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void columns_data();
    void columns();
    void countLabel_data();
    void countLabel();
    void emptyResultClosesTheWindow();
    void followsTheListsFilterAndOrder_data();
    void followsTheListsFilterAndOrder();
    void previewThenPrint();
    void printedLabelHidesOnTheTimer();
    void progressWindowFollowsThePages();
    void cancelStopsThePrint();
    void surfaceErrorsLeaveTheWindowUsable_data();
    void surfaceErrorsLeaveTheWindowUsable();
    void withoutAPrinterPrintTellsSo();
    void saveAsPdf_data();
    void saveAsPdf();
    void printSetupShowsThePrinterDialog();
    void menuPrint_data();
    void menuPrint();
    void previewZoom_data();
    void previewZoom();
};

void TestFrmPrint::initTestCase()
{
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty(),
             "pdftotext (poppler-utils) is needed");
    QVERIFY(QFile::exists(templatePath()));
}

void TestFrmPrint::init()
{
    MessageBox::clearAnswers();
    MessageBox::clearShownTexts();
}

void TestFrmPrint::cleanup()
{
    frmPrint::setPrinterOutputFile({});
    QVERIFY(!QApplication::overrideCursor());
}

void TestFrmPrint::columns_data()
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

void TestFrmPrint::columns()
{
    QFETCH(bool, type);
    QFETCH(bool, date);
    QFETCH(bool, who);
    QFETCH(bool, clickGreyed);

    Fixture f;
    const qint16 invoice = addType(*f.db, QStringLiteral("Invoice"));
    addDocument(*f.db, {101, QStringLiteral("LEASE OF MILL"), invoice, QDate(2021, 3, 4),
                        QStringLiteral("SMITHSON")});
    addDocument(*f.db, {102, QStringLiteral("ROOF REPAIR"), 0, QVariant(), QString()});
    auto form = f.window();
    QVERIFY(form->Form_Activate());
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));

    const auto box = [&](int i) {
        return child<QCheckBox>(*form, qPrintable(QStringLiteral("chkFields%1").arg(i)));
    };
    QCOMPARE(box(1)->text(), QStringLiteral("ID"));
    QCOMPARE(box(0)->text(), QStringLiteral("Description"));
    QCOMPARE(box(0)->checkState(), Qt::PartiallyChecked);
    QCOMPARE(box(1)->checkState(), Qt::PartiallyChecked);
    if (clickGreyed) {
        for (int i = 0; i < 3; ++i) {
            clickBox(box(0));
            clickBox(box(1));
        }
    }
    if (type)
        clickBox(box(2));
    if (date)
        clickBox(box(3));
    if (who)
        clickBox(box(4));

    const QString pdf = f.folder.file(QStringLiteral("columns.pdf"));
    frmPrint::setPrinterOutputFile(pdf);
    QTest::mouseClick(child<QPushButton>(*form, "cmdPrint"), Qt::LeftButton);
    QVERIFY(MessageBox::shownTexts().isEmpty());
    const QString text = pdfText(pdf);

    QVERIFY(text.contains(QStringLiteral("Quillstack")));
    QVERIFY(text.contains(QStringLiteral("Page: 1")));
    QVERIFY(text.contains(QStringLiteral("ID")));
    QVERIFY(text.contains(QStringLiteral("Description")));
    QVERIFY(text.contains(QStringLiteral("LEASE OF MILL")));
    QVERIFY(text.contains(QStringLiteral("ROOF REPAIR")));
    QCOMPARE(printedIds(text), (QList<int>{101, 102}));
    QCOMPARE(text.contains(QStringLiteral("Type")), type);
    QCOMPARE(text.contains(QStringLiteral("Invoice")), type);
    QCOMPARE(text.contains(QStringLiteral("Date")), date);
    QCOMPARE(text.contains(QStringLiteral("3/4/2021")), date);
    QCOMPARE(text.contains(QStringLiteral("Who")), who);
    QCOMPARE(text.contains(QStringLiteral("SMITHSON")), who);
}

void TestFrmPrint::countLabel_data()
{
    QTest::addColumn<int>("records");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("label");

    QTest::newRow("one record, no singular form") << 1 << QString() << "1 documents to print";
    QTest::newRow("three records") << 3 << QString() << "3 documents to print";
    QTest::newRow("filtered to one of twelve") << 12 << "RECORD 12"
                                               << "1 documents to print";
}

void TestFrmPrint::countLabel()
{
    QFETCH(int, records);
    QFETCH(QString, filter);
    QFETCH(QString, label);

    Fixture f;
    f.addMany(records);
    DocumentQuery query;
    query.filterOn = !filter.isEmpty();
    query.description = filter;
    auto form = f.window(std::make_shared<DocumentListSource>(query));
    QVERIFY(form->Form_Activate());
    QCOMPARE(child<QLabel>(*form, "lblRecordCount")->text(), label);
    QCOMPARE(form->windowTitle(), QStringLiteral("Print"));
}

void TestFrmPrint::emptyResultClosesTheWindow()
{
    Fixture f;
    f.addMany(2);
    DocumentQuery query;
    query.filterOn = true;
    query.description = QStringLiteral("NOWHERE");
    auto form = f.window(std::make_shared<DocumentListSource>(query));
    MessageBox::queueAnswer(QMessageBox::Ok);
    QCOMPARE(form->exec(), int(QDialog::Rejected));
    QCOMPARE(MessageBox::shownTexts(), QStringList{QStringLiteral("No information to print.")});
    QVERIFY(!form->isVisible());
}

void TestFrmPrint::followsTheListsFilterAndOrder_data()
{
    QTest::addColumn<bool>("filterOn");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("order");
    QTest::addColumn<QList<int>>("ids");

    QTest::newRow("no filter, highest number first")
        << false << QString() << 0 << QList<int>{5, 4, 3, 2, 1};
    QTest::newRow("lease, highest number first") << true << "lease" << 0 << QList<int>{5, 3, 1};
    QTest::newRow("lease, by description") << true << "lease" << 1 << QList<int>{3, 1, 5};
    QTest::newRow("barn, lowest number first") << true << "barn" << 2 << QList<int>{2, 3};
}

void TestFrmPrint::followsTheListsFilterAndOrder()
{
    QFETCH(bool, filterOn);
    QFETCH(QString, typed);
    QFETCH(int, order);
    QFETCH(QList<int>, ids);

    TestFolder folder;
    {
        // The documents are there before the program starts, as the user's file would be.
        auto file = makeDatabase(folder.file(QStringLiteral("Qsk.MDB")));
        const QStringList descriptions = {"LEASE OF MILL", "ROOF OF BARN", "LEASE OF BARN",
                                          "GRAIN RECEIPT", "LEASE RENEWAL"};
        for (int i = 0; i < descriptions.size(); ++i)
            QVERIFY(addDocument(*file, {i + 1, descriptions[i]}) > 0);
    }
    frmMain main;
    QVERIFY(main.Form_Initialize());
    Database &db = *main.database();
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));

    if (order != 0)
        clickBox(child<QRadioButton>(main, qPrintable(QStringLiteral("Order%1").arg(order))));
    if (filterOn) {
        clickBox(child<QCheckBox>(main, "chkFilterOn"));
        QTest::keyClicks(child<QLineEdit>(main, "txtFilterDesc"), typed);
    }
    QCOMPARE(main.documents()->recordset()->recordCount(), int(ids.size()));

    frmPrint form(db, main.documents()->recordSource(), &main);
    form.setNow([] { return kNow; });
    MessageBox::queueAnswer(QMessageBox::Ok); // so that an unexpected message cannot block
    QVERIFY2(form.Form_Activate(), qPrintable(MessageBox::shownTexts().join(QLatin1Char('|'))));
    QCOMPARE(child<QLabel>(form, "lblRecordCount")->text(),
             QStringLiteral("%1 documents to print").arg(ids.size()));
    const QString pdf = folder.file(QStringLiteral("list.pdf"));
    frmPrint::setPrinterOutputFile(pdf);
    form.PrintReport(false);
    QCOMPARE(printedIds(pdfText(pdf)), ids);
}

void TestFrmPrint::previewThenPrint()
{
    Fixture f;
    f.addMany(3);
    auto form = f.window();
    QVERIFY(form->Form_Activate());
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    auto *preview = child<ReportPreview>(*form, "VSP");
    auto *printed = child<QLabel>(*form, "lblPrinted");
    QVERIFY(preview->isHidden());
    QVERIFY(printed->isHidden());

    QTest::mouseClick(child<QPushButton>(*form, "cmdPreview"), Qt::LeftButton);
    QVERIFY(preview->isVisible());
    QCOMPARE(preview->pageCount(), 1);
    QVERIFY(printed->isVisible());

    // The second run goes to the printer; the preview stays as it was.
    const QString pdf = f.folder.file(QStringLiteral("printed.pdf"));
    frmPrint::setPrinterOutputFile(pdf);
    QTest::mouseClick(child<QPushButton>(*form, "cmdPrint"), Qt::LeftButton);
    QVERIFY(QFile::exists(pdf));
    QCOMPARE(printedIds(pdfText(pdf)), (QList<int>{1, 2, 3}));
    QCOMPARE(pdfPages(pdf), 1);
    QVERIFY(preview->isVisible());
    QCOMPARE(preview->pageCount(), 1);
    QVERIFY(printed->isVisible());

    // And a preview after the print goes to the preview again, not to the printer.
    QFile::remove(pdf);
    QTest::mouseClick(child<QPushButton>(*form, "cmdPreview"), Qt::LeftButton);
    QVERIFY(!QFile::exists(pdf));
    QCOMPARE(preview->pageCount(), 1);
}

void TestFrmPrint::printedLabelHidesOnTheTimer()
{
    Fixture f;
    f.addMany(1);
    auto form = f.window();
    QVERIFY(form->Form_Activate());
    auto *timer = child<QTimer>(*form, "tmrPrinted");
    auto *printed = child<QLabel>(*form, "lblPrinted");
    QCOMPARE(timer->interval(), 2000);
    QVERIFY(timer->isActive()); // started with the window
    QCOMPARE(printed->text(), QStringLiteral("Printed"));

    form->tmrPrinted_Timer();
    QVERIFY(!timer->isActive());
    form->PrintReport(true);
    QVERIFY(!printed->isHidden());
    QVERIFY(timer->isActive());
    form->tmrPrinted_Timer();
    QVERIFY(printed->isHidden());
    QVERIFY(!timer->isActive());
}

void TestFrmPrint::progressWindowFollowsThePages()
{
    Fixture f;
    f.addMany(150);
    auto form = f.window();
    QVERIFY(form->Form_Activate());
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    const QString pdf = f.folder.file(QStringLiteral("long.pdf"));
    frmPrint::setPrinterOutputFile(pdf);

    QList<int> pages;
    QStringList lines;
    bool busy = true;
    connect(form.get(), &frmPrint::printingPage, this, [&](int page) {
        pages << page;
        auto *progress = form->findChild<PrintProgress *>(QStringLiteral("frmPrinting"));
        QVERIFY(progress);
        QVERIFY(progress->isVisible());
        lines << progress->windowTitle() << progress->pageLine() << progress->documentLine()
              << progress->deviceLine()
              << progress->findChild<QPushButton *>(QStringLiteral("cmdCancel"))->text();
        busy = busy && QApplication::overrideCursor() &&
               QApplication::overrideCursor()->shape() == Qt::WaitCursor;
    });
    QTest::mouseClick(child<QPushButton>(*form, "cmdPrint"), Qt::LeftButton);

    const int count = pdfPages(pdf);
    QVERIFY(count > 1);
    QList<int> expected;
    for (int i = 1; i <= count; ++i)
        expected << i;
    QCOMPARE(pages, expected);
    QVERIFY(busy);
    QCOMPARE(
        lines.mid(0, 5),
        (QStringList{"Printing...", "Now printing Page 1 of", "Quillstack",
                     QStringLiteral("on the PDF file on %1").arg(QDir::toNativeSeparators(pdf)),
                     "Cancel"}));
    QCOMPARE(lines.at(5 + 1), QStringLiteral("Now printing Page 2 of"));
    QVERIFY(!form->findChild<PrintProgress *>());
    QCOMPARE(printedIds(pdfText(pdf)).size(), 150);
}

void TestFrmPrint::cancelStopsThePrint()
{
    Fixture f;
    f.addMany(150);
    auto form = f.window();
    QVERIFY(form->Form_Activate());
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    const QString pdf = f.folder.file(QStringLiteral("cancelled.pdf"));
    frmPrint::setPrinterOutputFile(pdf);
    QList<int> pages;
    connect(form.get(), &frmPrint::printingPage, this, [&](int page) {
        pages << page;
        if (page == 2) {
            auto *progress = form->findChild<PrintProgress *>();
            QTest::mouseClick(progress->findChild<QPushButton *>(QStringLiteral("cmdCancel")),
                              Qt::LeftButton);
        }
    });
    QTest::mouseClick(child<QPushButton>(*form, "cmdPrint"), Qt::LeftButton);
    QCOMPARE(pages, (QList<int>{1, 2}));
    QVERIFY(child<QLabel>(*form, "lblPrinted")->isHidden());
    QVERIFY(MessageBox::shownTexts().isEmpty());
    QCOMPARE(pdfPages(pdf), 2);
    QVERIFY(!printedIds(pdfText(pdf)).contains(150));
}

void TestFrmPrint::surfaceErrorsLeaveTheWindowUsable_data()
{
    QTest::addColumn<bool>("saveAsPdf");
    QTest::addColumn<QString>("expected");

    QTest::newRow("print to a file that cannot be written")
        << false << "The printer or file could not be opened.";
    QTest::newRow("save as a PDF file that cannot be written") << true << "Cannot write";
}

void TestFrmPrint::surfaceErrorsLeaveTheWindowUsable()
{
    QFETCH(bool, saveAsPdf);
    QFETCH(QString, expected);

    Fixture f;
    f.addMany(3);
    auto form = f.window();
    QVERIFY(form->Form_Activate());
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    const QString bad = f.folder.file(QStringLiteral("no such folder/report.pdf"));
    MessageBox::queueAnswer(QMessageBox::Ok);
    if (saveAsPdf) {
        frmPrint::setNextFileName(bad);
        QTest::mouseClick(child<QPushButton>(*form, "cmdSavePdf"), Qt::LeftButton);
    } else {
        frmPrint::setPrinterOutputFile(bad);
        QTest::mouseClick(child<QPushButton>(*form, "cmdPrint"), Qt::LeftButton);
    }
    QCOMPARE(MessageBox::shownTexts().size(), 1);
    QVERIFY2(MessageBox::shownTexts().front().contains(expected),
             qPrintable(MessageBox::shownTexts().front()));
    QVERIFY(!QApplication::overrideCursor());
    QVERIFY(child<QLabel>(*form, "lblPrinted")->isHidden());
    QVERIFY(!form->findChild<PrintProgress *>());

    // Still usable: a preview goes to the preview, and a good print works.
    QTest::mouseClick(child<QPushButton>(*form, "cmdPreview"), Qt::LeftButton);
    QCOMPARE(form->preview()->pageCount(), 1);
    const QString good = f.folder.file(QStringLiteral("good.pdf"));
    frmPrint::setPrinterOutputFile(good);
    QTest::mouseClick(child<QPushButton>(*form, "cmdPrint"), Qt::LeftButton);
    QCOMPARE(printedIds(pdfText(good)), (QList<int>{1, 2, 3}));
    QCOMPARE(MessageBox::shownTexts().size(), 1);
}

void TestFrmPrint::withoutAPrinterPrintTellsSo()
{
    if (!QPrinterInfo::availablePrinters().isEmpty())
        QSKIP("this machine has a printer");
    Fixture f;
    f.addMany(1);
    auto form = f.window();
    QVERIFY(form->Form_Activate());
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    MessageBox::queueAnswer(QMessageBox::Ok);
    QTest::mouseClick(child<QPushButton>(*form, "cmdPrint"), Qt::LeftButton);
    QCOMPARE(MessageBox::shownTexts(),
             QStringList{"There is no printer to print to. Choose one with \"Print Setup...\"."});
    QVERIFY(child<QLabel>(*form, "lblPrinted")->isHidden());
}

void TestFrmPrint::saveAsPdf_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("written");

    QTest::newRow("name with suffix") << "report.pdf"
                                      << "report.pdf";
    QTest::newRow("suffix added") << "report"
                                  << "report.pdf";
    QTest::newRow("dialog cancelled") << QString() << QString();
}

void TestFrmPrint::saveAsPdf()
{
    QFETCH(QString, chosen);
    QFETCH(QString, written);

    Fixture f;
    f.addMany(2);
    const qint16 letter = addType(*f.db, QStringLiteral("Letter"));
    addDocument(*f.db, {3, QStringLiteral("NOTICE"), letter, QDate(2020, 12, 31), "TOWN HALL"});
    auto form = f.window();
    QVERIFY(form->Form_Activate());
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    for (int i : {2, 3, 4})
        clickBox(child<QCheckBox>(*form, qPrintable(QStringLiteral("chkFields%1").arg(i))));
    frmPrint::setNextFileName(chosen.isEmpty() ? QString() : f.folder.file(chosen));
    QTest::mouseClick(child<QPushButton>(*form, "cmdSavePdf"), Qt::LeftButton);

    QVERIFY(MessageBox::shownTexts().isEmpty());
    QCOMPARE(child<QLabel>(*form, "lblPrinted")->isVisible(), !written.isEmpty());
    if (written.isEmpty()) {
        QCOMPARE(QDir(f.folder.path()).entryList({QStringLiteral("*.pdf")}), QStringList());
        return;
    }
    const QString text = pdfText(f.folder.file(written));
    QCOMPARE(printedIds(text), (QList<int>{1, 2, 3}));
    for (const char *s : {"Quillstack", "Type", "Date", "Who", "Letter", "12/31/2020", "TOWN HALL"})
        QVERIFY2(text.contains(QLatin1String(s)), s);
}

void TestFrmPrint::printSetupShowsThePrinterDialog()
{
    Fixture f;
    f.addMany(1);
    auto form = f.window();
    QVERIFY(form->Form_Activate());
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    QString title;
    QString okText;
    bool seen = false;
    std::function<void()> answer = [&] {
        auto *dialog = qobject_cast<QPrintDialog *>(QApplication::activeModalWidget());
        if (!dialog) {
            QTimer::singleShot(10, form.get(), answer);
            return;
        }
        seen = true;
        title = dialog->windowTitle();
        if (auto *box = dialog->findChild<QDialogButtonBox *>())
            okText = box->button(QDialogButtonBox::Ok)->text();
        dialog->reject();
    };
    QTimer::singleShot(0, form.get(), answer);
    QTest::mouseClick(child<QPushButton>(*form, "cmdPrintSetup"), Qt::LeftButton);
    QVERIFY(seen);
    QCOMPARE(title, QStringLiteral("Print Setup"));
    QCOMPARE(okText, QStringLiteral("OK"));
    QVERIFY(form->isVisible());
}

void TestFrmPrint::menuPrint_data()
{
    QTest::addColumn<int>("records");
    QTest::newRow("empty list: nothing to print") << 0;
    QTest::newRow("two records: the report window opens") << 2;
}

void TestFrmPrint::menuPrint()
{
    QFETCH(int, records);

    TestFolder folder;
    {
        auto file = makeDatabase(folder.file(QStringLiteral("Qsk.MDB")));
        for (int i = 1; i <= records; ++i)
            QVERIFY(addDocument(*file, {i, QStringLiteral("RECORD %1").arg(i)}) > 0);
    }
    frmMain main;
    QVERIFY(main.Form_Initialize());
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));

    QString caption;
    QString count;
    bool done = false;
    std::function<void()> answer = [&] {
        if (done)
            return;
        auto *form = qobject_cast<frmPrint *>(QApplication::activeModalWidget());
        if (!form) {
            QTimer::singleShot(10, &main, answer);
            return;
        }
        caption = form->windowTitle();
        count = form->findChild<QLabel *>(QStringLiteral("lblRecordCount"))->text();
        QTest::mouseClick(form->findChild<QPushButton *>(QStringLiteral("cmdExit")),
                          Qt::LeftButton);
    };
    if (records > 0)
        QTimer::singleShot(0, &main, answer);
    else
        MessageBox::queueAnswer(QMessageBox::Ok);
    main.mnuPrint_Click();
    done = true;

    if (records == 0) {
        QCOMPARE(MessageBox::shownTexts(), QStringList{QStringLiteral("Nothing to print.")});
    } else {
        QVERIFY(MessageBox::shownTexts().isEmpty());
        QCOMPARE(caption, QStringLiteral("Print"));
        QCOMPARE(count, QStringLiteral("%1 documents to print").arg(records));
    }
}

void TestFrmPrint::previewZoom_data()
{
    QTest::addColumn<int>("zoom");
    QTest::addColumn<QString>("caption");

    QTest::newRow("whole page") << int(ReportPreview::Zoom::WholePage) << "Whole &Page";
    QTest::newRow("page width") << int(ReportPreview::Zoom::PageWidth) << "Page &Width";
    QTest::newRow("two pages") << int(ReportPreview::Zoom::TwoPages) << "&Two Pages";
    QTest::newRow("thumbnail") << int(ReportPreview::Zoom::Thumbnail) << "Thumb&nail";
}

void TestFrmPrint::previewZoom()
{
    QFETCH(int, zoom);
    QFETCH(QString, caption);

    // Five pages of a real preview run.
    PainterSurface surface;
    int produced = 0;
    PrintDocumentReport(surface, {}, QStringLiteral("stamp"), [&](ReportRow &row) {
        if (produced >= 250)
            return false;
        row.id = ++produced;
        row.description = QStringLiteral("RECORD %1").arg(produced);
        return true;
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
    QCOMPARE(button->text(), caption);
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
    QVERIFY(!image.isNull());
    int dark = 0;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2)
            dark += qGray(image.pixel(x, y)) < 128;
    QVERIFY(dark > 100);
}

QTEST_MAIN(TestFrmPrint)
#include "tst_frmprint.moc"
