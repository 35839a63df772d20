// "Manage Types..." from the main window, and the type filter afterwards.
#include "ModalDriver.h"
#include "support/TestSupport.h"
#include "types/frmAddType.h"
#include "types/frmTypes.h"

#include "main/frmMain.h"
#include "support/MainWindow.h"
#include "store/DataControl.h"
#include "widgets/DataGrid.h"
#include "widgets/FillTypeList.h"
#include "widgets/MessageBox.h"
#include "store/modRoutines.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace qs;
using namespace qs::test;

namespace {

QPushButton *button(QWidget &w, const char *name)
{
    return w.findChild<QPushButton *>(QLatin1String(name));
}

QStringList entries(const QComboBox &list)
{
    QStringList names;
    for (int i = 0; i < list.count(); ++i)
        names << list.itemText(i);
    return names;
}

void clickTypeRow(frmTypes &w, const QString &name)
{
    auto *grid = w.findChild<DataGrid *>(QStringLiteral("grdTypes"));
    for (int row = 0; row < grid->model()->rowCount(); ++row) {
        const QModelIndex index = grid->model()->index(row, 0);
        if (index.data().toString() == name)
            QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                              grid->visualRect(index).center());
    }
}

// In the types window: add a type through its dialog, or delete one, then Exit.
void changeTypes(frmTypes &w, const QString &action, const QString &name)
{
    if (action == QLatin1String("add")) {
        whenModal<frmAddType>([&](frmAddType &dialog) {
            QTest::keyClicks(dialog.findChild<QLineEdit *>(QStringLiteral("txtType")), name);
            QTest::mouseClick(button(dialog, "cmdOk"), Qt::LeftButton);
        });
        QTest::mouseClick(button(w, "cmdAdd"), Qt::LeftButton);
    } else {
        clickTypeRow(w, name);
        MessageBox::queueAnswer(QMessageBox::Ok);
        QTest::mouseClick(button(w, "cmdDelete"), Qt::LeftButton);
    }
    QTest::mouseClick(button(w, "cmdExit"), Qt::LeftButton);
}

class MainWindowFixture
{
public:
    MainWindowFixture()
    {
        auto db = makeDatabase(folder.file(QStringLiteral("Qsk.MDB")));
        if (!db)
            return;
        const qint16 autoKey = addType(*db, QStringLiteral("Auto"));
        addType(*db, QStringLiteral("Memo"));
        const qint16 tax = addType(*db, QStringLiteral("Tax"));
        addDocument(*db, {1, QStringLiteral("Return 2021"), tax});
        addDocument(*db, {2, QStringLiteral("Return 2022"), tax});
        addDocument(*db, {3, QStringLiteral("Insurance"), autoKey});
        addDocument(*db, {4, QStringLiteral("Letter"), 0});
        db.reset();
        ready = window.Form_Initialize().ok();
        cmbType = window.findChild<QComboBox *>(QStringLiteral("cmbType"));
        chkFilterOn = window.findChild<QCheckBox *>(QStringLiteral("chkFilterOn"));
    }

    // Opens the types window with Ctrl+T and lets `inside` work in it.
    bool manageTypes(const QString &action, const QString &name)
    {
        bool seen = false;
        whenModal<frmTypes>([&](frmTypes &w) { changeTypes(w, action, name); }, &seen);
        QTest::keyClick(&window, Qt::Key_T, Qt::ControlModifier);
        return seen;
    }

    // The box is wider than its caption, so it is ticked from the keyboard.
    void tickFilter()
    {
        chkFilterOn->setFocus();
        QTest::keyClick(chkFilterOn, Qt::Key_Space);
    }

    int listed() { return window.documents()->recordset()->recordCount(); }

    TestFolder folder;
    test::MainWindow window;
    bool ready = false;
    QComboBox *cmbType = nullptr;
    QCheckBox *chkFilterOn = nullptr;
};

} // namespace

class TestManageTypes : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void newTypeReachesTheFilter();
    void choiceAfterClose_data();
    void choiceAfterClose();
};

void TestManageTypes::init()
{
    MessageBox::clearAnswers();
    MessageBox::clearShownTexts();
}

void TestManageTypes::newTypeReachesTheFilter()
{
    MainWindowFixture f;
    QVERIFY(f.ready);
    f.window.show();
    QVERIFY(QTest::qWaitForWindowActive(&f.window));
    QCOMPARE(entries(*f.cmbType), (QStringList{"ALL", "Auto", "Memo", "Tax"}));

    QVERIFY(f.manageTypes(QStringLiteral("add"), QStringLiteral("Legal")));

    QCOMPARE(MessageBox::shownTexts(), QStringList{});
    QCOMPARE(entries(*f.cmbType), (QStringList{"ALL", "Auto", "Legal", "Memo", "Tax"}));
    // Every entry carries the key of its own type.
    for (int i = 1; i < f.cmbType->count(); ++i)
        QCOMPARE(qint16(f.cmbType->itemData(i).toInt()),
                 fnTypePtr(*f.window.database(), f.cmbType->itemText(i)));

    // The new type can be filtered on at once.
    f.tickFilter();
    f.cmbType->setCurrentIndex(f.cmbType->findText(QStringLiteral("Legal")));

    QCOMPARE(f.listed(), 0);
    f.cmbType->setCurrentIndex(f.cmbType->findText(QStringLiteral("Tax")));
    QCOMPARE(f.listed(), 2);
}

void TestManageTypes::choiceAfterClose_data()
{
    QTest::addColumn<bool>("filterOn");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("selected");
    QTest::addColumn<bool>("rerun");
    QTest::addColumn<int>("listed");

    QTest::newRow("kept by key when a type is added before it") << true << "Tax"
                                                                << "add"
                                                                << "Aaa"
                                                                << "Tax" << false << 2;
    QTest::newRow("kept when another type is deleted") << true << "Tax"
                                                       << "delete"
                                                       << "Memo"
                                                       << "Tax" << false << 2;
    QTest::newRow("ALL stays ALL") << true << "ALL"
                                   << "delete"
                                   << "Memo"
                                   << "ALL" << false << 4;
    QTest::newRow("chosen type deleted, filter on: back to ALL and re-run") << true << "Memo"
                                                                            << "delete"
                                                                            << "Memo"
                                                                            << "ALL" << true << 4;
    QTest::newRow("chosen type deleted, filter off: back to ALL quietly") << false << "Memo"
                                                                          << "delete"
                                                                          << "Memo"
                                                                          << "ALL" << false << 4;
}

void TestManageTypes::choiceAfterClose()
{
    QFETCH(bool, filterOn);
    QFETCH(QString, chosen);
    QFETCH(QString, action);
    QFETCH(QString, name);
    QFETCH(QString, selected);
    QFETCH(bool, rerun);
    QFETCH(int, listed);

    MainWindowFixture f;
    QVERIFY(f.ready);
    f.window.show();
    QVERIFY(QTest::qWaitForWindowActive(&f.window));
    if (filterOn)
        f.tickFilter();
    f.cmbType->setCurrentIndex(f.cmbType->findText(chosen));
    QCOMPARE(f.cmbType->currentText(), chosen);
    const auto sourceBefore = f.window.documents()->recordSource();

    QVERIFY(f.manageTypes(action, name));

    QCOMPARE(f.cmbType->currentText(), selected);
    QCOMPARE(selectedTypeKey(*f.cmbType), fnTypePtr(*f.window.database(), selected));
    QCOMPARE(f.window.documents()->recordSource() != sourceBefore, rerun);
    QCOMPARE(f.listed(), listed);
}

QTEST_MAIN(TestManageTypes)
#include "tst_managetypes.moc"
