#pragma once

#include <QObject>
#include <QString>

class QWidget;

namespace qs {

class HelpWindow;

// The help topic number of a control: its own "helpTopic" property, or else that of the
// nearest widget around it in the same window (a list's popup counts as part of the list).
// 0 when there is none.
int helpTopicOf(const QWidget *widget);

// The help file "Qsk.Hlp", looked for where the program's data files are (DataFiles.h).
// Empty when none of those folders has it.
QString findHelpFile();

// Opens the help window at `topic` (0: the contents) on behalf of `from`, reusing the open
// one. While a modal window is open the help belongs to it, so that it can be read and
// scrolled. A help file that is missing or unreadable is reported to the user; the result
// is then null.
HelpWindow *showHelp(QWidget *from, int topic);

// The open help window, if any.
HelpWindow *activeHelpWindow();

// F1 anywhere in the program opens the help at the topic of the control that has the focus,
// or at the contents. One object serves the whole application while it exists.
class HelpSupport : public QObject
{
    Q_OBJECT
public:
    explicit HelpSupport(QObject *parent = nullptr);
    ~HelpSupport() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

} // namespace qs
