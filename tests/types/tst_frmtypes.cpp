// The types window and the add-type dialog, driven through their controls
// against a database file in a temporary folder.
#include "store/DataControl.h"
#include "store/Recordset.h"
#include "support/Modal.h"
#include "support/TestSupport.h"
#include "types/TypeRules.h"
#include "types/frmAddType.h"
#include "types/frmTypes.h"
#include "widgets/DataGrid.h"
#include "widgets/MessageBox.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyledItemDelegate>
#include <QTest>

using namespace qs;
using namespace qs::test;

namespace {

const QString kNone = QStringLiteral("<no current row>");

QPushButton *button(QWidget &w, const char *name)
{
    return w.findChild<QPushButton *>(QLatin1String(name));
}

} // namespace

class TestFrmTypes : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestFolder> m_folder;
    std::unique_ptr<Database> m_db;
    std::unique_ptr<frmTypes> m_w;

    // Opens the window over the database, shown and active.
    bool open()
    {
        m_w = std::make_unique<frmTypes>(*m_db);
        if (!m_w->Form_Load())
            return false;
        m_w->show();
        return QTest::qWaitForWindowActive(m_w.get());
    }
    DataGrid *grid() { return m_w->findChild<DataGrid *>(QStringLiteral("grdTypes")); }
    QStringList stored()
    {
        QStringList names;
        const Rows rows = m_db->query({"SELECT Type FROM Types ORDER BY RecordPtr", {}}).value();
        for (const Row &r : rows)
            names << r.values.value(0).toString();
        return names;
    }
    // What the grid shows, row by row.
    QStringList listed()
    {
        QStringList names;
        for (int row = 0; row < grid()->model()->rowCount(); ++row) {
            const QModelIndex index = grid()->model()->index(row, 0);
            auto *delegate =
                qobject_cast<QStyledItemDelegate *>(grid()->itemDelegateForIndex(index));
            names << delegate->displayText(index.data(), QLocale());
        }
        return names;
    }
    QString current()
    {
        Recordset *rs = m_w->types()->recordset();
        return rs && rs->hasCurrent() ? rs->value(QStringLiteral("Type")).toString() : kNone;
    }
    bool clickRow(const QString &name)
    {
        for (int row = 0; row < grid()->model()->rowCount(); ++row) {
            const QModelIndex index = grid()->model()->index(row, 0);
            if (index.data().toString() == name) {
                QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {},
                                  grid()->visualRect(index).center());
                return true;
            }
        }
        return false;
    }
    // Add, type `text` into the dialog and press Ok or Cancel; returns what the dialog held
    // after the press, or "<closed>".
    QString addThroughDialog(const QString &text, bool pressOk)
    {
        QString left = "<not opened>";
        answerModal<frmAddType>([&](frmAddType &dialog) {
            auto *txtType = dialog.findChild<QLineEdit *>(QStringLiteral("txtType"));
            QTest::keyClicks(txtType, text);
            QTest::mouseClick(button(dialog, pressOk ? "cmdOk" : "cmdCancel"), Qt::LeftButton);
            left = dialog.isVisible() ? txtType->text() : "<closed>";
        });
        QTest::mouseClick(button(*m_w, "cmdAdd"), Qt::LeftButton);
        return left;
    }

