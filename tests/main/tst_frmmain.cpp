// The main window: start-up order, the list and the detail panel.
#include "support/TestSupport.h"

#include "main/frmMain.h"
#include "store/DataControl.h"
#include "support/FaultVfs.h"
#include "support/MainWindow.h"
#include "types/frmTypes.h"
#include "widgets/DataGrid.h"
#include "widgets/MessageBox.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTimer>

using namespace qs;
using namespace qs::test;

namespace {

QStringList listDescriptions(frmMain &w)
{
    QStringList out;
    Recordset *rs = w.documents()->recordset();
    for (int i = 0; i < rs->rowCount(); ++i)
        out << rs->valueAt(i, QStringLiteral("Description")).toString();
    return out;
}

void seed(const QString &path)
{
    auto db = makeDatabase(path);
    const qint16 lease = addType(*db, QStringLiteral("Lease"));
    addDocument(*db, {20, QStringLiteral("beta"), lease, QDate(2024, 3, 1), QStringLiteral("Bank"),
                      QStringLiteral("note b")});
    addDocument(*db,
                {10, QStringLiteral("Alpha"), 0, QVariant(), QStringLiteral("Ann"), QString()});
    addDocument(*db, {30, QStringLiteral("gamma"), 99, QDate(999, 12, 4), QString(), QString()});
}

} // namespace

