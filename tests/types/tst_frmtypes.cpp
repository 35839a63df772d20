// "Manage Types..." (Ctrl+T) from the main window: the types window and its add-type dialog
// driven through their controls, then the type filter, which follows what was done there.
// The rules behind the dialog and the delete test are reached through them.
#include "store/Recordset.h"
#include "support/MainWindow.h"
#include "support/SqliteRows.h"
#include "types/frmAddType.h"
#include "types/frmTypes.h"

using namespace qs;
using namespace qs::test;

namespace {

void click(QWidget &w, const char *name)
{
    QTest::mouseClick(w.findChild<QPushButton *>(QLatin1String(name)), Qt::LeftButton);
}

// The rows the types window shows, "|", the current row's stored name (or none), and "!"
// when the grid's current row or the keyboard is elsewhere.
QString shown(frmTypes &w)
{
    auto *grid = w.findChild<DataGrid *>(QStringLiteral("grdTypes"));
    QStringList names;
    for (int row = 0; row < grid->model()->rowCount(); ++row) {
        const QModelIndex index = grid->model()->index(row, 0);
        auto *delegate = qobject_cast<QStyledItemDelegate *>(grid->itemDelegateForIndex(index));
        names << delegate->displayText(index.data(), QLocale());
    }
    Recordset *rs = w.types()->recordset();
    const bool current = rs->hasCurrent();
    const bool inStep = grid->currentIndex().row() == (current ? rs->absolutePosition() : -1);
    return names.join(',') + '|' + (current ? rs->value("Type").toString() : "none") +
           (inStep && w.focusWidget() == grid ? "" : "!");
}

void typeInDialog(const QString &text, const char *button)
{
    answerModal<frmAddType>([=](frmAddType &dialog) {
        QTest::keyClicks(dialog.findChild<QLineEdit *>(QStringLiteral("txtType")), text);
        click(dialog, button);
    });
}

} // namespace

