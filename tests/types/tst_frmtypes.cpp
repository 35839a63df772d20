// The types window and the add-type dialog, driven through their controls
// against a database file in a temporary folder.
#include "ModalDriver.h"
#include "support/TestSupport.h"
#include "types/TypeRules.h"
#include "types/frmAddType.h"
#include "types/frmTypes.h"

#include "store/DataControl.h"
#include "widgets/DataGrid.h"
#include "widgets/MessageBox.h"
#include "store/Recordset.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyledItemDelegate>
#include <QTest>

using namespace qs;
using namespace qs::test;

namespace {

const QString kNone = QStringLiteral("<no current row>");

struct Fixture
{
    TestFolder folder;
    std::unique_ptr<Database> db = makeDatabase(folder.file(QStringLiteral("Qsk.MDB")));
    std::unique_ptr<frmTypes> w;

    // Adds `types`, then opens the window and waits until it is active.
    bool open(const QStringList &types)
    {
        for (const QString &t : types)
            addType(*db, t);
        w = std::make_unique<frmTypes>(*db);
        if (!w->Form_Load())
            return false;
        w->show();
        return QTest::qWaitForWindowActive(w.get());
    }
};

QStringList storedNames(Database &db)
{
    QStringList names;
    auto rows = db.query({QStringLiteral("SELECT Type FROM Types ORDER BY RecordPtr"), {}});
    if (rows)
        for (const Row &r : *rows)
            names << r.values.value(0).toString();
    return names;
}

DataGrid *grid(frmTypes &w)
{
    return w.findChild<DataGrid *>(QStringLiteral("grdTypes"));
}

QPushButton *button(QWidget &w, const char *name)
{
    return w.findChild<QPushButton *>(QLatin1String(name));
}

// What the grid shows, row by row.
QStringList listed(frmTypes &w)
{
    DataGrid *g = grid(w);
    QStringList names;
    for (int row = 0; row < g->model()->rowCount(); ++row) {
        const QModelIndex index = g->model()->index(row, 0);
        auto *delegate = qobject_cast<QStyledItemDelegate *>(g->itemDelegateForIndex(index));
        names << delegate->displayText(index.data(), QLocale());
    }
    return names;
}

QString currentName(frmTypes &w)
{
    Recordset *rs = w.types()->recordset();
    return rs && rs->hasCurrent() ? rs->value(QStringLiteral("Type")).toString() : kNone;
}

bool clickRow(frmTypes &w, const QString &name)
{
    DataGrid *g = grid(w);
    for (int row = 0; row < g->model()->rowCount(); ++row) {
        const QModelIndex index = g->model()->index(row, 0);
        if (index.data().toString() == name) {
            QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, g->visualRect(index).center());
            return true;
        }
    }
    return false;
}

// Opens the add-type dialog with the Add button, types `text` and presses Ok
// (or Cancel). Reports whether the dialog was still open after the press.
struct DialogOutcome
{
    bool opened = false;
    bool stillOpen = false;
    QString textLeft;
};

DialogOutcome addThroughDialog(frmTypes &w, const QString &text, bool pressOk)
{
    DialogOutcome outcome;
    whenModal<frmAddType>(
        [&](frmAddType &dialog) {
            auto *txtType = dialog.findChild<QLineEdit *>(QStringLiteral("txtType"));
            QTest::keyClicks(txtType, text);
            QTest::mouseClick(button(dialog, pressOk ? "cmdOk" : "cmdCancel"), Qt::LeftButton);
            outcome.stillOpen = dialog.isVisible();
            outcome.textLeft = txtType->text();
        },
        &outcome.opened);
    QTest::mouseClick(button(w, "cmdAdd"), Qt::LeftButton);
    return outcome;
}

} // namespace

class TestFrmTypes : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void controls();
    void deleteInUse_data();
    void deleteInUse();
    void deleteUnused_data();
    void deleteUnused();
    void deleteWithoutCurrentRow();
    void addThroughTheDialog_data();
    void addThroughTheDialog();
    void cancelAddsNothing();
    void noKeyLeft();
};

void TestFrmTypes::init()
{
    MessageBox::clearAnswers();
    MessageBox::clearShownTexts();
}

void TestFrmTypes::cleanup()
{
    MessageBox::clearAnswers();
}

void TestFrmTypes::controls()
{
    Fixture f;
    QVERIFY(f.db);
    addType(*f.db, QStringLiteral("Tax  "));
    addType(*f.db, QStringLiteral("bank"));
    addType(*f.db, QStringLiteral("Auto"));
    frmTypes w(*f.db);
    QVERIFY(w.Form_Load());

    // Name order ignores letter case; trailing blanks are not shown.
    QCOMPARE(listed(w), (QStringList{"Auto", "bank", "Tax"}));
    QCOMPARE(currentName(w), QStringLiteral("Auto"));
}

