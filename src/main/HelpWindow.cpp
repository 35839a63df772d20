#include "main/HelpWindow.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTextBrowser>
#include <QUrlQuery>
#include <QVBoxLayout>

namespace qs {

// Serves the help file's pages to the browser as documents of their own, so that links,
// Back and Forward work through the browser's own history.
class HelpBrowser : public QTextBrowser
{
public:
    using QTextBrowser::QTextBrowser;

    void setBook(const HelpBook *book) { m_book = book; }

    // A page, named by its place in the file, scrolled to `anchor`.
    QUrl pageUrl(int page, const QString &anchor) const
    {
        QUrl url = QUrl::fromLocalFile(m_book->path());
        url.setQuery(QStringLiteral("page=%1").arg(page));
        url.setFragment(anchor);
        return url;
    }

    // The page that `url` names; -1 for anything that is not a page of the book.
    int pageOf(const QUrl &url) const
    {
        if (!m_book || !url.isLocalFile() || url.toLocalFile() != m_book->path())
            return -1;
        bool ok = false;
        const int page = QUrlQuery(url).queryItemValue(QStringLiteral("page")).toInt(&ok);
        return ok && page >= 0 && page < m_book->pageCount() ? page : -1;
    }

    QVariant loadResource(int type, const QUrl &name) override
    {
        if (type == QTextDocument::HtmlResource) {
            if (const int page = pageOf(name); page >= 0)
                return m_book->pageHtml(page);
        }
        // Pictures: relative to the help file, read by the browser itself.
        return QTextBrowser::loadResource(type, name);
    }

private:
    const HelpBook *m_book = nullptr;
};

namespace {

QPushButton *button(const QString &text, const char *name, QWidget *parent)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    b->setFocusPolicy(Qt::TabFocus);
    return b;
}

} // namespace

HelpWindow::HelpWindow(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("frmHelp"));
    setWindowTitle(QStringLiteral("Quillstack Help"));
    // A closed help window is gone; the next request opens a fresh one.
    setAttribute(Qt::WA_DeleteOnClose);

    cmdBack = button(QStringLiteral("&Back"), "cmdBack", this);
    cmdForward = button(QStringLiteral("&Forward"), "cmdForward", this);
    cmdContents = button(QStringLiteral("&Contents"), "cmdContents", this);
    cmdBack->setEnabled(false);
    cmdForward->setEnabled(false);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdBack);
    buttons->addWidget(cmdForward);
    buttons->addWidget(cmdContents);
    buttons->addStretch();

    auto *split = new QSplitter(this);
    lstContents = new QListWidget(split);
    lstContents->setObjectName(QStringLiteral("lstContents"));
    lstContents->setAccessibleName(QStringLiteral("Contents"));
    txtHelp = new HelpBrowser(split);
    txtHelp->setObjectName(QStringLiteral("txtHelp"));
    txtHelp->setAccessibleName(QStringLiteral("Help page"));
    // Links are followed here, page by page; none leaves the help.
    txtHelp->setOpenLinks(false);
    txtHelp->setOpenExternalLinks(false);
    split->addWidget(lstContents);
    split->addWidget(txtHelp);
    split->setStretchFactor(1, 1);
    split->setSizes({250, 650});

    auto *whole = new QVBoxLayout(this);
    whole->addLayout(buttons);
    whole->addWidget(split, 1);
    resize(900, 620);

    connect(cmdBack, &QPushButton::clicked, txtHelp, &QTextBrowser::backward);
    connect(cmdForward, &QPushButton::clicked, txtHelp, &QTextBrowser::forward);
    connect(cmdContents, &QPushButton::clicked, this, &HelpWindow::showContents);
    connect(txtHelp, &QTextBrowser::backwardAvailable, cmdBack, &QPushButton::setEnabled);
    connect(txtHelp, &QTextBrowser::forwardAvailable, cmdForward, &QPushButton::setEnabled);
    connect(txtHelp, &QTextBrowser::anchorClicked, this, &HelpWindow::followLink);
    connect(txtHelp, &QTextBrowser::sourceChanged, this, &HelpWindow::pageShown);
    connect(lstContents, &QListWidget::currentRowChanged, this, [this](int row) {
        if (m_book && row >= 0 && row < m_book->pageCount())
            showAnchor(m_book->page(row).anchors.value(0));
    });
}