class TestFrmTypes : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { MessageBox::clearShownTexts(); }

    // Types Memo, "Tax  ", Bank (in use) and Auto (key 32766: one key is left); the filter
    // on or off, a type chosen there and clicked in the types window; then Add with a name
    // typed and Ok or Cancel pressed, or Delete answered Ok or Cancel. Then the message, what
    // the window showed, the filter's choice (re-run or not), and the types stored.
    void manage_data()
    {
        QTest::addColumn<bool>("filterOn");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("typed"); // none: Delete
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("after");
        const auto add = [](const char *name, bool filterOn, const QString &chosen,
                            const QString &typed, bool ok, const QString &message,
                            const QString &after) {
            QTest::newRow(name) << filterOn << chosen << typed << ok << message << after;
        };
        const QString all = "Auto,Bank,Memo,Tax|";
        const QString kept = " Memo=1,Tax  =2,Bank=3,Auto=32766";
        add("added with the last key, blanks kept, in name order; the choice kept by key", true,
            "Tax", "  Memo  ", true, {},
            "  Memo,Auto,Bank,Memo,Tax|  Memo  ! Tax" + kept + ",  Memo  =32767");
        add("blanks only", true, "ALL", "   ", true, "Must specify a type before pressing \"Ok\"",
            all + "Auto! ALL" + kept);
        add("other letter case, blanks as stored", true, "ALL", "tAX  ", true,
            "Type already defined.", all + "Auto! ALL" + kept);
        add("Cancel adds nothing, the list is run again", true, "Bank", "Legal", false, {},
            all + "Auto! Bank" + kept);
        add("in use", true, "Bank", {}, true,
            "May not delete this \"document type\".  This \"type\" is in use for a document.",
            all + "Bank! Bank" + kept);
        add("the next becomes current; the choice gone: ALL, re-run", true, "Auto", {}, true,
            "Delete type \"Auto\"", "Bank,Memo,Tax|Bank ALL re-run Memo=1,Tax  =2,Bank=3");
        add("the last, trailing blanks; the filter off: ALL quietly", false, "Tax", {}, true,
            "Delete type \"Tax\"", "Auto,Bank,Memo|Memo ALL Memo=1,Bank=3,Auto=32766");
    }
    void manage()
    {
        QFETCH(QString, chosen);
        QFETCH(QString, typed);
        QFETCH(bool, ok);
        QFETCH(QString, message);
        MainWindowFixture f;
        QVERIFY(f.open([](Database &db) {
            for (const char *name : {"Memo", "Tax  ", "Bank"})
                addType(db, name);
            QVERIFY(db.exec({"INSERT INTO Types (Type, RecordPtr) VALUES ('Auto', 32766)", {}}));
            addDocument(db, {1, QStringLiteral("Statement"), 3});
            addDocument(db, {2, QStringLiteral("Letter"), 0});
        }));
        auto *cmbType = f.w().findChild<QComboBox *>(QStringLiteral("cmbType"));
        auto *chkFilterOn = f.w().findChild<QCheckBox *>(QStringLiteral("chkFilterOn"));
        chkFilterOn->setFocus(); // the box is wider than its caption: ticked from the keyboard
        QFETCH(bool, filterOn);
        if (filterOn)
            QTest::keyClick(chkFilterOn, Qt::Key_Space);
        cmbType->setCurrentIndex(cmbType->findText(chosen));
        const auto sourceBefore = f.w().documents()->recordSource();
        QString after = "<not opened>";
        answerModal<frmTypes>([&](frmTypes &w) {
            auto *grid = w.findChild<DataGrid *>(QStringLiteral("grdTypes"));
            const auto found =
                grid->model()->match(grid->model()->index(0, 0), Qt::DisplayRole, chosen);
            QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                              grid->visualRect(found.value(0)).center());
            if (typed.isNull() || !message.isEmpty())
                answerMessage(ok ? QMessageBox::Ok : QMessageBox::Cancel);
            if (!typed.isNull())
                typeInDialog(typed, ok ? "cmdOk" : "cmdCancel");
            click(w, typed.isNull() ? "cmdDelete" : "cmdAdd");
            after = shown(w);
            click(w, "cmdExit");
        });
        QTest::keyClick(&f.w(), Qt::Key_T, Qt::ControlModifier);
        const bool rerun = f.w().documents()->recordSource() != sourceBefore;
        const QString db = f.w().database()->path();
        QTEST(after + ' ' + cmbType->currentText() + (rerun ? " re-run " : " ") +
                  sqliteRows(db, "SELECT Type || '=' || RecordPtr FROM Types ORDER BY RecordPtr")
                      .join(','),
              "after");
        QCOMPARE(MessageBox::shownTexts().join(u'|'), message);
    }

    // No key left is refused when adding; with every type gone, Delete asks nothing.
    void fullThenEmpty()
    {
        MainWindowFixture f;
        QVERIFY(f.open([](Database &db) {
            QVERIFY(db.exec({"INSERT INTO Types (Type, RecordPtr) VALUES ('Tax', 32767)", {}}));
        }));
        answerModal<frmTypes>([&](frmTypes &w) {
            answerMessage();
            typeInDialog("Legal", "cmdOk");
            click(w, "cmdAdd");
            answerMessage();
            click(w, "cmdDelete");
            click(w, "cmdDelete"); // nothing left to ask about
            QCOMPARE(shown(w), QStringLiteral("|none!"));
        });
        QTest::keyClick(&f.w(), Qt::Key_T, Qt::ControlModifier);
        const QString full = "No more types can be added: every type number up to 32767 has "
                             "been used.";
        QCOMPARE(MessageBox::shownTexts(), (QStringList{full, "Delete type \"Tax\""}));
    }
};

QTEST_MAIN(TestFrmTypes)
#include "tst_frmtypes.moc"
