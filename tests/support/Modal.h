#pragma once

// The one way the tests drive a modal window (a dialog, the editor, a message box): ask for
// it before the click that opens it. Once it is shown and has the keyboard, the action runs
// inside the window's own event loop; whatever the action leaves open is closed afterwards,
// so a failed check never leaves a test waiting. Windows are matched in the order they were
// asked for. A message box that nobody asked for is closed at once (its text is still in
// MessageBox::shownTexts()), so an unexpected question fails a test instead of hanging it.

#include <QMessageBox>

#include <functional>

namespace qs::test {

// The next modal window that `accepts` takes.
void answerModal(std::function<bool(QWidget *)> accepts, std::function<void(QWidget *)> action);

template <typename Window> void answerModal(std::function<void(Window &)> action = {})
{
    answerModal([](QWidget *w) { return qobject_cast<Window *>(w) != nullptr; },
                [action = std::move(action)](QWidget *w) {
                    if (action)
                        action(*qobject_cast<Window *>(w));
                });
}

// Answers the next message box with `button`.
void answerMessage(QMessageBox::StandardButton button = QMessageBox::Ok);

// How many windows asked for have not opened yet; clearPendingModals() forgets them.
int pendingModals();
void clearPendingModals();

} // namespace qs::test
