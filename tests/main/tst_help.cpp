// Help: the help file's topics and pages, F1 on the real windows (the modal editor included),
// the contents, and a help file that is missing or damaged.
#include "support/TestSupport.h"

#include "editor/frmChange.h"
#include "main/HelpBook.h"
#include "main/HelpSupport.h"
#include "main/HelpWindow.h"
#include "main/frmMain.h"
#include "support/MainWindow.h"
#include "store/DataControl.h"
#include "widgets/MessageBox.h"
#include "store/Recordset.h"
#include "store/Schema.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScopeGuard>
#include <QTextBrowser>
#include <QTimer>

#include <algorithm>

using namespace qs;
using namespace qs::test;

namespace {

QString installedHelp()
{
    return QDir(buildDir()).filePath(schema::HelpFile);
}

QList<int> topicsIn(const QWidget &window)
{
    QSet<int> topics;
    const auto add = [&](const QObject *o) {
        bool ok = false;
        const int topic = o->property("helpTopic").toInt(&ok);
        if (ok && topic > 0)
            topics.insert(topic);
    };
    add(&window);
    for (const QWidget *w : window.findChildren<QWidget *>())
        add(w);
    for (const QAction *a : window.findChildren<QAction *>())
        add(a);
    QList<int> sorted(topics.begin(), topics.end());
    std::sort(sorted.begin(), sorted.end());
    return sorted;
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

// The main window over a few documents, in a folder of its own that holds the help file.
class HelpMainWindow
{
public:
    explicit HelpMainWindow(bool withHelp = true)
    {
        auto db = makeDatabase(folder.file(schema::DatabaseFile));
        const qint16 lease = addType(*db, QStringLiteral("Lease"));
        addDocument(*db, {1, "Office lease", lease, QDate(2024, 1, 5), "Cedar Properties",
                          "Signed copy in the safe."});
        addDocument(*db, {2, "Bank statement", 0, QDate(2025, 3, 31), "First City Bank", ""});
        if (withHelp)
            QFile::copy(installedHelp(), folder.file(schema::HelpFile));
    }

    bool start()
    {
        w.setToday([] { return QDate(2025, 5, 20); });
        if (!w.Form_Initialize())
            return false;
        w.show();
        return QTest::qWaitForWindowActive(&w);
    }

    TestFolder folder;
    test::MainWindow w;
};

bool helpBesideTestProgram()
{
    return QFile::exists(QDir(QCoreApplication::applicationDirPath()).filePath(schema::HelpFile));
}

} // namespace

class tst_Help : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(QFile::exists(installedHelp()), qPrintable(installedHelp()));
        m_support = std::make_unique<HelpSupport>();
    }

    void cleanup()
    {
        delete activeHelpWindow();
        MessageBox::clearAnswers();
        MessageBox::clearShownTexts();
    }

    void everyControlTopicIsAnAnchor_data()
    {
        QTest::addColumn<bool>("editor");
        QTest::addColumn<QList<int>>("expected");
        QTest::newRow("main window") << false << QList<int>{7001, 7002, 7003, 7111, 7112, 7113,
                                                            7114, 7115, 7116, 7117, 7118};
        QTest::newRow("editor") << true << QList<int>{1001, 1002, 1003, 1004, 1006};
    }
    void everyControlTopicIsAnAnchor()
    {
        QFETCH(bool, editor);
        QFETCH(QList<int>, expected);
        HelpMainWindow main;
        QVERIFY(main.start());
        QList<int> topics;
        if (editor) {
            frmChange window(*main.w.database(), *main.w.documents()->recordset(), nullptr,
                             nullptr);
            topics = topicsIn(window);
        } else {
            topics = topicsIn(main.w);
        }
        QCOMPARE(topics, expected);
        const auto book = HelpBook::load(installedHelp());
        QVERIFY2(book.ok(), qPrintable(book.error()));
        for (int topic : topics)
            QVERIFY2(book->pageOf(QString::number(topic)) >= 0, qPrintable(QString::number(topic)));
    }

    void helpFileHoldsTogether()
    {
        const auto book = HelpBook::load(installedHelp());
        QVERIFY2(book.ok(), qPrintable(book.error()));
        QCOMPARE(book->contentsPage(), 0);

        const QStringList anchors = book->anchors();
        QStringList twice;
        for (const QString &a : anchors) {
            if (anchors.count(a) > 1 && !twice.contains(a))
                twice << a;
        }
        QVERIFY2(twice.isEmpty(), qPrintable(twice.join(u' ')));
        for (int i = 0; i < book->pageCount(); ++i) {
            QVERIFY2(!book->page(i).title.isEmpty(), qPrintable(QString::number(i)));
            QVERIFY2(!book->page(i).anchors.isEmpty(), qPrintable(book->page(i).title));
        }
        for (const QString &link : book->links())
            QVERIFY2(book->pageOf(link) >= 0, qPrintable(link));

        // The contents leads to every page.
        const QStringList links = book->links();
        for (int i = 1; i < book->pageCount(); ++i)
            QVERIFY2(links.contains(book->page(i).anchors.first()),
                     qPrintable(book->page(i).title));

        // Every picture the help shows lies beside it, and every picture there is shown.
        const QDir dir = QFileInfo(installedHelp()).dir();
        const QStringList images = book->images();
        QVERIFY(!images.isEmpty());
        for (const QString &image : images)
            QVERIFY2(QFileInfo::exists(dir.filePath(image)), qPrintable(image));
        const QStringList pictures = QDir(dir.filePath(QStringLiteral("images")))
                                         .entryList({QStringLiteral("*.png")}, QDir::Files);
        for (const QString &picture : pictures)
            QVERIFY2(images.contains(QStringLiteral("images/") + picture), qPrintable(picture));
    }

    void f1OnMainWindow_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("anchor");
        QTest::newRow("list") << "grdInfo"
                              << "7111";
        QTest::newRow("Add") << "cmdAdd"
                             << "7001";
        QTest::newRow("Change") << "cmdChange"
                                << "7002";
        QTest::newRow("Delete") << "cmdDelete"
                                << "7003";
        QTest::newRow("type filter") << "cmbType"
                                     << "7114";
        QTest::newRow("date filter") << "cmbDate"
                                     << "7115";
        QTest::newRow("description filter") << "txtFilterDesc"
                                            << "7113";
        QTest::newRow("who filter") << "txtFilterWho"
                                    << "7112";
        QTest::newRow("note filter") << "txtFilterNote"
                                     << "7112";
        QTest::newRow("ID (descending)") << "Order_0"
                                         << "7116";
        QTest::newRow("Description order") << "Order_1"
                                           << "7117";
        QTest::newRow("ID order") << "Order_2"
                                  << "7118";
        QTest::newRow("Filter On has no topic") << "chkFilterOn"
                                                << "contents";
        QTest::newRow("Set as default has no topic") << "cmdSetAsDefault"
                                                     << "contents";
    }
    void f1OnMainWindow()
    {
        QFETCH(QString, control);
        QFETCH(QString, anchor);
        HelpMainWindow main;
        QVERIFY(main.start());
        auto *target = main.w.findChild<QWidget *>(control);
        QVERIFY(target);
        target->setFocus();
        QWidget *focus = QApplication::focusWidget();
        QVERIFY(focus == target || target->isAncestorOf(focus));

        QTest::keyClick(focus, Qt::Key_F1);
        HelpWindow *help = activeHelpWindow();
        QVERIFY(help);
        QVERIFY(help->isVisible());
        QCOMPARE(help->currentAnchor(), anchor);
        QVERIFY(!help->currentTitle().isEmpty());
        QCOMPARE(help->parentWidget(), &main.w);
        QVERIFY(keyReaches(help));
    }

    void f1InsideAControl_data()
    {
        QTest::addColumn<bool>("dropDown");
        QTest::addColumn<QString>("anchor");
        QTest::newRow("text part of the type list") << false << "7114";
        QTest::newRow("open drop-down of the date list") << true << "7115";
    }
    void f1InsideAControl()
    {
        QFETCH(bool, dropDown);
        QFETCH(QString, anchor);
        HelpMainWindow main;
        QVERIFY(main.start());
        QWidget *inner = nullptr;
        if (dropDown) {
            auto *date = main.w.findChild<QComboBox *>(QStringLiteral("cmbDate"));
            date->showPopup();
            inner = date->view();
            QVERIFY(QTest::qWaitForWindowExposed(inner->window()));
        } else {
            inner = main.w.findChild<QComboBox *>(QStringLiteral("cmbType"))->lineEdit();
        }
        QVERIFY(inner);
        QTest::keyClick(inner, Qt::Key_F1);
        QVERIFY(activeHelpWindow());
        QCOMPARE(activeHelpWindow()->currentAnchor(), anchor);
        QCOMPARE(activeHelpWindow()->parentWidget(), &main.w);
    }

    void f1InModalEditor_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("anchor");
        QTest::addColumn<bool>("helpOpenBefore");
        QTest::newRow("ID") << "txtID"
                            << "1001" << false;
        QTest::newRow("description") << "txtDesc"
                                     << "1002" << false;
        QTest::newRow("type") << "cmbType"
                              << "1006" << false;
        QTest::newRow("date") << "txtDate"
                              << "1004" << false;
        QTest::newRow("who") << "txtWho"
                             << "1003" << false;
        QTest::newRow("note has no topic") << "txtNote"
                                           << "contents" << false;
        QTest::newRow("Update has no topic") << "cmdUpdate"
                                             << "contents" << false;
        QTest::newRow("description, help already open") << "txtDesc"
                                                        << "1002" << true;
        QTest::newRow("date, help already open") << "txtDate"
                                                 << "1004" << true;
    }
    void f1InModalEditor()
    {
        QFETCH(QString, control);
        QFETCH(QString, anchor);
        QFETCH(bool, helpOpenBefore);
        HelpMainWindow main;
        QVERIFY(main.start());
        // Help opened from the main window belongs to it, until the editor needs it.
        HelpWindow *before = helpOpenBefore ? showHelp(&main.w, 7001) : nullptr;
        if (helpOpenBefore) {
            QVERIFY(before);
            QCOMPARE(before->parentWidget(), &main.w);
        }
        // Leaving the editor should ask nothing; should it ask, the answer is OK.
        MessageBox::queueAnswer(QMessageBox::Ok);

        struct
        {
            bool editorOpen = false;
            bool behindReached = true;
            bool helpShown = false;
            QString anchor;
            bool ownedByEditor = false;
            bool helpReached = false;
        } seen;
        QTimer::singleShot(0, &main.w, [&] {
            QWidget *modal = QApplication::activeModalWidget();
            // Whatever happens here, the modal window closes, so the test goes on.
            const auto close = qScopeGuard([modal] {
                if (auto *dialog = qobject_cast<QDialog *>(modal))
                    dialog->reject();
            });
            auto *editor = qobject_cast<frmChange *>(modal);
            seen.editorOpen = editor != nullptr;
            if (!editor)
                return;
            {
                // A window of the main window's own is blocked while the editor is open.
                QWidget behind(&main.w, Qt::Window);
                behind.resize(200, 100);
                behind.show();
                if (QTest::qWaitForWindowExposed(&behind))
                    seen.behindReached = keyReaches(&behind);
            }
            editor->activateWindow();
            auto *target = editor->findChild<QWidget *>(control);
            if (!target || !QTest::qWaitForWindowActive(editor))
                return;
            target->setFocus();
            QWidget *focus = QApplication::focusWidget();
            if (focus != target && !target->isAncestorOf(focus))
                return;
            QTest::keyClick(focus, Qt::Key_F1);
            HelpWindow *help = activeHelpWindow();
            seen.helpShown = help && help->isVisible();
            if (!help)
                return;
            seen.anchor = help->currentAnchor();
            seen.ownedByEditor = help->parentWidget() == editor;
            seen.helpReached = keyReaches(help);
        });
        main.w.findChild<QPushButton *>(QStringLiteral("cmdAdd"))->click();

        QVERIFY(seen.editorOpen);
        QVERIFY2(!seen.behindReached,
                 "windows behind a modal one are not blocked here, so this test proves nothing");
        QVERIFY(seen.helpShown);
        QCOMPARE(seen.anchor, anchor);
        QVERIFY(seen.ownedByEditor);
        QVERIFY(seen.helpReached);

        // The editor has gone; the help is still open, now with the main window.
        HelpWindow *help = activeHelpWindow();
        QVERIFY(help);
        if (helpOpenBefore)
            QCOMPARE(help, before);
        QVERIFY(help->isVisible());
        QCOMPARE(help->parentWidget(), &main.w);
        QCOMPARE(help->currentAnchor(), anchor);
        QVERIFY(keyReaches(help));
    }

    void contents_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Help menu, Contents...") << "menu entry";
        QTest::newRow("Contents button of the help") << "button";
        QTest::newRow("a topic the file lacks") << "unknown topic";
        QTest::newRow("F1 in the Help menu") << "F1 in menu";
    }
    void contents()
    {
        QFETCH(QString, how);
        HelpMainWindow main;
        QVERIFY(main.start());
        if (how == QLatin1String("menu entry")) {
            main.w.findChild<QAction *>(QStringLiteral("mnuHelpContents"))->trigger();
        } else if (how == QLatin1String("button")) {
            HelpWindow *help = showHelp(&main.w, 7111);
            QVERIFY(help);
            QCOMPARE(help->currentAnchor(), QStringLiteral("7111"));
            QTest::mouseClick(help->findChild<QPushButton *>(QStringLiteral("cmdContents")),
                              Qt::LeftButton);
        } else if (how == QLatin1String("unknown topic")) {
            showHelp(&main.w, 4242);
        } else {
            auto *menu = main.w.findChild<QMenu *>(QStringLiteral("mnuHelp"));
            menu->popup(main.w.mapToGlobal(QPoint(20, 20)));
            QVERIFY(QTest::qWaitForWindowExposed(menu));
            QTest::keyClick(menu, Qt::Key_F1);
            menu->close();
        }
        HelpWindow *help = activeHelpWindow();
        QVERIFY(help);
        QVERIFY(help->isVisible());
        QCOMPARE(help->currentAnchor(), QStringLiteral("contents"));
        QCOMPARE(help->currentTitle(), QStringLiteral("Quillstack Help"));
        QVERIFY(MessageBox::shownTexts().isEmpty());
    }

    void brokenHelpFile_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("byF1");
        QTest::addColumn<QString>("says");
        QTest::newRow("missing, Contents") << "missing" << false << "was not found";
        QTest::newRow("missing, F1") << "missing" << true << "was not found";
        QTest::newRow("a folder of that name") << "folder" << false << "cannot be read";
        QTest::newRow("empty") << "empty" << true << "holds no contents";
        QTest::newRow("no contents page") << "no contents" << false << "holds no contents";
    }
    void brokenHelpFile()
    {
        QFETCH(QString, file);
        QFETCH(bool, byF1);
        QFETCH(QString, says);
        if (helpBesideTestProgram())
            QSKIP("a help file lies beside the test program");
        HelpMainWindow main(false);
        QVERIFY(main.start());
        const QString path = main.folder.file(schema::HelpFile);
        if (file == QLatin1String("folder")) {
            QVERIFY(QDir(main.folder.path()).mkdir(schema::HelpFile));
        } else if (file != QLatin1String("missing")) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            if (file == QLatin1String("no contents"))
                f.write("<html><body><h2><a name=\"7111\">A page</a></h2></body></html>");
        }

        const auto ask = [&] {
            if (byF1)
                QTest::keyClick(main.w.findChild<QWidget *>(QStringLiteral("cmdAdd")), Qt::Key_F1);
            else
                main.w.findChild<QAction *>(QStringLiteral("mnuHelpContents"))->trigger();
        };
        MessageBox::queueAnswer(QMessageBox::Ok);
        ask();
        QCOMPARE(MessageBox::shownTexts().size(), 1);
        const QString text = MessageBox::shownTexts().first();
        QVERIFY2(text.contains(QStringLiteral("\"Qsk.Hlp\"")) || text.contains(path),
                 qPrintable(text));
        QVERIFY2(text.contains(says), qPrintable(text));
        QVERIFY(!activeHelpWindow());

        // Once a sound file is in place, help opens.
        QDir(main.folder.path()).rmdir(schema::HelpFile);
        QFile::remove(path);
        QVERIFY(QFile::copy(installedHelp(), path));
        ask();
        QVERIFY(activeHelpWindow());
        QCOMPARE(MessageBox::shownTexts().size(), 1);
    }

    void currentFolderFirst()
    {
        HelpMainWindow main(false);
        QVERIFY(main.start());
        QFile f(main.folder.file(schema::HelpFile));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("<html><body><h1><a name=\"contents\">Office copy</a></h1></body></html>");
        f.close();
        HelpWindow *help = showHelp(&main.w, 7111);
        QVERIFY(help);
        QCOMPARE(help->currentTitle(), QStringLiteral("Office copy"));
    }

    void linksListAndHistory()
    {
        HelpMainWindow main;
        QVERIFY(main.start());
        HelpWindow *help = showHelp(&main.w, 0);
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

        // Back by button and by key, then Forward.
        QVERIFY(back->isEnabled());
        QTest::mouseClick(back, Qt::LeftButton);
        QCOMPARE(help->currentAnchor(), QStringLiteral("7111"));
        QCOMPARE(list->currentItem()->text(), QStringLiteral("The document list"));
        QTest::keyClick(browser, Qt::Key_Left, Qt::AltModifier);
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
        HelpMainWindow main;
        QVERIFY(main.start());
        HelpWindow *first = showHelp(&main.w, 7001);
        QVERIFY(first);
        QCOMPARE(showHelp(&main.w, 7002), first);
        QCOMPARE(first->currentAnchor(), QStringLiteral("7002"));

        // Esc closes it; the next request opens a new one.
        QVERIFY(QTest::qWaitForWindowActive(first));
        QTest::keyClick(first->browser(), Qt::Key_Escape);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!activeHelpWindow());
        QVERIFY(showHelp(&main.w, 7003));
        QCOMPARE(activeHelpWindow()->currentAnchor(), QStringLiteral("7003"));
    }

private:
    std::unique_ptr<HelpSupport> m_support;
};

QTEST_MAIN(tst_Help)
#include "tst_help.moc"
