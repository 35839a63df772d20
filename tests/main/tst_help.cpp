// Help: the help file's topics and pages, F1 on the real windows (the modal editor included),
// the contents, and a help file that is missing or damaged.
#include "editor/frmChange.h"
#include "main/HelpBook.h"
#include "main/HelpSupport.h"
#include "main/HelpWindow.h"
#include "store/DataControl.h"
#include "store/Recordset.h"
#include "store/Schema.h"
#include "support/MainWindow.h"
#include "support/Modal.h"
#include "widgets/MessageBox.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTextBrowser>

using namespace qs;
using namespace qs::test;

namespace {

QString installedHelp()
{
    return QDir(buildDir()).filePath(schema::HelpFile);
}

// Every topic a window's controls and actions carry.
QList<int> topicsIn(const QWidget &window)
{
    QList<int> topics;
    QList<const QObject *> all{&window};
    for (const QObject *o : window.findChildren<QObject *>())
        all << o;
    for (const QObject *o : all) {
        const int topic = o->property("helpTopic").toInt();
        if (topic > 0 && !topics.contains(topic))
            topics << topic;
    }
    std::sort(topics.begin(), topics.end());
    return topics;
}

// Counts the key presses that reach a window or anything in it.
class KeyCounter : public QObject
{
public:
    explicit KeyCounter(QWidget *window) : m_window(window) { qApp->installEventFilter(this); }
    ~KeyCounter() override { qApp->removeEventFilter(this); }
    int presses = 0;

protected:
    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (e->type() == QEvent::KeyPress &&
            (o == m_window->windowHandle() ||
             (o->isWidgetType() && static_cast<QWidget *>(o)->window() == m_window)))
            ++presses;
        return false;
    }

private:
    QWidget *m_window;
};

// Types a key at `window` the way the window system delivers it, so that a window behind a
// modal one does not get it.
bool keyReaches(QWidget *window)
{
    KeyCounter counter(window);
    QTest::keyClick(window->windowHandle(), Qt::Key_Down);
    return counter.presses > 0;
}

} // namespace

class tst_Help : public QObject
{
    Q_OBJECT

    std::unique_ptr<MainWindowFixture> m_f;

    // The main window over a few documents, in a folder that holds the help file or not.
    bool start(bool withHelp = true)
    {
        return m_f->open([&](Database &db) {
            addDocument(db, {1, "Office lease", addType(db, "Lease"), QDate(2024, 1, 5), "Cedar"});
            addDocument(db, {2, "Bank statement", 0, QDate(2025, 3, 31), "First City Bank"});
            if (withHelp)
                QFile::copy(installedHelp(), m_f->folder.file(schema::HelpFile));
        });
    }
    frmMain &w() { return m_f->w(); }
    QWidget *control(const char *name) { return w().findChild<QWidget *>(QLatin1String(name)); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(QFile::exists(installedHelp()), qPrintable(installedHelp()));
        m_support = std::make_unique<HelpSupport>();
    }
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

    // The topic of each control, on the main window and in the editor; every topic a window
    // carries is a page or a place in the help file.
    void topics()
    {
        QVERIFY(start());
        frmChange editor(*w().database(), *w().documents()->recordset(), nullptr, nullptr);
        const auto topicOf = [&](QWidget &window, const char *name) {
            auto *widget = window.findChild<QWidget *>(QLatin1String(name));
            return widget ? helpTopicOf(widget) : -1;
        };
        const QList<std::pair<const char *, int>> mainTopics{
            {"grdInfo", 7111},       {"cmdAdd", 7001},       {"cmdChange", 7002},
            {"cmdDelete", 7003},     {"cmbType", 7114},      {"cmbDate", 7115},
            {"txtFilterDesc", 7113}, {"txtFilterWho", 7112}, {"txtFilterNote", 7112},
            {"Order_0", 7116},       {"Order_1", 7117},      {"Order_2", 7118},
            {"chkFilterOn", 0},      {"cmdSetAsDefault", 0}};
        for (const auto &[name, topic] : mainTopics)
            QVERIFY2(topicOf(w(), name) == topic, name);
        QCOMPARE(helpTopicOf(w().findChild<QComboBox *>("cmbType")->lineEdit()), 7114);
        const QList<std::pair<const char *, int>> editorTopics{
            {"txtID", 1001},  {"txtDesc", 1002}, {"cmbType", 1006}, {"txtDate", 1004},
            {"txtWho", 1003}, {"txtNote", 0},    {"cmdUpdate", 0}};
        for (const auto &[name, topic] : editorTopics)
            QVERIFY2(topicOf(editor, name) == topic, name);

        QCOMPARE(topicsIn(w()),
                 (QList<int>{7001, 7002, 7003, 7111, 7112, 7113, 7114, 7115, 7116, 7117, 7118}));
        QCOMPARE(topicsIn(editor), (QList<int>{1001, 1002, 1003, 1004, 1006}));
        const auto book = HelpBook::load(installedHelp());
        QVERIFY2(book.ok(), qPrintable(book.error()));
        for (int topic : topicsIn(w()) + topicsIn(editor))
            QVERIFY2(book->pageOf(QString::number(topic)) >= 0, qPrintable(QString::number(topic)));
    }

