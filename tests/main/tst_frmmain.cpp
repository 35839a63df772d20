// The main window: start-up, the list and the detail panel, the live filter, the commands a
// database that can only be read refuses, every window's names for screen readers, help (F1
// on the real windows, the modal editor included, the help window's own navigation, a help
// file missing or damaged), and the export of the list as CSV.

#include "editor/EditorState.h"
#include "editor/frmChange.h"
#include "import/frmConverting.h"
#include "main/CsvExport.h"
#include "main/DocumentIndexService.h"
#include "main/DocumentQuery.h"
#include "main/HelpBook.h"
#include "main/HelpSupport.h"
#include "main/HelpWindow.h"
#include "reports/frmPrint.h"
#include "store/Schema.h"
#include "support/FaultVfs.h"
#include "support/MainWindow.h"
#include "types/frmAddType.h"
#include "types/frmTypes.h"
#include "widgets/FileDialog.h"

#include <csignal>
#include <sys/resource.h>

using namespace qs;
using namespace qs::test;

namespace {

const auto installedHelp = [] { return QDir(buildDir()).filePath(schema::HelpFile); };

const auto seedThree = [](Database &db) {
    const qint16 lease = addType(db, "Lease");
    addDocument(db, {20, "beta", lease, QDate(2024, 3, 1), "Bank", "note b"});
    addDocument(db, {10, "Alpha", 0, QVariant(), "Ann"});
    addDocument(db, {30, "gamma", 99, QDate(999, 12, 4)});
};

// Every third a lease, every other one from the bank, dated 2 January 2026 onwards.
const auto seedSixty = [](Database &db) {
    Transaction t(db);
    for (int i = 1; i <= 60; ++i)
        addDocument(db, {i, QString(i % 3 ? "Invoice %1" : "Lease %1").arg(i), 0,
                         QDate(2026, 1, 1).addDays(i), i % 2 ? "Bank" : ""});
    QVERIFY(t.commit());
};

const QByteArray kHead = "\xEF\xBB\xBFID,Description,Type,Date,Who,Note\r\n";

// Lowers the largest file this process may write, so that writing fails even for root.
struct FileSizeLimit
{
    rlimit saved{};
    explicit FileSizeLimit(bool on)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &saved);
        const rlimit lowered{on ? 64 * 1024 : saved.rlim_cur, saved.rlim_max};
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved); }
};

const auto inheritsAny = [](const QObject *o, std::initializer_list<const char *> kinds) {
    return std::any_of(kinds.begin(), kinds.end(), [o](const char *k) { return o->inherits(k); });
};

// The controls a screen reader meets by themselves (not as parts of a combo box, a spin box
// or a list) that take the focus or show something to read, yet have no name.
const auto unnamed = [](QWidget *window) {
    QStringList out;
    const QList<QWidget *> all = window->findChildren<QWidget *>() << window;
    for (QWidget *w : all) {
        bool part = inheritsAny(w, {"QScrollBar", "QHeaderView"});
        for (QWidget *p = w; p && !part; p = p->parentWidget())
            part =
                p->objectName().startsWith("qt_") ||
                (p != w && inheritsAny(p, {"QComboBox", "QAbstractSpinBox", "QAbstractItemView"}));
        const auto *frame = qobject_cast<const QFrame *>(w);
        const bool shows =
            inheritsAny(w, {"QLabel", "QProgressBar", "QAbstractScrollArea", "QLineEdit",
                            "QComboBox", "QAbstractButton", "QAbstractSlider", "QGroupBox"}) ||
            (frame && frame->frameShape() != QFrame::NoFrame &&
             !w->findChildren<QWidget *>(Qt::FindDirectChildrenOnly).isEmpty());
        QAccessibleInterface *spoken = QAccessible::queryAccessibleInterface(w);
        if (!part && (w->focusPolicy() != Qt::NoFocus || shows) &&
            (!spoken || spoken->text(QAccessible::Name).trimmed().isEmpty()))
            out << QString(w->metaObject()->className()) + ' ' + w->objectName();
    }
    return out.join(", ");
};

} // namespace

class tst_frmMain : public QObject
{
    Q_OBJECT

    HelpSupport m_help;
    std::unique_ptr<MainWindowFixture> f;