HelpWindow::~HelpWindow()
{
    // The browser may ask for a page while it goes; the book must outlive it.
    if (txtHelp)
        txtHelp->setBook(nullptr);
}

Status HelpWindow::load(const QString &path)
{
    Result<HelpBook> read = HelpBook::load(path);
    if (!read)
        return Status::failure(read.error());
    m_book = std::make_unique<HelpBook>(std::move(read.value()));
    txtHelp->setBook(m_book.get());
    const QSignalBlocker quiet(lstContents);
    lstContents->clear();
    for (int i = 0; i < m_book->pageCount(); ++i)
        lstContents->addItem(m_book->page(i).title);
    return Status::success();
}

void HelpWindow::showAnchor(const QString &anchor)
{
    if (!m_book)
        return;
    int page = m_book->pageOf(anchor);
    QString target = anchor;
    if (page < 0) {
        page = m_book->contentsPage();
        target = kHelpContentsAnchor;
    }
    txtHelp->setSource(txtHelp->pageUrl(page, target), QTextDocument::HtmlResource);
}

void HelpWindow::showTopic(int topic)
{
    showAnchor(topic > 0 ? QString::number(topic) : kHelpContentsAnchor);
}

QString HelpWindow::currentAnchor() const
{
    return txtHelp->source().fragment();
}

QString HelpWindow::currentTitle() const
{
    const int page = txtHelp->pageOf(txtHelp->source());
    return page >= 0 ? m_book->page(page).title : QString();
}

QTextBrowser *HelpWindow::browser() const
{
    return txtHelp;
}

void HelpWindow::followLink(const QUrl &link)
{
    // Links within the file arrive resolved against the page shown.
    if (txtHelp->pageOf(link.adjusted(QUrl::RemoveFragment)) >= 0 ||
        (link.scheme().isEmpty() && link.path().isEmpty()))
        showAnchor(link.fragment());
}

void HelpWindow::pageShown(const QUrl &source)
{
    const int page = txtHelp->pageOf(source);
    const QSignalBlocker quiet(lstContents);
    lstContents->setCurrentRow(page);
    const QString title = page >= 0 ? m_book->page(page).title : QString();
    setWindowTitle(title.isEmpty() ? QStringLiteral("Quillstack Help")
                                   : QStringLiteral("Quillstack Help - ") + title);
}

void HelpWindow::keyPressEvent(QKeyEvent *event)
{
    // Keys that the page and the list leave unused: Esc closes, Back and Forward step.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier)
        close();
    else if (event->matches(QKeySequence::Back))
        txtHelp->backward();
    else if (event->matches(QKeySequence::Forward))
        txtHelp->forward();
    else
        QWidget::keyPressEvent(event);
}

void HelpWindow::attachTo(QWidget *owner)
{
    if (owner == m_owner && parentWidget() == owner)
        return;
    const bool wasVisible = isVisible();
    const QRect where = geometry();
    if (m_owner)
        m_owner->removeEventFilter(this);
    // Changing the parent hides the window; it comes back where it was.
    setParent(owner, windowFlags());
    m_owner = owner;
    if (owner)
        owner->installEventFilter(this);
    if (m_placed) {
        setGeometry(where);
    } else if (owner) {
        move(owner->window()->geometry().center() - rect().center());
        m_placed = true;
    }
    if (wasVisible)
        show();
}

bool HelpWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_owner && event->type() == QEvent::Hide && m_owner->isHidden()) {
        // The window this one belongs to has closed (and is about to go): move on to the
        // window now in front, so that the help stays open and usable.
        QWidget *next = QApplication::activeModalWidget();
        if (!next || next == m_owner || next == this)
            next = m_home;
        if (!next || next == m_owner || next->isHidden())
            close();
        else
            attachTo(next);
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace qs