    void helpFileHoldsTogether()
    {
        const auto book = HelpBook::load(installedHelp());
        QVERIFY2(book.ok(), qPrintable(book.error()));
        QCOMPARE(book->contentsPage(), 0);
        const QStringList anchors = book->anchors();
        for (const QString &a : anchors)
            QVERIFY2(anchors.count(a) == 1, qPrintable(a));
        for (int i = 0; i < book->pageCount(); ++i) {
            QVERIFY2(!book->page(i).title.isEmpty(), qPrintable(QString::number(i)));
            QVERIFY2(!book->page(i).anchors.isEmpty(), qPrintable(book->page(i).title));
        }
        const QStringList links = book->links();
        for (const QString &link : links)
            QVERIFY2(book->pageOf(link) >= 0, qPrintable(link));
        // The contents leads to every page.
        for (int i = 1; i < book->pageCount(); ++i)
            QVERIFY2(links.contains(book->page(i).anchors.first()),
                     qPrintable(book->page(i).title));

        // Every picture the help shows lies beside it, and every picture there is shown.
        const QDir dir = QFileInfo(installedHelp()).dir();
        const QStringList images = book->images();
        QVERIFY(!images.isEmpty());
        for (const QString &image : images)
            QVERIFY2(QFileInfo::exists(dir.filePath(image)), qPrintable(image));
        for (const QString &picture :
             QDir(dir.filePath("images")).entryList({"*.png"}, QDir::Files))
            QVERIFY2(images.contains("images/" + picture), qPrintable(picture));
    }

