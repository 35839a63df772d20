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

namespace {

QString installedHelp()
{
    return QDir(buildDir()).filePath(schema::HelpFile);
}

} // namespace

class tst_Help : public QObject
{
    Q_OBJECT

    std::unique_ptr<HelpSupport> m_support;
    std::unique_ptr<MainWindowFixture> m_f;

    // The main window over a document, in a folder that holds the help file or not.
    bool start(bool withHelp = true)
    {
        return m_f->open([&](Database &db) {
            addDocument(db, {1, "Office lease", 0, QDate(2024, 1, 5), "Cedar"});
            if (withHelp)
                QFile::copy(installedHelp(), m_f->folder.file(schema::HelpFile));
        });
    }
    frmMain &w() { return m_f->w(); }
    template <typename T = QWidget> T *child(QWidget *in, const char *name)
    {
        return in->findChild<T *>(QLatin1String(name));
    }
    // The help window shows `anchor` on its page, over `owner`.
    void showsOver(QWidget *owner, const QString &anchor)
    {
        HelpWindow *help = activeHelpWindow();
        QVERIFY(help && help->isVisible());
        QCOMPARE(help->currentAnchor(), anchor);
        QVERIFY(!help->currentTitle().isEmpty());
        QCOMPARE(help->parentWidget(), owner);
    }

private Q_SLOTS:
    void initTestCase() { m_support = std::make_unique<HelpSupport>(); }
    void init()
    {
        m_f = std::make_unique<MainWindowFixture>();
        MessageBox::clearShownTexts();
        clearPendingModals();
    }
    void cleanup()
    {
        delete activeHelpWindow();
        m_f.reset();
    }

