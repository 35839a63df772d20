// Takes the help's pictures from the real windows over a sample office's documents.
// Run by hand after a change to a window, from the build folder:
//   tools/qs_mkhelpshots
// It writes help/images/*.png and docs/main-window.png in the source tree. With
// "--pages FOLDER" it also shows every page of the help and writes it into FOLDER, for
// proofreading.
#include "support/TestSupport.h"

#include "editor/EditorState.h"
#include "editor/frmChange.h"
#include "import/frmConverting.h"
#include "main/HelpWindow.h"
#include "main/frmMain.h"
#include "reports/ReportPreview.h"
#include "reports/frmPrint.h"
#include "store/DataControl.h"
#include "store/Recordset.h"
#include "store/Schema.h"
#include "support/MainWindow.h"
#include "types/frmAddType.h"
#include "types/frmTypes.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include <cstdio>

using namespace qs;
using namespace qs::test;

namespace {

const QDate kToday(2025, 5, 20);
// Wider pictures are scaled down to fit the help window's page.
constexpr int kHelpWidth = 640;

QString sourceDir()
{
    return QStringLiteral(QSK_SOURCE_DIR);
}

void expose(QWidget &w)
{
    if (!QTest::qWaitForWindowExposed(&w))
        std::fprintf(stderr, "%s was not shown\n", qPrintable(w.objectName()));
}

bool save(QWidget &w, const QString &name, bool fullSizeToo = false)
{
    QApplication::processEvents();
    const QImage shot = w.grab().toImage();
    const QImage fitted =
        shot.width() > kHelpWidth ? shot.scaledToWidth(kHelpWidth, Qt::SmoothTransformation) : shot;
    const QString path = QDir(sourceDir()).filePath(QStringLiteral("help/images/") + name);
    bool ok = fitted.save(path);
    if (fullSizeToo)
        ok = shot.save(QDir(sourceDir()).filePath(QStringLiteral("docs/") + name)) && ok;
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

void seed(Database &db)
{
    const qint16 bank = addType(db, QStringLiteral("Bank"));
    const qint16 contract = addType(db, QStringLiteral("Contract"));
    const qint16 insurance = addType(db, QStringLiteral("Insurance"));
    const qint16 invoice = addType(db, QStringLiteral("Invoice"));
    const qint16 tax = addType(db, QStringLiteral("Tax"));
    const qint16 warranty = addType(db, QStringLiteral("Warranty"));
    const QList<Doc> docs = {
        {101, "Home insurance policy 2025", insurance, QDate(2025, 1, 15), "Harbor Mutual",
         "Policy HM-448213. The renewal notice comes in December. Blue folder, drawer 2."},
        {102, "Office lease, suite 4B", contract, QDate(2023, 6, 1), "Cedar Properties",
         "Five-year lease; rent review clause on page 7. The signed original is in the safe."},
        {103, "Laptop purchase receipt", invoice, QDate(2024, 3, 12), "Technology Depot",
         "Serial number 5CG1234XYZ."},
        {104, "2024 tax return", tax, QDate(2025, 4, 10), "Revenue Office",
         "Filed online; the confirmation is stapled to the front page."},
        {105, "Bank statement March", bank, QDate(2025, 3, 31), "First City Bank", ""},
        {106, "Printer warranty card", warranty, QDate(2024, 3, 12), "Technology Depot",
         "Three years, registered online."},
        {107, "Vehicle insurance", insurance, QDate(2025, 2, 1), "Harbor Mutual",
         "Van, plate QK 2041."},
        {108, "Cleaning service agreement", contract, QDate(2024, 9, 1), "Sparkle Cleaners",
         "Notice period one month."},
        {109, "Electricity bill February", invoice, QDate(2025, 2, 20), "Northern Power", ""},
        {110, "Bank statement April", bank, QDate(2025, 4, 30), "First City Bank", ""},
        {111, "Business licence", contract, QVariant(), "City Hall",
         "Framed on the wall in reception; this is the copy."},
        {112, "Property tax assessment", tax, QDate(2024, 11, 5), "County Assessor",
         "Appeal deadline was 12/5/2024."},
    };
    for (const Doc &d : docs)
        addDocument(db, d);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QSK_TEST_BINARY_DIR"))
        qputenv("QSK_TEST_BINARY_DIR", QSK_BINARY_DIR);
    QApplication app(argc, argv);
    QDir(sourceDir()).mkpath(QStringLiteral("help/images"));
    QDir(sourceDir()).mkpath(QStringLiteral("docs"));

    TestFolder folder;
    {
        auto db = makeDatabase(schema::DatabaseFile);
        if (!db) {
            std::fprintf(stderr, "cannot make the sample database\n");
            return 1;
        }
        seed(*db);
    }
    test::MainWindow w;
    w.setToday([] { return kToday; });
    if (!w.Form_Initialize()) {
        std::fprintf(stderr, "the main window did not start\n");
        return 1;
    }
    w.show();
    expose(w);
    // The filter re-runs the list, so its record set is fetched afresh each time.
    // A document with a note, so that the detail panel shows every part.
    w.documents()->recordset()->moveLast();
    w.documents()->recordset()->movePrevious();
    bool ok = save(w, QStringLiteral("main-window.png"), true);

    // The filter: Who contains "HARBOR".
    w.findChild<QCheckBox *>(QStringLiteral("chkFilterOn"))->click();
    auto *who = w.findChild<QLineEdit *>(QStringLiteral("txtFilterWho"));
    who->setFocus();
    QTest::keyClicks(who, QStringLiteral("harbor"));
    ok = save(w, QStringLiteral("filter.png")) && ok;
    w.findChild<QCheckBox *>(QStringLiteral("chkFilterOn"))->click();

    // The editor on a record, and on a new one while completion is offering a description.
    Recordset &list = *w.documents()->recordset();
    list.moveLast();
    {
        gAddMode = false;
        frmChange editor(*w.database(), list, nullptr, nullptr, &w);
        editor.setToday([] { return kToday; });
        if (editor.Form_Load()) {
            editor.show();
            expose(editor);
            ok = save(editor, QStringLiteral("editor.png")) && ok;
        }
    }
    {
        auto descriptions = w.database()->openTable(schema::Documents);
        // Without its index the editor still draws; only completion would be missing.
        (void)descriptions->setIndex(schema::IndexDescription);
        gAddMode = true;
        frmChange editor(*w.database(), list, descriptions.get(), nullptr, &w);
        editor.setToday([] { return kToday; });
        if (editor.Form_Load()) {
            editor.show();
            expose(editor);
            auto *desc = editor.findChild<QLineEdit *>(QStringLiteral("txtDesc"));
            desc->setFocus();
            QTest::keyClicks(desc, QStringLiteral("Bank s"));
            ok = save(editor, QStringLiteral("completion.png")) && ok;
        }
    }

    // Types and the add-type dialog.
    {
        frmTypes types(*w.database(), &w);
        if (types.Form_Load()) {
            types.show();
            expose(types);
            ok = save(types, QStringLiteral("types.png")) && ok;
            frmAddType add(*w.database(), *types.types()->recordset(), &types);
            add.show();
            expose(add);
            QTest::keyClicks(add.findChild<QLineEdit *>(QStringLiteral("txtType")),
                             QStringLiteral("Receipt"));
            ok = save(add, QStringLiteral("addtype.png")) && ok;
        }
    }

    // The report window with Type and Date ticked, before and after a preview.
    {
        frmPrint report(*w.database(), w.documents()->recordSource(), &w);
        report.setNow([] { return QDateTime(kToday, QTime(9, 30)); });
        if (report.Form_Activate()) {
            const auto boxes = report.findChildren<QCheckBox *>();
            for (QCheckBox *box : boxes) {
                if (box->text() == QLatin1String("Type") || box->text() == QLatin1String("Date"))
                    box->setChecked(true);
            }
            report.show();
            expose(report);
            ok = save(report, QStringLiteral("print.png")) && ok;
            report.PrintReport(true);
            // Wide enough to read the lines in the picture.
            report.preview()->setZoom(ReportPreview::Zoom::PageWidth);
            ok = save(report, QStringLiteral("preview.png")) && ok;
        }
    }

    // The please-wait window of the import.
    {
        frmConverting converting(&w);
        converting.setProgress(600, 1400);
        converting.show();
        expose(converting);
        ok = save(converting, QStringLiteral("converting.png")) && ok;
    }
    // The help window itself, at the page on dates.
    {
        HelpWindow help(&w);
        const QString helpFile = QDir(sourceDir()).filePath(QStringLiteral("help/Qsk.Hlp"));
        if (help.load(helpFile)) {
            help.resize(760, 560);
            help.show();
            expose(help);
            help.showTopic(1004);
            ok = save(help, QStringLiteral("help-window.png")) && ok;
            const QStringList args = app.arguments();
            const qsizetype pagesAt = args.indexOf(QStringLiteral("--pages"));
            if (pagesAt > 0 && pagesAt + 1 < args.size()) {
                QDir(args.at(pagesAt + 1)).mkpath(QStringLiteral("."));
                help.resize(900, 1400);
                for (int i = 0; i < help.book()->pageCount(); ++i) {
                    help.showAnchor(help.book()->page(i).anchors.value(0));
                    QApplication::processEvents();
                    help.grab().save(
                        QDir(args.at(pagesAt + 1))
                            .filePath(QStringLiteral("page%1.png").arg(i, 2, 10, QChar(u'0'))));
                }
            }
        } else {
            ok = false;
        }
    }
    return ok ? 0 : 1;
}
