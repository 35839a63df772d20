// Draws the report window with a previewed sample report into a PNG, for the README:
//   QT_QPA_PLATFORM=offscreen QSK_TEST_BINARY_DIR=<build dir> mkreportpreview
//   docs/report-preview.png
#include "main/DocumentQuery.h"
#include "reports/ReportPreview.h"
#include "reports/frmPrint.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QTextStream>

using namespace qs;

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 2) {
        QTextStream(stderr) << "usage: mkreportpreview OUTPUT.png\n";
        return 2;
    }
    const QString output = QFileInfo(args.at(1)).absoluteFilePath();

    test::TestFolder folder;
    auto db = test::makeDatabase(folder.file(QStringLiteral("Qsk.MDB")));
    if (!db) {
        QTextStream(stderr) << "cannot make the sample database (is QSK_TEST_BINARY_DIR set?)\n";
        return 1;
    }
    const qint16 invoice = test::addType(*db, QStringLiteral("Invoice"));
    const qint16 deed = test::addType(*db, QStringLiteral("Deed"));
    const qint16 letter = test::addType(*db, QStringLiteral("Letter"));
    const qint16 policy = test::addType(*db, QStringLiteral("Policy"));
    const struct
    {
        const char *description;
        qint16 type;
        const char *who;
    } samples[] = {
        {"LEASE OF THE NORTH FIELD", deed, "HARROW FARMS"},
        {"ROOF REPAIR ESTIMATE", invoice, "SLATE & SONS"},
        {"HOME INSURANCE RENEWAL", policy, "MUTUAL ASSURANCE"},
        {"WATER RATES 2ND HALF", invoice, "RIVER WATER CO"},
        {"LETTER ABOUT BOUNDARY FENCE", letter, "J. MARLOW"},
        {"CAR INSURANCE", policy, "MUTUAL ASSURANCE"},
        {"DEED OF THE MILL HOUSE", deed, "COUNTY REGISTRY"},
        {"BOILER SERVICE", invoice, "WARMTH HEATING"},
        {"TAX ASSESSMENT NOTICE", letter, "TOWN HALL"},
        {"GRAIN SALE RECEIPT", invoice, "HARROW FARMS"},
    };
    const QDate first(2019, 2, 11);
    for (int i = 0; i < 60; ++i) {
        const auto &s = samples[i % 10];
        test::addDocument(*db, {1001 + i, QString::fromLatin1(s.description), s.type,
                                first.addDays(i * 23), QString::fromLatin1(s.who)});
    }

    DocumentQuery query; // highest number first, as the list starts
    frmPrint form(*db, std::make_shared<DocumentListSource>(query));
    form.setNow([] { return QDateTime(QDate(2026, 3, 14), QTime(10, 45)); });
    if (!form.Form_Activate())
        return 1;
    for (const char *name : {"chkFields_2", "chkFields_3", "chkFields_4"})
        form.findChild<QCheckBox *>(QLatin1String(name))->setChecked(true);
    form.resize(1100, 820);
    form.show();
    form.PrintReport(true);
    form.preview()->setZoom(ReportPreview::Zoom::PageWidth);
    app.processEvents();
    if (!form.grab().save(output)) {
        QTextStream(stderr) << "cannot write " << output << "\n";
        return 1;
    }
    QTextStream(stdout) << output << "\n";
    return 0;
}
