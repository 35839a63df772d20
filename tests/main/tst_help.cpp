// Help: F1 on the real windows (the modal editor included), the contents, the help window's
// own navigation, and a help file that is missing or damaged.
#include "editor/frmChange.h"
#include "main/HelpBook.h"
#include "main/HelpSupport.h"
#include "main/HelpWindow.h"
#include "store/DataControl.h"
#include "store/Schema.h"
#include "support/MainWindow.h"
#include "support/Modal.h"
#include "widgets/MessageBox.h"

#include <QtWidgets>

using namespace qs;
using namespace qs::test;

class tst_Help : public QObject
{
    Q_OBJECT

    HelpSupport m_support;
    std::unique_ptr<MainWindowFixture> m_f;
    const QString m_installed = QDir(buildDir()).filePath(schema::HelpFile);

    // The main window, in a folder that holds the help file or not.
    bool start(bool withHelp = true)
    {
        return (!withHelp || QFile::copy(m_installed, schema::HelpFile)) && m_f->open(nullptr);
    }
    frmMain &w() { return m_f->w(); }
    template <typename T = QWidget> T *child(QWidget *in, const char *name)
    {
        return in->findChild<T *>(QLatin1String(name));
    }
    // The help window shows `anchor`, over `owner`.
    void showsOver(QWidget *owner, const QString &anchor)
    {
        HelpWindow *help = activeHelpWindow();
        QVERIFY(help && help->isVisible());
        QCOMPARE(help->currentAnchor(), anchor);
        QCOMPARE(help->parentWidget(), owner);
    }

private Q_SLOTS:
    void init()
    {
        m_f = std::make_unique<MainWindowFixture>();
        MessageBox::clearShownTexts();
    }
    void cleanup()
    {
        delete activeHelpWindow();
        m_f.reset();
        clearPendingModals();
    }

    // The topic of each control of the main window; every topic that the main window and
    // the editor carry is a place in the help file.
    void topics()
    {
        QVERIFY(start());
        const std::pair<const char *, int> topics[] = {
            {"grdInfo", 7111},   {"cmdAdd", 7001},        {"cmdChange", 7002},
            {"cmdDelete", 7003}, {"cmbType", 7114},       {"cmbDate", 7115},
            {"Order_0", 7116},   {"txtFilterDesc", 7113}, {"txtFilterWho", 7112},
            {"Order_1", 7117},   {"txtFilterNote", 7112}, {"Order_2", 7118},
            {"chkFilterOn", 0}};
        for (const auto &[name, topic] : topics)
            QVERIFY2(helpTopicOf(child(&w(), name)) == topic, name);
        const auto book = HelpBook::load(m_installed);
        QVERIFY2(book.ok(), qPrintable(book.error()));
        frmChange editor(*w().database(), *w().documents()->recordset(), nullptr, nullptr);
        for (QObject *o : w().findChildren<QObject *>() + editor.findChildren<QObject *>()) {
            const int topic = o->property("helpTopic").toInt();
            QVERIFY2(topic == 0 || book->pageOf(QString::number(topic)) >= 0,
                     qPrintable(QString::number(topic)));
        }
    }

    // F1 in the open drop-down of a list: its topic, over the main window.
    void f1InDropDown()
    {
        QVERIFY(start());
        auto *date = child<QComboBox>(&w(), "cmbDate");
        date->showPopup();
        QVERIFY(QTest::qWaitForWindowExposed(date->view()->window()));
        date->view()->setFocus();
        QTest::keyClick(date->view(), Qt::Key_F1);
        showsOver(&w(), "7115");
        QVERIFY(!activeHelpWindow()->currentTitle().isEmpty());
    }

    // Help open over the main window moves to the modal editor when F1 asks for it there
    // (where the keyboard can reach it), and back to the main window when the editor closes.
    void f1InModalEditor()
    {
        QVERIFY(start());
        HelpWindow *before = showHelp(&w(), 7001);
        bool overEditor = false;
        answerModal<frmChange>([&](frmChange &editor) {
            QTest::keyClick(child(&editor, "txtDate"), Qt::Key_F1);
            HelpWindow *help = activeHelpWindow();
            overEditor = help == before && help->parentWidget() == &editor && help->isVisible() &&
                         help->currentAnchor() == "1004";
        });
        child<QPushButton>(&w(), "cmdAdd")->click();
        QCOMPARE(pendingModals(), 0);
        QVERIFY(overEditor);
        QCOMPARE(activeHelpWindow(), before);
        showsOver(&w(), "1004");
    }

