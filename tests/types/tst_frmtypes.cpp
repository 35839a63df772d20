// "Manage Types..." (Ctrl+T) from the main window: the types window and its add-type dialog
// driven through their controls, then the type filter, which follows what was done there.
#include "store/DataControl.h"
#include "store/Recordset.h"
#include "store/modRoutines.h"
#include "support/MainWindow.h"
#include "support/Modal.h"
#include "support/SqliteRows.h"
#include "types/frmAddType.h"
#include "types/frmTypes.h"
#include "widgets/DataGrid.h"
#include "widgets/MessageBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTest>

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

    // Types Memo, "Tax  ", Bank (in use) and Auto by key; the filter on (or off) and a type
    // chosen; in the types window a row clicked, then Add with a name typed and a button
    // pressed, or Delete answered. Then the window's rows, the message, and the filter.
    void manage_data()
    {
        QTest::addColumn<bool>("filterOn");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("clicked");
        QTest::addColumn<QString>("typed"); // none: Delete
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("selected"); // in the filter after closing
        QTest::addColumn<bool>("rerun");
        const QString all = "Auto,Bank,Memo,Tax|";
        const QString no = "Delete type \"%1\"";
        QTest::newRow("added, blanks kept, in name order; the choice kept by key")
            << true << "Tax"
            << "Tax  "
            << "  Legal  " << true << QString() << "  Legal,Auto,Bank,Memo,Tax|  Legal  !"
            << "Tax" << false;
        QTest::newRow("blanks only")
            << true << "ALL"
            << "Tax  "
            << "   " << true << "Must specify a type before pressing \"Ok\"" << all + "Auto!"
            << "ALL" << false;
        QTest::newRow("other letter case")
            << true << "ALL"
            << "Tax  "
            << "mEMO" << true << "Type already defined." << all + "Auto!"
            << "ALL" << false;
        QTest::newRow("Cancel adds nothing, the list is run again")
            << true << "Bank"
            << "Tax  "
            << "Legal" << false << QString() << all + "Auto!"
            << "Bank" << false;
        QTest::newRow("in use") << true << "Bank"
                                << "Bank" << QString() << true
                                << "May not delete this \"document type\".  This \"type\" is in "
                                   "use for a document."
                                << all + "Bank!"
                                << "Bank" << false;
        QTest::newRow("the next becomes current; the choice gone, ALL and re-run")
            << true << "Auto"
            << "Auto" << QString() << true << no.arg("Auto") << "Bank,Memo,Tax|Bank"
            << "ALL" << true;
        QTest::newRow("the last, trailing blanks; the filter off, ALL quietly")
            << false << "Tax"
            << "Tax  " << QString() << true << no.arg("Tax") << "Auto,Bank,Memo|Memo"
            << "ALL" << false;
        QTest::newRow("Cancel deletes nothing")
            << true << "Memo"
            << "Memo" << QString() << false << no.arg("Memo") << all + "Memo"
            << "Memo" << false;
    }
    void manage()
    {
        QFETCH(bool, filterOn);
        QFETCH(QString, chosen);
        QFETCH(QString, clicked);
        QFETCH(QString, typed);
        QFETCH(bool, ok);
        QFETCH(QString, message);
        MainWindowFixture f;
        QVERIFY(f.open([](Database &db) {
            for (const char *name : {"Memo", "Tax  ", "Bank", "Auto"})
                addType(db, name);
            addDocument(db, {1, QStringLiteral("Statement"), 3});
            addDocument(db, {2, QStringLiteral("Letter"), 0});
        }));
        auto *cmbType = f.w().findChild<QComboBox *>(QStringLiteral("cmbType"));
        if (filterOn) { // the box is wider than its caption, so it is ticked from the keyboard
            auto *chkFilterOn = f.w().findChild<QCheckBox *>(QStringLiteral("chkFilterOn"));
            chkFilterOn->setFocus();
            QTest::keyClick(chkFilterOn, Qt::Key_Space);
        }
        cmbType->setCurrentIndex(cmbType->findText(chosen));
        const auto sourceBefore = f.w().documents()->recordSource();
        QString after = "<not opened>";
        answerModal<frmTypes>([&](frmTypes &w) {
            auto *grid = w.findChild<DataGrid *>(QStringLiteral("grdTypes"));
            const auto found =
                grid->model()->match(grid->model()->index(0, 0), Qt::DisplayRole, clicked);
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
        QTEST(after, "shown");
        QCOMPARE(MessageBox::shownTexts(),
                 message.isEmpty() ? QStringList() : QStringList{message});
        QStringList stored{"Memo", "Tax  ", "Bank", "Auto"};
        if (!typed.isNull() && ok && message.isEmpty())
            stored << typed;
        if (typed.isNull() && ok && clicked != "Bank")
            stored.removeOne(clicked);
        QCOMPARE(sqliteRows(f.w().database()->path(), "SELECT Type FROM Types ORDER BY RecordPtr"),
                 stored);

        QStringList entries; // each with the key of its own type
        for (int i = 1; i < cmbType->count(); ++i)
            entries << cmbType->itemText(i) + '=' + cmbType->itemData(i).toString();
        QCOMPARE(entries,
                 sqliteRows(f.w().database()->path(),
                            "SELECT rtrim(Type) || '=' || RecordPtr FROM Types ORDER BY Type"));
        QTEST(cmbType->currentText(), "selected");
        QTEST(f.w().documents()->recordSource() != sourceBefore, "rerun");
    }

    // No key left is refused when adding; with every type gone, Delete asks nothing.
    void fullThenEmpty()
    {
        MainWindowFixture f;
        QVERIFY(f.open([](Database &db) {
            QVERIFY(db.exec({"INSERT INTO Types (Type, RecordPtr) VALUES (?, ?)", {"Tax", 32767}}));
        }));
        answerModal<frmTypes>([&](frmTypes &w) {
            answerMessage();
            typeInDialog("Legal", "cmdOk");
            click(w, "cmdAdd");
            answerMessage();
            click(w, "cmdDelete");
            click(w, "cmdDelete");
            QCOMPARE(shown(w), QStringLiteral("|none!"));
        });
        QTest::keyClick(&f.w(), Qt::Key_T, Qt::ControlModifier);
        QCOMPARE(MessageBox::shownTexts(),
                 (QStringList{"No more types can be added: every type number up to 32767 has "
                              "been used.",
                              "Delete type \"Tax\""}));
    }
};

QTEST_MAIN(TestFrmTypes)
#include "tst_frmtypes.moc"