private Q_SLOTS:
    void init()
    {
        MessageBox::clearShownTexts();
        clearPendingModals();
        m_folder = std::make_unique<TestFolder>();
        m_db = makeDatabase(m_folder->file(QStringLiteral("Qsk.MDB")));
        QVERIFY(m_db);
    }
    void cleanup()
    {
        m_w.reset();
        m_db.reset();
        m_folder.reset();
    }

    void deleteInUse()
    {
        addType(*m_db, QStringLiteral("Auto"));
        QVERIFY(addDocument(
            *m_db, {1, QStringLiteral("Statement"), addType(*m_db, QStringLiteral("Bank"))}));
        QVERIFY(open());
        QVERIFY(clickRow(QStringLiteral("Bank")));
        answerMessage();
        QTest::mouseClick(button(*m_w, "cmdDelete"), Qt::LeftButton);
        QCOMPARE(
            MessageBox::shownTexts(),
            QStringList{
                "May not delete this \"document type\".  This \"type\" is in use for a document."});
        QCOMPARE(stored(), (QStringList{"Auto", "Bank"}));
        QCOMPARE(current(), QStringLiteral("Bank"));
        QCOMPARE(grid()->currentIndex().row(), 1);
    }

    void deleteUnused_data()
    {
        QTest::addColumn<QStringList>("types");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<bool>("confirm");
        QTest::addColumn<QStringList>("remaining");
        QTest::addColumn<QString>("current");
        const QStringList abc{"Auto", "Bank", "Tax"};
        QTest::newRow("middle: the next becomes current")
            << abc << "Bank" << true << QStringList{"Auto", "Tax"} << "Tax";
        QTest::newRow("first") << abc << "Auto" << true << QStringList{"Bank", "Tax"} << "Bank";
        QTest::newRow("last: the new last becomes current")
            << abc << "Tax" << true << QStringList{"Auto", "Bank"} << "Bank";
        QTest::newRow("only one: no current row")
            << QStringList{"Auto"} << "Auto" << true << QStringList{} << kNone;
        QTest::newRow("Cancel") << abc << "Tax" << false << abc << "Tax";
        // Names show in name order without their trailing blanks, letter case ignored.
        QTest::newRow("trailing blanks")
            << QStringList{"Misc   ", "bank"} << "Misc   " << true << QStringList{"bank"} << "bank";
    }
    void deleteUnused()
    {
        QFETCH(QStringList, types);
        QFETCH(QString, chosen);
        QFETCH(bool, confirm);
        QFETCH(QStringList, remaining);
        for (const QString &t : types)
            addType(*m_db, t);
        // A document without a type must not hold any type back.
        QVERIFY(addDocument(*m_db, {1, QStringLiteral("Letter"), 0}));
        QVERIFY(open());
        QStringList shown = types;
        std::sort(shown.begin(), shown.end(), [](const QString &a, const QString &b) {
            return a.compare(b, Qt::CaseInsensitive) < 0;
        });
        for (QString &name : shown)
            name = name.trimmed();
        QCOMPARE(listed(), shown);
        QVERIFY(clickRow(chosen));
        button(*m_w, "cmdExit")->setFocus();

        answerMessage(confirm ? QMessageBox::Ok : QMessageBox::Cancel);
        QTest::mouseClick(button(*m_w, "cmdDelete"), Qt::LeftButton);
        QCOMPARE(MessageBox::shownTexts(), QStringList{"Delete type \"" + chosen.trimmed() + "\""});
        QCOMPARE(stored(), remaining);
        QTEST(current(), "current");
        QCOMPARE(grid()->currentIndex().row(), m_w->types()->recordset()->absolutePosition());
        // The keyboard goes back to the grid once the window is active again.
        m_w->activateWindow();
        QTRY_VERIFY(grid()->hasFocus());
        if (remaining.isEmpty()) { // the emptied list: Delete asks nothing and does nothing
            QTest::mouseClick(button(*m_w, "cmdDelete"), Qt::LeftButton);
            QCOMPARE(MessageBox::shownTexts().size(), 1);
        }
    }

    // One row for each message; the rules behind them are tst_typerules' part.
    void addThroughTheDialog_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("new type, blanks kept, in name order")
            << "  Memo  " << QString() << QStringList{"  Memo", "Bank", "Tax"};
        QTest::newRow("blanks only")
            << "    "
            << "Must specify a type before pressing \"Ok\"" << QStringList{"Bank", "Tax"};
        QTest::newRow("other letter case") << "bANK"
                                           << "Type already defined." << QStringList{"Bank", "Tax"};
        QTest::newRow("no key left")
            << "Legal" << fnNewTypeMessage(NewTypeCheck::NoKeyLeft) << QStringList{"Bank", "Tax"};
    }
    void addThroughTheDialog()
    {
        QFETCH(QString, typed);
        QFETCH(QString, message);
        addType(*m_db, QStringLiteral("Bank"));
        if (message == fnNewTypeMessage(NewTypeCheck::NoKeyLeft))
            QVERIFY(m_db->exec(
                {"INSERT INTO Types (Type, RecordPtr) VALUES (?, ?)", {"Tax", kHighestTypeKey}}));
        else
            addType(*m_db, QStringLiteral("Tax"));
        QVERIFY(open());
        if (!message.isEmpty())
            answerMessage();
        // A refusal leaves the dialog open with the text as typed.
        QCOMPARE(addThroughDialog(typed, true), message.isEmpty() ? "<closed>" : typed);
        QCOMPARE(MessageBox::shownTexts(),
                 message.isEmpty() ? QStringList{} : QStringList{message});
        QCOMPARE(stored(), (message.isEmpty() ? QStringList{"Bank", "Tax", typed}
                                              : QStringList{"Bank", "Tax"}));
        QTEST(listed(), "shown");
    }

    void cancelAddsNothing()
    {
        addType(*m_db, QStringLiteral("Bank"));
        addType(*m_db, QStringLiteral("Tax"));
        QVERIFY(open());
        QVERIFY(clickRow(QStringLiteral("Tax")));
        QSignalSpy rerun(m_w->types(), &DataControl::reset);
        QCOMPARE(addThroughDialog(QStringLiteral("Legal"), false), "<closed>");
        QVERIFY(MessageBox::shownTexts().isEmpty());
        QCOMPARE(stored(), (QStringList{"Bank", "Tax"}));
        // The list is re-run all the same, which puts it back on its first row.
        QCOMPARE(rerun.count(), 1);
        QCOMPARE(current(), QStringLiteral("Bank"));
    }
};

QTEST_MAIN(TestFrmTypes)
#include "tst_frmtypes.moc"