    // Every way to the contents: F1 in the Help menu, the Help menu's entry, the help's own
    // button, and a topic the file lacks.
    void contents()
    {
        QVERIFY(start());
        auto *menu = child<QMenu>(&w(), "mnuHelp");
        const std::function<void()> ways[] = {
            [&] { menu->popup({}), QTest::keyClick(menu, Qt::Key_F1), menu->close(); },
            [&] { child<QAction>(&w(), "mnuHelpContents")->trigger(); },
            [&] { QTest::mouseClick(child(showHelp(&w(), 7111), "cmdContents"), Qt::LeftButton); },
            [&] { showHelp(&w(), 4242); }};
        for (const auto &way : ways) {
            delete activeHelpWindow();
            way();
            showsOver(&w(), "contents");
            QCOMPARE(activeHelpWindow()->currentTitle(), "Quillstack Help");
        }
        QVERIFY(MessageBox::shownTexts().isEmpty());
    }

    // The file in the current folder is the one read; a sound one opens once it is there.
    void brokenHelpFile_data()
    {
        QTest::addColumn<QString>("says");
        QTest::newRow("missing") << "was not found";
        QTest::newRow("a folder of that name") << "cannot be read";
        QTest::newRow("no contents page") << "holds no contents";
    }
    void brokenHelpFile()
    {
        QFETCH(QString, says);
        const QString file = QTest::currentDataTag();
        if (QFile::exists(QDir(QCoreApplication::applicationDirPath()).filePath(schema::HelpFile)))
            QSKIP("a help file lies beside the test program");
        QVERIFY(start(false));
        if (file == "a folder of that name")
            QVERIFY(QDir().mkdir(schema::HelpFile));
        else if (file != "missing")
            QVERIFY(writeFile(schema::HelpFile, "<h2><a name=\"7111\">A page</a></h2>"));
        // By F1 where no file is found; by the Help menu otherwise.
        const auto ask = [&] {
            file == "missing" ? QTest::keyClick(child(&w(), "cmdAdd"), Qt::Key_F1)
                              : child<QAction>(&w(), "mnuHelpContents")->trigger();
        };
        answerMessage();
        ask();
        QCOMPARE(MessageBox::shownTexts().size(), 1);
        QVERIFY2(MessageBox::shownTexts().first().contains(says), qPrintable(says));
        QVERIFY(!activeHelpWindow());
        QDir().rmdir(schema::HelpFile);
        QFile::remove(schema::HelpFile);
        QVERIFY(QFile::copy(m_installed, schema::HelpFile));
        ask();
        QVERIFY(activeHelpWindow());
    }

    // A link, the list of pages, Back and Forward by button and by key (which the list
    // leaves to the window), a topic within a page, and Esc; one help window at a time.
    void navigation()
    {
        QVERIFY(start());
        HelpWindow *help = showHelp(&w(), 0);
        auto *back = child<QPushButton>(help, "cmdBack");
        QTextBrowser *browser = help->browser();
        QTextCursor link = browser->document()->find("The document list");
        link.setPosition(link.selectionStart() + 4);
        QTest::mouseClick(browser->viewport(), Qt::LeftButton, {},
                          browser->cursorRect(link).center());
        QCOMPARE(help->currentTitle(), "The document list");
        auto *list = child<QListWidget>(help, "lstContents");
        QCOMPARE(list->currentItem()->text(), "The document list");
        const auto items = list->findItems("Adding a document", Qt::MatchExactly);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(items.value(0)).center());
        QCOMPARE(help->currentAnchor(), "7001");
        QTest::mouseClick(back, Qt::LeftButton);
        QTest::keyClick(list, Qt::Key_Left, Qt::AltModifier);
        QCOMPARE(help->currentAnchor(), "contents");
        QVERIFY(!back->isEnabled());
        QTest::mouseClick(child(help, "cmdForward"), Qt::LeftButton);
        QCOMPARE(help->currentAnchor(), "7111");
        QCOMPARE(showHelp(&w(), 7117), help);
        QCOMPARE(help->currentTitle(), "The order of the list");
        QVERIFY(QTest::qWaitForWindowActive(help));
        QTest::keyClick(browser, Qt::Key_Escape);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!activeHelpWindow());
    }
};

QTEST_MAIN(tst_Help)
#include "tst_help.moc"
