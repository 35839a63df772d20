#include "main/HelpSupport.h"

#include "main/HelpWindow.h"
#include "store/DataFiles.h"
#include "store/Schema.h"
#include "widgets/MessageBox.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QMenu>
#include <QPointer>
#include <QTextBrowser>

namespace qs {

namespace {

QPointer<HelpWindow> &openWindow()
{
    static QPointer<HelpWindow> window;
    return window;
}

// The window that `w` lies in; a popup (a menu, a list's drop-down) counts as part of the
// window it drops from.
QWidget *windowAround(QWidget *w)
{
    for (; w; w = w->parentWidget()) {
        if (w->isWindow() && w->windowType() != Qt::Popup)
            return w;
    }
    return nullptr;
}

// The nearest window around `w` that is not modal: where the help goes back to when the
// modal windows close.
QWidget *homeFor(QWidget *w)
{
    for (w = windowAround(w); w; w = windowAround(w->parentWidget())) {
        if (!w->isModal())
            return w;
    }
    return nullptr;
}

QString missingFileMessage()
{
    QStringList folders = dataFileFolders(QCoreApplication::applicationDirPath());
    for (QString &folder : folders)
        folder = QDir::toNativeSeparators(folder);
    return QStringLiteral("The help file \"%1\" was not found. It was looked for in: %2.")
        .arg(schema::HelpFile, folders.join(QStringLiteral(", ")));
}

} // namespace

int helpTopicOf(const QWidget *widget)
{
    for (const QWidget *w = widget; w; w = w->parentWidget()) {
        // A menu's entries have no pages of their own; its help is the contents.
        if (qobject_cast<const QMenu *>(w))
            return 0;
        bool ok = false;
        const int topic = w->property("helpTopic").toInt(&ok);
        if (ok && topic > 0)
            return topic;
        if (w->isWindow() && w->windowType() != Qt::Popup)
            break;
    }
    return 0;
}

QString findHelpFile()
{
    return findDataFile(schema::HelpFile);
}

HelpWindow *activeHelpWindow()
{
    return openWindow().data();
}

HelpWindow *showHelp(QWidget *from, int topic)
{
    QWidget *owner = QApplication::activeModalWidget();
    if (!owner)
        owner = windowAround(from);
    if (!owner)
        owner = QApplication::activeWindow();

    HelpWindow *help = openWindow();
    if (!help) {
        const QString path = findHelpFile();
        if (path.isEmpty()) {
            MessageBox::show(owner, missingFileMessage(), MessageBox::defaultTitle());
            return nullptr;
        }
        auto created = std::make_unique<HelpWindow>();
        if (const Status s = created->load(path); !s) {
            MessageBox::show(owner, s.message(), MessageBox::defaultTitle());
            return nullptr;
        }
        // From here the window belongs to its owner; without one, it goes when the program
        // ends or when it is closed.
        help = created.release();
        if (!owner)
            QObject::connect(qApp, &QCoreApplication::aboutToQuit, help, &QObject::deleteLater);
        openWindow() = help;
    }
    if (QWidget *home = homeFor(from ? from : owner); home && home != help)
        help->setHome(home);
    if (owner != help)
        help->attachTo(owner);
    help->show();
    help->showTopic(topic);
    help->raise();
    help->activateWindow();
    help->browser()->setFocus();
    return help;
}

HelpSupport::HelpSupport(QObject *parent) : QObject(parent)
{
    qApp->installEventFilter(this);
}

HelpSupport::~HelpSupport()
{
    if (qApp)
        qApp->removeEventFilter(this);
}

bool HelpSupport::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const auto others =
            Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
        if (key->key() == Qt::Key_F1 && !(key->modifiers() & others) && !key->isAutoRepeat()) {
            auto *widget = static_cast<QWidget *>(watched);
            showHelp(widget, helpTopicOf(widget));
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace qs