    // Each topic of the main window, inherited by a control's parts; every topic the
    // windows carry is a place in the help file, and its contents leads to every page.
    void topicsAndPages()
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
        QCOMPARE(helpTopicOf(child<QComboBox>(&w(), "cmbType")->lineEdit()), 7114);
        const auto book = HelpBook::load(installedHelp());
        QVERIFY2(book.ok(), qPrintable(book.error()));
        frmChange editor(*w().database(), *w().documents()->recordset(), nullptr, nullptr);
        for (QObject *o : w().findChildren<QObject *>() + editor.findChildren<QObject *>()) {
            const QString topic = o->property("helpTopic").toString();
            QVERIFY2(topic.isEmpty() || topic == "0" || book->pageOf(topic) >= 0,
                     qPrintable(topic));
        }
        for (int i = 1; i < book->pageCount(); ++i)
            QVERIFY2(book->links().contains(book->page(i).anchors.value(0)),
                     qPrintable(book->page(i).title));
    }

    // F1 on a control, and in the open drop-down of a list.
    void f1OnMainWindow_data()
    {
        QTest::addColumn<bool>("dropDown");
        QTest::addColumn<QString>("anchor");
        QTest::newRow("Delete button") << false << "7003";
        QTest::newRow("open drop-down of the date list") << true << "7115";
    }
    void f1OnMainWindow()
    {
        QFETCH(bool, dropDown);
        QVERIFY(start());
        QWidget *target = child(&w(), "cmdDelete");
        if (dropDown) {
            auto *date = child<QComboBox>(&w(), "cmbDate");
            date->showPopup();
            target = date->view();
            QVERIFY(QTest::qWaitForWindowExposed(target->window()));
        }
        target->setFocus();
        QTest::keyClick(target, Qt::Key_F1);
        QFETCH(QString, anchor);
        showsOver(&w(), anchor);
    }

    // Help open over the main window moves to the modal editor when F1 asks for it there
    // (where the keyboard can reach it), and back to the main window when the editor closes.
    void f1InModalEditor()
    {
        QVERIFY(start());
        HelpWindow *before = showHelp(&w(), 7001);
        bool overEditor = false;
        answerModal<frmChange>([&](frmChange &editor) {
            QWidget *date = child(&editor, "txtDate");
            date->setFocus();
            QTest::keyClick(date, Qt::Key_F1);
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
        const std::function<void()> ways[] = {
            [&] {
                auto *menu = child<QMenu>(&w(), "mnuHelp");
                menu->popup(w().mapToGlobal(QPoint(20, 20)));
                QVERIFY(QTest::qWaitForWindowExposed(menu));
                QTest::keyClick(menu, Qt::Key_F1);
                menu->close();
            },
            [&] { child<QAction>(&w(), "mnuHelpContents")->trigger(); },
            [&] { QTest::mouseClick(child(showHelp(&w(), 7111), "cmdContents"), Qt::LeftButton); },
            [&] { showHelp(&w(), 4242); }};
        for (const auto &way : ways) {
            delete activeHelpWindow();
            w().activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&w()));
            way();
            showsOver(&w(), "contents");
            QCOMPARE(activeHelpWindow()->currentTitle(), "Quillstack Help");
        }
        QVERIFY(MessageBox::shownTexts().isEmpty());
    }

    // The file in the current folder is the one read; a sound one opens once it is there.
    void brokenHelpFile_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("says");
        QTest::newRow("missing, F1") << "missing"
                                     << "was not found";
        QTest::newRow("a folder of that name") << "folder"
                                               << "cannot be read";
        QTest::newRow("no contents page") << "no contents"
                                          << "holds no contents";
    }
    void brokenHelpFile()
    {
        QFETCH(QString, file);
        QFETCH(QString, says);
        if (QFile::exists(QDir(QCoreApplication::applicationDirPath()).filePath(schema::HelpFile)))
            QSKIP("a help file lies beside the test program");
        QVERIFY(start(false));
        const QString path = m_f->folder.file(schema::HelpFile);
        if (file == "folder")
            QVERIFY(QDir().mkdir(schema::HelpFile));
        else if (file != "missing")
            QVERIFY(writeFile(path, "<html><body><h2><a name=\"7111\">A page</a></h2></body>"));
        const auto ask = [&] {
            if (file == "missing")
                QTest::keyClick(child(&w(), "cmdAdd"), Qt::Key_F1);
            else
                child<QAction>(&w(), "mnuHelpContents")->trigger();
        };
        answerMessage();
        ask();
        QCOMPARE(MessageBox::shownTexts().size(), 1);
        const QString text = MessageBox::shownTexts().first();
        QVERIFY2(text.contains("\"Qsk.Hlp\"") || text.contains(path), qPrintable(text));
        QVERIFY2(text.contains(says), qPrintable(text));
        QVERIFY(!activeHelpWindow());
        QDir().rmdir(schema::HelpFile);
        QFile::remove(path);
        QVERIFY(QFile::copy(installedHelp(), path));
        ask();
        QVERIFY(activeHelpWindow());
        QCOMPARE(MessageBox::shownTexts().size(), 1);
    }

    // A link, the list of pages, Back and Forward by button and by key (which the list
    // leaves to the window), a topic within a page, and Esc; one help window at a time.
    void navigation()
    {
        QVERIFY(start());
        HelpWindow *help = showHelp(&w(), 0);
        auto *back = child<QPushButton>(help, "cmdBack");
        auto *forward = child<QPushButton>(help, "cmdForward");
        QVERIFY(!back->isEnabled());
        QTextBrowser *browser = help->browser();
        QTextCursor link = browser->document()->find("The document list");
        link.setPosition(link.selectionStart() + 4);
        QTest::mouseClick(browser->viewport(), Qt::LeftButton, {},
                          browser->cursorRect(link).center());
        QCOMPARE(help->currentAnchor(), "7111");
        QCOMPARE(help->currentTitle(), "The document list");
        auto *list = child<QListWidget>(help, "lstContents");
        QCOMPARE(list->currentItem()->text(), "The document list");
        const auto items = list->findItems("Adding a document", Qt::MatchExactly);
        QCOMPARE(items.size(), 1);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(items.first()).center());
        QCOMPARE(help->currentAnchor(), "7001");
        QTest::mouseClick(back, Qt::LeftButton);
        QCOMPARE(list->currentItem()->text(), "The document list");
        QTest::keyClick(browser, Qt::Key_Left, Qt::AltModifier);
        QCOMPARE(help->currentAnchor(), "contents");
        QTest::mouseClick(forward, Qt::LeftButton);
        QTest::keyClick(list, Qt::Key_Left, Qt::AltModifier);
        QVERIFY(!back->isEnabled() && forward->isEnabled());
        QCOMPARE(showHelp(&w(), 7117), help);
        QCOMPARE(help->currentTitle(), "The order of the list");
        QCOMPARE(help->currentAnchor(), "7117");
        QVERIFY(QTest::qWaitForWindowActive(help));
        QTest::keyClick(browser, Qt::Key_Escape);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!activeHelpWindow());
        QVERIFY(showHelp(&w(), 7003));
    }
};

QTEST_MAIN(tst_Help)
#include "tst_help.moc"
