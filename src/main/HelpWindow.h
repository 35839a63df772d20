#pragma once

#include "main/HelpBook.h"
#include "store/Status.h"

#include <QPointer>
#include <QWidget>

#include <memory>

class QListWidget;
class QPushButton;
class QTextBrowser;

namespace qs {

class HelpBrowser;

// The help window: one page of the help file at a time, with Back, Forward, Contents and
// the list of pages beside it. It belongs to the window it was opened from; while a modal
// window is open it belongs to that one, so that it is not blocked, and when that window
// closes it moves back to the window in front.
class HelpWindow : public QWidget
{
    Q_OBJECT
public:
    explicit HelpWindow(QWidget *parent = nullptr);
    ~HelpWindow() override;

    // Reads the help file; on failure the window shows nothing.
    Status load(const QString &path);
    const HelpBook *book() const { return m_book.get(); }

    // Goes to the page that holds `anchor`, scrolled to it; an anchor that the file does
    // not have leads to the contents. Each call is a step in the Back/Forward history.
    void showAnchor(const QString &anchor);
    // A control's help topic number; 0 means the contents.
    void showTopic(int topic);
    void showContents() { showAnchor(kHelpContentsAnchor); }

    // Where the window stands: the anchor gone to and its page's title.
    QString currentAnchor() const;
    QString currentTitle() const;
    QTextBrowser *browser() const;

    // Makes `owner` the window this one belongs to (null: none), keeping it open and in place.
    void attachTo(QWidget *owner);
    // The window to return to when the owner closes and no modal window is open.
    void setHome(QWidget *home) { m_home = home; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void followLink(const QUrl &link);
    void pageShown(const QUrl &source);

    std::unique_ptr<HelpBook> m_book;
    QPointer<QWidget> m_home;
    QPointer<QWidget> m_owner;
    bool m_placed = false;

    // Controls (owned through Qt's parent chain).
    QPushButton *cmdBack = nullptr;
    QPushButton *cmdForward = nullptr;
    QPushButton *cmdContents = nullptr;
    QListWidget *lstContents = nullptr;
    HelpBrowser *txtHelp = nullptr;
};

} // namespace qs