class tst_frmMain : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup()
    {
        MessageBox::clearShownTexts();
        MessageBox::clearAnswers();
    }

    void firstStartInEmptyFolderShowsEmptyList()
    {
        TestFolder folder;
        test::MainWindow w;
        QVERIFY(w.Form_Initialize());
        w.show();
        QVERIFY(QFile::exists(QStringLiteral("Qsk.MDB")));
        QCOMPARE(w.documents()->recordset()->rowCount(), 0);
        QVERIFY(!w.findChild<QFrame *>(QStringLiteral("panView"))->isVisible());
        auto *type = w.findChild<QComboBox *>(QStringLiteral("cmbType"));
        QCOMPARE(type->count(), 1);
        QCOMPARE(type->currentText(), QStringLiteral("ALL"));
        auto *date = w.findChild<QComboBox *>(QStringLiteral("cmbDate"));
        QCOMPARE(date->count(), 6);
        QCOMPARE(date->itemText(4), QStringLiteral("Last Year"));
        QCOMPARE(date->currentIndex(), 0);
    }

    void missingTemplateEndsTheStart()
    {
        TestFolder folder(false);
        test::MainWindow w;
        const Status s = w.Form_Initialize();
        // The build folder has a template beside the program only for the
        // real executable; the test binary's folder has none.
        if (QFile::exists(QDir(QCoreApplication::applicationDirPath()).filePath("QskDef.MDB")))
            QSKIP("a template lies beside the test program");
        QVERIFY(!s.ok());
        QVERIFY(s.message().contains(QStringLiteral("QskDef.MDB")));
    }

    // One row per option the window shows; how the saved text is read is tst_documentquery's.
    void savedOrder_data()
    {
        QTest::addColumn<QVariant>("saved");
        QTest::addColumn<int>("option");
        QTest::addColumn<QStringList>("order");
        const QStringList byIdDesc = {"gamma", "beta", "Alpha"};
        const QStringList byDesc = {"Alpha", "beta", "gamma"};
        const QStringList byId = {"Alpha", "beta", "gamma"};
        QTest::newRow("absent") << QVariant() << 0 << byIdDesc;
        QTest::newRow("DESCRIPTION") << QVariant("DESCRIPTION") << 1 << byDesc;
        QTest::newRow("ID") << QVariant("ID") << 2 << byId;
        QTest::newRow("outer blanks order but select nothing") << QVariant(" ID ") << 0 << byId;
        QTest::newRow("small letters order but select nothing")
            << QVariant("description") << 0 << byDesc;
    }
    void savedOrder()
    {
        QFETCH(QVariant, saved);
        QFETCH(int, option);
        QFETCH(QStringList, order);
        TestFolder folder;
        seed(QStringLiteral("Qsk.MDB"));
        if (!saved.isNull()) {
            QSettings settings(QStringLiteral("Quillstack"), QStringLiteral("Quillstack"));
            settings.setValue(QStringLiteral("Default/Order"), saved);
        }
        test::MainWindow w;
        QVERIFY(w.Form_Initialize());
        for (int i = 0; i < 3; ++i)
            QCOMPARE(w.findChild<QRadioButton *>(QStringLiteral("Order_%1").arg(i))->isChecked(),
                     i == option);
        QCOMPARE(listDescriptions(w), order);
    }

    void detailPanelFollowsTheCurrentRow()
    {
        TestFolder folder;
        seed(QStringLiteral("Qsk.MDB"));
        test::MainWindow w;
        QVERIFY(w.Form_Initialize());
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        auto *grid = w.findChild<DataGrid *>(QStringLiteral("grdInfo"));
        auto label = [&](const char *name) {
            if (auto *note = w.findChild<QPlainTextEdit *>(QLatin1String(name)))
                return note->toPlainText();
            return w.findChild<QLabel *>(QLatin1String(name))->text();
        };
        QVERIFY(w.findChild<QFrame *>(QStringLiteral("panView"))->isVisible());
        // First row: gamma, a type key that no type has, a date with a three-digit year.
        QCOMPARE(label("lblID"), QStringLiteral(" 30"));
        QCOMPARE(label("lblDesc"), QStringLiteral(" gamma"));
        QCOMPARE(label("lblType"), QStringLiteral(" "));
        QCOMPARE(label("lblDate"), QStringLiteral(" 12/4/0999"));
        QCOMPARE(label("lblWho"), QStringLiteral(" "));

        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_Down);
        QCOMPARE(label("lblDesc"), QStringLiteral(" beta"));
        QCOMPARE(label("lblType"), QStringLiteral(" Lease"));
        QCOMPARE(label("lblDate"), QStringLiteral(" 3/1/2024"));
        QCOMPARE(label("lblWho"), QStringLiteral(" Bank"));
        QCOMPARE(label("lblNote"), QStringLiteral("note b"));

        QTest::keyClick(grid, Qt::Key_Down);
        QCOMPARE(label("lblDesc"), QStringLiteral(" Alpha"));
        QCOMPARE(label("lblType"), QStringLiteral(" ")); // key 0
        QCOMPARE(label("lblDate"), QStringLiteral(" ")); // null date
        QCOMPARE(label("lblNote"), QString());
        QCOMPARE(w.documents()->recordset()->absolutePosition(), 2);

        // The record set moved by program moves the highlight.
        w.documents()->recordset()->moveFirst();
        QCOMPARE(grid->currentIndex().row(), 0);
        QCOMPARE(label("lblDesc"), QStringLiteral(" gamma"));
    }

    void recordDeletedElsewhereHidesThePanel()
    {
        TestFolder folder;
        seed(QStringLiteral("Qsk.MDB"));
        test::MainWindow w;
        QVERIFY(w.Form_Initialize());
        w.show();
        QVERIFY(w.database()->exec({QStringLiteral("DELETE FROM Documents WHERE ID = 20"), {}}));
        w.documents()->recordset()->moveNext();
        QVERIFY(!w.findChild<QFrame *>(QStringLiteral("panView"))->isVisible());
    }

    // Stored text is data: markup in any field shows as its own characters,
    // and an image it names is never read.
    void storedMarkupShowsAsText_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("widget");
        QTest::newRow("description") << "Description"
                                     << "lblDesc";
        QTest::newRow("who") << "Who"
                             << "lblWho";
        QTest::newRow("note") << "Note"
                              << "lblNote";
        QTest::newRow("type name") << "Type"
                                   << "lblType";
        QTest::newRow("delete question") << "Description"
                                         << "qt_msgbox_label";
    }
    void storedMarkupShowsAsText()
    {
        QFETCH(QString, field);
        QFETCH(QString, widget);
        TestFolder folder;
        // Rendered as markup, the picture would make the text 900 pixels tall.
        QImage(10, 900, QImage::Format_RGB32).save(folder.file(QStringLiteral("tall.png")));
        const QString markup =
            QStringLiteral("<img src=\"%1\"><h1>x</h1>").arg(folder.file("tall.png"));
        {
            auto db = makeDatabase(QStringLiteral("Qsk.MDB"));
            const qint16 type = addType(*db, field == "Type" ? markup : QStringLiteral("t"));
            Doc d{1};
            d.type = type;
            (field == "Description" ? d.description : field == "Who" ? d.who : d.note) = markup;
            addDocument(*db, d);
        }
        test::MainWindow w;
        QVERIFY(w.Form_Initialize());
        w.show();
        int height = -1;
        QString text;
        if (widget == "qt_msgbox_label") {
            QTimer::singleShot(0, [&] {
                QWidget *box = QApplication::activeModalWidget();
                auto *label = box ? box->findChild<QLabel *>(widget) : nullptr;
                if (label) {
                    text = label->text();
                    height = label->sizeHint().height();
                }
                if (box)
                    box->close();
            });
            w.cmdDelete_Click();
        } else {
            auto *shown = w.findChild<QWidget *>(widget);
            if (auto *label = qobject_cast<QLabel *>(shown))
                text = label->text();
            else
                text = qobject_cast<QPlainTextEdit *>(shown)->toPlainText();
            height = shown->sizeHint().height();
        }
        QVERIFY(height > 0);
        QCOMPARE_LT(height, 200);
        QVERIFY2(text.contains(markup), qPrintable(text));
    }

    // A value of a megabyte shows what fits instead of being laid out whole.
    void hugeValuesShowWhatFits()
    {
        TestFolder folder;
        {
            auto db = makeDatabase(QStringLiteral("Qsk.MDB"));
            addDocument(*db, {1,
                              QString(1 << 20, QLatin1Char('d')),
                              0,
                              {},
                              QString(1 << 20, 'w'),
                              QString(1 << 20, QLatin1Char('n'))});
        }
        test::MainWindow w;
        QVERIFY(w.Form_Initialize());
        w.show();
        // Laying out a whole megabyte (a long unbroken note above all) took
        // seconds; the panel and the grid take the start of each value.
        const QString desc = w.findChild<QLabel *>(QStringLiteral("lblDesc"))->text();
        const QString note =
            w.findChild<QPlainTextEdit *>(QStringLiteral("lblNote"))->toPlainText();
        const QString cell = w.findChild<DataGrid *>()->model()->index(0, 0).data().toString();
        for (const QString &shown : {desc, note, cell}) {
            QVERIFY(shown.contains(QStringLiteral("ddd")) || shown.contains(QStringLiteral("nnn")));
            QCOMPARE_LT(shown.size(), 20000);
        }
    }

    // Delete in the list is the Delete command; Alt and a menu's letter open it.
    void keyboard()
    {
        TestFolder folder;
        seed(QStringLiteral("Qsk.MDB"));
        test::MainWindow w;
        QVERIFY(w.Form_Initialize());
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        auto *grid = w.findChild<DataGrid *>(QStringLiteral("grdInfo"));
        grid->setFocus();
        MessageBox::queueAnswer(QMessageBox::Cancel);
        QTest::keyClick(grid, Qt::Key_Delete);
        QCOMPARE(MessageBox::shownTexts(), QStringList{"Delete \"gamma\" (30)"});
        QCOMPARE(w.documents()->recordset()->rowCount(), 3);
        MessageBox::queueAnswer(QMessageBox::Ok);
        QTest::keyClick(grid, Qt::Key_Delete);
        QCOMPARE(w.documents()->recordset()->rowCount(), 2);

        const QList<QPair<QString, Qt::Key>> menus = {
            {"mnuFile", Qt::Key_F}, {"mnuMaintenance", Qt::Key_M}, {"mnuHelp", Qt::Key_H}};
        for (const auto &[name, key] : menus) {
            auto *menu = w.findChild<QMenu *>(name);
            QCOMPARE(menu->title(), QLatin1Char('&') + name.mid(3));
            QTest::keyClick(&w, key, Qt::AltModifier);
            QTRY_VERIFY2(menu->isVisible(), qPrintable(name));
            menu->close();
        }
    }

    // A database that can only be read is said at start, and every change
    // is refused with the same words before anything can be typed.
    void readOnlyDatabase_data()
    {
        QTest::addColumn<QString>("command");
        for (const char *command :
             {"cmdAdd", "Enter in the list", "Delete key", "cmdAddType", "cmdDeleteType"})
            QTest::newRow(command) << command;
    }
    void readOnlyDatabase()
    {
        QFETCH(QString, command);
        TestFolder folder;
        seed(QStringLiteral("Qsk.MDB"));
        // The file reads as one the user may not write (permissions do not
        // stop root, who runs the tests); the program opens it as always.
        FaultVfs vfs;
        vfs.denyWriting(folder.file(QStringLiteral("Qsk.MDB")));
        test::MainWindow w;
        QVERIFY(w.Form_Initialize());
        QVERIFY(w.database()->isReadOnly());
        const QString told = MessageBox::readOnlyText(QStringLiteral("Qsk.MDB"));
        QVERIFY(told.contains(folder.file(QStringLiteral("Qsk.MDB"))));
        MessageBox::queueAnswer(QMessageBox::Ok);
        w.show();
        QTRY_COMPARE(MessageBox::shownTexts(), QStringList{told});

        // Whatever window would open instead of the refusal is closed and noted.
        bool opened = false;
        QTimer guard;
        QObject::connect(&guard, &QTimer::timeout, [&] {
            if (QWidget *modal = QApplication::activeModalWidget()) {
                opened = true;
                modal->close();
            }
        });
        guard.start(50);
        MessageBox::queueAnswer(QMessageBox::Ok);
        auto *grid = w.findChild<DataGrid *>(QStringLiteral("grdInfo"));
        if (command == "cmdAdd") {
            w.findChild<QPushButton *>(command)->click();
        } else if (command == "Enter in the list") {
            QTest::keyClick(grid, Qt::Key_Return);
        } else if (command == "Delete key") {
            QTest::keyClick(grid, Qt::Key_Delete);
        } else {
            frmTypes types(*w.database(), &w);
            QVERIFY(types.Form_Load());
            types.findChild<QPushButton *>(command.chopped(4))->click();
        }
        QCOMPARE(MessageBox::shownTexts(), (QStringList{told, told}));
        QVERIFY(!opened);
        QCOMPARE(w.documents()->recordset()->rowCount(), 3);
        auto types = w.database()->query({"SELECT COUNT(*) FROM Types", {}});
        QCOMPARE(types->front().values.value(0).toInt(), 1);
    }

    void aboutBox()
    {
        TestFolder folder;
        test::MainWindow w;
        MessageBox::queueAnswer(QMessageBox::Ok);
        w.findChild<QAction *>(QStringLiteral("mnuHelpAbout"))->trigger();
        QCOMPARE(MessageBox::shownTexts(), QStringList{"Quillstack - version 3.2.15"});
    }

    void exitAndCloseBoxEndWithoutQuestion()
    {
        TestFolder folder;
        test::MainWindow w;
        QVERIFY(w.Form_Initialize());
        w.show();
        w.findChild<QAction *>(QStringLiteral("mnuFileExit"))->trigger();
        QVERIFY(!w.isVisible());
        w.show();
        QVERIFY(w.close());
        QVERIFY(MessageBox::shownTexts().isEmpty());
    }
};

QTEST_MAIN(tst_frmMain)
#include "tst_frmmain.moc"