    template <typename T = QWidget> T *c(const QString &n) const
    {
        return f->w().findChild<T *>(n);
    }
    Recordset *rs() const { return f->w().documents()->recordset(); }
    int currentId() const { return rs()->value("ID").toInt(); }
    QList<int> ids() const
    {
        QList<int> out;
        for (int i = 0; i < rs()->rowCount(); ++i)
            out << rs()->valueAt(i, "ID").toInt();
        return out;
    }
    void filterOn() const { QTest::keyClick(c<QCheckBox>("chkFilterOn"), Qt::Key_Space); }
    // The main window, in a folder that holds the help file.
    bool start() { return QFile::copy(installedHelp(), schema::HelpFile) && f->open(nullptr); }
    // The anchor the help window shows and the window it is over: "7001 frmMain".
    static QString shownHelp()
    {
        const HelpWindow *h = activeHelpWindow();
        return h && h->isVisible() ? h->currentAnchor() + ' ' + h->parentWidget()->objectName()
                                   : "";
    }
    // Back to the window after a message box, for shortcuts that need it active.
    bool activate() const { return f->w().activateWindow(), QTest::qWaitForWindowActive(&f->w()); }

private Q_SLOTS:
    void init() { f = std::make_unique<MainWindowFixture>(); }
    void cleanup()
    {
        delete activeHelpWindow();
        f.reset();
        clearPendingModals();
        MessageBox::clearShownTexts();
        FileDialog::clearFileNames();
    }

    // A first start, About, Exit and the close box (neither asks), and Alt with a menu's
    // letter.
    void firstStartMenusAndExit()
    {
        QVERIFY(f->open(nullptr));
        QVERIFY(QFile::exists("Qsk.MDB") && rs()->rowCount() == 0 && !c("panView")->isVisible());
        for (const char *name : {"mnuFile", "mnuMaintenance", "mnuHelp"}) {
            QTest::keyClick(&f->w(), name[3], Qt::AltModifier);
            QTRY_VERIFY2(c<QMenu>(name)->isVisible(), name);
            c<QMenu>(name)->close();
        }
        c<QAction>("mnuHelpAbout")->trigger(); // a box nobody answers is closed at once
        c<QAction>("mnuFileExit")->trigger();
        QVERIFY(!f->w().isVisible());
        f->w().show();
        QVERIFY(f->w().close());
        QCOMPARE(MessageBox::shownTexts(), QStringList{"Quillstack - version 3.2.15"});
    }

    void missingTemplateEndsTheStart()
    {
        TestFolder folder(false);
        test::MainWindow w;
        const Status s = w.Form_Initialize();
        // Only the real program's folder has a template beside it.
        if (QFile::exists(QDir(QCoreApplication::applicationDirPath()).filePath("QskDef.MDB")))
            QSKIP("a template lies beside the test program");
        QVERIFY(!s.ok() && s.message().contains("QskDef.MDB"));
    }

    // The option follows the saved text only when it matches exactly; the order, leniently.
    void savedOrder_data()
    {
        columns<QString, int>("saved", "option");
        row("DESCRIPTION", "DESCRIPTION", 1);
        row("ID", "ID", 2);
        row("outer blanks", " ID ", 0);
        row("small letters", "description", 0);
    }
    void savedOrder()
    {
        const auto [saved, option] = fetch<QString, int>("saved", "option");
        QSettings("Quillstack", "Quillstack").setValue("Default/Order", saved);
        QVERIFY(f->open(seedThree));
        for (int i = 0; i < 3; ++i)
            QCOMPARE(c<QRadioButton>(QString("Order_%1").arg(i))->isChecked(), i == option);
        QCOMPARE(ids(), QList<int>({10, 20, 30})); // not the usual highest number first
    }

