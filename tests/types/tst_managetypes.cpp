// "Manage Types..." from the main window, and the type filter afterwards.
#include "store/DataControl.h"
#include "store/modRoutines.h"
#include "support/MainWindow.h"
#include "support/Modal.h"
#include "types/frmAddType.h"
#include "types/frmTypes.h"
#include "widgets/DataGrid.h"
#include "widgets/FillTypeList.h"
#include "widgets/MessageBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace qs;
using namespace qs::test;

namespace {

void click(QWidget &w, const char *name)
{
    QTest::mouseClick(w.findChild<QPushButton *>(QLatin1String(name)), Qt::LeftButton);
}

// Opens the types window with Ctrl+T, adds a type through its dialog or deletes one, then
// leaves with Exit.
bool manageTypes(QWidget &main, const QString &action, const QString &name)
{
    bool seen = false;
    answerModal<frmTypes>([&](frmTypes &w) {
        seen = true;
        if (action == QLatin1String("add")) {
            answerModal<frmAddType>([&](frmAddType &dialog) {
                QTest::keyClicks(dialog.findChild<QLineEdit *>(QStringLiteral("txtType")), name);
                click(dialog, "cmdOk");
            });
            click(w, "cmdAdd");
        } else {
            auto *grid = w.findChild<DataGrid *>(QStringLiteral("grdTypes"));
            const auto found =
                grid->model()->match(grid->model()->index(0, 0), Qt::DisplayRole, name);
            QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                              grid->visualRect(found.value(0)).center());
            answerMessage();
            click(w, "cmdDelete");
        }
        click(w, "cmdExit");
    });
    QTest::keyClick(&main, Qt::Key_T, Qt::ControlModifier);
    return seen;
}

} // namespace

class TestManageTypes : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void choiceAfterClose_data()
    {
        QTest::addColumn<bool>("filterOn");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("selected");
        QTest::addColumn<bool>("rerun");
        QTest::addColumn<int>("listed");
        QTest::newRow("new type, filtered on at once") << true << "Tax"
                                                       << "add"
                                                       << "Legal"
                                                       << "Tax" << false << 2;
        QTest::newRow("kept by key when a type is added before it") << true << "Tax"
                                                                    << "add"
                                                                    << "Aaa"
                                                                    << "Tax" << false << 2;
        QTest::newRow("ALL stays ALL") << true << "ALL"
                                       << "delete"
                                       << "Memo"
                                       << "ALL" << false << 4;
        QTest::newRow("chosen type deleted, filter on: back to ALL and re-run")
            << true << "Memo"
            << "delete"
            << "Memo"
            << "ALL" << true << 4;
        QTest::newRow("chosen type deleted, filter off: back to ALL quietly")
            << false << "Memo"
            << "delete"
            << "Memo"
            << "ALL" << false << 4;
    }
    void choiceAfterClose()
    {
        QFETCH(bool, filterOn);
        QFETCH(QString, chosen);
        QFETCH(QString, action);
        QFETCH(QString, name);
        QFETCH(QString, selected);
        MessageBox::clearShownTexts();
        MainWindowFixture f;
        QVERIFY(f.open([](Database &db) {
            const qint16 autoKey = addType(db, QStringLiteral("Auto"));
            addType(db, QStringLiteral("Memo"));
            const qint16 tax = addType(db, QStringLiteral("Tax"));
            addDocument(db, {1, QStringLiteral("Return 2021"), tax});
            addDocument(db, {2, QStringLiteral("Return 2022"), tax});
            addDocument(db, {3, QStringLiteral("Insurance"), autoKey});
            addDocument(db, {4, QStringLiteral("Letter"), 0});
        }));
        auto *cmbType = f.w().findChild<QComboBox *>(QStringLiteral("cmbType"));
        auto *chkFilterOn = f.w().findChild<QCheckBox *>(QStringLiteral("chkFilterOn"));
        if (filterOn) { // the box is wider than its caption, so it is ticked from the keyboard
            chkFilterOn->setFocus();
            QTest::keyClick(chkFilterOn, Qt::Key_Space);
        }
        cmbType->setCurrentIndex(cmbType->findText(chosen));
        const auto sourceBefore = f.w().documents()->recordSource();

        QVERIFY(manageTypes(f.w(), action, name));
        QCOMPARE(MessageBox::shownTexts().size(), action == QLatin1String("add") ? 0 : 1);
        QStringList entries;
        for (int i = 0; i < cmbType->count(); ++i) {
            entries << cmbType->itemText(i);
            // Every entry carries the key of its own type.
            if (i > 0)
                QCOMPARE(qint16(cmbType->itemData(i).toInt()),
                         fnTypePtr(*f.w().database(), entries.last()));
        }
        QStringList expected{"Auto", "Memo", "Tax"};
        if (action == QLatin1String("add"))
            expected << name;
        else
            expected.removeAll(name);
        expected.sort();
        QCOMPARE(entries, QStringList{"ALL"} + expected);
        QCOMPARE(cmbType->currentText(), selected);
        QCOMPARE(selectedTypeKey(*cmbType), fnTypePtr(*f.w().database(), selected));
        QTEST(f.w().documents()->recordSource() != sourceBefore, "rerun");
        QTEST(f.w().documents()->recordset()->recordCount(), "listed");
        if (name == QLatin1String("Legal")) {
            cmbType->setCurrentIndex(cmbType->findText(name));
            QCOMPARE(f.w().documents()->recordset()->recordCount(), 0);
        }
    }
};

QTEST_MAIN(TestManageTypes)
#include "tst_managetypes.moc"
