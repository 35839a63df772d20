// Every window as a screen reader and the layout see it: each control that
// can take the focus, and each value shown, has a name to be spoken, and the
// resizing panels carry their names.
#include "support/TestSupport.h"

#include "editor/EditorState.h"
#include "editor/frmChange.h"
#include "import/frmConverting.h"
#include "main/HelpWindow.h"
#include "reports/frmPrint.h"
#include "store/DataControl.h"
#include "store/Schema.h"
#include "support/MainWindow.h"
#include "types/frmAddType.h"
#include "types/frmTypes.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QScrollBar>

using namespace qs;
using namespace qs::test;

namespace {

// Pieces of a composite control, which a screen reader meets through the
// control itself: the text part of a combo box, the scroll bars, headers and
// corner button of a list.
bool isPart(const QWidget *w)
{
    if (w->objectName().startsWith(QLatin1String("qt_")) || qobject_cast<const QScrollBar *>(w) ||
        qobject_cast<const QHeaderView *>(w))
        return true;
    for (const QWidget *p = w->parentWidget(); p; p = p->parentWidget()) {
        if (qobject_cast<const QComboBox *>(p) || qobject_cast<const QAbstractSpinBox *>(p) ||
            qobject_cast<const QAbstractItemView *>(p) ||
            p->objectName().startsWith(QLatin1String("qt_")))
            return true;
    }
    return false;
}

// A control that shows something to read: a value, a list, a text, or a
// framed group of controls.
bool showsSomething(const QWidget *w)
{
    if (qobject_cast<const QLabel *>(w) || qobject_cast<const QProgressBar *>(w) ||
        qobject_cast<const QAbstractScrollArea *>(w) || qobject_cast<const QLineEdit *>(w) ||
        qobject_cast<const QComboBox *>(w) || qobject_cast<const QAbstractButton *>(w) ||
        qobject_cast<const QAbstractSlider *>(w) || qobject_cast<const QGroupBox *>(w))
        return true;
    const auto *frame = qobject_cast<const QFrame *>(w);
    return frame && frame->frameShape() != QFrame::NoFrame &&
           !w->findChildren<QWidget *>(Qt::FindDirectChildrenOnly).isEmpty();
}

QString unnamed(QWidget *window)
{
    QList<QWidget *> all = window->findChildren<QWidget *>();
    all.prepend(window);
    QStringList out;
    for (QWidget *w : all) {
        if (isPart(w) || (w->focusPolicy() == Qt::NoFocus && !showsSomething(w)))
            continue;
        QAccessibleInterface *spoken = QAccessible::queryAccessibleInterface(w);
        if (!spoken || spoken->text(QAccessible::Name).trimmed().isEmpty())
            out << QStringLiteral("%1 %2").arg(QLatin1String(w->metaObject()->className()),
                                               w->objectName());
    }
    return out.join(QStringLiteral(", "));
}

} // namespace

class tst_AccessibleNames : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyWindow_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QStringList>("panels"); // the resizing panels it has
        const QStringList one = {"ElasticOne1"};
        QTest::newRow("main") << "main"
                              << QStringList{"ElasticOne1", "ElasticOne2", "ElasticOne3",
                                             "ElasticOne4"};
        QTest::newRow("editor") << "editor" << one;
        QTest::newRow("types") << "types" << one;
        QTest::newRow("add type") << "add type" << one;
        QTest::newRow("report") << "report" << QStringList{"ElasticOne1", "ElasticOne2"};
        QTest::newRow("converting") << "converting" << QStringList();
        QTest::newRow("help") << "help" << QStringList();
    }

    // On an empty database, so that no value fills in a name by chance. The
    // resizing panels carry the names that the help and the tests use.
    void everyWindow()
    {
        QFETCH(QString, window);
        QFETCH(QStringList, panels);
        const auto check = [&](QWidget *w) {
            QCOMPARE(unnamed(w), QString());
            for (const QString &panel : panels)
                QVERIFY2(w->findChild<QWidget *>(panel), qPrintable(panel));
        };
        TestFolder folder;
        test::MainWindow main;
        QVERIFY(main.Form_Initialize());
        Database &db = *main.database();
        Recordset &list = *main.documents()->recordset();

        std::unique_ptr<QWidget> shown;
        if (window == "main") {
            check(&main);
            return;
        }
        if (window == "editor") {
            gAddMode = true;
            auto editor = std::make_unique<frmChange>(db, list, nullptr, nullptr);
            QVERIFY(editor->Form_Load());
            shown = std::move(editor);
        } else if (window == "types" || window == "add type") {
            auto types = std::make_unique<frmTypes>(db);
            QVERIFY(types->Form_Load());
            if (window == "add type") {
                Recordset *rs = types->findChild<DataControl *>("dtaTypes")->recordset();
                check(std::make_unique<frmAddType>(db, *rs).get());
                return;
            }
            shown = std::move(types);
        } else if (window == "report") {
            addDocument(db, {1});
            auto report = std::make_unique<frmPrint>(db, main.documents()->recordSource());
            QVERIFY(report->Form_Activate());
            shown = std::move(report);
        } else if (window == "converting") {
            shown = std::make_unique<frmConverting>();
        } else {
            shown = std::make_unique<HelpWindow>();
        }
        check(shown.get());
    }
};

QTEST_MAIN(tst_AccessibleNames)
#include "tst_accessiblenames.moc"