void TestFrmTypes::deleteInUse_data()
{
    QTest::addColumn<int>("documents");
    QTest::newRow("one document") << 1;
    QTest::newRow("many documents") << 40;
}

void TestFrmTypes::deleteInUse()
{
    QFETCH(int, documents);
    Fixture f;
    QVERIFY(f.db);
    addType(*f.db, QStringLiteral("Auto"));
    const qint16 bank = addType(*f.db, QStringLiteral("Bank"));
    addType(*f.db, QStringLiteral("Tax"));
    for (int i = 1; i <= documents; ++i)
        QVERIFY(addDocument(*f.db, {i, QStringLiteral("Statement"), bank}) > 0);

    frmTypes w(*f.db);
    QVERIFY(w.Form_Load());
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QVERIFY(clickRow(w, QStringLiteral("Bank")));
    QCOMPARE(currentName(w), QStringLiteral("Bank"));

    MessageBox::queueAnswer(QMessageBox::Ok);
    QTest::mouseClick(button(w, "cmdDelete"), Qt::LeftButton);

    QCOMPARE(MessageBox::shownTexts(),
             QStringList{QStringLiteral("May not delete this \"document type\".  This \"type\" "
                                        "is in use for a document.")});
    QCOMPARE(storedNames(*f.db), (QStringList{"Auto", "Bank", "Tax"}));
    QCOMPARE(listed(w), (QStringList{"Auto", "Bank", "Tax"}));
    QCOMPARE(currentName(w), QStringLiteral("Bank"));
    QCOMPARE(grid(w)->currentIndex().row(), 1);
}

void TestFrmTypes::deleteUnused_data()
{
    QTest::addColumn<QStringList>("types");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<QString>("question");
    QTest::addColumn<QStringList>("remaining");
    QTest::addColumn<QString>("current");

    const QStringList abc{"Auto", "Bank", "Tax"};
    const auto row = [](const char *name, const QStringList &types, const QString &chosen, bool ok,
                        const QStringList &remaining, const QString &current) {
        QTest::newRow(name) << types << chosen << ok
                            << QStringLiteral("Delete type \"%1\"").arg(chosen.trimmed())
                            << remaining << current;
    };
    row("middle, Ok: the next becomes current", abc, "Bank", true, {"Auto", "Tax"}, "Tax");
    row("first, Ok", abc, "Auto", true, {"Bank", "Tax"}, "Bank");
    row("last, Ok: the new last becomes current", abc, "Tax", true, {"Auto", "Bank"}, "Bank");
    row("only one, Ok: no current row", {"Auto"}, "Auto", true, {}, kNone);
    row("middle, Cancel", abc, "Bank", false, abc, "Bank");
    row("last, Cancel", abc, "Tax", false, abc, "Tax");
    row("trailing blanks left out of the question", {"Auto", "Misc   "}, "Misc   ", true, {"Auto"}, "Auto");
}

void TestFrmTypes::deleteUnused()
{
    QFETCH(QStringList, types);
    QFETCH(QString, chosen);
    QFETCH(bool, confirm);
    QFETCH(QString, question);
    QFETCH(QStringList, remaining);
    QFETCH(QString, current);

    Fixture f;
    QVERIFY(f.db);
    for (const QString &t : types)
        addType(*f.db, t);
    // A document without a type must not hold any type back.
    QVERIFY(addDocument(*f.db, {1, QStringLiteral("Letter"), 0}) > 0);

    frmTypes w(*f.db);
    QVERIFY(w.Form_Load());
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QVERIFY(clickRow(w, chosen));
    button(w, "cmdExit")->setFocus();

    MessageBox::queueAnswer(confirm ? QMessageBox::Ok : QMessageBox::Cancel);
    QTest::mouseClick(button(w, "cmdDelete"), Qt::LeftButton);

    QCOMPARE(MessageBox::shownTexts(), QStringList{question});
    QCOMPARE(storedNames(*f.db), remaining);
    QCOMPARE(listed(w), remaining);
    QCOMPARE(currentName(w), current);
    QCOMPARE(grid(w)->currentIndex().row(), w.types()->recordset()->absolutePosition());
    QVERIFY(grid(w)->hasFocus());
}

void TestFrmTypes::deleteWithoutCurrentRow()
{
    Fixture f;
    QVERIFY(f.open({"Only"}));
    frmTypes &w = *f.w;

    MessageBox::queueAnswer(QMessageBox::Ok);
    QTest::mouseClick(button(w, "cmdDelete"), Qt::LeftButton);
    QCOMPARE(storedNames(*f.db), QStringList{});
    QCOMPARE(currentName(w), kNone);
    QCOMPARE(grid(w)->currentIndex().isValid(), false);

    // The emptied list: Delete asks nothing and does nothing.
    MessageBox::clearShownTexts();
    QTest::mouseClick(button(w, "cmdDelete"), Qt::LeftButton);
    QCOMPARE(MessageBox::shownTexts(), QStringList{});
    QCOMPARE(currentName(w), kNone);
}