    // F1 on the main window: on a control, and in the open drop-down of a list.
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
        QFETCH(QString, anchor);
        QVERIFY(start());
        QWidget *target = control("cmdDelete");
        if (dropDown) {
            auto *date = w().findChild<QComboBox *>(QStringLiteral("cmbDate"));
            date->showPopup();
            target = date->view();
            QVERIFY(QTest::qWaitForWindowExposed(target->window()));
        }
        target->setFocus();
        QTest::keyClick(target, Qt::Key_F1);
        HelpWindow *help = activeHelpWindow();
        QVERIFY(help && help->isVisible());
        QCOMPARE(help->currentAnchor(), anchor);
        QVERIFY(!help->currentTitle().isEmpty());
        QCOMPARE(help->parentWidget(), &w());
        QVERIFY(keyReaches(help));
    }

    // Help opened from the main window moves to the modal editor when F1 asks for it there,
    // and back to the main window when the editor closes.
    void f1InModalEditor()
    {
        QVERIFY(start());
        HelpWindow *before = showHelp(&w(), 7001);
        QVERIFY(before);
        QCOMPARE(before->parentWidget(), &w());
        bool behindReached = true;
        bool helpReached = false;
        QString anchor;
        frmChange *owner = nullptr;
        answerModal<frmChange>([&](frmChange &editor) {
            {
                // A window of the main window's own is blocked while the editor is open.
                QWidget behind(&w(), Qt::Window);
                behind.resize(200, 100);
                behind.show();
                if (QTest::qWaitForWindowExposed(&behind))
                    behindReached = keyReaches(&behind);
            }
            editor.activateWindow();
            if (!QTest::qWaitForWindowActive(&editor))
                return;
            QWidget *date = editor.findChild<QWidget *>(QStringLiteral("txtDate"));
            date->setFocus();
            QTest::keyClick(date, Qt::Key_F1);
            if (HelpWindow *help = activeHelpWindow(); help && help->isVisible()) {
                anchor = help->currentAnchor();
                owner = help->parentWidget() == &editor ? &editor : nullptr;
                helpReached = keyReaches(help);
            }
        });
        // Leaving the editor should ask nothing; should it ask, the box is closed.
        qobject_cast<QPushButton *>(control("cmdAdd"))->click();
        QCOMPARE(pendingModals(), 0);
        QVERIFY2(!behindReached,
                 "windows behind a modal one are not blocked here, so this test proves nothing");
        QCOMPARE(anchor, QStringLiteral("1004"));
        QVERIFY(owner);
        QVERIFY(helpReached);

        HelpWindow *help = activeHelpWindow();
        QCOMPARE(help, before);
        QVERIFY(help->isVisible());
        QCOMPARE(help->parentWidget(), &w());
        QCOMPARE(help->currentAnchor(), QStringLiteral("1004"));
        QVERIFY(keyReaches(help));
    }

    // Every way to the contents: F1 in the Help menu, the Help menu's entry, the help's own
    // button, and a topic the file lacks.
    void contents()
    {
        QVERIFY(start());
        const std::function<void()> ways[] = {
            [&] {
                auto *menu = w().findChild<QMenu *>(QStringLiteral("mnuHelp"));
                menu->popup(w().mapToGlobal(QPoint(20, 20)));
                QVERIFY(QTest::qWaitForWindowExposed(menu));
                QTest::keyClick(menu, Qt::Key_F1);
                menu->close();
            },
            [&] { w().findChild<QAction *>(QStringLiteral("mnuHelpContents"))->trigger(); },
            [&] {
                HelpWindow *help = showHelp(&w(), 7111);
                QCOMPARE(help->currentAnchor(), QStringLiteral("7111"));
                QTest::mouseClick(help->findChild<QPushButton *>("cmdContents"), Qt::LeftButton);
            },
            [&] { showHelp(&w(), 4242); }};
        for (const auto &way : ways) {
            delete activeHelpWindow();
            w().activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&w()));
            way();
            HelpWindow *help = activeHelpWindow();
            QVERIFY(help && help->isVisible());
            QCOMPARE(help->currentAnchor(), QStringLiteral("contents"));
            QCOMPARE(help->currentTitle(), QStringLiteral("Quillstack Help"));
        }
        QVERIFY(MessageBox::shownTexts().isEmpty());
    }

    void brokenHelpFile_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("byF1");
        QTest::addColumn<QString>("says");
        QTest::newRow("missing, F1") << "missing" << true << "was not found";
        QTest::newRow("a folder of that name") << "folder" << false << "cannot be read";
        QTest::newRow("no contents page") << "no contents" << false << "holds no contents";
    }
    void brokenHelpFile()
    {
        QFETCH(QString, file);
        QFETCH(bool, byF1);
        QFETCH(QString, says);
        if (QFile::exists(QDir(QCoreApplication::applicationDirPath()).filePath(schema::HelpFile)))
            QSKIP("a help file lies beside the test program");
        QVERIFY(start(false));
        const QString path = m_f->folder.file(schema::HelpFile);
        if (file == QLatin1String("folder")) {
            QVERIFY(QDir(m_f->folder.path()).mkdir(schema::HelpFile));
        } else if (file != QLatin1String("missing")) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("<html><body><h2><a name=\"7111\">A page</a></h2></body></html>");
        }
        const auto ask = [&] {
            if (byF1)
                QTest::keyClick(control("cmdAdd"), Qt::Key_F1);
            else
                w().findChild<QAction *>(QStringLiteral("mnuHelpContents"))->trigger();
        };
        answerMessage();
        ask();
        QCOMPARE(MessageBox::shownTexts().size(), 1);
        const QString text = MessageBox::shownTexts().first();
        QVERIFY2(text.contains("\"Qsk.Hlp\"") || text.contains(path), qPrintable(text));
        QVERIFY2(text.contains(says), qPrintable(text));
        QVERIFY(!activeHelpWindow());

        // Once a sound file is in place, help opens.
        QDir(m_f->folder.path()).rmdir(schema::HelpFile);
        QFile::remove(path);
        QVERIFY(QFile::copy(installedHelp(), path));
        ask();
        QVERIFY(activeHelpWindow());
        QCOMPARE(MessageBox::shownTexts().size(), 1);
    }

    void currentFolderFirst()
    {
        QVERIFY(start(false));
        QFile f(m_f->folder.file(schema::HelpFile));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("<html><body><h1><a name=\"contents\">Office copy</a></h1></body></html>");
        f.close();
        HelpWindow *help = showHelp(&w(), 7111);
        QVERIFY(help);
        QCOMPARE(help->currentTitle(), QStringLiteral("Office copy"));
    }

    void linksListAndHistory()
    {
        QVERIFY(start());
        HelpWindow *help = showHelp(&w(), 0);
        QVERIFY(help);
        auto *back = help->findChild<QPushButton *>(QStringLiteral("cmdBack"));
        auto *forward = help->findChild<QPushButton *>(QStringLiteral("cmdForward"));
        QVERIFY(!back->isEnabled());

        // A click on a link of the contents.
        QTextBrowser *browser = help->browser();
        QTextCursor link = browser->document()->find(QStringLiteral("The document list"));
        QVERIFY(!link.isNull());
        link.setPosition(link.selectionStart() + 4);
        QTest::mouseClick(browser->viewport(), Qt::LeftButton, {},
                          browser->cursorRect(link).center());
        QCOMPARE(help->currentAnchor(), QStringLiteral("7111"));
        QCOMPARE(help->currentTitle(), QStringLiteral("The document list"));

        // A page picked from the list.
        auto *list = help->findChild<QListWidget *>(QStringLiteral("lstContents"));
        const auto items = list->findItems(QStringLiteral("Adding a document"), Qt::MatchExactly);
        QCOMPARE(items.size(), 1);
        QCOMPARE(list->currentItem()->text(), QStringLiteral("The document list"));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(items.first()).center());
        QCOMPARE(help->currentAnchor(), QStringLiteral("7001"));

        // Back by button, by key in the page and by key in the list (which leaves the key to
        // the window), then Forward.
        QVERIFY(back->isEnabled());
        QTest::mouseClick(back, Qt::LeftButton);
        QCOMPARE(help->currentAnchor(), QStringLiteral("7111"));
        QCOMPARE(list->currentItem()->text(), QStringLiteral("The document list"));
        QTest::keyClick(browser, Qt::Key_Left, Qt::AltModifier);
        QCOMPARE(help->currentAnchor(), QStringLiteral("contents"));
        QTest::mouseClick(forward, Qt::LeftButton);
        QTest::keyClick(list, Qt::Key_Left, Qt::AltModifier);
        QCOMPARE(help->currentAnchor(), QStringLiteral("contents"));
        QVERIFY(!back->isEnabled());
        QVERIFY(forward->isEnabled());
        QTest::mouseClick(forward, Qt::LeftButton);
        QCOMPARE(help->currentAnchor(), QStringLiteral("7111"));

        // A topic within a page: its page, at that place.
        help->showTopic(7117);
        QCOMPARE(help->currentTitle(), QStringLiteral("The order of the list"));
        QCOMPARE(help->currentAnchor(), QStringLiteral("7117"));
    }

    void oneHelpWindowAtATime()
    {
        QVERIFY(start());
        HelpWindow *first = showHelp(&w(), 7001);
        QVERIFY(first);
        QCOMPARE(showHelp(&w(), 7002), first);
        QCOMPARE(first->currentAnchor(), QStringLiteral("7002"));
        // Esc closes it; the next request opens a new one.
        QVERIFY(QTest::qWaitForWindowActive(first));
        QTest::keyClick(first->browser(), Qt::Key_Escape);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!activeHelpWindow());
        QVERIFY(showHelp(&w(), 7003));
        QCOMPARE(activeHelpWindow()->currentAnchor(), QStringLiteral("7003"));
    }

private:
    std::unique_ptr<HelpSupport> m_support;
};

QTEST_MAIN(tst_Help)
#include "tst_help.moc"