    // The panel follows the current row; Delete in the list is the Delete command.
    void detailPanelAndDeleteKey()
    {
        QVERIFY(f->open(seedThree));
        auto *grid = c<DataGrid>("grdInfo");
        const auto panel = [&] {
            QStringList out;
            for (const char *name : {"lblID", "lblDesc", "lblType", "lblDate", "lblWho"})
                out << c<QLabel>(name)->text();
            return out << c<QPlainTextEdit>("lblNote")->toPlainText();
        };
        // A type key no type has and a three-digit year; then type key 0 and no date.
        QCOMPARE(panel(), QStringList({" 30", " gamma", " ", " 12/4/0999", " ", ""}));
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_Down);
        QCOMPARE(panel(), QStringList({" 20", " beta", " Lease", " 3/1/2024", " Bank", "note b"}));
        QTest::keyClick(grid, Qt::Key_Down);
        QCOMPARE(panel(), QStringList({" 10", " Alpha", " ", " ", " Ann", ""}));
        rs()->moveFirst(); // moved by program: the highlight follows
        QCOMPARE(grid->currentIndex().row(), 0);
        QCOMPARE(panel().at(1), " gamma");
        for (const auto answer : {QMessageBox::Cancel, QMessageBox::Ok}) {
            QVERIFY(activate());
            answerMessage(answer);
            QTest::keyClick(grid, Qt::Key_Delete);
        }
        QCOMPARE(MessageBox::shownTexts(), QStringList(2, "Delete \"gamma\" (30)"));
        QCOMPARE(ids(), QList<int>({20, 10}));
        // A record deleted elsewhere hides the panel rather than showing it stale.
        QVERIFY(f->w().database()->exec({"DELETE FROM Documents WHERE ID = 10", {}}));
        rs()->moveNext();
        QVERIFY(!c("panView")->isVisible());
    }

    // Stored text is data: markup in any field shows as its own characters, and an image
    // it names is never read.
    void storedMarkupShowsAsText_data()
    {
        QTest::addColumn<QString>("widget");
        QTest::newRow("Description") << "lblDesc";
        QTest::newRow("Who") << "lblWho";
        QTest::newRow("Note") << "lblNote";
        QTest::newRow("Type") << "lblType";
        QTest::newRow("Description in the delete question") << "qt_msgbox_label";
    }
    void storedMarkupShowsAsText()
    {
        QFETCH(QString, widget);
        const QString field = QTest::currentDataTag();
        // Read as markup, the picture would make the text 900 pixels tall.
        const QString markup = QString("<img src=\"%1\"><h1>x</h1>").arg(f->folder.file("t.png"));
        QVERIFY(QImage(10, 900, QImage::Format_RGB32).save(f->folder.file("t.png")));
        QVERIFY(f->open([&](Database &db) {
            Doc d{1, markup, addType(db, field == "Type" ? markup : "t")};
            (field == "Who" ? d.who : d.note) = markup;
            addDocument(db, d);
        }));
        int height = -1;
        QString text;
        const auto read = [&](QWidget *shown) {
            auto *label = qobject_cast<QLabel *>(shown);
            text = label ? label->text() : qobject_cast<QPlainTextEdit *>(shown)->toPlainText();
            height = shown->sizeHint().height();
        };
        answerModal<QMessageBox>([&](QMessageBox &box) { read(box.findChild<QLabel *>(widget)); });
        widget == "qt_msgbox_label" ? f->w().cmdDelete_Click() : read(c(widget));
        QVERIFY2(height > 0 && height < 200 && text.contains(markup),
                 qPrintable(QString::number(height) + ' ' + text));
    }

    // Laying out a value of a megabyte took seconds: the panel and the grid show its start.
    void hugeValuesShowWhatFits()
    {
        QVERIFY(f->open([](Database &db) {
            addDocument(
                db,
                {1, QString(1 << 20, 'd'), 0, {}, QString(1 << 20, 'w'), QString(1 << 20, 'n')});
        }));
        for (const QString &shown :
             {c<QLabel>("lblDesc")->text(), c<QLabel>("lblWho")->text(),
              c<QPlainTextEdit>("lblNote")->toPlainText(),
              c<DataGrid>("grdInfo")->model()->index(0, 0).data().toString()}) {
            QVERIFY(shown.contains("ddd") || shown.contains("www") || shown.contains("nnn"));
            QCOMPARE_LT(shown.size(), 20000);
        }
    }

    // A database that can only be read is said at start, and every change is refused with
    // the same words before any window opens.
    void readOnlyDatabase()
    {
        FaultVfs vfs; // the file reads as one the user may not write: permissions do not stop root
        seedThree(*makeDatabase("Qsk.MDB"));
        vfs.denyWriting(f->folder.file("Qsk.MDB"));
        f->window = std::make_unique<test::MainWindow>();
        QVERIFY(f->w().Form_Initialize());
        f->w().show();
        const QString told = MessageBox::readOnlyText("Qsk.MDB");
        QVERIFY(f->w().database()->isReadOnly() && told.contains(f->folder.file("Qsk.MDB")));
        QTRY_COMPARE(MessageBox::shownTexts(), QStringList{told});
        QVERIFY(activate());
        frmTypes types(*f->w().database(), &f->w());
        QVERIFY(types.Form_Load());
        auto *grid = c<DataGrid>("grdInfo");
        const std::function<void()> changes[] = {
            [&] { c<QPushButton>("cmdAdd")->click(); },
            [&] { QTest::keyClick(grid, Qt::Key_Return); },
            [&] { QTest::keyClick(grid, Qt::Key_Delete); },
            [&] { types.findChild<QPushButton *>("cmdAdd")->click(); },
            [&] { types.findChild<QPushButton *>("cmdDelete")->click(); }};
        // Any window that opens instead of a refusal takes this and is closed.
        answerModal([](QWidget *w) { return !qobject_cast<QMessageBox *>(w); }, {});
        for (int i = 0; i < 5; ++i) {
            QVERIFY(activate());
            changes[i]();
            QCOMPARE(MessageBox::shownTexts(), QStringList(i + 2, told));
        }
        QCOMPARE(pendingModals(), 1);
    }

    // ------------------------------------------------------------ the live filter

    // Ticking filters, unticking restores; the current record stays current through it and
    // through another order when it can, shown with up to five rows above it.
    void filterOnAndOffKeepsTheRecord_data()
    {
        QTest::addColumn<bool>("withIndex");
        QTest::newRow("SQL path") << false;
        QTest::newRow("index path") << true;
    }
    void filterOnAndOffKeepsTheRecord()
    {
        QFETCH(bool, withIndex);
        QVERIFY(f->open(seedSixty));
        if (withIndex)
            f->w().documentIndex()->waitUntilReady();
        // Rows listed, the first and the current ID, and the row at the top of the grid.
        const auto seen = [&, grid = c<DataGrid>("grdInfo")] {
            return QList<int>{int(ids().size()), ids().value(0), currentId(), grid->rowAt(0)};
        };
        c<QLineEdit>("txtFilterDesc")->setText("LEASE");
        QCOMPARE(ids().size(), 60);    // not ticked: nothing happens yet
        rs()->setAbsolutePosition(20); // ID 40, no lease
        filterOn();
        QCOMPARE(seen(), QList<int>({20, 60, 60, 0}));
        rs()->setAbsolutePosition(4); // Lease 48
        filterOn();
        QCOMPARE(seen(), QList<int>({60, 60, 48, 7}));
        QCOMPARE(c<QLineEdit>("txtFilterDesc")->text(), "LEASE"); // kept for next time
        rs()->setAbsolutePosition(2);                             // ID 58
        QTest::keyClick(c<QRadioButton>("Order_2"), Qt::Key_Space);
        QCOMPARE(seen().first(3), QList<int>({60, 1, 58}));
        rs()->setAbsolutePosition(58); // ID 59
        QTest::keyClick(c<QRadioButton>("Order_0"), Qt::Key_Space);
        QCOMPARE(seen(), QList<int>({60, 60, 59, 0})); // only one row above exists
    }

    // Each filter box re-runs the filter as it changes; small letters (only those) are typed
    // as capitals, and odd text finds nothing, safely. The detail panel hides on an empty list
    // and nothing else moves or grows.
    void everyFilterBoxRefreshes_data()
    {
        QTest::addColumn<QStringList>("typed"); // into the box, as shown
        QTest::newRow("txtFilterDesc") << QStringList{"'", "'é"};
        QTest::newRow("txtFilterWho") << QStringList{"az`{1", "AZ`{1é"};
        QTest::newRow("txtFilterNote") << QStringList{"o'[b\" --", "O'[B\" --é"};
        QTest::newRow("cmbDate") << QStringList{"1", "5"}; // last 30 days; no date
    }
    void everyFilterBoxRefreshes()
    {
        QFETCH(QStringList, typed);
        QVERIFY(f->open(seedSixty));
        const auto geometries = [&] {
            QCoreApplication::processEvents();
            QList<QRect> out;
            for (const char *name : {"ElasticOne1", "cmdAdd", "ElasticOne4", "cmbType",
                                     "txtFilterDesc", "chkFilterOn", "ElasticOne3", "Order_0"})
                out << QRect(c(name)->mapTo(&f->w(), QPoint()), c(name)->size());
            return out;
        };
        const QList<QRect> shown = geometries();
        filterOn();
        auto *box = c<QLineEdit>(QTest::currentDataTag());
        auto *date = c<QComboBox>("cmbDate");
        if (box) {
            box->setFocus();
            QTest::keyClicks(box, typed.first());
            QKeyEvent accented(QEvent::KeyPress, 0, Qt::NoModifier, "é");
            QApplication::sendEvent(box, &accented);
            // The caret is kept through every refresh.
            QVERIFY2(QApplication::focusWidget() == box && box->text() == typed.last(),
                     qPrintable(box->text()));
        } else {
            date->setCurrentIndex(typed.first().toInt()); // before 12/4/2026: none of these
        }
        QCOMPARE(
            QVariantList({MessageBox::shownTexts(), int(ids().size()), c("panView")->isHidden()}),
            QVariantList({QStringList(), 0, true}));
        QCOMPARE(geometries(), shown);
        box ? box->clear() : date->setCurrentIndex(0);
        QCOMPARE(ids().size(), 60);
        if (!box) {
            date->setCurrentIndex(typed.last().toInt());
            QCOMPARE(ids().size(), 0);
        }
    }

    // Typing into the type list is no choice, however the typing ends; a choice from the
    // list, or an arrow key on the closed box, is.
    void typingInTheTypeListChoosesNothing_data()
    {
        // The keys are pressed after typing; then the rows listed and where the caret is.
        columns<QString, QList<int>, int, QString>("typed", "keys", "listed", "focus");
        using K = QList<int>;
        row("completed, Tab", "le", K{Qt::Key_Tab}, 60, "cmbDate");
        row("whole name, Enter", "Lease", K{Qt::Key_Return}, 60, "cmbType");
        row("focus taken away", "bill", K{}, 60, "txtFilterWho");
        row("arrow on the closed box", "", K{Qt::Key_Down}, 5, "cmbType");
        row("chosen from the open list", "",
            K{Qt::Key_F4, Qt::Key_Down, Qt::Key_Down, Qt::Key_Return}, 10, "cmbType");
    }
    void typingInTheTypeListChoosesNothing()
    {
        const auto [typed, keys] = fetch<QString, QList<int>>("typed", "keys");
        QVERIFY(f->open([](Database &db) {
            seedSixty(db);
            const qint16 bill = addType(db, "Bill"), lease = addType(db, "Lease");
            QVERIFY(db.exec({"UPDATE Documents SET DocumentType = ? WHERE ID <= 5", {bill}}));
            QVERIFY(db.exec({"UPDATE Documents SET DocumentType = ? WHERE ID > 50", {lease}}));
        }));
        filterOn();
        auto *type = c<QComboBox>("cmbType");
        type->setFocus();
        type->lineEdit()->selectAll();
        QTest::keyClicks(type, typed);
        QWidget *target = type;
        for (int key : keys) {
            QTest::keyClick(target, Qt::Key(key));
            // Keys go to the open list while it shows.
            target = type->view()->isVisible() ? type->view() : QApplication::focusWidget();
        }
        if (keys.isEmpty())
            c("txtFilterWho")->setFocus();
        QTEST(int(ids().size()), "listed");
        QTEST(QApplication::focusWidget()->objectName(), "focus");
    }

    // ------------------------------------------------------------ names for screen readers

    // Every window, on an empty database so that no value fills in a name by chance. The
    // resizing panels carry the names that the help and the tests use.
    void everyWindowNamesItsControls()
    {
        QVERIFY(f->open(nullptr));
        Database &db = *f->w().database();
        addDocument(db, {1});
        gAddMode = true;
        frmTypes types(db);
        QVERIFY(types.Form_Load());
        frmChange editor(db, *rs(), nullptr, nullptr);
        frmAddType adding(db, *types.findChild<DataControl *>("dtaTypes")->recordset());
        frmPrint report(db, f->w().documents()->recordSource());
        QVERIFY(editor.Form_Load() && report.Form_Activate());
        frmConverting converting;
        HelpWindow help;
        QList<int> panels; // how many of ElasticOne1, ElasticOne2, ... each window has
        for (QWidget *window : std::initializer_list<QWidget *>{&f->w(), &editor, &types, &adding,
                                                                &report, &converting, &help}) {
            QCOMPARE(unnamed(window), QString());
            panels << 0;
            while (window->findChild<QWidget *>(QString("ElasticOne%1").arg(panels.last() + 1)))
                ++panels.last();
        }
        QCOMPARE(panels, QList<int>({4, 1, 1, 1, 2, 0, 0}));
    }

    // ------------------------------------------------------------ help

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
            QVERIFY2(helpTopicOf(c(name)) == topic, name);
        const auto book = HelpBook::load(installedHelp());
        QVERIFY2(book.ok(), qPrintable(book.error()));
        frmChange editor(*f->w().database(), *f->w().documents()->recordset(), nullptr, nullptr);
        for (QObject *o : f->w().findChildren<QObject *>() + editor.findChildren<QObject *>()) {
            const QString topic = o->property("helpTopic").toString();
            QVERIFY2(topic.toInt() == 0 || book->pageOf(topic) >= 0, qPrintable(topic));
        }
    }

    // Help open over the main window moves to the modal editor when F1 asks for it there
    // (where the keyboard can reach it), and back to the main window when the editor closes.
    void f1InModalEditor()
    {
        QVERIFY(start());
        HelpWindow *before = showHelp(&f->w(), 7001);
        QString overEditor;
        answerModal<frmChange>([&](frmChange &editor) {
            QTest::keyClick(editor.findChild<QWidget *>("txtDate"), Qt::Key_F1);
            overEditor = activeHelpWindow() == before ? shownHelp() : "another window";
        });
        c<QPushButton>("cmdAdd")->click();
        QCOMPARE(pendingModals(), 0);
        QCOMPARE(overEditor, "1004 frmChange");
        QCOMPARE(activeHelpWindow(), before);
        QCOMPARE(shownHelp(), "1004 frmMain");
    }

    // F1 in the open drop-down of a list: its topic, over the main window.
    void f1InDropDown()
    {
        QVERIFY(start());
        auto *date = c<QComboBox>("cmbDate");
        date->showPopup();
        QVERIFY(QTest::qWaitForWindowExposed(date->view()->window()));
        date->view()->setFocus();
        QTest::keyClick(date->view(), Qt::Key_F1);
        QCOMPARE(shownHelp(), "7115 frmMain");
        QVERIFY(!activeHelpWindow()->currentTitle().isEmpty());
    }

    // Every way to the contents: F1 in the Help menu, the Help menu's entry, the help's own
    // button, and a topic the file lacks.
    void contents()
    {
        QVERIFY(start());
        auto *menu = c<QMenu>("mnuHelp");
        const std::function<void()> ways[] = {
            [&] { menu->popup({}), QTest::keyClick(menu, Qt::Key_F1), menu->close(); },
            [&] { c<QAction>("mnuHelpContents")->trigger(); },
            [&] {
                QTest::mouseClick(showHelp(&f->w(), 7111)->findChild<QWidget *>("cmdContents"),
                                  Qt::LeftButton);
            },
            [&] { showHelp(&f->w(), 4242); }};
        for (const auto &way : ways) {
            delete activeHelpWindow();
            way();
            QCOMPARE(shownHelp(), "contents frmMain");
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
        QVERIFY(f->open(nullptr));
        if (file == "a folder of that name")
            QVERIFY(QDir().mkdir(schema::HelpFile));
        else if (file != "missing")
            QVERIFY(writeFile(schema::HelpFile, "<h2><a name=\"7111\">A page</a></h2>"));
        // By F1 where no file is found; by the Help menu otherwise.
        const auto ask = [&] {
            file == "missing" ? QTest::keyClick(c("cmdAdd"), Qt::Key_F1)
                              : c<QAction>("mnuHelpContents")->trigger();
        };
        answerMessage();
        ask();
        QCOMPARE(MessageBox::shownTexts().size(), 1);
        QVERIFY2(MessageBox::shownTexts().first().contains(says) && !activeHelpWindow(),
                 qPrintable(says));
        QDir().rmdir(schema::HelpFile);
        QFile::remove(schema::HelpFile);
        QVERIFY(QFile::copy(installedHelp(), schema::HelpFile));
        ask();
        QVERIFY(activeHelpWindow());
    }

    // A link, the list of pages, Back and Forward by button and by key (which the list
    // leaves to the window), a topic within a page, and Esc; one help window at a time.
    void navigation()
    {
        QVERIFY(start());
        HelpWindow *help = showHelp(&f->w(), 0);
        auto *back = help->findChild<QPushButton *>("cmdBack");
        QTextBrowser *browser = help->browser();
        QTextCursor link = browser->document()->find("The document list");
        link.setPosition(link.selectionStart() + 4);
        QTest::mouseClick(browser->viewport(), Qt::LeftButton, {},
                          browser->cursorRect(link).center());
        auto *list = help->findChild<QListWidget *>("lstContents");
        QCOMPARE(QStringList({help->currentTitle(), list->currentItem()->text()}),
                 QStringList(2, "The document list"));
        const auto items = list->findItems("Adding a document", Qt::MatchExactly);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(items.value(0)).center());
        QCOMPARE(help->currentAnchor(), "7001");
        QTest::mouseClick(back, Qt::LeftButton);
        QTest::keyClick(list, Qt::Key_Left, Qt::AltModifier);
        QCOMPARE(help->currentAnchor(), "contents");
        QVERIFY(!back->isEnabled());
        QTest::mouseClick(help->findChild<QWidget *>("cmdForward"), Qt::LeftButton);
        QCOMPARE(help->currentAnchor(), "7111");
        QVERIFY(showHelp(&f->w(), 7117) == help && help->currentTitle() == "The order of the list");
        QVERIFY(QTest::qWaitForWindowActive(help));
        QTest::keyClick(browser, Qt::Key_Escape);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!activeHelpWindow());
    }

    // ------------------------------------------------------------ export as CSV

    void writesOneLinePerDocument_data()
    {
        // ID, Description, type name, Date, Who, Note; the line written.
        columns<QVariantList, QByteArray>("values", "line");
        using V = QVariantList;
        const QVariant none;
        row("plain: blanks inside, yyyy-mm-dd, type name, UTF-8",
            V{20, "Lease deed", "Rent", QDate(2024, 3, 1), "Zürich – 日本", "n"},
            QString("20,Lease deed,Rent,2024-03-01,Zürich – 日本,n").toUtf8());
        row("no number, no date, unknown type", V{none, "", "?", none, "", ""},
            QByteArray(",,,,,"));
        row("comma, quote, leading and trailing blank",
            V{1, "say \"hi\"", "Bills, paid", none, " lead", "trail "},
            QByteArray("1,\"say \"\"hi\"\"\",\"Bills, paid\",,\" lead\",\"trail \""));
        row("CR, LF, CR LF, tab", V{1, "a\rb", "\tt", none, "c\nd", "e\r\nf"},
            QByteArray("1,\"a\rb\",\"\tt\",,\"c\nd\",\"e\r\nf\""));
        const QString big = QString("x,\"y\"\r\n").repeated(1 << 17); // 1 MB: flushed on the way
        row("note of 1 MB", V{3, "big", "", none, "", big},
            (QString("3,big,,,,\"") + QString(big).replace("\"", "\"\"") + "\"").toUtf8());
    }
    void writesOneLinePerDocument()
    {
        QFETCH(QVariantList, values);
        auto db = makeDatabase(f->folder.file("Qsk.MDB"));
        const QString type = values.at(2).toString();
        values[2] = type.isEmpty() ? 0 : type == "?" ? 99 : addType(*db, type);
        QVERIFY(db->exec({"INSERT INTO Documents (ID, Description, DocumentType, Date, Who, Note) "
                          "VALUES (?, ?, ?, ?, ?, ?)",
                          values}));
        const auto outcome = exportDocumentsCsv(*db, DocumentListSource({}), "out.csv");
        QVERIFY2(outcome, qPrintable(outcome.error()));
        QCOMPARE(outcome->rows, 1);
        QFETCH(QByteArray, line);
        QCOMPARE(readFile("out.csv"), kHead + line + "\r\n");
        // The file is no longer mapped for bulk reading once the export is over.
        QCOMPARE(db->query({"PRAGMA mmap_size", {}})->front().values.value(0).toInt(), 0);
    }

    // Through the File menu of the real window, with the list answered by SQL and by the
    // in-memory index: the file holds the list's rows in the list's order.
    void exportsWhatTheListShows()
    {
        QVERIFY(f->open([](Database &db) {
            for (int i = 1; i <= 24; ++i)
                addDocument(db,
                            {i % 7, QString("Doc %1").arg(i * 5 % 24), 0, {}, i % 2 ? "Bank" : ""});
        }));
        c<QRadioButton>("Order_1")->click();
        c<QLineEdit>("txtFilterWho")->setText("BANK");
        filterOn();
        QByteArray shown = kHead;
        for (int i = 0; i < rs()->rowCount(); ++i)
            shown += QString("%1,%2,,,Bank,\r\n")
                         .arg(ids()[i])
                         .arg(rs()->valueAt(i, "Description").toString())
                         .toUtf8();
        QCOMPARE(rs()->rowCount(), 12);
        FileDialog::queueFileName(f->folder.file("list.csv"));
        c<QAction>("mnuExportCsv")->trigger();
        QCOMPARE(readFile("list.csv"), shown);
    }

    // The file named before the export is untouched by one that does not finish.
    void unfinishedExportLeavesTheOldFile_data()
    {
        columns<QString, QString>("target", "message");
        row("file dialog cancelled", "", "");
        row("folder is a plain file", "plain.txt/list.csv", "could not be exported to");
        row("the database itself", "Qsk.MDB", "that is the database itself");
        row("disk full half-way", "list.csv", "could not be exported to");
        row("progress cancelled", "list.csv", "");
    }
    void unfinishedExportLeavesTheOldFile()
    {
        const auto [target, message] = fetch<QString, QString>("target", "message");
        const bool diskFull = QTest::currentDataTag() == QByteArray("disk full half-way");
        const bool cancel = QTest::currentDataTag() == QByteArray("progress cancelled");
        QVERIFY(f->open([&](Database &db) {
            Transaction t(db);
            // Over the writer's 1 MB buffer, so that the write fails while rows are read.
            for (int i = 1; i <= (cancel ? kCsvProgressStep + 100 : 3); ++i)
                addDocument(db, {i, "Doc", 0, {}, "", diskFull ? QString(1536 * 1024, 'n') : ""});
            QVERIFY(t.commit());
        }));
        QVERIFY(writeFile("plain.txt", "not a folder") && writeFile("list.csv", "old contents"));
        const QStringList before = QDir().entryList(QDir::Files);
        FileDialog::queueFileName(target.isEmpty() ? QString() : f->folder.file(target));
        if (cancel)
            QTimer::singleShot(0, &f->w(),
                               [this] { c<QProgressDialog>("frmExporting")->cancel(); });
        if (!message.isEmpty())
            answerMessage();
        // The limit holds for this one statement.
        FileSizeLimit{diskFull}, c<QAction>("mnuExportCsv")->trigger();
        QCOMPARE(pendingModals(), 0);
        QCOMPARE(FileDialog::askedCaptions(), QStringList{"Export List as CSV"});
        const QStringList told = MessageBox::shownTexts();
        QVERIFY2(told.size() == !message.isEmpty() && told.value(0).contains(message),
                 qPrintable(told.join('|')));
        QCOMPARE(readFile("list.csv"), "old contents");
        QVERIFY(readFile("Qsk.MDB").startsWith("SQLite format 3"));
        QCOMPARE(QDir().entryList(QDir::Files), before);
    }
};

QTEST_MAIN(tst_frmMain)
#include "tst_frmmain.moc"