void TestFrmTypes::addThroughTheDialog_data()
{
    QTest::addColumn<QStringList>("types");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<QStringList>("shown");

    const QString blank = QStringLiteral("Must specify a type before pressing \"Ok\"");
    const QString defined = QStringLiteral("Type already defined.");
    const QStringList bt{"Bank", "Tax"};

    QTest::newRow("new type in name order")
        << bt << "Legal"
        << "" << QStringList{"Bank", "Tax", "Legal"} << QStringList{"Bank", "Legal", "Tax"};
    QTest::newRow("nothing typed") << bt << "" << blank << bt << bt;
    QTest::newRow("blanks only") << bt << "    " << blank << bt << bt;
    QTest::newRow("other letter case") << bt << "bANK" << defined << bt << bt;
    QTest::newRow("leading and trailing blanks kept")
        << bt << "  Memo  "
        << "" << QStringList{"Bank", "Tax", "  Memo  "} << QStringList{"  Memo", "Bank", "Tax"};
    QTest::newRow("single quote") << bt << "O'Neil"
                                  << "" << QStringList{"Bank", "Tax", "O'Neil"}
                                  << QStringList{"Bank", "O'Neil", "Tax"};
    QTest::newRow("single quote, already defined")
        << QStringList{"O'Neil"} << "o'NEIL" << defined << QStringList{"O'Neil"}
        << QStringList{"O'Neil"};
}

void TestFrmTypes::addThroughTheDialog()
{
    QFETCH(QStringList, types);
    QFETCH(QString, typed);
    QFETCH(QString, message);
    QFETCH(QStringList, stored);
    QFETCH(QStringList, shown);

    Fixture f;
    QVERIFY(f.open(types));
    frmTypes &w = *f.w;

    if (!message.isEmpty())
        MessageBox::queueAnswer(QMessageBox::Ok);
    const DialogOutcome outcome = addThroughDialog(w, typed, true);

    QVERIFY(outcome.opened);
    QCOMPARE(MessageBox::shownTexts(), message.isEmpty() ? QStringList{} : QStringList{message});
    // A refusal leaves the dialog open with the text as typed.
    QCOMPARE(outcome.stillOpen, !message.isEmpty());
    QCOMPARE(outcome.textLeft, typed);
    QCOMPARE(storedNames(*f.db), stored);
    QCOMPARE(listed(w), shown);
}

void TestFrmTypes::cancelAddsNothing()
{
    Fixture f;
    QVERIFY(f.open({"Bank", "Tax"}));
    frmTypes &w = *f.w;
    QVERIFY(clickRow(w, QStringLiteral("Tax")));
    QSignalSpy rerun(w.types(), &DataControl::reset);

    const DialogOutcome outcome = addThroughDialog(w, QStringLiteral("Legal"), false);

    QVERIFY(outcome.opened);
    QCOMPARE(outcome.stillOpen, false);
    QCOMPARE(MessageBox::shownTexts(), QStringList{});
    QCOMPARE(storedNames(*f.db), (QStringList{"Bank", "Tax"}));
    QCOMPARE(listed(w), (QStringList{"Bank", "Tax"}));
    // The list is re-run all the same, which puts it back on its first row.
    QCOMPARE(rerun.count(), 1);
    QCOMPARE(currentName(w), QStringLiteral("Bank"));
}

void TestFrmTypes::noKeyLeft()
{
    Fixture f;
    QVERIFY(f.db);
    QVERIFY(f.db->exec({QStringLiteral("INSERT INTO Types (Type, RecordPtr) VALUES (?, ?)"),
                        {QStringLiteral("Last"), kHighestTypeKey}}));
    frmTypes w(*f.db);
    QVERIFY(w.Form_Load());
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));

    MessageBox::queueAnswer(QMessageBox::Ok);
    const DialogOutcome outcome = addThroughDialog(w, QStringLiteral("Legal"), true);

    QVERIFY(outcome.stillOpen);
    QCOMPARE(MessageBox::shownTexts(), QStringList{fnNewTypeMessage(NewTypeCheck::NoKeyLeft)});
    QCOMPARE(storedNames(*f.db), QStringList{QStringLiteral("Last")});
    QCOMPARE(listed(w), QStringList{QStringLiteral("Last")});
}

QTEST_MAIN(TestFrmTypes)
#include "tst_frmtypes.moc"
